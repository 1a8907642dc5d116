#include "library/RenditionCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <system_error>
#include <utility>

#include "imaging/Checksum.h"
#include "library/RenditionPack.h"

namespace velmora {

using namespace pack;

namespace {

// Stored bytes below which a pack is not doubted (see AddPackFile).
constexpr uint64_t kMinStoredBytes = uint64_t(1) << 20;

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
  std::string name;
  uint64_t bytes;
  int64_t usedNs;
};

// What a look through the renditions folder found.
struct FolderScan {
  uint64_t bytes = 0;               // of every file in it
  std::vector<PackFile> removable;  // every file but temporaries, least recently used first
  std::vector<std::string> links;   // pack names that were links (and are gone with `tidy`)
};

// With `tidy`, the temporaries of programs that no longer run and every link
// go first (a link is nothing the program makes; it is removed, never
// followed).
FolderScan ScanFolder(const CacheDir& dir, bool tidy) {
  FolderScan scan;
  for (const CacheEntry& e : ListEntries(dir)) {
    if (S_ISLNK(e.st.st_mode)) {
      if (IsPackName(e.name.c_str())) scan.links.push_back(e.name);
      if (tidy) ::unlinkat(dir.Fd(), e.name.c_str(), 0);
      continue;
    }
    if (!S_ISREG(e.st.st_mode)) continue;
    if (tidy && TemporaryOfDeadProcess(e.name) && ::unlinkat(dir.Fd(), e.name.c_str(), 0) == 0) continue;
    const auto bytes = static_cast<uint64_t>(e.st.st_size);
    scan.bytes += bytes;
    // A temporary of a program still running is its pack in the making.
    if (!IsTemporaryName(e.name))
      scan.removable.push_back(
          {e.name, bytes, int64_t(e.st.st_mtim.tv_sec) * 1000000000 + e.st.st_mtim.tv_nsec});
  }
  std::sort(scan.removable.begin(), scan.removable.end(), [](const PackFile& a, const PackFile& b) {
    return a.usedNs != b.usedNs ? a.usedNs < b.usedNs : a.name < b.name;
  });
  return scan;
}

// Whether the open folder `dir` has been removed since it was opened: a
// cache cleared by another run while this one goes on.
bool Vanished(const CacheDir& dir) {
  struct stat st {};
  return dir.IsOpen() && ::fstat(dir.Fd(), &st) == 0 && st.st_nlink == 0;
}

// Whether `name` is (still) in the open folder `dir`.
bool StillThere(const CacheDir& dir, const std::string& name) {
  struct stat st {};
  return ::fstatat(dir.Fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
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
  std::string name;  // the pack's, in the folder
  CacheTempFile file;
  uint64_t end = kHeaderBytes;
  std::vector<Entry> entries;
  bool failed = false;
  std::string error;
  bool renamed = false;
  // The folder was removed under it (another run cleared the cache): its
  // renditions are not kept, and nothing is said about it.
  bool dropped = false;
  Status result = Status::Ok();
};

RenditionCache::RenditionCache(const std::string& cacheFolder, uint64_t capBytes, uint32_t settings,
                               uint64_t heldBytes)
    : folder_(cacheFolder.empty() ? std::string() : cacheFolder + "/" + kFolderName),
      cacheFolder_(cacheFolder),
      cap_(capBytes),
      settings_(settings),
      heldCap_(heldBytes) {
  if (folder_.empty()) return;
  std::string unsafeFolder;
  if (Status s = OpenFolder(false, &unsafeFolder); !s.ok()) {
    // Else nothing is there yet: it is made when a pack is written.
    unsafe_ = !unsafeFolder.empty();
    if (unsafe_ && FirstWarningAbout(unsafeFolder)) warnings_.push_back(s.message());
    return;
  }
  const FolderScan scan = ScanFolder(dir_, true);
  for (const std::string& name : scan.links)
    warnings_.push_back(
        Format("The rendition pack %s could not be used (it is a symbolic link); it is removed "
               "and its renditions are made again.",
               dir_.PathOf(name).c_str()));
  // Oldest first, so that a newer pack's rendition of a picture wins.
  const std::string prefix = Format("%08x-", settings_);
  for (const PackFile& f : scan.removable) {
    if (!IsPackName(f.name.c_str()) || f.name.compare(0, prefix.size(), prefix) != 0) continue;
    bool otherVersion = false;
    if (Status s = AddPack(f.name, &otherVersion); !s.ok()) {
      // A pack an older or newer program wrote is no damage: it just goes.
      if (!otherVersion)
        warnings_.push_back(
            Format("The rendition pack %s could not be used (%s); it is removed and its "
                   "renditions are made again.",
                   dir_.PathOf(f.name).c_str(), s.message().c_str()));
      ::unlinkat(dir_.Fd(), f.name.c_str(), 0);
    }
  }
}

Status RenditionCache::OpenFolder(bool create, std::string* unsafeFolder) const {
  std::lock_guard<std::mutex> lock(dirMutex_);
  if (dir_.IsOpen()) return Status::Ok();
  CacheDir top;
  CacheDir::State state = top.Open(cacheFolder_, create);
  const CacheDir* failed = &top;
  if (state == CacheDir::State::Open) {
    state = dir_.OpenChild(top, kFolderName, create);
    failed = &dir_;
  }
  switch (state) {
    case CacheDir::State::Open:
      return Status::Ok();
    case CacheDir::State::Unsafe:
      // Only the constructor's finding turns the cache off; one made unsafe
      // later fails the writes that meet it.
      if (unsafeFolder) *unsafeFolder = failed->Path();
      return Status::Error(failed->UnsafeWarning());
    default:
      return Status::Error(
          Format("Cannot create \"%s\". %s", failed->Path().c_str(), failed->Reason().c_str()));
  }
}

RenditionCache::~RenditionCache() {
  (void)Commit();
  (void)Settle();
}

Status RenditionCache::AddPack(const std::string& name, bool* otherVersion) {
  // However a pack is made, reading it may ask for no more memory than its
  // bytes can justify; should even that not be there, the pack is as good
  // as damaged.
  try {
    return AddPackFile(name, otherVersion);
  } catch (const std::bad_alloc&) {
    return Status::Error("too large to be read into memory");
  } catch (const std::length_error&) {
    return Status::Error("too large to be read into memory");
  }
}

Status RenditionCache::AddPackFile(const std::string& name, bool* otherVersion) {
  auto pack = std::make_unique<Pack>();
  pack->path = dir_.PathOf(name);
  pack->fd = OpenFileIn(dir_, name, O_RDONLY);
  if (pack->fd < 0) return Status::Error(OpenFailure(errno));
  struct stat st {};
  if (::fstat(pack->fd, &st) != 0) return Status::Error(std::strerror(errno));
  const auto fileBytes = static_cast<uint64_t>(st.st_size);
  uint8_t head[kHeaderBytes];
  if (fileBytes < kHeaderBytes || !ReadAt(pack->fd, head, kHeaderBytes, 0))
    return Status::Error("too short to be a pack");
  if (otherVersion != nullptr)
    *otherVersion = std::memcmp(head, kMagic, 8) == 0 && Get32(head + 8) != kVersion;
  Header h;
  VELMORA_TRY(ParseHeader(head, fileBytes, h));
  if (h.settings != settings_) return Status::Error("a pack of other settings under this name");
  // The length a file claims costs nothing to forge (a sparse file claims
  // gigabytes on a few blocks): the index may take no more memory than the
  // file really stores on the disk. The floor is for file systems that
  // count a small file's blocks as none.
  const uint64_t stored = std::max<uint64_t>(uint64_t(st.st_blocks) * 512, kMinStoredBytes);
  if (h.indexBytes > stored)
    return Status::Error(Format("an index of %llu bytes in a file that stores %llu",
                                static_cast<unsigned long long>(h.indexBytes),
                                static_cast<unsigned long long>(stored)));
  std::vector<uint8_t> index(static_cast<size_t>(h.indexBytes));
  if (!ReadAt(pack->fd, index.data(), index.size(), h.indexOffset))
    return Status::Error("the index cannot be read");
  VELMORA_TRY(ParseIndex(index, h, pack->entries));
  const Pack* added = pack.get();
  // In the list before the map points to it, so that nothing in the map is
  // left pointing nowhere should the map's growth fail.
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

std::string RenditionCache::NewPackName() const {
  static std::atomic<uint64_t> serial{0};
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return Format(
      "%08x-%llx-%d-%llu%s", settings_,
      static_cast<unsigned long long>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()),
      static_cast<int>(::getpid()),
      static_cast<unsigned long long>(serial.fetch_add(1, std::memory_order_relaxed)), kExtension);
}

// Opens the writer's temporary file when it has none yet.
Status RenditionCache::OpenWriter(Writer& w) const {
  if (w.dropped) return Status::Ok();
  if (w.file.Fd() >= 0 || w.failed) return w.failed ? Status::Error(w.error) : Status::Ok();
  Status s = OpenFolder(true);
  if (s.ok()) {
    w.name = NewPackName();
    s = w.file.Create(dir_, w.name);
  }
  if (!s.ok() && Vanished(dir_)) {
    // No fault: the next commit makes the folder anew.
    w.dropped = true;
    return Status::Ok();
  }
  if (!s.ok()) {
    w.failed = true;
    w.error = s.message();
  }
  return s;
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
      if (OnDisk()) {
        pending_.push_back(Held{key, std::move(kept)});
        stored_.store(true, std::memory_order_relaxed);
      }
      return Status::Ok();
    }
  }
  if (!OnDisk()) return Status::Ok();

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
    if (writer_->dropped) return Status::Ok();
    // A pack never passes the cap on its own.
    if (writer_->end + pixelBytes + kEntryBytes * (writer_->entries.size() + 1) > cap_) return Status::Ok();
    e.offset = writer_->end;
    writer_->end += pixelBytes;
    fd = writer_->file.Fd();
    writer_->entries.push_back(e);
  }
  stored_.store(true, std::memory_order_relaxed);
  if (!WriteAt(fd, pixels.data(), pixels.size_bytes(), e.offset)) {
    std::lock_guard<std::mutex> lock(mutex_);
    writer_->failed = true;
    writer_->error =
        Format("Cannot write \"%s\". %s", writer_->file.TempPath().c_str(), std::strerror(errno));
    return Status::Error(writer_->error);
  }
  return Status::Ok();
}

