// Cell assignment: Compare, Eligible, Choose picture, Place picture, Fill cell
// and Assign cells with its three passes. The random draws happen exactly in
// the order the passes make them, so a seed always gives the same map.
//
// Choose picture and Place picture test the cheap rules first, then the
// distance, and only for a picture that would be kept the repeat radius. A
// picture whose distance cannot improve the result leaves it unchanged
// whether it is eligible or not, so the outcome is that of testing
// eligibility first.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

#include "match/DetailLanes.h"
#include "engine/Engine.h"
#include "match/SignatureLanes.h"
#include "imaging/PictureOps.h"

namespace velmora {
namespace {

constexpr int kCandidates = 100;
constexpr int kNoCandidate = 65535;
constexpr int kNoCell = 999999;
// From this many library pictures on, a pass over them takes long enough
// (some tens of microseconds) to be worth sharing with a second thread.
constexpr int kShareFrom = 8192;

// The picture quadrant that a cell quadrant is compared with, per orientation:
// none, horizontal mirror, vertical mirror, both.
constexpr std::array<std::array<int, 4>, 4> kQuadrantOf = {{
    {sigTopLeft, sigTopRight, sigBottomLeft, sigBottomRight},
    {sigTopRight, sigTopLeft, sigBottomRight, sigBottomLeft},
    {sigBottomLeft, sigBottomRight, sigTopLeft, sigTopRight},
    {sigBottomRight, sigBottomLeft, sigTopRight, sigTopLeft},
}};

struct Shift {
  int Blue = 0;
  int Green = 0;
  int Red = 0;
};

// The renderer moves a picture `enhance` percent toward the cell's mean, so
// the comparison does too.
Shift TintShift(const ColorSignature& p, const ColorSignature& c, int enhance) {
  if (enhance < 1) return {};
  // 64-bit, and bounded so that an absurd enhance read from a damaged file
  // cannot overflow the distance sums.
  auto shift = [enhance](int pv, int cv) {
    return static_cast<int>(std::clamp<int64_t>(int64_t(pv - cv) * enhance / 100, -(1 << 20), 1 << 20));
  };
  return {shift(p.Mean().Blue, c.Mean().Blue), shift(p.Mean().Green, c.Mean().Green),
          shift(p.Mean().Red, c.Mean().Red)};
}

int Distance(const ColorSignature& p, const ColorSignature& c, const Shift& s, int orientation) {
  int d = 0;
  for (int q = 0; q < 4; ++q) {
    const SigColor& pc = p.Slot[kQuadrantOf[orientation][q]];
    const SigColor& cc = c.Slot[q];
    d += std::abs(pc.Blue - s.Blue - cc.Blue) + std::abs(pc.Green - s.Green - cc.Green) +
         std::abs(pc.Red - s.Red - cc.Red);
  }
  return d;
}

// Lays out the first `count` of `summaries` unless `lanes` already holds them.
void LoadDetailLanes(DetailLanes& lanes, const std::vector<DetailSummary>& summaries, int count,
                     DetailLanes::Side side, const DetailWeights& weights) {
  lanes.SetWeights(weights);
  if (lanes.Ready() && lanes.Count() == count) return;
  lanes.Reset(count, side);
  for (int i = 0; i < count; ++i) lanes.Set(i, summaries[size_t(i)]);
}

}  // namespace

Comparison Engine::Compare(const ColorSignature& picture, const ColorSignature& cell, int enhance,
                           bool allowH, bool allowV) {
  const Shift s = TintShift(picture, cell, enhance);
  const int none = Distance(picture, cell, s, 0);
  if (allowH && allowV) {
    Comparison best{none, false, false};
    const std::array<Comparison, 3> others = {Comparison{Distance(picture, cell, s, 1), true, false},
                                              Comparison{Distance(picture, cell, s, 2), false, true},
                                              Comparison{Distance(picture, cell, s, 3), true, true}};
    // Strictly smaller only: on a tie the earlier orientation stays.
    for (const Comparison& c : others)
      if (c.Distance < best.Distance) best = c;
    return best;
  }
  if (allowH) {
    const int h = Distance(picture, cell, s, 1);
    return h < none ? Comparison{h, true, false} : Comparison{none, false, false};
  }
  if (allowV) {
    const int v = Distance(picture, cell, s, 2);
    return v < none ? Comparison{v, false, true} : Comparison{none, false, false};
  }
  return Comparison{none, false, false};
}

bool Engine::RepeatCapAllows(int k) const {
  if (!Project.LimitRepeat || Project.RepeatLimitSuspended) return true;
  return int64_t(Library[k].UseCount) + 1 <= Project.MaxRepeatTimes;
}

// The repeat square around (x, y) inside the grid, bounds included.
TRect Engine::RepeatSquare(int x, int y) const {
  const int r = std::clamp(Project.MinRepeatRadius, -1, kMapSide);
  return TRect{std::max(0, x - r), std::max(0, y - r), std::min(Project.CellsAcross - 1, x + r),
               std::min(Project.CellsDown - 1, y + r)};
}

bool Engine::RepeatRadiusFree(int x, int y, int k) const {
  const TRect sq = RepeatSquare(x, y);
  for (int cx = sq.Left; cx <= sq.Right; ++cx)
    for (int cy = sq.Top; cy <= sq.Bottom; ++cy) {
      const CellMapEntry& e = Map.At(cx, cy);
      if (e.Assigned && e.PicIndex == k) return false;
    }
  return true;
}

// Stamps every picture shown in the repeat square around (x, y), so that
// Choose picture's radius test is one look-up per candidate.
void Engine::MarkPicturesNear(int x, int y) {
  if (++nearSerial_ == 0) {
    std::fill(nearStamp_.begin(), nearStamp_.end(), 0u);
    nearSerial_ = 1;
  }
  const TRect sq = RepeatSquare(x, y);
  for (int cx = sq.Left; cx <= sq.Right; ++cx)
    for (int cy = sq.Top; cy <= sq.Bottom; ++cy) {
      const CellMapEntry& e = Map.At(cx, cy);
      if (e.Assigned && e.PicIndex >= 0 && e.PicIndex < kLibraryTableSize)
        nearStamp_[static_cast<size_t>(e.PicIndex)] = nearSerial_;
    }
}

bool Engine::Eligible(int x, int y, int k, int level) const {
  if (level >= 2) return true;
  if (k < 0 || k >= kLibraryTableSize || !GridFitsTables()) return false;
  if (x < 0 || y < 0 || x >= Project.CellsAcross || y >= Project.CellsDown) return false;
  if (level <= 0 && Map.At(x, y).Assigned) return false;
  return RepeatCapAllows(k) && RepeatRadiusFree(x, y, k);
}

namespace {

// The hundred best candidates of Choose picture, and the choice among them.
class BestCandidates {
public:
  BestCandidates() {
    dist_.fill(kNoCandidate);
    pick_.fill(-1);
  }

