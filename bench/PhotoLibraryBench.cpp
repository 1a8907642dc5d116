// Library preparation from photos in today's formats, beside JPEG: the first
// 30 sample photos are written once as PNG, WebP (quality 85) and HEIC
// (quality 85) into a temporary folder, and each set is prepared as a library
// (decode, crop, reduce to the cell, summarise) the way a mosaic does,
// without the summary cache. Rates are pictures per second.
//   velmora-bench --benchmark_filter=PrepareLibraryOf
#include <benchmark/benchmark.h>
#include <libheif/heif.h>
#include <unistd.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "imaging/PictureReader.h"
#include "output/SavePicture.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
constexpr int kPhotos = 30;

bool WriteWebp(const TBitmap32& b, const std::string& path) {
  uint8_t* out = nullptr;
  const size_t size = WebPEncodeBGRA(reinterpret_cast<const uint8_t*>(b.ScanLine(0)), b.Width(), b.Height(),
                                     b.Width() * 4, 85, &out);
  if (size == 0) return false;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  const bool ok = f != nullptr && std::fwrite(out, 1, size, f) == size;
  if (f) std::fclose(f);
  WebPFree(out);
  return ok;
}

bool WriteHeic(const TBitmap32& b, const std::string& path) {
  heif_context* ctx = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  heif_image* image = nullptr;
  bool ok =
      heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder).code == heif_error_Ok &&
      heif_image_create(b.Width(), b.Height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image)
              .code == heif_error_Ok &&
      heif_image_add_plane(image, heif_channel_interleaved, b.Width(), b.Height(), 8).code == heif_error_Ok;
  if (ok) {
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) {
        const TColor32 c = b.Pixel(x, y);
        uint8_t* p = plane + size_t(y) * size_t(stride) + size_t(x) * 3;
        p[0] = RedOf(c), p[1] = GreenOf(c), p[2] = BlueOf(c);
      }
    heif_encoder_set_lossy_quality(encoder, 85);
    ok = heif_context_encode_image(ctx, image, encoder, nullptr, nullptr).code == heif_error_Ok &&
         heif_context_write_to_file(ctx, path.c_str()).code == heif_error_Ok;
  }
  if (image) heif_image_release(image);
  if (encoder) heif_encoder_release(encoder);
  heif_context_free(ctx);
  return ok;
}

// The sample photos' paths, and their copies in each format (made once).
const std::map<std::string, std::vector<std::string>>& Libraries() {
  static const std::map<std::string, std::vector<std::string>> libraries = [] {
    std::map<std::string, std::vector<std::string>> out;
    std::vector<std::string> jpegs;
    for (const auto& e : fs::directory_iterator(VELMORA_SAMPLE_IMAGES))
      if (e.path().extension() == ".jpg") jpegs.push_back(e.path().string());
    std::sort(jpegs.begin(), jpegs.end());
    if (jpegs.size() > size_t(kPhotos)) jpegs.resize(kPhotos);
    out["jpeg"] = jpegs;
    const fs::path dir = fs::temp_directory_path() / ("velmora-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    for (const std::string& jpeg : jpegs) {
      Result<DecodedPicture> p = ReadPicture(jpeg);
      if (!p.ok()) continue;
      const std::string stem = (dir / fs::path(jpeg).stem()).string();
      if (SavePictureFile(p->bitmap, stem + ".png", kPicturePng).ok()) out["png"].push_back(stem + ".png");
      if (WriteWebp(p->bitmap, stem + ".webp")) out["webp"].push_back(stem + ".webp");
      if (WriteHeic(p->bitmap, stem + ".heic")) out["heic"].push_back(stem + ".heic");
    }
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(fs::temp_directory_path() / ("velmora-bench-" + std::to_string(::getpid())), ec);
    });
    return out;
  }();
  return libraries;
}

void PrepareLibraryOf(benchmark::State& state, const std::string& format) {
  const auto it = Libraries().find(format);
  if (it == Libraries().end() || it->second.size() != size_t(kPhotos)) {
    state.SkipWithError(("could not write the " + format + " photos").c_str());
    return;
  }
  Engine e;
  e.PicList.Assign(it->second);
  uintmax_t bytes = 0;
  for (const std::string& p : it->second) bytes += fs::file_size(p);
  for (auto _ : state)
    if (!e.PrepareLibrary().ok()) state.SkipWithError("a library photo failed");
  state.SetItemsProcessed(state.iterations() * e.PicList.Count());
  state.SetLabel("items: photos, " + std::to_string(bytes / 1024 / it->second.size()) + " KiB each, " +
                 std::to_string(e.ThreadCount()) + " threads");
}
BENCHMARK_CAPTURE(PrepareLibraryOf, Jpeg, std::string("jpeg"))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(PrepareLibraryOf, Png, std::string("png"))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(PrepareLibraryOf, Webp, std::string("webp"))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(PrepareLibraryOf, Heic, std::string("heic"))->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace velmora
