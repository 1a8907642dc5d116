#include "cli/CameraLibraryBench.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli/BenchMeasures.h"
#include "cli/BigLibraryBench.h"
#include "cli/DecodeAlone.h"
#include "cli/MosaicSetup.h"
#include "imaging/JobCountdown.h"
#include "imaging/PictureReader.h"
#include "library/CellPictures.h"

namespace velmora::cli {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

enum Kind { kJpeg, kHeic, kOther, kKinds };
constexpr const char* kKindNames[kKinds] = {"JPEG", "HEIC", "other"};

Kind KindOf(const std::string& path) {
  std::string ext = ExtensionOf(path);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "jpg" || ext == "jpeg") return kJpeg;
  if (ext == "heic" || ext == "heif") return kHeic;
  return kOther;
}

// The photos the preparation decoded, by format: how many, the time their
// decoding took on the thread that asked for it (libheif hands HEVC to a
// thread of its own, so that thread's CPU clock would miss it), and how many
// their previews served.
struct Decodes {
  std::array<std::atomic<int64_t>, kKinds> count{}, ns{}, previews{};
  int64_t Count() const { return count[0] + count[1] + count[2]; }
  int64_t Previews() const { return previews[0] + previews[1] + previews[2]; }
};

// Tells which step runs: the decodes of library preparation are counted.
class StepListener : public JobListener {
public:
  void SetJobText(std::string_view text) override {
    const bool preparing = text == "Current Job : Cell Pic Lib";
    if (preparing) prepareStart = Clock::now();
    if (preparing_ && !preparing) prepareEnd = Clock::now();
    preparing_ = preparing;
  }
  bool Preparing() const { return preparing_.load(); }
  Clock::time_point prepareStart{}, prepareEnd{};

private:
  std::atomic<bool> preparing_{false};
};

struct JobFigures {
  double whole = 0, prepare = 0, cpu = 0, meanError = 0;
  long peakKiB = 0;
  int photos = 0;
  std::array<int64_t, kKinds> count{}, ns{}, previews{};
  int64_t decoded = 0, served = 0;
};

// The whole job of 'create' (setup, grid, preparation, assignment, render in
// bands into `out` with the colour error measured), with the caches of
// `cacheFolder`, previews on or off.
Status TimeJob(const Flags& flags, const std::string& cacheFolder, bool previews, const std::string& out,
               JobFigures& f) {
  ResetHighWater();
  const double cpu0 = ProcessCpuSeconds();
  const auto t0 = Clock::now();
  Engine engine;
  MosaicSetup setup;
  VELMORA_TRY(SetUpMosaic(engine, flags, false, setup));
  VELMORA_TRY(engine.CheckCanCreate());
  engine.SetSummaryCacheFolder(cacheFolder);
  engine.SetUsePreviews(previews);
  StepListener steps;
  engine.SetListener(&steps);
  Decodes decodes;
  engine.SetPictureLoader([&](TBitmap32& target, const std::string& path, const DecodeHints& hints) -> Status {
    const bool counted = steps.Preparing();
    const auto c0 = Clock::now();
    Result<DecodedPicture> read = ReadPicture(path, hints);
    if (!read.ok()) return read.status();
    if (!read->keepsAlpha && !read->alphaWritten) read->bitmap.ResetAlpha(255);
    target.TakePixels(read->bitmap);
    if (counted) {
      const Kind kind = KindOf(path);
      ++decodes.count[kind];
      decodes.ns[kind] += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - c0).count();
      if (read->fromPreview) ++decodes.previews[kind];
    }
    return Status::Ok();
  });
  QualityMeter quality;
  VELMORA_TRY(CreateMosaicFile(engine, out, nullptr, &quality));
  engine.FinishCacheWrites();
  f.whole = Seconds(t0, Clock::now());
  f.cpu = ProcessCpuSeconds() - cpu0;
  f.peakKiB = HighWaterKiB();
  f.prepare = Seconds(steps.prepareStart, steps.prepareEnd);
  f.photos = engine.PicList.Count();
  f.meanError = quality.Started() ? quality.Report().MeanSingle : 0;
  for (int k = 0; k < kKinds; ++k) {
    f.count[k] = decodes.count[k];
    f.ns[k] = decodes.ns[k];
    f.previews[k] = decodes.previews[k];
  }
  f.decoded = decodes.Count();
  f.served = decodes.Previews();
  return Status::Ok();
}

