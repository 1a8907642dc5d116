// PNG written a band of rows at a time through libpng: RGB, 8 bits, rows
// handed to the encoder as they come, so the whole picture never has to be
// in memory. libpng reports errors by longjmp; the calls into it are made
// from small guarded functions that hold no C++ object across a call.
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "output/BandWriter.h"

namespace velmora {

namespace {

struct PngOut {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::FILE* file = nullptr;
};

bool StartGuarded(PngOut& o, int width, int height) {
  if (setjmp(png_jmpbuf(o.png))) return false;
  png_init_io(o.png, o.file);
  // Fast deflate: a photo mosaic gains little from more effort.
  png_set_compression_level(o.png, 3);
  png_set_IHDR(o.png, o.info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(o.png, o.info);
  return true;
}

bool RowGuarded(PngOut& o, png_bytep row) {
  if (setjmp(png_jmpbuf(o.png))) return false;
  png_write_row(o.png, row);
  return true;
}

bool EndGuarded(PngOut& o) {
  if (setjmp(png_jmpbuf(o.png))) return false;
  png_write_end(o.png, nullptr);
  return true;
}

class PngBandWriter : public BandWriter {
public:
  PngBandWriter(int width, int height) : width_(width), height_(height) {}
  ~PngBandWriter() override { Close(); }

  Status Open(const std::string& path) {
    VELMORA_TRY(file_.Open(path));
    out_.file = file_.Stream();
    out_.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (out_.png != nullptr) out_.info = png_create_info_struct(out_.png);
    if (out_.info == nullptr || !StartGuarded(out_, width_, height_)) return WriteError();
    row_.resize(size_t(width_) * 3);
    return Status::Ok();
  }

  Status WriteRows(const TBitmap32& band, int rows) override {
    for (int r = 0; r < rows && next_ < height_; ++r, ++next_) {
      const TColor32* p = band.ScanLine(r);
      for (int x = 0; x < width_; ++x) {
        row_[3 * size_t(x)] = RedOf(p[x]);
        row_[3 * size_t(x) + 1] = GreenOf(p[x]);
        row_[3 * size_t(x) + 2] = BlueOf(p[x]);
      }
      if (!RowGuarded(out_, row_.data())) return WriteError();
    }
    return Status::Ok();
  }

  Status Complete() override {
    if (next_ != height_) return Status::Error("The picture was not written to its last row.");
    if (!EndGuarded(out_)) return WriteError();
    Close();
    return file_.Complete();
  }

private:
  Status WriteError() const {
    return Status::Error(Format("Cannot write file \"%s\". %s", file_.Path().c_str(), std::strerror(errno)));
  }
  void Close() {
    if (out_.png != nullptr) png_destroy_write_struct(&out_.png, out_.info != nullptr ? &out_.info : nullptr);
    out_.png = nullptr;
    out_.info = nullptr;
    out_.file = nullptr;  // the pending file owns the stream
  }

  int width_, height_, next_ = 0;
  PngOut out_;
  std::vector<uint8_t> row_;
};

}  // namespace

Result<std::unique_ptr<BandWriter>> OpenPngBandWriter(const std::string& path, int width, int height) {
  if (width > 0x7FFFFFFF / 3) return Status::Error("The picture is too wide for a PNG file.");
  auto w = std::make_unique<PngBandWriter>(width, height);
  VELMORA_TRY(w->Open(path));
  return std::unique_ptr<BandWriter>(std::move(w));
}

}  // namespace velmora
