// Paint Shop Pro pictures. After a 32-byte signature and the version (two
// 16-bit words, little-endian like everything else) the file is a sequence of
// blocks: "~BK\0", a 16-bit block id and the block's length (version 3 files
// give an initial and a total length, later ones the total only). The blocks
// read here:
//   0  general attributes: size, compression, bit depth, greyscale flag;
//   2  palette: a count and that many blue, green, red, reserved quads;
//   3  layer bank, holding one block 4 per layer, bottom layer first, each
//      with a layer information chunk, from version 4 on a bitmap chunk, and
//      its channel blocks 5 (compressed and uncompressed length, bitmap type,
//      channel type, then the data).
// From version 4 on, every chunk starts with its own length, which lets the
// reader step over fields added by later versions (version 6 lengthens the
// layer information, for instance). Other blocks (the composite images and
// thumbnails, creator, extended data) are skipped by their lengths.
#include "imaging/formats/PspDecoder.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "imaging/ByteCursor.h"
#include "imaging/CheckedMath.h"
#include "imaging/PictureLimits.h"
#include "imaging/formats/PngDecoder.h"

namespace velmora {
namespace {

constexpr const char* kName = "PSP";
constexpr char kSignature[] = "Paint Shop Pro Image File\n\x1a";
constexpr size_t kFileHeaderBytes = 36;

enum BlockId : uint16_t {
  kImageBlock = 0,
  kPaletteBlock = 2,
  kLayerBankBlock = 3,
  kLayerBlock = 4,
  kChannelBlock = 5
};
enum Compression : uint16_t { kNone = 0, kRle = 1, kLz77 = 2 };
enum BitmapType : uint16_t { kImageBitmap = 0, kTransparencyMask = 1 };

Status StreamError() { return Status::Error(Format("Stream read error in %s file.", kName)); }
Status InvalidFormat() {
  return Status::Error(Format("Cannot load image. Invalid or unexpected %s image format.", kName));
}
Status CompressionError() {
  return Status::Error(Format("Cannot load image. Compression error found in %s file.", kName));
}
Status PaletteError() {
  return Status::Error(Format("Cannot load image. Palette in %s file is invalid.", kName));
}

struct Block {
  uint16_t id = 0;
  ByteCursor body;  // the block's data, without its header
};

// Reads the block header at the cursor and moves the cursor past the block.
Status NextBlock(ByteCursor& in, int major, Block& block) {
  const std::span<const uint8_t> magic = in.take(4);
  if (magic.empty()) return StreamError();
  if (std::memcmp(magic.data(), "~BK\0", 4) != 0) return InvalidFormat();
  block.id = in.u16le();
  if (major <= 3) in.skip(4);  // initial length: the total length covers it
  const uint32_t total = in.u32le();
  const std::span<const uint8_t> body = in.take(total);
  if (in.overrun()) return StreamError();
  block.body = ByteCursor(body);
  return Status::Ok();
}

// From version 4 on a chunk starts with its length (which counts itself):
// returns a cursor over the chunk and moves `in` past it.
Status Chunk(ByteCursor& in, int major, size_t fixedBytes, ByteCursor& chunk) {
  if (major <= 3) {
    chunk = ByteCursor(in.take(std::min(fixedBytes, in.remaining())));
    return Status::Ok();
  }
  const size_t start = in.position();
  const uint32_t length = in.u32le();
  if (in.overrun() || length < 4 || !in.seek(start)) return StreamError();
  chunk = ByteCursor(in.take(length));
  if (in.overrun()) return StreamError();
  chunk.skip(4);
  return Status::Ok();
}

struct Picture {
  int64_t width = 0, height = 0;
  uint16_t compression = kNone;
  uint16_t depth = 0;
  bool grey = false;
  std::array<TColor32, 256> palette{};
  int paletteSize = 0;
};

struct Rect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

Rect ReadRect(ByteCursor& in) {
  Rect r;
  r.left = in.i32le();
  r.top = in.i32le();
  r.right = in.i32le();
  r.bottom = in.i32le();
  return r;
}

// Unpacks one channel of width x height samples into `dst`, rows given
// `stride` bytes apart in the uncompressed layout (rows may be padded to four
// bytes when uncompressed).
Status DecodeChannel(std::span<const uint8_t> data, uint16_t compression, size_t width, size_t height,
                     std::vector<uint8_t>& dst) {
  const size_t count = width * height;
  dst.assign(count, 0);
  if (compression == kNone) {
    const size_t padded = (width + 3) / 4 * 4;
    if (data.size() >= padded * height) {
      for (size_t y = 0; y < height; ++y)
        std::memcpy(dst.data() + y * width, data.data() + y * padded, width);
    } else if (data.size() >= count) {
      std::memcpy(dst.data(), data.data(), count);
    } else {
      return StreamError();
    }
    return Status::Ok();
  }
  if (compression == kRle) {
    // A count above 128 repeats the next byte (count - 128) times; any other
    // count copies that many bytes.
    ByteCursor in(data);
    size_t n = 0;
    while (n < count) {
      uint32_t run = in.u8();
      if (in.overrun()) return StreamError();
      if (run > 128) {
        run -= 128;
        if (run > count - n) return CompressionError();
        const uint8_t v = in.u8();
        std::memset(dst.data() + n, v, run);
      } else {
        if (run > count - n) return CompressionError();
        const std::span<const uint8_t> literal = in.take(run);
        if (run != 0 && literal.empty()) return StreamError();
        if (run != 0) std::memcpy(dst.data() + n, literal.data(), run);
      }
      if (in.overrun()) return StreamError();
      n += run;
    }
    return Status::Ok();
  }
  // LZ77: a zlib stream of the unpadded samples.
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return CompressionError();
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = dst.data();
  z.avail_out = static_cast<uInt>(count);
  const int rc = inflate(&z, Z_FINISH);
  const size_t produced = count - z.avail_out;
  inflateEnd(&z);
  if (produced != count) return rc == Z_BUF_ERROR || rc == Z_STREAM_END ? StreamError() : CompressionError();
  if (rc != Z_STREAM_END && rc != Z_BUF_ERROR && rc != Z_OK) return CompressionError();
  return Status::Ok();
}

Status ReadAttributes(ByteCursor& body, int major, Picture& p) {
  ByteCursor c;
  VELMORA_TRY(Chunk(body, major, 38, c));
  p.width = c.i32le();
  p.height = c.i32le();
  c.skip(8 + 1);  // resolution and its unit
  p.compression = c.u16le();
  p.depth = c.u16le();
  c.skip(2 + 4);  // planes, colour count
  p.grey = c.u8() != 0;
  if (c.overrun()) return StreamError();
  VELMORA_TRY(CheckPictureSize(p.width, p.height, kName));
  if (p.compression > kLz77)
    return Status::Error(
        Format("Cannot load image. %s not supported for %s files.", "This compression", kName));
  if (p.depth != 8 && p.depth != 24) return Status::Error(Format("Invalid color format in %s file.", kName));
  return Status::Ok();
}

Status ReadPalette(ByteCursor& body, int major, Picture& p) {
  ByteCursor c;
  VELMORA_TRY(Chunk(body, major, 4, c));
  const uint32_t count = c.u32le();
  if (c.overrun()) return StreamError();
  if (count == 0 || count > 256) return PaletteError();
  // The quads follow the chunk.
  ByteCursor& entries = body;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t b = entries.u8(), g = entries.u8(), r = entries.u8();
    entries.skip(1);
    p.palette[i] = Color32(r, g, b);
  }
  if (entries.overrun()) return StreamError();
  p.paletteSize = static_cast<int>(count);
  return Status::Ok();
}

// The largest number of samples `compression` can make out of `bytes` bytes.
uint64_t MaxSamples(uint16_t compression, size_t bytes) {
  if (compression == kNone) return bytes;
  if (compression == kRle) return uint64_t(bytes) * 64;  // 2 bytes make at most 127 samples
  return uint64_t(bytes) * kMaxDeflateRatio;
}

// Draws one layer onto the canvas with the normal blend.
Status ReadLayer(ByteCursor& body, int major, const Picture& p, TBitmap32& canvas) {
  ByteCursor info;
  // Version 3: a 256-byte name and the fixed fields (119 bytes after it,
  // ending with the bitmap and channel counts).
  VELMORA_TRY(Chunk(body, major, 256 + 119, info));
  if (major >= 4) {
    const uint16_t nameLength = info.u16le();
    info.skip(nameLength);
  } else {
    info.skip(256);
  }
  const uint8_t type = info.u8();
  const Rect image = ReadRect(info);
  const Rect saved = ReadRect(info);
  const uint8_t opacity = info.u8();
  info.skip(1);  // blend mode: drawn as normal
  const uint8_t visibility = info.u8();
  if (info.overrun()) return StreamError();
  // Version 3 layers are all raster layers; from version 4 on, 1 is raster
  // and 2 a floating raster selection, the others have no pixels of their own.
  const bool raster = major <= 3 || type == 1 || type == 2;
  const bool visible = (visibility & 1) != 0;

  const int64_t w = int64_t(saved.right) - saved.left, h = int64_t(saved.bottom) - saved.top;
  const bool empty = w == 0 || h == 0;
  if (!empty) VELMORA_TRY(CheckPictureSize(w, h, kName));
  const int64_t x0 = int64_t(image.left) + saved.left, y0 = int64_t(image.top) + saved.top;

  const int colorChannels = p.depth == 24 ? 3 : 1;
  std::array<std::vector<uint8_t>, 4> channels;  // red, green, blue (or the index), alpha
  std::array<bool, 4> present{};
  // From version 4 on, the program writes a bitmap chunk (its length, the
  // bitmap count and the channel count) between the information chunk and the
  // channel blocks. The counts add nothing the blocks do not tell, so the
  // chunk is stepped over; a layer going straight to its blocks is read too.
  if (major >= 4 && body.remaining() >= 4 &&
      std::memcmp(body.bytes().data() + body.position(), "~BK\0", 4) != 0) {
    ByteCursor bitmaps;
    VELMORA_TRY(Chunk(body, major, 8, bitmaps));
  }
  while (!body.atEnd()) {
    Block block;
    VELMORA_TRY(NextBlock(body, major, block));
    if (block.id != kChannelBlock || empty || !raster || !visible) continue;
    ByteCursor c;
    VELMORA_TRY(Chunk(block.body, major, 12, c));
    const uint32_t compressedLength = c.u32le();
    c.skip(4);  // uncompressed length: the layer's size decides
    const uint16_t bitmapType = c.u16le();
    const uint16_t channelType = c.u16le();
    if (c.overrun()) return StreamError();
    int slot = -1;
    if (bitmapType == kImageBitmap) {
      if (colorChannels == 1 && channelType == 0) slot = 0;
      if (colorChannels == 3 && channelType >= 1 && channelType <= 3) slot = channelType - 1;
    } else if (bitmapType == kTransparencyMask) {
      slot = 3;
    }
    if (slot < 0) continue;
    const std::span<const uint8_t> data = block.body.take(compressedLength);
    if (block.body.overrun()) return StreamError();
    if (uint64_t(w) * uint64_t(h) > MaxSamples(p.compression, data.size())) return StreamError();
    VELMORA_TRY(DecodeChannel(data, p.compression, size_t(w), size_t(h), channels[size_t(slot)]));
    present[size_t(slot)] = true;
  }
  if (empty || !raster || !visible) return Status::Ok();
  for (int k = 0; k < colorChannels; ++k)
    if (!present[size_t(k)]) return InvalidFormat();
  const bool indexed = colorChannels == 1 && !p.grey;
  if (indexed && p.paletteSize == 0) return PaletteError();

  // Clip the layer to the canvas.
  const int64_t cx0 = std::max<int64_t>(x0, 0), cy0 = std::max<int64_t>(y0, 0);
  const int64_t cx1 = std::min<int64_t>(x0 + w, canvas.Width()),
                cy1 = std::min<int64_t>(y0 + h, canvas.Height());
  for (int64_t y = cy0; y < cy1; ++y) {
    TColor32* dst = canvas.ScanLine(int(y));
    const size_t row = size_t(y - y0) * size_t(w);
    for (int64_t x = cx0; x < cx1; ++x) {
      const size_t i = row + size_t(x - x0);
      TColor32 color;
      if (colorChannels == 3) {
        color = Color32(channels[0][i], channels[1][i], channels[2][i]);
      } else if (indexed) {
        const uint8_t index = channels[0][i];
        if (index >= p.paletteSize) return PaletteError();
        color = p.palette[index];
      } else {
        color = Color32(channels[0][i], channels[0][i], channels[0][i]);
      }
      const uint32_t mask = present[3] ? channels[3][i] : 255;
      const uint32_t a = (mask * opacity + 127) / 255;
      if (a == 255) {
        dst[x] = color;
        continue;
      }
      if (a == 0) continue;
      // Normal blend, straight alpha: the layer over what is below.
      const TColor32 under = dst[x];
      const uint32_t ua = AlphaOf(under);
      const uint32_t outA = a * 255 + ua * (255 - a);  // x 255
      const auto mix = [&](uint8_t s, uint8_t d) {
        return static_cast<uint8_t>((s * a * 255 + d * ua * (255 - a) + outA / 2) / outA);
      };
      dst[x] = Color32(mix(RedOf(color), RedOf(under)), mix(GreenOf(color), GreenOf(under)),
                       mix(BlueOf(color), BlueOf(under)), static_cast<uint8_t>((outA + 127) / 255));
    }
  }
  return Status::Ok();
}

}  // namespace

