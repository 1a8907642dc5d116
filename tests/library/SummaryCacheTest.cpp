// The summary cache of Prepare library: the same library table with and
// without it, no decode for what it knows, changed, renamed and deleted
// pictures noticed, and every kind of damaged cache file survived.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>

#include "support/EngineTestSupport.h"
#include "library/SummaryCache.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::ReadWholeFile;
using testing::WriteWholeFile;

struct CacheFixture {
  testing::ScratchDir pictures;
  testing::ScratchDir cacheDir;
  std::vector<std::string> paths;

  CacheFixture() {
    Engine e;
    for (int i = 0; i < 6; ++i) {
      TBitmap32 b(30 + i, 20);
      for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30 + i; ++x)
          b.Pixel(x, y) = Color32(uint8_t(i * 40), uint8_t(x * 8), uint8_t(y * 12));
      testing::AddPicture(e, pictures, b);
    }
    paths = e.PicList.Paths();
  }

  // Prepares the library with the cache on (or off) and returns the
  // signatures, counting reads and collecting warnings.
  std::vector<ColorSignature> Prepare(bool cached, int* reads = nullptr,
                                      std::vector<std::string>* warnings = nullptr, Status* status = nullptr,
                                      std::vector<DetailSummary>* details = nullptr) {
    Engine e;
    testing::SetGrid(e, 8, 8, 16, 12);
    e.PicList.Assign(paths);
    e.SetThreadCount(2);
    if (cached) e.SetSummaryCacheFolder(cacheDir.File("velmora"));
    testing::ReadCounter counter;
    e.SetPictureLoader(counter.Loader());
    testing::JobRecorder job;
    e.SetListener(&job);
    const Status s = e.PrepareLibrary();
    if (status) *status = s;
    EXPECT_TRUE(status || s.ok()) << s.message();
    if (reads) {
      *reads = 0;
      for (const auto& [path, n] : counter.reads) *reads += n;
    }
    if (warnings) *warnings = job.warnings;
    if (details) *details = e.Details.Library;
    std::vector<ColorSignature> sigs;
    for (int k = 0; k < e.PicList.Count(); ++k) sigs.push_back(e.Library[k].Signature);
    return sigs;
  }
  std::string CacheFile() const { return cacheDir.File("velmora/") + SummaryCache::kFileName; }
};

TEST(SummaryCache, SameSignaturesAndNoDecodeWhenWarm) {
  CacheFixture f;
  const auto plain = f.Prepare(false);
  int reads = 0;
  std::vector<std::string> warnings;
  EXPECT_EQ(f.Prepare(true, &reads, &warnings), plain);  // cold: fills the cache
  EXPECT_EQ(reads, 6);
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(f.Prepare(true, &reads, &warnings), plain);  // warm
  EXPECT_EQ(reads, 0);
  EXPECT_TRUE(warnings.empty());
}

// A library long enough that the warm look-ups are shared out in several
// pieces: whatever the thread count, the pictures the cache knows are not
// read, the changed and unreadable ones are, and the table is the one an
// uncached run makes.
TEST(SummaryCache, WarmLookUpsOfALongLibraryAgreeOnAnyThreadCount) {
  testing::ScratchDir pictures;
  testing::ScratchDir cacheDir;
  Engine maker;
  for (int i = 0; i < 600; ++i)
    testing::AddPicture(maker, pictures,
                        testing::Uniform(4 + i % 5, 4, Color32(uint8_t(i), uint8_t(i / 3), 90)));
  std::vector<std::string> paths = maker.PicList.Paths();
  auto prepare = [&](bool cached, int threads, int& reads, std::vector<ColorSignature>& sigs) {
    Engine e;
    testing::SetGrid(e, 8, 8, 16, 12);
    e.PicList.Assign(paths);
    e.SetThreadCount(threads);
    if (cached) e.SetSummaryCacheFolder(cacheDir.File("velmora"));
    testing::ReadCounter counter;
    e.SetPictureLoader(counter.Loader());
    const Status s = e.PrepareLibrary();
    reads = 0;
    for (const auto& [path, n] : counter.reads) reads += n;
    sigs.clear();
    for (int k = 0; k < e.PicList.Count(); ++k) sigs.push_back(e.Library[k].Signature);
    return s;
  };
  int reads = 0;
  std::vector<ColorSignature> sigs;
  ASSERT_TRUE(prepare(true, 1, reads, sigs).ok());
  ASSERT_EQ(reads, 600);
  const std::string cacheFile = cacheDir.File("velmora/") + SummaryCache::kFileName;
  const std::string filled = ReadWholeFile(cacheFile);
  // Changed pictures in the first, a middle and the last piece.
  for (int k : {3, 300, 599})
    ASSERT_TRUE(WriteBmpFile(testing::Uniform(11, 7, Color32(250, uint8_t(k), 10)), paths[size_t(k)]).ok());
  std::vector<ColorSignature> plain;
  ASSERT_TRUE(prepare(false, 1, reads, plain).ok());
  for (int threads : {1, 2, 3, 8}) {
    WriteWholeFile(cacheFile, filled);
    ASSERT_TRUE(prepare(true, threads, reads, sigs).ok()) << threads;
    EXPECT_EQ(reads, 3) << threads;
    EXPECT_EQ(sigs, plain) << threads;
  }
  // A picture that is gone fails as without the cache, on any thread count.
  std::filesystem::remove(paths[270]);
  Status uncached = prepare(false, 2, reads, plain);
  ASSERT_FALSE(uncached.ok());
  for (int threads : {1, 2}) {
    WriteWholeFile(cacheFile, filled);
    EXPECT_EQ(prepare(true, threads, reads, sigs).message(), uncached.message()) << threads;
  }
}

