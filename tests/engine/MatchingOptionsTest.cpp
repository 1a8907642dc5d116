// Detail matching, "Place every photo well" and the repeat cap kept by the
// solver: the 4 x 4 comparison picks the photo whose layout fits where the
// quadrant sums tie, the solver finds the least total distance where the
// one-by-one pass does not, and the choices survive a project's extension
// block.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <numeric>
#include <random>

#include "support/EngineTestSupport.h"
#include "match/SparseAssignment.h"
#include "project/MatchingBlock.h"

namespace velmora {
namespace {

using testing::FlatSignature;
using testing::SetGrid;

using Pattern = std::array<std::array<uint8_t, 4>, 4>;  // rows of 0 / 255 blocks

TBitmap32 PatternPicture(const Pattern& p) {
  TBitmap32 b(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const uint8_t v = p[size_t(y / 4)][size_t(x / 4)];
      b.Pixel(x, y) = Color32(v, v, v);
    }
  return b;
}

constexpr Pattern kColumns = {{{0, 255, 0, 255}, {0, 255, 0, 255}, {0, 255, 0, 255}, {0, 255, 0, 255}}};
constexpr Pattern kColumnsMirrored = {
    {{255, 0, 255, 0}, {255, 0, 255, 0}, {255, 0, 255, 0}, {255, 0, 255, 0}}};
constexpr Pattern kRows = {{{0, 0, 0, 0}, {255, 255, 255, 255}, {0, 0, 0, 0}, {255, 255, 255, 255}}};
constexpr Pattern kChecker = {{{0, 255, 0, 255}, {255, 0, 255, 0}, {0, 255, 0, 255}, {255, 0, 255, 0}}};

TEST(DetailMatching, PrefersTheLayoutThatFitsWhereQuadrantSumsTie) {
  struct Case {
    const char* what;
    Pattern cell;
    std::vector<Pattern> photos;  // after a flat photo of the same mean, index 0
    bool allowH;
    int expected;
    bool lastMirrored;  // the last photo is shown mirrored in the cell
  };
  const Case cases[] = {
      {"columns", kColumns, {kRows, kColumns, kChecker}, false, 2, false},
      {"rows", kRows, {kColumns, kChecker, kRows}, false, 3, false},
      {"checker", kChecker, {kColumns, kRows, kChecker}, false, 3, false},
      // The choice compares unmirrored, as the plain matching does; the
      // mirror is chosen when the photo is placed.
      {"mirrored columns, mirror allowed", kColumnsMirrored, {kColumns}, true, 0, true},
      {"mirrored columns, no mirror", kColumnsMirrored, {kColumns}, false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::ScratchDir dir;
    Engine e;
    SetGrid(e, 1, 1, 16, 16);
    e.MainBitmap = PatternPicture(c.cell);
    const SigColor mean = ComputeColorSignature(e.MainBitmap).Mean();
    testing::AddPicture(e, dir, testing::Uniform(16, 16, Color32(mean.Red, mean.Green, mean.Blue)));
    for (const Pattern& p : c.photos) testing::AddPicture(e, dir, PatternPicture(p));
    e.Project.AllowHFlip = c.allowH;
    e.Project.AllowVFlip = false;
    e.MakeGrid();
    ASSERT_TRUE(e.PrepareLibrary().ok());
    // The quadrant summaries tie; only the detail summaries differ.
    for (int k = 1; k < e.PicList.Count(); ++k) e.Library[k].Signature = e.Library[0].Signature;
    e.Matching.Detail = true;
    for (uint32_t seed = 1; seed <= 8; ++seed) {
      e.Rng.SetSeed(seed);
      e.AssignCells();
      const CellMapEntry& m = e.Map.At(0, 0);
      EXPECT_EQ(m.PicIndex, c.expected) << seed;
    }
    e.Map.Clear();
    e.FillCell(0, 0, e.PicList.Count() - 1);
    EXPECT_EQ(e.Map.At(0, 0).HFlip, c.lastMirrored);
  }
}

// A reopened project has no prepared library; with detail matching its
// re-picks still compare 4 x 4 summaries, taken from the summary cache, and
// fall back to the quadrant distance only when the cache lacks one.
TEST(DetailMatching, ReopenedProjectTakesItsDetailTablesFromTheCache) {
  testing::ScratchDir dir;
  const std::string cache = dir.File("cache");
  const auto setUp = [&](Engine& e) {
    SetGrid(e, 2, 2, 16, 16);
    e.MainBitmap = PatternPicture(kChecker);
    e.Matching.Detail = true;
    e.SetSummaryCacheFolder(cache);
  };
  Engine made;
  setUp(made);
  for (const Pattern& p : {kColumns, kRows, kChecker}) testing::AddPicture(made, dir, PatternPicture(p));
  made.MakeGrid();
  ASSERT_TRUE(made.PrepareLibrary().ok());
  made.AssignCells();
  ASSERT_EQ(made.Details.Library.size(), 3u);

  for (const bool cleared : {false, true}) {
    SCOPED_TRACE(cleared ? "cache cleared" : "cache kept");
    if (cleared) std::filesystem::remove_all(cache);
    Engine reopened;
    setUp(reopened);
    reopened.PicList = made.PicList;
    reopened.Map = made.Map;
    ASSERT_TRUE(reopened.ReopenProject().ok());
    if (cleared) {
      EXPECT_TRUE(reopened.Details.Library.empty());
      continue;
    }
    ASSERT_EQ(reopened.Details.Library.size(), 3u);
    for (size_t k = 0; k < 3; ++k)
      for (size_t i = 0; i < kDetailSamples; ++i) {
        EXPECT_EQ(reopened.Details.Library[k].Sample[i].L, made.Details.Library[k].Sample[i].L);
        EXPECT_EQ(reopened.Details.Library[k].Sample[i].B, made.Details.Library[k].Sample[i].B);
      }
    EXPECT_EQ(reopened.Details.Cells.size(), made.Details.Cells.size());
    EXPECT_EQ(reopened.Details.CellsAcross, 2);
  }
}

// Reopening reads the detail summaries from the cache before the render
// opens its renditions; in a cache folder other users may write in, neither
// uses it, and the run tells so once (not the reading, which has no one to
// tell, swallowing the one warning).
TEST(DetailMatching, AReopenedProjectTellsOnceOfACacheFolderNotUsed) {
  testing::ScratchDir dir;
  const std::string cache = dir.File("cache");
  std::filesystem::create_directory(cache);
  std::filesystem::permissions(cache, std::filesystem::perms::all);
  Engine made;
  SetGrid(made, 2, 2, 16, 16);
  made.MainBitmap = PatternPicture(kChecker);
  for (const Pattern& p : {kColumns, kRows}) testing::AddPicture(made, dir, PatternPicture(p));
  made.MakeGrid();
  ASSERT_TRUE(made.PrepareLibrary().ok());
  made.AssignCells();

  Engine reopened;
  SetGrid(reopened, 2, 2, 16, 16);
  reopened.MainBitmap = made.MainBitmap;
  reopened.Matching.Detail = true;
  reopened.SetSummaryCacheFolder(cache);
  testing::JobRecorder job;
  reopened.SetListener(&job);
  reopened.PicList = made.PicList;
  reopened.Map = made.Map;
  ASSERT_TRUE(reopened.ReopenProject().ok());
  ASSERT_EQ(job.warnings.size(), 1u);
  EXPECT_NE(job.warnings[0].find("is not used"), std::string::npos) << job.warnings[0];
  EXPECT_TRUE(std::filesystem::is_empty(cache));
}

// The most rows that can be placed, and the least total cost of placing
// those of `only` (all rows when empty), by trying every assignment; each
// column takes at most `cap` rows.
std::pair<int, int64_t> BruteForce(const std::vector<std::vector<int>>& cost, int cols, int cap,
                                   const std::vector<char>& only = {}) {
  const int rows = static_cast<int>(cost.size());
  std::pair<int, int64_t> best{-1, 0};
  std::vector<int> taken(size_t(cols), 0);
  auto walk = [&](auto&& self, int r, int placed, int64_t total) -> void {
    if (r == rows) {
      if (placed > best.first || (placed == best.first && total < best.second)) best = {placed, total};
      return;
    }
    if (only.empty() || !only[size_t(r)]) self(self, r + 1, placed, total);
    if (!only.empty() && !only[size_t(r)]) return;
    for (int c = 0; c < cols; ++c)
      if (cost[size_t(r)][size_t(c)] >= 0 && taken[size_t(c)] < cap) {
        ++taken[size_t(c)];
        self(self, r + 1, placed + 1, total + cost[size_t(r)][size_t(c)]);
        --taken[size_t(c)];
      }
  };
  walk(walk, 0, 0, 0);
  return best;
}

TEST(SparseAssignment, FindsTheLeastTotalOfTheMostRowsPlaced) {
  struct Case {
    int rows, cols, listed;  // each row lists `listed` random columns
    bool widen;              // and is offered the rest when it cannot be placed
    int cap = 1;             // rows a column may take
  };
  const Case cases[] = {{3, 3, 3, false},   {4, 6, 6, false},   {5, 5, 2, false},   {5, 7, 3, false},
                        {6, 6, 1, false},   {4, 4, 4, false},   {5, 5, 1, true},    {6, 6, 2, true},
                        {5, 7, 1, true},    {4, 6, 2, true},    {6, 3, 3, false, 2}, {7, 3, 2, false, 3},
                        {7, 4, 1, true, 2}, {6, 2, 1, true, 3}, {7, 3, 2, false, 2}};
  uint32_t seed = 5;
  for (const Case& c : cases) {
    for (int round = 0; round < 20; ++round) {
      std::mt19937 rng(seed++);
      // Every column's cost, some negative as a cost less a column's best is;
      // `cost` keeps those the solver was given, -1 (never an offer) for the
      // others.
      std::vector<std::vector<int>> all(size_t(c.rows), std::vector<int>(size_t(c.cols)));
      std::vector<std::vector<int>> cost(size_t(c.rows), std::vector<int>(size_t(c.cols), -1));
      SparseCosts sparse;
      sparse.Columns = c.cols;
      if (c.cap != 1) sparse.Capacity.assign(size_t(c.cols), c.cap);
      sparse.GreedyStart = round % 2 == 1;
      for (int r = 0; r < c.rows; ++r) {
        for (int& v : all[size_t(r)]) v = int(rng() % 50);
        std::vector<int> order(size_t(c.cols));
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), rng);
        std::vector<std::pair<int32_t, int>> row;
        for (int i = 0; i < c.listed; ++i) {
          const int col = order[size_t(i)];
          cost[size_t(r)][size_t(col)] = all[size_t(r)][size_t(col)];
          row.emplace_back(cost[size_t(r)][size_t(col)], col);
        }
        sparse.AddRow(row);
      }
      int widened = 0;
      if (c.widen)
        sparse.Widen = [&](int r, std::vector<std::pair<int32_t, int>>& more) {
          ++widened;
          for (int col = 0; col < c.cols; ++col) {
            // Listed columns come again and must be ignored.
            more.emplace_back(all[size_t(r)][size_t(col)], col);
            cost[size_t(r)][size_t(col)] = all[size_t(r)][size_t(col)];
          }
        };
      const std::vector<int> got = SolveSparseAssignment(sparse);
      ASSERT_EQ(got.size(), size_t(c.rows));
      int placed = 0;
      int64_t total = 0;
      std::vector<int> taken(size_t(c.cols), 0);
      std::vector<char> rowsPlaced(size_t(c.rows), 0);
      for (int r = 0; r < c.rows; ++r) {
        const int col = got[size_t(r)];
        if (col < 0) continue;
        ASSERT_GE(cost[size_t(r)][size_t(col)], 0) << "a column the row was not offered";
        ASSERT_LT(taken[size_t(col)], c.cap) << "a column given past its capacity";
        ++taken[size_t(col)];
        rowsPlaced[size_t(r)] = 1;
        ++placed;
        total += cost[size_t(r)][size_t(col)];
      }
      // As many rows as can be placed on what was offered, at the least cost
      // for them; with more offered on demand, every row.
      if (c.widen) {
        EXPECT_EQ(placed, c.rows) << c.rows << "x" << c.cols << " round " << round;
      }
      EXPECT_EQ(placed, BruteForce(cost, c.cols, c.cap).first) << c.rows << "x" << c.cols << " round " << round;
      EXPECT_EQ(std::pair(placed, total), BruteForce(cost, c.cols, c.cap, rowsPlaced))
          << c.rows << "x" << c.cols << " round " << round;
      if (round == 0 && c.widen && c.listed == 1) {
        EXPECT_GT(widened, 0) << "the case never widens";
      }
    }
  }
}

// The least total of cost(photo, cell) over every way of giving each of n
// photos its own cell (every permutation tried).
template <typename Cost>
int64_t LeastTotal(int n, const Cost& cost) {
  std::vector<int> perm(static_cast<size_t>(n));
  std::iota(perm.begin(), perm.end(), 0);
  int64_t best = std::numeric_limits<int64_t>::max();
  do {
    int64_t t = 0;
    for (int k = 0; k < n; ++k) t += cost(k, perm[size_t(k)]);
    best = std::min(best, t);
  } while (std::next_permutation(perm.begin(), perm.end()));
  return best;
}

// The total distance of the map's photos to their cells, as the solver
// weighs it, and the least one possible (every permutation tried).
std::pair<int64_t, int64_t> PlacedAndBest(Engine& e) {
  const int cols = e.Project.CellsAcross, cells = cols * e.Project.CellsDown;
  auto cost = [&](int k, int c) {
    return ShownMeanLook(e.SampleCell(c % cols, c / cols), e.Project.ColorEnhance, e.Project.AlphaMain)
        .Distance(e.Library[k].Signature.Mean());
  };
  int64_t placed = 0;
  for (int c = 0; c < cells; ++c) placed += cost(e.Map.At(c % cols, c / cols).PicIndex, c);
  return {placed, LeastTotal(cells, cost)};
}

TEST(PlaceEveryPhotoWell, FindsTheLeastTotalWhereTheListOrderPassDoesNot) {
  struct Case {
    const char* what;
    int cols, rows;
    std::vector<uint8_t> cells;   // flat grey per cell; empty: random inputs
    std::vector<uint8_t> photos;  // flat grey per photo
    int enhance;
    bool greedyMisses;
  };
  const Case cases[] = {
      // The first photo takes the dark cell the second needed far more.
      {"two photos, two cells", 2, 1, {100, 200}, {140, 110}, 0, true},
      {"three in a row", 3, 1, {0, 100, 200}, {90, 105, 190}, 0, true},
      {"random, no tint", 3, 2, {}, {}, 0, false},
      {"random, tint", 3, 2, {}, {}, 50, false},
      {"random, 7 cells", 7, 1, {}, {}, 30, false},
  };
  uint32_t seed = 21;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (int round = 0; round < (c.cells.empty() ? 6 : 1); ++round) {
      std::mt19937 rng(seed++);
      const int cells = c.cols * c.rows;
      auto setUp = [&](Engine& e, bool fair) {
        SetGrid(e, c.cols, c.rows, 8, 8);
        ASSERT_TRUE(e.GridBitmap.SetSize(2 * c.cols, 2 * c.rows).ok());
        std::mt19937 fill(rng());
        for (int y = 0; y < 2 * c.rows; ++y)
          for (int x = 0; x < 2 * c.cols; ++x) {
            uint8_t* p = e.GridBitmap.PixelAddress(x, y);
            for (int ch = 0; ch < 3; ++ch)
              p[ch] = c.cells.empty() ? uint8_t(fill() % 256) : c.cells[size_t(x / 2 + (y / 2) * c.cols)];
          }
        for (int k = 0; k < cells; ++k) {
          e.PicList.Append("p");
          ColorSignature s;
          if (c.photos.empty()) {
            for (SigColor& q : s.Slot)
              q = SigColor{uint8_t(fill() % 256), uint8_t(fill() % 256), uint8_t(fill() % 256), 0};
          } else {
            s = FlatSignature(c.photos[size_t(k)], c.photos[size_t(k)], c.photos[size_t(k)]);
          }
          e.Library[k].Signature = s;
        }
        e.Project.ColorEnhance = c.enhance;
        e.Project.UseAllPhotos = true;
        e.Matching.FairUseAll = fair;
        e.Rng.SetSeed(7);
      };
      const uint32_t inputs = rng();
      Engine fair, greedy;
      rng.seed(inputs);
      setUp(fair, true);
      rng.seed(inputs);
      setUp(greedy, false);
      fair.AssignCells();
      greedy.AssignCells();
      const auto [placed, best] = PlacedAndBest(fair);
      EXPECT_EQ(placed, best);
      for (int k = 0; k < cells; ++k) EXPECT_EQ(fair.Library[k].UseCount, 1) << k;
      if (c.greedyMisses) {
        EXPECT_GT(PlacedAndBest(greedy).first, best);
      }
    }
  }
}

