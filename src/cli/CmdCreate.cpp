// velmora-cli create: the main job. Makes a photo mosaic from a main picture
// and a library, saves the picture and, if asked, the project.
#include <algorithm>
#include <initializer_list>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "cli/MosaicSetup.h"
#include "cli/ProgressBar.h"
#include "engine/PhotoShapes.h"
#include "quality/Advice.h"
#include "project/BlockMapBlock.h"
#include "project/CropBlock.h"
#include "project/MatchingBlock.h"
#include "project/OptionControls.h"
#include "project/ProjectFile.h"
#include "project/TileMaskBlock.h"

namespace velmora::cli {
namespace {

// The settings advice into the project (the options are there by now) and
// the matching choices. With `everything` (--advice) it replaces what the
// flags gave; otherwise (no --advice, the default) a setting given by a flag
// is kept and the advice fills in the rest. What the project then keeps is
// printed unless `quiet`.
void ApplyCommandAdvice(Engine& engine, const Flags& flags, bool everything, bool quiet) {
  tmosaicproject& p = engine.Project;
  auto given = [&](std::initializer_list<const char*> names) {
    if (everything) return false;
    for (const char* name : names)
      if (flags.Has(name) || flags.Switch(name).has_value()) return true;
    return false;
  };
  // A grid given is kept, and the rest is advised for it.
  AdviceInput input = AdviceInputOf(engine, p);
  if (given({"cells"})) input.MainWidth = input.MainHeight = 0;
  SettingsAdvice advice = AdviseSettings(input);
  if (!advice.Applicable) return;
  const tmosaicproject before = p;
  const MatchOptions matchingBefore = engine.MatchingSet;
  MatchOptions matching = engine.MatchingSet;
  ApplyAdvice(advice, p, p, matching);
  if (given({"radius"})) p.MinRepeatRadius = before.MinRepeatRadius;
  if (given({"use-all"})) p.UseAllPhotos = before.UseAllPhotos;
  if (given({"detail"})) matching.Detail = matchingBefore.Detail;
  if (given({"fair-use-all"})) matching.FairUseAll = matchingBefore.FairUseAll;
  if (given({"recolor"})) matching.Transfer = matchingBefore.Transfer;
  // The advised strength and overlay belong to the transfer: with the tint
  // they stay as they were.
  if (given({"enhance"}) || !matching.Transfer) p.ColorEnhance = before.ColorEnhance;
  if (given({"alpha-main"}) || !matching.Transfer) p.AlphaMain = before.AlphaMain;
  if (given({"max-repeat", "max-uses"})) {
    p.LimitRepeat = before.LimitRepeat;
    p.MaxRepeatTimes = before.MaxRepeatTimes;
    matching.UseCap = matchingBefore.UseCap;
  } else if (everything) {
    // A looser cap given with --max-repeat stays.
    p.MaxRepeatTimes = std::max(p.MaxRepeatTimes, before.LimitRepeat ? before.MaxRepeatTimes : 0);
  }
  // A cap below what fills the grid is raised, as the options raise it.
  p.MaxRepeatTimes =
      RaisedRepeatTimes(p.LimitRepeat, p.MaxRepeatTimes, engine.PicList.Count(), p.CellsAcross, p.CellsDown);
  ComputeDerivedSizes(p);
  engine.MatchingSet = engine.Matching = matching;
  // What is printed is what the project keeps.
  advice.CellsDown = p.CellsDown;
  advice.RepeatRadius = p.MinRepeatRadius;
  advice.UseAllPhotos = p.UseAllPhotos;
  advice.MaxRepeatTimes = p.LimitRepeat ? p.MaxRepeatTimes : 0;
  advice.Matching = matching;
  advice.ColorEnhance = p.ColorEnhance;
  advice.AlphaMain = p.AlphaMain;
  if (quiet) return;
  std::cerr << "Settings: " << AdviceSummary(advice, p.CellsAcross)
            << (everything ? " (the advice)\n" : " (the advice where no flag says otherwise; --no-advice for none)\n");
}

// Tiles that keep the photo: each library photo's aspect read and its shape
// given (engine.Aspects, on with --keep-aspect); the every-photo placement
// and the use-cap solver place photos on any cell, so they give way.
// Unreadable photos are told of and count as square.
void SetUpAspects(Engine& engine, bool on, bool quiet) {
  std::vector<std::string> warnings;
  SetUpPhotoShapes(engine, on, warnings);
  if (on) engine.MatchingSet.UseCap = false;
  if (quiet) return;
  for (size_t i = 0; i < warnings.size() && i < 5; ++i) std::cerr << "Warning: " << warnings[i] << "\n";
  if (warnings.size() > 5) std::cerr << "Warning: " << warnings.size() - 5 << " more photos could not be read\n";
  const auto& n = engine.Aspects.Count;
  if (on)
    std::cerr << "Photo shapes: " << n[0] << " square, " << n[1] << " for 2x1 tiles, " << n[2] << " for 1x2, " << n[3]
              << " for 3x2, " << n[4] << " for 2x3\n";
}

// The mean share of each placed photo's area the crop to its tile leaves.
double AreaShown(const Engine& engine) {
  const tmosaicproject& p = engine.Project;
  if (!p.CropCell) return 1.0;  // pictures are stretched to their tiles, never cropped
  const double cellAspect = p.CellHeight > 0 ? double(p.CellWidth) / p.CellHeight : 1.0;
  const BlockMap plain(p.CellsAcross, p.CellsDown);
  const bool blocks = !engine.Blocks.Empty() && engine.Blocks.CellsAcross() == p.CellsAcross &&
                      engine.Blocks.CellsDown() == p.CellsDown;
  return MeanAreaShown(blocks ? engine.Blocks : plain, p.CellsAcross, p.CellsDown, cellAspect, engine.Aspects,
                       [&](int x, int y) {
                         const CellMapEntry& e = engine.Map.At(x, y);
                         return e.Assigned ? int(e.PicIndex) : -1;
                       });
}

int RunCreate(const Args& args) {
  Flags flags = MosaicFlags();
  if (Status s = flags.Parse(args); !s) return Fail(s.message());

  Engine engine;
  MosaicSetup setup;
  if (Status s = SetUpMosaic(engine, flags, true, setup); !s) return Fail(s.message());
  if (const std::optional<bool> advice = flags.Switch("advice"); advice.value_or(true))
    ApplyCommandAdvice(engine, flags, advice.has_value(), flags.Switch("quiet").value_or(false));

  const std::optional<bool> keepAspect = flags.Switch("keep-aspect");
  if (keepAspect.has_value()) SetUpAspects(engine, *keepAspect, flags.Switch("quiet").value_or(false));

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
    AppendBlockMapBlock(engine.Blocks, blocks);
    AppendTileMaskBlock(engine.Masks, blocks);
    AppendCropBlock(engine.CropMode, blocks);
    if (Status s = PrepareProjectFile(engine, setup.projectPath, project, blocks); !s) return Fail(s.message());
    files.push_back(&project);
  }
  if (Status s = CommitAll(files); !s) return Fail(s.message());
  std::cerr << "Mosaic of " << engine.Project.FinalWidth << " x " << engine.Project.FinalHeight
            << " pixels saved to " << setup.out;
  if (!setup.projectPath.empty()) std::cerr << ", project saved to " << setup.projectPath;
  std::cerr << "\n";
  if (flags.Has("sizes") || keepAspect.value_or(false)) {
    const int64_t cells = int64_t(engine.Project.CellsAcross) * engine.Project.CellsDown;
    const int64_t tiles = engine.Blocks.Empty() ? cells : engine.Blocks.Tiles();
    std::cerr << tiles << " tiles on " << cells << " cells (" << engine.Blocks.Blocks().size()
              << " of them larger than a cell)\n";
  }
  if (keepAspect.has_value())
    std::cerr << Format("photo area shown: %.1f %%%s\n", 100.0 * AreaShown(engine),
                        *keepAspect ? "" : " (each photo cropped to its cell)");
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
                               "  --[no-]advice           the settings advice for this library, grid and main\n"
                               "                          picture (repeat radius, use-all, cells down, a repeat\n"
                               "                          cap kept by the solver, detail matching, colour\n"
                               "                          transfer; see 'velmora-cli advise'). By default it\n"
                               "                          fills in every setting no flag gives; --advice puts\n"
                               "                          it over the flags too, --no-advice leaves it out\n"
                               "                          (the option defaults as the desktop program has them)\n") +
                           kMosaicFlagsHelp;

const CommandRegistrar registrar({"create", "make a photo mosaic (the main job)", kUsage, RunCreate});

}  // namespace
}  // namespace velmora::cli
