// Detail summaries laid out sample channel by sample channel, so that the
// detail distance of one summary to all of them is computed many at a time:
// Choose picture asks it of a cell against every library picture, Place
// picture and the every-photo solver of a picture against every grid cell.
// Every kernel computes DetailDistance's very float operations in its order,
// so the numbers are bit for bit those of DetailDistance without a bound.
#pragma once

#include <cstdint>
#include <vector>

#include "match/DetailMatch.h"
#include "match/SignatureLanes.h"

namespace velmora {

class DetailLanes {
public:
  // What the entries are: pictures (the query is the cell and the entries'
  // means are tinted toward it) or cells (the query is the picture).
  enum class Side { kPictures, kCells };

  // `count` entries on `side`, all zero.
  void Reset(int count, Side side);
  int Count() const { return count_; }
  // Reset has been called.
  bool Ready() const { return ready_; }
  void Set(int i, const DetailSummary& s);
  // The weights of the cell's samples (DetailWeights), even until set.
  void SetWeights(const DetailWeights& weights) { weights_ = weights; }

  // For every entry: DetailDistance(entry, query, enhance, 0) for pictures,
  // DetailDistance(query, entry, enhance, 0) for cells, into out[0 ..
  // Count()). Without a bound, and since DetailDistance with a bound is the
  // lesser of the bound and that, a caller comparing against a bound gets
  // the same answers. Safe to call from several threads at once.
  void DistancesInto(const DetailSummary& query, int enhance, int32_t* out,
                     LaneKernel kernel = LaneKernel::kBest) const;
  // The same into a buffer kept here, valid until the next call.
  const int32_t* Distances(const DetailSummary& query, int enhance, LaneKernel kernel = LaneKernel::kBest);

  // The distances of several queries computed ahead on `threads` threads and
  // kept under their ids (0 .. ids), when all of them fit a fixed budget;
  // otherwise nothing is kept. Replaces what was kept before.
  void Precompute(const std::vector<const DetailSummary*>& queries, const std::vector<int>& ids, int idCount,
                  int enhance, int threads);
  // The kept distances of query `id` made with `enhance`, or null.
  const int32_t* Kept(int id, int enhance) const;

private:
  const float* Lane(int lane) const { return lanes_.data() + static_cast<size_t>(lane) * stride_; }

  bool ready_ = false;
  Side side_ = Side::kPictures;
  int count_ = 0;
  size_t stride_ = 0;  // Count() rounded up to whole vectors
  // Lanes 3i, 3i + 1, 3i + 2: sample i's L, a, b; the last three the mean's.
  std::vector<float> lanes_;
  std::vector<int32_t> distances_;
  // The rows computed ahead, and the row of each id (-1 for none).
  std::vector<int32_t> kept_;
  std::vector<int> keptRow_;
  int keptEnhance_ = 0;
  DetailWeights weights_ = EvenDetailWeights();
};

}  // namespace velmora
