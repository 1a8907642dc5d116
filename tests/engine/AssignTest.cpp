// Compare, Eligible, Choose picture, Place picture, Fill cell and Assign
// cells, with a straightforward reference of the assignment that the faster
// scan must match draw for draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <set>

#include "EngineTestSupport.h"

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

// Pictures at the given distances from the flat cell (60, 60, 60), without tint.
void SetDistances(Engine& e, const std::vector<int>& distances) {
  SetGrid(e, 10, 10, 8, 8);
  e.Project.ColorEnhance = 0;
  e.PicList.Clear();
  for (size_t k = 0; k < distances.size(); ++k) {
    e.PicList.Append("p" + std::to_string(k));
    e.Library[static_cast<int>(k)].Signature = Quadrants({60 + distances[k], 60, 60, 60}, 60);
  }
}

std::set<int> PicksOverSeeds(Engine& e, int level, int seeds = 300) {
  std::set<int> picks;
  for (int s = 0; s < seeds; ++s) {
    e.Rng.SetSeed(static_cast<uint32_t>(s * 7919 + 1));
    picks.insert(e.ChoosePicture(2, 2, FlatSignature(60, 60, 60), level));
  }
  return picks;
}

TEST(Compare, TintShiftTruncatesAndOnlyQuadrantColoursCount) {
  const ColorSignature c = FlatSignature(60, 60, 60);
  EXPECT_EQ(Engine::Compare(FlatSignature(100, 100, 100), c, 50, false, false).Distance, 12 * 20);
  EXPECT_EQ(Engine::Compare(FlatSignature(100, 100, 100), c, 0, false, false).Distance, 12 * 40);
  EXPECT_EQ(Engine::Compare(FlatSignature(100, 100, 100), c, -5, false, false).Distance, 12 * 40);
  EXPECT_EQ(Engine::Compare(FlatSignature(61, 61, 61), c, 50, false, false).Distance,
            12);  // 1 x 50 div 100 = 0
  EXPECT_EQ(Engine::Compare(FlatSignature(53, 53, 53), c, 50, false, false).Distance,
            12 * 4);  // -7 x 50 div 100 = -3
  ColorSignature p = c;
  for (SigColor& s : p.Slot) s.Grey = 250;
  p.Slot[sigMean].Red = 200;
  EXPECT_EQ(Engine::Compare(p, c, 0, true, true).Distance, 0);
}

TEST(Compare, MirrorChoice) {
  const ColorSignature cell = Quadrants({10, 20, 30, 40});
  Comparison r = Engine::Compare(Quadrants({20, 10, 40, 30}), cell, 0, true, true);
  EXPECT_TRUE(r.HFlip && !r.VFlip && r.Distance == 0);
  r = Engine::Compare(Quadrants({40, 30, 20, 10}), cell, 0, true, true);
  EXPECT_TRUE(r.HFlip && r.VFlip && r.Distance == 0);
  // All four equal: no mirror.
  r = Engine::Compare(Quadrants({10, 10, 10, 10}), Quadrants({0, 20, 0, 20}), 0, true, true);
  EXPECT_TRUE(!r.HFlip && !r.VFlip && r.Distance == 40);
  // Horizontal and vertical tie at 10 below none at 30: horizontal comes first.
  r = Engine::Compare(Quadrants({0, 10, 10, 0}), Quadrants({10, 0, 0, 0}), 0, true, true);
  EXPECT_TRUE(r.HFlip && !r.VFlip && r.Distance == 10);
  // One direction allowed: taken only when strictly closer than none.
  const ColorSignature upside = Quadrants({30, 40, 10, 20});
  r = Engine::Compare(upside, cell, 0, false, true);
  EXPECT_TRUE(r.VFlip && r.Distance == 0);
  r = Engine::Compare(upside, cell, 0, true, false);  // horizontal is as far as none
  EXPECT_TRUE(!r.HFlip && r.Distance == 80);
  r = Engine::Compare(Quadrants({10, 20, 10, 20}), Quadrants({10, 20, 10, 20}), 0, false, true);
  EXPECT_FALSE(r.VFlip);
  r = Engine::Compare(upside, cell, 0, false, false);
  EXPECT_TRUE(!r.HFlip && !r.VFlip && r.Distance == 80);
}

