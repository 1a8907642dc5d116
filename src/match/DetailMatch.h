// Detail matching: pictures and cells compared on a 4 x 4 grid of CIELAB
// samples instead of the four quadrant colours, so that a photo whose layout
// (a dark corner, a light band) follows the cell's wins over one that only has
// the same quadrant sums. The choice rules stay those of the plain matching;
// only the distance is another one, brought to the same scale so that the
// randomize level keeps its meaning.
#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/Bitmap24.h"
#include "imaging/Bitmap32.h"
#include "imaging/ColorLab.h"
#include "imaging/ColorSignature.h"

namespace velmora {

// The matching choices beyond the original option fields: kept in the user's
// settings and in a project's extension block, never in the 60-byte options.
struct MatchOptions {
  bool Detail = false;      // compare on 4 x 4 CIELAB samples
  bool FairUseAll = false;  // place every photo with the assignment solver
  // Recolour cell pictures by colour transfer (ColorTransfer.h) rather than
  // by the tint toward the cell's mean; kept with the matching choices, so a
  // project saves and reopens it with them.
  bool Transfer = false;
  // Place the cells by the assignment solver under the repeat cap
  // (Engine::PlaceUnderUseCap) before the main passes; only with the
  // repeat limit on.
  bool UseCap = false;
  friend constexpr bool operator==(const MatchOptions&, const MatchOptions&) = default;
};

constexpr int kDetailSide = 4;
constexpr int kDetailSamples = kDetailSide * kDetailSide;
// A mean difference of about 6.4 CIE76 units per sample, roughly what 16
// levels per channel are in the quadrant distance, lands on its 192 (the
// randomize threshold at the default level): summed over sixteen samples,
// times 1.875.
constexpr float kDetailScale = 1.875f;
// One CIE76 unit of a single colour standing for all sixteen samples.
constexpr float kShownMeanScale = kDetailSamples * kDetailScale;

// How much each of the sixteen samples counts in the detail distance, by the
// cell's sample position: all 1 for a rectangular tile; for a shaped one the
// share of each sample's area the shape covers, scaled to sum to 16 (a
// sample wholly in the gap counts 0).
using DetailWeights = std::array<float, kDetailSamples>;
constexpr DetailWeights EvenDetailWeights() {
  DetailWeights w{};
  for (float& v : w) v = 1.0f;
  return w;
}

// A picture or a cell as 4 x 4 CIELAB samples in reading order, and their mean.
struct DetailSummary {
  std::array<LabColor, kDetailSamples> Sample{};
  LabColor Mean;
};

// Stored as 16 x (L, a, b) little-endian 32-bit floats.
constexpr size_t kDetailSummaryBytes = kDetailSamples * 3 * 4;
void PutDetailBytes(const DetailSummary& summary, uint8_t* out);
// Values that are not finite or far outside CIELAB (a damaged file) are
// brought into range, so that no distance can overflow.
DetailSummary DetailFromBytes(const uint8_t* bytes);

// The summary of a prepared library picture (already cropped and greyed as
// the cell will show it); all zero for an empty picture.
DetailSummary ComputeDetailSummary(const TBitmap32& picture);
// The summary of the 4 x 4 samples at (4x, 4y) of a detail grid.
DetailSummary DetailOfCell(const Bitmap24& grid, int x, int y);

// For every summary, the index of the first one with the very same bytes
// (its own when none before has them). Libraries hold copies of one photo
// (the same file in two folders, a folder listed twice); a copy's distances
// are those of its first, so they are computed once.
std::vector<int> FirstOfSame(const std::vector<const DetailSummary*>& summaries);

// The distance of `picture` shown in `cell` with the tint of `enhance`
// percent, mirrored by `orientation` (0 none, 1 left-right, 2 top-bottom,
// 3 both): the summed CIE76 differences of the sixteen samples, on the scale
// of the quadrant distance. Stops early, returning `bound`, once the sum
// reaches it. With `weights`, each sample's difference counts by its weight.
int DetailDistance(const DetailSummary& picture, const DetailSummary& cell, int enhance, int orientation,
                   int bound = INT_MAX, const DetailWeights* weights = nullptr);
// The best orientation among those allowed (ties keep the earlier one, in
// the order none, left-right, top-bottom, both) and its distance.
int DetailBestOrientation(const DetailSummary& picture, const DetailSummary& cell, int enhance, bool allowH,
                          bool allowV, int* orientation, const DetailWeights* weights = nullptr);

// How far a picture's mean colour is seen from a cell's mean colour once
// the renderer has drawn it there: the tint moves it `enhance` percent
// toward the cell's mean and the main picture's overlay another
// AlphaMain / 255, so the cell shows its own mean plus (1 - enhance / 100)
// (1 - AlphaMain / 255) times the difference. Distances are CIE76 units on
// the scale of DetailDistance (one colour standing for all sixteen samples).
class ShownMeanLook {
public:
  ShownMeanLook(const ColorSignature& cell, int enhance, int alphaMain);
  // Exactly, through CIELAB.
  int32_t Distance(const SigColor& picture) const;
  // Through the slope of CIELAB at the cell's colour (a secant over a few
  // levels each way): a 3 x 3 product instead of a conversion, close
  // enough to rank a library's pictures for the cell.
  int32_t Estimate(const SigColor& picture) const;

private:
  float weight_ = 0;
  float mean_[3] = {0, 0, 0};  // red, green, blue
  LabColor lab_;
  float slope_[3][3] = {};  // d(L, a, b) / d(red, green, blue), times weight_
};

}  // namespace velmora
