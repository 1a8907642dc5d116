// Internal to the resampled draw: what its passes share. The draw itself
// (ResampledDraw.cpp) picks a pass per filter and size and runs the simple
// ones; the kernel resampler's passes live in ResampleKernelPasses.cpp.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/Bitmap32.h"
#include "imaging/Geometry.h"
#include "imaging/ResampleKernels.h"

namespace velmora::resample {

// The rectangles of one draw, widened to 64 bits, and the clip.
struct DrawFrame {
  int64_t srcLeft, srcTop, srcWidth, srcHeight;
  int64_t dstWidth, dstHeight;  // of the target rectangle
  int64_t firstCol, firstRow;   // first clipped target position, from the target rectangle's edge
  TRect clip;                   // in target bitmap coordinates
  int clipWidth, clipHeight;
};

struct LinearMap {
  std::vector<int32_t> p0, p1;  // the pair of source positions, both inside the bitmap
  std::vector<int32_t> w;       // weight of p0 in 1/256; p1 gets 256 - w
};

struct BlockMap {
  std::vector<int32_t> begin, end;  // half-open source range of each block, never empty
};

struct LerpedRow {
  int32_t row = -1;
  std::vector<TColor32> px;
};

constexpr int kMaxDenseTaps = 16;

// Two taps of one position for the 16-bit passes: both weights in one 32-bit
// word (the first in the low half), repeated four times so the passes load
// it as a vector, and the value offsets as in the dense table.
struct TapPair {
  int32_t weights[4];
  int32_t a, b;
};

// One axis table of the kernel resampler with its dense copy (every position
// padded to maxTaps taps of weight 0, positions turned into byte offsets from
// minPos), so the tap loops have one trip count for the whole row.
struct AxisTable {
  TapTable table;
  int maxTaps = 0;
  std::vector<Tap> dense;  // empty when maxTaps > kMaxDenseTaps
  // No weight below 0, so every weight lies in 0..256 and a weighted sum of
  // bytes in 0..65280: such tables also have the dense taps in pairs
  // (position k's at pairs[k * pairCount]), the last one padded with weight 0.
  bool nonNegative = false;
  int pairCount = 0;
  std::vector<TapPair> pairs;
  // Positions [strideBegin, strideEnd) whose pairs are neighbouring pixels,
  // each pair two pixels on from the one before, each position two pixels on
  // from the one before with the same weights (the inside of a halving):
  // these can be summed from the row regrouped into pixel pairs once, with
  // no gathering per position. Empty when there is no such run worth it.
  int strideBegin = 0, strideEnd = 0;
};

struct Scratch {
  AxisTable colScratch, rowScratch;  // tables too long to keep
  LinearMap linCols, linRows;
  BlockMap blockCols, blockRows;
  std::vector<int32_t> nearCols, nearRows;
  // Column sums, 4 per source column in the pixels' byte order.
  std::vector<int32_t> kernelSums;
  std::vector<int32_t> wide, filtered;       // source rows widened to 32 bits; filtered along columns
  std::vector<int16_t> wideWords, midWords;  // the same in 16 bits, for tables without negative weights
  std::vector<int16_t> pairedWords;          // a row of 16-bit values regrouped by pixel pairs
  std::vector<TColor32> wordLine;            // a produced row, with room for a whole last vector
  std::vector<uint32_t> blockSums32;
  std::vector<uint64_t> blockSums64;
  LerpedRow lerped[2];
  std::vector<TColor32> line;  // one produced target row
};

// This thread's scratch, reused from draw to draw.
Scratch& ThreadScratch();

// Scratch vectors only grow: sizing one down and up again, as the renderer's
// two draws of different sizes per cell would, clears the regrown part every
// time.
template <typename Vector>
void GrowTo(Vector& v, size_t n) {
  if (v.size() < n) v.resize(n);
}

// The inner loops of the blend and of the kernel resampler are plain integer
// loops the compiler vectorises; on x86-64 they are also built for AVX2 and
// picked at load time, since the baseline instruction set has no packed
// 32-bit multiply.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__ELF__)
#define VELMORA_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VELMORA_VECTOR_CLONES
#endif

// BlendPixel over a row, eight pixels at a time: the same two-channels-per-
// multiplication arithmetic in each 32-bit lane, then the weights 0 (keep the
// target) and 255 (take the produced pixel) selected per pixel. A run of
// produced pixels that are all fully opaque at master alpha 255 (every cell
// of a mosaic) is simply copied.
VELMORA_VECTOR_CLONES
void BlendRow(TColor32* d, const TColor32* f, int n, uint8_t master);

// BlendRow, then every pixel of the row made opaque (alpha 255). With
// `uniform` in 1..254, the caller vouches that every produced pixel's blend
// weight is that value, so the row needs no look at the alphas.
void BlendRowOpaque(TColor32* d, const TColor32* f, int n, uint8_t master, int uniform);

class RowWriter {
public:
  RowWriter(TBitmap32& dst, const DrawFrame& frame, TDrawMode mode, uint8_t masterAlpha)
      : dst_(dst), frame_(frame), blend_(mode == dmBlend), master_(masterAlpha) {}
  // The written pixels become opaque; see BlendRowOpaque for `uniform`.
  void MakeOpaque(int uniform) {
    opaque_ = true;
    uniform_ = uniform;
  }

