// Camera raw files through LibRaw, read from memory. A library photo only
// needs a cell's worth of pixels, so it takes the JPEG preview the camera
// embedded (decoded by the program's JPEG decoder, DCT-scaled as usual) or a
// half-size development, which skips demosaicing; a main picture is developed
// at full size. Camera white balance, sRGB output, 8 bits. LibRaw's memory
// is charged to the budget before it unpacks the sensor data.
#include <libraw/libraw.h>

#include <memory>
#include <string>

#include "imaging/LazyLibrary.h"
#include "imaging/Orientation.h"
#include "imaging/formats/JpegDecoder.h"
#include "imaging/formats/PhotoBudget.h"
#include "imaging/formats/PhotoDecoders.h"

namespace velmora {

namespace {

// LibRaw's C interface, bound when the first camera raw file is read.
#define VELMORA_RAW_CALLS(X)      \
  X(libraw_init)                  \
  X(libraw_open_buffer)           \
  X(libraw_unpack)                \
  X(libraw_unpack_thumb)          \
  X(libraw_dcraw_process)         \
  X(libraw_dcraw_make_mem_image)  \
  X(libraw_dcraw_clear_mem)       \
  X(libraw_close)                 \
  X(libraw_set_dataerror_handler) \
  X(libraw_set_memerror_handler)  \
  X(libraw_strerror)

VELMORA_RAW_CALLS(VELMORA_LAZY_DECLARE)

Status OpenLibraw() {
  static LazyLibrary library("libraw.so.20",
                             "Cannot load image. Camera raw files need LibRaw (Debian package libraw20)");
  return library.Open([](void* handle) { return true VELMORA_RAW_CALLS(VELMORA_LAZY_BIND); });
}

// Sensor samples a file must hold at least one byte for every this many: even
// losslessly compressed raw data needs a bit or more per sample. Smaller
// files claiming big sensors are refused before LibRaw allocates for them.
constexpr int64_t kMaxRawSamplesPerByte = 16;
constexpr int64_t kRawSamplesAlwaysAllowed = int64_t(1) << 22;

// LibRaw's memory while it develops, measured with /usr/bin/time on an
// 8000 x 8000 Bayer DNG (scripts/make-tiny-dng.py): the unpacked sensor data,
// 2 bytes a sample (123 MiB), four for each pixel of a sensor without a
// colour filter array; then per pixel developed, the 16-bit four-channel
// image and the 8-bit copy handed to us, 11 bytes at full size and at half.
constexpr int64_t kBytesPerSensorSample = 2;
constexpr int64_t kSamplesPerUnfilteredPixel = 4;
constexpr int64_t kBytesPerDevelopedPixel = 12;

// LibRaw's flip: 3 half round, 5 a quarter anticlockwise, 6 a quarter clockwise.
int OrientationOfFlip(int flip) {
  switch (flip) {
    case 3:
      return 3;
    case 5:
      return 8;
    case 6:
      return 6;
    default:
      return kOrientationUpright;
  }
}

// LibRaw's own reports of damaged data, which by default it prints to
// stderr ("unknown file: Unexpected end of file") before the reader's message
// naming the file. Kept here, they become that message's words, or the
// warning of a picture that decoded in spite of them.
struct DataTrouble {
  std::string words;  // the first report
};

void OnDataError(void* data, const char*, const int offset) {
  auto* trouble = static_cast<DataTrouble*>(data);
  if (!trouble->words.empty()) return;
  trouble->words = offset < 0 ? "unexpected end of file" : Format("data damaged at byte %d", offset);
}

// Running out of memory is reported by the error code as well.
void OnMemoryError(void*, const char*, const char*) {}

Status LibraryError(int code, const DataTrouble& trouble) {
  if (!trouble.words.empty() && code != LIBRAW_UNSUFFICIENT_MEMORY && code != LIBRAW_MEMPOOL_OVERFLOW)
    return Status::Error(Format("Cannot load image. Error in camera raw file (%s).", trouble.words.c_str()));
  if (code == LIBRAW_FILE_UNSUPPORTED)
    return Status::Error("Cannot load image. Invalid or unexpected camera raw image format.");
  if (code == LIBRAW_UNSUFFICIENT_MEMORY || code == LIBRAW_MEMPOOL_OVERFLOW)
    return Status::Error("Cannot load image. Out of memory for camera raw file.");
  return Status::Error(Format("Cannot load image. Error in camera raw file (%s).", libraw_strerror(code)));
}

struct RawCloser {
  void operator()(libraw_data_t* raw) const { libraw_close(raw); }
};
struct ImageDeleter {
  void operator()(libraw_processed_image_t* image) const { libraw_dcraw_clear_mem(image); }
};

// The embedded JPEG preview, when it is there and at least half the size of
// the developed picture; false leaves `out` untouched.
bool TakePreview(libraw_data_t& raw, const DecodeHints& hints, DecodedPicture& out) {
  const libraw_image_sizes_t& sizes = raw.sizes;
  if (libraw_unpack_thumb(&raw) != LIBRAW_SUCCESS) return false;
  const libraw_thumbnail_t& thumb = raw.thumbnail;
  if (thumb.tformat != LIBRAW_THUMBNAIL_JPEG || thumb.thumb == nullptr || thumb.tlength == 0) return false;
  if (int(thumb.twidth) * 2 < int(sizes.width) && int(thumb.theight) * 2 < int(sizes.height)) return false;
  DecodedPicture preview;
  if (!DecodeJpeg(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(thumb.thumb), thumb.tlength),
                  hints, preview)
           .ok())
    return false;
  // A preview is stored as the sensor is; the camera's rotation is in the raw
  // file, unless the preview carries its own tag.
  if (hints.applyOrientation && preview.orientation == kOrientationUpright) {
    preview.orientation = OrientationOfFlip(sizes.flip);
    if (!TurnUpright(preview).ok()) return false;
  }
  out = std::move(preview);
  out.fromPreview = true;
  return true;
}

}  // namespace