  // A candidate enters only below this: the distance in the slot it would
  // replace.
  int Limit() const { return dist_[static_cast<size_t>(worst_)]; }

  // The slot a new candidate replaces is the lowest-numbered one with the
  // largest distance. While the list fills up that is the first empty slot
  // (every candidate beats 65535); once it is full, the worst is kept per
  // group of ten slots, so an insertion rescans one group and the ten group
  // results instead of all hundred slots.
  void Put(int d, int k) {
    dist_[static_cast<size_t>(worst_)] = d;
    pick_[static_cast<size_t>(worst_)] = k;
    if (!full_) {
      if (++filled_ < kCandidates) {
        worst_ = filled_;
        return;
      }
      full_ = true;
      for (int g = 0; g < kCandidates / kGroup; ++g) RescanGroup(g);
    } else {
      RescanGroup(worst_ / kGroup);
    }
    int w = groupWorst_[0];
    for (int g = 1; g < kCandidates / kGroup; ++g)
      if (dist_[groupWorst_[static_cast<size_t>(g)]] > dist_[w]) w = groupWorst_[static_cast<size_t>(g)];
    worst_ = w;
  }

  // sel is the last sorted position below the threshold (at least 1). The
  // sorted list is ascending, so those positions are a prefix and can be
  // counted before sorting; only the first sel positions need sorting.
  int Choose(int count, int randomizeLevel, RandomGenerator& rng) {
    const int64_t threshold = int64_t(randomizeLevel) * 768 / 80;
    const int last = count < kCandidates ? count - 1 : kCandidates - 1;
    int below = 0;
    for (int s = 0; s < kCandidates; ++s)
      if (dist_[static_cast<size_t>(s)] < threshold) ++below;
    below = std::min(below, last + 1);
    const int sel = below - 1 >= 1 ? below - 1 : 1;
    for (int i = 0; i < sel; ++i) {
      int m = i;
      for (int j = i + 1; j < kCandidates; ++j)
        if (dist_[static_cast<size_t>(j)] < dist_[static_cast<size_t>(m)]) m = j;
      std::swap(dist_[static_cast<size_t>(i)], dist_[static_cast<size_t>(m)]);
      std::swap(pick_[static_cast<size_t>(i)], pick_[static_cast<size_t>(m)]);
    }
    return pick_[static_cast<size_t>(rng.Random(sel))];
  }

private:
  static constexpr int kGroup = 10;
  static_assert(kCandidates % kGroup == 0);