TEST(SummaryCache, ChangedRenamedAndDeletedPicturesAreNoticed) {
  CacheFixture f;
  f.Prepare(true);
  // Changed: another picture under the same name (other size and time).
  ASSERT_TRUE(WriteBmpFile(testing::Uniform(12, 12, Color32(250, 10, 10)), f.paths[2]).ok());
  // Renamed.
  const std::string renamed = f.paths[4] + ".moved.bmp";
  std::filesystem::rename(f.paths[4], renamed);
  f.paths[4] = renamed;
  int reads = 0;
  const auto sigs = f.Prepare(true, &reads);
  EXPECT_EQ(reads, 2);
  EXPECT_EQ(sigs, f.Prepare(false));
  EXPECT_EQ(sigs[2], testing::FlatSignature(10, 10, 250));
  // Deleted: fails with the reader's message, as without the cache.
  std::filesystem::remove(f.paths[1]);
  Status cached, plain;
  f.Prepare(true, nullptr, nullptr, &cached);
  f.Prepare(false, nullptr, nullptr, &plain);
  EXPECT_FALSE(cached.ok());
  EXPECT_EQ(cached.message(), plain.message());
}

TEST(SummaryCache, DamagedFilesAreRebuiltWithAWarning) {
  CacheFixture f;
  const auto plain = f.Prepare(false);
  f.Prepare(true);
  const std::string good = ReadWholeFile(f.CacheFile());
  ASSERT_GT(good.size(), 60u);
  auto withCrc = [](std::string body) {
    std::vector<uint8_t> b(body.begin(), body.end());
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), b.data(), uInt(b.size()));
    for (int i = 0; i < 4; ++i) body.push_back(char((crc >> (8 * i)) & 0xFF));
    return body;
  };
  const std::string body = good.substr(0, good.size() - 4);
  auto patched = [&](size_t at, uint32_t v) {
    std::string b = body;
    for (int i = 0; i < 4; ++i) b[at + i] = char((v >> (8 * i)) & 0xFF);
    return withCrc(b);
  };
  struct Damage {
    const char* what;
    std::string bytes;
  };
  std::vector<Damage> damages = {
      {"empty", ""},
      {"cut in the header", good.substr(0, 10)},
      {"cut after the header", good.substr(0, 16)},
      {"cut in an entry", good.substr(0, 40)},
      {"cut before the checksum", body},
      {"wrong checksum", body + "abcd"},
      {"count too large, checksum right", patched(12, 7)},
      {"count absurd, checksum right", patched(12, 0xFFFFFFFF)},
      {"count too small, checksum right", patched(12, 5)},
      {"path length past the end, checksum right",
       [&] {
         std::string b = body;
         b[16 + 40] = char(0xFF);
         b[16 + 41] = char(0x7F);
         return withCrc(b);
       }()},
      {"another version", patched(8, SummaryCache::kVersion + 1)},
      {"foreign file", std::string("GIF89a") + std::string(200, 'x')},
  };
  for (const Damage& d : damages) {
    WriteWholeFile(f.CacheFile(), d.bytes);
    int reads = 0;
    std::vector<std::string> warnings;
    EXPECT_EQ(f.Prepare(true, &reads, &warnings), plain) << d.what;
    EXPECT_EQ(reads, 6) << d.what;
    ASSERT_EQ(warnings.size(), 1u) << d.what;
    EXPECT_NE(warnings[0].find("rebuilt"), std::string::npos) << warnings[0];
    EXPECT_EQ(ReadWholeFile(f.CacheFile()), good) << d.what;  // rebuilt whole
  }
}

