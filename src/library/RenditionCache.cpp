#include "library/RenditionCache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "imaging/Checksum.h"

namespace velmora {
namespace {

constexpr uint8_t kMagic[8] = {'V', 'L', 'M', 'R', 'P', 'A', 'C', 'K'};
constexpr size_t kMaxPathBytes = 4096;
// size, mtime, offset, width, height, checksum, path length; then the path
constexpr size_t kEntryBytes = 8 + 8 + 8 + 4 + 4 + 4 + 4;

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
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t Get64(const uint8_t* p) { return uint64_t(Get32(p)) | uint64_t(Get32(p + 4)) << 32; }

uint32_t Crc(const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  uLong crc = crc32(0L, Z_NULL, 0);
  while (n > 0) {
    const auto piece = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
    crc = crc32(crc, p, piece);
    p += piece;
    n -= piece;
  }
  return static_cast<uint32_t>(crc);
}

// Pixels are kept as little-endian 32-bit words, which on the machines this
// runs on is their layout in memory: they are written and read in place.
void SwapPixelsIfBigEndian(std::span<TColor32> pixels) {
  if constexpr (std::endian::native == std::endian::big)
    for (TColor32& c : pixels) c = __builtin_bswap32(c);
}

bool IsPackName(const char* name) {
  const size_t n = std::strlen(name);
  const size_t e = std::strlen(RenditionCache::kExtension);
  return n > e && std::strcmp(name + n - e, RenditionCache::kExtension) == 0;
}

struct PackFile {
  std::string path;
  uint64_t bytes;
  int64_t usedNs;
};

// The packs of `folder` (those whose names start with `prefix`), least
// recently used first.
std::vector<PackFile> ListPacks(const std::string& folder, const std::string& prefix = std::string()) {
  std::vector<PackFile> packs;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return packs;
  const int dfd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    if (!IsPackName(entry->d_name) || std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0)
      continue;
    struct stat st {};
    if (::fstatat(dfd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    packs.push_back({folder + "/" + entry->d_name, static_cast<uint64_t>(st.st_size),
                     int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec});
  }
  ::closedir(dir);
  std::sort(packs.begin(), packs.end(), [](const PackFile& a, const PackFile& b) {
    return a.usedNs != b.usedNs ? a.usedNs < b.usedNs : a.path < b.path;
  });
  return packs;
}

bool ReadAt(int fd, void* to, size_t n, uint64_t at) {
  auto* p = static_cast<uint8_t*>(to);
  while (n > 0) {
    const ssize_t got = ::pread(fd, p, n, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    n -= static_cast<size_t>(got);
    at += static_cast<uint64_t>(got);
  }
  return true;
}

bool WriteAt(int fd, const void* from, size_t n, uint64_t at) {
  const auto* p = static_cast<const uint8_t*>(from);
  while (n > 0) {
    const ssize_t put = ::pwrite(fd, p, n, static_cast<off_t>(at));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    p += put;
    n -= static_cast<size_t>(put);
    at += static_cast<uint64_t>(put);
  }
  return true;
}

std::vector<uint8_t> EncodeIndex(const std::vector<RenditionCache::Entry>& entries) {
  size_t bytes = 0;
  for (const RenditionCache::Entry& e : entries) bytes += kEntryBytes + e.key.path.size();
  std::vector<uint8_t> b(bytes);
  uint8_t* p = b.data();
  for (const RenditionCache::Entry& e : entries) {
    Put64(p, e.key.size);
    Put64(p + 8, static_cast<uint64_t>(e.key.mtimeNs));
    Put64(p + 16, e.offset);
    Put32(p + 24, e.width);
    Put32(p + 28, e.height);
    Put32(p + 32, e.checksum);
    Put32(p + 36, static_cast<uint32_t>(e.key.path.size()));
    std::memcpy(p + kEntryBytes, e.key.path.data(), e.key.path.size());
    p += kEntryBytes + e.key.path.size();
  }
  return b;
}

std::vector<uint8_t> EncodeHeader(const RenditionCache::Header& h) {
  std::vector<uint8_t> b(RenditionCache::kHeaderBytes, 0);
  uint8_t* p = b.data();
  std::memcpy(p, kMagic, 8);
  Put32(p + 8, RenditionCache::kVersion);
  Put32(p + 12, h.settings);
  Put32(p + 16, h.count);
  Put64(p + 24, h.indexOffset);
  Put64(p + 32, h.indexBytes);
  Put32(p + 40, h.indexCrc);
  Put32(p + 44, Crc(p, 44));
  return b;
}

}  // namespace

struct RenditionCache::Pack {
  std::string path;
  int fd = -1;
  std::vector<Entry> entries;
  mutable std::atomic<bool> used{false};
  ~Pack() {
    if (fd >= 0) ::close(fd);
  }
};

// The pack a run is writing: pixels past the memory budget go to the
// temporary file as they come, the rest and the index when it is complete.
struct RenditionCache::Writer {
  std::string path;
  std::string tempPath;
  int fd = -1;
  uint64_t end = kHeaderBytes;
  std::vector<Entry> entries;
  bool failed = false;
  std::string error;
  bool renamed = false;
  Status result = Status::Ok();
  ~Writer() {
    if (fd >= 0) {
      ::close(fd);
      ::unlink(tempPath.c_str());
    }
  }
};

RenditionCache::RenditionCache(const std::string& cacheFolder, uint64_t capBytes, uint32_t settings,
                               uint64_t heldBytes)
    : folder_(cacheFolder.empty() ? std::string() : cacheFolder + "/" + kFolderName),
      cap_(capBytes),
      settings_(settings),
      heldCap_(heldBytes) {
  if (folder_.empty()) return;
  // Oldest first, so that a newer pack's rendition of a picture wins.
  for (const PackFile& f : ListPacks(folder_, Format("%08x-", settings_))) {
    bool otherVersion = false;
    if (Status s = AddPack(f.path, &otherVersion); !s.ok()) {
      // A pack an older or newer program wrote is no damage: it just goes.
      if (!otherVersion)
        warnings_.push_back(
            Format("The rendition pack %s could not be used (%s); it is removed and its "
                   "renditions are made again.",
                   f.path.c_str(), s.message().c_str()));
      ::unlink(f.path.c_str());
    }
  }
}

RenditionCache::~RenditionCache() {
  (void)Commit();
  (void)Settle();
}

Status RenditionCache::ParseHeader(std::span<const uint8_t> bytes, uint64_t fileBytes, Header& out) {
  if (bytes.size() < kHeaderBytes || fileBytes < kHeaderBytes) return Status::Error("too short to be a pack");
  const uint8_t* p = bytes.data();
  if (std::memcmp(p, kMagic, 8) != 0) return Status::Error("not a rendition pack");
  if (const uint32_t version = Get32(p + 8); version != kVersion)
    return Status::Error(Format("a pack of version %u, not %u", version, kVersion));
  if (Crc(p, 44) != Get32(p + 44)) return Status::Error("wrong header checksum");
  out.settings = Get32(p + 12);
  out.count = Get32(p + 16);
  out.indexOffset = Get64(p + 24);
  out.indexBytes = Get64(p + 32);
  out.indexCrc = Get32(p + 40);
  if (out.indexOffset < kHeaderBytes || out.indexOffset > fileBytes ||
      out.indexBytes != fileBytes - out.indexOffset)
    return Status::Error(Format("an index at %llu of %llu bytes in a file of %llu bytes",
                                static_cast<unsigned long long>(out.indexOffset),
                                static_cast<unsigned long long>(out.indexBytes),
                                static_cast<unsigned long long>(fileBytes)));
  if (uint64_t(out.count) > out.indexBytes / (kEntryBytes + 1))
    return Status::Error(Format("%u renditions in an index of %llu bytes", out.count,
                                static_cast<unsigned long long>(out.indexBytes)));
  return Status::Ok();
}

Status RenditionCache::ParseIndex(std::span<const uint8_t> index, const Header& header,
                                  std::vector<Entry>& out) {
  if (index.size() != header.indexBytes) return Status::Error("an index of the wrong size");
  if (Crc(index.data(), index.size()) != header.indexCrc) return Status::Error("wrong index checksum");
  out.clear();
  out.reserve(header.count);  // bounded by the index's bytes (ParseHeader)
  const uint8_t* p = index.data();
  const uint8_t* end = p + index.size();
  for (uint32_t i = 0; i < header.count; ++i) {
    if (size_t(end - p) < kEntryBytes) return Status::Error("an index cut short");
    Entry e;
    e.key.settings = header.settings;
    e.key.size = Get64(p);
    e.key.mtimeNs = static_cast<int64_t>(Get64(p + 8));
    e.offset = Get64(p + 16);
    e.width = Get32(p + 24);
    e.height = Get32(p + 28);
    e.checksum = Get32(p + 32);
    const uint32_t pathBytes = Get32(p + 36);
    p += kEntryBytes;
    if (pathBytes == 0 || pathBytes > kMaxPathBytes || size_t(end - p) < pathBytes)
      return Status::Error(Format("a path of %u bytes", pathBytes));
    if (e.width == 0 || e.height == 0 || e.width > uint32_t(kMaxSide) || e.height > uint32_t(kMaxSide))
      return Status::Error(Format("a picture of %u x %u pixels", e.width, e.height));
    const uint64_t pixelBytes = uint64_t(e.width) * e.height * 4;
    if (e.offset < kHeaderBytes || e.offset > header.indexOffset ||
        pixelBytes > header.indexOffset - e.offset)
      return Status::Error(
          Format("pixels at %llu past the data's end", static_cast<unsigned long long>(e.offset)));
    e.key.path.assign(reinterpret_cast<const char*>(p), pathBytes);
    p += pathBytes;
    out.push_back(std::move(e));
  }
  if (p != end) return Status::Error("bytes after the index");
  return Status::Ok();
}

std::vector<uint8_t> RenditionCache::EncodePack(
    uint32_t settings, const std::vector<std::pair<SummaryKey, TBitmap32>>& renditions) {
  std::vector<uint8_t> data;
  std::vector<Entry> entries;
  for (const auto& [key, picture] : renditions) {
    Entry e;
    e.key = key;
    e.offset = kHeaderBytes + data.size();
    e.width = static_cast<uint32_t>(picture.Width());
    e.height = static_cast<uint32_t>(picture.Height());
    const size_t at = data.size();
    data.resize(at + picture.Pixels().size() * 4);
    for (size_t i = 0; i < picture.Pixels().size(); ++i) Put32(data.data() + at + 4 * i, picture.Pixels()[i]);
    e.checksum = BulkChecksum(data.data() + at, data.size() - at);
    entries.push_back(std::move(e));
  }
  const std::vector<uint8_t> index = EncodeIndex(entries);
  Header h;
  h.settings = settings;
  h.count = static_cast<uint32_t>(entries.size());
  h.indexOffset = kHeaderBytes + data.size();
  h.indexBytes = index.size();
  h.indexCrc = Crc(index.data(), index.size());
  std::vector<uint8_t> bytes = EncodeHeader(h);
  bytes.insert(bytes.end(), data.begin(), data.end());
  bytes.insert(bytes.end(), index.begin(), index.end());
  return bytes;
}

Status RenditionCache::AddPack(const std::string& path, bool* otherVersion) {
  auto pack = std::make_unique<Pack>();
  pack->path = path;
  pack->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (pack->fd < 0) return Status::Error(std::strerror(errno));
  struct stat st {};
  if (::fstat(pack->fd, &st) != 0 || !S_ISREG(st.st_mode)) return Status::Error("not a regular file");
  const auto fileBytes = static_cast<uint64_t>(st.st_size);
  uint8_t head[kHeaderBytes];
  if (fileBytes < kHeaderBytes || !ReadAt(pack->fd, head, kHeaderBytes, 0))
    return Status::Error("too short to be a pack");
  if (otherVersion != nullptr)
    *otherVersion = std::memcmp(head, kMagic, 8) == 0 && Get32(head + 8) != kVersion;
  Header h;
  VELMORA_TRY(ParseHeader(head, fileBytes, h));
  if (h.settings != settings_) return Status::Error("a pack of other settings under this name");
  // The index's size was checked against the file's, so this allocates
  // only bytes that are there.
  std::vector<uint8_t> index(static_cast<size_t>(h.indexBytes));
  if (!ReadAt(pack->fd, index.data(), index.size(), h.indexOffset))
    return Status::Error("the index cannot be read");
  VELMORA_TRY(ParseIndex(index, h, pack->entries));
  const Pack* added = pack.get();
  packs_.push_back(std::move(pack));
  index_.reserve(index_.size() + added->entries.size());
  for (size_t i = 0; i < added->entries.size(); ++i) index_[added->entries[i].key.path] = Located{added, i};
  return Status::Ok();
}

bool RenditionCache::Find(const SummaryKey& key, TBitmap32& out, std::string* warning) const {
  auto same = [&key](const SummaryKey& have) {
    return have.path == key.path && have.settings == key.settings && have.size == key.size &&
           have.mtimeNs == key.mtimeNs;
  };
  if (key.settings != settings_) return false;
  std::shared_ptr<const TBitmap32> held;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto it = held_.find(key.path); it != held_.end() && same(it->second.key))
      held = it->second.picture;
  }
  if (held) {
    if (!out.SetSizeForOverwrite(held->Width(), held->Height()).ok()) return false;
    std::copy(held->Pixels().begin(), held->Pixels().end(), out.Pixels().begin());
    return true;
  }
  const auto it = index_.find(key.path);
  if (it == index_.end()) return false;
  const Pack& pack = *it->second.pack;
  const Entry& e = pack.entries[it->second.entry];
  if (!same(e.key)) return false;  // this picture before it changed: replaced by the next Store
  // Every pixel is read from the pack, or the picture is emptied below.
  Status read = out.SetSizeForOverwrite(static_cast<int>(e.width), static_cast<int>(e.height));
  if (read.ok()) {
    const std::span<TColor32> pixels = out.Pixels();
    // Straight into the picture: the pixels are stored as they lie in memory.
    if (!ReadAt(pack.fd, pixels.data(), pixels.size_bytes(), e.offset))
      read = Status::Error("cannot be read");
    else if (BulkChecksum(pixels.data(), pixels.size_bytes()) != e.checksum)
      read = Status::Error("wrong checksum");
    else
      SwapPixelsIfBigEndian(pixels);
  }
  if (!read.ok()) {
    (void)out.SetSize(0, 0);
    if (warning)
      *warning = Format("The rendition of %s in %s could not be used (%s); it is made again.",
                        key.path.c_str(), pack.path.c_str(), read.message().c_str());
    return false;
  }
  pack.used.store(true, std::memory_order_relaxed);
  return true;
}

std::string RenditionCache::NewPackPath() const {
  static std::atomic<uint64_t> serial{0};
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return Format(
      "%s/%08x-%llx-%d-%llu%s", folder_.c_str(), settings_,
      static_cast<unsigned long long>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()),
      static_cast<int>(::getpid()),
      static_cast<unsigned long long>(serial.fetch_add(1, std::memory_order_relaxed)), kExtension);
}

