#include "cli/BigLibraryBench.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/BenchMeasures.h"
#include "cli/MosaicSetup.h"
#include "library/PictureFileScan.h"

namespace velmora::cli {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// The library folder and cache of the run: temporary ones are removed
// afterwards, kept ones (--keep) serve the next run as they are.
struct Scratch {
  fs::path library;
  fs::path cache;
  bool keep = false;
  ~Scratch() {
    if (keep) return;
    std::error_code ec;
    if (!library.empty()) fs::remove_all(library, ec);
    if (!cache.empty()) fs::remove_all(cache, ec);
  }
};

// Whether `folder` already holds `count` entries, as a kept run left it.
bool HoldsEntries(const fs::path& folder, int count) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return false;
  int n = 0;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) ++n;
  return !ec && n == count;
}

// `count` entries in `folder`, the pictures of `source` in turn: hard links
// where the file system allows them, else symbolic links.
Status MakeBigLibrary(const std::string& source, int count, const fs::path& folder) {
  const std::vector<std::string> pictures = ListFolderPicturesSorted(source, PictureNameFilter::kReadable);
  if (pictures.empty()) return Status::Error(source + ": no pictures in the folder");
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return Status::Error(folder.string() + ": cannot create the folder");
  for (int i = 0; i < count; ++i) {
    const fs::path from = pictures[static_cast<size_t>(i) % pictures.size()];
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%05d_", i);
    const fs::path to = folder / (prefix + from.filename().string());
    fs::create_hard_link(from, to, ec);
    if (ec) fs::create_symlink(fs::absolute(from), to, ec);
    if (ec) return Status::Error(to.string() + ": cannot link " + from.string() + " there");
  }
  return Status::Ok();
}

struct JobTimes {
  double setup = 0, grid = 0, prepare = 0, assign = 0, render = 0, whole = 0, cpu = 0;
};

// The job of 'create': setup (options, the library folder's list, main
// picture), grid, preparation, assignment, render in bands into `out`.
Status TimeJob(const Flags& flags, const std::string& cacheFolder, const std::string& out, JobTimes& t,
               int& cells) {
  const double cpu0 = ProcessCpuSeconds();
  const auto t0 = Clock::now();
  Engine engine;
  MosaicSetup setup;
  VELMORA_TRY(SetUpMosaic(engine, flags, false, setup));
  VELMORA_TRY(engine.CheckCanCreate());
  engine.SetSummaryCacheFolder(cacheFolder);
  const auto t1 = Clock::now();
  engine.MakeGrid();
  const auto t2 = Clock::now();
  VELMORA_TRY(engine.PrepareLibrary());
  const auto t3 = Clock::now();
  engine.AssignCells();
  const auto t4 = Clock::now();
  VELMORA_TRY(RenderMosaicInBandsToFile(engine, out));
  const auto t5 = Clock::now();
  t = JobTimes{Seconds(t0, t1), Seconds(t1, t2), Seconds(t2, t3),    Seconds(t3, t4),
               Seconds(t4, t5), Seconds(t0, t5), ProcessCpuSeconds() - cpu0};
  cells = engine.Project.CellsAcross * engine.Project.CellsDown;
  return Status::Ok();
}

// The value of `name` taken out of `args` (empty when not given).
std::string Take(Args& args, const std::string& name) {
  for (size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == name) {
      std::string value = args[i + 1];
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                 args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
      return value;
    }
  return std::string();
}

}  // namespace

bool WantsBigLibraryBench(const Args& args) {
  return std::find(args.begin(), args.end(), "--big-library") != args.end();
}

int RunBigLibraryBench(const Args& given) {
  Args args = given;
  const std::string countText = Take(args, "--big-library");
  const std::string keep = Take(args, "--keep");
  int count = 0;
  try {
    count = std::stoi(countText);
  } catch (const std::exception&) {
  }
  if (count < 1 || count > MaxLibraryPictures)
    return Fail("--big-library needs a number of entries, 1..65535, not '" + countText + "'");
  Flags probe = MosaicFlags();
  if (Status s = probe.Parse(args); !s) return Fail(s.message());
  const auto source = probe.Value("library");
  std::error_code ec;
  if (!source || !fs::is_directory(*source, ec)) return Fail("--big-library needs --library FOLDER");
  int repeat = 3;
  if (Status s = probe.Int("repeat", 1, 100, repeat); !s) return Fail(s.message());

  Scratch scratch;
  const std::string tag = std::to_string(getpid());
  bool reused = false;
  if (!keep.empty()) {
    // The library and caches stay in the folder, so that runs after the
    // first measure warm jobs only.
    scratch.keep = true;
    scratch.library = fs::path(keep) / ("library-" + std::to_string(count));
    scratch.cache = fs::path(keep) / "cache";
    reused = HoldsEntries(scratch.library, count);
  } else {
    scratch.library = fs::temp_directory_path() / ("velmora-bench-big-" + tag);
    scratch.cache = fs::temp_directory_path() / ("velmora-bench-big-cache-" + tag);
  }
  if (!reused)
    if (Status s = MakeBigLibrary(*source, count, scratch.library); !s) return Fail(s.message());
  for (size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == "--library") args[i + 1] = scratch.library.string();
  Flags flags = MosaicFlags();
  if (Status s = flags.Parse(args); !s) return Fail(s.message());
  const std::string out = flags.Value("out").value_or(
      (fs::temp_directory_path() / ("velmora-bench-big-" + tag + ".jpg")).string());

  auto print = [](const char* what, const JobTimes& t) {
    std::printf(
        "  %-26s %7.3f s (cpu %.3f s): setup and list %.3f, grid %.3f, prepare %.3f, assign %.3f,"
        " render and save %.3f\n",
        what, t.whole, t.cpu, t.setup, t.grid, t.prepare, t.assign, t.render);
  };
  int cells = 0;
  JobTimes cold;
  if (Status s = TimeJob(flags, scratch.cache.string(), out, cold, cells); !s) return Fail(s.message());
  std::printf("%d library entries (the %s pictures linked in turn), %d cells\n", count, source->c_str(),
              cells);
  print(reused ? "whole job, caches as kept" : "whole job, cold caches", cold);
  JobTimes best;
  for (int run = 0; run < repeat; ++run) {
    JobTimes warm;
    if (Status s = TimeJob(flags, scratch.cache.string(), out, warm, cells); !s) return Fail(s.message());
    print(("whole job, warm, run " + std::to_string(run + 1)).c_str(), warm);
    if (run == 0 || warm.whole < best.whole) best = warm;
  }
  std::printf("  best warm whole job %.3f s, its assignment %.3f s; load average %s\n", best.whole,
              best.assign, LoadAverage().c_str());
  if (!flags.Has("out")) fs::remove(out, ec);
  return 0;
}

std::string LoadAverage() {
  std::FILE* f = std::fopen("/proc/loadavg", "r");
  if (!f) return "unknown";
  char line[128] = {};
  if (!std::fgets(line, sizeof line, f)) line[0] = '\0';
  std::fclose(f);
  std::string s(line);
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

}  // namespace velmora::cli
