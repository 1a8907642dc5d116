// JPEG decoding through libjpeg. The library reports fatal errors through a
// longjmp, so every call into it happens inside one of the small "guarded"
// functions below, which hold no C++ object across a library call: a longjmp
// then skips no destructor. Everything with a destructor lives in the caller.
#include "imaging/formats/JpegDecoder.h"

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>

// jpeglib.h uses size_t and FILE without including their headers.
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "imaging/EmbeddedPreview.h"
#include "imaging/MemoryBudget.h"
#include "imaging/Orientation.h"
#include "imaging/PictureLimits.h"

namespace velmora {

// Pixels are written as B, G, R, A bytes and read as TColor32 values.
static_assert(std::endian::native == std::endian::little);

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;  // first, so the library's pointer to it is a pointer to us
  std::jmp_buf jump;
};

struct ScanLimit {
  jpeg_progress_mgr pub;  // first, for the same reason
  bool exceeded;
};

struct JpegSession {
  jpeg_decompress_struct cinfo{};
  ErrorManager err{};
  ScanLimit scans{};
  bool created = false;
  ~JpegSession() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  std::longjmp(err->jump, 1);
}

// Warnings (a file that ends early, corrupt data that the library skips) are
// not printed: the picture is shown as far as it could be decoded.
void OutputMessage(j_common_ptr) {}

void CheckScanCount(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number <= kMaxJpegScans) return;
  reinterpret_cast<ScanLimit*>(cinfo->progress)->exceeded = true;
  cinfo->err->msg_code = JERR_NOT_COMPILED;
  ErrorExit(cinfo);
}

bool ReadHeaderGuarded(JpegSession& s, const uint8_t* data, size_t size, bool keepApp1) {
  if (setjmp(s.err.jump)) return false;
  // Set before the call: jpeg_create_decompress clears `mem` first thing, so
  // destroying a half-created decompressor is safe.
  s.created = true;
  jpeg_create_decompress(&s.cinfo);
  s.cinfo.progress = &s.scans.pub;
  // APP1 segments are kept for the EXIF orientation tag.
  if (keepApp1) jpeg_save_markers(&s.cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_mem_src(&s.cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&s.cinfo, TRUE);
  return true;
}

// The payload of the first EXIF APP1 segment; empty without one.
std::span<const uint8_t> ExifPayload(const jpeg_decompress_struct& cinfo) {
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
    if (m->marker != JPEG_APP0 + 1 || m->data == nullptr) continue;
    const std::span<const uint8_t> payload(m->data, m->data_length);
    if (payload.size() >= 6 && std::memcmp(payload.data(), "Exif\0", 6) == 0) return payload;
  }
  return {};
}

// The photo's EXIF thumbnail in `out` when it may stand in for the photo
// (see EmbeddedPreview.h); false leaves `out` to the full decode.
bool DecodeExifPreview(const jpeg_decompress_struct& cinfo, const DecodeHints& hints, int orientation,
                       DecodedPicture& out) {
  const std::span<const uint8_t> thumb = ExifThumbnail(ExifPayload(cinfo));
  if (thumb.empty()) return false;
  DecodeHints plain;
  plain.applyOrientation = false;  // the photo's tag turns its thumbnail too
  DecodedPicture preview;
  if (!DecodeJpeg(thumb, plain, preview).ok() || !preview.warning.empty()) return false;
  if (!ApplyOrientation(preview.bitmap, orientation).ok()) return false;
  const bool swap = OrientationSwapsSides(orientation);
  const int photoW = static_cast<int>(swap ? cinfo.image_height : cinfo.image_width);
  const int photoH = static_cast<int>(swap ? cinfo.image_width : cinfo.image_height);
  if (!AcceptPreview(preview.bitmap, photoW, photoH, hints)) return false;
  out.bitmap = std::move(preview.bitmap);
  out.keepsAlpha = false;
  out.alphaWritten = true;
  out.storedWidth = photoW;
  out.storedHeight = photoH;
  out.orientation = orientation;
  out.fromPreview = true;
  return true;
}

