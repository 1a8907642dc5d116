#include "library/SummaryCache.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "library/CacheFolder.h"

namespace velmora {
namespace {

constexpr uint8_t kMagic[8] = {'V', 'L', 'M', 'S', 'U', 'M', 'S', '\n'};
constexpr size_t kHeaderBytes = 16;  // magic, version, entry count
constexpr size_t kTrailerBytes = 4;  // crc32 of everything before it
constexpr size_t kMaxPathBytes = 4096;
// settings, size, mtime, signature, path length, at least one path byte
// (then, from version 2 on, a byte telling whether a detail summary follows)
constexpr size_t kMinEntryBytes = 4 + 8 + 8 + 20 + 2 + 1;
constexpr uint32_t kFirstVersion = 1;
// The version before the subject boxes: read as entries without one.
constexpr uint32_t kDetailVersion = 2;
constexpr size_t kSubjectBytes = 8;
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

// Holds an exclusive lock on the cache folder's lock file while it lives
// (no lock at all when the file cannot be opened: the rename keeps the cache
// whole anyway, only an entry of the other program may be lost).
class FolderLock {
public:
  explicit FolderLock(const CacheDir& dir) {
    const std::string name = std::string(SummaryCache::kFileName) + ".lock";
    fd_ = OpenFileIn(dir, name, O_RDWR | O_CREAT);
    // A link under the lock's name is nothing of ours: it goes, and the
    // file it names is left alone.
    if (fd_ < 0 && errno == ELOOP && ::unlinkat(dir.Fd(), name.c_str(), 0) == 0)
      fd_ = OpenFileIn(dir, name, O_RDWR | O_CREAT);
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
  int fd_ = -1;
};

}  // namespace

uint32_t SummarySettings(int cellW, int cellH, bool crop, bool mono, bool upright, bool previews, CropBy cropBy) {
  const uint32_t mode = crop ? uint32_t(cropBy) & 3 : 0;
  return (uint32_t(cellW) & 0xFFF) | (uint32_t(cellH) & 0xFFF) << 12 | uint32_t(crop) << 24 |
         uint32_t(mono) << 25 | uint32_t(upright) << 26 | uint32_t(previews) << 27 | mode << 28;
}

namespace {

bool KeyFromStat(int result, const struct stat& st, SummaryKey& key) {
  if (result != 0 || !S_ISREG(st.st_mode)) return false;
  key.size = static_cast<uint64_t>(st.st_size);
  key.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

}  // namespace

bool StatSummaryKey(SummaryKey& key) {
  struct stat st {};
  const int result = ::stat(key.path.c_str(), &st);
  return KeyFromStat(result, st, key);
}

KeyStat::~KeyStat() {
  if (fd_ >= 0) ::close(fd_);
}

bool KeyStat::operator()(SummaryKey& key) {
  const size_t slash = key.path.rfind('/');
  if (slash == std::string::npos || slash + 1 == key.path.size()) return StatSummaryKey(key);
  const std::string_view folder(key.path.data(), slash == 0 ? 1 : slash);
  if (fd_ < 0 || folder != folder_) {
    if (fd_ >= 0) ::close(fd_);
    folder_.assign(folder);
    fd_ = ::open(folder_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  }
  if (fd_ < 0) return StatSummaryKey(key);
  struct stat st {};
  const int result = ::fstatat(fd_, key.path.c_str() + slash + 1, &st, 0);
  return KeyFromStat(result, st, key);
}

std::string DefaultCacheFolder() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  // The base directory rules ask for an absolute path; a relative one is ignored.
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/velmora";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.cache/velmora";
  return std::string();
}

namespace {

// Writes a cache of the entries of `parts`, in order, leaving out the first
// `skip` of them, through `put` in pieces of about a megabyte.
Status EncodeTo(std::initializer_list<const SummaryCache::Entries*> parts, size_t skip,
                const std::function<Status(std::span<const uint8_t>)>& put) {
  size_t count = 0;
  for (const auto* part : parts) count += part->size();
  count -= std::min(skip, count);
  std::vector<uint8_t> b(kMagic, kMagic + 8);
  Put32(b, SummaryCache::kVersion);
  Put32(b, static_cast<uint32_t>(count));
  uLong crc = crc32(0L, Z_NULL, 0);
  auto flush = [&]() -> Status {
    crc = crc32(crc, b.data(), static_cast<uInt>(b.size()));
    Status s = put(b);
    b.clear();
    return s;
  };
  for (const auto* part : parts) {
    for (const auto& [key, summary] : *part) {
      if (skip > 0) {
        --skip;
        continue;
      }
      Put32(b, key.settings);
      Put64(b, key.size);
      Put64(b, static_cast<uint64_t>(key.mtimeNs));
      const auto bytes = summary.Signature.Bytes();
      b.insert(b.end(), bytes.begin(), bytes.end());
      Put16(b, static_cast<uint32_t>(key.path.size()));
      b.insert(b.end(), key.path.begin(), key.path.end());
      b.push_back(summary.HasDetail ? 1 : 0);
      if (summary.HasDetail) {
        const size_t at = b.size();
        b.resize(at + kDetailSummaryBytes);
        PutDetailBytes(summary.Detail, b.data() + at);
      }
      b.push_back(summary.HasSubject ? 1 : 0);
      if (summary.HasSubject)
        for (uint16_t v : {summary.Subject.Left, summary.Subject.Top, summary.Subject.Right, summary.Subject.Bottom})
          Put16(b, v);
      if (b.size() >= (size_t(1) << 20)) VELMORA_TRY(flush());
    }
  }
  VELMORA_TRY(flush());
  Put32(b, static_cast<uint32_t>(crc));
  return put(b);
}

// The body of a cache file (everything before its checksum), handed out in
// the pieces the parser asks for and checksummed on the way.
class BodyReader {
public:
  BodyReader(const std::function<size_t(uint8_t*, size_t)>& read, uint64_t bodyBytes)
      : read_(read), left_(bodyBytes), buffer_(size_t(std::min<uint64_t>(bodyBytes, 1u << 20))) {}

