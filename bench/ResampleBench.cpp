// Resampled drawing: every filter shrinking a picture into a cell and
// enlarging a cell, copied and blended, plus the two draws the renderer makes
// per mosaic cell. Items are target pixels, so items/s reads as pixels/s.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "imaging/Bitmap32.h"
#include "imaging/ResampleDrawing.h"

namespace velmora {
namespace {

TBitmap32 NoisePicture(int w, int h, uint8_t alpha) {
  TBitmap32 b(w, h);
  std::mt19937 rng(1234);
  for (TColor32& p : b.Pixels()) p = (rng() & 0x00FFFFFFu) | (TColor32(alpha) << 24);
  return b;
}

// Args: filter (0..6), blend (0 copy, 1 blend with alpha 128 everywhere).
void RunDraw(benchmark::State& state, int sw, int sh, int tw, int th) {
  const bool blend = state.range(1) != 0;
  TBitmap32 src = NoisePicture(sw, sh, blend ? 128 : 255);
  src.StretchFilter = static_cast<TStretchFilter>(state.range(0));
  src.DrawMode = blend ? dmBlend : dmOpaque;
  TBitmap32 dst = NoisePicture(tw, th, 255);
  for (auto _ : state) {
    Status s = src.DrawTo(dst, dst.BoundsRect(), src.BoundsRect());
    benchmark::DoNotOptimize(s);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * tw * th);
}

void ResampleShrink640x480To32x32(benchmark::State& state) { RunDraw(state, 640, 480, 32, 32); }
void ResampleEnlarge32x32To256x256(benchmark::State& state) { RunDraw(state, 32, 32, 256, 256); }

void AllFiltersAndModes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"filter", "blend"});
  for (int f = 0; f < kStretchFilterCount; ++f)
    for (int blend = 0; blend <= 1; ++blend) b->Args({f, blend});
}

BENCHMARK(ResampleShrink640x480To32x32)->Apply(AllFiltersAndModes);
BENCHMARK(ResampleEnlarge32x32To256x256)->Apply(AllFiltersAndModes);

// The renderer's pair for one cell of `cell` px from a cell buffer of twice
// that: the main picture's cell area (16 x 12 of a 1600 x 1200 picture, as
// in a 100 x 100 mosaic; alpha AlphaMain) laid over the cell buffer with
// sfSpline, then the opaque buffer copied into the mosaic with the filter
// of the second argument.
void ResampleRendererCellPair(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  // The third argument 0 keeps the passes on 128-bit registers even where
  // the machine has AVX2, to compare the two.
  const bool wide = resample::SetWideVectors(state.range(2) != 0);
  TBitmap32 main = NoisePicture(1600, 1200, 51);
  main.DrawMode = dmBlend;
  main.StretchFilter = sfSpline;
  TBitmap32 cell = NoisePicture(2 * size, 2 * size, 255);
  cell.DrawMode = dmOpaque;  // as the renderer copies its opaque cell buffer
  cell.StretchFilter = static_cast<TStretchFilter>(state.range(1));
  TBitmap32 mosaic = NoisePicture(20 * size, 20 * size, 255);
  int n = 0;
  for (auto _ : state) {
    const int x = n % 20, y = (n / 20) % 20;
    ++n;
    Status a = main.DrawTo(cell, cell.BoundsRect(), MakeRect(x * 16, y * 12, x * 16 + 16, y * 12 + 12));
    Status b =
        cell.DrawTo(mosaic, MakeRect(x * size, y * size, (x + 1) * size, (y + 1) * size), cell.BoundsRect());
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
  }
  state.SetItemsProcessed(state.iterations() * size * size);  // mosaic pixels
  resample::SetWideVectors(wide);
}
BENCHMARK(ResampleRendererCellPair)
    ->ArgNames({"cell", "filter", "wide"})
    ->Args({32, sfSpline, 1})
    ->Args({64, sfSpline, 1})
    ->Args({64, sfLinear, 1})
    ->Args({64, sfLanczos, 1})
    ->Args({32, sfSpline, 0})
    ->Args({64, sfSpline, 0});

void ResampleCellBufferIntoCell(benchmark::State& state) {
  TBitmap32 cell = NoisePicture(64, 64, 255);
  cell.DrawMode = dmBlend;
  cell.StretchFilter = sfSpline;
  TBitmap32 mosaic = NoisePicture(640, 640, 255);
  const int size = static_cast<int>(state.range(0));
  for (auto _ : state) {
    Status s = cell.DrawTo(mosaic, MakeRect(96, 96, 96 + size, 96 + size), cell.BoundsRect());
    benchmark::DoNotOptimize(s);
  }
  state.SetItemsProcessed(state.iterations());  // calls
}
BENCHMARK(ResampleCellBufferIntoCell)->ArgName("cell")->Arg(32)->Arg(64);

void ResampleMainAreaOverCellBuffer(benchmark::State& state) {
  TBitmap32 main = NoisePicture(660, 500, 64);
  main.DrawMode = dmBlend;
  main.StretchFilter = sfSpline;
  TBitmap32 cell = NoisePicture(64, 64, 255);
  for (auto _ : state) {
    Status s = main.DrawTo(cell, cell.BoundsRect(), MakeRect(330, 250, 363, 275));
    benchmark::DoNotOptimize(s);
  }
  state.SetItemsProcessed(state.iterations());  // calls
}
BENCHMARK(ResampleMainAreaOverCellBuffer);

}  // namespace
}  // namespace velmora