Status RenditionCache::FinishPack(Writer& w, const std::vector<Held>& pending) const {
  // The renditions held in memory, appended in one go.
  if (!pending.empty()) {
    VELMORA_TRY(OpenWriter(w));
    if (w.dropped) return Status::Ok();
    std::vector<iovec> pieces;
    pieces.reserve(std::min<size_t>(pending.size(), IOV_MAX));
    uint64_t at = w.end;
    uint64_t batchAt = at;
    std::vector<std::vector<TColor32>> swapped;
    auto flush = [&]() -> bool {
      size_t i = 0;
      while (i < pieces.size()) {
        const ssize_t put = ::pwritev(w.file.Fd(), pieces.data() + i, static_cast<int>(pieces.size() - i),
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
      w.error = Format("Cannot write \"%s\". %s", w.file.TempPath().c_str(), std::strerror(errno));
    }
    w.end = at;
  }
  if (w.dropped) return Status::Ok();
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
  if (!WriteAt(w.file.Fd(), index.data(), index.size(), w.end) ||
      !WriteAt(w.file.Fd(), header.data(), header.size(), 0))
    return Status::Error(
        Format("Cannot write \"%s\". %s", dir_.PathOf(w.name).c_str(), std::strerror(errno)));
  // A cache is not worth a wait for the disk: a pack cut short by a crash
  // fails its checks and is made again.
  // A folder removed or emptied meanwhile (another run cleared the cache)
  // took the pack with it: no fault.
  if (Status s = w.file.Commit(false); !s.ok())
    return Vanished(dir_) || w.file.CommitError() == ENOENT ? Status::Ok() : s;
  w.renamed = true;
  Trim();
  return Status::Ok();
}

void RenditionCache::Trim() const {
  // The least recently used files go until the rest fit the cap.
  const FolderScan scan = ScanFolder(dir_, true);
  uint64_t total = scan.bytes;
  for (const PackFile& f : scan.removable) {
    if (total <= cap_) break;
    if (::unlinkat(dir_.Fd(), f.name.c_str(), 0) == 0 || errno == ENOENT) total -= f.bytes;
  }
}

Status RenditionCache::Settle() {
  if (flusher_.joinable()) flusher_.join();
  std::unique_ptr<Writer> w = std::move(flushed_);
  Status result = Status::Ok();
  if (w && !w->result.ok()) {
    result = w->result;
  } else if (w && w->renamed && !StillThere(dir_, w->name)) {
    // Removed since it was written (another run cleared the cache): there
    // is nothing to read back, and nothing wrong.
  } else if (w && w->renamed) {
    if (Status s = AddPack(w->name); !s.ok())
      result = Status::Error(Format("The rendition pack %s just written cannot be read (%s).",
                                    dir_.PathOf(w->name).c_str(),
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
  if (!OnDisk()) return result;

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
  if (Vanished(dir_)) {
    // The folder was removed (another run cleared the cache): it is made
    // anew for this pack, and a pack begun in the old one is let go.
    w.reset();
    std::lock_guard<std::mutex> lock(dirMutex_);
    dir_ = CacheDir();
  }
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
  CacheDir top, dir;
  if (top.Open(cacheFolder, false) != CacheDir::State::Open ||
      dir.OpenChild(top, kFolderName, false) != CacheDir::State::Open)
    return usage;
  const FolderScan scan = ScanFolder(dir, false);
  usage.bytes = scan.bytes;  // temporaries included: they take the room too
  for (const PackFile& f : scan.removable) {
    if (!IsPackName(f.name.c_str())) continue;
    ++usage.packs;
    const int fd = OpenFileIn(dir, f.name, O_RDONLY);
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
  CacheDir top;
  switch (top.Open(cacheFolder, false)) {
    case CacheDir::State::Open:
      return RemoveTree(top, kFolderName);
    case CacheDir::State::Missing:
      return Status::Ok();
    case CacheDir::State::Unsafe:
      return Status::Error(top.UnsafeWarning());
    default:
      return Status::Error(
          Format("Cannot open the cache folder \"%s\". %s", cacheFolder.c_str(), top.Reason().c_str()));
  }
}

}  // namespace velmora
