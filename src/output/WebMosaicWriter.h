// Writing the web mosaic: a folder with a deep-zoom tile pyramid of the
// mosaic (mosaic.dzi and mosaic_files/, cut by libvips), the cell data as a
// script (mosaic-cells.js), the viewer (openseadragon/) and index.html,
// which pans and zooms from the whole mosaic down to single photos and names
// the photo under the pointer. The page fetches nothing by script, so it
// works opened from disk as well as from any static web server.
//
// The folder is built beside its name and put into place at the end: a
// failed, cancelled or interrupted export removes what it wrote and leaves a
// previous export in the folder as it was. An export into a folder that
// holds one replaces only that export's own files (WebExportFolder.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "imaging/Job.h"
#include "imaging/Status.h"
#include "output/WebExportFolder.h"

namespace velmora {

struct WebExportSettings {
  std::string folder;              // the folder to make (or replace)
  std::string viewerFolder;        // openseadragon.min.js, images/ and LICENSE.txt
  std::vector<std::string> names;  // one per library picture, as the usage stats show them
  std::string title;               // the page's title
  int tileQuality = 85;            // JPEG quality of the tiles
  // Export into a folder that holds other files too, keeping them (the
  // user said so: see CheckWebFolder).
  bool replace = false;
};

struct WebExportSummary {
  int Levels = 0;
  int64_t Tiles = 0;
};

// The job text of cutting the tiles.
inline constexpr const char* kWebTilesJobText = "Current Job : Web Mosaic Tiles";

// Where a program in `programFolder` finds the viewer: openseadragon/ in its
// data folder (beside it in a build, PREFIX/share/velmora when installed).
std::string WebViewerFolder(const std::string& programFolder);
// Fails, saying how to get it, when the viewer's files are not there.
Status CheckWebViewer(const std::string& viewerFolder);

// From the mosaic in memory (what the desktop program shows, hand edits and
// pen strokes included); libvips reads its rows in place.
Result<WebExportSummary> ExportWebMosaic(const Engine& engine, const TBitmap32& picture,
                                         const WebExportSettings& settings, JobListener& listener);

// Rendering the mosaic in bands (`render` runs an engine job such as
// ReopenProjectInBands with the band size and sink it is given) into a
// temporary TIFF file that libvips streams into tiles: the memory needed does
// not grow with the mosaic's size.
using WebBandRender = std::function<Status(int bandRows, const Engine::BandSink& sink)>;
Result<WebExportSummary> ExportWebMosaicInBands(const Engine& engine, const WebBandRender& render,
                                                const WebExportSettings& settings, JobListener& listener);

}  // namespace velmora
