// Minimum-cost assignment of rows to columns on a sparse cost graph (each row
// lists the few columns it may take), by shortest augmenting paths with
// column potentials: every row in turn is given the column that keeps the
// total of all rows placed so far the least possible, moving earlier rows
// along when that is cheaper. Used to place every library photo in the cell
// that suits it best overall, where a one-by-one pass lets the early photos
// take the cells the later ones needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace velmora {

// One row's offers: (cost, column) pairs.
using SparseRow = std::vector<std::pair<int32_t, int>>;

// The most edges a caller offers the solver in all: about 8 bytes each, so
// 64 MiB; a large problem offers fewer per row.
inline constexpr int64_t kSparseEdgeBudget = int64_t(1) << 23;

// Row r's columns and costs are Col[RowStart[r] .. RowStart[r + 1]) and the
// same positions of Cost. A row lists a column at most once.
struct SparseCosts {
  int Columns = 0;
  std::vector<size_t> RowStart{0};
  std::vector<int> Col;
  std::vector<int32_t> Cost;

  int Rows() const { return static_cast<int>(RowStart.size()) - 1; }
  void AddRow(const SparseRow& costAndColumn);

  // When given, asked for more columns of a row that cannot be placed on
  // those it lists (columns it already lists are ignored); the row is then
  // tried again, until it is placed or nothing more comes. Lets rows list
  // only their few cheapest columns without leaving rows out where many
  // of them want the same few.
  std::function<void(int row, SparseRow& more)> Widen;

  // How many rows each column may take; empty, one each. With more than one
  // this is the transportation problem of placing cells (rows) on photos
  // (columns) that may each be shown a few times.
  std::vector<int> Capacity;

  // Every row whose cheapest column still has room takes it before the
  // search starts (in row order), which is optimal for those rows as it
  // stands and leaves the search only the rows that compete. The least
  // total is the same; among equal totals another assignment may come out.
  bool GreedyStart = false;
};

// The column of every row, or -1 for a row whose listed columns could not
// be freed for it (a column takes at most its capacity of rows). The result
// depends only on the costs (ties go the same way every time). `stop`, when
// given, is asked between rows; once it says yes the rows not yet placed
// stay -1.
std::vector<int> SolveSparseAssignment(const SparseCosts& costs, const std::function<bool()>& stop = {});

}  // namespace velmora
