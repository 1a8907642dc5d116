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

// The temporary file beside the target; removed unless Finish renamed it.
class TempFile {
public:
  explicit TempFile(std::string path)
      : path_(std::move(path)), temp_(path_ + ".tmp-" + std::to_string(::getpid())) {}
  ~TempFile() {
    if (!done_) std::remove(temp_.c_str());
  }
  const std::string& temp() const { return temp_; }
  const std::string& path() const { return path_; }
  Status Commit() {
    if (std::rename(temp_.c_str(), path_.c_str()) != 0)
      return Status::Error(Format("Cannot create file \"%s\". %s", path_.c_str(), std::strerror(errno)));
    done_ = true;
    return Status::Ok();
  }

private:
  std::string path_, temp_;
  bool done_ = false;
};

Status WriteError(const std::string& path) {
  return Status::Error(Format("Cannot write file \"%s\". %s", path.c_str(), std::strerror(errno)));
}

// ---- BMP: bottom-up rows, so each band goes to its place from the end ----

class BmpBandWriter : public BandWriter {
public:
  BmpBandWriter(const std::string& path, int width, int height)
      : file_(path), width_(width), height_(height) {}
  ~BmpBandWriter() override {
    if (f_) std::fclose(f_);
  }
  Status Open() {
    VELMORA_TRY(Bmp32FileBytes(width_, height_).status());
    f_ = std::fopen(file_.temp().c_str(), "wb");
    if (!f_)
      return Status::Error(
          Format("Cannot create file \"%s\". %s", file_.path().c_str(), std::strerror(errno)));
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
    if (std::fwrite(h, 1, sizeof h, f_) != sizeof h) return WriteError(file_.path());
    return Status::Ok();
  }
  Status WriteRows(const TBitmap32& band, int rows) override {
    const size_t rowBytes = size_t(width_) * 4;
    for (int r = 0; r < rows; ++r, ++next_) {
      const int64_t at = int64_t(kBmp32HeaderBytes) + int64_t(height_ - 1 - next_) * int64_t(rowBytes);
      if (fseeko(f_, at, SEEK_SET) != 0 || std::fwrite(band.ScanLine(r), 1, rowBytes, f_) != rowBytes)
        return WriteError(file_.path());
    }
    return Status::Ok();
  }
  Status Finish() override {
    if (next_ != height_) return Status::Error("The picture was not written to its last row.");
    const bool ok = std::fflush(f_) == 0 && ::fsync(::fileno(f_)) == 0;
    const bool closed = std::fclose(f_) == 0;
    f_ = nullptr;
    if (!ok || !closed) return WriteError(file_.path());
    return file_.Commit();
  }

private:
  TempFile file_;
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
  JpegBandWriter(const std::string& path) : file_(path) {}
  ~JpegBandWriter() override {
    if (created_) jpeg_destroy_compress(&info_);
    if (f_) std::fclose(f_);
  }
  Status Open(int w, int h, int quality, bool progressive) {
    if (w > JPEG_MAX_DIMENSION || h > JPEG_MAX_DIMENSION)
      return Status::Error(
          Format("A JPEG file holds at most %d pixels a side, not %d x %d; save as .tif instead.",
                 JPEG_MAX_DIMENSION, w, h));
    f_ = std::fopen(file_.temp().c_str(), "wb");
    if (!f_)
      return Status::Error(
          Format("Cannot create file \"%s\". %s", file_.path().c_str(), std::strerror(errno)));
    info_.err = TrapJpegErrors(error_);
    if (!JpegStart(&info_, &error_, &created_, f_, w, h, quality, progressive))
      return Failed("initialising for");
    return Status::Ok();
  }
  Status WriteRows(const TBitmap32& band, int rows) override {
    if (!JpegRows(&info_, &error_, band, rows)) return Failed("saving");
    return Status::Ok();
  }
  Status Finish() override {
    if (!JpegFinish(&info_, &error_)) return Failed("saving");
    const bool ok = std::fflush(f_) == 0 && ::fsync(::fileno(f_)) == 0;
    const bool closed = std::fclose(f_) == 0;
    f_ = nullptr;
    if (!ok || !closed) return WriteError(file_.path());
    return file_.Commit();
  }

private:
  Status Failed(const char* what) const { return Status::Error(JpegWriteError(file_.path(), what, error_)); }
  TempFile file_;
  std::FILE* f_ = nullptr;
  jpeg_compress_struct info_{};
  JpegError error_{};
  bool created_ = false;
};

// ---- BigTIFF: RGB strips, deflate ----

class TiffBandWriter : public BandWriter {
public:
  TiffBandWriter(const std::string& path, int width, int height)
      : file_(path), width_(width), height_(height) {}
  ~TiffBandWriter() override {
    if (tif_) TIFFClose(tif_);
  }
  Status Open() {
    tif_ = TIFFOpen(file_.temp().c_str(), "w8");  // BigTIFF: no 4 GiB limit
    if (!tif_) return Status::Error(Format("Cannot create file \"%s\".", file_.path().c_str()));
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
    TIFFSetField(tif_, TIFFTAG_ROWSPERSTRIP, uint32_t(16));
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
      if (TIFFWriteScanline(tif_, row_.data(), uint32_t(next_), 0) < 0) return WriteError(file_.path());
    }
    return Status::Ok();
  }
  Status Finish() override {
    if (next_ != height_) return Status::Error("The picture was not written to its last row.");
    const bool ok = TIFFFlush(tif_) == 1;
    TIFFClose(tif_);
    tif_ = nullptr;
    if (!ok) return WriteError(file_.path());
    return file_.Commit();
  }

private:
  TempFile file_;
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
    auto w = std::make_unique<BmpBandWriter>(path, width, height);
    VELMORA_TRY(w->Open());
    return std::unique_ptr<BandWriter>(std::move(w));
  }
  if (ext == "jpg" || ext == "jpeg") {
    auto w = std::make_unique<JpegBandWriter>(path);
    VELMORA_TRY(w->Open(width, height, jpegQuality, jpegProgressive));
    return std::unique_ptr<BandWriter>(std::move(w));
  }
  if (ext == "tif" || ext == "tiff") {
    auto w = std::make_unique<TiffBandWriter>(path, width, height);
    VELMORA_TRY(w->Open());
    return std::unique_ptr<BandWriter>(std::move(w));
  }
  return Status::Error("A mosaic is saved as .jpg, .bmp or .tif, not '" + path + "'");
}

}  // namespace velmora