// The detail summaries come back from the cache as they were computed; a
// cache of the first version (no detail summaries) is read without a
// warning, its pictures decoded once more for them and then known again.
TEST(SummaryCache, KeepsDetailSummariesAndRefillsFirstVersionEntries) {
  CacheFixture f;
  std::vector<DetailSummary> plain, cached;
  const auto sigs = f.Prepare(false, nullptr, nullptr, nullptr, &plain);
  ASSERT_EQ(plain.size(), 6u);
  int reads = 0;
  f.Prepare(true);
  EXPECT_EQ(f.Prepare(true, &reads, nullptr, nullptr, &cached), sigs);
  EXPECT_EQ(reads, 0);
  auto sameDetail = [](const std::vector<DetailSummary>& a, const std::vector<DetailSummary>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      for (int s = 0; s < kDetailSamples; ++s)
        if (a[i].Sample[size_t(s)].L != b[i].Sample[size_t(s)].L ||
            a[i].Sample[size_t(s)].A != b[i].Sample[size_t(s)].A ||
            a[i].Sample[size_t(s)].B != b[i].Sample[size_t(s)].B)
          return false;
    return true;
  };
  EXPECT_TRUE(sameDetail(cached, plain));

  // The same entries as the first version wrote them: no detail mark.
  SummaryCache::Entries entries;
  const std::string good = ReadWholeFile(f.CacheFile());
  ASSERT_TRUE(
      SummaryCache::Parse(std::span(reinterpret_cast<const uint8_t*>(good.data()), good.size()), entries)
          .ok());
  std::string v1("VLMSUMS\n", 8);
  auto put = [&v1](uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) v1.push_back(char((v >> (8 * i)) & 0xFF));
  };
  put(1, 4);
  put(entries.size(), 4);
  for (const auto& [key, summary] : entries) {
    put(key.settings, 4);
    put(key.size, 8);
    put(uint64_t(key.mtimeNs), 8);
    const auto bytes = summary.Signature.Bytes();
    v1.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    put(key.path.size(), 2);
    v1 += key.path;
  }
  put(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(v1.data()), uInt(v1.size())), 4);
  WriteWholeFile(f.CacheFile(), v1);
  std::vector<std::string> warnings;
  EXPECT_EQ(f.Prepare(true, &reads, &warnings, nullptr, &cached), sigs);
  EXPECT_EQ(reads, 6);
  EXPECT_TRUE(warnings.empty());
  EXPECT_TRUE(sameDetail(cached, plain));
  EXPECT_EQ(f.Prepare(true, &reads), sigs);
  EXPECT_EQ(reads, 0);
}

TEST(SummaryCache, SavesMergeWhatAnotherProgramSaved) {
  testing::ScratchDir dir;
  ColorSignature a = testing::FlatSignature(1, 2, 3), b = testing::FlatSignature(4, 5, 6);
  SummaryCache first(dir.File("c")), second(dir.File("c"));
  first.Load(nullptr);
  second.Load(nullptr);
  first.Add(SummaryKey{"/a.jpg", 10, 20, 1}, a);
  second.Add(SummaryKey{"/b.jpg", 11, 21, 1}, b);
  ASSERT_TRUE(first.Save().ok());
  ASSERT_TRUE(second.Save().ok());
  SummaryCache third(dir.File("c"));
  third.Load(nullptr);
  ColorSignature got;
  EXPECT_TRUE(third.Find(SummaryKey{"/a.jpg", 10, 20, 1}, got) && got == a);
  EXPECT_TRUE(third.Find(SummaryKey{"/b.jpg", 11, 21, 1}, got) && got == b);
  EXPECT_FALSE(third.Find(SummaryKey{"/b.jpg", 11, 21, 2}, got));  // other settings
  EXPECT_FALSE(third.Find(SummaryKey{"/b.jpg", 12, 21, 1}, got));  // other size
  ASSERT_TRUE(SummaryCache::Clear(dir.File("c")).ok());
  third.Load(nullptr);
  EXPECT_EQ(third.Size(), 0u);
}

