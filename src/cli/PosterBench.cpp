// velmora-cli bench --poster: the poster example of the README as a user runs
// it, two processes one after the other: `create ... --out P.tif --project
// P.vm6`, then `render P.vm6 --out P2.tif`. Each child's time and peak
// resident memory (ru_maxrss from wait4) are printed; a benchmark, it
// asserts nothing.
#include "cli/PosterBench.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "cli/Command.h"

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;

struct ChildRun {
  int status = -1;
  double seconds = 0;
  long maxRssKiB = 0;
};

ChildRun RunSelf(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::string self = "/proc/self/exe";
  argv.push_back(self.data());
  std::vector<std::string> copy = args;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  ChildRun run;
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execv("/proc/self/exe", argv.data());
    ::_exit(127);
  }
  if (pid < 0) return run;
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.maxRssKiB = usage.ru_maxrss;
  return run;
}

bool Given(const Args& args, const char* flag) {
  for (const std::string& a : args)
    if (a == flag || a.rfind(std::string(flag) + "=", 0) == 0) return true;
  return false;
}

void Report(const char* step, const ChildRun& run, const std::string& file) {
  std::error_code ec;
  const auto bytes = fs::file_size(file, ec);
  std::printf("  %-7s %8.1f s   peak memory %8.1f MiB   %s %.1f MiB\n", step, run.seconds,
              run.maxRssKiB / 1024.0, fs::path(file).filename().c_str(),
              ec ? 0.0 : double(bytes) / (1 << 20));
}

}  // namespace

int RunPosterBench(const Args& given) {
  // The create flags as given, less --poster and the bench's own; the
  // README's poster size unless the sizes are given.
  Args create{"create", "--quiet"};
  std::string out, project;
  for (size_t i = 0; i < given.size(); ++i) {
    const std::string& a = given[i];
    if (a == "--poster" || a == "--bands") continue;
    if ((a == "--out" || a == "--project" || a == "--repeat") && i + 1 < given.size()) {
      if (a == "--out") out = given[i + 1];
      if (a == "--project") project = given[i + 1];
      ++i;
      continue;
    }
    create.push_back(a);
  }
  if (!Given(given, "--cells")) create.insert(create.end(), {"--cells", "400x400"});
  if (!Given(given, "--cell-size")) create.insert(create.end(), {"--cell-size", "64x64"});
  const bool keep = !out.empty();
  const fs::path temp = fs::temp_directory_path() / ("velmora-poster-" + std::to_string(::getpid()));
  if (out.empty()) out = temp.string() + ".tif";
  if (project.empty()) project = (fs::path(out).replace_extension(".vm6")).string();
  const std::string again =
      (fs::path(out).parent_path() / (fs::path(out).stem().string() + "-again.tif")).string();
  create.insert(create.end(), {"--out", out, "--project", project});

  std::printf("poster: velmora-cli");
  for (size_t i = 0; i < create.size(); ++i) std::printf(" %s", create[i].c_str());
  std::printf("\n        velmora-cli render %s --out %s\n", project.c_str(), again.c_str());
  std::fflush(stdout);
  const ChildRun made = RunSelf(create);
  if (made.status != 0) return Fail("the create step of the poster failed");
  Report("create", made, out);
  const ChildRun rendered = RunSelf({"render", "--quiet", project, "--out", again});
  if (rendered.status != 0) return Fail("the render step of the poster failed");
  Report("render", rendered, again);
  const long peak = std::max(made.maxRssKiB, rendered.maxRssKiB);
  std::printf("  peak memory of the two steps %.1f MiB (%s 1 GiB)\n", peak / 1024.0,
              peak < (1L << 20) ? "under" : "NOT under");
  if (!keep) {
    std::error_code ec;
    fs::remove(out, ec);
    fs::remove(project, ec);
    fs::remove(again, ec);
  }
  return 0;
}

}  // namespace velmora::cli
