// Decoding speed of the raster formats next to PNG's, on one 2048 x 1536
// picture (a smooth gradient with a little noise, roughly as compressible as a
// photo). The files are made in memory at start-up by the small writers
// below, so no large file is committed; only decoding is timed. Each
// benchmark prints megapixels per second ("Mpixels/s").
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "imaging/PictureReader.h"
#include "DecodeLoop.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kWidth = 2048;
constexpr int kHeight = 1536;

struct Rgba {
  uint8_t r, g, b, a;
};

const std::vector<Rgba>& Picture() {
  static const std::vector<Rgba> pixels = [] {
    std::vector<Rgba> p(size_t(kWidth) * kHeight);
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int noise = int(seed >> 29);  // 0..7
        p[size_t(y) * kWidth + x] = {uint8_t((x * 255 / kWidth + noise) & 255),
                                     uint8_t((y * 255 / kHeight + noise) & 255),
                                     uint8_t(((x + y) / 16 + noise) & 255), uint8_t(255 - (x >> 4))};
      }
    return p;
  }();
  return pixels;
}
const Rgba& At(int x, int y) { return Picture()[size_t(y) * kWidth + x]; }

void Put16le(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32le(Bytes& b, uint32_t v) {
  Put16le(b, v);
  Put16le(b, v >> 16);
}
void Put16be(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v >> 8));
  b.push_back(uint8_t(v));
}
void Put32be(Bytes& b, uint32_t v) {
  Put16be(b, v >> 16);
  Put16be(b, v);
}

// PackBits as Photoshop stores it: runs of 2..128 as (1 - n, byte), literals
// of 1..128 as (n - 1, bytes).
void PackBits(const uint8_t* src, size_t n, Bytes& out) {
  size_t i = 0;
  while (i < n) {
    size_t run = 1;
    while (i + run < n && run < 128 && src[i + run] == src[i]) ++run;
    if (run >= 2) {
      out.push_back(uint8_t(1 - int(run)));
      out.push_back(src[i]);
      i += run;
      continue;
    }
    size_t lit = 1;
    while (i + lit < n && lit < 128 && !(i + lit + 1 < n && src[i + lit] == src[i + lit + 1])) ++lit;
    out.push_back(uint8_t(lit - 1));
    out.insert(out.end(), src + i, src + i + lit);
    i += lit;
  }
}

Bytes Tga(bool rle) {
  Bytes b = {0, 0, uint8_t(rle ? 10 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Put16le(b, kWidth);
  Put16le(b, kHeight);
  b.push_back(24);
  b.push_back(0x20);  // top row first
  for (int y = 0; y < kHeight; ++y) {
    int x = 0;
    while (x < kWidth) {
      if (!rle) {
        const Rgba& p = At(x++, y);
        b.insert(b.end(), {p.b, p.g, p.r});
        continue;
      }
      int run = 1;
      auto same = [&](int a, int c) { return std::memcmp(&At(a, y), &At(c, y), 3) == 0; };
      while (x + run < kWidth && run < 128 && same(x, x + run)) ++run;
      if (run >= 2) {
        b.push_back(uint8_t(0x80 | (run - 1)));
        b.insert(b.end(), {At(x, y).b, At(x, y).g, At(x, y).r});
      } else {
        int lit = 1;
        while (x + lit < kWidth && lit < 128 && !(x + lit + 1 < kWidth && same(x + lit, x + lit + 1))) ++lit;
        b.push_back(uint8_t(lit - 1));
        for (int i = 0; i < lit; ++i) b.insert(b.end(), {At(x + i, y).b, At(x + i, y).g, At(x + i, y).r});
        run = lit;
      }
      x += run;
    }
  }
  return b;
}

Bytes Pcx() {
  Bytes b(128, 0);
  b[0] = 0x0A;
  b[1] = 5;
  b[2] = 1;
  b[3] = 8;
  b[8] = uint8_t(kWidth - 1);
  b[9] = uint8_t((kWidth - 1) >> 8);
  b[10] = uint8_t(kHeight - 1);
  b[11] = uint8_t((kHeight - 1) >> 8);
  b[65] = 3;
  b[66] = uint8_t(kWidth);
  b[67] = uint8_t(kWidth >> 8);
  std::vector<uint8_t> plane(kWidth);
  for (int y = 0; y < kHeight; ++y)
    for (int c = 0; c < 3; ++c) {
      for (int x = 0; x < kWidth; ++x) plane[x] = c == 0 ? At(x, y).r : c == 1 ? At(x, y).g : At(x, y).b;
      for (int x = 0; x < kWidth;) {
        int run = 1;
        while (x + run < kWidth && run < 63 && plane[x + run] == plane[x]) ++run;
        if (run > 1 || plane[x] >= 0xC0) b.push_back(uint8_t(0xC0 | run));
        b.push_back(plane[x]);
        x += run;
      }
    }
  return b;
}

Bytes Sgi(bool rle) {
  Bytes b;
  Put16be(b, 474);
  b.push_back(rle ? 1 : 0);
  b.push_back(1);
  Put16be(b, 3);
  Put16be(b, kWidth);
  Put16be(b, kHeight);
  Put16be(b, 4);
  b.resize(512, 0);
  const size_t rows = size_t(kHeight) * 4;
  std::vector<Bytes> packed(rows);
  std::vector<uint8_t> samples(kWidth);
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < kHeight; ++r) {
      const int y = kHeight - 1 - r;
      for (int x = 0; x < kWidth; ++x) samples[x] = (&At(x, y).r)[c];
      Bytes& out = packed[size_t(c) * kHeight + r];
      if (!rle) {
        out = samples;
        continue;
      }
      for (int x = 0; x < kWidth;) {
        int run = 1;
        while (x + run < kWidth && run < 127 && samples[x + run] == samples[x]) ++run;
        if (run >= 2) {
          out.push_back(uint8_t(run));
          out.push_back(samples[x]);
        } else {
          int lit = 1;
          while (x + lit < kWidth && lit < 127 && samples[x + lit] != samples[x + lit - 1]) ++lit;
          out.push_back(uint8_t(0x80 | lit));
          out.insert(out.end(), samples.begin() + x, samples.begin() + x + lit);
          run = lit;
        }
        x += run;
      }
      out.push_back(0);
    }
  if (rle) {
    size_t offset = 512 + rows * 8;
    for (const Bytes& p : packed) {
      Put32be(b, uint32_t(offset));
      offset += p.size();
    }
    for (const Bytes& p : packed) Put32be(b, uint32_t(p.size()));
  }
  for (const Bytes& p : packed) b.insert(b.end(), p.begin(), p.end());
  return b;
}

Bytes Psd(bool rle) {
  Bytes b = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0};
  Put16be(b, 3);
  Put32be(b, kHeight);
  Put32be(b, kWidth);
  Put16be(b, 8);
  Put16be(b, 3);
  Put32be(b, 0);
  Put32be(b, 0);
  Put32be(b, 0);
  Put16be(b, rle ? 1 : 0);
  std::vector<Bytes> packed(size_t(kHeight) * 3);
  std::vector<uint8_t> samples(kWidth);
  for (int c = 0; c < 3; ++c)
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) samples[x] = (&At(x, y).r)[c];
      Bytes& out = packed[size_t(c) * kHeight + y];
      if (rle)
        PackBits(samples.data(), samples.size(), out);
      else
        out = samples;
    }
  if (rle)
    for (const Bytes& p : packed) Put16be(b, uint32_t(p.size()));
  for (const Bytes& p : packed) b.insert(b.end(), p.begin(), p.end());
  return b;
}

