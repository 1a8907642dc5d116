// "Ensure Use All Photos" with "Place every photo well": instead of placing
// the photos one by one in list order, each in the best cell still free,
// all of them are placed at once so that the mosaic as a whole looks the
// most like the main picture.
//
// There are more cells than photos; the cells no photo gets here are filled
// by the main passes afterwards, which give a cell one of the photos that
// suit it best. So putting photo k in cell c costs not its distance there
// but what it loses against the best photo for c: distance(k, c) less the
// least distance any photo has to c. With those costs the least total
// places every photo where it does the least harm and leaves to the main
// passes the cells the library serves well anyway.
//
// Each photo is offered the cells where it loses least and a few cells
// spread over the grid: those keep photos much alike (or copies of one
// file) from crowding each other out of a common few cells, so the solver
// seldom has to look far. A photo it still cannot seat is offered more
// cells, and as a last resort placed as the one-by-one pass would place it.
// Every photo is placed once here, so no two of these placements can break
// the repeat radius; the repeat cap is tested as the one-by-one pass tests it.
#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "match/DetailLanes.h"
#include "engine/Engine.h"
#include "imaging/Parallel.h"
#include "match/SparseAssignment.h"

namespace velmora {
namespace {

// Nearest cells offered to each photo (a large library gets fewer, within
// kSparseEdgeBudget).
constexpr int kCellsPerPhoto = 96;
constexpr int kMinCellsPerPhoto = 16;
// Cells spread evenly over the grid, offered to every photo besides.
constexpr int kSpreadCells = 8;
// Photos whose distances are computed between two looks at the listener.
constexpr int kRowsPerStep = 64;
// A cell's index is below this in a selection key (loss * kKeyCells + cell).
constexpr int64_t kKeyCells = int64_t(1) << 32;

using Edges = SparseRow;  // (cost, cell)

}  // namespace

void Engine::PlaceEveryPhotoWell(int count) {
  const int cols = Project.CellsAcross;
  const int cells = Cells();
  if (count <= 0 || cells <= 0) return;
  const bool detail = DetailReady();
  const int enhance = Project.ColorEnhance;
  const int perPhoto = static_cast<int>(std::min<int64_t>(
      {int64_t(cells), int64_t(kCellsPerPhoto), std::max<int64_t>(kMinCellsPerPhoto, kSparseEdgeBudget / count)}));

  std::vector<int> photoOf;  // the library index of each solver row
  for (int k = 0; k < count; ++k)
    if (RepeatCapAllows(k)) photoOf.push_back(k);
  const int rows = static_cast<int>(photoOf.size());
  if (rows == 0) return;

  // Without detail matching a photo is weighed by its mean colour as the
  // mosaic shows it (the one thing seen from a distance, and what forcing
  // every photo in costs most), ranked by the estimate and weighed exactly;
  // with detail matching by its detail distance, as Choose picture ranks
  // candidates.
  std::vector<ShownMeanLook> looks;
  DetailLanes cellDetails;
  if (detail) {
    cellDetails.Reset(cells, DetailLanes::Side::kCells);
    cellDetails.SetWeights(Details.Weights);
    for (int c = 0; c < cells; ++c) cellDetails.Set(c, Details.Cells[size_t(c)]);
  } else {
    looks.reserve(size_t(cells));
    for (int c = 0; c < cells; ++c)
      looks.emplace_back(SampleCell(c % cols, c / cols), enhance, Project.AlphaMain);
  }
  // Every entry is written below: no need to clear 4 bytes a photo-cell pair.
  std::unique_ptr<int32_t[]> rank(new int32_t[size_t(rows) * size_t(cells)]);
  // The rows to compute; a copy of a photo earlier in the list takes that
  // photo's row.
  std::vector<int> sameAs(static_cast<size_t>(rows));
  if (detail) {
    std::vector<const DetailSummary*> summaries;
    summaries.reserve(size_t(rows));
    for (int k : photoOf) summaries.push_back(&Details.Library[size_t(k)]);
    sameAs = FirstOfSame(summaries);
  } else {
    for (int r = 0; r < rows; ++r) sameAs[size_t(r)] = r;
  }
  std::vector<int> computed;
  for (int r = 0; r < rows; ++r)
    if (sameAs[size_t(r)] == r) computed.push_back(r);
  const int unique = static_cast<int>(computed.size());
  for (int first = 0; first < unique; first += kRowsPerStep) {
    Listener().ProcessEvents();
    if (CancelPolled()) return;
    ParallelFor(threads_, std::min(kRowsPerStep, unique - first), [&](int, int i) {
      const int r = computed[size_t(first + i)];
      const int k = photoOf[size_t(r)];
      int32_t* out = &rank[size_t(r) * size_t(cells)];
      if (detail) {
        cellDetails.DistancesInto(Details.Library[size_t(k)], enhance, out);
      } else {
        const SigColor& p = Library[k].Signature.Mean();
        for (int c = 0; c < cells; ++c) out[c] = looks[size_t(c)].Estimate(p);
      }
    });
  }
  for (int r = 0; r < rows; ++r)
    if (const int from = sameAs[size_t(r)]; from != r)
      std::copy_n(&rank[size_t(from) * size_t(cells)], cells, &rank[size_t(r) * size_t(cells)]);
  // The best photo of every cell by rank (the earliest on a tie).
  std::vector<int32_t> rankBest(size_t(cells), INT32_MAX);
  std::vector<int> bestRow(size_t(cells), 0);
  for (int r = 0; r < rows; ++r) {
    const int32_t* row = &rank[size_t(r) * size_t(cells)];
    for (int c = 0; c < cells; ++c)
      if (row[c] < rankBest[size_t(c)]) {
        rankBest[size_t(c)] = row[c];
        bestRow[size_t(c)] = r;
      }
  }
  auto weigh = [&](int r, int c) {
    return detail ? rank[size_t(r) * size_t(cells) + size_t(c)]
                  : looks[size_t(c)].Distance(Library[photoOf[size_t(r)]].Signature.Mean());
  };
  // The cells of row r in the order of what it loses there, the first
  // `offer` of them; ties go to the earlier cell, so a seed-free result is
  // the same every run. Each (loss, cell) is one 64-bit key of the same
  // order, so the selection moves and compares single numbers, in `keys`
  // (scratch of the caller's thread) rather than in the list kept.
  auto nearestCells = [&](int r, int offer, Edges& out, std::vector<int64_t>& keys) {
    const int32_t* row = &rank[size_t(r) * size_t(cells)];
    keys.resize(static_cast<size_t>(cells));
    for (int c = 0; c < cells; ++c) keys[size_t(c)] = int64_t(row[c] - rankBest[size_t(c)]) * kKeyCells + c;
    const auto end = keys.begin() + std::min(offer, cells);
    if (offer < cells) std::nth_element(keys.begin(), end - 1, keys.end());
    std::sort(keys.begin(), end);
    out.clear();
    out.reserve(size_t(end - keys.begin()));
    for (auto k = keys.begin(); k != end; ++k)
      out.emplace_back(static_cast<int32_t>(*k >> 32), static_cast<int>(*k & (kKeyCells - 1)));
  };

  std::vector<Edges> lists(static_cast<size_t>(rows));
  std::vector<std::vector<int64_t>> scratch(static_cast<size_t>(std::max(1, threads_)));
  ParallelFor(threads_, rows, [&](int worker, int r) {
    Edges& list = lists[size_t(r)];
    nearestCells(r, perPhoto, list, scratch[size_t(worker)]);
    if (perPhoto < cells) {
      list.reserve(list.size() + kSpreadCells);
      for (int j = 0; j < kSpreadCells; ++j) {
        const int c = static_cast<int>((int64_t(r) * 7919 + int64_t(j) * cells / kSpreadCells) % cells);
        bool listed = false;
        for (const auto& e : list) listed = listed || e.second == c;
        if (!listed) list.emplace_back(0, c);
      }
    }
    for (auto& e : list) e.first = weigh(r, e.second);
  });
  // What each cell's best photo costs there, by weight: the least of the
  // photos offered it and of the best by rank.
  std::vector<int32_t> base(static_cast<size_t>(cells));
  for (int c = 0; c < cells; ++c) base[size_t(c)] = weigh(bestRow[size_t(c)], c);
  for (const Edges& list : lists)
    for (const auto& [w, c] : list) base[size_t(c)] = std::min(base[size_t(c)], w);

  SparseCosts costs;
  costs.Columns = cells;
  for (Edges& list : lists) {
    for (auto& e : list) e.first -= base[size_t(e.second)];
    costs.AddRow(list);
  }
  lists = {};
  // A photo that cannot be seated among its cells is offered twice as
  // many, and so on.
  std::vector<int> offered(static_cast<size_t>(rows), perPhoto);
  costs.Widen = [&](int r, Edges& more) {
    const int from = offered[size_t(r)];
    if (from >= cells) return;
    offered[size_t(r)] = static_cast<int>(std::min<int64_t>(cells, int64_t(from) * 2));
    nearestCells(r, offered[size_t(r)], more, scratch[0]);
    more.erase(more.begin(), more.begin() + from);
    for (auto& e : more) e.first = weigh(r, e.second) - base[size_t(e.second)];
  };

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
    if (placed[size_t(k)] || !RepeatCapAllows(k)) continue;
    const CellPos at = PlacePicture(k);
    if (at.X >= 0) FillCell(at.X, at.Y, k);
  }
}

}  // namespace velmora
