// "Place by the solver under the use cap": instead of choosing cell after
// cell in random order, each the best photo still allowed there, all free
// cells are given photos at once so that the total of their distances is
// least while no photo is shown more often than the repeat cap. That is a
// transportation problem (cells want one photo each, a photo has the cap's
// supply), solved exactly on a sparse graph: every cell is offered the
// photos nearest it, and more when those are taken.
//
// The grid is solved in strips (see kStripCells). The solver knows
// nothing of the repeat radius. Its placements are kept in
// reading order where the radius allows them; a cell whose photo already
// shows nearby is left to the main passes, which keep every rule.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "engine/Engine.h"
#include "imaging/Parallel.h"
#include "match/DetailLanes.h"
#include "match/NearestPhotos.h"
#include "match/SparseAssignment.h"

namespace velmora {
namespace {

// Photos offered to each cell at first (a large grid gets fewer, within
// kSparseEdgeBudget). Too few, and cells that want the same photos (a sky)
// search long and ask for more; too many, and every search step reads more
// edges. On 2,000 photos for 2,304 cells 512 took 0.5 s for the whole warm
// job, 256 0.7 s, 64 1.7 s and all 2,000 0.7 s.
constexpr int kPhotosPerCell = 512;
constexpr int kMinPhotosPerCell = 8;
// Cells whose distances are computed between two looks at the listener.
constexpr int kCellsPerStep = 256;
// The grid is solved in strips of equal rows of at most about kStripCells
// cells, top first, each of which may use a photo up to kStripShareSlack
// times its share of the cap (rows of the strip against rows of the grid).
// The search grows much faster than the cells. On 2,000 photos, 100 x 100
// cells took 14.7 s in one piece, 4.3 s in strips of 4,096 cells, 2.4 s in
// strips of 1,024 and 2.1 s in strips of 512, with mean errors at 4 x 4
// samples of 5.24, 5.24, 5.31 and 5.38; 48 x 48 cells took 0.62 s of CPU
// for the warm job in one piece and 0.45 s in two strips, at 5.28 and 5.30.
constexpr int kStripCells = 1152;
constexpr double kStripShareSlack = 1.5;

using Edges = SparseRow;  // (cost, photo)

}  // namespace

void Engine::PlaceUnderUseCap(int count) {
  const int cols = Project.CellsAcross;
  const int cells = Cells();
  if (count <= 0 || cells <= 0) return;
  const bool detail = DetailReady();
  const int enhance = Project.ColorEnhance;

  // Every photo's distance to a cell, as the main pass ranks candidates:
  // the detail distance, or the quadrant distance of the best mirror.
  DetailLanes library;
  if (detail) {
    library.Reset(count, DetailLanes::Side::kPictures);
    library.SetWeights(Details.Weights);
    for (int k = 0; k < count; ++k) library.Set(k, Details.Library[size_t(k)]);
  }
  std::vector<int> cellOfRow;  // the free cells of the strip, in reading order
  auto distances = [&](int row, std::vector<int32_t>& out) {
    const int c = cellOfRow[size_t(row)];
    out.resize(size_t(count));
    if (detail) {
      library.DistancesInto(Details.Cells[size_t(c)], enhance, out.data());
      return;
    }
    const ColorSignature cell = SampleCell(c % cols, c / cols);
    for (int k = 0; k < count; ++k)
      out[size_t(k)] =
          Compare(Library[k].Signature, cell, enhance, Project.AllowHFlip, Project.AllowVFlip).Distance;
  };
  struct Scratch {
    std::vector<int32_t> d;
    NearestScratch nearest;
  };
  std::vector<Scratch> scratch(static_cast<size_t>(std::max(1, threads_)));

  // The grid is solved a strip of rows at a time, top first, each strip
  // exactly: the search grows faster than the cells, and a strip may
  // take a photo at most its share of the cap, with room to spare, so the
  // strips below still find the photos that suit them.
  const int gridRows = Project.CellsDown;
  const int strips = std::max(1, (cells + kStripCells - 1) / kStripCells);
  const int stripRows = (gridRows + strips - 1) / strips;
  for (int top = 0; top < gridRows && !cancelled_; top += stripRows) {
    const int bottom = std::min(gridRows, top + stripRows);
    cellOfRow.clear();
    for (int c = top * cols; c < bottom * cols; ++c)
      if (!Map.At(c % cols, c / cols).Assigned) cellOfRow.push_back(c);
    const int rows = static_cast<int>(cellOfRow.size());
    if (rows == 0) continue;
    const int64_t share =
        bottom - top == gridRows
            ? rows
            : int64_t(std::ceil(kStripShareSlack * Project.MaxRepeatTimes * (bottom - top) / gridRows));
    SparseCosts costs;
    costs.Columns = count;
    costs.GreedyStart = true;
    costs.Capacity.resize(size_t(count));
    for (int k = 0; k < count; ++k)
      costs.Capacity[size_t(k)] = static_cast<int>(std::clamp<int64_t>(
          std::min(int64_t(Project.MaxRepeatTimes) - Library[k].UseCount, share), 0, rows));
    const int perCell = static_cast<int>(std::min<int64_t>(
        {int64_t(count), int64_t(kPhotosPerCell), std::max<int64_t>(kMinPhotosPerCell, kSparseEdgeBudget / rows)}));
    // The photos of `row` from the `from`th nearest to the `to`th (the
    // earlier photo on a tie), those without capacity left out, nearest
    // first.
    std::vector<int> open;
    for (int k = 0; k < count; ++k)
      if (costs.Capacity[size_t(k)] > 0) open.push_back(k);
    auto nearest = [&](int row, int from, int to, Edges& out, Scratch& s) {
      distances(row, s.d);
      NearestInOrder(s.d.data(), open.data(), static_cast<int>(open.size()), to, out, s.nearest);
      out.erase(out.begin(), out.begin() + std::min<ptrdiff_t>(from, ptrdiff_t(out.size())));
    };

    std::vector<Edges> lists(static_cast<size_t>(rows));
    for (int first = 0; first < rows; first += kCellsPerStep) {
      Listener().ProcessEvents();
      if (CancelPolled()) return;
      ParallelFor(threads_, std::min(kCellsPerStep, rows - first), [&](int worker, int i) {
        nearest(first + i, 0, perCell, lists[size_t(first + i)], scratch[size_t(worker)]);
      });
    }
    for (const Edges& list : lists) costs.AddRow(list);
    lists = {};
    // A cell whose photos are all taken is offered twice as many, and so on.
    std::vector<int> offered(static_cast<size_t>(rows), perCell);
    costs.Widen = [&](int row, Edges& more) {
      const int from = offered[size_t(row)];
      if (from >= count) return;
      offered[size_t(row)] = static_cast<int>(std::min<int64_t>(count, int64_t(from) * 2));
      nearest(row, from, offered[size_t(row)], more, scratch[0]);
    };

    int solved = 0;
    const std::vector<int> photoOf = SolveSparseAssignment(costs, [&] {
      if ((++solved & 63) != 0) return false;
      Listener().ProcessEvents();
      return CancelPolled();
    });
    if (cancelled_) return;
    for (int row = 0; row < rows; ++row) {
      const int k = photoOf[size_t(row)];
      const int c = cellOfRow[size_t(row)];
      if (k >= 0 && RepeatCapAllows(k) && RepeatRadiusFree(c % cols, c / cols, k)) FillCell(c % cols, c / cols, k);
    }
  }
}

}  // namespace velmora
