// The loop every decoder benchmark runs: decode the same file over and over
// and report megapixels per second beside the bytes read.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "imaging/PictureReader.h"

inline void DecodeLoop(benchmark::State& state, std::string_view name, const std::vector<uint8_t>& file) {
  int64_t pixels = 0;
  for (auto _ : state) {
    auto picture = velmora::DecodePicture(name, file);
    if (!picture.ok()) {
      state.SkipWithError(picture.message().c_str());
      return;
    }
    pixels += int64_t(picture->bitmap.Width()) * picture->bitmap.Height();
    benchmark::DoNotOptimize(picture->bitmap.Pixels().data());
  }
  state.SetBytesProcessed(state.iterations() * int64_t(file.size()));
  state.counters["Mpixels/s"] = benchmark::Counter(double(pixels) / 1e6, benchmark::Counter::kIsRate);
}
