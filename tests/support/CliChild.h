// velmora-cli as a child process a test can signal: started with its
// standard error in a file, watched until it has reached the work the test
// means to interrupt, and waited for.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace velmora::testing {

// Starts VELMORA_CLI with `args`, its standard error going to `errPath`,
// its caches under `cacheHome`; -1 when no process could be made.
inline pid_t StartCli(const std::vector<std::string>& args, const std::string& errPath,
                      const std::string& cacheHome) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  ::setenv("XDG_CACHE_HOME", cacheHome.c_str(), 1);
  if (!std::freopen(errPath.c_str(), "w", stderr) || !std::freopen("/dev/null", "w", stdout)) ::_exit(126);
  std::vector<char*> argv{const_cast<char*>(VELMORA_CLI)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execv(VELMORA_CLI, argv.data());
  ::_exit(127);
}

// Polls `ready` until it holds; false when the child ended first (it is not
// reaped) or nothing happened for a minute, which only a broken build takes.
inline bool WaitUntil(pid_t child, const std::function<bool()>& ready) {
  for (int i = 0; i < 6000; ++i) {
    if (ready()) return true;
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == child)
      return ready();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// The child's exit status once it has ended; -N when signal N killed it
// (so a handled signal's 128 + N is told apart from the default action).
inline int ExitStatus(pid_t child) {
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return -1;
  if (WIFSIGNALED(status)) return -WTERMSIG(status);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Names in `folder` that are a save's temporary (NAME.tmp-PID).
inline std::vector<std::string> TemporariesIn(const std::filesystem::path& folder) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().filename().string().find(".tmp-") != std::string::npos)
      found.push_back(entry.path().filename().string());
  return found;
}

}  // namespace velmora::testing
