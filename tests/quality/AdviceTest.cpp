// The settings advice: the radius that leaves enough photos, when "Ensure Use
// All Photos" costs likeness, the cells down that keep the picture's shape,
// the repeat cap, what applying it changes, and the sentences it gives.
#include <gtest/gtest.h>

#include "quality/Advice.h"

namespace velmora {
namespace {

AdviceInput Input(int photos, int across, int down, int mainW = 1600, int mainH = 1200) {
  AdviceInput in;
  in.Photos = photos;
  in.CellsAcross = across;
  in.CellsDown = down;
  in.MainWidth = mainW;
  in.MainHeight = mainH;
  return in;  // the built-in options: radius 4, use-all on, no repeat limit
}

TEST(Advice, RulesOverLibrariesGridsAndPictures) {
  struct Case {
    const char* name;
    AdviceInput in;
    int radius, eligible, down;
    bool useAllRuns, useAllCosts;
    int cap;
  };
  AdviceInput cropped = Input(100, 48, 48);
  cropped.CropMain = true;
  AdviceInput flatCells = Input(100, 48, 48, 1200, 1600);
  flatCells.CellHeight = 16;
  const Case cases[] = {
      // The sample library: radius 4 would forbid 80 of 100 photos.
      {"100 photos, 4:3 picture", Input(100, 48, 48), 1, 92, 36, true, false, 44},
      {"50 photos: radius 1 is the least there is", Input(50, 48, 36), 1, 42, 36, true, false, 87},
      // 24 forbidden is 6 % of 400; the library is 23 % of the cells.
      {"400 photos", Input(400, 48, 36), 2, 376, 36, true, true, 11},
      {"2,000 photos: more than cells, the pass never runs", Input(2000, 48, 48), 5, 1880, 36, false, false,
       3},
      {"2,000 photos for a larger grid", Input(2000, 64, 48), 5, 1880, 48, true, true, 4},
      // The square cannot grow past an 8 x 8 grid: radius 4 already covers it.
      {"tiny grid", Input(5000, 8, 8, 800, 800), 4, 4937, 8, false, false, 1},
      {"cropped: any grid keeps the shape", cropped, 1, 92, 48, true, false, 58},
      {"portrait picture, cells half as high", flatCells, 1, 92, 128, true, false, 154},
      {"shape within 2 % is kept", Input(100, 48, 48, 1000, 1010), 1, 92, 48, true, false, 58},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SettingsAdvice a = AdviseSettings(c.in);
    ASSERT_TRUE(a.Applicable);
    EXPECT_EQ(a.RepeatRadius, c.radius);
    EXPECT_EQ(a.EligibleAtRadius, c.eligible);
    EXPECT_EQ(a.CellsDown, c.down);
    EXPECT_EQ(a.ShapeKept, c.down == c.in.CellsDown);
    EXPECT_EQ(a.Cells, c.in.CellsAcross * c.down);
    EXPECT_EQ(a.UseAllRuns, c.useAllRuns);
    EXPECT_EQ(a.UseAllCostsLikeness, c.useAllCosts);
    EXPECT_EQ(a.UseAllPhotos, !c.useAllCosts);
    EXPECT_EQ(a.MaxRepeatTimes, c.cap);
    // Detail matching, the solver under the cap (and for the every-photo
    // pass when it runs) and the transfer.
    EXPECT_EQ(a.Matching, (MatchOptions{true, a.UseAllPhotos, true, true}));
  }
  // A poster: every photo is still placed first, but one by one, since the
  // solver's table of 2,000 x 30,000 distances would take 240 MB.
  const SettingsAdvice poster = AdviseSettings(Input(2000, 200, 150));
  EXPECT_TRUE(poster.UseAllPhotos);
  EXPECT_EQ(poster.Matching, (MatchOptions{true, false, true, true}));
}

TEST(Advice, SaysWhichSettingsDifferAndApplyingMakesThemFollow) {
  AdviceInput in = Input(400, 48, 48);
  in.LimitRepeat = true;
  in.MaxRepeatTimes = 3;
  SettingsAdvice a = AdviseSettings(in);
  EXPECT_FALSE(a.RadiusFollowed);  // radius 4 leaves 320, radius 2 376
  EXPECT_EQ(a.EligibleAtCurrent, 320);
  EXPECT_FALSE(a.UseAllFollowed);
  EXPECT_FALSE(a.ShapeKept);
  EXPECT_FALSE(a.CapFollowed);
  EXPECT_FALSE(a.DetailFollowed);
  EXPECT_FALSE(a.SolverFollowed);
  EXPECT_FALSE(a.TransferFollowed);
  EXPECT_FALSE(a.Followed());

  tmosaicproject p = DefaultProject();
  p.MaxRepeatTimes = 500;
  MatchOptions m;
  ApplyAdvice(a, p, p, m);
  EXPECT_EQ(p.MinRepeatRadius, 2);
  EXPECT_FALSE(p.UseAllPhotos);
  EXPECT_EQ(p.CellsDown, 36);
  EXPECT_EQ(p.FinalHeight, 36 * 32);
  // The solver keeps to the cap it is given, switched on.
  EXPECT_TRUE(p.LimitRepeat);
  EXPECT_EQ(p.MaxRepeatTimes, 11);
  EXPECT_EQ(m, (MatchOptions{true, false, true, true}));
  EXPECT_EQ(p.ColorEnhance, kAdvisedEnhance);
  EXPECT_EQ(p.AlphaMain, kAdvisedOverlay);

  in.MinRepeatRadius = p.MinRepeatRadius;
  in.UseAllPhotos = p.UseAllPhotos;
  in.CellsDown = p.CellsDown;
  in.LimitRepeat = p.LimitRepeat;
  in.MaxRepeatTimes = p.MaxRepeatTimes;
  in.ColorEnhance = p.ColorEnhance;
  in.AlphaMain = p.AlphaMain;
  in.Matching = m;
  EXPECT_TRUE(AdviseSettings(in).Followed());
  in.MinRepeatRadius = 1;   // a smaller radius takes nothing from the cells
  in.MaxRepeatTimes = 500;  // nor does a looser cap
  EXPECT_TRUE(AdviseSettings(in).Followed());
  // The transfer under another overlay, the solver without the limit or
  // matching without detail is not the advice.
  for (auto change : {+[](AdviceInput& i) { i.AlphaMain = 51; }, +[](AdviceInput& i) { i.LimitRepeat = false; },
                      +[](AdviceInput& i) { i.Matching.Detail = false; }}) {
    AdviceInput changed = in;
    change(changed);
    EXPECT_FALSE(AdviseSettings(changed).Followed());
  }
}

TEST(Advice, LinesNameTheFiguresAndSelfMosaicsGetOnlyTheShape) {
  SettingsAdvice a = AdviseSettings(Input(2000, 64, 48));
  std::vector<AdviceLine> lines = AdviceLines(a);
  ASSERT_EQ(lines.size(), 7u);  // the photos' shapes not read: no line on them
  EXPECT_EQ(lines[0].Text, "Repeat radius 5 leaves at least 1,880 of the 2,000 photos for every cell.");
  EXPECT_TRUE(lines[0].Followed);
  EXPECT_EQ(
      lines[1].Text,
      "Turn \"Ensure Use All Photos\" off: with 2,000 photos for 3,072 cells, placing every photo first "
      "puts many where they do not fit.");
  EXPECT_FALSE(lines[1].Followed);
  EXPECT_EQ(lines[2].Text, "A repeat cap that fits: 4 uses of one photo; tighter caps cost likeness.");
  EXPECT_NE(lines[3].Text.find("no photo is shown more than 4 times"), std::string::npos);
  EXPECT_NE(lines[5].Text.find("colour transfer at 100 % under a main-picture overlay of 115"), std::string::npos);
  EXPECT_EQ(AdviceSummary(a, 64),
            "radius 5, use all photos off, 64 x 48 cells, repeat cap 4 kept by the solver, detail matching, "
            "colour transfer at 100 % with overlay 115");

  lines = AdviceLines(AdviseSettings(Input(3000, 48, 36)));
  EXPECT_EQ(lines[1].Text,
            "\"Ensure Use All Photos\" does not apply: there are more photos (3,000) than cells "
            "(1,728).");

  AdviceInput self = Input(0, 48, 48);
  self.SelfMosaic = true;
  a = AdviseSettings(self);
  EXPECT_FALSE(a.Applicable);
  lines = AdviceLines(a);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].Text.find("36 cells down keep the main picture's shape"), std::string::npos);
  EXPECT_FALSE(lines[0].Followed);
  EXPECT_EQ(AdviceSummary(a, 48), "48 x 36 cells");
  tmosaicproject p = DefaultProject();
  MatchOptions m;
  ApplyAdvice(a, p, p, m);
  EXPECT_EQ(p.CellsDown, 36);
  EXPECT_EQ(p.MinRepeatRadius, 4);  // no library, no library rules
  EXPECT_EQ(m, MatchOptions{});