// A cache of several read chunks: entries that straddle a chunk boundary come
// back whole, and the file cut anywhere (at a boundary too) is refused.
TEST(SummaryCache, ALargeCacheReadsBackWholeAndRefusesEveryCut) {
  testing::ScratchDir dir;
  SummaryCache cache(dir.File("c"));
  cache.Load(nullptr);
  const auto keyOf = [](int i) {
    return SummaryKey{
        "/photos/" + std::string(size_t(3000 + i % 977), char('a' + i % 26)) + std::to_string(i) + ".jpg",
        uint64_t(i), int64_t(i) * 1000, uint32_t(i % 3)};
  };
  constexpr int kEntries = 900;  // about 3 MB
  for (int i = 0; i < kEntries; ++i) cache.Add(keyOf(i), testing::FlatSignature(i % 251, 7, 9));
  ASSERT_TRUE(cache.Save().ok());

  SummaryCache back(dir.File("c"));
  std::string warning;
  back.Load(&warning);
  EXPECT_EQ(warning, "");
  ASSERT_EQ(back.Size(), size_t(kEntries));
  for (int i = 0; i < kEntries; ++i) {
    ColorSignature got;
    ASSERT_TRUE(back.Find(keyOf(i), got)) << i;
    EXPECT_TRUE(got == testing::FlatSignature(i % 251, 7, 9)) << i;
  }

  const std::string bytes = ReadWholeFile(dir.File("c/") + SummaryCache::kFileName);
  ASSERT_GT(bytes.size(), size_t(2) << 20);
  const std::vector<uint8_t> all(bytes.begin(), bytes.end());
  SummaryCache::Entries out;
  ASSERT_TRUE(SummaryCache::Parse(all, out).ok());
  EXPECT_EQ(out.size(), size_t(kEntries));
  for (size_t cut : {size_t(17), size_t(1) << 20, (size_t(1) << 20) + 1, all.size() / 2, all.size() - 1}) {
    EXPECT_FALSE(SummaryCache::Parse(std::span(all).first(cut), out).ok()) << cut;
    std::vector<uint8_t> flipped = all;
    flipped[cut] ^= 0x20;
    EXPECT_FALSE(SummaryCache::Parse(flipped, out).ok()) << cut;
  }
}

// The index through growth and updates: one picture under several settings
// is several entries, adding a known one again replaces it in place, and a
// key that differs in any part is not found.
TEST(SummaryCache, IndexFindsEveryEntryThroughGrowthAndUpdates) {
  testing::ScratchDir dir;
  SummaryCache cache(dir.File("c"));
  cache.Load(nullptr);
  const auto keyOf = [](int i, uint32_t settings) {
    return SummaryKey{"/p/" + std::to_string(i % 1500) + ".jpg", uint64_t(i), int64_t(i) * 7, settings};
  };
  for (int i = 0; i < 1500; ++i)
    for (uint32_t settings : {1u, 2u, 3u})
      cache.Add(keyOf(i, settings), testing::FlatSignature(i % 200, 1, 2));
  EXPECT_EQ(cache.Size(), 4500u);
  for (int i = 0; i < 1500; i += 3) cache.Add(keyOf(i, 2), testing::FlatSignature(i % 200, 9, 9));
  EXPECT_EQ(cache.Size(), 4500u);
  for (int i = 0; i < 1500; ++i) {
    for (uint32_t settings : {1u, 2u, 3u}) {
      ColorSignature got;
      ASSERT_TRUE(cache.Find(keyOf(i, settings), got)) << i << " " << settings;
      const bool updated = settings == 2 && i % 3 == 0;
      EXPECT_EQ(got, testing::FlatSignature(i % 200, updated ? 9 : 1, updated ? 9 : 2)) << i;
    }
    ColorSignature got;
    SummaryKey other = keyOf(i, 4);
    EXPECT_FALSE(cache.Find(other, got));
    other = keyOf(i, 1);
    other.size += 1;
    EXPECT_FALSE(cache.Find(other, got));
    other = keyOf(i, 1);
    other.path += "x";
    EXPECT_FALSE(cache.Find(other, got));
  }
}

