// The memory a summary cache near its size cap costs when a job reads it
// (and, as a job that summarised a new picture does, saves it again): 60,000
// entries with paths of about 4,000 bytes, some 243 MB on disk. Printed as
// counters: the peak resident size during the step above what the process
// held before it, next to the file's size.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "library/SummaryCache.h"

namespace {

using namespace velmora;

long StatusKiB(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(in, line))
    if (line.compare(0, prefix.size(), prefix) == 0) return std::stol(line.substr(prefix.size()));
  return 0;
}

// Starts a new peak: the kernel sets the high-water mark back to the
// present resident size.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

bool MakeCache(const std::string& folder, int entries) {
  std::filesystem::remove_all(folder);
  SummaryCache cache(folder);
  cache.Load(nullptr);
  ColorSignature sig;
  for (int i = 0; i < entries; ++i) {
    std::string path = "/photos/" + std::to_string(i) + "/";
    path.append(4040 - path.size(), char('a' + i % 26));
    cache.Add(SummaryKey{path + ".jpg", uint64_t(i), int64_t(i), 1}, sig);
  }
  return cache.Save().ok();
}

void BM_SummaryCacheLoadAndSave(benchmark::State& state) {
  // Made by a child, so that this process starts without the heap that
  // building the entries leaves behind.
  const std::string folder =
      (std::filesystem::temp_directory_path() / ("velmora-cache-bench-" + std::to_string(::getpid())))
          .string();
  const pid_t child = ::fork();
  if (child == 0) ::_exit(MakeCache(folder, 60000) ? 0 : 1);
  int status = 1;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    state.SkipWithError("cannot write the cache");
    return;
  }
  const auto fileBytes = std::filesystem::file_size(folder + "/" + SummaryCache::kFileName);
  double loadPeak = 0, savePeak = 0;
  for (auto _ : state) {
    ResetPeak();
    const long before = StatusKiB("VmRSS");
    SummaryCache cache(folder);
    cache.Load(nullptr);
    loadPeak = double(StatusKiB("VmHWM") - before) / 1024;
    cache.Add(SummaryKey{"/photos/new.jpg", 1, 1, 1}, ColorSignature{});
    if (!cache.Save().ok()) state.SkipWithError("cannot save the cache");
    savePeak = double(StatusKiB("VmHWM") - before) / 1024;
    benchmark::DoNotOptimize(cache.Size());
  }
  state.counters["file_MB"] = double(fileBytes) / 1e6;
  state.counters["load_peak_MiB"] = loadPeak;
  state.counters["load_save_peak_MiB"] = savePeak;
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SummaryCacheLoadAndSave)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