// With fewer photos than cells the cells left over are filled afterwards
// with their best photo (no randomness, no radius here), so the mosaic is
// at its best when the photos are placed where they lose least against
// that: the total over the map must be the least over every way of placing
// each photo once and giving the other cells their best.
TEST(PlaceEveryPhotoWell, LeavesFreeTheCellsTheLibraryServesWellAnyway) {
  struct Case {
    int cols, rows, photos, enhance;
  };
  const Case cases[] = {{3, 1, 2, 0},  {4, 1, 2, 50}, {5, 1, 3, 30},
                        {3, 2, 4, 50}, {6, 1, 3, 0},  {7, 1, 4, 50}};
  std::mt19937 rng(77);
  for (const Case& c : cases) {
    const int cells = c.cols * c.rows;
    for (int round = 0; round < 8; ++round) {
      Engine e;
      SetGrid(e, c.cols, c.rows, 8, 8);
      ASSERT_TRUE(e.GridBitmap.SetSize(2 * c.cols, 2 * c.rows).ok());
      std::vector<uint8_t> cellGrey(static_cast<size_t>(cells)), photoGrey(static_cast<size_t>(c.photos));
      auto cost = [&](int k, int cell) {
        return ShownMeanLook(e.SampleCell(cell % c.cols, cell / c.cols), c.enhance, e.Project.AlphaMain)
            .Distance(e.Library[k].Signature.Mean());
      };
      // Random greys, drawn again until the fill's choice (by quadrant
      // distance) is the best photo of every cell by the solver's measure.
      for (bool agree = false; !agree;) {
        for (auto& g : cellGrey) g = uint8_t(rng() % 256);
        for (auto& g : photoGrey) g = uint8_t(rng() % 256);
        for (int y = 0; y < 2 * c.rows; ++y)
          for (int x = 0; x < 2 * c.cols; ++x) {
            uint8_t* px = e.GridBitmap.PixelAddress(x, y);
            px[0] = px[1] = px[2] = cellGrey[size_t(x / 2 + (y / 2) * c.cols)];
          }
        for (int k = 0; k < c.photos; ++k) {
          const uint8_t g = photoGrey[size_t(k)];
          e.Library[k].Signature = FlatSignature(g, g, g);
        }
        agree = true;
        for (int cell = 0; cell < cells && agree; ++cell) {
          int quadrantBest = -1, ties = 0, least = INT32_MAX, leastCost = INT32_MAX;
          for (int k = 0; k < c.photos; ++k) {
            const int d = Engine::Compare(e.Library[k].Signature, e.SampleCell(cell % c.cols, cell / c.cols),
                                          c.enhance, false, false)
                              .Distance;
            if (d < least) {
              least = d;
              quadrantBest = k;
              ties = 0;
            } else if (d == least) {
              ++ties;
            }
            leastCost = std::min(leastCost, cost(k, cell));
          }
          agree = ties == 0 && cost(quadrantBest, cell) == leastCost;
        }
      }
      for (int k = 0; k < c.photos; ++k) e.PicList.Append("p");
      e.Project.ColorEnhance = c.enhance;
      e.Project.UseAllPhotos = true;
      e.Project.RandomizeLevel = 0;
      e.Project.MinRepeatRadius = 0;
      e.Project.LimitRepeat = false;
      e.Matching.FairUseAll = true;
      e.Rng.SetSeed(3);
      e.AssignCells();

      int64_t total = 0;
      for (int cell = 0; cell < cells; ++cell) {
        const CellMapEntry& m = e.Map.At(cell % c.cols, cell / c.cols);
        ASSERT_TRUE(m.Assigned);
        total += cost(m.PicIndex, cell);
      }
      for (int k = 0; k < c.photos; ++k) EXPECT_GE(e.Library[k].UseCount, 1) << k;
      // Every way of giving the photos distinct cells, in cell order.
      int64_t best = std::numeric_limits<int64_t>::max();
      std::vector<int> cellOf(static_cast<size_t>(c.photos), -1);
      std::vector<char> taken(static_cast<size_t>(cells), 0);
      auto walk = [&](auto&& self, int k) -> void {
        if (k == c.photos) {
          int64_t t = 0;
          for (int cell = 0; cell < cells; ++cell) {
            int32_t least = INT32_MAX;
            for (int j = 0; j < c.photos; ++j) least = std::min(least, cost(j, cell));
            if (!taken[size_t(cell)]) t += least;
          }
          for (int j = 0; j < c.photos; ++j) t += cost(j, cellOf[size_t(j)]);
          best = std::min(best, t);
          return;
        }
        for (int cell = 0; cell < cells; ++cell)
          if (!taken[size_t(cell)]) {
            taken[size_t(cell)] = 1;
            cellOf[size_t(k)] = cell;
            self(self, k + 1);
            taken[size_t(cell)] = 0;
          }
      };
      walk(walk, 0);
      EXPECT_EQ(total, best) << c.cols << "x" << c.rows << ", " << c.photos << " photos, round " << round;
    }
  }
}

