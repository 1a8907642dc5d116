// velmora-cli bench: times each step of the main job on a given main picture
// and library and prints the figures. A benchmark, not a test: it asserts
// nothing about the times.
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "cli/BenchMeasures.h"
#include "cli/BigLibraryBench.h"
#include "cli/CameraLibraryBench.h"
#include "cli/Command.h"
#include "cli/DecodeAlone.h"
#include "cli/MosaicSetup.h"
#include "cli/PosterBench.h"
#include "library/CellPictures.h"
#include "engine/Tables.h"

namespace velmora::cli {
namespace {

using Clock = std::chrono::steady_clock;

long PeakRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// A PNG of side x side black RGB pixels in well under a megabyte: deflate
// shrinks the zero rows about a thousandfold, while the decoded picture is
// side * side * 4 bytes.
Status WritePngBomb(const std::string& path, int side) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return Status::Error(path + ": cannot create the file");
  auto chunk = [&](const char* type, const std::vector<uint8_t>& data) {
    const uint8_t len[4] = {uint8_t(data.size() >> 24), uint8_t(data.size() >> 16), uint8_t(data.size() >> 8),
                            uint8_t(data.size())};
    std::fwrite(len, 1, 4, f);
    std::fwrite(type, 1, 4, f);
    if (!data.empty()) std::fwrite(data.data(), 1, data.size(), f);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
    const uint8_t c[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
    std::fwrite(c, 1, 4, f);
  };
  std::fwrite("\x89PNG\r\n\x1a\n", 1, 8, f);
  const uint32_t s = static_cast<uint32_t>(side);
  chunk("IHDR", {uint8_t(s >> 24), uint8_t(s >> 16), uint8_t(s >> 8), uint8_t(s), uint8_t(s >> 24),
                 uint8_t(s >> 16), uint8_t(s >> 8), uint8_t(s), 8, 2, 0, 0, 0});
  z_stream z{};
  deflateInit(&z, 9);
  const std::vector<uint8_t> row(size_t(side) * 3 + 1, 0);  // filter byte 0, then black pixels
  std::vector<uint8_t> out(1 << 20);
  std::vector<uint8_t> idat;
  for (int y = 0; y <= side; ++y) {
    const bool last = y == side;
    z.next_in = const_cast<Bytef*>(row.data());
    z.avail_in = last ? 0 : static_cast<uInt>(row.size());
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
      idat.insert(idat.end(), out.data(), out.data() + (out.size() - z.avail_out));
    } while (z.avail_out == 0 || (last && z.avail_in != 0));
  }
  deflateEnd(&z);
  chunk("IDAT", idat);
  chunk("IEND", {});
  const bool ok = std::fclose(f) == 0;
  return ok ? Status::Ok() : Status::Error(path + ": cannot write the file");
}

// --bombs N: a library of N such pictures of 16384 x 16384 pixels (the
// picture limit), listed in an image list; the folder is removed afterwards.
struct BombLibrary {
  std::filesystem::path folder;
  ~BombLibrary() {
    std::error_code ec;
    if (!folder.empty()) std::filesystem::remove_all(folder, ec);
  }
};

Status MakeBombLibrary(int count, BombLibrary& bombs, std::string& listPath) {
  bombs.folder = std::filesystem::temp_directory_path() / ("velmora-bench-bombs-" + std::to_string(getpid()));
  std::filesystem::create_directories(bombs.folder);
  listPath = (bombs.folder / "bombs.IL2").string();
  std::FILE* list = std::fopen(listPath.c_str(), "wb");
  if (!list) return Status::Error(listPath + ": cannot create the file");
  for (int i = 0; i < count; ++i) {
    const std::string path = (bombs.folder / ("bomb" + std::to_string(i) + ".png")).string();
    VELMORA_TRY(WritePngBomb(path, 16384));
    std::fprintf(list, "%s\r\n", path.c_str());
  }
  std::fclose(list);
  return Status::Ok();
}

// --second-main's value, taken out of `args` (empty when not given).
std::string TakeSecondMain(Args& args) {
  for (size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == "--second-main") {
      std::string value = args[i + 1];
      const auto at = args.begin() + static_cast<std::ptrdiff_t>(i);
      args.erase(at, at + 2);
      return value;
    }
  return std::string();
}

// The arguments with --main's value replaced: the same job on another main
// picture.
Args WithMain(Args args, const std::string& main) {
  for (size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == "--main") args[i + 1] = main;
  return args;
}

// The whole main job (setup to save) with the caches of `cacheFolder`.
Status TimeWholeJob(const Flags& flags, const std::string& cacheFolder, bool bands, double& seconds) {
  const auto t0 = Clock::now();
  Engine engine;
  MosaicSetup setup;
  VELMORA_TRY(SetUpMosaic(engine, flags, false, setup));
  const std::string out = (std::filesystem::temp_directory_path() /
                           ("velmora-bench-again-" + std::to_string(getpid()) + (bands ? ".tif" : ".jpg")))
                              .string();
  VELMORA_TRY(engine.CheckCanCreate());
  engine.SetSummaryCacheFolder(cacheFolder);
  engine.MakeGrid();
  VELMORA_TRY(engine.PrepareLibrary());
  engine.AssignCells();
  if (bands) {
    VELMORA_TRY(RenderMosaicInBandsToFile(engine, out));
  } else {
    VELMORA_TRY(engine.RenderMosaic());
    VELMORA_TRY(SaveMosaicPicture(engine, out));
  }
  engine.FinishCacheWrites();
  seconds = Seconds(t0, Clock::now());
  std::filesystem::remove(out);
  return Status::Ok();
}

int RunBench(const Args& given) {
  if (WantsBigLibraryBench(given)) return RunBigLibraryBench(given);
  if (WantsCameraLibraryBench(given)) return RunCameraLibraryBench(given);
  Args args = given;
  const std::string secondMain = TakeSecondMain(args);
  BombLibrary bombs;
  {
    Flags probe = MosaicFlags();
    if (Status s = probe.Parse(args); !s) return Fail(s.message());
    int count = 0;
    if (Status s = probe.Int("bombs", 0, 100, count); !s) return Fail(s.message());
    if (count > 0) {
      if (probe.Has("library")) return Fail("--bombs makes the library; leave out --library");
      std::string listPath;
      if (Status s = MakeBombLibrary(count, bombs, listPath); !s) return Fail(s.message());
      args.push_back("--library");
      args.push_back(listPath);
    }
  }
  if (std::find(args.begin(), args.end(), "--poster") != args.end()) return RunPosterBench(args);
  Flags flags = MosaicFlags();
  if (Status s = flags.Parse(args); !s) return Fail(s.message());
  int repeat = 1;
  if (Status s = flags.Int("repeat", 1, 100, repeat); !s) return Fail(s.message());

  for (int run = 0; run < repeat; ++run) {
    const auto t0 = Clock::now();
    Engine engine;
    MosaicSetup setup;
    if (Status s = SetUpMosaic(engine, flags, false, setup); !s) return Fail(s.message());
    const bool bands = flags.Switch("bands").value_or(false);
    if (setup.out.empty())
      setup.out = (std::filesystem::temp_directory_path() /
                   ("velmora-bench-" + std::to_string(getpid()) + (bands ? ".tif" : ".jpg")))
                      .string();
    if (Status s = engine.CheckCanCreate(); !s) return Fail(s.message());

    const auto t1 = Clock::now();
    engine.MakeGrid();
    // Library preparation from empty caches of its own (cold: every picture
    // decoded), then again from what that run saved (warm). The render finds
    // the renditions the preparation made.
    const std::string cacheFolder =
        (std::filesystem::temp_directory_path() / ("velmora-bench-cache-" + std::to_string(getpid())))
            .string();
    std::filesystem::remove_all(cacheFolder);
    engine.SetSummaryCacheFolder(cacheFolder);
    const auto t2 = Clock::now();
    if (Status s = engine.PrepareLibrary(); !s) return Fail(s.message());
    const auto t3 = Clock::now();
    if (Status s = engine.PrepareLibrary(); !s) return Fail(s.message());
    const double warm = Seconds(t3, Clock::now());
    const auto t3b = Clock::now();
    engine.AssignCells();
    const auto t4 = Clock::now();
    if (bands) {
      // Render and save in one: the bands go straight into the file.
      if (Status s = RenderMosaicInBandsToFile(engine, setup.out); !s) return Fail(s.message());
    } else {
      if (Status s = engine.RenderMosaic(); !s) return Fail(s.message());
    }
    const auto t5 = Clock::now();
    if (!bands)
      if (Status s = SaveMosaicPicture(engine, setup.out); !s) return Fail(s.message());
    const auto t5b = Clock::now();
    // The renditions written behind the work, which a program waits for
    // before it ends.
    engine.FinishCacheWrites();
    const auto t6 = Clock::now();
    if (!flags.Has("out")) std::filesystem::remove(setup.out);
    if (bands) engine.MosaicState = 0;
    const double coldWhole = Seconds(t0, t3) + Seconds(t3b, t6);
    const std::string loadAfterCold = LoadAverage();

    // The yardsticks: the library decoded by libjpeg-turbo alone at the
    // scale the preparation uses, on two threads; the placed pictures at the
    // renderer's scale, on the render's threads.
    const tmosaicproject& q = engine.Project;
    std::vector<std::string> libraryPaths;
    for (int k = 0; k < engine.PicList.Count(); ++k) libraryPaths.push_back(engine.PicList[k]);
    const DecodeAloneTimes prepAlone =
        DecodeAlone(libraryPaths, SummaryDecodeHints(q.CellWidth, q.CellHeight, q.CropCell).acceptScaled, 2);
    std::vector<std::string> placed;
    {
      std::vector<char> seen(static_cast<size_t>(engine.PicList.Count()), 0);
      for (int y = 0; y < q.CellsDown; ++y)
        for (int x = 0; x < q.CellsAcross; ++x) {
          const CellMapEntry& e = engine.Map.At(x, y);
          if (e.Assigned && e.PicIndex >= 0 && e.PicIndex < engine.PicList.Count() &&
              !seen[static_cast<size_t>(e.PicIndex)]) {
            seen[static_cast<size_t>(e.PicIndex)] = 1;
            placed.push_back(engine.PicList[e.PicIndex]);
          }
        }
    }
    const DecodeAloneTimes renderAlone =
        DecodeAlone(placed, RenderDecodeHints(q.CellWidth, q.CellHeight, q.CropCell).acceptScaled,
                    engine.ThreadCount());
    // The render again, decoding every placed picture (no renditions), and
    // from the renditions the runs so far kept.
    double decodingRender = 0, cachedRender = 0;
    if (!bands) {
      const uint64_t cap = engine.RenditionCacheBytes();
      engine.SetRenditionCacheBytes(0);
      auto r0 = Clock::now();
      if (Status s = engine.RenderMosaic(); !s) return Fail(s.message());
      decodingRender = Seconds(r0, Clock::now());
      engine.SetRenditionCacheBytes(cap);
      r0 = Clock::now();
      if (Status s = engine.RenderMosaic(); !s) return Fail(s.message());
      cachedRender = Seconds(r0, Clock::now());
    }
    // Whole jobs again with the caches as the cold run left them: the same
    // main picture, then another one.
    double warmWhole = 0, secondWhole = 0;
    if (Status s = TimeWholeJob(flags, cacheFolder, bands, warmWhole); !s) return Fail(s.message());
    if (!secondMain.empty()) {
      Flags second = MosaicFlags();
      if (Status s = second.Parse(WithMain(args, secondMain)); !s) return Fail(s.message());
      if (Status s = TimeWholeJob(second, cacheFolder, bands, secondWhole); !s) return Fail(s.message());
    }
    std::filesystem::remove_all(cacheFolder);

    const tmosaicproject& p = engine.Project;
    const int pictures = engine.PicList.Count();
    const int cells = p.CellsAcross * p.CellsDown;
    const double mosaicMp = double(p.FinalWidth) * p.FinalHeight / 1e6;
    const double finalBytes = double(p.FinalWidth) * p.FinalHeight * 4;
    const double tableBytes = double(kLibraryTableBytes + kCellMapBytes) + double(kMapSide) * kMapSide;
    std::printf("run %d: %d x %d cells of %d x %d px, %d library pictures, %d threads\n", run + 1,
                p.CellsAcross, p.CellsDown, p.CellWidth, p.CellHeight, pictures, engine.ThreadCount());
    std::printf("  setup (options, library list, main picture) %8.3f s\n", Seconds(t0, t1));
    std::printf("  grid                                        %8.3f s\n", Seconds(t1, t2));
    std::printf("  prepare library, cold (empty caches)        %8.3f s  %9.0f pictures/s\n", Seconds(t2, t3),
                pictures / std::max(Seconds(t2, t3), 1e-9));
    std::printf(
        "  prepare library again, warm cache           %8.3f s  %9.0f pictures/s  (%.1f %% of cold)\n", warm,
        pictures / std::max(warm, 1e-9), 100.0 * warm / std::max(Seconds(t2, t3), 1e-9));
    std::printf("  assign cells                                %8.3f s  %9.0f cells/s\n", Seconds(t3b, t4),
                cells / std::max(Seconds(t3b, t4), 1e-9));
    if (bands) {
      std::printf("  render in bands into the %-18s %8.3f s  %9.1f megapixels/s\n",
                  std::filesystem::path(setup.out).extension().c_str(), Seconds(t4, t5),
                  mosaicMp / std::max(Seconds(t4, t5), 1e-9));
    } else {
      std::printf("  render                                      %8.3f s  %9.1f megapixels/s\n",
                  Seconds(t4, t5), mosaicMp / std::max(Seconds(t4, t5), 1e-9));
    }
    if (!bands)
      std::printf("  save %-38s %8.3f s  %9.1f megapixels/s\n",
                  std::filesystem::path(setup.out).extension().c_str(), Seconds(t5, t5b),
                  mosaicMp / std::max(Seconds(t5, t5b), 1e-9));
    std::printf("  wait for the renditions written behind      %8.3f s\n", Seconds(t5b, t6));
    std::printf("  end to end                                  %8.3f s\n", Seconds(t0, t6));
    std::printf("  whole mosaic, cold (empty caches)           %8.3f s  (end to end less the warm preparation)\n",
                coldWhole);
    const double prepRate = pictures / std::max(Seconds(t2, t3), 1e-9);
    const double aloneRate = prepAlone.files / std::max(prepAlone.seconds, 1e-9);
    std::printf("  libjpeg-turbo alone, the library at the preparation's scale, 2 threads: %.3f s, %.0f files/s"
                " (%d not decoded); cold preparation at %.0f %% of it\n",
                prepAlone.seconds, aloneRate, prepAlone.failed, 100.0 * prepRate / std::max(aloneRate, 1e-9));
    std::printf("  libjpeg-turbo alone, the %zu placed pictures at the render's scale, %d threads: %.3f s"
                " (%.1f decoded megapixels)\n",
                placed.size(), engine.ThreadCount(), renderAlone.seconds, renderAlone.megapixels);
    if (!bands) {
      std::printf("  render again, every placed picture decoded  %8.3f s  %9.1f megapixels/s  (%.2f x the decode alone)\n",
                  decodingRender, mosaicMp / std::max(decodingRender, 1e-9),
                  decodingRender / std::max(renderAlone.seconds, 1e-9));
      std::printf("  render again from the rendition cache       %8.3f s  %9.1f megapixels/s\n", cachedRender,
                  mosaicMp / std::max(cachedRender, 1e-9));
    }
    std::printf("  whole mosaic again, warm caches             %8.3f s  (%.1f %% of cold)\n", warmWhole,
                100.0 * warmWhole / std::max(coldWhole, 1e-9));
    if (!secondMain.empty())
      std::printf("  second mosaic, main picture %s, warm caches %8.3f s  (%.1f %% of cold)\n",
                  std::filesystem::path(secondMain).filename().c_str(), secondWhole,
                  100.0 * secondWhole / std::max(coldWhole, 1e-9));
    std::printf("  load average after the cold run: %s; at the end: %s\n", loadAfterCold.c_str(),
                LoadAverage().c_str());
    std::printf("  pictures in flight at most %.1f MiB of the %.1f MiB budget\n",
                engine.Budget().Peak() / (1024.0 * 1024.0), engine.Budget().Capacity() / (1024.0 * 1024.0));
    if (bands) {
      std::printf(
          "  peak memory %.1f MiB (VmHWM %.1f MiB); the whole %.0f-megapixel picture alone: %.1f MiB\n",
          PeakRssKiB() / 1024.0, HighWaterKiB() / 1024.0, mosaicMp, finalBytes / (1024.0 * 1024.0));
    } else {
      std::printf("  peak memory %.1f MiB (3 x picture + tables = %.1f MiB)\n", PeakRssKiB() / 1024.0,
                  (3 * finalBytes + tableBytes) / (1024.0 * 1024.0));
    }
  }
  return 0;
}

const std::string kUsage = std::string(
                               "Usage: velmora-cli bench --main PICTURE --library FOLDER|LIST.IL2 [--out FILE]\n"
                               "                         [--repeat N] [--bands] [--bombs N] [--second-main PICTURE]\n"
                               "                         [mosaic options]\n"
                               "       velmora-cli bench --big-library N --main PICTURE --library FOLDER\n"
                               "                         [--repeat N] [--keep DIR] [mosaic options]\n"
                               "       velmora-cli bench --poster --main PICTURE --library FOLDER|LIST.IL2\n"
                               "                         [--out P.tif] [mosaic options]\n"
                               "       velmora-cli bench --camera-library DCIM-FOLDER --main PICTURE\n"
                               "                         [mosaic options]\n\n"
                               "Runs the main job once (or N times) and prints the time of each step\n"
                               "(grid, prepare, assign, render, save) with pictures per second and\n"
                               "megapixels per second, the end-to-end time and the peak memory.\n"
                               "Beside them: libjpeg-turbo alone decoding the library at the\n"
                               "preparation's scale on two threads (and the preparation's share of\n"
                               "its rate) and the placed pictures at the render's scale; the render\n"
                               "again decoding every picture and again from the rendition cache;\n"
                               "the whole job again with the caches filled, and with --second-main\n"
                               "on another main picture; the load average.\n"
                               "Without --out the picture goes to a temporary JPEG that is removed.\n"
                               "With --bands the render goes in bands straight into the file (a\n"
                               "temporary .tif without --out), as 'create' does, and the peak memory\n"
                               "of that is shown.\n"
                               "With --poster it runs the poster example as two programs, 'create\n"
                               "--out P.tif --project P.vm6' and then 'render P.vm6', and prints the time\n"
                               "and peak memory of each (400x400 cells of 64x64 pixels unless --cells and\n"
                               "--cell-size say otherwise; temporary files unless --out is given).\n"
                               "With --big-library N the pictures of the library folder are linked in\n"
                               "turn into a temporary folder of N entries (up to 65,535); the job runs\n"
                               "once to fill caches of its own, then N (--repeat, 3) times warm, and\n"
                               "the time of each step is printed: setup and list, grid, prepare,\n"
                               "assign, render and save. With --keep DIR the linked folder and the caches\n"
                               "are made in DIR and kept: a later run with the same DIR and N finds them\n"
                               "ready and times warm jobs only.\n"
                               "With --camera-library DIR the library is the photos of DIR and its\n"
                               "subfolders, as a phone or camera leaves them (bench/camera-library.sh\n"
                               "makes one): the whole job of 'create' runs with the photos' embedded\n"
                               "previews and without, each cold (caches of its own, empty) and warm,\n"
                               "and each run's time, photos per second, CPU per photo, decoding CPU\n"
                               "per JPEG and HEIC photo, share of photos their previews served, mean\n"
                               "colour error and peak memory (VmHWM) are printed; beside them the\n"
                               "limit: the previews alone read and decoded (a JPEG's EXIF thumbnail\n"
                               "from the file's first segments, a HEIC's thumbnail through the\n"
                               "reader), as a share of the cold time. --seed is 1 unless given.\n"
                               "With --bombs N the library is N PNG pictures of 16384 x 16384 pixels,\n"
                               "under a megabyte each, made for the run and removed after it: the\n"
                               "peak memory then shows what the memory budget (--memory) holds.\n\n") +
                           kMosaicFlagsHelp;

const CommandRegistrar registrar({"bench", "time each step of the main job", kUsage, RunBench});

}  // namespace
}  // namespace velmora::cli