  // False when the body ends (or the file does) before n more bytes.
  bool Take(void* out, size_t n) {
    auto* dst = static_cast<uint8_t*>(out);
    while (n > 0) {
      if (at_ == filled_ && !Refill()) return false;
      const size_t k = std::min(n, filled_ - at_);
      std::memcpy(dst, buffer_.data() + at_, k);
      at_ += k;
      dst += k;
      n -= k;
      position_ += k;
    }
    return true;
  }
  uint64_t Position() const { return position_; }
  uint32_t Crc() const { return static_cast<uint32_t>(crc_); }

private:
  bool Refill() {
    if (left_ == 0) return false;
    const size_t want = size_t(std::min<uint64_t>(left_, buffer_.size()));
    const size_t got = read_(buffer_.data(), want);
    if (got == 0) return false;
    crc_ = crc32(crc_, buffer_.data(), static_cast<uInt>(got));
    left_ -= got;
    at_ = 0;
    filled_ = got;
    return true;
  }
  const std::function<size_t(uint8_t*, size_t)>& read_;
  uint64_t left_;
  std::vector<uint8_t> buffer_;
  size_t at_ = 0, filled_ = 0;
  uint64_t position_ = 0;
  uLong crc_ = crc32(0L, Z_NULL, 0);
};

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t Le64(const uint8_t* p) { return uint64_t(Le32(p)) | uint64_t(Le32(p + 4)) << 32; }

}  // namespace

std::vector<uint8_t> SummaryCache::Encode(const Entries& entries) {
  std::vector<uint8_t> out;
  (void)EncodeTo({&entries}, 0, [&](std::span<const uint8_t> piece) {
    out.insert(out.end(), piece.begin(), piece.end());
    return Status::Ok();
  });
  return out;
}

Status SummaryCache::Parse(std::span<const uint8_t> bytes, Entries& out) {
  size_t at = 0;
  const std::function<size_t(uint8_t*, size_t)> read = [&](uint8_t* dst, size_t n) {
    n = std::min(n, bytes.size() - at);
    std::memcpy(dst, bytes.data() + at, n);
    at += n;
    return n;
  };
  return ParseFrom(read, bytes.size(), nullptr, out);
}

Status SummaryCache::ParseFrom(const std::function<size_t(uint8_t*, size_t)>& read, uint64_t totalBytes,
                               const std::function<bool(const SummaryKey&)>& keep, Entries& out) {
  out.clear();
  if (totalBytes < kHeaderBytes + kTrailerBytes) return Status::Error("too short to be a summary cache");
  const uint64_t bodyBytes = totalBytes - kTrailerBytes;
  BodyReader body(read, bodyBytes);
  uint8_t head[kHeaderBytes];
  if (!body.Take(head, sizeof head)) return Status::Error("too short to be a summary cache");
  if (std::memcmp(head, kMagic, 8) != 0) return Status::Error("not a summary cache");
  const uint32_t version = Le32(head + 8);
  if (version != kVersion && version != kDetailVersion && version != kFirstVersion)
    return Status::Error(Format("a cache of version %u, not %u", version, kVersion));
  const uint32_t count = Le32(head + 12);
  if (count > kMaxEntries || uint64_t(count) * kMinEntryBytes > bodyBytes - kHeaderBytes)
    return Status::Error(
        Format("%u entries cannot fit its %llu bytes", count, (unsigned long long)totalBytes));
  if (!keep) out.reserve(count);  // bounded by the bytes the file has, as checked above
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t fixed[kMinEntryBytes - 1];
    if (!body.Take(fixed, sizeof fixed)) return Status::Error("an entry runs past the end");
    SummaryKey key;
    key.settings = Le32(fixed);
    key.size = Le64(fixed + 4);
    key.mtimeNs = static_cast<int64_t>(Le64(fixed + 12));
    const uint16_t length = uint16_t(fixed[40] | fixed[41] << 8);
    if (length == 0 || length > kMaxPathBytes || length > bodyBytes - body.Position())
      return Status::Error(Format("entry %u has a path of %u bytes", i, unsigned(length)));
    key.path.resize(length);
    if (!body.Take(key.path.data(), length)) return Status::Error("an entry runs past the end");
    if (key.path.find('\0') != std::string::npos)
      return Status::Error(Format("entry %u has a path with a zero byte", i));
    CachedSummary summary;
    summary.Signature = ColorSignature::FromBytes(fixed + 20);
    if (version != kFirstVersion) {
      uint8_t has = 0;
      if (!body.Take(&has, 1)) return Status::Error("an entry runs past the end");
      if (has > 1) return Status::Error(Format("entry %u has a damaged detail mark", i));
      if (has == 1) {
        uint8_t detail[kDetailSummaryBytes];
        if (!body.Take(detail, sizeof detail)) return Status::Error("an entry runs past the end");
        summary.HasDetail = true;
        summary.Detail = DetailFromBytes(detail);
      }
    }
    if (version >= 3) {
      uint8_t has = 0;
      if (!body.Take(&has, 1)) return Status::Error("an entry runs past the end");
      if (has > 1) return Status::Error(Format("entry %u has a damaged subject mark", i));
      if (has == 1) {
        uint8_t box[kSubjectBytes];
        if (!body.Take(box, sizeof box)) return Status::Error("an entry runs past the end");
        const auto at = [&](int k) { return uint16_t(box[2 * k] | box[2 * k + 1] << 8); };
        summary.HasSubject = true;
        summary.Subject = SubjectBox{at(0), at(1), at(2), at(3)};
        if (summary.Subject.Right < summary.Subject.Left || summary.Subject.Bottom < summary.Subject.Top)
          return Status::Error(Format("entry %u has a damaged subject box", i));
      }
    }
    if (!keep || keep(key)) out.emplace_back(std::move(key), summary);
  }
  if (body.Position() != bodyBytes) return Status::Error("bytes after the last entry");
  uint8_t trailer[kTrailerBytes];
  if (read(trailer, sizeof trailer) != sizeof trailer) return Status::Error("an entry runs past the end");
  if (body.Crc() != Le32(trailer)) return Status::Error("wrong checksum");
  return Status::Ok();
}

uint64_t SummaryCache::IndexHash(const std::string& path, uint32_t settings) {
  return std::hash<std::string>{}(path) ^ (uint64_t(settings) * 0x9E3779B97F4A7C15ull);
}

size_t SummaryCache::Locate(const std::string& path, uint32_t settings) const {
  if (index_.empty()) return std::string::npos;
  const uint64_t hash = IndexHash(path, settings);
  const size_t mask = index_.size() - 1;
  for (size_t i = size_t(hash) & mask;; i = (i + 1) & mask) {
    const Slot& slot = index_[i];
    if (slot.position == 0) return std::string::npos;
    if (slot.hash != hash) continue;
    const SummaryKey& have = entries_[slot.position - 1].first;
    if (have.settings == settings && have.path == path) return slot.position - 1;
  }
}

void SummaryCache::Reindex(size_t entries) {
  size_t size = 16;
  while (size < entries * 2) size *= 2;
  if (size <= index_.size()) return;
  index_.assign(size, Slot{});
  const size_t mask = size - 1;
  for (size_t at = 0; at < entries_.size(); ++at) {
    const uint64_t hash = IndexHash(entries_[at].first.path, entries_[at].first.settings);
    size_t i = size_t(hash) & mask;
    while (index_[i].position != 0) i = (i + 1) & mask;
    index_[i] = Slot{hash, at + 1};
  }
}

void SummaryCache::Put(SummaryKey key, const CachedSummary& summary) {
  const size_t at = Locate(key.path, key.settings);
  if (at != std::string::npos) {
    entries_[at] = {std::move(key), summary};
    return;
  }
  Reindex(entries_.size() + 1);
  const uint64_t hash = IndexHash(key.path, key.settings);
  const size_t mask = index_.size() - 1;
  size_t i = size_t(hash) & mask;
  while (index_[i].position != 0) i = (i + 1) & mask;
  index_[i] = Slot{hash, entries_.size() + 1};
  entries_.emplace_back(std::move(key), summary);
}

Status SummaryCache::ReadFile(const CacheDir& dir, Entries& out,
                              const std::function<bool(const SummaryKey&)>& keep) const {
  out.clear();
  if (!dir.IsOpen()) return Status::Ok();  // no folder, no cache yet
  const int fd = OpenFileIn(dir, kFileName, O_RDONLY);
  if (fd < 0) {
    if (errno == ENOENT) return Status::Ok();  // no cache yet
    return Status::Error(OpenFailure(errno));
  }
  struct stat st {};
  ::fstat(fd, &st);
  const auto size = static_cast<uint64_t>(st.st_size);
  if (size > kMaxFileBytes) {
    ::close(fd);
    return Status::Error(Format("%llu bytes is more than a cache may hold", (unsigned long long)size));
  }
  // A file that shrinks meanwhile fails the checks: the reads come up short.
  const std::function<size_t(uint8_t*, size_t)> read = [fd](uint8_t* dst, size_t n) {
    size_t got = 0;
    while (got < n) {
      const ssize_t r = ::read(fd, dst + got, n - got);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      got += static_cast<size_t>(r);
    }
    return got;
  };
  Status s = ParseFrom(read, size, keep, out);
  ::close(fd);
  return s;
}

void SummaryCache::Load(std::string* warning) {
  entries_.clear();
  index_.clear();
  changed_ = false;
  CacheDir dir;
  if (dir.Open(folder_, false) == CacheDir::State::Unsafe) {
    // No cache at all, and nothing to rewrite.
    if (warning && FirstWarningAbout(dir.Path())) *warning = dir.UnsafeWarning();
    return;
  }
  if (Status s = ReadFile(dir, entries_, nullptr); !s.ok()) {
    entries_.clear();
    changed_ = true;  // rewritten at the next save
    if (warning)
      *warning = Format("The summary cache %s could not be used (%s); it is rebuilt.", FilePath().c_str(),
                        s.message().c_str());
    return;
  }
  // A file holds each (path, settings) once, as Save writes it; should one
  // not, the later entry wins, as it would have when added.
  Entries read = std::move(entries_);
  entries_.clear();
  entries_.reserve(read.size());
  Reindex(read.size());
  for (auto& [key, summary] : read) Put(std::move(key), summary);
}

bool SummaryCache::Find(const SummaryKey& key, ColorSignature& out, DetailSummary* detail,
                        SubjectBox* subject) const {
  const size_t at = Locate(key.path, key.settings);
  if (at == std::string::npos) return false;
  const SummaryKey& have = entries_[at].first;
  if (have.size != key.size || have.mtimeNs != key.mtimeNs) return false;
  const CachedSummary& summary = entries_[at].second;
  if (detail) {
    if (!summary.HasDetail) return false;
    *detail = summary.Detail;
  }
  if (subject) {
    if (!summary.HasSubject) return false;
    *subject = summary.Subject;
  }
  out = summary.Signature;
  return true;
}

void SummaryCache::Add(const SummaryKey& key, const ColorSignature& signature, const DetailSummary* detail,
                       const SubjectBox* subject) {
  CachedSummary summary;
  summary.Signature = signature;
  if (detail) {
    summary.HasDetail = true;
    summary.Detail = *detail;
  }
  if (subject) {
    summary.HasSubject = true;
    summary.Subject = *subject;
  }
  Put(key, summary);
  changed_ = true;
}

Status SummaryCache::Save() {
  CacheDir dir;
  switch (dir.Open(folder_, true)) {
    case CacheDir::State::Open:
      break;
    case CacheDir::State::Unsafe:
      return Status::Ok();  // the program runs without the cache (Load told why)
    default:
      return Status::Error(
          Format("Cannot create the cache folder \"%s\". %s", folder_.c_str(), dir.Reason().c_str()));
  }
  FolderLock lock(dir);
  // Entries another program saved since Load come first (as the older ones),
  // unless this program has the same picture under the same settings. Only
  // those are read: the cache is never held twice.
  Entries others;
  if (!ReadFile(dir, others, [this](const SummaryKey& k) {
         return Locate(k.path, k.settings) == std::string::npos;
       }).ok())
    others.clear();
  const size_t total = others.size() + entries_.size();
  const size_t skip = total > kMaxEntries ? total - kMaxEntries : 0;
  RemoveDeadTemporaries(dir, kFileName);
  CacheTempFile file;
  VELMORA_TRY(file.Create(dir, kFileName));
  VELMORA_TRY(EncodeTo({&others, &entries_}, skip, [&](std::span<const uint8_t> piece) {
    return file.Write(piece.data(), piece.size());
  }));
  VELMORA_TRY(file.Commit(true));
  changed_ = false;
  return Status::Ok();
}

Status SummaryCache::Clear(const std::string& folder) {
  CacheDir dir;
  switch (dir.Open(folder, false)) {
    case CacheDir::State::Open:
      break;
    case CacheDir::State::Missing:
      return Status::Ok();  // no folder, no cache
    case CacheDir::State::Unsafe:
      return Status::Error(dir.UnsafeWarning());
    default:
      return Status::Error(
          Format("Cannot open the cache folder \"%s\". %s", folder.c_str(), dir.Reason().c_str()));
  }
  // The name only: a link there goes, not the file it names.
  if (::unlinkat(dir.Fd(), kFileName, 0) != 0 && errno != ENOENT)
    return Status::Error(
        Format("Cannot remove \"%s\". %s", dir.PathOf(kFileName).c_str(), std::strerror(errno)));
  return Status::Ok();
}

}  // namespace velmora