// Copies of one photo (a folder listed twice) share their distances; what
// counts as a copy is the very bytes of the summary.
TEST(DetailMatching, FirstOfSameFindsTheFirstCopyByTheBytes) {
  auto summary = [](float l, float meanA) {
    DetailSummary s;
    for (size_t i = 0; i < s.Sample.size(); ++i) s.Sample[i] = LabColor{l + float(i), 1, -2};
    s.Mean = LabColor{l, meanA, 0};
    return s;
  };
  const DetailSummary a = summary(10, 0), b = summary(20, 0), aOtherMean = summary(10, 3),
                      aNegativeZero = summary(10, -0.0f);
  struct Case {
    const char* what;
    std::vector<const DetailSummary*> in;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {"none", {}, {}},
      {"all different", {&a, &b, &aOtherMean}, {0, 1, 2}},
      {"copies after others", {&a, &b, &a, &b, &a}, {0, 1, 0, 1, 0}},
      {"the same summary twice over", {&b, &b, &b}, {0, 0, 0}},
      // The same samples with another mean are not a copy, nor is a value
      // that only compares equal.
      {"mean differs", {&a, &aOtherMean, &a}, {0, 1, 0}},
      {"minus zero", {&a, &aNegativeZero}, {0, 1}},
  };
  for (const Case& c : cases) EXPECT_EQ(FirstOfSame(c.in), c.expected) << c.what;
}