// Keys looked up from the picture's open folder come out as StatSummaryKey
// gives them, for files, links, what is no file, and folders taken in turn.
TEST(SummaryCache, KeyStatAgreesWithAPlainStat) {
  testing::ScratchDir a;
  testing::ScratchDir b;
  WriteWholeFile(a.File("one.jpg"), "12345");
  WriteWholeFile(b.File("two.jpg"), "1234567890");
  std::filesystem::create_symlink(a.File("one.jpg"), b.File("link.jpg"));
  std::filesystem::create_symlink(a.File("gone.jpg"), b.File("dangling.jpg"));
  std::filesystem::create_directory(a.File("folder.jpg"));
  const std::string paths[] = {
      a.File("one.jpg"),      b.File("two.jpg"),
      b.File("link.jpg"),     a.File("one.jpg"),
      b.File("dangling.jpg"), a.File("gone.jpg"),
      a.File("folder.jpg"),   a.File("folder.jpg/"),
      b.File("two.jpg"),      "/",
      "relative-missing.jpg", "/no/such/folder/x.jpg",
  };
  KeyStat stat;
  int found = 0;
  for (const std::string& path : paths) {
    SummaryKey plain{path, 0, 0, 5};
    SummaryKey viaFolder{path, 0, 0, 5};
    const bool expected = StatSummaryKey(plain);
    EXPECT_EQ(stat(viaFolder), expected) << path;
    EXPECT_EQ(viaFolder.size, plain.size) << path;
    EXPECT_EQ(viaFolder.mtimeNs, plain.mtimeNs) << path;
    found += expected ? 1 : 0;
  }
  EXPECT_EQ(found, 5);
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// Where a photo's subject is comes back as it was stored, only for an entry
// that has one; a cache of the version before (no subject marks) is read
// whole, its entries without a subject.
TEST(SummaryCache, KeepsSubjectBoxesAndReadsTheVersionBefore) {
  SummaryCache::Entries entries(2);
  entries[0].first = SummaryKey{"/photos/a.jpg", 100, 7, SummarySettings(40, 30, true, false, true, true, CropBy::Faces)};
  entries[0].second.HasDetail = true;
  entries[0].second.HasSubject = true;
  entries[0].second.Subject = SubjectBox{100, 2000, 30000, 65535};
  entries[1].first = SummaryKey{"/photos/b.jpg", 200, 9, SummarySettings(40, 30, true, false, true, true)};
  // The centre crop's word is the one every earlier cache holds.
  EXPECT_EQ(entries[1].first.settings & (3u << 28), 0u);
  EXPECT_NE(entries[0].first.settings, SummarySettings(40, 30, true, false, true, true, CropBy::Attention));
  EXPECT_EQ(SummarySettings(40, 30, false, false, true, true, CropBy::Faces),
            SummarySettings(40, 30, false, false, true, true));

  const std::vector<uint8_t> bytes = SummaryCache::Encode(entries);
  SummaryCache::Entries back;
  ASSERT_TRUE(SummaryCache::Parse(bytes, back).ok());
  ASSERT_EQ(back.size(), 2u);
  EXPECT_TRUE(back[0].second.HasSubject);
  EXPECT_EQ(back[0].second.Subject, entries[0].second.Subject);
  EXPECT_FALSE(back[1].second.HasSubject);

  // The version before: the same bytes without the subject marks (and the
  // box), under version 2, with the checksum made again.
  std::vector<uint8_t> v2(bytes.begin(), bytes.begin() + 16);
  v2[8] = 2;
  size_t at = 16;
  for (const auto& [key, summary] : entries) {
    const size_t fixed = 4 + 8 + 8 + 20 + 2 + key.path.size() + 1 + (summary.HasDetail ? kDetailSummaryBytes : 0);
    v2.insert(v2.end(), bytes.begin() + long(at), bytes.begin() + long(at + fixed));
    at += fixed + 1 + (summary.HasSubject ? 8 : 0);
  }
  const uLong crc = crc32(crc32(0L, Z_NULL, 0), v2.data(), uInt(v2.size()));
  for (int i = 0; i < 4; ++i) v2.push_back(uint8_t(crc >> (8 * i)));
  ASSERT_TRUE(SummaryCache::Parse(v2, back).ok());
  ASSERT_EQ(back.size(), 2u);
  EXPECT_FALSE(back[0].second.HasSubject);
  EXPECT_TRUE(back[0].second.HasDetail);

  // A damaged mark or box is refused, not taken for a subject.
  std::vector<uint8_t> bad = bytes;
  const size_t mark = 16 + 4 + 8 + 8 + 20 + 2 + entries[0].first.path.size() + 1 + kDetailSummaryBytes;
  bad[mark] = 7;
  EXPECT_FALSE(SummaryCache::Parse(bad, back).ok());
}

}  // namespace
}  // namespace velmora
