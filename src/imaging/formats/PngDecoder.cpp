// PNG decoding through libpng. libpng reports errors by longjmp, so the calls
// into it are made from small guarded functions that hold no C++ object
// across a library call; the row table and the bitmap live in the caller.
// libpng's transformations deliver B, G, R, 255 bytes per pixel, which on a
// little-endian machine is a TColor32 with alpha 255, straight into the bitmap.
#include "imaging/formats/PngDecoder.h"

#include <png.h>

#include <bit>
#include <cstring>
#include <vector>

#include "imaging/ByteCursor.h"
#include "imaging/PictureLimits.h"

namespace velmora {

// Pixels are written as B, G, R, A bytes and read as TColor32 values.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

enum class Stage { kHeader, kRows };

struct PngSession {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ByteCursor input;
  Stage stage = Stage::kHeader;
  bool truncated = false;
  char message[200] = {};  // libpng's last error text, for choosing our message
  ~PngSession() {
    if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
  }
};

void OnError(png_structp png, png_const_charp message) {
  auto* s = static_cast<PngSession*>(png_get_error_ptr(png));
  std::strncpy(s->message, message != nullptr ? message : "", sizeof(s->message) - 1);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadBytes(png_structp png, png_bytep data, size_t length) {
  auto* s = static_cast<PngSession*>(png_get_io_ptr(png));
  const std::span<const uint8_t> chunk = s->input.take(length);
  if (chunk.size() != length) {
    s->truncated = true;
    png_error(png, "unexpected end of file");
  }
  std::memcpy(data, chunk.data(), length);
}

// Ancillary chunks the picture does not need; handling them as unknown makes
// libpng skip them unread, which also keeps compressed text and colour
// profiles (decompression bombs) out of the way.
constexpr png_byte kIgnoredChunks[] =
    "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0sCAL\0"
    "sPLT\0sRGB\0tEXt\0tIME\0zTXt";
constexpr int kIgnoredChunkCount = 17;

bool ReadInfoGuarded(PngSession& s) {
  if (setjmp(png_jmpbuf(s.png))) return false;
  png_set_read_fn(s.png, &s, ReadBytes);
  png_set_user_limits(s.png, kMaxPictureSide, kMaxPictureSide);
  png_set_keep_unknown_chunks(s.png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks, kIgnoredChunkCount);
  png_read_info(s.png, s.info);
  return true;
}

// Sets up the conversion of any PNG pixel to B, G, R, 255 bytes and returns
// the row length it gives, which the caller checks against width x 4.
bool SetTransformsGuarded(PngSession& s, size_t* rowBytes) {
  if (setjmp(png_jmpbuf(s.png))) return false;
  const int colorType = png_get_color_type(s.png, s.info);
  const int bitDepth = png_get_bit_depth(s.png, s.info);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(s.png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(s.png);
  if (bitDepth == 16) png_set_scale_16(s.png);
  // Expanding a palette with tRNS adds an alpha channel, so transparency of
  // any kind is stripped; the stored colours stay as they are.
  if ((colorType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(s.png, s.info, PNG_INFO_tRNS) != 0)
    png_set_strip_alpha(s.png);
  if ((colorType & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(s.png);
  png_set_bgr(s.png);
  png_set_filler(s.png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(s.png);
  png_read_update_info(s.png, s.info);
  *rowBytes = png_get_rowbytes(s.png, s.info);
  return true;
}

bool ReadRowsGuarded(PngSession& s, png_bytepp rows) {
  if (setjmp(png_jmpbuf(s.png))) return false;
  s.stage = Stage::kRows;
  // Interlaced pictures need every row in place for all seven passes, which
  // png_read_image does; png_read_end is skipped, as trailing chunks do not
  // change the picture.
  png_read_image(s.png, rows);
  return true;
}

bool Contains(const char* text, const char* part) { return std::strstr(text, part) != nullptr; }

bool ContainsNoCase(const char* text, const char* part) { return strcasestr(text, part) != nullptr; }

// libpng's error texts are free-form; this maps the ones the reader has a
// message for and calls everything else during the pixel data a compression
// error (the pixels are one deflate stream, so damage there is damage to it).
Status LibraryError(const PngSession& s) {
  if (s.truncated) return Status::Error("Stream read error in PNG file.");
  const char* m = s.message;
  if (Contains(m, "CRC")) return Status::Error("Cannot load image. CRC error found in PNG file.");
  if (ContainsNoCase(m, "critical chunk"))
    return Status::Error("Cannot load PNG image. Unexpected but critical chunk detected.");
  if (Contains(m, "PLTE") || ContainsNoCase(m, "palette"))
    return Status::Error("Cannot load image. Palette in PNG file is invalid.");
  if (Contains(m, "Extra compressed data") || Contains(m, "Too much image data"))
    return Status::Error("Cannot load image. Extra compressed data found in PNG file.");
  if (Contains(m, "exceeds user limit")) return CheckPictureSize(kMaxPictureSide + 1, 1, "PNG");
  if (s.stage == Stage::kRows)
    return Status::Error("Cannot load image. Compression error found in PNG file.");
  return Status::Error("Cannot load image. Invalid or unexpected PNG image format.");
}

// Checks the size that IHDR claims before libpng sees the file: the limits
// message is clearer than libpng's, and a picture whose raw rows could not
// come out of the bytes present is refused before its bitmap exists.
Status CheckHeader(std::span<const uint8_t> bytes) {
  ByteCursor c(bytes);
  const std::span<const uint8_t> signature = c.take(8);
  if (signature.empty() || std::memcmp(signature.data(), kSignature, 8) != 0)
    return Status::Error("Cannot load image. Invalid or unexpected PNG image format.");
  const uint32_t length = c.u32be();
  const uint32_t type = c.u32be();
  const uint32_t width = c.u32be();
  const uint32_t height = c.u32be();
  if (c.overrun()) return Status::Error("Stream read error in PNG file.");
  if (length != 13 || type != 0x49484452u)  // "IHDR" must come first
    return Status::Error("Cannot load image. Invalid or unexpected PNG image format.");
  return CheckPictureSize(width, height, "PNG");
}

Status CheckRawSize(const PngSession& s, size_t fileBytes) {
  const int64_t width = png_get_image_width(s.png, s.info);
  const int64_t height = png_get_image_height(s.png, s.info);
  VELMORA_TRY(CheckPictureSize(width, height, "PNG"));
  const int64_t bitsPerPixel = int64_t(png_get_channels(s.png, s.info)) * png_get_bit_depth(s.png, s.info);
  // Rows of a non-interlaced picture, each with its filter byte; interlacing
  // only adds to this, so it is a lower bound either way. No overflow: both
  // sides are at most 65535 and a pixel at most 64 bits.
  const int64_t raw = height * (1 + (width * bitsPerPixel + 7) / 8);
  if (raw / kMaxDeflateRatio > static_cast<int64_t>(fileBytes))
    return Status::Error("Stream read error in PNG file.");
  return Status::Ok();
}

}  // namespace

Status DecodePng(std::span<const uint8_t> bytes, const DecodeHints& /*hints*/, DecodedPicture& out) {
  VELMORA_TRY(CheckHeader(bytes));
  PngSession s;
  s.input = ByteCursor(bytes);
  s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, OnError, OnWarning);
  if (s.png != nullptr) s.info = png_create_info_struct(s.png);
  if (s.png == nullptr || s.info == nullptr)
    return Status::Error("Cannot load image. Out of memory for PNG file.");

  if (!ReadInfoGuarded(s)) return LibraryError(s);
  VELMORA_TRY(CheckRawSize(s, bytes.size()));
  const int width = static_cast<int>(png_get_image_width(s.png, s.info));
  const int height = static_cast<int>(png_get_image_height(s.png, s.info));

  size_t rowBytes = 0;
  if (!SetTransformsGuarded(s, &rowBytes)) return LibraryError(s);
  if (rowBytes != static_cast<size_t>(width) * 4) return Status::Error("Invalid color format in PNG file.");

  VELMORA_TRY(out.bitmap.SetSize(width, height));
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y)
    rows[static_cast<size_t>(y)] = reinterpret_cast<png_bytep>(out.bitmap.ScanLine(y));
  if (!ReadRowsGuarded(s, rows.data())) return LibraryError(s);

  out.keepsAlpha = false;
  out.storedWidth = width;
  out.storedHeight = height;
  return Status::Ok();
}

}  // namespace velmora