TEST(Eligible, RepeatRadiusAndCapAtEachLevel) {
  Engine e;
  SetGrid(e, 10, 10, 8, 8);
  for (int k = 0; k < 10; ++k) e.PicList.Append("p");
  e.Project.MinRepeatRadius = 1;
  e.Map.At(4, 4) = CellMapEntry{7, 0, 0, 0, true, false, false};
  e.Map.At(8, 8) = CellMapEntry{7, 0, 0, 0, false, false, false};  // not assigned: no effect
  for (int x = 2; x <= 6; ++x)
    for (int y = 2; y <= 6; ++y) {
      const bool near = std::abs(x - 4) <= 1 && std::abs(y - 4) <= 1;
      EXPECT_EQ(e.Eligible(x, y, 7, 0), !near) << x << "," << y;
      EXPECT_EQ(e.Eligible(x, y, 7, 1), !near) << x << "," << y;
      EXPECT_TRUE(e.Eligible(x, y, 7, 2));
    }
  EXPECT_TRUE(e.Eligible(9, 9, 7, 0));
  EXPECT_FALSE(e.Eligible(4, 4, 6, 0));  // level 0 needs the cell free, level 1 does not
  EXPECT_TRUE(e.Eligible(4, 4, 6, 1));
  // The square does not wrap round the grid.
  e.Map.At(0, 0) = CellMapEntry{3, 0, 0, 0, true, false, false};
  EXPECT_TRUE(e.Eligible(9, 0, 3, 0));
  EXPECT_TRUE(e.Eligible(0, 9, 3, 0));

  e.Project.LimitRepeat = true;
  e.Project.MaxRepeatTimes = 2;
  e.Library[1].UseCount = 2;
  e.Library[2].UseCount = 1;
  EXPECT_FALSE(e.Eligible(0, 5, 1, 0));
  EXPECT_FALSE(e.Eligible(0, 5, 1, 1));
  EXPECT_TRUE(e.Eligible(0, 5, 1, 2));
  EXPECT_TRUE(e.Eligible(0, 5, 2, 0));
  e.Project.RepeatLimitSuspended = true;
  EXPECT_TRUE(e.Eligible(0, 5, 1, 0));
}

TEST(ChoosePicture, CandidatesBelowTheThresholdShareTheChoice) {
  Engine e;
  e.Project.RandomizeLevel = 20;  // threshold 192
  SetDistances(e, {8, 5, 7});
  EXPECT_EQ(PicksOverSeeds(e, 0), (std::set<int>{1, 2}));  // one of the two best, never the third
  SetDistances(e, {192, 10, 191});
  EXPECT_EQ(PicksOverSeeds(e, 0), (std::set<int>{1}));  // 192 is not below: two below take the best
  SetDistances(e, {191, 10, 191});
  EXPECT_GE(PicksOverSeeds(e, 0).size(), 2u);

  e.Project.RandomizeLevel = 1;  // threshold 9
  SetDistances(e, {5, 7, 8});
  EXPECT_EQ(PicksOverSeeds(e, 0), (std::set<int>{0, 1}));
  SetDistances(e, {7, 5, 9});
  EXPECT_EQ(PicksOverSeeds(e, 0), (std::set<int>{1}));

  e.Project.RandomizeLevel = 80;  // threshold 768
  SetDistances(e, {195, 10, 191});
  EXPECT_EQ(PicksOverSeeds(e, 0), (std::set<int>{1, 2}));

  // Nothing eligible, or nothing at all: -1.
  e.Map.At(2, 2).Assigned = true;
  EXPECT_EQ(PicksOverSeeds(e, 0, 5), (std::set<int>{-1}));
  EXPECT_NE(e.ChoosePicture(2, 2, FlatSignature(60, 60, 60), 1), -1);
  SetDistances(e, {});
  EXPECT_EQ(e.ChoosePicture(0, 0, FlatSignature(1, 1, 1), 2), -1);
}

TEST(ChoosePicture, CandidateListKeepsTheHundredBest) {
  Engine e;
  std::vector<int> distance(160);
  for (int k = 0; k < 160; ++k) distance[k] = k + 1;
  std::shuffle(distance.begin(), distance.end(), std::mt19937(5));
  SetDistances(e, distance);
  e.Project.RandomizeLevel = 80;
  int worst = 0;
  for (int s = 0; s < 2000; ++s) {
    e.Rng.SetSeed(static_cast<uint32_t>(s));
    worst =
        std::max(worst, distance[static_cast<size_t>(e.ChoosePicture(0, 0, FlatSignature(60, 60, 60), 2))]);
  }
  // sel = 99: the 99 best can come out, the 100th and beyond never.
  EXPECT_LE(worst, 99);
  EXPECT_GE(worst, 95);
}

