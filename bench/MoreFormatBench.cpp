// Decoding speed of the raster formats beside the common ones, next to PNG:
// each is handed a picture of about three megapixels (2048 x 1536, tiled from
// the sample photos, so the run-length coders see photographic content)
// written in that format at the start of the run; Photo CD files have their
// fixed base size of 768 x 512. Only decoding is timed; the figure to read is
// Mpixels/s.
#include <benchmark/benchmark.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/PictureReader.h"
#include "DecodeLoop.h"

namespace {

using velmora::TBitmap32;
using velmora::TColor32;

constexpr int kW = 2048, kH = 1536;

const TBitmap32& Picture() {
  static const TBitmap32 picture = [] {
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(VELMORA_SAMPLE_IMAGES))
      if (entry.path().extension() == ".jpg") paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    TBitmap32 out;
    (void)out.SetSize(kW, kH);
    out.Fill(velmora::Color32(128, 128, 128));
    int x = 0, y = 0, rowHeight = 0;
    for (const auto& p : paths) {
      auto tile = velmora::ReadPicture(p.string());
      if (!tile.ok()) continue;
      const TBitmap32& t = tile->bitmap;
      if (x + t.Width() > kW) {
        x = 0;
        y += rowHeight;
        rowHeight = 0;
      }
      if (y >= kH) break;
      for (int ty = 0; ty < t.Height() && y + ty < kH; ++ty)
        std::copy_n(t.ScanLine(ty), std::min(t.Width(), kW - x), out.ScanLine(y + ty) + x);
      x += t.Width();
      rowHeight = std::max(rowHeight, t.Height());
    }
    return out;
  }();
  return picture;
}

struct Out {
  std::vector<uint8_t> d;
  void u8(uint32_t v) { d.push_back(uint8_t(v)); }
  void u16le(uint32_t v) { u8(v), u8(v >> 8); }
  void u32le(uint32_t v) { u16le(v), u16le(v >> 16); }
  void u16be(uint32_t v) { u8(v >> 8), u8(v); }
  void u32be(uint32_t v) { u16be(v >> 16), u16be(v); }
  void fill(size_t n) { d.insert(d.end(), n, 0); }
};

// Runs of 3 or more as (run, value), everything else as literals, at most
// `limit` long; `run` and `literal` write the codes of the format.
template <typename Run, typename Literal>
void Runs(const uint8_t* s, size_t n, size_t limit, Run run, Literal literal) {
  size_t i = 0;
  while (i < n) {
    size_t same = 1;
    while (i + same < n && s[i + same] == s[i] && same < limit) ++same;
    if (same >= 3) {
      run(same, s[i]);
      i += same;
      continue;
    }
    size_t end = i;
    while (end < n && end - i < limit && !(end + 2 < n && s[end] == s[end + 1] && s[end] == s[end + 2]))
      ++end;
    literal(s + i, end - i);
    i = end;
  }
}

uint8_t Channel(TColor32 c, int k) { return uint8_t(c >> (16 - 8 * k)); }  // 0 red, 1 green, 2 blue

// 6 x 6 x 6 colour cube.
uint8_t CubeIndex(TColor32 c) {
  return uint8_t((Channel(c, 0) * 6 / 256) * 36 + (Channel(c, 1) * 6 / 256) * 6 + Channel(c, 2) * 6 / 256);
}

