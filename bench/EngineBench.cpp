// Engine steps on synthetic inputs (no files): Choose picture and Assign cells
// against 400 random signatures, and Render mosaic from 400 in-memory
// pictures of 360 x 360. Prepare library reads real JPEGs: the sample
// library, or the folder named by VELMORA_BENCH_LIBRARY.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "imaging/PictureOps.h"

namespace {

using namespace velmora;

constexpr int kPictures = 400;

ColorSignature RandomSignature(std::mt19937& rng) {
  ColorSignature s;
  int sum[3] = {};
  for (int q = 0; q < 4; ++q) {
    s.Slot[q] =
        SigColor{static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), 0};
    sum[0] += s.Slot[q].Blue;
    sum[1] += s.Slot[q].Green;
    sum[2] += s.Slot[q].Red;
  }
  s.Slot[sigMean] = SigColor{static_cast<uint8_t>(sum[0] >> 2), static_cast<uint8_t>(sum[1] >> 2),
                             static_cast<uint8_t>(sum[2] >> 2), 0};
  return s;
}

// A smooth two-colour gradient, different for every seed.
TBitmap32 SyntheticPicture(int w, int h, uint32_t seed) {
  std::mt19937 rng(seed);
  const int a[3] = {int(rng() % 256), int(rng() % 256), int(rng() % 256)};
  const int b[3] = {int(rng() % 256), int(rng() % 256), int(rng() % 256)};
  TBitmap32 p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int t = (x + y) * 255 / (w + h);
      auto mix = [&](int i) { return static_cast<uint8_t>((a[i] * (255 - t) + b[i] * t) / 255); };
      p.Pixel(x, y) = Color32(mix(0), mix(1), mix(2));
    }
  return p;
}

void SetUpSynthetic(Engine& e, int cells, int cellSize) {
  e.Project.CellsAcross = cells;
  e.Project.CellsDown = cells;
  e.Project.CellWidth = cellSize;
  e.Project.CellHeight = cellSize;
  ComputeDerivedSizes(e.Project);
  e.MainBitmap = SyntheticPicture(1600, 1200, 7);
  e.MakeGrid();
  std::mt19937 rng(11);
  e.PicList.Clear();
  for (int k = 0; k < kPictures; ++k) {
    e.PicList.Append("synthetic/" + std::to_string(k));
    e.Library[k].Signature = RandomSignature(rng);
    e.Library[k].UseCount = 0;
  }
}

void BM_ChoosePicture(benchmark::State& state) {
  Engine e;
  SetUpSynthetic(e, 100, 8);
  e.Rng.SetSeed(1);
  int x = 0;
  for (auto _ : state) {
    x = (x + 37) % 10000;
    benchmark::DoNotOptimize(e.ChoosePicture(x % 100, x / 100, e.SampleCell(x % 100, x / 100), 0));
  }
  state.SetItemsProcessed(state.iterations() * kPictures);
  state.SetLabel("items: cells x pictures compared");
}
BENCHMARK(BM_ChoosePicture);

void BM_AssignCells(benchmark::State& state) {
  Engine e;
  SetUpSynthetic(e, static_cast<int>(state.range(0)), 8);
  for (auto _ : state) {
    e.Rng.SetSeed(1);
    for (int k = 0; k < kPictures; ++k) e.Library[k].UseCount = 0;
    e.AssignCells();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
  state.SetLabel("items: cells");
}
BENCHMARK(BM_AssignCells)->Arg(48)->Arg(100)->Unit(benchmark::kMillisecond);

// Render from pictures served from memory: the decode is a copy, so this
// times preparation to the working size, tint, mirror, overlay and placing.
void BM_RenderMosaic(benchmark::State& state) {
  Engine e;
  SetUpSynthetic(e, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  std::vector<TBitmap32> pictures;
  for (int k = 0; k < kPictures; ++k) pictures.push_back(SyntheticPicture(360, 360, 100 + k));
  e.SetPictureLoader([&pictures](TBitmap32& target, const std::string& path, const DecodeHints&) {
    target.Assign(pictures[static_cast<size_t>(std::stoi(path.substr(path.find('/') + 1)))]);
    return Status::Ok();
  });
  e.Rng.SetSeed(1);
  e.AssignCells();
  for (auto _ : state) {
    if (!e.RenderMosaic().ok()) state.SkipWithError("render failed");
  }
  const double pixels = double(e.Project.FinalWidth) * e.Project.FinalHeight;
  state.counters["Mpixels/s"] =
      benchmark::Counter(pixels * state.iterations() / 1e6, benchmark::Counter::kIsRate);
  state.counters["cells/s"] = benchmark::Counter(double(state.range(0) * state.range(0)) * state.iterations(),
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderMosaic)->Args({48, 32})->Args({100, 64})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PrepareLibrary(benchmark::State& state) {
  const char* folder = std::getenv("VELMORA_BENCH_LIBRARY");
  std::vector<std::string> paths;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder ? folder : VELMORA_SAMPLE_IMAGES, ec)) {
    std::string ext = entry.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".jpg" || ext == ".bmp") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  if (paths.empty()) {
    state.SkipWithError("no pictures in the library folder");
    return;
  }
  Engine e;
  e.PicList.Assign(paths);
  for (auto _ : state) {
    if (!e.PrepareLibrary().ok()) state.SkipWithError("a library picture failed");
  }
  state.SetItemsProcessed(state.iterations() * e.PicList.Count());
  state.SetLabel("items: pictures, " + std::to_string(e.ThreadCount()) + " threads");
}
BENCHMARK(BM_PrepareLibrary)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
