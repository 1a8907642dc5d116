// velmora-cli create: the main job. Makes a photo mosaic from a main picture
// and a library, saves the picture and, if asked, the project.
#include <iostream>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "cli/MosaicSetup.h"
#include "cli/ProgressBar.h"
#include "quality/Advice.h"
#include "project/MatchingBlock.h"
#include "project/ProjectFile.h"

namespace velmora::cli {
namespace {

int RunCreate(const Args& args) {
  Flags flags = MosaicFlags();
  if (Status s = flags.Parse(args); !s) return Fail(s.message());

  Engine engine;
  MosaicSetup setup;
  if (Status s = SetUpMosaic(engine, flags, true, setup); !s) return Fail(s.message());
  if (flags.Switch("advice").value_or(false)) {
    // The options are in the project by now; the advice goes there too.
    const SettingsAdvice advice = AdviseSettings(AdviceInputOf(engine, engine.Project));
    ApplyAdvice(advice, engine.Project, engine.Project);
    // The cap is switched on here, so that the mosaic keeps to it and the
    // project stores it; the cap printed is the one kept (a looser cap given
    // with --max-repeat stays).
    if (advice.Applicable) {
      engine.Project.LimitRepeat = true;
      engine.Project.RepeatLimitSuspended = false;
    }
    SettingsAdvice applied = advice;
    applied.MaxRepeatTimes = engine.Project.MaxRepeatTimes;
    std::cerr << "Advice applied: " << AdviceSummary(applied, engine.Project.CellsAcross) << "\n";
  }

  // Refused before the work rather than after it.
  for (const std::string* path : {&setup.out, &setup.projectPath})
    if (Status s = path->empty() ? Status::Ok() : CheckReplaceable(*path); !s) return Fail(s.message());

  ProgressBar progress(flags.Switch("quiet").value_or(false));
  engine.SetListener(&progress);
  // The render goes in bands straight into the file, so that a poster larger
  // than memory can be made. Picture and project are both written before
  // either replaces its file: a failed save leaves the old pair together.
  std::unique_ptr<BandWriter> picture;
  QualityMeter quality;
  Status created = CreateMosaicFile(engine, setup.out, &picture, &quality);
  engine.FinishCacheWrites();
  progress.Finish();
  if (engine.JobCancelled()) return Cancelled();
  if (!created) return Fail(created.message());

  std::vector<PendingFile*> files = {&picture->File()};
  PendingFile project;
  if (!setup.projectPath.empty()) {
    std::vector<ExtensionBlock> blocks;
    AppendMatchingBlock(engine.Matching, blocks);
    if (Status s = PrepareProjectFile(engine, setup.projectPath, project, blocks); !s) return Fail(s.message());
    files.push_back(&project);
  }
  if (Status s = CommitAll(files); !s) return Fail(s.message());
  std::cerr << "Mosaic of " << engine.Project.FinalWidth << " x " << engine.Project.FinalHeight
            << " pixels saved to " << setup.out;
  if (!setup.projectPath.empty()) std::cerr << ", project saved to " << setup.projectPath;
  std::cerr << "\n";
  if (quality.Started()) {
    const QualityReport report = quality.Report();
    std::cerr << Format(
        "Mean colour error per cell: %.2f delta E (one sample per cell; %.2f with 4 x 4 samples)\n",
        report.MeanSingle, report.MeanDetail);
  }
  return 0;
}

const std::string kUsage = std::string(
                               "Usage: velmora-cli create --main PICTURE --library FOLDER|LIST.IL2 --out OUT.jpg|.bmp|.tif\n"
                               "                          [--project OUT.vm6] [options]\n\n"
                               "Makes a photo mosaic: reduces the main picture to the cell grid, summarises\n"
                               "every library picture, assigns a picture to every cell and renders the\n"
                               "mosaic into OUT (JPEG with the project's quality, a 32-bit BMP, or an\n"
                               "RGB BigTIFF for posters past JPEG's 65,535 pixels a side), band by band,\n"
                               "so the whole picture never has to fit in memory.\n"
                               "With --project, the whole project is saved too; 'velmora-cli render'\n"
                               "reopens it and gives the same picture.\n\n"
                               "  --out FILE              the mosaic picture, .jpg, .bmp or .tif\n"
                               "  --project FILE.vm6      also save the project\n"
                               "  --quiet                 no progress lines\n"
                               "  --advice                apply the settings advice for this library, grid and\n"
                               "                          main picture (repeat radius, use-all, cells down,\n"
                               "                          repeat cap; see 'velmora-cli advise') and print it\n") +
                           kMosaicFlagsHelp;

const CommandRegistrar registrar({"create", "make a photo mosaic (the main job)", kUsage, RunCreate});

}  // namespace
}  // namespace velmora::cli