bool ChooseScaleGuarded(JpegSession& s, const DecodeHints& hints, bool swapSides) {
  if (setjmp(s.err.jump)) return false;
  // Without a hint only 8/8 is tried; with one, the sizes are offered from
  // the smallest up, and 8/8 is taken when none is accepted.
  for (unsigned m = hints.acceptScaled ? 1 : 8; m <= 8; ++m) {
    s.cinfo.scale_num = m;
    s.cinfo.scale_denom = 8;
    jpeg_calc_output_dimensions(&s.cinfo);
    if (m == 8) break;
    const int w = static_cast<int>(s.cinfo.output_width);
    const int h = static_cast<int>(s.cinfo.output_height);
    if (swapSides ? hints.acceptScaled(h, w) : hints.acceptScaled(w, h)) break;
  }
  // A picture larger than the thread's memory budget comes out at the largest
  // scale that fits it rather than not at all.
  const int64_t budget = MemoryScopeCapacity();
  while (s.cinfo.scale_num > 1 &&
         int64_t(s.cinfo.output_width) * s.cinfo.output_height * int64_t(sizeof(TColor32)) > budget) {
    --s.cinfo.scale_num;
    jpeg_calc_output_dimensions(&s.cinfo);
  }
  return true;
}

// x / 255 rounded to nearest, exact for 0 <= x <= 255 * 255.
inline uint8_t Div255(unsigned x) { return static_cast<uint8_t>((x + 128 + ((x + 128) >> 8)) >> 8); }

// CMYK rows as the library delivers them (C, M, Y, K bytes) become B, G, R,
// 255 in place. Files with an Adobe marker store the inks inverted (0 means
// full ink), which is how Adobe's programs write every CMYK and YCCK JPEG;
// plain files store them the straight way.
void CmykRowsToBgra(uint8_t* p, size_t pixels, bool inverted) {
  for (size_t i = 0; i < pixels; ++i, p += 4) {
    unsigned c = p[0], m = p[1], y = p[2], k = p[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    p[0] = Div255(y * k);
    p[1] = Div255(m * k);
    p[2] = Div255(c * k);
    p[3] = 255;
  }
}

enum class DecodeOutcome { kDone, kLibraryError, kUnexpectedLayout };

DecodeOutcome DecodeRowsGuarded(JpegSession& s, TBitmap32& bitmap, bool cmyk) {
  if (setjmp(s.err.jump)) return DecodeOutcome::kLibraryError;
  jpeg_start_decompress(&s.cinfo);
  if (s.cinfo.output_components != 4 || static_cast<int>(s.cinfo.output_width) != bitmap.Width() ||
      static_cast<int>(s.cinfo.output_height) != bitmap.Height())
    return DecodeOutcome::kUnexpectedLayout;
  const bool inverted = s.cinfo.saw_Adobe_marker;
  constexpr int kBatch = 16;
  JSAMPROW rows[kBatch];
  while (s.cinfo.output_scanline < s.cinfo.output_height) {
    const int first = static_cast<int>(s.cinfo.output_scanline);
    const int count = std::min(kBatch, bitmap.Height() - first);
    for (int i = 0; i < count; ++i) rows[i] = reinterpret_cast<JSAMPROW>(bitmap.ScanLine(first + i));
    const JDIMENSION got = jpeg_read_scanlines(&s.cinfo, rows, static_cast<JDIMENSION>(count));
    if (got == 0) break;  // cannot happen with a memory source; guards the loop
    if (cmyk)
      for (JDIMENSION i = 0; i < got; ++i)
        CmykRowsToBgra(reinterpret_cast<uint8_t*>(rows[i]), static_cast<size_t>(bitmap.Width()), inverted);
  }
  // No jpeg_finish_decompress: the picture is complete, and whatever follows
  // its last scan (trailing markers, junk) must not turn success into failure.
  return DecodeOutcome::kDone;
}

Status LibraryError(const JpegSession& s) {
  if (s.scans.exceeded)
    return Status::Error(Format("Cannot load image. The JPEG file has more than %d scans.", kMaxJpegScans));
  // The library's own words for what is wrong, which say more than its
  // message number alone.
  char text[JMSG_LENGTH_MAX] = {};
  (*s.err.pub.format_message)(reinterpret_cast<j_common_ptr>(const_cast<jpeg_decompress_struct*>(&s.cinfo)),
                              text);
  return Status::Error(Format("JPEG error: %s", text));
}

Status CheckClaimedSize(const jpeg_decompress_struct& cinfo, size_t fileBytes) {
  const int64_t width = cinfo.image_width, height = cinfo.image_height;
  VELMORA_TRY(CheckPictureSize(width, height, "JPEG"));
  const int64_t pixels = width * height;
  if (pixels > kJpegPixelsAlwaysAllowed && pixels / kMaxJpegPixelsPerByte > static_cast<int64_t>(fileBytes))
    return Status::Error(
        Format("Cannot load image. The JPEG file of %zu bytes is too short for a picture of "
               "%lld x %lld pixels.",
               fileBytes, static_cast<long long>(width), static_cast<long long>(height)));
  return Status::Ok();
}

void PrepareSession(JpegSession& s) {
  s.cinfo.err = jpeg_std_error(&s.err.pub);
  s.err.pub.error_exit = ErrorExit;
  s.err.pub.output_message = OutputMessage;
  s.scans.pub.progress_monitor = CheckScanCount;
}

}  // namespace