Status DecodePsp(std::span<const uint8_t> bytes, const DecodeHints&, DecodedPicture& out) {
  if (bytes.size() < kFileHeaderBytes) return StreamError();
  if (std::memcmp(bytes.data(), kSignature, sizeof(kSignature) - 1) != 0) return InvalidFormat();
  ByteCursor in(bytes);
  in.seek(32);
  const int major = in.u16le();
  in.skip(2);
  if (major < 3)
    return Status::Error(Format("Cannot load image. %s not supported for %s files.", "This version", kName));

  Picture p;
  bool haveAttributes = false, haveLayers = false;
  TBitmap32 canvas;
  while (!in.atEnd()) {
    Block block;
    VELMORA_TRY(NextBlock(in, major, block));
    if (block.id == kImageBlock && !haveAttributes) {
      VELMORA_TRY(ReadAttributes(block.body, major, p));
      // The canvas cannot hold more pixels than the file's data can make.
      if (uint64_t(p.width) * uint64_t(p.height) > MaxSamples(p.compression, bytes.size()))
        return StreamError();
      VELMORA_TRY(canvas.SetSize(int(p.width), int(p.height)));
      canvas.Fill(0);
      haveAttributes = true;
    } else if (block.id == kPaletteBlock && haveAttributes) {
      VELMORA_TRY(ReadPalette(block.body, major, p));
    } else if (block.id == kLayerBankBlock && haveAttributes) {
      while (!block.body.atEnd()) {
        Block layer;
        VELMORA_TRY(NextBlock(block.body, major, layer));
        if (layer.id == kLayerBlock) VELMORA_TRY(ReadLayer(layer.body, major, p, canvas));
      }
      haveLayers = true;
    }
  }
  if (!haveAttributes || !haveLayers) return InvalidFormat();
  bool transparent = false;
  for (TColor32 c : canvas.Pixels()) transparent = transparent || AlphaOf(c) != 255;
  out.bitmap.TakePixels(canvas);
  out.keepsAlpha = transparent;
  return Status::Ok();
}

}  // namespace velmora
