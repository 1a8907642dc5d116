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

}  // namespace

DecodeAloneTimes DecodeAlone(const std::vector<std::string>& paths,
                             const std::function<bool(int, int)>& accept, int threads) {
  std::atomic<size_t> next{0};
  std::atomic<int> done{0}, failed{0};
  std::atomic<long long> pixels{0};
  auto work = [&] {
    std::vector<uint8_t> bytes, out;
    for (size_t i = next++; i < paths.size(); i = next++) {
      const long n = ReadWhole(paths[i], bytes) ? DecodeOne(bytes, accept, out) : -1;
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

}  // namespace velmora::cli
