// The rendition cache: for every library picture the renderer has drawn, the
// working-size picture it draws its cells from (decoded, upright, cropped to
// the cell's shape, reduced, grey if asked: everything before the tint, the
// mirror, the overlay and the final resampling), so that another mosaic from
// the same library at the same cell size decodes nothing.
//
// Renditions live in pack files in the "renditions" folder beside the
// summary cache: one pack per run that made any, holding the renditions of
// one settings word (cell size, crop, grey, upright), named after it so a run
// opens only the packs it can use. A pack is the pictures' pixels followed by
// an index (the whole key, offset, size and checksum of each), written
// through a temporary name and renamed when complete. Creating thousands of
// small files cost more than decoding the pictures; one pack costs one open
// and one bounded read per rendition used.
//
// Nothing in a pack is trusted: the header and index are checked whole when
// the pack is opened (bounds, counts against the file's size, checksum), a
// rendition's pixels against their checksum when read. A damaged pack is
// reported once and removed; a damaged rendition is reported, made again and
// kept in the run's new pack, which takes precedence over older ones.
//
// Renditions made in this run are also held in memory (up to a budget) and
// handed back directly: the render of a cold run takes what the preparation
// made without reading it again.
//
// Eviction goes by pack: a pack's modification time is set whenever one of
// its renditions is used, and the least recently used packs go first when
// the folder grows past its size cap. Packs are written by runs, so a pack
// is the renditions one library needed at one cell size: they tend to be
// wanted together, and a whole-pack eviction keeps every pack intact
// without rewriting anything. Everything in the folder counts toward the
// cap, the temporary files of packs being written included; those a stopped
// program left (its number no longer running) are removed.
//
// The folder and its files are reached as CacheFolder.h says: a link is a
// damaged pack, removed with a warning and never followed, and a folder
// other users could write is not used (the renditions stay in memory).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "library/CacheFolder.h"
#include "library/SummaryCache.h"
#include "imaging/Bitmap32.h"
#include "imaging/Status.h"

namespace velmora {

class RenditionCache {
public:
  static constexpr const char* kFolderName = "renditions";
  static constexpr const char* kExtension = ".vrp";
  static constexpr uint32_t kVersion = 3;
  // The largest side a rendition may have: a cell is at most this size.
  static constexpr int kMaxSide = 4096;
  // Renditions made in this run and held in memory for the render, at most.
  static constexpr uint64_t kDefaultHeldBytes = uint64_t(128) << 20;

  // The renditions of `settings` in `cacheFolder` (the summary cache's
  // folder; empty: none on disk, only those of this run held in memory);
  // `capBytes` the most all packs may take there together. The packs are
  // opened at once: their warnings wait in TakeWarnings.
  RenditionCache(const std::string& cacheFolder, uint64_t capBytes, uint32_t settings,
                 uint64_t heldBytes = kDefaultHeldBytes);
  // Commits what was stored.
  ~RenditionCache();
  RenditionCache(const RenditionCache&) = delete;
  RenditionCache& operator=(const RenditionCache&) = delete;

  const std::string& Folder() const { return folder_; }
  uint32_t Settings() const { return settings_; }
  uint64_t Cap() const { return cap_; }

  // The rendition kept for `key` (same path, size, time and settings).
  // False when there is none; false with `warning` set when it was damaged
  // (the next Store keeps it anew). Safe from several threads.
  bool Find(const SummaryKey& key, TBitmap32& out, std::string* warning) const;
  // Keeps `picture` as the rendition of `key`: in memory for this run, and
  // in this run's pack when it fits the cap. Safe from several threads.
  Status Store(const SummaryKey& key, const TBitmap32& picture) const;
  // The same, taking the pixels it holds in memory instead of copying them.
  Status Store(const SummaryKey& key, TBitmap32&& picture) const;
  // Whether Store kept anything since this object was made.
  bool Stored() const { return stored_.load(std::memory_order_relaxed); }
  // Completes the run's pack (index written, renamed into place), notes the
  // use of the packs read, and removes the least recently used packs until
  // the rest fit the cap. Renditions stored later go into another pack.
  // Not to be called while another thread uses the cache.
  Status Commit();
  // Drops the renditions held in memory once the pack that keeps them is
  // complete: at once when it is, else when a later Commit (or the end of
  // this object) finds it written. The error tells why a pack could not be
  // written.
  Status ReleaseHeld();
  // Waits for the pack being written and adds it to the index; lets go of
  // the held renditions when ReleaseHeld asked for it. The error tells why
  // the pack could not be written. Not to be called while another thread
  // uses the cache.
  Status Settle();
  // Takes in the pack a thread has finished writing (and lets go of what
  // ReleaseHeld asked to): nothing while it is still being written. Not to
  // be called while another thread uses the cache.
  Status SettleIfWritten();
  // Warnings of packs found damaged (and removed) when opening, and of a
  // folder not safe to use.
  std::vector<std::string> TakeWarnings();

