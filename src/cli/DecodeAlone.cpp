#include "cli/DecodeAlone.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <atomic>
#include <chrono>
#include <csetjmp>
#include <cstring>
#include <thread>

namespace velmora::cli {
namespace {

struct Failure {
  jpeg_error_mgr pub;  // first: the library's pointer to it is a pointer to us
  std::jmp_buf jump;
};

void Fail(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<Failure*>(cinfo->err)->jump, 1); }
void Quiet(j_common_ptr, int) {}

bool ReadWhole(const std::string& path, std::vector<uint8_t>& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && st.st_size > 0 && st.st_size < (off_t(1) << 30);
  if (ok) {
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    ok = got == bytes.size();
  }
  ::close(fd);
  return ok;
}

// Decodes one file; its pixel count, or -1.
long DecodeOne(const std::vector<uint8_t>& bytes, const std::function<bool(int, int)>& accept,
               std::vector<uint8_t>& pixels) {
  jpeg_decompress_struct cinfo{};
  Failure err{};
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = Fail;
  err.pub.emit_message = Quiet;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return -1;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_EXT_BGRA;
  for (unsigned m = accept ? 1 : 8; m <= 8; ++m) {
    cinfo.scale_num = m;
    cinfo.scale_denom = 8;
    jpeg_calc_output_dimensions(&cinfo);
    if (!accept || accept(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height))) break;
  }
  jpeg_start_decompress(&cinfo);
  const size_t stride = size_t(cinfo.output_width) * 4;
  pixels.resize(stride * cinfo.output_height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = pixels.data() + stride * cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  const long count = long(cinfo.output_width) * long(cinfo.output_height);
  jpeg_destroy_decompress(&cinfo);
  return count;
}

// The start of the file: enough for its segments before the frame as far
// as the EXIF data goes (an APP1 segment is at most 64 KiB).
bool ReadHead(const std::string& path, std::vector<uint8_t>& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bytes.resize(size_t(72) << 10);
  const ssize_t n = ::pread(fd, bytes.data(), bytes.size(), 0);
  ::close(fd);
  bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return n > 0;
}

// The EXIF thumbnail's bytes in `head` (offset and length), from the second
// image directory of the first APP1 "Exif" segment; false when there is none.
bool FindExifThumbnail(const std::vector<uint8_t>& head, size_t& at, size_t& length) {
  size_t p = 2;
  if (head.size() < 4 || head[0] != 0xFF || head[1] != 0xD8) return false;
  while (p + 4 <= head.size() && head[p] == 0xFF) {
    const int marker = head[p + 1];
    const size_t size = size_t(head[p + 2]) << 8 | head[p + 3];
    if (marker == 0xDA || size < 2) return false;  // the frame: no EXIF before it
    const size_t data = p + 4, end = p + 2 + size;
    if (end > head.size()) return false;
    if (marker == 0xE1 && size >= 16 && std::memcmp(&head[data], "Exif\0\0", 6) == 0) {
      const uint8_t* tiff = &head[data + 6];
      const size_t n = end - data - 6;
      const bool little = tiff[0] == 'I';
      auto u16 = [&](size_t o) -> uint32_t {
        if (o + 2 > n) return 0;
        return little ? uint32_t(tiff[o]) | uint32_t(tiff[o + 1]) << 8 : uint32_t(tiff[o]) << 8 | tiff[o + 1];
      };
      auto u32 = [&](size_t o) -> uint32_t {
        if (o + 4 > n) return 0;
        return little ? u16(o) | u16(o + 2) << 16 : u16(o) << 16 | u16(o + 2);
      };
      const size_t ifd0 = u32(4);
      if (ifd0 == 0 || ifd0 + 2 > n) return false;
      const size_t ifd1 = u32(ifd0 + 2 + 12 * size_t(u16(ifd0)));
      if (ifd1 == 0 || ifd1 + 2 > n) return false;
      size_t offset = 0, bytes = 0;
      for (size_t e = 0, count = u16(ifd1); e < count; ++e) {
        const size_t entry = ifd1 + 2 + 12 * e;
        if (u16(entry) == 0x0201) offset = u32(entry + 8);
        if (u16(entry) == 0x0202) bytes = u32(entry + 8);
      }
      if (offset == 0 || bytes == 0 || offset + bytes > n) return false;
      at = data + 6 + offset;
      length = bytes;
      return true;
    }
    p = end;
  }
  return false;
}

template <typename DecodeFile>
DecodeAloneTimes DecodeAll(const std::vector<std::string>& paths, int threads, const DecodeFile& decode) {
  std::atomic<size_t> next{0};
  std::atomic<int> done{0}, failed{0};
  std::atomic<long long> pixels{0};
  auto work = [&] {
    std::vector<uint8_t> bytes, out;
    for (size_t i = next++; i < paths.size(); i = next++) {
      const long n = decode(paths[i], bytes, out);
      if (n < 0) {
        ++failed;
      } else {
        ++done;
        pixels += n;
      }
    }
  };
  const auto t0 = std::chrono::steady_clock::now();
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (std::thread& t : pool) t.join();
  DecodeAloneTimes times;
  times.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  times.files = done;
  times.failed = failed;
  times.megapixels = double(pixels) / 1e6;
  return times;
}

}  // namespace

DecodeAloneTimes DecodeExifThumbnailsAlone(const std::vector<std::string>& paths,
                                           const std::function<bool(int, int)>& accept, int threads) {
  return DecodeAll(paths, threads, [&](const std::string& path, std::vector<uint8_t>& bytes,
                                       std::vector<uint8_t>& out) -> long {
    size_t at = 0, length = 0;
    if (!ReadHead(path, bytes) || !FindExifThumbnail(bytes, at, length)) return -1;
    const std::vector<uint8_t> thumbnail(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                         bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
    return DecodeOne(thumbnail, accept, out);
  });
}

DecodeAloneTimes DecodeAlone(const std::vector<std::string>& paths,
                             const std::function<bool(int, int)>& accept, int threads) {
  return DecodeAll(paths, threads,
                   [&](const std::string& path, std::vector<uint8_t>& bytes, std::vector<uint8_t>& out) -> long {
                     return ReadWhole(path, bytes) ? DecodeOne(bytes, accept, out) : -1;
                   });
}

}  // namespace velmora::cli