// With detail matching every photo is placed at the least total detail
// distance, copies of one photo (whose distances are shared, not computed
// again) among them: with as many photos as cells, the map's total must be
// the least over every way of placing them.
TEST(PlaceEveryPhotoWell, WithDetailMatchingAndCopiesFindsTheLeastTotal) {
  struct Case {
    int cols, rows;
    int distinct;  // photos; each listed `cells / distinct` times, in turn
  };
  const Case cases[] = {{3, 2, 3}, {4, 2, 2}, {5, 1, 5}, {3, 2, 6}, {6, 1, 1}};
  std::mt19937 rng(41);
  auto randomBlocks = [&](int w, int h) {
    TBitmap32 b(w, h);
    std::vector<TColor32> block(size_t((w / 4) * (h / 4)));
    for (auto& c : block) c = Color32(uint8_t(rng() % 256), uint8_t(rng() % 256), uint8_t(rng() % 256));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) b.Pixel(x, y) = block[size_t((y / 4) * (w / 4) + x / 4)];
    return b;
  };
  for (const Case& c : cases) {
    const int cells = c.cols * c.rows;
    SCOPED_TRACE(std::to_string(c.cols) + "x" + std::to_string(c.rows) + ", " + std::to_string(c.distinct));
    for (int round = 0; round < 3; ++round) {
      testing::ScratchDir dir;
      Engine e;
      SetGrid(e, c.cols, c.rows, 16, 16);
      e.MainBitmap = randomBlocks(16 * c.cols, 16 * c.rows);
      std::vector<TBitmap32> photos;
      for (int k = 0; k < c.distinct; ++k) photos.push_back(randomBlocks(16, 16));
      for (int k = 0; k < cells; ++k) testing::AddPicture(e, dir, photos[size_t(k % c.distinct)]);
      e.Project.UseAllPhotos = true;
      e.Project.AllowHFlip = e.Project.AllowVFlip = false;
      e.Matching.Detail = true;
      e.Matching.FairUseAll = true;
      e.MakeGrid();
      ASSERT_TRUE(e.PrepareLibrary().ok());
      e.Rng.SetSeed(5);
      e.AssignCells();
      ASSERT_EQ(e.Details.Cells.size(), size_t(cells));
      auto cost = [&](int k, int cell) {
        return int64_t(DetailDistance(e.Details.Library[size_t(k)], e.Details.Cells[size_t(cell)],
                                      e.Project.ColorEnhance, 0));
      };
      int64_t total = 0;
      for (int cell = 0; cell < cells; ++cell) {
        const CellMapEntry& m = e.Map.At(cell % c.cols, cell / c.cols);
        ASSERT_TRUE(m.Assigned);
        total += cost(m.PicIndex, cell);
      }
      for (int k = 0; k < cells; ++k) EXPECT_EQ(e.Library[k].UseCount, 1) << k;
      EXPECT_EQ(total, LeastTotal(cells, cost)) << "round " << round;
    }
  }
}

