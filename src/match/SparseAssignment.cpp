#include "match/SparseAssignment.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <utility>

namespace velmora {

void SparseCosts::AddRow(const SparseRow& costAndColumn) {
  for (const auto& [cost, col] : costAndColumn) {
    Col.push_back(col);
    Cost.push_back(cost);
  }
  RowStart.push_back(Col.size());
}

namespace {

// Asks for more columns of row f and keeps those it does not list yet in
// extra[f]; false when there are none.
bool Widened(const SparseCosts& costs, int f, int cols, SparseRow& more,
             std::vector<char>& listed, std::vector<SparseRow>& extra) {
  more.clear();
  costs.Widen(f, more);
  auto mark = [&](char on) {
    for (size_t e = costs.RowStart[size_t(f)]; e < costs.RowStart[size_t(f) + 1]; ++e)
      if (costs.Col[e] >= 0 && costs.Col[e] < cols) listed[size_t(costs.Col[e])] = on;
    for (const auto& [cost, k] : extra[size_t(f)]) listed[size_t(k)] = on;
  };
  mark(1);
  bool added = false;
  for (const auto& [cost, k] : more)
    if (k >= 0 && k < cols && !listed[size_t(k)]) {
      listed[size_t(k)] = 1;
      extra[size_t(f)].emplace_back(cost, k);
      added = true;
    }
  mark(0);
  return added;
}

}  // namespace

namespace {

// colRow's mark of a column that can take one more row.
constexpr int kRoom = -1;

struct Edge {
  int32_t col;
  int32_t cost;
};

// Cheapest first, the earlier column on a tie (a lambda, so that the sorts
// inline it).
constexpr auto Cheaper = [](const Edge& a, const Edge& b) {
  return a.cost != b.cost ? a.cost < b.cost : a.col < b.col;
};

// One shortest-path search at a time: the labels of the columns reached,
// and how they were reached.
//
// A column's label is kept with its potential added back (the dearest way
// into it before reduction: base + cost), so that the test whether an edge
// lowers it needs nothing else from the column; almost no edge does, and
// that test is the solver's hot loop.
class Search {
public:
  // Beyond every label and sum the solver makes, with room to add a cost.
  static constexpr int64_t kFar = std::numeric_limits<int64_t>::max() / 4;

  Search(int cols, const std::vector<int>& colRow, const std::vector<int64_t>& v)
      : colRow_(colRow),
        v_(v),
        raw_(size_t(cols), kFar),
        pred_(size_t(cols), -1),
        predCost_(size_t(cols), 0) {}

  // The edges of `row`, cheapest first, reached at `base` (its matched
  // column's label less what the row pays there): lowers the labels of the
  // columns they reach. A column with room left reached is a way out; a
  // column at or beyond the best way out so far cannot matter and is left
  // alone.
  void Relax(int row, int64_t base, const Edge* e, const Edge* end) {
    const int64_t* raw = raw_.data();
    for (; e != end; ++e) {
      const int64_t t = base + e->cost;
      // Potentials are never above 0, so no label of this edge or of the
      // dearer ones after it is below t.
      if (t > exit_) break;
      if (t < raw[e->col]) Lower(row, *e, t);
    }
  }

  // The next column to scan (the least label, the earlier column on a tie),
  // or -1 once none is below the best way out.
  int Next() {
    while (!heap_.empty()) {
      const auto [d, j] = heap_.front();
      if (d >= exit_) break;
      std::pop_heap(heap_.begin(), heap_.end(), std::greater<>());
      heap_.pop_back();
      if (d != Label(j)) continue;  // a label since lowered
      scanned_.push_back(j);
      return j;
    }
    return -1;
  }

  int64_t Label(int j) const { return raw_[size_t(j)] - v_[size_t(j)]; }
  int Pred(int j) const { return pred_[size_t(j)]; }
  int32_t PredCost(int j) const { return predCost_[size_t(j)]; }
  int ExitColumn() const { return exitCol_; }
  int64_t ExitLabel() const { return exit_; }
  const std::vector<int>& Scanned() const { return scanned_; }

