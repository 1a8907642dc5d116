// The Ghostscript child of an EPS render ends with velmora-cli, however the
// program ends, and its temporary folder does not outlive both for long.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "imaging/formats/EpsDecoder.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Field 4 (the parent) and field 3 (the state) of /proc/PID/stat; false when
// the process is gone.
bool ProcessInfo(pid_t pid, pid_t& parent, char& state) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return false;
  return std::sscanf(text.c_str() + close + 1, " %c %d", &state, &parent) == 2;
}

// A live (not zombie) child of `parent`, waited for up to ten seconds.
pid_t WaitForChild(pid_t parent) {
  for (const auto end = Clock::now() + std::chrono::seconds(10); Clock::now() < end;) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string name = entry.path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      pid_t ppid = 0;
      char state = 0;
      const auto pid = static_cast<pid_t>(std::stol(name));
      if (ProcessInfo(pid, ppid, state) && ppid == parent && state != 'Z') return pid;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return -1;
}

bool GoneWithin(pid_t pid, std::chrono::seconds limit) {
  for (const auto end = Clock::now() + limit; Clock::now() < end;) {
    pid_t ppid = 0;
    char state = 0;
    if (!ProcessInfo(pid, ppid, state) || state == 'Z' || state == 'X') return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

pid_t StartDecode(const std::string& tmp, const std::string& input, const std::string& output) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("TMPDIR", tmp.c_str(), 1);
    ::execl(VELMORA_CLI, VELMORA_CLI, "decode", input.c_str(), output.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

size_t RenderFolders(const std::string& tmp) {
  size_t n = 0;
  for (const auto& entry : fs::directory_iterator(tmp))
    if (entry.path().filename().string().rfind("velmora-eps-", 0) == 0) ++n;
  return n;
}

TEST(EpsChild, GhostscriptEndsWithTheProgramAndItsFolderIsRemovedLater) {
  if (FindGhostscript().empty()) GTEST_SKIP() << "Ghostscript (gs) is not installed";
  testing::ScratchFolder dir;
  const std::string tmp = dir / "tmp";
  fs::create_directories(tmp);
  const std::string endless = dir / "endless.eps";
  std::ofstream(endless) << "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 10 10\n{} loop\n";

  // SIGTERM reaches the program's handler, which ends Ghostscript and lets the
  // render remove its folder; SIGKILL leaves the folder behind.
  for (int signal : {SIGTERM, SIGKILL}) {
    const pid_t cli = StartDecode(tmp, endless, dir / "out.bmp");
    ASSERT_GT(cli, 0);
    const pid_t gs = WaitForChild(cli);
    ASSERT_GT(gs, 0) << "no Ghostscript child appeared";
    ASSERT_EQ(::kill(cli, signal), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(cli, &status, 0), cli);
    EXPECT_TRUE(GoneWithin(gs, std::chrono::seconds(5)))
        << "gs " << gs << " outlived the program, signal " << signal;
    if (!GoneWithin(gs, std::chrono::seconds(0))) ::kill(gs, SIGKILL);
    if (signal == SIGTERM) {
      EXPECT_EQ(RenderFolders(tmp), 0u);
    }
  }
  EXPECT_GE(RenderFolders(tmp), 1u);  // killed before it could clean up
  // The next render removes what the dead ones left, and its own folder.
  const pid_t next = StartDecode(tmp, std::string(VELMORA_TEST_DATA) + "/eps/quadrants.eps", dir / "out.bmp");
  int status = 0;
  ASSERT_EQ(::waitpid(next, &status, 0), next);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(RenderFolders(tmp), 0u);
}

}  // namespace
}  // namespace velmora
