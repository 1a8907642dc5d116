// Decoding speed of the sample library photos on one thread: at full size, as
// the main picture and the rendered cells need them, and DCT-scaled to the
// smallest size of at least 64 x 64, as the 32 x 32 colour summary needs them.
// The files are read into memory first, so only decoding is timed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "imaging/PictureReader.h"
#include "imaging/formats/JpegDecoder.h"

namespace {

const std::vector<std::vector<uint8_t>>& SamplePhotoBytes() {
  static const std::vector<std::vector<uint8_t>> files = [] {
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(VELMORA_SAMPLE_IMAGES))
      if (entry.path().extension() == ".jpg") paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    std::vector<std::vector<uint8_t>> out;
    for (const auto& p : paths) {
      std::ifstream in(p, std::ios::binary);
      out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return out;
  }();
  return files;
}

void DecodeAll(benchmark::State& state, const velmora::DecodeHints& hints) {
  const auto& files = SamplePhotoBytes();
  if (files.empty()) {
    state.SkipWithError("no sample photos");
    return;
  }
  int64_t pixels = 0, bytes = 0;
  for (auto _ : state) {
    for (const auto& file : files) {
      velmora::DecodedPicture picture;
      if (!velmora::DecodeJpeg(file, hints, picture).ok()) {
        state.SkipWithError("a sample photo failed to decode");
        return;
      }
      pixels += int64_t(picture.bitmap.Width()) * picture.bitmap.Height();
      bytes += int64_t(file.size());
      benchmark::DoNotOptimize(picture.bitmap.Pixels().data());
    }
  }
  state.SetItemsProcessed(state.iterations() * int64_t(files.size()));
  state.SetBytesProcessed(bytes);
  state.counters["Mpixels/s"] = benchmark::Counter(double(pixels) / 1e6, benchmark::Counter::kIsRate);
}

void BM_DecodeSamplePhotosFullSize(benchmark::State& state) { DecodeAll(state, {}); }

void BM_DecodeSamplePhotosForSummary(benchmark::State& state) {
  velmora::DecodeHints hints;
  hints.acceptScaled = [](int w, int h) { return w >= 64 && h >= 64; };
  DecodeAll(state, hints);
}

// Through the reader, file reading included, as library preparation does it.
void BM_ReadSamplePhotosForSummary(benchmark::State& state) {
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(VELMORA_SAMPLE_IMAGES))
    if (entry.path().extension() == ".jpg") paths.push_back(entry.path().string());
  velmora::DecodeHints hints;
  hints.acceptScaled = [](int w, int h) { return w >= 64 && h >= 64; };
  for (auto _ : state)
    for (const auto& path : paths) {
      auto picture = velmora::ReadPicture(path, hints);
      if (!picture.ok()) {
        state.SkipWithError("a sample photo failed to read");
        return;
      }
      benchmark::DoNotOptimize(picture->bitmap.Pixels().data());
    }
  state.SetItemsProcessed(state.iterations() * int64_t(paths.size()));
}

}  // namespace

BENCHMARK(BM_DecodeSamplePhotosFullSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeSamplePhotosForSummary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSamplePhotosForSummary)->Unit(benchmark::kMillisecond);
