// A project edited by hand reopens to exactly the picture it showed when it
// was saved: random strokes, cell edits, re-picks, undo and redo, over the
// rendered mosaic and over the pen base and with every cell filter, saved,
// then drawn again the desktop's way (ReopenProjectPicture) and by
// velmora-cli render and quality.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "imaging/PictureReader.h"
#include "project/ProjectExtras.h"
#include "project/ProjectFile.h"
#include "project/ProjectPicture.h"
#include "quality/Quality.h"
#include "support/ChildRun.h"
#include "support/HandEditSupport.h"

namespace velmora {
namespace {

using testing::RunChild;

// The colours alike; the alpha a picture file keeps is not the mosaic's.
bool SameColours(const TBitmap32& a, const TBitmap32& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() &&
         std::equal(a.Pixels().begin(), a.Pixels().end(), b.Pixels().begin(),
                    [](TColor32 p, TColor32 q) { return ((p ^ q) & 0xFFFFFF) == 0; });
}

TEST(ReopenedPicture, RandomHandEditsSavedGiveTheSamePictureOnTheDesktopAndFromTheCommands) {
  const int stitches[] = {kStitchLoom, kStitchPeyote, kStitchBrick};
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    testing::ScratchFolder scratch;
    testing::ScratchDir pictures;
    RandomGenerator rng;
    rng.SetSeed(seed);
    Engine e;
    testing::SetUpSmallMosaic(e, pictures, stitches[seed % 3]);
    // Pictures drawn into cells of another shape: the draft filter's block
    // means come out below opaque, so its cells blend with what lies under.
    e.Project.CropCell = false;
    e.Project.ResampleKernel = seed % 2 == 1 ? sfDraft : rng.Random(kStretchFilterCount);
    e.OptionSet.ResampleKernel = rng.Random(kStretchFilterCount);
    e.OptionSet.AlphaPen = 120 + rng.Random(136);
    const bool penBase = seed % 2 == 0;
    ASSERT_TRUE((penBase ? e.StartPenMode() : e.CreateMosaic()).ok());

    PenLog log{penBase, {}};
    EditHistory history;
    for (int i = 0; i < 40; ++i) {
      const int what = rng.Random(testing::kHandEditKinds + 2);
      if (what == testing::kHandEditKinds)
        history.Undo(e, nullptr, &log);
      else if (what == testing::kHandEditKinds + 1)
        history.Redo(e, nullptr, &log);
      else
        testing::RandomHandEdit(e, history, &log, rng, what);
    }
    // Cells were drawn again over strokes: the order is what is tested.
    ASSERT_FALSE(log.Strokes.empty());
    ASSERT_TRUE(log.AnyRedrawn());
    const std::string project = scratch / "p.vm6";
    ASSERT_TRUE(SaveProjectFile(e, project, ProjectExtrasBlocks(e.Matching, log)).ok());

    // The desktop's Load.
    Engine reopened;
    ExtensionArea area;
    ASSERT_TRUE(LoadProjectFile(reopened, project, &area).ok());
    ProjectExtras extras = ReadProjectExtras(area, project);
    reopened.Matching = extras.Matching;
    ASSERT_TRUE(ReopenProjectPicture(reopened, extras.Strokes, project, extras.Warnings).ok());
    EXPECT_TRUE(extras.Warnings.empty()) << WarningText(extras.Warnings);
    EXPECT_EQ(extras.Strokes, log);
    EXPECT_TRUE(testing::SamePixels(reopened.MosaicBitmap, e.MosaicBitmap));

    const std::vector<std::string> cache{"XDG_CACHE_HOME=" + scratch / "cache"};
    const std::string out = scratch / "again.bmp";
    const testing::ChildRun render =
        RunChild({VELMORA_CLI, "render", project, "--out", out, "--quiet"}, scratch, cache);
    ASSERT_EQ(render.status, 0) << render.err;
    EXPECT_EQ(render.err.find("Warning"), std::string::npos) << render.err;
    TBitmap32 rendered;
    ASSERT_TRUE(LoadPictureFile(rendered, out).ok());
    EXPECT_TRUE(SameColours(rendered, e.MosaicBitmap));

    QualityReport report;
    ASSERT_TRUE(MeasureQuality(e, report).ok());
    const testing::ChildRun quality = RunChild({VELMORA_CLI, "quality", project, "--quiet"}, scratch, cache);
    ASSERT_EQ(quality.status, 0) << quality.err;
    for (const std::string& figures :
         {Format("mean %.2f, worst 5 %% of cells %.2f", report.MeanSingle, report.WorstSingle),
          Format("mean %.2f, worst 5 %% of cells %.2f", report.MeanDetail, report.WorstDetail)})
      EXPECT_NE(quality.out.find(figures), std::string::npos) << figures << " in\n" << quality.out;
  }
}

}  // namespace
}  // namespace velmora