  struct Usage {
    uint64_t renditions = 0;
    uint64_t packs = 0;
    uint64_t bytes = 0;
  };
  static Usage Measure(const std::string& cacheFolder);
  // Removes every rendition of `cacheFolder` (no error when there are none).
  static Status Clear(const std::string& cacheFolder);

  // One pack's bytes and their index read back; exposed for the tests of
  // damaged packs. ParseIndex checks the header and index against
  // `fileBytes` and fails with the reason.
  struct Entry {
    SummaryKey key;
    uint64_t offset = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t checksum = 0;  // BulkChecksum of the pixels
  };
  static std::vector<uint8_t> EncodePack(uint32_t settings,
                                         const std::vector<std::pair<SummaryKey, TBitmap32>>& renditions);
  struct Header {
    uint32_t settings = 0;
    uint32_t count = 0;
    uint64_t indexOffset = 0;
    uint64_t indexBytes = 0;
    uint32_t indexCrc = 0;
  };
  static constexpr size_t kHeaderBytes = 48;
  static Status ParseHeader(std::span<const uint8_t> bytes, uint64_t fileBytes, Header& out);
  static Status ParseIndex(std::span<const uint8_t> index, const Header& header, std::vector<Entry>& out);

private:
  struct Pack;
  struct Writer;
  struct Held {
    SummaryKey key;
    std::shared_ptr<const TBitmap32> picture;
  };
  struct Located {
    const Pack* pack;
    size_t entry;
  };
  // Opens the pack `name` of the folder and adds it to the index; the reason
  // when it cannot be used. `otherVersion`, when given, tells whether the
  // file is a pack of another version of the program.
  Status AddPack(const std::string& name, bool* otherVersion = nullptr);
  Status AddPackFile(const std::string& name, bool* otherVersion);
  // Opens the folder (making it, with `create`) unless it is open already;
  // `unsafeFolder` names the folder that was not safe to use, if one was.
  Status OpenFolder(bool create, std::string* unsafeFolder = nullptr) const;
  // Removes the least recently used files until the rest fit the cap.
  void Trim() const;
  // Whether renditions are kept on disk, not only in memory.
  bool OnDisk() const { return !folder_.empty() && !unsafe_; }
  // Store's work; `movable`, when given, is `picture` and may be taken.
  Status StorePicture(const SummaryKey& key, const TBitmap32& picture, TBitmap32* movable) const;
  // A fresh name for a pack of this run.
  std::string NewPackName() const;
  Status OpenWriter(Writer& w) const;
  // Writes `pending` and the index into `w`'s file, renames it into place
  // and trims the folder to the cap.
  Status FinishPack(Writer& w, const std::vector<Held>& pending) const;

  std::string folder_;
  std::string cacheFolder_;
  uint64_t cap_;
  uint32_t settings_;
  uint64_t heldCap_;
  bool unsafe_ = false;  // the folder is not used: renditions stay in memory
  mutable std::mutex dirMutex_;  // guards the opening of dir_
  // The renditions folder once open; it outlives the packs and writers.
  mutable CacheDir dir_;
  std::vector<std::unique_ptr<Pack>> packs_;
  std::unordered_map<std::string, Located> index_;  // by path; newest pack wins

  mutable std::mutex mutex_;  // guards what follows
  mutable std::unordered_map<std::string, Held> held_;
  mutable uint64_t heldBytes_ = 0;
  mutable std::unique_ptr<Writer> writer_;
  mutable std::vector<Held> pending_;  // held, not yet in a pack
  mutable std::vector<std::string> warnings_;
  mutable std::atomic<bool> stored_{false};
  // The pack being completed while the run goes on.
  std::thread flusher_;
  std::atomic<bool> flushing_{false};  // flusher_ is still writing
  std::unique_ptr<Writer> flushed_;
  bool releaseWhenSettled_ = false;
};

}  // namespace velmora
