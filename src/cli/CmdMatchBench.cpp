// velmora-cli match-bench: makes the same mosaic with the matching choices
// off and on and prints how much each looks like its main picture (the mean
// per-cell CIE76 error at one and at 4 x 4 samples) and how long each took.
// A benchmark, not a test: it asserts nothing.
#include <chrono>
#include <cstdio>

#include "cli/Command.h"
#include "cli/MosaicSetup.h"
#include "engine/Quality.h"

namespace velmora::cli {
namespace {

using Clock = std::chrono::steady_clock;

struct Run {
  const char* name;
  bool useAll;
  MatchOptions matching;
};

int RunMatchBench(const Args& args) {
  Flags flags = MosaicFlags();
  if (Status s = flags.Parse(args); !s) return Fail(s.message());
  const Run runs[] = {
      {"plain matching, use-all off", false, {false, false}},
      {"detail matching, use-all off", false, {true, false}},
      {"use-all, one-by-one pass", true, {false, false}},
      {"use-all, placed by the solver", true, {false, true}},
      {"use-all, detail + solver", true, {true, true}},
  };
  std::printf("%-32s %10s %10s %10s %10s %9s\n", "run", "mean 1x1", "mean 4x4", "worst 1x1", "worst 4x4",
              "assign s");
  for (const Run& run : runs) {
    Engine engine;
    MosaicSetup setup;
    if (Status s = SetUpMosaic(engine, flags, false, setup); !s) return Fail(s.message());
    engine.Project.UseAllPhotos = run.useAll;
    engine.Matching = run.matching;
    if (Status s = engine.CheckCanCreate(); !s) return Fail(s.message());
    engine.MakeGrid();
    if (Status s = engine.PrepareLibrary(); !s) return Fail(s.message());
    const auto t0 = Clock::now();
    engine.AssignCells();
    const double assign = std::chrono::duration<double>(Clock::now() - t0).count();
    if (Status s = engine.RenderMosaic(); !s) return Fail(s.message());
    QualityReport report;
    if (Status s = MeasureQuality(engine, report); !s) return Fail(s.message());
    std::printf("%-32s %10.2f %10.2f %10.2f %10.2f %9.3f\n", run.name, report.MeanSingle, report.MeanDetail,
                report.WorstSingle, report.WorstDetail, assign);
    std::fflush(stdout);
  }
  return 0;
}

const std::string kUsage =
    std::string(
        "Usage: velmora-cli match-bench --main PICTURE --library FOLDER|LIST.IL2 [options]\n\n"
        "Makes the mosaic five times (plain and detail matching with use-all off;\n"
        "with use-all on, the one-by-one pass, the solver, and detail with the\n"
        "solver) and prints the mean and worst-5 % per-cell CIE76 error at one and\n"
        "4 x 4 samples, with the seconds the assignment took. The summary cache is\n"
        "used as by create, so the library is decoded once.\n\n") +
    kMosaicFlagsHelp;

const CommandRegistrar registrar({"match-bench", "compare the matching choices by likeness", kUsage,
                                  RunMatchBench});

}  // namespace
}  // namespace velmora::cli