bool DecodeJpegPreview(std::span<const uint8_t> head, const DecodeHints& hints, DecodedPicture& out) {
  if (!hints.usePreviews || !hints.acceptScaled) return false;
  JpegSession s;
  PrepareSession(s);
  if (!ReadHeaderGuarded(s, head.data(), head.size(), true)) return false;
  if (!CheckPictureSize(s.cinfo.image_width, s.cinfo.image_height, "JPEG").ok()) return false;
  const int orientation = hints.applyOrientation ? ExifOrientation(ExifPayload(s.cinfo)) : kOrientationUpright;
  return DecodeExifPreview(s.cinfo, hints, orientation, out);
}

Status DecodeJpeg(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out) {
  JpegSession s;
  PrepareSession(s);

  const bool previews = hints.usePreviews && hints.acceptScaled;
  if (!ReadHeaderGuarded(s, bytes.data(), bytes.size(), hints.applyOrientation || previews))
    return LibraryError(s);
  VELMORA_TRY(CheckClaimedSize(s.cinfo, bytes.size()));
  const int orientation = hints.applyOrientation ? ExifOrientation(ExifPayload(s.cinfo)) : kOrientationUpright;
  if (previews && DecodeExifPreview(s.cinfo, hints, orientation, out)) return Status::Ok();

  // The library converts YCCK to CMYK itself; CMYK is turned into RGB here.
  // Everything else goes straight to B, G, R, 255 bytes, which on a
  // little-endian machine is exactly a TColor32 with alpha 255.
  const bool cmyk = s.cinfo.jpeg_color_space == JCS_CMYK || s.cinfo.jpeg_color_space == JCS_YCCK;
  s.cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  // The accurate integer IDCT is SIMD-accelerated and keeps colours true;
  // fancy upsampling keeps chroma edges smooth for a small extra cost.
  s.cinfo.dct_method = JDCT_ISLOW;
  s.cinfo.do_fancy_upsampling = TRUE;
  // Bounds the library's own buffers (a progressive file keeps every
  // coefficient) near the size of the largest bitmap we would allocate.
  s.cinfo.mem->max_memory_to_use = static_cast<long>(kMaxPicturePixels * 6);

  if (!ChooseScaleGuarded(s, hints, OrientationSwapsSides(orientation))) return LibraryError(s);
  // A progressive file is decoded from a buffer holding every coefficient
  // of the picture at full size (two bytes each), whatever the output scale.
  if (s.cinfo.progressive_mode)
    VELMORA_TRY(
        ChargeMemory(int64_t(s.cinfo.image_width) * s.cinfo.image_height * s.cinfo.num_components * 2));
  // The decoder writes every row; those it never reaches are cleared below.
  VELMORA_TRY(out.bitmap.SetSizeForOverwrite(static_cast<int>(s.cinfo.output_width),
                                             static_cast<int>(s.cinfo.output_height)));

  const DecodeOutcome outcome = DecodeRowsGuarded(s, out.bitmap, cmyk);
  for (int y = static_cast<int>(s.cinfo.output_scanline); y < out.bitmap.Height(); ++y)
    std::fill_n(out.bitmap.ScanLine(y), out.bitmap.Width(), TColor32(0));
  switch (outcome) {
    case DecodeOutcome::kDone:
      break;
    case DecodeOutcome::kLibraryError:
      return LibraryError(s);
    case DecodeOutcome::kUnexpectedLayout:
      return Status::Error("Cannot load image. Invalid or unexpected JPEG image format.");
  }
  if (s.err.pub.num_warnings > 0) {
    // The library's own words for its last warning ("Premature end of JPEG file").
    char text[JMSG_LENGTH_MAX] = {};
    s.err.pub.format_message(reinterpret_cast<j_common_ptr>(&s.cinfo), text);
    out.warning = text;
  }
  out.keepsAlpha = false;
  // Both output layouts end every pixel with 255; rows the decoder never
  // reached would not.
  out.alphaWritten = s.cinfo.output_scanline == s.cinfo.output_height;
  out.storedWidth = static_cast<int>(s.cinfo.image_width);
  out.storedHeight = static_cast<int>(s.cinfo.image_height);
  out.orientation = orientation;
  return TurnUpright(out);
}

}  // namespace velmora
