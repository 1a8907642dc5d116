// The JPEG writer, on libjpeg-turbo. Rows go straight from the TBitmap32 to
// the encoder (its blue, green, red, alpha bytes read as BGRX), top row first,
// so the file comes out upright without an intermediate 24-bit copy.
#include <bit>
#include <csetjmp>
#include <cstdio>

#include "imaging/FileIO.h"
#include "output/SavePicture.h"

// jpeglib.h needs <cstdio> (FILE, size_t) before it.
// clang-format off
#include <jpeglib.h>
// clang-format on
#include "output/JpegErrorTrap.h"

namespace velmora {

extern "C" {
static void OnJpegError(j_common_ptr info) {
  auto* error = reinterpret_cast<JpegError*>(info->err);
  error->message[0] = '\0';
  (*info->err->format_message)(info, error->message);
  error->code = info->err->msg_code;
  std::longjmp(error->jump, 1);
}

// Warnings are not errors and the program has no console to print them on.
static void OnJpegMessage(j_common_ptr) {}
}

jpeg_error_mgr* TrapJpegErrors(JpegError& error) {
  jpeg_error_mgr* manager = jpeg_std_error(&error.manager);
  error.manager.error_exit = OnJpegError;
  error.manager.output_message = OnJpegMessage;
  return manager;
}

std::string JpegWriteError(const std::string& path, const char* what, const JpegError& error) {
  // One line: the encoder's text goes in as it is, but a line break in it
  // (or in the path) would let a terminal overwrite the start of the line.
  std::string message = Format("%s: Error %s image: %s (JPEG library error number %d)", path.c_str(), what,
                               error.message, error.code);
  for (char& c : message)
    if (c == '\r' || c == '\n') c = ' ';
  return message;
}

namespace {

enum class Stage { Done, Initialising, Saving };

// Only trivially destructible objects live in this function and the state it
// shares with the error handler is volatile, so the jump back is safe.
Stage Encode(jpeg_compress_struct* info, JpegError* error, const TBitmap32& bitmap, std::FILE* file,
             int quality, bool progressive) {
  info->err = TrapJpegErrors(*error);
  volatile Stage stage = Stage::Initialising;
  volatile bool created = false;
  if (setjmp(error->jump)) {
    if (created) jpeg_destroy_compress(info);
    return stage;
  }
  jpeg_create_compress(info);
  created = true;
  stage = Stage::Saving;

  jpeg_stdio_dest(info, file);
  info->image_width = static_cast<JDIMENSION>(bitmap.Width());
  info->image_height = static_cast<JDIMENSION>(bitmap.Height());
  info->input_components = 4;
  // A TColor32 is 0xAARRGGBB: in memory B, G, R, A on a little-endian machine.
  info->in_color_space = std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;
  jpeg_set_defaults(info);
  jpeg_set_quality(info, quality, TRUE);
  // YCbCr with the chroma halved both ways (4:2:0).
  info->comp_info[0].h_samp_factor = 2;
  info->comp_info[0].v_samp_factor = 2;
  for (int c = 1; c < 3; ++c) info->comp_info[c].h_samp_factor = info->comp_info[c].v_samp_factor = 1;
  if (progressive) jpeg_simple_progression(info);

  jpeg_start_compress(info, TRUE);
  while (info->next_scanline < info->image_height) {
    // The encoder only reads its input rows.
    auto* row = reinterpret_cast<JSAMPLE*>(
        const_cast<TColor32*>(bitmap.ScanLine(static_cast<int>(info->next_scanline))));
    jpeg_write_scanlines(info, &row, 1);
  }
  jpeg_finish_compress(info);
  jpeg_destroy_compress(info);
  return Stage::Done;
}

}  // namespace

Status WriteJpegFile(const TBitmap32& bitmap, const std::string& path, int quality, bool progressive) {
  if (bitmap.Empty()) return Status::Error("No image to save");
  return WriteFileAtomically(path, [&](std::FILE* file) {
    jpeg_compress_struct info{};
    JpegError error{};
    const Stage stage = Encode(&info, &error, bitmap, file, quality, progressive);
    if (stage == Stage::Done) return Status::Ok();
    return Status::Error(
        JpegWriteError(path, stage == Stage::Initialising ? "initialising for" : "saving", error));
  });
}

}  // namespace velmora