// Opens the writer's temporary file when it has none yet.
Status RenditionCache::OpenWriter(Writer& w) const {
  if (w.fd >= 0 || w.failed) return w.failed ? Status::Error(w.error) : Status::Ok();
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  w.path = NewPackPath();
  w.tempPath = w.path + Format(".tmp-%d", static_cast<int>(::getpid()));
  w.fd = ::open(w.tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (w.fd < 0) {
    w.failed = true;
    w.error = Format("Cannot create \"%s\". %s", w.tempPath.c_str(), std::strerror(errno));
    return Status::Error(w.error);
  }
  return Status::Ok();
}

Status RenditionCache::Store(const SummaryKey& key, const TBitmap32& picture) const {
  return StorePicture(key, picture, nullptr);
}

Status RenditionCache::Store(const SummaryKey& key, TBitmap32&& picture) const {
  return StorePicture(key, picture, &picture);
}

Status RenditionCache::StorePicture(const SummaryKey& key, const TBitmap32& picture, TBitmap32* movable) const {
  if (key.path.empty() || key.path.size() > kMaxPathBytes || key.settings != settings_ || picture.Empty() ||
      picture.Width() > kMaxSide || picture.Height() > kMaxSide)
    return Status::Ok();  // nothing a rendition can hold
  const uint64_t pixelBytes = uint64_t(picture.Pixels().size()) * 4;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (heldBytes_ + pixelBytes <= heldCap_) {
      auto kept = movable ? std::make_shared<const TBitmap32>(std::move(*movable))
                          : std::make_shared<const TBitmap32>(picture);
      auto [it, added] = held_.try_emplace(key.path);
      if (!added) heldBytes_ -= uint64_t(it->second.picture->Pixels().size()) * 4;
      heldBytes_ += pixelBytes;
      it->second = Held{key, kept};
      // Written to the pack when the run commits it, off the way of the work.
      if (!folder_.empty()) {
        pending_.push_back(Held{key, std::move(kept)});
        stored_.store(true, std::memory_order_relaxed);
      }
      return Status::Ok();
    }
  }
  if (folder_.empty()) return Status::Ok();

  // Past the memory budget the pixels go to the pack's file at once.
  std::vector<TColor32> swapped;
  std::span<const TColor32> pixels = picture.Pixels();
  if constexpr (std::endian::native == std::endian::big) {
    swapped.assign(pixels.begin(), pixels.end());
    SwapPixelsIfBigEndian(swapped);
    pixels = swapped;
  }
  Entry e;
  e.key = key;
  e.width = static_cast<uint32_t>(picture.Width());
  e.height = static_cast<uint32_t>(picture.Height());
  e.checksum = BulkChecksum(pixels.data(), pixels.size_bytes());
  int fd = -1;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!writer_) writer_ = std::make_unique<Writer>();
    VELMORA_TRY(OpenWriter(*writer_));
    // A pack never passes the cap on its own.
    if (writer_->end + pixelBytes + kEntryBytes * (writer_->entries.size() + 1) > cap_) return Status::Ok();
    e.offset = writer_->end;
    writer_->end += pixelBytes;
    fd = writer_->fd;
    writer_->entries.push_back(e);
  }
  stored_.store(true, std::memory_order_relaxed);
  if (!WriteAt(fd, pixels.data(), pixels.size_bytes(), e.offset)) {
    std::lock_guard<std::mutex> lock(mutex_);
    writer_->failed = true;
    writer_->error = Format("Cannot write \"%s\". %s", writer_->tempPath.c_str(), std::strerror(errno));
    return Status::Error(writer_->error);
  }
  return Status::Ok();
}