// ---- The reference: the rules in their plain order, Eligible first ----

struct Reference {
  Engine& e;
  int assigned = 0;

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
      const int d = Engine::Compare(e.Library[k].Signature, c, e.Project.ColorEnhance, false, false).Distance;
      const int worst = static_cast<int>(std::max_element(dist.begin(), dist.end()) - dist.begin());
      if (d < dist[worst]) {
        dist[worst] = d;
        pick[worst] = k;
      }
    }
    for (int i = 0; i < 100; ++i) {
      const int m = static_cast<int>(std::min_element(dist.begin() + i, dist.end()) - dist.begin());
      std::swap(dist[i], dist[m]);
      std::swap(pick[i], pick[m]);
    }
    const int threshold = e.Project.RandomizeLevel * 768 / 80;
    int sel = 1;
    for (int j = 0; j <= (count < 100 ? count - 1 : 99); ++j)
      if (dist[j] < threshold) sel = j;
    return pick[e.Rng.Random(sel == 0 ? 1 : sel)];
  }

  CellPos Place(int k) {
    const int cols = e.Project.CellsAcross;
    const int cells = cols * e.Project.CellsDown;
    const int start = e.Rng.Random(cells);
    int best = 999999;
    CellPos at;
    for (int i = 0; i < cells; ++i) {
      const int c = (start + i) % cells;
      if (!e.Eligible(c % cols, c / cols, k, 0)) continue;
      const int d =
          Engine::Compare(e.Library[k].Signature, e.SampleCell(c % cols, c / cols), 0, false, false).Distance;
      if (d < best) {
        best = d;
        at = CellPos{c % cols, c / cols};
      }
    }
    return at;
  }

  void Fill(int x, int y, int k) {
    e.FillCell(x, y, k);
    ++assigned;
  }

  void Pass(int level) {
    const int cols = e.Project.CellsAcross;
    const int cells = cols * e.Project.CellsDown;
    for (int n = 0; n < cells; ++n) {
      int s = (n + e.Rng.Random(cells)) % cells;
      for (int steps = 0; e.Map.At(s % cols, s / cols).Assigned && steps < cells; ++steps)
        s = (s + 1) % cells;
      if (e.Map.At(s % cols, s / cols).Assigned) continue;
      const int k = Choose(s % cols, s / cols, e.SampleCell(s % cols, s / cols), level);
      if (k >= 0) Fill(s % cols, s / cols, k);
    }
  }

  void Assign() {
    e.Map.Clear();
    const int cells = e.Project.CellsAcross * e.Project.CellsDown;
    const int count = e.PicList.Count();
    if (cells < count) {
      e.Project.MaxRepeatTimes = 1;
    } else if (e.Project.UseAllPhotos) {
      for (int k = 0; k < count; ++k) {
        const CellPos at = Place(k);
        if (at.X >= 0) Fill(at.X, at.Y, k);
      }
    }
    Pass(0);
    if (assigned < cells) Pass(2);
  }
};

// Random signatures and grid, from a few colour clusters so that distances
// tie and candidates crowd below the threshold. With `twoKinds` every picture
// has one of two signatures, so the candidate list is decided by ties.
void RandomInputs(Engine& e, int cols, int rows, int count, uint32_t seed, bool twoKinds = false) {
  std::mt19937 rng(seed);
  SetGrid(e, cols, rows, 8, 8);
  ASSERT_TRUE(e.GridBitmap.SetSize(2 * cols, 2 * rows).ok());
  auto channel = [&] { return static_cast<uint8_t>((twoKinds ? 0 : rng() % 6 * 40) + rng() % 12); };
  for (uint8_t& b : e.GridBitmap.Bytes()) b = channel();
  auto randomSignature = [&] {
    ColorSignature s;
    for (int q = 0; q < 4; ++q) s.Slot[q] = SigColor{channel(), channel(), channel(), 0};
    s.Slot[sigMean] = s.Slot[static_cast<int>(rng() % 4)];
    return s;
  };
  const ColorSignature kinds[2] = {randomSignature(), randomSignature()};
  for (int k = 0; k < count; ++k) {
    e.PicList.Append("p" + std::to_string(k));
    e.Library[k].Signature = twoKinds ? kinds[rng() % 2] : randomSignature();
  }
}