  // Tile sizes help with fewer photos than cells, kept shapes with half the
  // photos off square; both are hints, for the user to choose.
  const struct {
    int photos, offSquare;
    bool sizesOn, keep, sizesHelp, shapesHelp;
    size_t lines;
  } tiles[] = {
      {2000, -1, false, false, true, false, 7}, {4000, -1, true, false, false, false, 7},
      {2000, 1000, false, true, true, true, 8}, {2000, 999, false, false, true, false, 8},
  };
  for (const auto& t : tiles) {
    AdviceInput in = Input(t.photos, 64, 48);
    in.PhotosOffSquare = t.offSquare;
    in.SizesOn = t.sizesOn;
    in.KeepShapes = t.keep;
    a = AdviseSettings(in);
    EXPECT_EQ(a.SizesHelp, t.sizesHelp) << t.photos;
    EXPECT_EQ(a.ShapesHelp, t.shapesHelp) << t.offSquare;
    lines = AdviceLines(a);
    ASSERT_EQ(lines.size(), t.lines);
    EXPECT_NE(lines[6].Text.find("Tile sizes by detail (calm 10)"), std::string::npos);
    EXPECT_EQ(lines[6].Text.find("would put") != std::string::npos, t.sizesHelp && !t.sizesOn) << lines[6].Text;
    if (t.lines == 8) {
      EXPECT_EQ(lines[7].Text.find("would show") != std::string::npos, t.shapesHelp && !t.keep) << lines[7].Text;
    }
  }

  // Without a main picture there is no shape to keep.
  EXPECT_TRUE(AdviseSettings(Input(100, 48, 48, 0, 0)).ShapeKept);
}

}  // namespace
}  // namespace velmora