Status RenditionCache::FinishPack(Writer& w, const std::vector<Held>& pending) const {
  // The renditions held in memory, appended in one go.
  if (!pending.empty()) {
    VELMORA_TRY(OpenWriter(w));
    std::vector<iovec> pieces;
    pieces.reserve(std::min<size_t>(pending.size(), IOV_MAX));
    uint64_t at = w.end;
    uint64_t batchAt = at;
    std::vector<std::vector<TColor32>> swapped;
    auto flush = [&]() -> bool {
      size_t i = 0;
      while (i < pieces.size()) {
        const ssize_t put = ::pwritev(w.fd, pieces.data() + i, static_cast<int>(pieces.size() - i),
                                      static_cast<off_t>(batchAt));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        batchAt += static_cast<uint64_t>(put);
        size_t done = static_cast<size_t>(put);
        while (i < pieces.size() && done >= pieces[i].iov_len) done -= pieces[i++].iov_len;
        if (done > 0) {
          pieces[i].iov_base = static_cast<uint8_t*>(pieces[i].iov_base) + done;
          pieces[i].iov_len -= done;
        }
      }
      pieces.clear();
      swapped.clear();
      batchAt = at;
      return true;
    };
    for (const Held& h : pending) {
      const uint64_t pixelBytes = uint64_t(h.picture->Pixels().size()) * 4;
      if (at + pixelBytes + kEntryBytes * (w.entries.size() + 1) > cap_)
        break;  // a pack never passes the cap
      std::span<const TColor32> pixels = h.picture->Pixels();
      if constexpr (std::endian::native == std::endian::big) {
        swapped.emplace_back(pixels.begin(), pixels.end());
        SwapPixelsIfBigEndian(swapped.back());
        pixels = swapped.back();
      }
      Entry e;
      e.key = h.key;
      e.offset = at;
      e.width = static_cast<uint32_t>(h.picture->Width());
      e.height = static_cast<uint32_t>(h.picture->Height());
      e.checksum = BulkChecksum(pixels.data(), pixels.size_bytes());
      w.entries.push_back(std::move(e));
      pieces.push_back(iovec{const_cast<TColor32*>(pixels.data()), pixels.size_bytes()});
      at += pixelBytes;
      if (pieces.size() == IOV_MAX && !flush()) break;
    }
    if (!flush()) {
      w.failed = true;
      w.error = Format("Cannot write \"%s\". %s", w.tempPath.c_str(), std::strerror(errno));
    }
    w.end = at;
  }
  if (w.failed) return Status::Error(w.error);
  if (w.entries.empty()) return Status::Ok();

  const std::vector<uint8_t> index = EncodeIndex(w.entries);
  Header h;
  h.settings = settings_;
  h.count = static_cast<uint32_t>(w.entries.size());
  h.indexOffset = w.end;
  h.indexBytes = index.size();
  h.indexCrc = Crc(index.data(), index.size());
  const std::vector<uint8_t> header = EncodeHeader(h);
  const bool written =
      WriteAt(w.fd, index.data(), index.size(), w.end) && WriteAt(w.fd, header.data(), header.size(), 0);
  const int closed = ::close(w.fd);
  w.fd = -1;
  if (!written || closed != 0 || ::rename(w.tempPath.c_str(), w.path.c_str()) != 0) {
    const int err = errno;
    ::unlink(w.tempPath.c_str());
    return Status::Error(Format("Cannot write \"%s\". %s", w.path.c_str(), std::strerror(err)));
  }
  w.renamed = true;

  // The least recently used packs go until the rest fit the cap.
  std::vector<PackFile> packs = ListPacks(folder_);
  uint64_t total = 0;
  for (const PackFile& f : packs) total += f.bytes;
  for (const PackFile& f : packs) {
    if (total <= cap_) break;
    if (::unlink(f.path.c_str()) == 0 || errno == ENOENT) total -= f.bytes;
  }
  return Status::Ok();
}