void ExpectSameAssignment(const Engine& a, const Engine& b) {
  EXPECT_EQ(a.Rng.Seed(), b.Rng.Seed());
  EXPECT_EQ(a.Project.MaxRepeatTimes, b.Project.MaxRepeatTimes);
  for (int k = 0; k < a.PicList.Count(); ++k) ASSERT_EQ(a.Library[k].UseCount, b.Library[k].UseCount) << k;
  for (int x = 0; x < a.Project.CellsAcross; ++x)
    for (int y = 0; y < a.Project.CellsDown; ++y) {
      const CellMapEntry& p = a.Map.At(x, y);
      const CellMapEntry& q = b.Map.At(x, y);
      ASSERT_TRUE(p.PicIndex == q.PicIndex && p.Assigned == q.Assigned && p.HFlip == q.HFlip &&
                  p.VFlip == q.VFlip)
          << x << "," << y;
    }
}

TEST(ChoosePicture, MatchesTheStraightforwardScanOnRandomInputs) {
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    Engine fast;
    Engine ref;
    std::mt19937 rng(seed);
    const bool twoKinds = seed > 5;
    for (Engine* e : {&fast, &ref}) {
      RandomInputs(*e, 20, 15, seed % 2 ? 150 : 40, seed, twoKinds);
      e->Project.MinRepeatRadius = static_cast<int>(seed % 4);
      e->Project.LimitRepeat = seed % 3 == 0;
      e->Project.MaxRepeatTimes = 2;
      e->Project.RandomizeLevel = twoKinds ? 80 : static_cast<int>(seed * 13 % 80) + 1;
      e->Rng.SetSeed(seed * 977);
    }
    for (int i = 0; i < 150; ++i) {  // a half-filled map
      const int x = static_cast<int>(rng() % 20), y = static_cast<int>(rng() % 15);
      const int k = static_cast<int>(rng() % fast.PicList.Count());
      for (Engine* e : {&fast, &ref}) {
        e->Map.At(x, y) = CellMapEntry{k, 0, 0, 0, true, false, false};
        ++e->Library[k].UseCount;
      }
    }
    Reference r{ref};
    for (int y = 0; y < 15; ++y)
      for (int x = 0; x < 20; ++x)
        for (int level = 0; level <= 2; ++level) {
          const ColorSignature c = fast.SampleCell(x, y);
          ASSERT_EQ(fast.ChoosePicture(x, y, c, level), r.Choose(x, y, c, level))
              << x << "," << y << " " << level;
        }
    EXPECT_EQ(fast.Rng.Seed(), ref.Rng.Seed());
  }
}

TEST(AssignCells, MatchesTheReferenceDrawForDraw) {
  struct Case {
    int cols, rows, count, radius;
    bool limit, useAll, hflip, vflip;
  };
  const Case cases[] = {{12, 9, 30, 2, false, true, true, false}, {12, 9, 30, 4, true, true, true, true},
                        {6, 6, 50, 1, false, true, false, true},  {16, 10, 200, 3, true, false, true, false},
                        {9, 7, 63, 0, true, true, false, false},  {10, 10, 5, 4, false, false, true, true}};
  uint32_t seed = 11;
  for (const Case& c : cases) {
    Engine fast;
    Engine ref;
    for (Engine* e : {&fast, &ref}) {
      RandomInputs(*e, c.cols, c.rows, c.count, seed);
      e->Project.MinRepeatRadius = c.radius;
      e->Project.LimitRepeat = c.limit;
      e->Project.MaxRepeatTimes = 3;
      e->Project.UseAllPhotos = c.useAll;
      e->Project.AllowHFlip = c.hflip;
      e->Project.AllowVFlip = c.vflip;
      e->Rng.SetSeed(seed);
    }
    ++seed;
    testing::JobRecorder job;
    fast.SetListener(&job);
    fast.AssignCells();
    Reference{ref}.Assign();
    SCOPED_TRACE(c.cols * 1000 + c.count);
    ExpectSameAssignment(fast, ref);
    // Every cell is filled, the gauge climbs to 100.
    int used = 0;
    for (int k = 0; k < c.count; ++k) used += fast.Library[k].UseCount;
    EXPECT_EQ(used, c.cols * c.rows);
    EXPECT_EQ(job.texts, std::vector<std::string>{"Current Job : Mosaic Mapping Table"});
    EXPECT_EQ(job.progress.front(), 0);
    EXPECT_EQ(job.progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(job.progress.begin(), job.progress.end()));
  }
}

