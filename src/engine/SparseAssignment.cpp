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
  using Label = std::pair<int64_t, int>;
  std::priority_queue<Label, std::vector<Label>, std::greater<Label>> heap;

  for (int f = 0; f < rows; ++f) {
    if (stop && stop()) break;
    auto relax = [&](int row, int64_t base) {
      for (size_t e = costs.RowStart[size_t(row)]; e < costs.RowStart[size_t(row) + 1]; ++e) {
        const int k = costs.Col[e];
        if (k < 0 || k >= cols || scanned[size_t(k)]) continue;
        const int64_t d = base + costs.Cost[e] - v[size_t(k)];
        if (d < dist[size_t(k)]) {
          if (dist[size_t(k)] == kFar) touched.push_back(k);
          dist[size_t(k)] = d;
          pred[size_t(k)] = row;
          predCost[size_t(k)] = costs.Cost[e];
          heap.emplace(d, k);
        }
      }
    };
    relax(f, 0);
    int sink = -1;
    int64_t reach = 0;
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
        break;
      }
      // Through row i, which gives up column j (u(i) = c(i, j) - v(j)).
      relax(i, d - (matchedCost[size_t(i)] - v[size_t(j)]));
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
    for (int j : touched) {
      dist[size_t(j)] = kFar;
      scanned[size_t(j)] = 0;
    }
    touched.clear();
    done.clear();
    heap = {};
  }
  return rowCol;
}

}  // namespace velmora
