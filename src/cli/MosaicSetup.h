// What `create` and `bench` share: their flags, and turning them into an
// engine that is ready to run the creation sequence, the way the new-project
// wizard leaves it (sizes, options, main picture, library, random seed).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "cli/Flags.h"
#include "engine/Engine.h"
#include "quality/Quality.h"
#include "output/BandWriter.h"

namespace velmora::cli {

Flags MosaicFlags();
// The help text of the mosaic flags, for the commands' usage texts.
extern const char* const kMosaicFlagsHelp;

struct MosaicSetup {
  std::string out;          // --out
  std::string projectPath;  // --project, may be empty
};

// Reads the flags into the engine: options (built-in, Defaultopt.opt beside
// the program, or --options), the option flags, the sizes and layout, the main
// picture, the library and the seed. `requireOut`: --out must be given.
// --threads, --orientation and --cache onto `engine`, for the commands that
// reopen a saved project rather than set one up.
Status ApplyEngineFlags(Engine& engine, const Flags& flags);
Status SetUpMosaic(Engine& engine, const Flags& flags, bool requireOut, MosaicSetup& setup);

// Writes the mosaic to `path` as JPEG (.jpg, .jpeg) with the project's JPEG
// settings, or as a 32-bit BMP (.bmp).
Status SaveMosaicPicture(const Engine& engine, const std::string& path);
// Refuses an --out that SaveMosaicPicture could not write.
Status CheckPictureOut(const std::string& path);

// Makes the mosaic with its render in horizontal bands going straight into
// `path` (.jpg, .bmp or .tif), never holding the whole picture: the same
// pixels as the in-memory render saved with SaveMosaicPicture, at a memory
// cost that does not grow with the poster's height.
// With `pending`, the written file is left complete beside its name, in
// *pending, for the caller to put in place with the files saved with it.
// With `quality`, the bands are also measured against the main picture as
// they go by (see Quality.h); it is started on the first band.
Status CreateMosaicFile(Engine& engine, const std::string& path,
                        std::unique_ptr<BandWriter>* pending = nullptr, QualityMeter* quality = nullptr);
// The bands `render` hands out (a render in bands, as Engine::BandSink
// takes them), written into `path` as CreateMosaicFile writes its own.
using BandRender = std::function<Status(int bandRows, const Engine::BandSink& sink)>;
Status WriteMosaicFile(Engine& engine, const std::string& path, const BandRender& render);
// Rows per band for a render in bands of about 128 MiB.
int BandRowsFor(const tmosaicproject& project);
// The measure's figures as the commands print them, one line each.
std::string QualityLines(const QualityReport& report);
// The lines printed after those: CIEDE2000 means, structural similarity at
// the viewing size and, when there is a cell map, the photos used and the
// tile contrast kept (when it was measured).
std::string MoreQualityLines(const QualityReport& report);
// Only the render in bands into the file, after AssignCells (for the bench).
Status RenderMosaicInBandsToFile(Engine& engine, const std::string& path);

}  // namespace velmora::cli
