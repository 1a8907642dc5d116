#include "engine/SparseAssignment.h"

#include <limits>
#include <queue>
#include <utility>

namespace velmora {

void SparseCosts::AddRow(const std::vector<std::pair<int32_t, int>>& costAndColumn) {
  for (const auto& [cost, col] : costAndColumn) {
    Col.push_back(col);
    Cost.push_back(cost);
  }
  RowStart.push_back(Col.size());
}

namespace {

// Asks for more columns of row f and keeps those it does not list yet in
// extra[f]; false when there are none.
bool Widened(const SparseCosts& costs, int f, int cols, std::vector<std::pair<int32_t, int>>& more,
             std::vector<char>& listed, std::vector<std::vector<std::pair<int32_t, int>>>& extra) {
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

std::vector<int> SolveSparseAssignment(const SparseCosts& costs, const std::function<bool()>& stop) {
  const int rows = costs.Rows();
  const int cols = costs.Columns;
  constexpr int64_t kFar = std::numeric_limits<int64_t>::max();
  std::vector<int> rowCol(static_cast<size_t>(rows), -1);
  std::vector<int> colRow(static_cast<size_t>(cols), -1);
  // Reduced costs c(i, j) - u(i) - v(j) stay non-negative on every edge and
  // zero on the matched ones; u(i) is kept as the matched edge's c - v.
  std::vector<int64_t> v(static_cast<size_t>(cols), 0);
  std::vector<int64_t> matchedCost(static_cast<size_t>(rows), 0);
  std::vector<int64_t> dist(static_cast<size_t>(cols), kFar);
  std::vector<int> pred(static_cast<size_t>(cols), -1);
  std::vector<int32_t> predCost(static_cast<size_t>(cols), 0);
  std::vector<char> scanned(static_cast<size_t>(cols), 0);
  std::vector<int> touched;
  std::vector<int> done;
  // The columns Widen added, per row.
  std::vector<std::vector<std::pair<int32_t, int>>> extra(static_cast<size_t>(rows));
  std::vector<std::pair<int32_t, int>> more;
  std::vector<char> listed(static_cast<size_t>(cols), 0);
  using Label = std::pair<int64_t, int>;
  std::priority_queue<Label, std::vector<Label>, std::greater<Label>> heap;

  for (int f = 0; f < rows; ++f) {
    if (stop && stop()) break;
    // The hot loop: plain pointers, so that nothing is reloaded per edge. A
    // column already scanned needs no test of its own: its label is at most
    // that of the column being scanned, and reduced costs are not negative,
    // so no edge lowers it.
    auto relaxEdges = [&](int row, int64_t base, const int* col, const int32_t* cost, size_t n) {
      int64_t* distOf = dist.data();
      const int64_t* potential = v.data();
      for (size_t e = 0; e < n; ++e) {
        const int k = col[e];
        if (static_cast<unsigned>(k) >= static_cast<unsigned>(cols)) continue;
        const int64_t d = base + cost[e] - potential[k];
        if (d >= distOf[k]) continue;
        if (distOf[k] == kFar) touched.push_back(k);
        distOf[k] = d;
        pred[size_t(k)] = row;
        predCost[size_t(k)] = cost[e];
        heap.emplace(d, k);
      }
    };
    auto relax = [&](int row, int64_t base) {
      const size_t first = costs.RowStart[size_t(row)];
      relaxEdges(row, base, costs.Col.data() + first, costs.Cost.data() + first,
                 costs.RowStart[size_t(row) + 1] - first);
      for (const auto& [cost, k] : extra[size_t(row)]) relaxEdges(row, base, &k, &cost, 1);
    };
    int sink = -1;
    int64_t reach = 0;
    auto search = [&] {
      while (!heap.empty()) {
        const auto [d, j] = heap.top();
        heap.pop();
        if (scanned[size_t(j)] || d != dist[size_t(j)]) continue;
        scanned[size_t(j)] = 1;
        done.push_back(j);
        const int i = colRow[size_t(j)];
        if (i < 0) {
          sink = j;
          reach = d;
          return;
        }
        // Through row i, which gives up column j (u(i) = c(i, j) - v(j)).
        relax(i, d - (matchedCost[size_t(i)] - v[size_t(j)]));
      }
    };
    auto forget = [&] {
      for (int j : touched) {
        dist[size_t(j)] = kFar;
        scanned[size_t(j)] = 0;
      }
      touched.clear();
      done.clear();
      heap = {};
    };
    for (;;) {
      relax(f, 0);
      search();
      if (sink >= 0 || !costs.Widen || !Widened(costs, f, cols, more, listed, extra)) break;
      // Row f reaches no free column: it starts again with more columns.
      // Its own labels are only where its searches start, so the potentials
      // stay valid for the columns it gains.
      forget();
    }
    if (sink >= 0) {
      for (int j : done) v[size_t(j)] += dist[size_t(j)] - reach;
      for (int j = sink;;) {
        const int i = pred[size_t(j)];
        const int previous = rowCol[size_t(i)];
        rowCol[size_t(i)] = j;
        colRow[size_t(j)] = i;
        matchedCost[size_t(i)] = predCost[size_t(j)];
        if (i == f) break;
        j = previous;
      }
    }
    forget();
  }
  return rowCol;
}

}  // namespace velmora