// The HEIF photos' thumbnails decoded through the program's reader as the
// preparation asks for them, on `threads` threads; the seconds taken.
double DecodeHeifPreviewsAlone(const std::vector<std::string>& paths, const DecodeHints& hints, int threads,
                               int& failed) {
  std::atomic<size_t> next{0};
  std::atomic<int> bad{0};
  auto work = [&] {
    for (size_t i = next++; i < paths.size(); i = next++)
      if (!ReadPicture(paths[i], hints).ok()) ++bad;
  };
  const auto t0 = Clock::now();
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (std::thread& t : pool) t.join();
  failed = bad;
  return Seconds(t0, Clock::now());
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

std::string PerPhotoMs(const JobFigures& f, Kind k) {
  if (f.count[k] == 0) return "     -";
  return Format("%6.2f", f.ns[k] / 1e6 / double(f.count[k]));
}

}  // namespace

bool WantsCameraLibraryBench(const Args& args) {
  return std::find(args.begin(), args.end(), "--camera-library") != args.end();
}

int RunCameraLibraryBench(const Args& given) {
  Args args = given;
  const std::string folder = Take(args, "--camera-library");
  std::error_code ec;
  if (folder.empty() || !fs::is_directory(folder, ec))
    return Fail("--camera-library needs a folder of photos (see bench/camera-library.sh)");
  if (std::find(args.begin(), args.end(), "--library") != args.end())
    return Fail("--camera-library is the library; leave out --library");
  args.insert(args.end(), {"--library", folder, "--recursive"});
  // The same mosaic in every run, so that the colour errors compare.
  if (std::find(args.begin(), args.end(), "--seed") == args.end()) args.insert(args.end(), {"--seed", "1"});
  Flags flags = MosaicFlags();
  if (Status s = flags.Parse(args); !s) return Fail(s.message());

  const std::string tag = std::to_string(getpid());
  const fs::path cache = fs::temp_directory_path() / ("velmora-bench-camera-cache-" + tag);
  const std::string out = (fs::temp_directory_path() / ("velmora-bench-camera-" + tag + ".jpg")).string();
  struct Cleanup {
    fs::path cache;
    std::string out;
    ~Cleanup() {
      std::error_code e;
      fs::remove_all(cache, e);
      fs::remove(out, e);
    }
  } cleanup{cache, out};

  // The library as the job lists it, for the previews alone.
  Engine listed;
  MosaicSetup setup;
  if (Status s = SetUpMosaic(listed, flags, false, setup); !s) return Fail(s.message());
  std::vector<std::string> byKind[kKinds];
  for (int k = 0; k < listed.PicList.Count(); ++k) byKind[KindOf(listed.PicList[k])].push_back(listed.PicList[k]);
  const tmosaicproject& p = listed.Project;
  const int threads = listed.ThreadCount();
  const int photos = listed.PicList.Count();

  // The limit: every JPEG's EXIF thumbnail read from the file's first
  // segments and decoded, every HEIF photo's thumbnail decoded through the
  // reader, at the scale the preparation takes. Twice; the second counts,
  // with the file heads in memory as they are for the jobs.
  DecodeHints previewHints = SummaryDecodeHints(p.CellWidth, p.CellHeight, p.CropCell);
  previewHints.usePreviews = true;
  previewHints.applyOrientation = listed.UprightPictures();
  DecodeAloneTimes jpegLimit;
  double heifLimit = 0, jpegCpu = 0, heifCpu = 0;
  int heifFailed = 0;
  for (int pass = 0; pass < 2; ++pass) {
    const double c0 = ProcessCpuSeconds();
    jpegLimit = DecodeExifThumbnailsAlone(byKind[kJpeg], previewHints.acceptScaled, threads);
    const double c1 = ProcessCpuSeconds();
    heifLimit = DecodeHeifPreviewsAlone(byKind[kHeic], previewHints, threads, heifFailed);
    jpegCpu = c1 - c0;
    heifCpu = ProcessCpuSeconds() - c1;
  }
  const double limit = jpegLimit.seconds + heifLimit;

  std::printf("%s: %s photos (%s JPEG, %s HEIC, %s other), %d x %d cells of %d x %d px, %d threads, main picture %s\n",
              folder.c_str(), GroupThousands(photos).c_str(), GroupThousands(int64_t(byKind[kJpeg].size())).c_str(),
              GroupThousands(int64_t(byKind[kHeic].size())).c_str(),
              GroupThousands(int64_t(byKind[kOther].size())).c_str(), p.CellsAcross, p.CellsDown, p.CellWidth,
              p.CellHeight, threads, fs::path(p.MainImageFile).filename().c_str());
  std::printf("  cold: summary and rendition caches of a folder of the run's own, empty; warm: as the cold run left them;\n"
              "  CPU/photo: the process's CPU over the photos; decode ms/photo: the preparation's decodes, each timed on\n"
              "  the thread that asked for it\n");
  std::printf("  %-18s %9s %9s %9s %9s %15s %9s %8s %9s\n", "", "whole job", "prepare", "photos/s", "CPU/photo",
              "decode ms/photo", "previews", "mean", "peak");
  std::printf("  %-18s %9s %9s %9s %9s %7s %7s %9s %8s %9s\n", "", "s", "s", "", "ms", "JPEG", "HEIC", "served",
              "delta E", "MiB");
  JobFigures figures[2][2];  // [previews off, on][cold, warm]
  for (const bool previews : {true, false}) {
    fs::remove_all(cache, ec);
    for (const bool warm : {false, true}) {
      JobFigures& f = figures[previews][warm];
      if (Status s = TimeJob(flags, cache.string(), previews, out, f); !s) return Fail(s.message());
      const std::string name = std::string(previews ? "previews" : "no previews") + (warm ? ", warm" : ", cold");
      const std::string served =
          f.decoded == 0 ? "-" : Format("%.1f %%", 100.0 * double(f.served) / double(f.decoded));
      std::printf("  %-18s %9.3f %9.3f %9.0f %9.2f %7s %7s %9s %8.2f %9.1f\n", name.c_str(), f.whole, f.prepare,
                  f.photos / std::max(f.whole, 1e-9), 1000.0 * f.cpu / std::max(f.photos, 1),
                  PerPhotoMs(f, kJpeg).c_str(), PerPhotoMs(f, kHeic).c_str(), served.c_str(), f.meanError,
                  f.peakKiB / 1024.0);
      std::fflush(stdout);
    }
  }
  const JobFigures& cold = figures[1][0];
  std::printf("  the limit, the previews alone on %d threads: %.3f s (JPEG: %d EXIF thumbnails from the files' first "
              "segments, %.3f s, CPU %.2f ms a photo, %d without one; HEIC: %zu thumbnails through the reader, %.3f s, "
              "CPU %.2f ms a photo, %d failed)\n",
              threads, limit, jpegLimit.files, jpegLimit.seconds,
              1000.0 * jpegCpu / double(std::max<size_t>(byKind[kJpeg].size(), 1)), jpegLimit.failed,
              byKind[kHeic].size(), heifLimit, 1000.0 * heifCpu / double(std::max<size_t>(byKind[kHeic].size(), 1)),
              heifFailed);
  std::printf("  the limit is %.1f %% of the cold whole job with previews (%.1f %% of its preparation)\n",
              100.0 * limit / std::max(cold.whole, 1e-9), 100.0 * limit / std::max(cold.prepare, 1e-9));
  std::printf("  load average %s\n", LoadAverage().c_str());
  // One line for scripts.
  std::printf(
      "figures: cold=%.3f warm=%.3f cold_full=%.3f warm_full=%.3f served=%.1f limit=%.3f limit_share=%.1f "
      "de=%.3f de_full=%.3f peak_mib=%.1f peak_full_mib=%.1f\n",
      cold.whole, figures[1][1].whole, figures[0][0].whole, figures[0][1].whole,
      cold.decoded == 0 ? 0.0 : 100.0 * double(cold.served) / double(cold.decoded), limit,
      100.0 * limit / std::max(cold.whole, 1e-9), cold.meanError, figures[0][0].meanError,
      std::max(cold.peakKiB, figures[1][1].peakKiB) / 1024.0,
      std::max(figures[0][0].peakKiB, figures[0][1].peakKiB) / 1024.0);
  return 0;
}

}  // namespace velmora::cli