// "Keep the repeat cap by the solver": with no radius in the way the map is
// the least total distance over every way of giving each cell a photo used
// at most `cap` times; with a radius no photo repeats inside it, the cells
// the solver's placement would break it in going to the passes.
TEST(PlaceUnderUseCap, FindsTheLeastTotalUnderTheCapAndKeepsTheRadius) {
  struct Case {
    const char* what;
    int cols, rows, photos, cap, radius, enhance;
  };
  const Case cases[] = {
      {"6 cells, 3 photos twice each", 3, 2, 3, 2, 0, 0}, {"7 cells, 3 photos up to 3 times", 7, 1, 3, 3, 0, 50},
      {"more room than cells", 3, 2, 4, 2, 0, 30},       {"radius 1", 5, 2, 10, 2, 1, 50},
  };
  uint32_t seed = 41;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (int round = 0; round < 5; ++round) {
      std::mt19937 rng(seed++);
      Engine e;
      SetGrid(e, c.cols, c.rows, 8, 8);
      ASSERT_TRUE(e.GridBitmap.SetSize(2 * c.cols, 2 * c.rows).ok());
      for (int y = 0; y < 2 * c.rows; ++y)
        for (int x = 0; x < 2 * c.cols; ++x)
          for (int ch = 0; ch < 3; ++ch) e.GridBitmap.PixelAddress(x, y)[ch] = uint8_t(rng() % 256);
      for (int k = 0; k < c.photos; ++k) {
        e.PicList.Append("p");
        for (SigColor& q : e.Library[k].Signature.Slot)
          q = SigColor{uint8_t(rng() % 256), uint8_t(rng() % 256), uint8_t(rng() % 256), 0};
      }
      e.Project.ColorEnhance = c.enhance;
      e.Project.UseAllPhotos = false;
      e.Project.LimitRepeat = true;
      e.Project.MaxRepeatTimes = c.cap;
      e.Project.MinRepeatRadius = c.radius;
      e.Matching.UseCap = true;
      e.Rng.SetSeed(3);
      e.AssignCells();

      const int cells = c.cols * c.rows;
      auto cost = [&](int k, int cell) {
        return Engine::Compare(e.Library[k].Signature, e.SampleCell(cell % c.cols, cell / c.cols), c.enhance,
                               e.Project.AllowHFlip, e.Project.AllowVFlip)
            .Distance;
      };
      std::vector<int> uses(size_t(c.photos), 0);
      int64_t placed = 0;
      for (int cell = 0; cell < cells; ++cell) {
        const CellMapEntry& m = e.Map.At(cell % c.cols, cell / c.cols);
        ASSERT_TRUE(m.Assigned);
        ++uses[size_t(m.PicIndex)];
        placed += cost(m.PicIndex, cell);
        for (int other = 0; other < cell; ++other)
          if (std::abs(other % c.cols - cell % c.cols) <= c.radius &&
              std::abs(other / c.cols - cell / c.cols) <= c.radius)
            EXPECT_NE(e.Map.At(other % c.cols, other / c.cols).PicIndex, m.PicIndex) << "within the radius";
      }
      for (int k = 0; k < c.photos; ++k) EXPECT_LE(uses[size_t(k)], c.cap) << k;
      if (c.radius > 0) continue;
      // Every way of choosing a photo per cell, at most `cap` uses each.
      int64_t best = std::numeric_limits<int64_t>::max();
      std::vector<int> pick(size_t(cells), 0), count(size_t(c.photos), 0);
      auto walk = [&](auto&& self, int cell, int64_t total) -> void {
        if (cell == cells) {
          best = std::min(best, total);
          return;
        }
        for (int k = 0; k < c.photos; ++k)
          if (count[size_t(k)] < c.cap) {
            ++count[size_t(k)];
            self(self, cell + 1, total + cost(k, cell));
            --count[size_t(k)];
          }
      };
      walk(walk, 0, 0);
      EXPECT_EQ(placed, best) << "round " << round;
    }
  }
}