std::vector<uint8_t> Rla(const TBitmap32& p) {
  Out f;
  f.u16be(0), f.u16be(kW - 1), f.u16be(0), f.u16be(kH - 1);
  f.u16be(0), f.u16be(kW - 1), f.u16be(0), f.u16be(kH - 1);
  f.u16be(1), f.u16be(0), f.u16be(3), f.u16be(1), f.u16be(0), f.u16be(0xFFFE);
  f.fill(658 - f.d.size());
  f.u16be(8), f.u16be(0), f.u16be(8), f.u16be(0), f.u16be(0);
  f.fill(740 - f.d.size());
  const size_t table = f.d.size();
  f.fill(size_t(kH) * 4);
  std::vector<uint8_t> samples(kW);
  for (int i = 0; i < kH; ++i) {
    const uint32_t at = uint32_t(f.d.size());
    std::memcpy(&f.d[table + size_t(i) * 4], &at, 4);
    std::reverse(f.d.begin() + std::ptrdiff_t(table + size_t(i) * 4),
                 f.d.begin() + std::ptrdiff_t(table + size_t(i) * 4 + 4));
    const TColor32* row = p.ScanLine(kH - 1 - i);
    for (int c = 0; c < 4; ++c) {
      for (int x = 0; x < kW; ++x) samples[size_t(x)] = c < 3 ? Channel(row[x], c) : 255;
      Out rec;
      Runs(
          samples.data(), samples.size(), 128,
          [&](size_t n, uint8_t v) { rec.u8(uint32_t(n - 1)), rec.u8(v); },
          [&](const uint8_t* s, size_t n) {
            rec.u8(uint32_t(256 - n));
            rec.d.insert(rec.d.end(), s, s + n);
          });
      f.u16be(uint32_t(rec.d.size()));
      f.d.insert(f.d.end(), rec.d.begin(), rec.d.end());
    }
  }
  return f.d;
}

std::vector<uint8_t> Cel(const TBitmap32& p) {
  Out f;
  f.u16le(0x9119), f.u16le(kW), f.u16le(kH), f.u32le(0), f.u8(8), f.u8(0), f.u32le(kW * kH), f.fill(16);
  for (int i = 0; i < 216; ++i) f.u8(i / 36 * 12), f.u8(i / 6 % 6 * 12), f.u8(i % 6 * 12);
  f.fill(3 * 40);
  for (TColor32 c : p.Pixels()) f.u8(CubeIndex(c));
  return f.d;
}

std::vector<uint8_t> Cut(const TBitmap32& p) {
  Out f;
  f.u16le(kW), f.u16le(kH), f.u16le(0);
  std::vector<uint8_t> line(kW);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) line[size_t(x)] = CubeIndex(p.Pixel(x, y));
    Out coded;
    Runs(
        line.data(), line.size(), 127,
        [&](size_t n, uint8_t v) { coded.u8(0x80 | uint32_t(n)), coded.u8(v); },
        [&](const uint8_t* s, size_t n) {
          coded.u8(uint32_t(n));
          coded.d.insert(coded.d.end(), s, s + n);
        });
    coded.u8(0);
    f.u16le(uint32_t(coded.d.size()));
    f.d.insert(f.d.end(), coded.d.begin(), coded.d.end());
  }
  return f.d;
}

std::vector<uint8_t> Pcd(const TBitmap32& p) {
  std::vector<uint8_t> f(0x30000 + 768 * 512 * 3 / 2 + 0x800, 0);
  std::memcpy(f.data() + 0x800, "PCD_IPI", 7);
  size_t at = 0x30000;
  const auto ycc = [&](int x, int y, int k) {
    const TColor32 c = p.Pixel(x, y);
    const double r = Channel(c, 0), g = Channel(c, 1), b = Channel(c, 2);
    const double l = 0.299 * r + 0.587 * g + 0.114 * b;
    const double v = k == 0 ? l / 1.3584 : k == 1 ? (b - l) / 2.2179 + 156 : (r - l) / 1.8215 + 137;
    return uint8_t(std::clamp(v, 0.0, 255.0));
  };
  for (int y = 0; y < 512; y += 2) {
    for (int line = 0; line < 2; ++line)
      for (int x = 0; x < 768; ++x) f[at++] = ycc(x, y + line, 0);
    for (int k = 1; k <= 2; ++k)
      for (int x = 0; x < 768; x += 2) f[at++] = ycc(x, y, k);
  }
  return f;
}

