// Compare, Eligible, Choose picture and Assign cells, with a plain reference
// of the assignment (every rule in its written order) that the faster scan
// must match draw for draw.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <set>

#include "support/EngineTestSupport.h"

namespace velmora {
namespace {

using testing::FlatSignature;
using testing::SetGrid;

// Quadrant reds as given, every other channel `rest`, the mean as summaries have it.
ColorSignature Quadrants(std::array<int, 4> red, int rest = 100) {
  ColorSignature s;
  const auto r8 = static_cast<uint8_t>(rest);
  for (int q = 0; q < 4; ++q) s.Slot[q] = SigColor{r8, r8, static_cast<uint8_t>(red[q]), 0};
  s.Slot[sigMean] = SigColor{r8, r8, static_cast<uint8_t>((red[0] + red[1] + red[2] + red[3]) >> 2), 0};
  return s;
}

TEST(Compare, TintShiftAndMirrorChoice) {
  const ColorSignature c = FlatSignature(60, 60, 60);
  auto d = [&](int v, int e) { return Engine::Compare(FlatSignature(v, v, v), c, e, true, true).Distance; };
  EXPECT_EQ(d(100, 50), 12 * 20);
  EXPECT_EQ(d(100, -5), 12 * 40);
  EXPECT_EQ(d(61, 50), 12);      // 1 x 50 div 100 = 0
  EXPECT_EQ(d(53, 50), 12 * 4);  // -7 x 50 div 100 = -3

  auto flags = [](const Comparison& r) { return std::pair{r.HFlip, r.VFlip}; };
  const ColorSignature cell = Quadrants({10, 20, 30, 40});
  EXPECT_EQ(flags(Engine::Compare(Quadrants({20, 10, 40, 30}), cell, 0, true, true)), std::pair(true, false));
  EXPECT_EQ(flags(Engine::Compare(Quadrants({40, 30, 20, 10}), cell, 0, true, true)), std::pair(true, true));
  // All four equal: none. Horizontal and vertical tie below none: horizontal.
  EXPECT_EQ(flags(Engine::Compare(Quadrants({10, 10, 10, 10}), cell, 0, true, true)),
            std::pair(false, false));
  EXPECT_EQ(flags(Engine::Compare(Quadrants({0, 10, 10, 0}), Quadrants({10, 0, 0, 0}), 0, true, true)),
            std::pair(true, false));
  // One direction: only when strictly closer than none.
  const ColorSignature upside = Quadrants({30, 40, 10, 20});
  EXPECT_EQ(flags(Engine::Compare(upside, cell, 0, false, true)), std::pair(false, true));
  EXPECT_EQ(flags(Engine::Compare(upside, cell, 0, true, false)), std::pair(false, false));  // 80 both
  EXPECT_EQ(flags(Engine::Compare(cell, cell, 0, false, true)), std::pair(false, false));
  EXPECT_EQ(Engine::Compare(upside, cell, 0, false, false).Distance, 80);
}

TEST(Eligible, RepeatRadiusAndCapAtEachLevel) {
  Engine e;
  SetGrid(e, 10, 10, 8, 8);
  for (int k = 0; k < 10; ++k) e.PicList.Append("p");
  e.Project.MinRepeatRadius = 1;
  e.Map.At(4, 4) = CellMapEntry{7, 0, 0, 0, true, false, false};
  for (int x = 2; x <= 6; ++x)
    for (int y = 2; y <= 6; ++y) {
      const bool near = std::abs(x - 4) <= 1 && std::abs(y - 4) <= 1;
      EXPECT_EQ(e.Eligible(x, y, 7, 0), !near) << x << "," << y;
      EXPECT_EQ(e.Eligible(x, y, 7, 1), !near) << x << "," << y;
      EXPECT_TRUE(e.Eligible(x, y, 7, 2));
    }
  EXPECT_FALSE(e.Eligible(4, 4, 6, 0));  // level 0 needs the cell free, level 1 does not
  EXPECT_TRUE(e.Eligible(4, 4, 6, 1));
  e.Map.At(0, 0) = CellMapEntry{3, 0, 0, 0, true, false, false};
  EXPECT_TRUE(e.Eligible(9, 0, 3, 0));  // the square does not wrap

  e.Project.LimitRepeat = true;
  e.Project.MaxRepeatTimes = 2;
  e.Library[1].UseCount = 2;
  EXPECT_FALSE(e.Eligible(0, 5, 1, 0));
  EXPECT_FALSE(e.Eligible(0, 5, 1, 1));
  EXPECT_TRUE(e.Eligible(0, 5, 1, 2));
  e.Library[1].UseCount = 1;
  EXPECT_TRUE(e.Eligible(0, 5, 1, 0));
}

// Pictures at the given distances from the flat cell (60, 60, 60), and the
// set of pictures chosen over many seeds.
std::set<int> Picks(Engine& e, int level, const std::vector<int>& distances) {
  SetGrid(e, 10, 10, 8, 8);
  e.Project.ColorEnhance = 0;
  e.PicList.Clear();
  for (size_t k = 0; k < distances.size(); ++k) {
    e.PicList.Append("p");
    e.Library[static_cast<int>(k)].Signature = Quadrants({60 + distances[k], 60, 60, 60}, 60);
  }
  std::set<int> picks;
  for (uint32_t s = 0; s < 2000; ++s) {
    e.Rng.SetSeed(s * 7919 + 1);
    picks.insert(e.ChoosePicture(2, 2, FlatSignature(60, 60, 60), level));
  }
  return picks;
}

TEST(ChoosePicture, CandidatesBelowTheThresholdShareTheChoice) {
  Engine e;
  e.Project.RandomizeLevel = 20;                             // threshold 192
  EXPECT_EQ(Picks(e, 0, {8, 5, 7}), (std::set<int>{1, 2}));  // one of the two best, never the third
  EXPECT_EQ(Picks(e, 0, {192, 10, 191}), (std::set<int>{1}));
  EXPECT_GE(Picks(e, 0, {191, 10, 191}).size(), 2u);
  e.Project.RandomizeLevel = 1;  // threshold 9: the best unless three lie below
  EXPECT_EQ(Picks(e, 0, {5, 7, 8}), (std::set<int>{0, 1}));
  EXPECT_EQ(Picks(e, 0, {7, 5, 9}), (std::set<int>{1}));
  e.Project.RandomizeLevel = 80;  // threshold 768, 100 slots: the 99 best can come out
  std::vector<int> far(160);
  for (int k = 0; k < 160; ++k) far[k] = (k * 37) % 160 + 1;
  const std::set<int> picks = Picks(e, 2, far);
  int worst = 0;
  for (int k : picks) worst = std::max(worst, far[k]);
  EXPECT_EQ(worst, 99);
  e.Map.At(2, 2).Assigned = true;  // no eligible picture at level 0
  EXPECT_EQ(Picks(e, 0, {5, 7}), (std::set<int>{-1}));
  EXPECT_EQ(Picks(e, 2, {}), (std::set<int>{-1}));
}

// ---- The reference ----

struct Reference {
  Engine& e;
  int assigned = 0;