Bytes Ppm() {
  const std::string header = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
  Bytes b(header.begin(), header.end());
  for (const Rgba& p : Picture()) b.insert(b.end(), {p.r, p.g, p.b});
  return b;
}

// An icon of one 32-bit entry (with its AND mask) at the picture's size.
Bytes Ico() {
  Bytes b = {0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 32, 0};
  const size_t maskStride = (kWidth + 31) / 32 * 4;
  Put32le(b, uint32_t(40 + size_t(kWidth) * kHeight * 4 + maskStride * kHeight));
  Put32le(b, 22);
  Put32le(b, 40);
  Put32le(b, kWidth);
  Put32le(b, 2 * kHeight);
  Put16le(b, 1);
  Put16le(b, 32);
  b.resize(b.size() + 24, 0);
  for (int y = kHeight - 1; y >= 0; --y)
    for (int x = 0; x < kWidth; ++x) b.insert(b.end(), {At(x, y).b, At(x, y).g, At(x, y).r, At(x, y).a});
  b.resize(b.size() + maskStride * kHeight, 0);
  return b;
}

Bytes Png() {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = kWidth;
  image.height = kHeight;
  image.format = PNG_FORMAT_RGB;  // the common photo layout; alpha would only slow PNG down
  Bytes rgb;
  for (const Rgba& p : Picture()) rgb.insert(rgb.end(), {p.r, p.g, p.b});
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr);
  Bytes b(size);
  png_image_write_to_memory(&image, b.data(), &size, 0, rgb.data(), 0, nullptr);
  b.resize(size);
  return b;
}

const Bytes& File(const std::string& name) {
  static std::map<std::string, Bytes> files;
  auto it = files.find(name);
  if (it != files.end()) return it->second;
  Bytes b;
  if (name == "picture.png") b = Png();
  if (name == "picture.tga") b = Tga(false);
  if (name == "rle.tga") b = Tga(true);
  if (name == "picture.pcx") b = Pcx();
  if (name == "picture.sgi") b = Sgi(false);
  if (name == "rle.rgba") b = Sgi(true);
  if (name == "picture.psd") b = Psd(false);
  if (name == "rle.psd") b = Psd(true);
  if (name == "picture.ppm") b = Ppm();
  if (name == "picture.ico") b = Ico();
  return files.emplace(name, std::move(b)).first->second;
}

void Decode(benchmark::State& state, const std::string& name) {
  const Bytes& file = File(name);
  DecodeLoop(state, name, file);
}

}  // namespace

BENCHMARK_CAPTURE(Decode, Png, std::string("picture.png"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Ico32, std::string("picture.ico"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Tga24, std::string("picture.tga"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Tga24Rle, std::string("rle.tga"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Pcx24Rle, std::string("picture.pcx"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Sgi32Verbatim, std::string("picture.sgi"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Sgi32Rle, std::string("rle.rgba"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Psd24Raw, std::string("picture.psd"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Psd24Rle, std::string("rle.psd"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Ppm24, std::string("picture.ppm"))->Unit(benchmark::kMillisecond);
