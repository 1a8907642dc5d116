// A folder of its own under the system's temporary folder for one test, and
// small helpers to read and write whole files there.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace velmora::testing {

class ScratchFolder {
public:
  ScratchFolder() {
    static std::atomic<int> next{0};
    path_ = std::filesystem::temp_directory_path() /
            ("velmora-test-" + std::to_string(::getpid()) + "-" + std::to_string(next++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  std::string operator/(std::string_view name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
};

inline std::string ReadWholeFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteWholeFile(const std::filesystem::path& p, std::string_view bytes) {
  std::ofstream out(p, std::ios::binary);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

}  // namespace velmora::testing
