// The pen-stroke log: its bytes survive a round trip and damaged bytes are
// refused, and a replay gives the same pixels as the strokes painted by
// hand, over the rendered mosaic or the pen base picture, whatever the
// options and the random choice became meanwhile.
#include <gtest/gtest.h>

#include "support/EngineTestSupport.h"
#include "engine/PenLog.h"

namespace velmora {
namespace {

// A log of three strokes, and the same with three cells of a 3 x 2 grid
// drawn again: before the strokes, after the first and after the last.
PenLog ThreeStrokes(bool redrawn) {
  PenLog log{true,
             {{1, 2, 30, 40, 0, 51, 205, 3}, {0, 0, 0, 0, -1, 0, 255, 0}, {5, 6, 7, 8, 65534, 255, 1, 9}}};
  if (redrawn) {
    EXPECT_TRUE(log.SetRedrawn(0, 0, 3, 2, 1));
    EXPECT_TRUE(log.SetRedrawn(2, 0, 3, 2, 2));
    EXPECT_TRUE(log.SetRedrawn(1, 1, 3, 2, 4));
    EXPECT_FALSE(log.SetRedrawn(3, 0, 3, 2, 1));  // outside the grid
  }
  return log;
}

TEST(PenLog, BytesRoundTripAndDamagedBytesAreRefused) {
  const PenLog log = ThreeStrokes(false);
  const std::vector<uint8_t> bytes = EncodePenLog(log);
  // Strokes alone keep the format every earlier program reads.
  ASSERT_EQ(bytes.size(), 8u + 3 * 32);
  EXPECT_EQ(bytes[0], 1);
  PenLog back;
  ASSERT_TRUE(DecodePenLog(bytes, "p.vm6", back).ok());
  EXPECT_EQ(back, log);
  ASSERT_TRUE(DecodePenLog(EncodePenLog({}), "p.vm6", back).ok());
  EXPECT_EQ(back, PenLog{});

  const PenLog cells = ThreeStrokes(true);
  const std::vector<uint8_t> cellBytes = EncodePenLog(cells);
  ASSERT_EQ(cellBytes.size(), 8u + 3 * 32 + 4 + 6 * 2);
  EXPECT_EQ(cellBytes[0], 2);
  ASSERT_TRUE(DecodePenLog(cellBytes, "p.vm6", back).ok());
  EXPECT_EQ(back, cells);
  EXPECT_EQ(back.RedrawnAt(1, 1), 4);
  EXPECT_NE(back, log);

  const auto with = [&](const std::vector<uint8_t>& from, auto change) {
    std::vector<uint8_t> b = from;
    change(b);
    return b;
  };
  const size_t grid = 8 + 3 * 32;  // where Across begins
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* message;
  } damaged[] = {
      {"shorter than its header", {1, 0, 0}, "cut short"},
      {"a newer format", with(bytes, [](auto& b) { b[0] = 3; }), "newer format (3)"},
      {"an unknown base", with(bytes, [](auto& b) { b[2] = 2; }), "unknown base (2)"},
      {"a count beyond the bytes", with(bytes, [](auto& b) { b[7] = 0x7F; }), "do not match"},
      {"a stroke cut short", with(bytes, [](auto& b) { b.pop_back(); }), "do not match"},
      {"bytes after the last stroke", with(bytes, [](auto& b) { b.push_back(0); }), "do not match"},
      {"no grid after the strokes", with(bytes, [](auto& b) { b[0] = 2; }), "do not match"},
      {"a grid of no cells", with(cellBytes, [&](auto& b) { b[grid] = 0; }), "grid of 0 x 2"},
      {"a grid past the cell map", with(cellBytes, [&](auto& b) { b[grid + 3] = 4; }), "grid of 3 x 1026"},
      {"a cell cut short", with(cellBytes, [](auto& b) { b.pop_back(); }), "do not match their grid"},
      {"a cell after the last stroke's next", with(cellBytes, [&](auto& b) { b[grid + 4] = 5; }),
       "drawn after pen strokes the project does not hold"},
  };
  for (const auto& c : damaged) {
    PenLog out = log;
    const Status s = DecodePenLog(c.bytes, "p.vm6", out);
    EXPECT_FALSE(s.ok()) << c.what;
    EXPECT_NE(s.message().find("p.vm6"), std::string::npos) << c.what;
    EXPECT_NE(s.message().find(c.message), std::string::npos) << c.what << ": " << s.message();
    EXPECT_EQ(out, log) << c.what;  // left alone
  }
}

TEST(PenLog, ALogPastTheBoundKeepsItsFirstStrokesAndSaysSo) {
  PenLog log{false, {}};
  for (size_t i = 0; i <= kMaxPenStrokes; ++i)
    log.Strokes.push_back({int32_t(i), 0, int32_t(i), 1, 0, 1, 2, 3});
  PenLog back;
  std::string warning;
  ASSERT_TRUE(DecodePenLog(EncodePenLog(log), "p.vm6", back, &warning).ok());
  ASSERT_EQ(back.Strokes.size(), kMaxPenStrokes);
  EXPECT_EQ(back.Strokes.back(), log.Strokes[kMaxPenStrokes - 1]);
  EXPECT_EQ(warning.rfind("p.vm6: the project holds 20001 pen strokes", 0), 0u) << warning;

  // A cell drawn after strokes left out comes after the last one kept.
  log.SetRedrawn(0, 0, 1, 1, kMaxPenStrokes + 2);
  ASSERT_TRUE(DecodePenLog(EncodePenLog(log), "p.vm6", back).ok());
  EXPECT_EQ(back.RedrawnAt(0, 0), kMaxPenStrokes + 1);

  // At the bound, nothing is left out.
  log = PenLog{false, std::vector<PenStrokeEntry>(log.Strokes.begin(), log.Strokes.end() - 1)};
  warning.clear();
  ASSERT_TRUE(DecodePenLog(EncodePenLog(log), "p.vm6", back, &warning).ok());
  EXPECT_EQ(back, log);
  EXPECT_TRUE(warning.empty());
}

class PenReplay : public ::testing::Test {
protected:
  void SetUp() override {
    testing::SetGrid(e, 4, 4, 8, 8);
    TBitmap32 main = testing::Uniform(32, 32, Color32(100, 100, 100));
    for (int y = 0; y < 32; ++y)
      for (int x = 16; x < 32; ++x) main.Pixel(x, y) = Color32(20, 200, 60);
    e.MainBitmap = main;
    // Pictures alike enough that the random pick among near equals matters.
    for (int i = 0; i < 4; ++i)
      testing::AddPicture(e, dir, testing::Uniform(16, 16, Color32(90 + i, 110 - i, 100 + 20 * i)));
    testing::AddPicture(e, dir, testing::Uniform(16, 16, Color32(20, 190, 70)));
    e.MakeGrid();
    ASSERT_TRUE(e.PrepareLibrary().ok());
    ASSERT_TRUE(e.MakePenBasePicture().ok());
  }
  void PaintAndReplay(bool overPenBase);
  testing::ScratchDir dir;
  Engine e;
};

void PenReplay::PaintAndReplay(bool overPenBase) {
  const struct {
    int l, t, r, b, alphaPen, kernel;
  } strokes[] = {
      {0, 0, 20, 12, 205, 0}, {10, 4, 31, 31, 255, 1}, {3, 20, 9, 30, 120, 4}, {6, 6, 6, 9, 205, 2}};
  PenLog log{overPenBase, {}};
  const TBitmap32 base = e.MosaicBitmap;
  for (const auto& s : strokes) {
    e.OptionSet.AlphaPen = s.alphaPen;
    e.OptionSet.ResampleKernel = s.kernel;
    PenStrokeEntry done;
    ASSERT_TRUE(e.PenStroke(s.l, s.t, s.r, s.b, &done).ok());
    EXPECT_EQ(done.AlphaPen, s.alphaPen);
    EXPECT_EQ(done.ResampleKernel, s.kernel);
    log.Strokes.push_back(done);
  }
  const TBitmap32 painted = e.MosaicBitmap;
  std::vector<int> uses;
  for (int k = 0; k < e.PicList.Count(); ++k) uses.push_back(e.Library[k].UseCount);

  // Other options and another seed now: the replay keeps to the log.
  e.OptionSet.AlphaPen = 10;
  e.OptionSet.ResampleKernel = 3;
  e.Rng.SetSeed(99);
  e.MosaicBitmap = base;
  ASSERT_FALSE(testing::SamePixels(e.MosaicBitmap, painted));
  if (overPenBase) e.MosaicBitmap.Fill(Color32(1, 2, 3));  // the replay makes the base itself
  PenLog decoded;
  ASSERT_TRUE(DecodePenLog(EncodePenLog(log), "p.vm6", decoded).ok());
  ASSERT_TRUE(ReplayPenLog(e, decoded, "p.vm6").ok());
  EXPECT_TRUE(testing::SamePixels(e.MosaicBitmap, painted));
  // The uses were counted once, when painted.
  for (int k = 0; k < e.PicList.Count(); ++k) EXPECT_EQ(e.Library[k].UseCount, uses[size_t(k)]) << k;
}

TEST_F(PenReplay, GivesTheSamePixelsAsTheStrokesPaintedByHand) {
  for (const bool overPenBase : {false, true}) {
    SCOPED_TRACE(overPenBase);
    if (overPenBase)
      ASSERT_TRUE(e.MakePenBasePicture().ok());
    else
      ASSERT_TRUE(e.CreateMosaic().ok());
    PaintAndReplay(overPenBase);
  }
}

// Cancel is asked after every stroke; the strokes painted so far stay.
TEST_F(PenReplay, ReportsEachStrokeAndStopsBetweenStrokesOnCancel) {
  struct CancelAfter : testing::JobRecorder {
    size_t strokes = 0;
    bool CancelRequested() override { return events >= int(strokes); }
  } job;
  ASSERT_TRUE(e.CreateMosaic().ok());
  e.SetListener(&job);
  const struct Silence {
    Engine& e;
    ~Silence() { e.SetListener(nullptr); }
  } silence{e};
  const TBitmap32 rendered = e.MosaicBitmap;
  // Four opaque strokes side by side, each over its own cell of the top
  // row: the green picture over the grey half, a grey one over the green.
  PenLog log{false, {}};
  for (int i = 0; i < 4; ++i) log.Strokes.push_back({i * 8, 0, i * 8 + 7, 7, i < 2 ? 4 : 0, 0, 255, 0});
  const auto quarterPainted = [&](int i) {
    return e.MosaicBitmap.Pixel(i * 8 + 3, 3) != rendered.Pixel(i * 8 + 3, 3);
  };

  for (const size_t stopAfter : {size_t(1), size_t(3)}) {
    SCOPED_TRACE(stopAfter);
    e.MosaicBitmap = rendered;
    job = CancelAfter{};
    job.strokes = stopAfter;
    const Status s = ReplayPenLog(e, log, "p.vm6");
    EXPECT_EQ(s.message(), kJobCancelled);
    EXPECT_TRUE(e.JobCancelled());
    EXPECT_EQ(job.texts.front(), "Current Job : Painting Pen Strokes");
    EXPECT_EQ(job.texts.back(), kJobCancelledText);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(quarterPainted(i), size_t(i) < stopAfter) << i;
  }

  e.MosaicBitmap = rendered;
  job = CancelAfter{};
  job.strokes = 99;
  ASSERT_TRUE(ReplayPenLog(e, log, "p.vm6").ok());
  EXPECT_FALSE(e.JobCancelled());
  EXPECT_EQ(job.progress, (std::vector<int>{0, 25, 50, 75, 100, 0}));
  EXPECT_EQ(job.texts.back(), "Current Job : Mosaic Created");
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(quarterPainted(i)) << i;
}

TEST_F(PenReplay, RefusesStrokesThatDoNotFitTheMosaicBeforePainting) {
  const PenStrokeEntry fits{0, 0, 10, 10, 0, 51, 205, 0};
  const struct {
    const char* what;
    PenStrokeEntry stroke;
  } cases[] = {{"right of the mosaic", {20, 0, 32, 10, 0, 51, 205, 0}},
               {"negative", {-1, 0, 10, 10, 0, 51, 205, 0}},
               {"upside down", {0, 10, 10, 5, 0, 51, 205, 0}},
               {"a picture beyond the list", {0, 0, 10, 10, 5, 51, 205, 0}},
               {"a negative picture", {0, 0, 10, 10, -2, 51, 205, 0}}};
  const TBitmap32 before = e.MosaicBitmap;
  for (const auto& c : cases) {
    const Status s = ReplayPenLog(e, PenLog{false, {fits, c.stroke}}, "p.vm6");
    EXPECT_FALSE(s.ok()) << c.what;
    EXPECT_NE(s.message().find("p.vm6: pen stroke 2 "), std::string::npos) << c.what << ": " << s.message();
    EXPECT_TRUE(testing::SamePixels(e.MosaicBitmap, before)) << c.what;  // nothing painted
  }
  PenLog otherGrid{false, {fits}};
  otherGrid.SetRedrawn(0, 0, 5, 4, 2);
  const Status s = ReplayPenLog(e, otherGrid, "p.vm6");
  EXPECT_EQ(s.message(),
            "p.vm6: the cells drawn over the pen strokes are of a 5 x 4 grid, not this mosaic's 4 x 4");
  EXPECT_TRUE(testing::SamePixels(e.MosaicBitmap, before));
}

}  // namespace
}  // namespace velmora