// A grid past what is solved in one piece goes in strips: the cap still
// holds over the whole grid, every cell is filled, and the map is the same
// on one thread or two.
TEST(PlaceUnderUseCap, StripsOfALargeGridKeepTheCapOnAnyThreads) {
  constexpr int kCols = 80, kRows = 60, kPhotos = 300, kCap = 20;
  std::vector<CellMapEntry> maps[2];
  for (int threads : {1, 2}) {
    std::mt19937 rng(77);
    Engine e;
    e.SetThreadCount(threads);
    SetGrid(e, kCols, kRows, 8, 8);
    ASSERT_TRUE(e.GridBitmap.SetSize(2 * kCols, 2 * kRows).ok());
    for (int y = 0; y < 2 * kRows; ++y)
      for (int x = 0; x < 2 * kCols; ++x)
        for (int ch = 0; ch < 3; ++ch) e.GridBitmap.PixelAddress(x, y)[ch] = uint8_t((x * 3 + y * 2 + ch * 40) % 256);
    for (int k = 0; k < kPhotos; ++k) {
      e.PicList.Append("p");
      for (SigColor& q : e.Library[k].Signature.Slot)
        q = SigColor{uint8_t(rng() % 256), uint8_t(rng() % 256), uint8_t(rng() % 256), 0};
    }
    e.Project.UseAllPhotos = false;
    e.Project.LimitRepeat = true;
    e.Project.MaxRepeatTimes = kCap;
    e.Project.MinRepeatRadius = 1;
    e.Matching.UseCap = true;
    e.Rng.SetSeed(3);
    e.AssignCells();
    std::vector<int> uses(kPhotos, 0);
    for (int y = 0; y < kRows; ++y)
      for (int x = 0; x < kCols; ++x) {
        ASSERT_TRUE(e.Map.At(x, y).Assigned);
        ++uses[size_t(e.Map.At(x, y).PicIndex)];
        maps[threads - 1].push_back(e.Map.At(x, y));
      }
    EXPECT_LE(*std::max_element(uses.begin(), uses.end()), kCap);
  }
  ASSERT_EQ(maps[0].size(), maps[1].size());
  for (size_t i = 0; i < maps[0].size(); ++i) {
    EXPECT_EQ(maps[0][i].PicIndex, maps[1][i].PicIndex) << i;
    EXPECT_EQ(maps[0][i].HFlip, maps[1][i].HFlip) << i;
  }
}

