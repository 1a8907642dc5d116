// velmora-cli quality PROJECT.vm6: how much a saved mosaic looks like its
// main picture. The project is reopened and drawn as 'render' does, in bands
// that are measured as they go by and not written anywhere.
#include <iostream>

#include "cli/Command.h"
#include "cli/LoadProject.h"
#include "cli/MosaicSetup.h"
#include "cli/ProgressBar.h"
#include "quality/Quality.h"

namespace velmora::cli {
namespace {

int RunQuality(const Args& args) {
  Flags flags({"threads", "worst"}, {"quiet"}, {"orientation", "cache", "previews"});
  if (Status s = flags.Parse(args); !s) return Fail(s.message());
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
  CommandProject project;
  Status done = LoadCommandProject(engine, flags.Positional()[0], &project);
  if (done) {
    int top = 0;
    done = ReopenCommandProject(
        engine, project, BandRowsFor(engine.Project), [&](const TBitmap32& band, int rows) {
          if (top == 0) VELMORA_TRY(meter.Start(engine.MainBitmap, QualityMainArea(engine), engine.Project));
          meter.AddMosaicRows(band, top, rows);
          top += rows;
          return Status::Ok();
        });
  }
  engine.FinishCacheWrites();
  progress.Finish();
  if (engine.JobCancelled()) return Cancelled();
  if (!done) return Fail(done.message());
  if (!meter.Started()) return Fail("The project has no mosaic to measure.");

  const QualityReport report = meter.Report();
  std::cout << QualityLines(report);
  if (worstPercent > 0) {
    std::cout << "Worst " << worstPercent << " % of cells (column, row from 0; delta E one sample, 4 x 4):\n";
    for (const CellPos& c : WorstCells(report, worstPercent))
      std::cout << Format("  %d, %d: %.2f, %.2f\n", c.X, c.Y, report.SingleAt(c.X, c.Y),
                          report.DetailAt(c.X, c.Y));
  }
  return 0;
}

const CommandRegistrar registrar({
    "quality",
    "measure how much a saved mosaic looks like its main picture",
    "Usage: velmora-cli quality PROJECT.vm6 [--worst PERCENT] [--threads N] [--quiet]\n"
    "                           [--no-orientation] [--no-previews] [--no-cache]\n\n"
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
    "cells, worst first.\n",
    RunQuality,
});

}  // namespace
}  // namespace velmora::cli