TEST(AssignCells, MorePicturesThanCellsSkipsTheEveryPicturePassAndLowersTheCap) {
  for (bool useAll : {true, false}) {
    Engine e;
    RandomInputs(e, 8, 8, 100, 3);
    e.Project.UseAllPhotos = useAll;
    e.AssignCells();
    EXPECT_EQ(e.Project.MaxRepeatTimes, 1);
  }
}

TEST(AssignCells, EveryPicturePassShowsAPictureNoCellWouldChoose) {
  for (bool useAll : {true, false}) {
    Engine e;
    SetGrid(e, 10, 10, 8, 8);
    ASSERT_TRUE(e.GridBitmap.SetSize(20, 20).ok());
    e.GridBitmap.Fill(50, 50, 50);
    for (int k = 0; k < 20; ++k) {
      e.PicList.Append("p");
      const auto v = static_cast<uint8_t>(k < 19 ? 45 + k % 10 : 255);  // 19 is far from every cell
      e.Library[k].Signature = FlatSignature(v, v, v);
    }
    e.Project.MinRepeatRadius = 0;
    e.Project.UseAllPhotos = useAll;
    e.AssignCells();
    EXPECT_EQ(e.Project.MaxRepeatTimes, 10);
    EXPECT_EQ(e.Library[19].UseCount, useAll ? 1 : 0) << useAll;
    for (int k = 0; useAll && k < 20; ++k) EXPECT_GE(e.Library[k].UseCount, 1) << k;
  }
}

TEST(AssignCells, FillRecordsDeltasAndMirrors) {
  Engine e;
  SetGrid(e, 1, 1, 8, 8);
  ASSERT_TRUE(e.GridBitmap.SetSize(2, 2).ok());
  e.GridBitmap.Fill(30, 100, 100);  // red, green, blue
  e.GridBitmap.PixelAddress(0, 0)[2] = 10;
  e.GridBitmap.PixelAddress(1, 0)[2] = 20;
  e.GridBitmap.PixelAddress(1, 1)[2] = 40;
  e.PicList.Append("p");
  // The cell upside down and 40 redder, 10 greener and bluer.
  e.Library[0].Signature = Quadrants({70, 80, 50, 60}, 110);
  e.Project.ColorEnhance = 100;
  e.Project.AllowHFlip = false;
  e.Project.AllowVFlip = true;
  e.FillCell(0, 0, 0);
  const CellMapEntry& m = e.Map.At(0, 0);
  EXPECT_EQ(m.DeltaRed, 40);
  EXPECT_EQ(m.DeltaGreen, 10);
  EXPECT_EQ(m.DeltaBlue, 10);
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
  testing::JobRecorder job;
  e.SetListener(&job);
  e.AssignCells();
  const ColorSignature m = ComputeColorSignature(e.MainBitmap);
  int vflips = 0;
  for (int x = 0; x < 40; ++x)
    for (int y = 0; y < 40; ++y) {
      const CellMapEntry& c = e.Map.At(x, y);
      ASSERT_TRUE(c.Assigned && c.PicIndex == -1 && !c.HFlip);
      vflips += c.VFlip;
      EXPECT_EQ(c.DeltaRed, m.Mean().Red - e.SampleCell(x, y).Mean().Red);
    }
  EXPECT_GT(vflips, 1600 * 4 / 10);
  EXPECT_LT(vflips, 1600 * 6 / 10);
  EXPECT_EQ(job.progress, std::vector<int>{0});  // the gauge is not moved in this mode
  RandomGenerator r(77);                         // one draw per cell, for the one allowed mirror
  for (int i = 0; i < 1600; ++i) r.Random(2);
  EXPECT_EQ(e.Rng.Seed(), r.Seed());
}

}  // namespace
}  // namespace velmora
