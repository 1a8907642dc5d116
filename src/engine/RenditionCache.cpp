#include "engine/RenditionCache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

namespace velmora {
namespace {

constexpr uint8_t kMagic[8] = {'V', 'L', 'M', 'R', 'E', 'N', 'D', '\n'};
// magic, version, settings, size, mtime, width, height, path length
constexpr size_t kHeaderBytes = 8 + 4 + 4 + 8 + 8 + 4 + 4 + 4;
constexpr size_t kMaxPathBytes = 4096;
constexpr uint64_t kMaxFileBytes =
    kHeaderBytes + kMaxPathBytes + uint64_t(RenditionCache::kMaxSide) * RenditionCache::kMaxSide * 4 + 4;

void Put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
void Put64(uint8_t* p, uint64_t v) {
  Put32(p, uint32_t(v));
  Put32(p + 4, uint32_t(v >> 32));
}
uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t Le64(const uint8_t* p) { return uint64_t(Le32(p)) | uint64_t(Le32(p + 4)) << 32; }

uint32_t Crc(const uint8_t* data, size_t n) {
  uLong crc = crc32(0L, Z_NULL, 0);
  while (n > 0) {
    const auto piece = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
    crc = crc32(crc, data, piece);
    data += piece;
    n -= piece;
  }
  return static_cast<uint32_t>(crc);
}

bool IsRenditionFile(const char* name) {
  const size_t n = std::strlen(name);
  const size_t e = std::strlen(RenditionCache::kExtension);
  return n > e && std::strcmp(name + n - e, RenditionCache::kExtension) == 0;
}

struct FileInfo {
  std::string path;
  uint64_t bytes;
  int64_t usedNs;
};

// The rendition files of `folder` with their sizes and last use.
std::vector<FileInfo> ListFiles(const std::string& folder) {
  std::vector<FileInfo> files;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return files;
  const int dfd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    if (!IsRenditionFile(entry->d_name)) continue;
    struct stat st {};
    if (::fstatat(dfd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    files.push_back({folder + "/" + entry->d_name, static_cast<uint64_t>(st.st_size),
                     int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec});
  }
  ::closedir(dir);
  return files;
}

}  // namespace

RenditionCache::RenditionCache(const std::string& cacheFolder, uint64_t capBytes)
    : folder_(cacheFolder + "/" + kFolderName), cap_(capBytes) {}

std::string RenditionCache::FilePath(const SummaryKey& key) const {
  const uint64_t h = std::hash<std::string>{}(key.path) ^ (uint64_t(key.settings) * 0x9E3779B97F4A7C15ull);
  return Format("%s/%016llx%s", folder_.c_str(), static_cast<unsigned long long>(h), kExtension);
}

std::vector<uint8_t> RenditionCache::Encode(const SummaryKey& key, const TBitmap32& picture) {
  const size_t pixelBytes = picture.Pixels().size() * 4;
  std::vector<uint8_t> b(kHeaderBytes + key.path.size() + pixelBytes + 4);
  uint8_t* p = b.data();
  std::memcpy(p, kMagic, 8);
  Put32(p + 8, kVersion);
  Put32(p + 12, key.settings);
  Put64(p + 16, key.size);
  Put64(p + 24, static_cast<uint64_t>(key.mtimeNs));
  Put32(p + 32, static_cast<uint32_t>(picture.Width()));
  Put32(p + 36, static_cast<uint32_t>(picture.Height()));
  Put32(p + 40, static_cast<uint32_t>(key.path.size()));
  p += kHeaderBytes;
  std::memcpy(p, key.path.data(), key.path.size());
  p += key.path.size();
  for (TColor32 c : picture.Pixels()) {
    Put32(p, c);
    p += 4;
  }
  Put32(p, Crc(b.data(), b.size() - 4));
  return b;
}

Status RenditionCache::Parse(std::span<const uint8_t> bytes, SummaryKey& key, TBitmap32& out) {
  if (bytes.size() < kHeaderBytes + 4) return Status::Error("too short to be a rendition");
  const uint8_t* p = bytes.data();
  if (std::memcmp(p, kMagic, 8) != 0) return Status::Error("not a rendition");
  if (const uint32_t version = Le32(p + 8); version != kVersion)
    return Status::Error(Format("a rendition of version %u, not %u", version, kVersion));
  const uint32_t w = Le32(p + 32);
  const uint32_t h = Le32(p + 36);
  const uint32_t pathBytes = Le32(p + 40);
  if (w == 0 || h == 0 || w > uint32_t(kMaxSide) || h > uint32_t(kMaxSide))
    return Status::Error(Format("a picture of %u x %u pixels", w, h));
  if (pathBytes == 0 || pathBytes > kMaxPathBytes)
    return Status::Error(Format("a path of %u bytes", pathBytes));
  const uint64_t expected = kHeaderBytes + uint64_t(pathBytes) + uint64_t(w) * h * 4 + 4;
  if (bytes.size() != expected)
    return Status::Error(Format("%zu bytes where its picture needs %llu", bytes.size(),
                                static_cast<unsigned long long>(expected)));
  if (Crc(p, bytes.size() - 4) != Le32(p + bytes.size() - 4)) return Status::Error("wrong checksum");
  key.settings = Le32(p + 12);
  key.size = Le64(p + 16);
  key.mtimeNs = static_cast<int64_t>(Le64(p + 24));
  key.path.assign(reinterpret_cast<const char*>(p + kHeaderBytes), pathBytes);
  VELMORA_TRY(out.SetSize(static_cast<int>(w), static_cast<int>(h)));
  const uint8_t* q = p + kHeaderBytes + pathBytes;
  for (TColor32& c : out.Pixels()) {
    c = Le32(q);
    q += 4;
  }
  return Status::Ok();
}

bool RenditionCache::Find(const SummaryKey& key, TBitmap32& out, std::string* warning) const {
  const std::string path = FilePath(key);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  struct stat st {};
  std::vector<uint8_t> bytes;
  Status read = Status::Ok();
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    read = Status::Error("not a regular file");
  } else if (static_cast<uint64_t>(st.st_size) > kMaxFileBytes) {
    read = Status::Error(
        Format("%llu bytes is more than a rendition may hold", static_cast<unsigned long long>(st.st_size)));
  } else {
    // One read for the whole file: its size is known.
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    bytes.resize(got);  // a file that shrank meanwhile fails the size check
  }
  SummaryKey have;
  if (read.ok()) read = Parse(bytes, have, out);
  if (!read.ok()) {
    ::close(fd);
    if (warning)
      *warning = Format("The rendition %s could not be used (%s); it is made again.", path.c_str(),
                        read.message().c_str());
    return false;
  }
  if (have.path != key.path || have.settings != key.settings || have.size != key.size ||
      have.mtimeNs != key.mtimeNs) {
    ::close(fd);
    return false;  // another picture's, or this one before it changed: replaced by the next Store
  }
  // The use, for the least-recently-used order of Trim.
  const timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
  (void)::futimens(fd, times);
  ::close(fd);
  return true;
}

Status RenditionCache::Store(const SummaryKey& key, const TBitmap32& picture) const {
  if (key.path.empty() || key.path.size() > kMaxPathBytes || picture.Empty() || picture.Width() > kMaxSide ||
      picture.Height() > kMaxSide)
    return Status::Ok();  // nothing a rendition can hold
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  const std::vector<uint8_t> bytes = Encode(key, picture);
  const std::string path = FilePath(key);
  // A name of its own per writer, so that two programs storing the same
  // rendition at once never mix their bytes.
  static std::atomic<uint64_t> serial{0};
  const std::string tempPath =
      path + Format(".tmp-%d-%llu", static_cast<int>(::getpid()),
                    static_cast<unsigned long long>(serial.fetch_add(1, std::memory_order_relaxed)));
  const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0)
    return Status::Error(Format("Cannot create \"%s\". %s", tempPath.c_str(), std::strerror(errno)));
  size_t put = 0;
  while (put < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + put, bytes.size() - put);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    put += static_cast<size_t>(n);
  }
  const bool ok = ::close(fd) == 0 && put == bytes.size();
  if (!ok || ::rename(tempPath.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tempPath.c_str());
    return Status::Error(Format("Cannot write \"%s\". %s", path.c_str(), std::strerror(err)));
  }
  stored_.store(true, std::memory_order_relaxed);
  return Status::Ok();
}

void RenditionCache::Trim() const {
  std::vector<FileInfo> files = ListFiles(folder_);
  uint64_t total = 0;
  for (const FileInfo& f : files) total += f.bytes;
  if (total <= cap_) return;
  std::sort(files.begin(), files.end(),
            [](const FileInfo& a, const FileInfo& b) { return a.usedNs < b.usedNs; });
  for (const FileInfo& f : files) {
    if (total <= cap_) break;
    if (::unlink(f.path.c_str()) == 0 || errno == ENOENT) total -= f.bytes;
  }
}

RenditionCache::Usage RenditionCache::Measure(const std::string& cacheFolder) {
  Usage usage;
  for (const FileInfo& f : ListFiles(cacheFolder + "/" + kFolderName)) {
    ++usage.files;
    usage.bytes += f.bytes;
  }
  return usage;
}

Status RenditionCache::Clear(const std::string& cacheFolder) {
  // The whole folder: temporary files a stopped program left go too.
  const std::string folder = cacheFolder + "/" + kFolderName;
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  if (ec) return Status::Error(Format("Cannot remove \"%s\". %s", folder.c_str(), ec.message().c_str()));
  return Status::Ok();
}

}  // namespace velmora
