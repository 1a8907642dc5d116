// velmora-cli quality PROJECT.vm6: how much a saved mosaic looks like its
// main picture. The project is reopened and drawn as 'render' does, in bands
// that are measured as they go by and not written anywhere.
#include <iostream>

#include "cli/Command.h"
#include "cli/LoadProject.h"
#include "cli/MosaicSetup.h"
#include "cli/ProgressBar.h"
#include "imaging/PictureReader.h"
#include "quality/Quality.h"
#include "quality/TileContrast.h"

namespace velmora::cli {
namespace {

// quality --picture MOSAIC --main MAIN --cells AxD: a finished picture, made
// by any program, measured against its main picture on a grid of cells.
int RunPictureQuality(const Flags& flags) {
  if (!flags.Positional().empty()) return Fail("quality --picture takes no project");
  if (!flags.Has("main") || !flags.Has("cells")) return Fail("quality --picture needs --main PICTURE and --cells AxD");
  int cols = 0, rows = 0;
  if (Status s = flags.Pair("cells", 1, kMapSide, cols, rows); !s) return Fail(s.message());
  int threads = DefaultQualityThreads();
  if (Status s = flags.Int("threads", 1, 64, threads); !s) return Fail(s.message());
  Result<DecodedPicture> picture = ReadPicture(*flags.Value("picture"));
  if (!picture) return Fail(picture.message());
  Result<DecodedPicture> main = ReadPicture(*flags.Value("main"));
  if (!main) return Fail(main.message());
  QualityReport report;
  if (Status s = MeasurePicture(picture->bitmap, main->bitmap, cols, rows, threads, report); !s)
    return Fail(s.message());
  std::cout << QualityLines(report) << MoreQualityLines(report);
  return 0;
}

// The project drawn again as the tile contrast compares it: no tint, no
// overlay, no colour transfer, all else (cell map, crops, mirrors, borders,
// pen strokes) as before; its bands go to `contrast`. The rendition cache
// serves the photos the first drawing prepared.
Status DrawUntinted(Engine& engine, CommandProject& project, TileContrastMeter& contrast) {
  engine.Project.ColorEnhance = 0;
  engine.Project.AlphaMain = 0;
  engine.Matching.Transfer = false;
  int top = 0;
  return ReopenCommandProject(engine, project, BandRowsFor(engine.Project),
                              [&](const TBitmap32& band, int rows) {
                                contrast.AddUntintedRows(band, top, rows);
                                top += rows;
                                return Status::Ok();
                              });
}

int RunQuality(const Args& args) {
  Flags flags({"threads", "worst", "picture", "main", "cells"}, {"quiet"}, {"orientation", "cache", "previews"});
  if (Status s = flags.Parse(args); !s) return Fail(s.message());
  if (flags.Has("picture")) return RunPictureQuality(flags);
  if (flags.Positional().size() != 1)
    return Fail("quality needs one PROJECT.vm6 (see 'velmora-cli quality --help')");
  int worstPercent = 0;
  if (Status s = flags.Int("worst", 0, 100, worstPercent); !s) return Fail(s.message());

  Engine engine;
  if (Status s = ApplyEngineFlags(engine, flags); !s) return Fail(s.message());
  ProgressBar progress(flags.Switch("quiet").value_or(false));
  engine.SetListener(&progress);

  QualityMeter meter;
  meter.SetThreads(engine.ThreadCount());
  TileContrastMeter contrast;
  CommandProject project;
  Status done = LoadCommandProject(engine, flags.Positional()[0], &project);
  if (done) {
    int top = 0;
    done = ReopenCommandProject(
        engine, project, BandRowsFor(engine.Project), [&](const TBitmap32& band, int rows) {
          if (top == 0) {
            VELMORA_TRY(meter.Start(engine.MainBitmap, QualityMainArea(engine), engine.Project));
            // A self mosaic has no photos of its own to keep the contrast of;
            // a grid the measure cannot take leaves the line out too.
            const tmosaicproject& p = engine.Project;
            if (p.RenderMode != kRenderSelf)
              (void)contrast.Start(p.FinalWidth, p.FinalHeight, p.CellsAcross, p.CellsDown);
          }
          meter.AddMosaicRows(band, top, rows);
          contrast.AddMosaicRows(band, top, rows);
          top += rows;
          return Status::Ok();
        });
  }
  if (done && contrast.Started()) done = DrawUntinted(engine, project, contrast);
  engine.FinishCacheWrites();
  progress.Finish();
  if (engine.JobCancelled()) return Cancelled();
  if (!done) return Fail(done.message());
  if (!meter.Started()) return Fail("The project has no mosaic to measure.");

  QualityReport report = meter.Report();
  const PhotoUses uses = CountPhotoUses(engine.Map, engine.Project.CellsAcross, engine.Project.CellsDown);
  report.PhotosUsed = uses.Distinct;
  report.MostUses = uses.Most;
  if (contrast.Started()) {
    const TileContrast kept = contrast.Result();
    report.ContrastKept = kept.Percent;
    report.ContrastCells = kept.Cells;
  }
  std::cout << QualityLines(report);
  if (worstPercent > 0) {
    std::cout << "Worst " << worstPercent << " % of cells (column, row from 0; delta E one sample, 4 x 4):\n";
    for (const CellPos& c : WorstCells(report, worstPercent))
      std::cout << Format("  %d, %d: %.2f, %.2f\n", c.X, c.Y, report.SingleAt(c.X, c.Y),
                          report.DetailAt(c.X, c.Y));
  }
  std::cout << MoreQualityLines(report);
  return 0;
}

const CommandRegistrar registrar({
    "quality",
    "measure how much a saved mosaic looks like its main picture",
    "Usage: velmora-cli quality PROJECT.vm6 [--worst PERCENT] [--threads N] [--quiet]\n"
    "                           [--no-orientation] [--no-previews] [--no-cache]\n"
    "       velmora-cli quality --picture MOSAIC --main PICTURE --cells AxD [--threads N]\n\n"
    "Reopens the project, renders its mosaic (nothing is saved) and compares\n"
    "every cell with the part of the main picture it stands for, in CIELAB\n"
    "(CIE76 delta E: 0 is the same colour, about 2.3 is just noticeable side by\n"
    "side, 10 is plainly different, 100 is black against white):\n"
    "  one sample per cell     the cell's mean colour against the picture's mean\n"
    "                          there (what is seen from a distance)\n"
    "  4 x 4 samples per cell  the mean of sixteen such comparisons per cell (it\n"
    "                          also counts colours in the wrong place)\n"
    "For each, the mean over all cells and the mean of the worst 5 % of cells.\n"
    "A border counts as part of its cell. --worst lists the worst PERCENT of\n"
    "cells, worst first. After these come the same means as CIEDE2000 (about 1\n"
    "is just noticeable), the structural similarity (SSIM: grey, 8 x 8 window,\n"
    "1 = the same picture) of the mosaic and the main picture both reduced so\n"
    "that the main picture's longer side is 512 px, and how many different\n"
    "photos the cells use and the most cells one photo fills.\n"
    "Last, the tile contrast kept: per cell, the luminance spread of the mosaic\n"
    "against that of the project drawn again without tint, colour transfer or\n"
    "overlay (at most 100 %, flat photos left out), averaged over the cells. The\n"
    "cells are taken as the grid's rectangles: exact for the loom layout, an\n"
    "approximation for peyote and brick. A self mosaic is not measured.\n\n"
    "--picture measures a finished picture (from any program) against PICTURE\n"
    "on a grid of A x D cells of whole pixels, as a mosaic of that grid; it\n"
    "has no cell map, so the photo counts and the tile contrast are left out.\n",
    RunQuality,
});

}  // namespace
}  // namespace velmora::cli
