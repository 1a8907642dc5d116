// "Ensure Use All Photos" with "Place every photo well": instead of placing
// the photos one by one in list order, each in the best cell still free,
// all of them are placed at once so that the sum of their distances is the
// least possible. Each photo is offered only its nearest few hundred cells;
// a photo the solver cannot seat there is placed as the one-by-one pass
// would place it. The rest of the cells are then filled by the main passes
// as always.
//
// Every photo is placed once here, so no two of these placements can break
// the repeat radius; the repeat cap is tested as the one-by-one pass tests it.
#include <algorithm>
#include <utility>
#include <vector>

#include "engine/Engine.h"
#include "engine/SparseAssignment.h"

namespace velmora {
namespace {

// Cells offered to each photo, and the most edges the graph may have in all
// (about 8 bytes each): a large library gets fewer cells per photo.
constexpr int kMaxCellsPerPhoto = 256;
constexpr int kMinCellsPerPhoto = 16;
constexpr int64_t kEdgeBudget = int64_t(1) << 23;

}  // namespace

void Engine::PlaceEveryPhotoWell(int count) {
  const int cols = Project.CellsAcross;
  const int cells = Cells();
  if (count <= 0 || cells <= 0) return;
  const bool detail = DetailReady();
  const int enhance = Project.ColorEnhance;
  const int perPhoto =
      static_cast<int>(std::min<int64_t>({int64_t(cells), int64_t(kMaxCellsPerPhoto),
                                          std::max<int64_t>(kMinCellsPerPhoto, kEdgeBudget / count)}));

  std::vector<ColorSignature> cellSigs;
  if (!detail) {
    cellSigs.resize(static_cast<size_t>(cells));
    for (int c = 0; c < cells; ++c) cellSigs[size_t(c)] = SampleCell(c % cols, c / cols);
  }

  // Without detail matching a photo is weighed by how its mean colour,
  // tinted, looks beside the cell's (in CIELAB): forcing every photo in
  // costs likeness mostly in colour from a distance, and the quadrant sums
  // in RGB steer the solver there poorly. With detail matching, its distance
  // (tint included, no mirroring), as Choose picture ranks candidates.
  SparseCosts costs;
  costs.Columns = cells;
  std::vector<int> photoOf;  // the library index of each solver row
  std::vector<std::pair<int32_t, int>> row(static_cast<size_t>(cells));
  for (int k = 0; k < count; ++k) {
    if ((k & 31) == 0) {
      Listener().ProcessEvents();
      if (CancelPolled()) return;
    }
    if (!RepeatCapAllows(k)) continue;
    const ColorSignature& p = Library[k].Signature;
    for (int c = 0; c < cells; ++c) {
      const int d =
          detail ? DetailDistance(Details.Library[size_t(k)], Details.Cell(c % cols, c / cols), enhance, 0)
                 : ShownMeanDistance(p, cellSigs[size_t(c)], enhance);
      row[size_t(c)] = {d, c};
    }
    // Ties go to the earlier cell, so a seed-free result is the same every run.
    std::nth_element(row.begin(), row.begin() + (perPhoto - 1), row.end());
    std::vector<std::pair<int32_t, int>> nearest(row.begin(), row.begin() + perPhoto);
    std::sort(nearest.begin(), nearest.end());
    costs.AddRow(nearest);
    photoOf.push_back(k);
  }

  int solved = 0;
  const std::vector<int> cellOf = SolveSparseAssignment(costs, [&] {
    if ((++solved & 63) != 0) return false;
    Listener().ProcessEvents();
    return CancelPolled();
  });
  if (cancelled_) return;
  std::vector<char> placed(static_cast<size_t>(count), 0);
  for (size_t r = 0; r < photoOf.size(); ++r) {
    const int c = cellOf[r];
    if (c < 0) continue;
    FillCell(c % cols, c / cols, photoOf[r]);
    placed[size_t(photoOf[r])] = 1;
  }
  for (int k = 0; k < count && !cancelled_; ++k) {
    if (placed[size_t(k)]) continue;
    const CellPos at = PlacePicture(k);
    if (at.X >= 0) FillCell(at.X, at.Y, k);
  }
}

}  // namespace velmora