std::vector<uint8_t> Psp(const TBitmap32& p, int compression) {
  const auto block = [](Out& out, int id, const Out& body) {
    out.u8('~'), out.u8('B'), out.u8('K'), out.u8(0), out.u16le(uint32_t(id)),
        out.u32le(uint32_t(body.d.size()));
    out.d.insert(out.d.end(), body.d.begin(), body.d.end());
  };
  Out f;
  const std::string sig = "Paint Shop Pro Image File\n\x1a";
  f.d.assign(sig.begin(), sig.end());
  f.fill(32 - sig.size());
  f.u16le(5), f.u16le(0);
  Out attr;
  attr.u32le(46), attr.u32le(kW), attr.u32le(kH), attr.fill(9), attr.u16le(uint32_t(compression)),
      attr.u16le(24);
  attr.u16le(1), attr.u32le(1u << 24), attr.u8(0), attr.u32le(0), attr.u32le(0), attr.u16le(1), attr.u32le(1);
  block(f, 0, attr);
  Out layer;
  layer.u32le(4 + 2 + 5 + 1 + 32 + 5 + 32 + 2 + 47 + 4), layer.u16le(5);
  for (char c : std::string("Layer")) layer.u8(uint32_t(c));
  layer.u8(1), layer.u32le(0), layer.u32le(0), layer.u32le(kW), layer.u32le(kH);
  layer.u32le(0), layer.u32le(0), layer.u32le(kW), layer.u32le(kH);
  layer.u8(255), layer.u8(0), layer.u8(1), layer.u8(0), layer.u8(0), layer.fill(32), layer.u8(0), layer.u8(0);
  layer.fill(47), layer.u16le(1), layer.u16le(3);
  std::vector<uint8_t> samples(size_t(kW) * kH);
  for (int c = 0; c < 3; ++c) {
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = Channel(p.Pixels()[i], c);
    Out data;
    if (compression == 1) {
      Runs(
          samples.data(), samples.size(), 127,
          [&](size_t n, uint8_t v) { data.u8(uint32_t(128 + n)), data.u8(v); },
          [&](const uint8_t* s, size_t n) {
            data.u8(uint32_t(n));
            data.d.insert(data.d.end(), s, s + n);
          });
    } else {
      uLongf size = compressBound(uLong(samples.size()));
      data.d.resize(size);
      compress2(data.d.data(), &size, samples.data(), uLong(samples.size()), 6);
      data.d.resize(size);
    }
    Out channel;
    channel.u32le(16), channel.u32le(uint32_t(data.d.size())), channel.u32le(uint32_t(samples.size()));
    channel.u16le(0), channel.u16le(uint32_t(c + 1));
    channel.d.insert(channel.d.end(), data.d.begin(), data.d.end());
    block(layer, 5, channel);
  }
  Out layerBlock;
  block(layerBlock, 4, layer);
  block(f, 3, layerBlock);
  return f.d;
}

std::vector<uint8_t> Png(const TBitmap32& p) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = kW;
  image.height = kH;
  image.format = PNG_FORMAT_BGRA;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, p.Pixels().data(), 0, nullptr);
  std::vector<uint8_t> out(size);
  png_image_write_to_memory(&image, out.data(), &size, 0, p.Pixels().data(), 0, nullptr);
  out.resize(size);
  return out;
}

void Decode(benchmark::State& state, const char* name, const std::vector<uint8_t>& file) {
  DecodeLoop(state, name, file);
}

#define FORMAT_BENCH(Name, file, make)              \
  void BM_Decode##Name(benchmark::State& state) {   \
    static const std::vector<uint8_t> bytes = make; \
    Decode(state, file, bytes);                     \
  }                                                 \
  BENCHMARK(BM_Decode##Name)->Unit(benchmark::kMillisecond)

FORMAT_BENCH(PngReference, "x.png", Png(Picture()));
FORMAT_BENCH(Rla, "x.rla", Rla(Picture()));
FORMAT_BENCH(AutodeskCel, "x.cel", Cel(Picture()));
FORMAT_BENCH(DrHaloCut, "x.cut", Cut(Picture()));
FORMAT_BENCH(PhotoCdBase, "x.pcd", Pcd(Picture()));
FORMAT_BENCH(PspRle, "x.psp", Psp(Picture(), 1));
FORMAT_BENCH(PspLz77, "x.psp", Psp(Picture(), 2));

}  // namespace
