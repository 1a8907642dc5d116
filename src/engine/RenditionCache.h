// The rendition cache: for every library picture the renderer has drawn, the
// working-size picture it draws its cells from (decoded, upright, cropped to
// the cell's shape, reduced, grey if asked: everything before the tint, the
// mirror, the overlay and the final resampling), so that another mosaic from
// the same library at the same cell size decodes nothing.
//
// Each rendition is a file of its own in the "renditions" folder beside the
// summary cache, named by a hash of its key and holding the whole key, so a
// file found under another key's name is simply not used. Files are written
// through a temporary name and a rename, checksummed, and never trusted: a
// damaged one is reported and made again. A use sets the file's modification
// time, and the least recently used files go first when the folder grows past
// its size cap.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/SummaryCache.h"
#include "imaging/Bitmap32.h"
#include "imaging/Status.h"

namespace velmora {

class RenditionCache {
public:
  static constexpr const char* kFolderName = "renditions";
  static constexpr const char* kExtension = ".vrn";
  static constexpr uint32_t kVersion = 1;
  // The largest side a rendition may have: a cell is at most this size.
  static constexpr int kMaxSide = 4096;

  // `cacheFolder` is the summary cache's folder; `capBytes` the most the
  // renditions may take there together.
  RenditionCache(const std::string& cacheFolder, uint64_t capBytes);

  const std::string& Folder() const { return folder_; }
  std::string FilePath(const SummaryKey& key) const;

  // The rendition stored for `key` (same path, size, time and settings), and
  // its use noted. False when there is none; false with `warning` set when
  // the file was damaged (it is then made again by the next Store).
  bool Find(const SummaryKey& key, TBitmap32& out, std::string* warning) const;
  // Keeps `picture` as the rendition of `key`. Safe from several threads.
  Status Store(const SummaryKey& key, const TBitmap32& picture) const;
  // Whether Store wrote anything since this object was made.
  bool Stored() const { return stored_.load(std::memory_order_relaxed); }
  // Removes the least recently used renditions until the rest fit the cap.
  void Trim() const;

  struct Usage {
    uint64_t files = 0;
    uint64_t bytes = 0;
  };
  static Usage Measure(const std::string& cacheFolder);
  // Removes every rendition of `cacheFolder` (no error when there are none).
  static Status Clear(const std::string& cacheFolder);

  // A rendition file's bytes and their reading back; exposed for the tests
  // of damaged files. Parse fails with the reason; a file of another key
  // parses, with `key` telling whose it is.
  static std::vector<uint8_t> Encode(const SummaryKey& key, const TBitmap32& picture);
  static Status Parse(std::span<const uint8_t> bytes, SummaryKey& key, TBitmap32& out);

private:
  std::string folder_;
  uint64_t cap_;
  mutable std::atomic<bool> stored_{false};
};

}  // namespace velmora
