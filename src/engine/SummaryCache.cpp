#include "engine/SummaryCache.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "imaging/ByteCursor.h"
#include "imaging/FileIO.h"

namespace velmora {
namespace {

constexpr uint8_t kMagic[8] = {'V', 'L', 'M', 'S', 'U', 'M', 'S', '\n'};
constexpr size_t kHeaderBytes = 16;  // magic, version, entry count
constexpr size_t kTrailerBytes = 4;  // crc32 of everything before it
constexpr size_t kMaxPathBytes = 4096;
// settings, size, mtime, signature, path length, at least one path byte
constexpr size_t kMinEntryBytes = 4 + 8 + 8 + 20 + 2 + 1;
// A cache file larger than this is refused before it is read, whatever it
// claims to hold.
constexpr uint64_t kMaxFileBytes = uint64_t(256) << 20;

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void Put64(std::vector<uint8_t>& b, uint64_t v) {
  Put32(b, uint32_t(v));
  Put32(b, uint32_t(v >> 32));
}

uint32_t Crc(std::span<const uint8_t> bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes lengths as uInt: feed large spans in pieces.
  while (!bytes.empty()) {
    const size_t n = std::min<size_t>(bytes.size(), 1u << 30);
    crc = crc32(crc, bytes.data(), static_cast<uInt>(n));
    bytes = bytes.subspan(n);
  }
  return static_cast<uint32_t>(crc);
}

// Holds an exclusive lock on the cache folder's lock file while it lives
// (no lock at all when the file cannot be opened: the rename keeps the cache
// whole anyway, only an entry of the other program may be lost).
class FolderLock {
public:
  explicit FolderLock(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd_ >= 0)
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

private:
  int fd_;
};

}  // namespace

uint32_t SummarySettings(int cellW, int cellH, bool crop, bool mono, bool upright) {
  return (uint32_t(cellW) & 0xFFF) | (uint32_t(cellH) & 0xFFF) << 12 | uint32_t(crop) << 24 |
         uint32_t(mono) << 25 | uint32_t(upright) << 26;
}

bool StatSummaryKey(SummaryKey& key) {
  struct stat st {};
  if (::stat(key.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  key.size = static_cast<uint64_t>(st.st_size);
  key.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

std::string DefaultCacheFolder() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  // The base directory rules ask for an absolute path; a relative one is ignored.
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/velmora";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.cache/velmora";
  return std::string();
}

std::vector<uint8_t> SummaryCache::Encode(const std::vector<std::pair<SummaryKey, ColorSignature>>& entries) {
  std::vector<uint8_t> b(kMagic, kMagic + 8);
  Put32(b, kVersion);
  Put32(b, static_cast<uint32_t>(entries.size()));
  for (const auto& [key, sig] : entries) {
    Put32(b, key.settings);
    Put64(b, key.size);
    Put64(b, static_cast<uint64_t>(key.mtimeNs));
    const auto bytes = sig.Bytes();
    b.insert(b.end(), bytes.begin(), bytes.end());
    Put16(b, static_cast<uint32_t>(key.path.size()));
    b.insert(b.end(), key.path.begin(), key.path.end());
  }
  Put32(b, Crc(b));
  return b;
}

Status SummaryCache::Parse(std::span<const uint8_t> bytes,
                           std::vector<std::pair<SummaryKey, ColorSignature>>& out) {
  out.clear();
  if (bytes.size() < kHeaderBytes + kTrailerBytes) return Status::Error("too short to be a summary cache");
  if (std::memcmp(bytes.data(), kMagic, 8) != 0) return Status::Error("not a summary cache");
  ByteCursor c(bytes);
  c.skip(8);
  const uint32_t version = c.u32le();
  if (version != kVersion) return Status::Error(Format("a cache of version %u, not %u", version, kVersion));
  const uint32_t count = c.u32le();
  const auto body = bytes.first(bytes.size() - kTrailerBytes);
  ByteCursor trailer(bytes.subspan(body.size()));
  if (Crc(body) != trailer.u32le()) return Status::Error("wrong checksum");
  if (count > kMaxEntries || uint64_t(count) * kMinEntryBytes > body.size() - kHeaderBytes)
    return Status::Error(Format("%u entries cannot fit its %zu bytes", count, bytes.size()));
  out.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    SummaryKey key;
    key.settings = c.u32le();
    key.size = uint64_t(c.u32le()) | uint64_t(c.u32le()) << 32;
    key.mtimeNs = static_cast<int64_t>(uint64_t(c.u32le()) | uint64_t(c.u32le()) << 32);
    const auto sig = c.take(20);
    const uint16_t length = c.u16le();
    if (c.overrun() || c.position() > body.size()) return Status::Error("an entry runs past the end");
    if (length == 0 || length > kMaxPathBytes || length > body.size() - c.position())
      return Status::Error(Format("entry %u has a path of %u bytes", i, unsigned(length)));
    const auto path = c.take(length);
    if (std::memchr(path.data(), '\0', path.size()) != nullptr)
      return Status::Error(Format("entry %u has a path with a zero byte", i));
    key.path.assign(reinterpret_cast<const char*>(path.data()), path.size());
    out.emplace_back(std::move(key), ColorSignature::FromBytes(sig.data()));
  }
  if (c.position() != body.size()) return Status::Error("bytes after the last entry");
  return Status::Ok();
}

std::string SummaryCache::IndexKey(const std::string& path, uint32_t settings) {
  std::string k = path;
  k.push_back('\0');
  k.append(reinterpret_cast<const char*>(&settings), sizeof settings);
  return k;
}

void SummaryCache::Put(const SummaryKey& key, const ColorSignature& signature) {
  auto [it, added] = index_.try_emplace(IndexKey(key.path, key.settings), entries_.size());
  if (added) {
    entries_.emplace_back(key, signature);
  } else {
    entries_[it->second] = {key, signature};
  }
}

Status SummaryCache::ReadFile(Entries& out) const {
  out.clear();
  const std::string path = FilePath();
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) return Status::Ok();  // no cache yet
  if (size > kMaxFileBytes)
    return Status::Error(Format("%llu bytes is more than a cache may hold", (unsigned long long)size));
  std::vector<uint8_t> bytes;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return Status::Error(std::strerror(errno));
  bytes.resize(static_cast<size_t>(size));
  const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  bytes.resize(got);  // a file that shrank meanwhile fails its checks below
  return Parse(bytes, out);
}

void SummaryCache::Load(std::string* warning) {
  entries_.clear();
  index_.clear();
  changed_ = false;
  Entries read;
  if (Status s = ReadFile(read); !s.ok()) {
    changed_ = true;  // rewritten at the next save
    if (warning)
      *warning = Format("The summary cache %s could not be used (%s); it is rebuilt.", FilePath().c_str(),
                        s.message().c_str());
    return;
  }
  for (const auto& [key, sig] : read) Put(key, sig);
}

bool SummaryCache::Find(const SummaryKey& key, ColorSignature& out) const {
  const auto it = index_.find(IndexKey(key.path, key.settings));
  if (it == index_.end()) return false;
  const SummaryKey& have = entries_[it->second].first;
  if (have.size != key.size || have.mtimeNs != key.mtimeNs) return false;
  out = entries_[it->second].second;
  return true;
}

void SummaryCache::Add(const SummaryKey& key, const ColorSignature& signature) {
  Put(key, signature);
  changed_ = true;
}

Status SummaryCache::Save() {
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  if (ec)
    return Status::Error(
        Format("Cannot create the cache folder \"%s\". %s", folder_.c_str(), ec.message().c_str()));
  FolderLock lock(folder_ + "/" + kFileName + ".lock");
  // Entries another program saved since Load come first (as the older ones),
  // unless this program has the same picture under the same settings.
  Entries merged;
  Entries onDisk;
  if (ReadFile(onDisk).ok())
    for (auto& e : onDisk)
      if (index_.count(IndexKey(e.first.path, e.first.settings)) == 0) merged.push_back(std::move(e));
  merged.insert(merged.end(), entries_.begin(), entries_.end());
  if (merged.size() > kMaxEntries) merged.erase(merged.begin(), merged.end() - kMaxEntries);
  VELMORA_TRY(WriteFileAtomically(FilePath(), Encode(merged)));
  changed_ = false;
  return Status::Ok();
}

Status SummaryCache::Clear(const std::string& folder) {
  const std::string path = folder + "/" + kFileName;
  if (std::remove(path.c_str()) != 0 && errno != ENOENT)
    return Status::Error(Format("Cannot remove \"%s\". %s", path.c_str(), std::strerror(errno)));
  return Status::Ok();
}

}  // namespace velmora