  // Detail matching compares the grid cell's own detail summary.
  bool Detail(int x, int y, const ColorSignature& c) const {
    return e.Matching.Detail && !e.Details.Cells.empty() && c == e.SampleCell(x, y);
  }

  int Choose(int x, int y, const ColorSignature& c, int level) {
    const int count = e.PicList.Count();
    const int start = e.Rng.Random(count);
    std::array<int, 100> dist;
    std::array<int, 100> pick;
    dist.fill(65535);
    pick.fill(-1);
    for (int i = 0; i < count; ++i) {
      const int k = (start + i) % count;
      if (!e.Eligible(x, y, k, level)) continue;
      const int d =
          Detail(x, y, c)
              ? DetailDistance(e.Details.Library[size_t(k)], e.Details.Cell(x, y), e.Project.ColorEnhance, 0)
              : Engine::Compare(e.Library[k].Signature, c, e.Project.ColorEnhance, false, false).Distance;
      const auto worst = std::max_element(dist.begin(), dist.end()) - dist.begin();
      if (d < dist[worst]) {
        dist[worst] = d;
        pick[worst] = k;
      }
    }
    for (int i = 0; i < 100; ++i) {
      const auto m = std::min_element(dist.begin() + i, dist.end()) - dist.begin();
      std::swap(dist[i], dist[m]);
      std::swap(pick[i], pick[m]);
    }
    int sel = 1;
    for (int j = 0; j <= (count < 100 ? count - 1 : 99); ++j)
      if (dist[j] < e.Project.RandomizeLevel * 768 / 80) sel = j;
    return pick[e.Rng.Random(sel == 0 ? 1 : sel)];
  }