  void RescanGroup(int g) {
    int w = g * kGroup;
    for (int s = w + 1; s < (g + 1) * kGroup; ++s)
      if (dist_[static_cast<size_t>(s)] > dist_[static_cast<size_t>(w)]) w = s;
    groupWorst_[static_cast<size_t>(g)] = w;
  }

  std::array<int, kCandidates> dist_;
  std::array<int, kCandidates> pick_;
  std::array<int, kCandidates / kGroup> groupWorst_{};
  int filled_ = 0;
  bool full_ = false;
  int worst_ = 0;
};

}  // namespace

int Engine::ChoosePicture(int x, int y, const ColorSignature& cell, int level) {
  SignatureLanes lanes;
  DetailLanes details;
  return ChooseAmong(lanes, details, x, y, cell, level);
}

void Engine::LoadLibraryLanes(SignatureLanes& lanes) const {
  const int count = std::min(PicList.Count(), kLibraryTableSize);
  lanes.Reset(count);
  for (int k = 0; k < count; ++k) lanes.Set(k, Library[k].Signature);
}

int Engine::ChooseAmong(SignatureLanes& lanes, DetailLanes& details, int x, int y, const ColorSignature& cell,
                        int level) {
  const int count = std::min(PicList.Count(), kLibraryTableSize);
  const int start = Rng.Random(count);
  BestCandidates best;

  // Level 0 needs the cell itself free, which no picture changes; a cell
  // outside the grid has no eligible picture below level 2.
  const bool ruled = level <= 1;
  const bool inGrid =
      GridFitsTables() && x >= 0 && y >= 0 && x < Project.CellsAcross && y < Project.CellsDown;
  const bool anyEligible = !ruled || (inGrid && (level >= 1 || !Map.At(x, y).Assigned));
  const bool capOn = ruled && Project.LimitRepeat && !Project.RepeatLimitSuspended;
  const int enhance = Project.ColorEnhance;
  bool marked = false;
  // Detail matching compares a grid cell's own samples; a pen area (or any
  // signature that is not the cell's) keeps the quadrant distance.
  const bool detail = inGrid && DetailReady() && cell == SampleCell(x, y);

  // Picture k at distance d (below the list's limit) enters the list unless
  // the cap or the repeat radius rules it out. A picture that could not
  // enter anyway leaves the list as it is whether eligible or not, so the
  // rules need only be tested here.
  // Tiles that keep the photo take only photos of their own shape.
  int shape = -1;
  if (Aspects.On && inGrid) {
    const int b = Blocks.BlockAt(x, y);
    shape = int(b < 0 ? TileShape::kSquare
                      : ShapeOfBlock(Blocks.Blocks()[size_t(b)].Width, Blocks.Blocks()[size_t(b)].Height));
  }
  auto offer = [&](int k, int d) {
    if (shape >= 0 && !Aspects.Fits(k, TileShape(shape))) return;
    if (capOn && int64_t(Library[k].UseCount) + 1 > Project.MaxRepeatTimes) return;
    if (ruled) {
      if (!marked) {
        MarkPicturesNear(x, y);
        marked = true;
      }
      if (nearStamp_[static_cast<size_t>(k)] == nearSerial_) return;
    }
    best.Put(d, k);
  };

  if (anyEligible && !detail && enhance <= SignatureLanes::kMaxLaneEnhance) {
    // Every distance in one vectorised pass, then the pictures in scan order
    // from `start`; only those below the list's limit are looked at.
    if (!lanes.Ready() || lanes.Count() != count) LoadLibraryLanes(lanes);
    const int16_t* d = lanes.Distances(cell, enhance);
    for (const auto& [from, to] : {std::pair{start, count}, std::pair{0, start}})
      for (int k = lanes.FirstBelow(from, to, best.Limit()); k < to;
           k = lanes.FirstBelow(k + 1, to, best.Limit()))
        offer(k, d[k]);
  } else if (anyEligible && detail) {
    // The same with the detail distance: computed ahead for the pass's
    // cells, else here. DetailDistance's early stop at the list's limit
    // changes nothing but the distances that stay above it.
    const int32_t* d = details.Kept(y * Project.CellsAcross + x, enhance);
    if (d == nullptr) {
      LoadDetailLanes(details, Details.Library, count, DetailLanes::Side::kPictures, Details.Weights);
      d = details.Distances(Details.Cell(x, y), enhance);
    }
    for (const auto& [from, to] : {std::pair{start, count}, std::pair{0, start}})
      for (int k = from; k < to; ++k)
        if (d[k] < best.Limit()) offer(k, d[k]);
  } else if (anyEligible) {
    // Up to this enhance the 32-bit products cannot overflow and the shift
    // stays inside TintShift's bound; beyond it (only a damaged file) the
    // general path is taken.
    const bool plainShift = enhance <= 4096;
    auto distance = [&](const ColorSignature& p) {
      int shift[3] = {0, 0, 0};
      if (enhance >= 1 && plainShift) {
        shift[0] = (p.Mean().Blue - cell.Mean().Blue) * enhance / 100;
        shift[1] = (p.Mean().Green - cell.Mean().Green) * enhance / 100;
        shift[2] = (p.Mean().Red - cell.Mean().Red) * enhance / 100;
      } else if (enhance >= 1) {
        const Shift s = TintShift(p, cell, enhance);
        shift[0] = s.Blue;
        shift[1] = s.Green;
        shift[2] = s.Red;
      }
      int d = 0;
      for (int q = 0; q < 4; ++q)
        d += std::abs(p.Slot[q].Blue - shift[0] - cell.Slot[q].Blue) +
             std::abs(p.Slot[q].Green - shift[1] - cell.Slot[q].Green) +
             std::abs(p.Slot[q].Red - shift[2] - cell.Slot[q].Red);
      return d;
    };
    for (int i = 0, k = start; i < count; ++i, k = (k + 1 == count) ? 0 : k + 1) {
      if (capOn && int64_t(Library[k].UseCount) + 1 > Project.MaxRepeatTimes) continue;
      const int d = distance(Library[k].Signature);
      if (d < best.Limit()) offer(k, d);
    }
  }
  return best.Choose(count, Project.RandomizeLevel, Rng);
}

CellPos Engine::PlacePicture(int k) {
  SignatureLanes cells;
  DetailLanes cellDetails;
  return PlaceAmong(cells, cellDetails, k);
}

void Engine::LoadCellLanes(SignatureLanes& lanes) const {
  const int cols = Project.CellsAcross;
  const int cells = GridFitsTables() ? Cells() : 0;
  lanes.Reset(cells);
  if (GridBitmap.Width() < 2 * cols || GridBitmap.Height() < 2 * Project.CellsDown) return;
  // The cell's samples: top-left, top-right on row 2y, the bottom two below.
  for (int c = 0; c < cells; ++c) {
    const int x = c % cols;
    const int y = c / cols;
    const uint8_t* top = GridBitmap.PixelAddress(2 * x, 2 * y);
    const uint8_t* bottom = GridBitmap.PixelAddress(2 * x, 2 * y + 1);
    const uint8_t* const samples[4] = {top, top + 3, bottom, bottom + 3};
    lanes.SetQuadrants(c, samples);
    if (Map.At(x, y).Assigned) lanes.Block(c);
  }
}

CellPos Engine::PlaceAmong(SignatureLanes& lanes, DetailLanes& cellDetails, int k) {
  const int cells = GridFitsTables() ? Cells() : 0;
  const int start = Rng.Random(cells);
  CellPos found;
  if (cells == 0 || k < 0 || k >= kLibraryTableSize || !RepeatCapAllows(k)) return found;
  if (GridBitmap.Width() < 2 * Project.CellsAcross || GridBitmap.Height() < 2 * Project.CellsDown)
    return found;

  const ColorSignature& p = Library[k].Signature;
  const int cols = Project.CellsAcross;
  if (!DetailReady()) {
    // Every free cell's distance in one vectorised pass (taken cells come out
    // blocked), then the cells in reading order from `start`; only those
    // closer than the best so far are tested for the repeat radius.
    if (!lanes.Ready() || lanes.Count() != cells) LoadCellLanes(lanes);
    const int16_t* d = lanes.Distances(p, 0);
    int best = kNoCell;
    for (const auto& [from, to] : {std::pair{start, cells}, std::pair{0, start}})
      for (int c = lanes.FirstBelow(from, to, best); c < to; c = lanes.FirstBelow(c + 1, to, best))
        if (RepeatRadiusFree(c % cols, c / cols, k)) {
          best = d[c];
          found = CellPos{c % cols, c / cols};
        }
    return found;
  }

  // The same with the detail distance, the free cells tested in the loop.
  LoadDetailLanes(cellDetails, Details.Cells, cells, DetailLanes::Side::kCells, Details.Weights);
  const int32_t* d = cellDetails.Distances(Details.Library[size_t(k)], 0);
  int best = kNoCell;
  for (int i = 0, c = start; i < cells; ++i, c = (c + 1 == cells) ? 0 : c + 1)
    if (d[c] < best && !Map.At(c % cols, c / cols).Assigned && RepeatRadiusFree(c % cols, c / cols, k)) {
      best = d[c];
      found = CellPos{c % cols, c / cols};
    }
  return found;
}

bool Engine::DetailReady() const {
  const int count = std::min(PicList.Count(), kLibraryTableSize);
  return Matching.Detail && Project.RenderMode != kRenderSelf && GridFitsTables() &&
         Details.Library.size() >= size_t(count) && Details.CellsAcross == Project.CellsAcross &&
         Details.CellsDown == Project.CellsDown;
}

void Engine::ReportAssigned() {
  const int cells = Cells();
  Listener().SetProgress(cells > 0 ? static_cast<int>(int64_t(assigned_) * 100 / cells) : 0);
  Listener().ProcessEvents();
  CancelPolled();
}

void Engine::FillCell(int x, int y, int k) {
  if (k < 0 || k >= kLibraryTableSize || x < 0 || y < 0 || x >= kMapSide || y >= kMapSide) return;
  const ColorSignature c = SampleCell(x, y);
  const ColorSignature& p = Library[k].Signature;
  CellMapEntry& e = Map.At(x, y);
  e.DeltaBlue = p.Mean().Blue - c.Mean().Blue;
  e.DeltaGreen = p.Mean().Green - c.Mean().Green;
  e.DeltaRed = p.Mean().Red - c.Mean().Red;
  e.PicIndex = k;
  e.Assigned = true;
  ++Library[k].UseCount;
  if (DetailReady() && x < Project.CellsAcross && y < Project.CellsDown) {
    int orientation = 0;
    DetailBestOrientation(Details.Library[size_t(k)], Details.Cell(x, y), Project.ColorEnhance,
                          Project.AllowHFlip, Project.AllowVFlip, &orientation, &Details.Weights);
    e.HFlip = (orientation & 1) != 0;
    e.VFlip = (orientation & 2) != 0;
  } else {
    const Comparison r = Compare(p, c, Project.ColorEnhance, Project.AllowHFlip, Project.AllowVFlip);
    e.VFlip = r.VFlip;
    e.HFlip = r.HFlip;
  }
  ++assigned_;
  ReportAssigned();
}

void Engine::MainPass(int level) {
  // The library's summaries do not change during the pass: laid out once.
  SignatureLanes library;
  library.ShareWithSecondThread(threads_ > 1 && std::min(PicList.Count(), kLibraryTableSize) >= kShareFrom);
  const int cols = Project.CellsAcross;
  const int cells = Cells();
  DetailLanes details;
  if (DetailReady()) {
    // The pass visits only cells free now: their detail distances to the
    // whole library are computed ahead, on every thread.
    LoadDetailLanes(details, Details.Library, std::min(PicList.Count(), kLibraryTableSize),
                    DetailLanes::Side::kPictures, Details.Weights);
    std::vector<const DetailSummary*> queries;
    std::vector<int> ids;
    for (int c = 0; c < cells; ++c)
      if (!Map.At(c % cols, c / cols).Assigned) {
        queries.push_back(&Details.Cells[size_t(c)]);
        ids.push_back(c);
      }
    details.Precompute(queries, ids, cells, Project.ColorEnhance, threads_);
  }
  for (int n = 0; n < cells && !cancelled_; ++n) {
    int s = n + Rng.Random(cells);
    if (s >= cells) s -= cells;
    // Every cell taken: the walk below would find none (the draw above still
    // happens, so the random sequence is unchanged).
    if (assigned_ >= cells) continue;
    int x = s % cols;
    int y = s / cols;
    for (int steps = 0; Map.At(x, y).Assigned && steps < cells; ++steps) {
      if (++x == cols) {
        x = 0;
        if (++y == Project.CellsDown) y = 0;
      }
    }
    if (Map.At(x, y).Assigned) continue;
    const int k = ChooseAmong(library, details, x, y, SampleCell(x, y), level);
    if (k >= 0) FillCell(x, y, k);
    ReportAssigned();
  }
}

void Engine::AssignCells() {
  JobListener& job = Listener();
  job.SetJobText("Current Job : Mosaic Mapping Table");
  job.SetProgress(0);
  cancelled_ = false;
  Map.Clear();
  assigned_ = 0;
  // A new assignment starts as the plain grid; its blocks are merged below.
  Blocks = BlockMap();
  if (!GridFitsTables()) return;
  // A shaped tile is matched on the samples its shape shows.
  Details.Weights = MaskDetailWeights(Masks, Project.CellWidth, Project.CellHeight, Project.StitchMode);
  const int cols = Project.CellsAcross;
  const int rows = Project.CellsDown;
  const int cells = Cells();

  if (Project.RenderMode == kRenderSelf) {
    const ColorSignature m = MainBitmap.Empty() ? ColorSignature{} : ComputeColorSignature(MainBitmap);
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < cols; ++x) {
        const ColorSignature c = SampleCell(x, y);
        CellMapEntry& e = Map.At(x, y);
        e.DeltaBlue = m.Mean().Blue - c.Mean().Blue;
        e.DeltaGreen = m.Mean().Green - c.Mean().Green;
        e.DeltaRed = m.Mean().Red - c.Mean().Red;
        // Random is drawn only for an allowed mirror, the vertical one first.
        e.VFlip = Project.AllowVFlip && Rng.Random(2) == 1;
        e.HFlip = Project.AllowHFlip && Rng.Random(2) == 1;
        e.Assigned = true;
      }
    return;
  }

