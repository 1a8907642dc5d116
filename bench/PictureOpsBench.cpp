// Figures for the picture operations on the sizes the engine meets: a big main
// picture reduced for a signature or onto a grid, library pictures of a few
// hundred pixels summarised, and the per-cell effects on one cell.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "imaging/PictureOps.h"

namespace velmora {
namespace {

TBitmap32 NoisePicture(int w, int h) {
  std::mt19937 rng(1234);
  TBitmap32 b(w, h);
  for (TColor32& p : b.Pixels()) p = static_cast<TColor32>(rng()) | 0xFF000000u;
  return b;
}

Bitmap24 NoisePicture24(int w, int h) {
  Bitmap24 b;
  b.AssignFrom(NoisePicture(w, h));
  return b;
}

void BM_PictureOpsAreaReduce32_2000x1500_To32(benchmark::State& state) {
  const TBitmap32 source = NoisePicture(2000, 1500);
  TBitmap32 target(32, 32);
  for (auto _ : state) {
    AreaStretch(source, source.BoundsRect(), target);
    benchmark::DoNotOptimize(target.Pixels().data());
  }
  state.SetItemsProcessed(state.iterations() * 2000 * 1500);
}
BENCHMARK(BM_PictureOpsAreaReduce32_2000x1500_To32)->Unit(benchmark::kMillisecond);

void BM_PictureOpsAreaReduce24_2000x1500_To32(benchmark::State& state) {
  const Bitmap24 source = NoisePicture24(2000, 1500);
  Bitmap24 target(32, 32);
  for (auto _ : state) {
    AreaStretch(source, TRect{0, 0, 2000, 1500}, target);
    benchmark::DoNotOptimize(target.Bytes().data());
  }
  state.SetItemsProcessed(state.iterations() * 2000 * 1500);
}
BENCHMARK(BM_PictureOpsAreaReduce24_2000x1500_To32)->Unit(benchmark::kMillisecond);

// The main picture onto grids of 96 to 1280 pixels across (48 to 640 cells).
void BM_PictureOpsGridReduce_1600x1200(benchmark::State& state) {
  const TBitmap32 source = NoisePicture(1600, 1200);
  const int across = static_cast<int>(state.range(0));
  Bitmap24 grid(across, across * 3 / 4);
  for (auto _ : state) {
    AreaStretch(source, source.BoundsRect(), grid);
    benchmark::DoNotOptimize(grid.Bytes().data());
  }
}
BENCHMARK(BM_PictureOpsGridReduce_1600x1200)->Arg(96)->Arg(480)->Arg(1280)->Unit(benchmark::kMillisecond);

void BM_PictureOpsSignature24_360x360(benchmark::State& state) {
  const Bitmap24 picture = NoisePicture24(360, 360);
  for (auto _ : state) benchmark::DoNotOptimize(ComputeColorSignature(picture));
}
BENCHMARK(BM_PictureOpsSignature24_360x360)->Unit(benchmark::kMicrosecond);

void BM_PictureOpsSignature32_360x360(benchmark::State& state) {
  const TBitmap32 picture = NoisePicture(360, 360);
  for (auto _ : state) benchmark::DoNotOptimize(ComputeColorSignature(picture));
}
BENCHMARK(BM_PictureOpsSignature32_360x360)->Unit(benchmark::kMicrosecond);

// Library preparation with CropCell: a 360 x 270 picture to a square cell.
void BM_PictureOpsCropToAspect24_360x270(benchmark::State& state) {
  const Bitmap24 picture = NoisePicture24(360, 270);
  Bitmap24 out;
  for (auto _ : state) {
    CropToAspect(picture, out, 1, 1);
    benchmark::DoNotOptimize(out.Bytes().data());
  }
}
BENCHMARK(BM_PictureOpsCropToAspect24_360x270)->Unit(benchmark::kMicrosecond);

void BM_PictureOpsToGrey32_Cell64(benchmark::State& state) {
  const TBitmap32 cell = NoisePicture(64, 64);
  TBitmap32 out(64, 64);
  for (auto _ : state) {
    ToGrey(cell, out);
    benchmark::DoNotOptimize(out.Pixels().data());
  }
  state.SetItemsProcessed(state.iterations() * 64 * 64);
}
BENCHMARK(BM_PictureOpsToGrey32_Cell64)->Unit(benchmark::kMicrosecond);

void BM_PictureOpsAdjustChannels32_Cell64(benchmark::State& state) {
  const TBitmap32 cell = NoisePicture(64, 64);
  TBitmap32 out(64, 64);
  for (auto _ : state) {
    AdjustChannels(cell, out, -20, 3, 41);
    benchmark::DoNotOptimize(out.Pixels().data());
  }
  state.SetItemsProcessed(state.iterations() * 64 * 64);
}
BENCHMARK(BM_PictureOpsAdjustChannels32_Cell64)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace velmora
