// The few photos nearest a cell out of a whole row of distances, in order:
// what the solver is offered for every cell of the grid, so it runs once per
// cell and must not cost more than the distances themselves.
#pragma once

#include <cstdint>
#include <vector>

#include "match/SparseAssignment.h"

namespace velmora {

// Working memory kept between calls (one per thread).
struct NearestScratch {
  std::vector<uint32_t> counts;
  std::vector<uint64_t> keys;
  std::vector<uint64_t> spare;
  std::vector<uint64_t> edge;
};

// Of the photos `candidates[0 .. m)` (ascending photo indices) with distances
// `distance[photo]`, the `count` nearest as (distance, photo) pairs, nearest
// first and the earlier photo first on a tie: the same as sorting all
// candidates that way and keeping the first `count`, in time linear in m.
void NearestInOrder(const int32_t* distance, const int* candidates, int m, int count, SparseRow& out,
                    NearestScratch& scratch);

}  // namespace velmora