  if (Matching.Detail)
    MakeCellDetails(MainBitmap,
                    DetailGridShape{cols, rows, Project.CropMainImage, Project.FinalWidth,
                                    Project.FinalHeight, Project.StitchMode},
                    Details);
  if (Sizing.On() || Aspects.On) StartBlocks();
  const int count = std::min(PicList.Count(), kLibraryTableSize);
  // With the use cap solved for, the every-photo pass (when it runs) and
  // the solver share the cap: the solver takes the cells it leaves.
  const bool capSolved = Matching.UseCap && Project.LimitRepeat && !Project.RepeatLimitSuspended;
  if (cells < count) {
    // More pictures than cells: every picture once is impossible, and the
    // lowered cap stays with the project.
    Project.MaxRepeatTimes = 1;
  } else if (Project.UseAllPhotos && Matching.FairUseAll && Blocks.Empty()) {
    // The solver ranks every cell; with blocks the one-by-one placement
    // below, which takes only free cells, places every photo.
    PlaceEveryPhotoWell(count);
  } else if (Project.UseAllPhotos) {
    SignatureLanes free;
    DetailLanes cellDetails;
    for (int k = 0; k < count && !cancelled_; ++k) {
      const CellPos at = PlaceAmong(free, cellDetails, k);
      if (at.X < 0) continue;
      FillCell(at.X, at.Y, k);
      if (free.Ready()) free.Block(at.Y * cols + at.X);
    }
  }
  if (capSolved && !cancelled_) PlaceUnderUseCap(count);
  MainPass(0);
  // A cancel is reported by the sequence that ran the assignment.
  if (assigned_ < cells && !cancelled_) MainPass(2);
  FinishBlocks();
}