Status RenditionCache::Settle() {
  if (flusher_.joinable()) flusher_.join();
  std::unique_ptr<Writer> w = std::move(flushed_);
  Status result = Status::Ok();
  if (w && !w->result.ok()) {
    result = w->result;
  } else if (w && w->renamed) {
    if (Status s = AddPack(w->path); !s.ok())
      result = Status::Error(Format("The rendition pack %s just written cannot be read (%s).", w->path.c_str(),
                                    s.message().c_str()));
  }
  if (releaseWhenSettled_) {
    releaseWhenSettled_ = false;
    std::lock_guard<std::mutex> lock(mutex_);
    held_.clear();
    heldBytes_ = 0;
  }
  return result;
}

Status RenditionCache::SettleIfWritten() {
  if (flusher_.joinable() && flushing_.load(std::memory_order_acquire)) return Status::Ok();
  return Settle();
}

Status RenditionCache::Commit() {
  Status result = SettleIfWritten();
  std::unique_ptr<Writer> w;
  std::vector<Held> pending;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    w = std::move(writer_);
    pending.swap(pending_);
  }
  if (folder_.empty()) return result;

  // The use of every pack read since the last commit, for the order of
  // eviction.
  const timespec now[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
  for (const std::unique_ptr<Pack>& p : packs_)
    if (p->used.exchange(false, std::memory_order_relaxed)) (void)::futimens(p->fd, now);

  stored_.store(false, std::memory_order_relaxed);
  // A pack still being written is waited for only when there is another to
  // write: a commit with nothing new leaves it to finish behind the work.
  if (!w && pending.empty()) return result;
  if (Status s = Settle(); !s.ok() && result.ok()) result = s;
  if (!w) w = std::make_unique<Writer>();
  // Renditions all held in memory are written by a thread of their own, while
  // the run goes on (they are read from memory until it is done); those
  // already partly on disk are finished here, as later reads need the pack.
  if (w->entries.empty()) {
    // Shared with the thread, so that they are still here to be written when
    // no thread can be made.
    auto held = std::make_shared<std::vector<Held>>(std::move(pending));
    try {
      flushing_.store(true, std::memory_order_relaxed);
      flusher_ = std::thread([this, w = w.get(), held] {
        w->result = FinishPack(*w, *held);
        flushing_.store(false, std::memory_order_release);
      });
      flushed_ = std::move(w);
      return result;
    } catch (const std::system_error&) {
      flushing_.store(false, std::memory_order_relaxed);
      pending = std::move(*held);
    }
  }
  w->result = FinishPack(*w, pending);
  flushed_ = std::move(w);
  if (Status s = Settle(); !s.ok() && result.ok()) result = s;
  return result;
}