  // Forgets the labels (before the potentials change).
  void Clear() {
    for (int j : touched_) raw_[size_t(j)] = kFar;
    touched_.clear();
    scanned_.clear();
    heap_.clear();
    exit_ = kFar;
    exitCol_ = -1;
  }

private:
  // Edge e gives column e.col the label t - v: kept, and a way out or a
  // column to scan when below the best way out (ties go to a way out, and
  // among ways out to the earlier column).
  __attribute__((noinline)) void Lower(int row, const Edge& e, int64_t t) {
    const int k = e.col;
    if (raw_[size_t(k)] == kFar) touched_.push_back(k);
    raw_[size_t(k)] = t;
    pred_[size_t(k)] = row;
    predCost_[size_t(k)] = e.cost;
    const int64_t d = t - v_[size_t(k)];
    if (colRow_[size_t(k)] == kRoom) {
      if (d < exit_ || (d == exit_ && k < exitCol_)) {
        exit_ = d;
        exitCol_ = k;
      }
    } else if (d < exit_) {
      heap_.push_back({d, k});
      std::push_heap(heap_.begin(), heap_.end(), std::greater<>());
    }
  }

  const std::vector<int>& colRow_;  // kRoom while a column has room left
  const std::vector<int64_t>& v_;
  std::vector<int64_t> raw_;  // label + potential; kFar when not reached
  std::vector<int> pred_;
  std::vector<int32_t> predCost_;
  std::vector<int> touched_;
  std::vector<int> scanned_;
  std::vector<std::pair<int64_t, int>> heap_;
  int64_t exit_ = kFar;
  int exitCol_ = -1;
};

}  // namespace

std::vector<int> SolveSparseAssignment(const SparseCosts& costs, const std::function<bool()>& stop) {
  const int rows = costs.Rows();
  const int cols = costs.Columns;
  std::vector<int> rowCol(static_cast<size_t>(rows), -1);
  // The rows a column holds are slots[slotStart[j] .. + held[j]); colRow[j]
  // is kRoom while it can take more, else its first row (a column without
  // capacity never has room).
  std::vector<size_t> slotStart(static_cast<size_t>(cols) + 1, 0);
  for (int j = 0; j < cols; ++j) {
    const int cap = costs.Capacity.empty() ? 1 : std::clamp(costs.Capacity[size_t(j)], 0, rows);
    slotStart[size_t(j) + 1] = slotStart[size_t(j)] + size_t(cap);
  }
  std::vector<int> slots(slotStart.back(), -1);
  std::vector<int> held(static_cast<size_t>(cols), 0);
  std::vector<int> colRow(static_cast<size_t>(cols), kRoom);
  for (int j = 0; j < cols; ++j)
    if (slotStart[size_t(j) + 1] == slotStart[size_t(j)]) colRow[size_t(j)] = rows;
  auto take = [&](int j, int i) {
    slots[slotStart[size_t(j)] + size_t(held[size_t(j)]++)] = i;
    if (slotStart[size_t(j)] + size_t(held[size_t(j)]) == slotStart[size_t(j) + 1])
      colRow[size_t(j)] = slots[slotStart[size_t(j)]];
  };
  // Row i leaves column j, whose place it gets back at once on the path.
  auto leave = [&](int j, int i) {
    int* first = &slots[slotStart[size_t(j)]];
    int* last = first + --held[size_t(j)];
    *std::find(first, last + 1, i) = *last;
  };
  // Reduced costs c(i, j) - u(i) - v(j) stay non-negative on every edge and
  // zero on the matched ones; u(i) is kept as the matched edge's c - v. The
  // potentials only fall, and only on full columns (a column never loses a
  // row it does not get back in the same step), so a column with room has
  // potential 0 and the least total over the rows placed so far holds. A
  // full column's rows all have reduced cost 0 on it, so they are reached
  // together when it is scanned.
  std::vector<int64_t> v(static_cast<size_t>(cols), 0);
  std::vector<int64_t> matchedCost(static_cast<size_t>(rows), 0);
  // The listed edges, columns outside the grid left out.
  std::vector<size_t> start(static_cast<size_t>(rows) + 1, 0);
  std::vector<Edge> edges;
  edges.reserve(costs.Col.size());
  for (int r = 0; r < rows; ++r) {
    for (size_t e = costs.RowStart[size_t(r)]; e < costs.RowStart[size_t(r) + 1]; ++e)
      if (costs.Col[e] >= 0 && costs.Col[e] < cols) edges.push_back({costs.Col[e], costs.Cost[e]});
    start[size_t(r) + 1] = edges.size();
    const auto first = edges.begin() + std::ptrdiff_t(start[size_t(r)]);
    if (!std::is_sorted(first, edges.end(), Cheaper)) std::sort(first, edges.end(), Cheaper);
  }
  // The columns Widen added, per row.
  std::vector<SparseRow> extra(static_cast<size_t>(rows));
  std::vector<std::vector<Edge>> extraEdges(static_cast<size_t>(rows));
  SparseRow more;
  std::vector<char> listed(static_cast<size_t>(cols), 0);
  Search search(cols, colRow, v);
  auto relax = [&](int row, int64_t base) {
    search.Relax(row, base, edges.data() + start[size_t(row)], edges.data() + start[size_t(row) + 1]);
    const std::vector<Edge>& added = extraEdges[size_t(row)];
    search.Relax(row, base, added.data(), added.data() + added.size());
  };

  // With u(i) the cheapest cost of row i and every v 0, all reduced costs
  // are non-negative and those of the rows placed here zero.
  // Any of the columns tied at that cost will do (copies of one photo).
  if (costs.GreedyStart)
    for (int r = 0; r < rows; ++r)
      for (size_t e = start[size_t(r)]; e < start[size_t(r) + 1]; ++e) {
        const Edge& edge = edges[e];
        if (edge.cost != edges[start[size_t(r)]].cost) break;
        if (colRow[size_t(edge.col)] != kRoom) continue;
        rowCol[size_t(r)] = edge.col;
        take(edge.col, r);
        matchedCost[size_t(r)] = edge.cost;
        break;
      }

  for (int f = 0; f < rows; ++f) {
    if (rowCol[size_t(f)] >= 0) continue;
    if (stop && stop()) break;
    for (;;) {
      relax(f, 0);
      // Through row i, which gives up column j (u(i) = c(i, j) - v(j)).
      for (int j = search.Next(); j >= 0; j = search.Next())
        for (size_t s = slotStart[size_t(j)]; s < slotStart[size_t(j)] + size_t(held[size_t(j)]); ++s) {
          const int i = slots[s];
          relax(i, search.Label(j) - (matchedCost[size_t(i)] - v[size_t(j)]));
        }
      if (search.ExitColumn() >= 0 || !costs.Widen || !Widened(costs, f, cols, more, listed, extra)) break;
      // Row f reaches no free column: it starts again with more columns.
      // Its own labels are only where its searches start, so the potentials
      // stay valid for the columns it gains.
      extraEdges[size_t(f)].clear();
      for (const auto& [cost, k] : extra[size_t(f)]) extraEdges[size_t(f)].push_back({k, cost});
      std::sort(extraEdges[size_t(f)].begin(), extraEdges[size_t(f)].end(), Cheaper);
      search.Clear();
    }
    if (const int sink = search.ExitColumn(); sink >= 0) {
      const int64_t reach = search.ExitLabel();
      for (int j : search.Scanned()) v[size_t(j)] += search.Label(j) - reach;
      for (int j = sink;;) {
        const int i = search.Pred(j);
        const int previous = rowCol[size_t(i)];
        rowCol[size_t(i)] = j;
        take(j, i);
        matchedCost[size_t(i)] = search.PredCost(j);
        if (i == f) break;
        leave(previous, i);
        j = previous;
      }
    }
    search.Clear();
  }
  return rowCol;
}

}  // namespace velmora