void Engine::StartBlocks() {
  const int cols = Project.CellsAcross;
  const int rows = Project.CellsDown;
  Blocks = MergeCalmBlocks(GridBitmap, cols, rows, Sizing);
  if (Aspects.On)
    AddShapeBlocks(MeasureShapeCosts(GridBitmap, Blocks, Library, std::min(PicList.Count(), kLibraryTableSize),
                                     Aspects, Project.ColorEnhance, threads_),
                   Blocks);
  if (Blocks.Empty()) return;
  // Every pass reads a cell's look from GridBitmap (and the detail table):
  // a block's first cell is given the block's look there until the passes
  // are done, and the block's other cells count as taken, so every pass
  // places the block as one tile at its first cell.
  plainGrid_ = GridBitmap;
  WriteBlockSamples(Blocks, GridBitmap);
  if (Matching.Detail && Details.CellsAcross == cols && Details.CellsDown == rows) {
    Bitmap24 detailGrid;
    MakeDetailGrid(MainBitmap,
                   DetailGridShape{cols, rows, Project.CropMainImage, Project.FinalWidth, Project.FinalHeight,
                                   Project.StitchMode},
                   detailGrid);
    WriteBlockDetails(Blocks, detailGrid, Details);
  }
  for (const TileBlock& b : Blocks.Blocks())
    for (int y = b.Y; y < b.Y + b.Height; ++y)
      for (int x = b.X; x < b.X + b.Width; ++x)
        if (x != b.X || y != b.Y) {
          Map.At(x, y).Assigned = true;
          ++assigned_;
        }
}

void Engine::FinishBlocks() {
  if (Blocks.Empty()) return;
  GridBitmap = std::move(plainGrid_);
  plainGrid_ = Bitmap24();
  // The whole entry of the first cell: picture, tint and mirrors (and not
  // assigned, when a cancel left the block without a picture).
  for (const TileBlock& b : Blocks.Blocks()) {
    const CellMapEntry first = Map.At(b.X, b.Y);
    for (int y = b.Y; y < b.Y + b.Height; ++y)
      for (int x = b.X; x < b.X + b.Width; ++x) Map.At(x, y) = first;
  }
}

}  // namespace velmora