TEST(MatchingBlock, RoundTripsThroughTheExtensionArea) {
  for (int bits = 0; bits < 16; ++bits) {
    const MatchOptions options{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
    std::vector<ExtensionBlock> blocks;
    AppendMatchingBlock(options, blocks);
    EXPECT_EQ(blocks.size(), bits == 0 ? 0u : 1u) << "all off writes nothing";
    ExtensionArea area;
    ASSERT_TRUE(DecodeExtensionArea(EncodeExtensionArea(blocks), "p.vm6", area).ok());
    std::string warning;
    EXPECT_EQ(MatchingFromExtensions(area, "p.vm6", &warning), options) << bits;
    EXPECT_TRUE(warning.empty());
  }
  struct Bad {
    const char* what;
    ExtensionBlock block;
  };
  const Bad bad[] = {
      {"newer version", {kMatchingTag, uint16_t(kMatchingVersion + 1), {1, 0, 0, 0}}},
      {"short payload", {kMatchingTag, kMatchingVersion, {1}}},
      {"unknown flag", {kMatchingTag, kMatchingVersion, {0x83, 0, 0, 0}}},
  };
  for (const Bad& b : bad) {
    ExtensionArea area;
    area.blocks.push_back(b.block);
    std::string warning;
    EXPECT_EQ(MatchingFromExtensions(area, "p.vm6", &warning), MatchOptions{}) << b.what;
    EXPECT_NE(warning.find("p.vm6"), std::string::npos) << b.what << ": " << warning;
  }
}

}  // namespace
}  // namespace velmora