Status RenditionCache::ReleaseHeld() {
  // The pack of what is held must be complete before it is let go. It is not
  // waited for: while it is being written, the held renditions stay (they
  // are what a render finds meanwhile) and go when the writing is settled,
  // at the next commit or with the cache.
  releaseWhenSettled_ = true;
  return SettleIfWritten();
}

std::vector<std::string> RenditionCache::TakeWarnings() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(warnings_, {});
}

RenditionCache::Usage RenditionCache::Measure(const std::string& cacheFolder) {
  Usage usage;
  for (const PackFile& f : ListPacks(cacheFolder + "/" + kFolderName)) {
    ++usage.packs;
    usage.bytes += f.bytes;
    const int fd = ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    uint8_t head[kHeaderBytes];
    Header h;
    if (ReadAt(fd, head, kHeaderBytes, 0) && ParseHeader(head, f.bytes, h).ok()) usage.renditions += h.count;
    ::close(fd);
  }
  return usage;
}

Status RenditionCache::Clear(const std::string& cacheFolder) {
  // The whole folder: temporary files a stopped program left go too, and
  // renditions of earlier versions.
  const std::string folder = cacheFolder + "/" + kFolderName;
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  if (ec) return Status::Error(Format("Cannot remove \"%s\". %s", folder.c_str(), ec.message().c_str()));
  return Status::Ok();
}

}  // namespace velmora