  void Assign() {
    const int cols = e.Project.CellsAcross;
    const int cells = cols * e.Project.CellsDown;
    e.Map.Clear();
    auto fill = [&](int c, int k) {
      e.FillCell(c % cols, c / cols, k);
      ++assigned;
    };
    if (cells < e.PicList.Count()) {
      e.Project.MaxRepeatTimes = 1;
    } else if (e.Project.UseAllPhotos) {
      for (int k = 0; k < e.PicList.Count(); ++k) {  // Place picture
        const int start = e.Rng.Random(cells);
        int best = 999999, at = -1;
        for (int i = 0; i < cells; ++i) {
          const int c = (start + i) % cells;
          if (!e.Eligible(c % cols, c / cols, k, 0)) continue;
          const int d =
              e.Matching.Detail
                  ? DetailDistance(e.Details.Library[size_t(k)], e.Details.Cells[size_t(c)], 0, 0)
                  : Engine::Compare(e.Library[k].Signature, e.SampleCell(c % cols, c / cols), 0, false, false)
                        .Distance;
          if (d < best) best = d, at = c;
        }
        if (at >= 0) fill(at, k);
      }
    }
    for (int level : {0, 2}) {
      if (level == 2 && assigned >= cells) break;
      for (int n = 0; n < cells; ++n) {
        int s = (n + e.Rng.Random(cells)) % cells;
        for (int steps = 0; e.Map.At(s % cols, s / cols).Assigned && steps < cells; ++steps)
          s = (s + 1) % cells;
        if (e.Map.At(s % cols, s / cols).Assigned) continue;
        const int k = Choose(s % cols, s / cols, e.SampleCell(s % cols, s / cols), level);
        if (k >= 0) fill(s, k);
      }
    }
  }
};

// Random grid and signatures from a few colour clusters, so that distances
// tie; with `twoKinds` every picture has one of two signatures near the
// grid's colours, so the candidate list is decided by ties.
void RandomInputs(Engine& e, int cols, int rows, int count, uint32_t seed, bool twoKinds = false) {
  std::mt19937 rng(seed);
  SetGrid(e, cols, rows, 8, 8);
  ASSERT_TRUE(e.GridBitmap.SetSize(2 * cols, 2 * rows).ok());
  auto channel = [&] { return static_cast<uint8_t>((twoKinds ? 0 : rng() % 6 * 40) + rng() % 12); };
  for (uint8_t& b : e.GridBitmap.Bytes()) b = channel();
  auto signature = [&] {
    ColorSignature s;
    for (int q = 0; q < 4; ++q) s.Slot[q] = SigColor{channel(), channel(), channel(), 0};
    s.Slot[sigMean] = s.Slot[rng() % 4];
    return s;
  };
  const ColorSignature kinds[2] = {signature(), signature()};
  for (int k = 0; k < count; ++k) {
    e.PicList.Append("p");
    e.Library[k].Signature = twoKinds ? kinds[rng() % 2] : signature();
  }
}

// Detail matching on: a main picture of a few colours at 4 x 4 pixels per
// cell, and library detail summaries drawn from a few, so that distances
// tie. The cells' summaries are made as the assignment makes them.
void RandomDetails(Engine& e, uint32_t seed) {
  std::mt19937 rng(seed);
  const int cols = e.Project.CellsAcross, rows = e.Project.CellsDown;
  auto level = [&] { return static_cast<uint8_t>(rng() % 5 * 60 + rng() % 4); };
  e.MainBitmap = TBitmap32(kDetailSide * cols, kDetailSide * rows);
  for (int y = 0; y < e.MainBitmap.Height(); ++y)
    for (int x = 0; x < e.MainBitmap.Width(); ++x)
      e.MainBitmap.Pixel(x, y) = Color32(level(), level(), level());
  std::vector<DetailSummary> kinds(6);
  for (DetailSummary& s : kinds) {
    Bitmap24 grid(kDetailSide, kDetailSide);
    for (uint8_t& b : grid.Bytes()) b = level();
    s = DetailOfCell(grid, 0, 0);
  }
  e.Details.Library.clear();
  for (int k = 0; k < e.PicList.Count(); ++k) e.Details.Library.push_back(kinds[rng() % kinds.size()]);
  e.Matching.Detail = true;
  MakeCellDetails(e.MainBitmap, DetailGridShape{cols, rows, false, 0, 0, e.Project.StitchMode}, e.Details);
}

TEST(ChoosePicture, MatchesTheReferenceOnRandomInputs) {
  // Library sizes around the hundred candidates; tint strengths off, usual,
  // at the most the fast pass holds, and beyond it (only a damaged file).
  const int counts[] = {150, 40, 1, 99, 100, 101, 500};
  const int enhances[] = {50, 0, 100, 101, 5000, 1, 73};
  for (uint32_t seed = 1; seed <= 14; ++seed) {
    Engine fast, ref;
    std::mt19937 rng(seed);
    for (Engine* e : {&fast, &ref}) {
      RandomInputs(*e, 20, 15, counts[seed % 7], seed, seed > 5 && seed < 10);
      e->Project.MinRepeatRadius = static_cast<int>(seed % 4);
      e->Project.LimitRepeat = seed % 3 == 0;
      e->Project.MaxRepeatTimes = 2;
      e->Project.RandomizeLevel = seed > 5 ? 80 : static_cast<int>(seed * 13 % 80) + 1;
      e->Project.ColorEnhance = enhances[seed % 7];
      e->Rng.SetSeed(seed);
      if (seed % 3 == 1) RandomDetails(*e, seed);
    }
    for (int i = 0; i < 150; ++i) {  // a half-filled map
      const int x = int(rng() % 20), y = int(rng() % 15), k = int(rng() % fast.PicList.Count());
      for (Engine* e : {&fast, &ref}) {
        e->Map.At(x, y) = CellMapEntry{k, 0, 0, 0, true, false, false};
        ++e->Library[k].UseCount;
      }
    }
    Reference r{ref};
    for (int c = 0; c < 200; ++c) {
      for (int level = 0; level <= 2; ++level)
        ASSERT_EQ(fast.ChoosePicture(c % 20, c / 20, fast.SampleCell(c % 20, c / 20), level),
                  r.Choose(c % 20, c / 20, fast.SampleCell(c % 20, c / 20), level))
            << seed << ": " << c << " " << level;
      // A pen area's summary, not the cell's.
      ColorSignature area = fast.SampleCell((c * 7) % 20, (c * 3) % 15);
      area.Slot[sigMean].Red = static_cast<uint8_t>(rng());
      ASSERT_EQ(fast.ChoosePicture(c % 20, c / 20, area, 2), r.Choose(c % 20, c / 20, area, 2))
          << seed << ": " << c;
    }
    EXPECT_EQ(fast.Rng.Seed(), ref.Rng.Seed());
  }
}

TEST(AssignCells, MatchesTheReferenceDrawForDraw) {
  struct Case {
    int cols, rows, count, radius;
    bool limit, useAll, hflip, vflip;
    bool detail = false;
  };
  const Case cases[] = {{12, 9, 30, 2, false, true, true, false},
                        {12, 9, 30, 4, true, true, true, true},
                        {6, 6, 50, 1, false, true, false, true},
                        {16, 10, 200, 3, true, false, true, false},
                        {9, 7, 63, 0, true, true, false, false},
                        {10, 10, 5, 4, false, false, true, true},
                        // Detail matching, with and without the every-picture pass.
                        {12, 9, 30, 2, false, true, true, false, true},
                        {16, 10, 200, 3, true, false, true, true, true},
                        {9, 7, 63, 0, true, true, false, false, true},
                        {20, 15, 250, 1, false, true, true, true, true},
                        // A library big enough that the distance pass is shared with a second thread.
                        {7, 5, 9000, 2, true, true, true, false}};
  uint32_t seed = 11;
  for (const Case& c : cases) {
    Engine fast, ref;
    for (Engine* e : {&fast, &ref}) {
      RandomInputs(*e, c.cols, c.rows, c.count, seed);
      e->Project.MinRepeatRadius = c.radius;
      e->Project.LimitRepeat = c.limit;
      e->Project.MaxRepeatTimes = 3;
      e->Project.UseAllPhotos = c.useAll;
      e->Project.AllowHFlip = c.hflip;
      e->Project.AllowVFlip = c.vflip;
      e->Rng.SetSeed(seed);
      if (c.detail) RandomDetails(*e, seed);
    }
    ++seed;
    testing::JobRecorder job;
    fast.SetListener(&job);
    fast.SetThreadCount(2);
    fast.AssignCells();
    Reference{ref}.Assign();
    SCOPED_TRACE(c.cols * 1000 + c.count);
    EXPECT_EQ(fast.Rng.Seed(), ref.Rng.Seed());
    EXPECT_EQ(fast.Project.MaxRepeatTimes, c.cols * c.rows < c.count ? 1 : 3);
    int used = 0;
    for (int k = 0; k < c.count; ++k) {
      EXPECT_EQ(fast.Library[k].UseCount, ref.Library[k].UseCount);
      used += fast.Library[k].UseCount;
    }
    EXPECT_EQ(used, c.cols * c.rows);  // every cell filled, once
    for (int x = 0; x < c.cols; ++x)
      for (int y = 0; y < c.rows; ++y) {
        const CellMapEntry &p = fast.Map.At(x, y), &q = ref.Map.At(x, y);
        ASSERT_TRUE(p.PicIndex == q.PicIndex && p.Assigned && p.HFlip == q.HFlip && p.VFlip == q.VFlip);
      }
    EXPECT_EQ(job.texts, std::vector<std::string>{"Current Job : Mosaic Mapping Table"});
    EXPECT_EQ(job.progress.front(), 0);
    EXPECT_EQ(job.progress.back(), 100);
  }
}

TEST(AssignCells, EveryPicturePassAndTheCapLowering) {
  // 100 pictures, 64 cells: no every-picture pass, the cap drops to 1.
  for (bool useAll : {true, false}) {
    Engine e;
    RandomInputs(e, 8, 8, 100, 3);
    e.Project.UseAllPhotos = useAll;
    e.AssignCells();
    EXPECT_EQ(e.Project.MaxRepeatTimes, 1);
  }
  // Picture 19 is far from every cell: shown once only by the every-picture pass.
  for (bool useAll : {true, false}) {
    Engine e;
    SetGrid(e, 10, 10, 8, 8);
    ASSERT_TRUE(e.GridBitmap.SetSize(20, 20).ok());
    e.GridBitmap.Fill(50, 50, 50);
    for (int k = 0; k < 20; ++k) {
      e.PicList.Append("p");
      const auto v = static_cast<uint8_t>(k < 19 ? 45 + k % 10 : 255);
      e.Library[k].Signature = FlatSignature(v, v, v);
    }
    e.Project.MinRepeatRadius = 0;
    e.Project.UseAllPhotos = useAll;
    e.AssignCells();
    EXPECT_EQ(e.Project.MaxRepeatTimes, 10);
    EXPECT_EQ(e.Library[19].UseCount, useAll ? 1 : 0);
  }
}

TEST(AssignCells, FillRecordsDeltasAndMirrors) {
  Engine e;
  SetGrid(e, 1, 1, 8, 8);
  ASSERT_TRUE(e.GridBitmap.SetSize(2, 2).ok());
  e.GridBitmap.Fill(30, 100, 100);  // red 10, 20 / 30, 40 below
  e.GridBitmap.PixelAddress(0, 0)[2] = 10;
  e.GridBitmap.PixelAddress(1, 0)[2] = 20;
  e.GridBitmap.PixelAddress(1, 1)[2] = 40;
  e.PicList.Append("p");
  e.Library[0].Signature = Quadrants({70, 80, 50, 60}, 110);  // upside down, 40 redder, 10 greener and bluer
  e.Project.ColorEnhance = 100;
  e.Project.AllowHFlip = false;
  e.Project.AllowVFlip = true;
  e.FillCell(0, 0, 0);
  const CellMapEntry& m = e.Map.At(0, 0);
  EXPECT_EQ(std::tuple(m.DeltaRed, m.DeltaGreen, m.DeltaBlue), std::tuple(40, 10, 10));
  EXPECT_TRUE(m.VFlip && !m.HFlip && m.Assigned && m.PicIndex == 0);
  EXPECT_EQ(e.Library[0].UseCount, 1);
}

TEST(AssignCells, SelfMosaicFlipsOnlyWhereAllowed) {
  Engine e;
  SetGrid(e, 40, 40, 8, 8);
  e.Project.RenderMode = kRenderSelf;
  e.Project.AllowHFlip = false;
  e.Project.AllowVFlip = true;
  e.MainBitmap = testing::Uniform(80, 80, Color32(100, 50, 25));
  e.MainBitmap.FillRect(TRect{0, 0, 40, 80}, Color32(200, 150, 125));
  e.MakeGrid();
  e.Rng.SetSeed(77);
  e.AssignCells();
  const int mean = ComputeColorSignature(e.MainBitmap).Mean().Red;
  int vflips = 0;
  for (int x = 0; x < 40; ++x)
    for (int y = 0; y < 40; ++y) {
      const CellMapEntry& c = e.Map.At(x, y);
      ASSERT_TRUE(c.Assigned && c.PicIndex == -1 && !c.HFlip);
      ASSERT_EQ(c.DeltaRed, mean - e.SampleCell(x, y).Mean().Red);
      vflips += c.VFlip;
    }
  EXPECT_GT(vflips, 640);
  EXPECT_LT(vflips, 960);
  RandomGenerator r(77);  // one draw per cell, for the one allowed mirror
  for (int i = 0; i < 1600; ++i) r.Random(2);
  EXPECT_EQ(e.Rng.Seed(), r.Seed());
}

}  // namespace
}  // namespace velmora
