#include "output/WebMosaicWriter.h"

#include <signal.h>
#include <unistd.h>
#include <vips/vips.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include "imaging/FileIO.h"
#include "imaging/Interrupt.h"
#include "imaging/LazyLibrary.h"
#include "library/ProgramFolders.h"
#include "output/BandWriter.h"
#include "output/WebMosaic.h"

namespace velmora {

// The page itself (WebMosaicPage.cpp).
std::string_view WebMosaicPage();

namespace {

namespace fs = std::filesystem;

constexpr const char* kPyramidName = "mosaic";  // mosaic.dzi, mosaic_files/
constexpr const char* kCellScriptName = "mosaic-cells.js";
constexpr const char* kViewerScript = "openseadragon.min.js";

std::string ErrorText(const std::error_code& ec) { return ec.message(); }

// libvips and the hundred libraries it brings are loaded on the first web
// export, not at every start of the program: linking them costs every run
// of velmora-cli tens of milliseconds. The headers still give the types.
// clang-format off
#define VELMORA_VIPS_CALLS(X) \
  X(vips_init) \
  X(vips_cache_set_max) \
  X(vips_error_buffer) \
  X(vips_error_clear) \
  X(vips_image_set_kill) \
  X(vips_image_set_progress) \
  X(vips_dzsave) \
  X(vips_image_new_from_memory) \
  X(vips_image_new_from_file) \
  X(vips_extract_band) \
  X(vips_bandjoin) \
  X(vips_copy) \
  X(g_object_unref) \
  X(g_signal_connect_data) \
  X(g_signal_handler_disconnect)
// clang-format on

VELMORA_VIPS_CALLS(VELMORA_LAZY_DECLARE)

Status StartVips() {
  static LazyLibrary library("libvips.so.42", "The web mosaic needs libvips (Debian package libvips42)");
  return library.Open([](void* handle) {
    if (!(true VELMORA_VIPS_CALLS(VELMORA_LAZY_BIND))) return false;
    (void)vips_init("velmora");
    // Nothing is looked at twice, and a cached loader would keep the deleted
    // temporary picture open.
    vips_cache_set_max(0);
    return true;
  });
}

std::string TakeVipsError() {
  std::string text = vips_error_buffer();
  vips_error_clear();
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text.empty() ? "unknown libvips error" : text;
}

// Unrefs a VipsImage when it goes out of scope.
struct ImageRef {
  VipsImage* image = nullptr;
  ImageRef() = default;
  ImageRef(const ImageRef&) = delete;
  ImageRef& operator=(const ImageRef&) = delete;
  ~ImageRef() { Reset(); }
  void Reset() {
    if (image) g_object_unref(image);
    image = nullptr;
  }
};

bool ProcessRuns(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

// FOLDER.web-PID: where an export builds its folder before the rename.
std::string StagingName(const fs::path& target, pid_t pid) {
  return target.string() + ".web-" + std::to_string(pid);
}

// Staging folders, and earlier exports set aside, of exports that died
// without cleaning up (killed, or the machine stopped).
void RemoveStaleStaging(const fs::path& target) {
  std::error_code ec;
  const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
  for (const char* kind : {".web-", ".old-"}) {
    const std::string prefix = target.filename().string() + kind;
    for (const auto& entry : fs::directory_iterator(parent, ec)) {
      const std::string name = entry.path().filename().string();
      if (name.compare(0, prefix.size(), prefix) != 0) continue;
      const std::string digits = name.substr(prefix.size());
      if (digits.empty() || digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), ::isdigit))
        continue;
      if (!ProcessRuns(pid_t(std::stol(digits)))) fs::remove_all(entry.path(), ec);
    }
  }
}

Status CopyViewer(const std::string& viewerFolder, const fs::path& to) {
  std::error_code ec;
  fs::create_directories(to / "images", ec);
  if (!ec) fs::copy_file(fs::path(viewerFolder) / kViewerScript, to / kViewerScript, ec);
  if (!ec) fs::copy_file(fs::path(viewerFolder) / "LICENSE.txt", to / "LICENSE.txt", ec);
  if (!ec) fs::copy(fs::path(viewerFolder) / "images", to / "images", fs::copy_options::recursive, ec);
  if (ec)
    return Status::Error(
        Format("Cannot copy the web viewer from \"%s\": %s", viewerFolder.c_str(), ErrorText(ec).c_str()));
  return Status::Ok();
}

Status WriteText(const fs::path& path, std::string_view text) {
  return WriteFileAtomically(
      path.string(), std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

// The manifest, written last: every file the export put into `staging`.
Status WriteManifest(const fs::path& staging) {
  std::vector<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(staging, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    std::string rel = it->path().lexically_relative(staging).generic_string();
    // One path a line: a name that breaks a line cannot be listed.
    if (rel.find_first_of("\r\n") != std::string::npos)
      return Status::Error(Format("Cannot list the web mosaic's file \"%s\".", rel.c_str()));
    files.push_back(std::move(rel));
  }
  if (ec) return Status::Error(Format("Cannot list the web mosaic's files: %s", ErrorText(ec).c_str()));
  std::sort(files.begin(), files.end());
  return WriteText(staging / kWebManifestName, WebManifestText(files));
}

bool StopWanted(JobListener& listener) { return InterruptRequested() || listener.CancelRequested(); }

// Progress of the tiler, shared between its thread and the job's.
struct TileProgress {
  std::atomic<int> percent{0};
  std::atomic<bool> stop{false};
};

void OnEval(VipsImage* image, VipsProgress* progress, TileProgress* state) {
  state->percent.store(progress->percent);
  if (state->stop.load()) vips_image_set_kill(image, TRUE);
}

// Cuts `picture` into the pyramid in `staging`, on a thread of its own while
// this one reports progress and listens for a cancel.
Status CutTiles(VipsImage* picture, const fs::path& staging, int quality, JobListener& listener) {
  listener.SetJobText(kWebTilesJobText);
  listener.SetProgress(0);
  listener.ProcessEvents();
  TileProgress state;
  vips_image_set_progress(picture, TRUE);
  const gulong handler =
      g_signal_connect_data(picture, "eval", G_CALLBACK(OnEval), &state, nullptr, GConnectFlags(0));
  const std::string base = (staging / kPyramidName).string();
  const std::string suffix = ".jpg[Q=" + std::to_string(std::clamp(quality, 1, 100)) + "]";
  std::atomic<bool> done{false};
  int result = 0;
  std::thread worker([&] {
    result =
        vips_dzsave(picture, base.c_str(), "tile_size", kWebTileSize, "overlap", kWebTileOverlap, "suffix",
                    suffix.c_str(), "depth", VIPS_FOREIGN_DZ_DEPTH_ONEPIXEL, "strip", TRUE, nullptr);
    done.store(true);
  });
  int shown = 0;
  while (!done.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (const int p = state.percent.load(); p != shown) listener.SetProgress(shown = p);
    listener.ProcessEvents();
    if (StopWanted(listener)) state.stop.store(true);
  }
  worker.join();
  g_signal_handler_disconnect(picture, handler);
  if (state.stop.load() || StopWanted(listener)) {
    vips_error_clear();
    listener.SetJobText(kJobCancelledText);
    listener.SetProgress(0);
    return Status::Error(kJobCancelled);
  }
  if (result != 0)
    return Status::Error(Format("Cannot cut the web mosaic's tiles: %s", TakeVipsError().c_str()));
  // libvips's own notes on the picture (sizes, the temporary file's
  // metadata) are of no use to a viewer.
  std::error_code ec;
  fs::remove(staging / (std::string(kPyramidName) + "_files") / "vips-properties.xml", ec);
  listener.SetProgress(100);
  return Status::Ok();
}

using PictureMaker = std::function<Status(const fs::path& staging, ImageRef& picture)>;

// `dropSource` (when given) removes what makePicture left in the staging
// folder once the tiles are cut.
Result<WebExportSummary> Export(const Engine& engine, const WebExportSettings& settings,
                                JobListener& listener, const PictureMaker& makePicture,
                                const std::function<void()>& dropSource = {}) {
  const tmosaicproject& p = engine.Project;
  if (p.FinalWidth <= 0 || p.FinalHeight <= 0) return Status::Error("There is no mosaic to export.");
  VELMORA_TRY(CheckWebViewer(settings.viewerFolder));
  VELMORA_TRY(CheckWebFolder(settings.folder, settings.replace).status);
  VELMORA_TRY(StartVips());

  const fs::path target = fs::absolute(fs::path(settings.folder)).lexically_normal();
  const fs::path clean = target.has_filename() ? target : target.parent_path();
  RemoveStaleStaging(clean);
  const fs::path staging = StagingName(clean, ::getpid());
  std::error_code ec;
  fs::remove_all(staging, ec);
  if (!fs::create_directories(staging, ec) || ec)
    return Status::Error(
        Format("Cannot create the folder \"%s\": %s", staging.c_str(), ErrorText(ec).c_str()));
  // Whatever ends the export early takes the staging folder with it.
  struct Cleanup {
    fs::path path;
    ~Cleanup() {
      std::error_code e;
      if (!path.empty()) fs::remove_all(path, e);
    }
  } cleanup{staging};

  {
    ImageRef picture;
    VELMORA_TRY(makePicture(staging, picture));
    VELMORA_TRY(CutTiles(picture.image, staging, settings.tileQuality, listener));
  }
  if (dropSource) dropSource();
  VELMORA_TRY(
      WriteText(staging / kCellScriptName, WebCellScript(settings.names, engine.Map, p, settings.title)));
  VELMORA_TRY(WriteText(staging / "index.html", WebMosaicPage()));
  VELMORA_TRY(CopyViewer(settings.viewerFolder, staging / "openseadragon"));
  VELMORA_TRY(WriteManifest(staging));
  if (StopWanted(listener)) return Status::Error(kJobCancelled);
  VELMORA_TRY(PlaceWebExport(staging.string(), clean.string(), settings.replace));

  const std::vector<DeepZoomLevel> levels = DeepZoomLevels(p.FinalWidth, p.FinalHeight);
  return WebExportSummary{int(levels.size()), DeepZoomTileCount(levels)};
}

}  // namespace

std::string WebViewerFolder(const std::string& programFolder) {
  return (fs::path(LocateProgramFolders(programFolder).data) / "openseadragon").string();
}

Status CheckWebViewer(const std::string& viewerFolder) {
  std::error_code ec;
  const fs::path v(viewerFolder);
  if (fs::is_regular_file(v / kViewerScript, ec) && fs::is_regular_file(v / "LICENSE.txt", ec) &&
      fs::is_directory(v / "images", ec))
    return Status::Ok();
  return Status::Error(
      Format("The web mosaic viewer (OpenSeadragon) is missing: \"%s\" should hold %s, LICENSE.txt and "
             "images/. Run scripts/install-deps.sh with network access to fetch it, then build again.",
             viewerFolder.c_str(), kViewerScript));
}

Result<WebExportSummary> ExportWebMosaic(const Engine& engine, const TBitmap32& picture,
                                         const WebExportSettings& settings, JobListener& listener) {
  if (picture.Empty()) return Status::Error("There is no mosaic to export.");
  // The page's cells are the project's; a picture of another size (one
  // opened for viewing) would not match them.
  if (picture.Width() != engine.Project.FinalWidth || picture.Height() != engine.Project.FinalHeight)
    return Status::Error("The picture shown is not the project's mosaic; make or open a mosaic first.");
  return Export(engine, settings, listener, [&](const fs::path&, ImageRef& out) {
    // Pixels lie as blue, green, red, unused: the first three bands reversed
    // are the red, green, blue rows libvips expects.
    const size_t bytes = picture.Pixels().size_bytes();
    ImageRef whole, bands[3];
    whole.image = vips_image_new_from_memory(picture.Pixels().data(), bytes, picture.Width(),
                                             picture.Height(), 4, VIPS_FORMAT_UCHAR);
    if (!whole.image) return Status::Error(Format("Cannot read the mosaic: %s", TakeVipsError().c_str()));
    for (int i = 0; i < 3; ++i)
      if (vips_extract_band(whole.image, &bands[i].image, 2 - i, nullptr) != 0)
        return Status::Error(Format("Cannot read the mosaic: %s", TakeVipsError().c_str()));
    VipsImage* in[3] = {bands[0].image, bands[1].image, bands[2].image};
    ImageRef rgb;
    if (vips_bandjoin(in, &rgb.image, 3, nullptr) != 0 ||
        vips_copy(rgb.image, &out.image, "interpretation", VIPS_INTERPRETATION_sRGB, nullptr) != 0)
      return Status::Error(Format("Cannot read the mosaic: %s", TakeVipsError().c_str()));
    return Status::Ok();
  });
}

Result<WebExportSummary> ExportWebMosaicInBands(const Engine& engine, const WebBandRender& render,
                                                const WebExportSettings& settings, JobListener& listener) {
  std::unique_ptr<BandWriter> writer;
  return Export(
      engine, settings, listener,
      [&](const fs::path& staging, ImageRef& out) {
        const tmosaicproject& p = engine.Project;
        // The TIFF stays beside its name, where the file clean-up of an
        // interrupt finds it, and goes when the writer does.
        Result<std::unique_ptr<BandWriter>> opened =
            OpenBandWriter((staging / "render.tif").string(), p.FinalWidth, p.FinalHeight, 75, false);
        if (!opened) return opened.status();
        writer = std::move(*opened);
        // Bands of about 64 MiB: a few cells tall even for the widest mosaics.
        const int64_t rows = (int64_t(64) << 20) / (int64_t(std::max(p.FinalWidth, 1)) * 4);
        const int bandRows = int(std::clamp<int64_t>(rows, std::min(64, p.FinalHeight), p.FinalHeight));
        VELMORA_TRY(
            render(bandRows, [&](const TBitmap32& band, int n) { return writer->WriteRows(band, n); }));
        VELMORA_TRY(writer->Complete());
        out.image = vips_image_new_from_file(writer->File().TempPath().c_str(), "access",
                                             VIPS_ACCESS_SEQUENTIAL, nullptr);
        if (!out.image)
          return Status::Error(Format("Cannot read the rendered mosaic back: %s", TakeVipsError().c_str()));
        return Status::Ok();
      },
      [&] { writer.reset(); });
}

}  // namespace velmora