Status DecodeRaw(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out) {
  VELMORA_TRY(OpenLibraw());
  const std::unique_ptr<libraw_data_t, RawCloser> raw(libraw_init(LIBRAW_OPTIONS_NONE));
  if (!raw) return Status::Error("Cannot load image. Out of memory for camera raw file.");
  libraw_output_params_t& params = raw->params;
  params.use_camera_wb = 1;
  params.output_bps = 8;
  params.output_color = 1;  // sRGB
  params.user_flip = hints.applyOrientation ? -1 : 0;
  DataTrouble trouble;
  libraw_set_dataerror_handler(raw.get(), OnDataError, &trouble);
  libraw_set_memerror_handler(raw.get(), OnMemoryError, nullptr);
  // LibRaw reads only from the span; it never writes to it.
  int code = libraw_open_buffer(raw.get(), const_cast<uint8_t*>(bytes.data()), bytes.size());
  if (code != LIBRAW_SUCCESS) return LibraryError(code, trouble);

  const libraw_image_sizes_t& sizes = raw->sizes;
  VELMORA_TRY(CheckPictureSize(sizes.raw_width, sizes.raw_height, "camera raw"));
  VELMORA_TRY(CheckPictureSize(sizes.width, sizes.height, "camera raw"));
  const int64_t samples = int64_t(sizes.raw_width) * sizes.raw_height;
  if (samples > std::max(kRawSamplesAlwaysAllowed, int64_t(bytes.size()) * kMaxRawSamplesPerByte))
    return Status::Error(
        Format("Cannot load image. The camera raw file of %zu bytes cannot hold a sensor of "
               "%d x %d pixels.",
               bytes.size(), int(sizes.raw_width), int(sizes.raw_height)));

  // Development at half size halves these; the stored size is the sensor's.
  const int sensorWidth = sizes.width;
  const int sensorHeight = sizes.height;
  if (hints.acceptScaled && TakePreview(*raw, hints, out)) return Status::Ok();

  // Half size only halves a sensor with a colour filter array: it takes each
  // 2 x 2 block of filters as one pixel instead of demosaicing.
  const bool filtered = raw->idata.filters != 0;
  const int64_t sensorBytes = samples * kBytesPerSensorSample * (filtered ? 1 : kSamplesPerUnfilteredPixel);
  const auto developedPixels = [&](int factor) {
    const int f = filtered ? factor : 1;
    return int64_t(ReducedSide(sensorWidth, f)) * ReducedSide(sensorHeight, f);
  };
  const int factor = ChoosePhotoReduction(
      sensorWidth, sensorHeight,
      hints.applyOrientation && OrientationSwapsSides(OrientationOfFlip(sizes.flip)), hints, 2, [&](int f) {
        return sensorBytes + developedPixels(f) * (kBytesPerDevelopedPixel + int64_t(sizeof(TColor32)));
      });
  params.half_size = factor == 2 ? 1 : 0;
  VELMORA_TRY(ChargePhotoDecode("camera raw", sensorWidth, sensorHeight,
                                sensorBytes + developedPixels(factor) * kBytesPerDevelopedPixel,
                                developedPixels(factor)));

  if ((code = libraw_unpack(raw.get())) != LIBRAW_SUCCESS) return LibraryError(code, trouble);
  if ((code = libraw_dcraw_process(raw.get())) != LIBRAW_SUCCESS) return LibraryError(code, trouble);
  int error = LIBRAW_SUCCESS;
  std::unique_ptr<libraw_processed_image_t, ImageDeleter> image(
      libraw_dcraw_make_mem_image(raw.get(), &error));
  if (!image) return LibraryError(error, trouble);
  if (image->type != LIBRAW_IMAGE_BITMAP || image->bits != 8 || (image->colors != 3 && image->colors != 1))
    return Status::Error("Invalid color format in camera raw file.");
  const int width = image->width;
  const int height = image->height;
  VELMORA_TRY(CheckPictureSize(width, height, "camera raw"));
  if (size_t(image->data_size) < size_t(width) * size_t(height) * image->colors)
    return Status::Error("Invalid color format in camera raw file.");
  VELMORA_TRY(out.bitmap.SetSize(width, height));
  const uint8_t* src = image->data;
  for (int y = 0; y < height; ++y) {
    TColor32* dst = out.bitmap.ScanLine(y);
    if (image->colors == 1) {
      for (int x = 0; x < width; ++x, ++src) dst[x] = Color32(src[0], src[0], src[0]);
    } else {
      for (int x = 0; x < width; ++x, src += 3) dst[x] = Color32(src[0], src[1], src[2]);
    }
  }
  out.keepsAlpha = false;
  out.warning = trouble.words;
  // LibRaw has turned the picture; the stored size is the sensor's, upright.
  out.orientation = hints.applyOrientation ? OrientationOfFlip(sizes.flip) : kOrientationUpright;
  const bool swaps = OrientationSwapsSides(out.orientation);
  out.storedWidth = swaps ? sensorHeight : sensorWidth;
  out.storedHeight = swaps ? sensorWidth : sensorHeight;
  return Status::Ok();
}

}  // namespace velmora