  // Combines `n` produced pixels into target row y from column x on.
  void Write(int y, int x, const TColor32* f, int n) const {
    TColor32* d = dst_.ScanLine(y) + x;
    if (opaque_) {
      if (blend_) {
        BlendRowOpaque(d, f, n, master_, uniform_);
      } else {
        for (int k = 0; k < n; ++k) d[k] = f[k] | 0xFF000000u;
      }
      return;
    }
    if (!blend_) {
      std::memcpy(d, f, static_cast<size_t>(n) * sizeof(TColor32));
      return;
    }
    BlendRow(d, f, n, master_);
  }
  // A full clipped row, produced for clipped row m.
  void WriteClipRow(int m, const TColor32* f) const {
    Write(frame_.clip.Top + m, frame_.clip.Left, f, frame_.clipWidth);
  }
  // Where clipped row m may be produced in place, when the pixels are copied
  // rather than blended; else null.
  // Where clipped row m may be blended in place at the one weight the
  // writer was promised (see BlendRowOpaque), and made opaque; else null.
  TColor32* UniformOpaqueRow(int m, int* weight) const {
    if (!opaque_ || !blend_ || uniform_ <= 0 || uniform_ >= 255) return nullptr;
    *weight = uniform_;
    return dst_.ScanLine(frame_.clip.Top + m) + frame_.clip.Left;
  }
  TColor32* DirectRow(int m) const {
    return blend_ || opaque_ ? nullptr : dst_.ScanLine(frame_.clip.Top + m) + frame_.clip.Left;
  }

private:
  TBitmap32& dst_;
  const DrawFrame& frame_;
  bool blend_;
  uint8_t master_;
  bool opaque_ = false;
  int uniform_ = -1;
};

inline int32_t ClampTo(int64_t v, int64_t lo, int64_t hi) {
  return static_cast<int32_t>(std::clamp(v, lo, hi));
}

// Whether the kernel resampler's 16-bit passes use 256-bit registers: on
// machines with AVX2 unless switched off. The switch is there so the tests
// can hold both versions against each other; it returns the previous state.
bool WideVectors();
bool SetWideVectors(bool on);

// The column and row tables of one kernel draw, from the calling thread's
// tables of recent draws; a table too long to keep is built into the
// scratch's colScratch or rowScratch. Both stay valid until the thread's next
// call.
struct DrawAxes {
  const AxisTable& cols;
  const AxisTable& rows;
};
DrawAxes DrawAxisTables(TStretchFilter filter, const DrawFrame& f, int srcWidth, int srcHeight, Scratch& sc);

// The kernel resampler (cosine, spline, Lanczos, Mitchell, and linear where
// the bilinear path does not apply) into the clipped target rows.
void DrawKernel(const TBitmap32& src, TStretchFilter filter, const DrawFrame& f, Scratch& sc,
                const RowWriter& out);

}  // namespace velmora::resample
