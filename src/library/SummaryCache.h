// The persistent summary cache of Prepare library: for every library picture
// it has summarised, its colour signature under the settings that shaped it
// and its 4 x 4 CIELAB summary for detail matching, keyed by the picture's
// path, size and modification time. A re-run with the same library then
// decodes only new or changed pictures.
//
// The cache is one file in the cache folder, written whole through a
// temporary file and a rename, under a lock so that two programs saving at
// once merge their entries instead of losing one side. Its bytes are never
// trusted: a file that is truncated, damaged, of another version or simply
// not a cache (a symbolic link included) is set aside with a warning and
// rebuilt. The folder and its files are reached as CacheFolder.h says: never
// through a link, and not at all in a folder other users could write.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "match/DetailMatch.h"
#include "imaging/ColorSignature.h"
#include "imaging/Status.h"
#include "library/SubjectCrop.h"

namespace velmora {

class CacheDir;

// What identifies one summary: the picture file as found on disk and the
// settings the summary depends on (cell size, crop, grey, upright).
struct SummaryKey {
  std::string path;
  uint64_t size = 0;
  int64_t mtimeNs = 0;
  uint32_t settings = 0;
};

// The settings word of a key. `previews`: library photos were read from
// their embedded previews where those serve (DecodeHints::usePreviews), so
// their summaries are kept apart from those of full decodes. `cropBy`
// counts only with `crop`; the centre crop leaves the word as it always was.
uint32_t SummarySettings(int cellW, int cellH, bool crop, bool mono, bool upright, bool previews = false,
                         CropBy cropBy = CropBy::Centre);

// Fills size and mtimeNs from the file at key.path; false when it cannot be
// examined (missing, not a regular file), in which case nothing may be cached.
bool StatSummaryKey(SummaryKey& key);

// StatSummaryKey for many keys in a row: the file is looked up from its
// folder, which stays open while the keys that follow are in the same one,
// so the folders above it are not walked again for every picture. The
// results are StatSummaryKey's.
class KeyStat {
public:
  KeyStat() = default;
  ~KeyStat();
  KeyStat(const KeyStat&) = delete;
  KeyStat& operator=(const KeyStat&) = delete;
  bool operator()(SummaryKey& key);

private:
  std::string folder_;
  int fd_ = -1;
};

// $XDG_CACHE_HOME/velmora, else $HOME/.cache/velmora; empty when neither is set.
std::string DefaultCacheFolder();

// What the cache holds for one picture. Entries of the first version of the
// file have no detail summary; a prepare that needs one decodes the picture
// again and so replaces them. From the third version on, an entry of a photo
// cropped by its subject keeps where the subject is (SubjectCrop.h).
struct CachedSummary {
  ColorSignature Signature;
  bool HasDetail = false;
  DetailSummary Detail;
  bool HasSubject = false;
  SubjectBox Subject;
};

class SummaryCache {
public:
  static constexpr const char* kFileName = "library-summaries.cache";
  static constexpr uint32_t kVersion = 3;
  // Entries kept at most; the oldest are dropped first when a save passes it.
  static constexpr size_t kMaxEntries = 250000;

  explicit SummaryCache(std::string folder) : folder_(std::move(folder)) {}

  std::string FilePath() const { return folder_ + "/" + kFileName; }

  // Reads the cache file. A missing file is an empty cache; a damaged one is
  // an empty cache and a warning in `warning`. So is an unsafe folder, told
  // once a run; Save then writes nothing.
  void Load(std::string* warning);
  // With `detail`, an entry without a detail summary is not found; with
  // `subject`, one without a subject.
  bool Find(const SummaryKey& key, ColorSignature& out, DetailSummary* detail = nullptr,
            SubjectBox* subject = nullptr) const;
  void Add(const SummaryKey& key, const ColorSignature& signature, const DetailSummary* detail = nullptr,
           const SubjectBox* subject = nullptr);
  size_t Size() const { return entries_.size(); }
  // Whether Add was called since Load (or the file was damaged).
  bool Changed() const { return changed_; }

  // Writes the entries, merged with whatever another program saved since
  // Load, creating the folder when needed.
  Status Save();

  // Removes the cache file of `folder` (no error when there is none; an
  // error for a folder that is not safe to use).
  static Status Clear(const std::string& folder);

  using Entries = std::vector<std::pair<SummaryKey, CachedSummary>>;
  // The file's bytes for these entries, and their reading back; exposed for
  // the tests of damaged files. Parse fails with the reason.
  static std::vector<uint8_t> Encode(const Entries& entries);
  static Status Parse(std::span<const uint8_t> bytes, Entries& out);
  // Parse, with the bytes coming from `read` (which fills up to the size it
  // is given and returns how much it filled, 0 at the end) in bounded
  // chunks: a file is read once, without a copy of its bytes, and nothing is
  // allocated for entries that are not there. `keep` decides which entries
  // go into `out`.
  static Status ParseFrom(const std::function<size_t(uint8_t*, size_t)>& read, uint64_t totalBytes,
                          const std::function<bool(const SummaryKey&)>& keep, Entries& out);

private:
  static uint64_t IndexHash(const std::string& path, uint32_t settings);
  // The position of the entry for (path, settings) in entries_, or npos.
  size_t Locate(const std::string& path, uint32_t settings) const;
  void Put(SummaryKey key, const CachedSummary& summary);
  // The entries of the file in `dir` that `keep` accepts; the error tells
  // why the file could not be read.
  Status ReadFile(const CacheDir& dir, Entries& out,
                  const std::function<bool(const SummaryKey&)>& keep) const;

  std::string folder_;
  Entries entries_;  // oldest first
  // An open-addressed table from the hash of (path, settings) to the
  // entry's position: the paths are held once, in entries_, however many
  // entries a cache has, and a big cache is indexed without an allocation
  // per entry. A slot holds the hash and the position + 1 (0: empty); its
  // size is a power of two, at most half full.
  struct Slot {
    uint64_t hash = 0;
    size_t position = 0;
  };
  // Makes room for `entries` entries, placing the present ones anew.
  void Reindex(size_t entries);
  std::vector<Slot> index_;
  bool changed_ = false;
};

}  // namespace velmora
