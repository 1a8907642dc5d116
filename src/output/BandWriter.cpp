#include "output/BandWriter.h"

#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "imaging/PictureReader.h"
#include "imaging/formats/BmpCodec.h"
#include "output/FreeSpace.h"

// jpeglib.h needs <cstdio> (FILE, size_t) before it.
// clang-format off
#include <jpeglib.h>
#include "output/JpegErrorTrap.h"
// clang-format on

namespace velmora {
namespace {

static_assert(std::endian::native == std::endian::little, "rows are written as they lie in memory");

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

Status WriteError(const std::string& path) {
  return Status::Error(Format("Cannot write file \"%s\". %s", path.c_str(), std::strerror(errno)));
}

// ---- BMP: bottom-up rows, so each band goes to its place from the end ----

class BmpBandWriter : public BandWriter {
public:
  BmpBandWriter(int width, int height) : width_(width), height_(height) {}
  Status Open(const std::string& path) {
    const Result<uint32_t> bytes = Bmp32FileBytes(width_, height_);
    if (!bytes) return bytes.status();
    VELMORA_TRY(CheckFreeSpace(path, *bytes, SizeBound::Exact));
    VELMORA_TRY(file_.Open(path));
    f_ = file_.Stream();
    // The 54 header bytes of the whole-picture writer: file header, then an
    // info header of 40 bytes, one plane of 32 bits, no compression.
    const uint32_t pixelBytes = uint32_t(width_) * uint32_t(height_) * 4;
    uint8_t h[kBmp32HeaderBytes] = {'B', 'M'};
    auto put32 = [&](int at, uint32_t v) {
      for (int i = 0; i < 4; ++i) h[at + i] = uint8_t(v >> (8 * i));
    };
    put32(2, kBmp32HeaderBytes + pixelBytes);
    put32(10, kBmp32HeaderBytes);
    put32(14, 40);
    put32(18, uint32_t(width_));
    put32(22, uint32_t(height_));
    h[26] = 1;
    h[28] = 32;
    put32(34, pixelBytes);
    if (std::fwrite(h, 1, sizeof h, f_) != sizeof h) return WriteError(file_.Path());
    return Status::Ok();
  }
  Status WriteRows(const TBitmap32& band, int rows) override {
    const size_t rowBytes = size_t(width_) * 4;
    for (int r = 0; r < rows; ++r, ++next_) {
      const int64_t at = int64_t(kBmp32HeaderBytes) + int64_t(height_ - 1 - next_) * int64_t(rowBytes);
      if (fseeko(f_, at, SEEK_SET) != 0 || std::fwrite(band.ScanLine(r), 1, rowBytes, f_) != rowBytes)
        return WriteError(file_.Path());
    }
    return Status::Ok();
  }
  Status Complete() override {
    if (next_ != height_) return Status::Error("The picture was not written to its last row.");
    return file_.Complete();
  }

private:
  std::FILE* f_ = nullptr;
  int width_, height_, next_ = 0;
};

// ---- JPEG: the whole-picture writer's settings, rows fed as they come ----

// Each call into the library is guarded by its own setjmp and holds no
// object with a destructor.
bool JpegStart(jpeg_compress_struct* info, JpegError* error, bool* created, std::FILE* f, int w, int h,
               int quality, bool progressive) {
  if (setjmp(error->jump)) return false;
  // Set first: jpeg_create_compress clears its memory manager before anything
  // can fail, so destroying a half-created encoder is safe.
  *created = true;
  jpeg_create_compress(info);
  jpeg_stdio_dest(info, f);
  info->image_width = static_cast<JDIMENSION>(w);
  info->image_height = static_cast<JDIMENSION>(h);
  info->input_components = 4;
  info->in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(info);
  jpeg_set_quality(info, quality, TRUE);
  info->comp_info[0].h_samp_factor = 2;
  info->comp_info[0].v_samp_factor = 2;
  for (int c = 1; c < 3; ++c) info->comp_info[c].h_samp_factor = info->comp_info[c].v_samp_factor = 1;
  if (progressive) jpeg_simple_progression(info);
  jpeg_start_compress(info, TRUE);
  return true;
}

bool JpegRows(jpeg_compress_struct* info, JpegError* error, const TBitmap32& band, int rows) {
  if (setjmp(error->jump)) return false;
  for (int r = 0; r < rows; ++r) {
    auto* row = reinterpret_cast<JSAMPLE*>(const_cast<TColor32*>(band.ScanLine(r)));
    jpeg_write_scanlines(info, &row, 1);
  }
  return true;
}

bool JpegFinish(jpeg_compress_struct* info, JpegError* error) {
  if (setjmp(error->jump)) return false;
  jpeg_finish_compress(info);
  return true;
}

class JpegBandWriter : public BandWriter {
public:
  ~JpegBandWriter() override {
    if (created_) jpeg_destroy_compress(&info_);
  }
  Status Open(const std::string& path, int w, int h, int quality, bool progressive) {
    if (w > JPEG_MAX_DIMENSION || h > JPEG_MAX_DIMENSION)
      return Status::Error(
          Format("A JPEG file holds at most %d pixels a side, not %d x %d; save as .tif instead.",
                 JPEG_MAX_DIMENSION, w, h));
    VELMORA_TRY(file_.Open(path));
    f_ = file_.Stream();
    info_.err = TrapJpegErrors(error_);
    if (!JpegStart(&info_, &error_, &created_, f_, w, h, quality, progressive))
      return Failed("initialising for");
    return Status::Ok();
  }
  Status WriteRows(const TBitmap32& band, int rows) override {
    if (!JpegRows(&info_, &error_, band, rows)) return Failed("saving");
    return Status::Ok();
  }
  Status Complete() override {
    if (!JpegFinish(&info_, &error_)) return Failed("saving");
    return file_.Complete();
  }

private:
  Status Failed(const char* what) const { return Status::Error(JpegWriteError(file_.Path(), what, error_)); }
  std::FILE* f_ = nullptr;
  jpeg_compress_struct info_{};
  JpegError error_{};
  bool created_ = false;
};

// ---- BigTIFF: RGB strips, deflate ----

class TiffBandWriter : public BandWriter {
  static constexpr uint32_t kRowsPerStrip = 16;

public:
  TiffBandWriter(int width, int height) : width_(width), height_(height) {}
  ~TiffBandWriter() override {
    if (tif_) TIFFClose(tif_);
  }
  Status Open(const std::string& path) {
    // Deflate gives no size in advance; the uncompressed strips, their two
    // offset tables (8 bytes per strip each in BigTIFF) and the tags bound it.
    const uint64_t strips = (uint64_t(height_) + kRowsPerStrip - 1) / kRowsPerStrip;
    const uint64_t bound = uint64_t(width_) * uint64_t(height_) * 3 + strips * 16 + 4096;
    VELMORA_TRY(CheckFreeSpace(path, bound, SizeBound::Uncompressed));
    VELMORA_TRY(file_.Open(path));
    // The library closes what it is given: a duplicate of the temporary
    // file's descriptor, which Complete then syncs through the original.
    const int fd = ::dup(::fileno(file_.Stream()));
    if (fd >= 0) tif_ = TIFFFdOpen(fd, file_.TempPath().c_str(), "w8");  // BigTIFF: no 4 GiB limit
    if (!tif_) {
      if (fd >= 0) ::close(fd);
      return Status::Error(Format("Cannot create file \"%s\".", file_.Path().c_str()));
    }
    TIFFSetField(tif_, TIFFTAG_IMAGEWIDTH, uint32_t(width_));
    TIFFSetField(tif_, TIFFTAG_IMAGELENGTH, uint32_t(height_));
    TIFFSetField(tif_, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(tif_, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(tif_, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif_, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif_, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif_, TIFFTAG_ZIPQUALITY, 1);  // fast; a photo mosaic gains little from more
    TIFFSetField(tif_, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tif_, TIFFTAG_ROWSPERSTRIP, kRowsPerStrip);
    row_.resize(size_t(width_) * 3);
    return Status::Ok();
  }
  Status WriteRows(const TBitmap32& band, int rows) override {
    for (int r = 0; r < rows; ++r, ++next_) {
      const TColor32* p = band.ScanLine(r);
      for (int x = 0; x < width_; ++x) {
        row_[3 * size_t(x)] = RedOf(p[x]);
        row_[3 * size_t(x) + 1] = GreenOf(p[x]);
        row_[3 * size_t(x) + 2] = BlueOf(p[x]);
      }
      if (TIFFWriteScanline(tif_, row_.data(), uint32_t(next_), 0) < 0) return WriteError(file_.Path());
    }
    return Status::Ok();
  }
  Status Complete() override {
    if (next_ != height_) return Status::Error("The picture was not written to its last row.");
    const bool ok = TIFFFlush(tif_) == 1;
    TIFFClose(tif_);
    tif_ = nullptr;
    if (!ok) return WriteError(file_.Path());
    return file_.Complete();
  }

private:
  TIFF* tif_ = nullptr;
  int width_, height_, next_ = 0;
  std::vector<uint8_t> row_;
};

}  // namespace

Result<std::unique_ptr<BandWriter>> OpenBandWriter(const std::string& path, int width, int height,
                                                   int jpegQuality, bool jpegProgressive) {
  if (width <= 0 || height <= 0) return Status::Error("No image to save");
  const std::string ext = Lower(ExtensionOf(path));
  if (ext == "bmp") {
    auto w = std::make_unique<BmpBandWriter>(width, height);
    VELMORA_TRY(w->Open(path));
    return std::unique_ptr<BandWriter>(std::move(w));
  }
  if (ext == "jpg" || ext == "jpeg") {
    auto w = std::make_unique<JpegBandWriter>();
    VELMORA_TRY(w->Open(path, width, height, jpegQuality, jpegProgressive));
    return std::unique_ptr<BandWriter>(std::move(w));
  }
  if (ext == "tif" || ext == "tiff") {
    auto w = std::make_unique<TiffBandWriter>(width, height);
    VELMORA_TRY(w->Open(path));
    return std::unique_ptr<BandWriter>(std::move(w));
  }
  if (ext == "png") return OpenPngBandWriter(path, width, height);
  return Status::Error("A mosaic is saved as .jpg, .bmp, .png or .tif, not '" + path + "'");
}

}  // namespace velmora
