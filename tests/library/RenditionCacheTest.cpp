// The rendition cache: mosaics drawn from it, cold (renditions made by the
// preparation or the render, or held in memory only) and warm (nothing
// decoded), have the pixels of a render without it; damaged packs are
// reported and made again; the least recently used packs go first when the
// folder passes its cap.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "support/EngineTestSupport.h"
#include "library/RenditionCache.h"

namespace velmora {
namespace {

struct Look {
  int stitch;
  int filter;
  int cw, ch;
  bool crop, mono, upright;
  // Whether the preparation's decode is the renderer's too, so that a cold
  // run reads every picture once.
  bool oneDecode;
};

void Prepare(Engine& e, const Look& look, const std::vector<std::string>& photos) {
  testing::SetGrid(e, 9, 7, look.cw, look.ch);
  e.Project.StitchMode = look.stitch;
  e.Project.ResampleKernel = static_cast<uint8_t>(look.filter);
  e.Project.CropCell = look.crop;
  e.Project.MonoCell = look.mono;
  e.Project.BorderSize = 2;
  e.Project.AlphaMain = 50;
  e.SetUprightPictures(look.upright);
  ComputeDerivedSizes(e.Project);
  ASSERT_TRUE(LoadPictureFile(e.MainBitmap, photos[0]).ok());
  e.PicList.Assign(photos);
}

void Assign(Engine& e, int pictures) {
  for (int x = 0; x < 9; ++x)
    for (int y = 0; y < 7; ++y)
      e.Map.At(x, y) = CellMapEntry{
          (x * 5 + y * 3) % pictures, x * 4 - 18, 15 - y * 4, y - 3, true, x % 3 == 1, y % 2 == 0};
}

int Reads(testing::ReadCounter& counter) {
  int n = 0;
  for (const auto& [path, count] : counter.reads) n += count;
  return n;
}

TBitmap32 RenderInBands(Engine& e, int bandRows) {
  TBitmap32 joined(e.Project.FinalWidth, e.Project.FinalHeight);
  int next = 0;
  EXPECT_TRUE(e.RenderMosaicBands(bandRows, [&](const TBitmap32& band, int rows) {
                 for (int r = 0; r < rows; ++r)
                   std::copy_n(band.ScanLine(r), band.Width(), joined.ScanLine(next + r));
                 next += rows;
                 return Status::Ok();
               }).ok());
  return joined;
}

TEST(RenditionCache, MosaicsFromItHaveThePixelsOfARenderWithout) {
  const std::vector<std::string> photos = testing::SamplePhotos(10);
  const int n = static_cast<int>(photos.size());
  ASSERT_GE(n, 4);
  const Look looks[] = {
      {kStitchLoom, sfSpline, 32, 32, true, false, true, true},
      {kStitchPeyote, sfLanczos, 32, 32, true, true, true, true},
      {kStitchBrick, sfLinear, 24, 18, true, false, true, false},
      {kStitchLoom, sfMitchell, 40, 30, false, true, false, false},
      {kStitchPeyote, sfCosine, 64, 48, false, false, true, false},
  };
  for (const Look& look : looks) {
    SCOPED_TRACE(::testing::Message()
                 << "cells " << look.cw << "x" << look.ch << " stitch " << look.stitch << " filter "
                 << look.filter << " crop " << look.crop << " grey " << look.mono);
    Engine plain;
    Prepare(plain, look, photos);
    Assign(plain, n);
    ASSERT_TRUE(plain.RenderMosaic().ok());

    testing::ScratchDir cache;
    {
      Engine cold;
      testing::ReadCounter coldReads;
      Prepare(cold, look, photos);
      cold.SetSummaryCacheFolder(cache.File("c"));
      cold.SetPictureLoader(coldReads.Loader());
      ASSERT_TRUE(cold.PrepareLibrary().ok());
      Assign(cold, n);
      ASSERT_TRUE(cold.RenderMosaic().ok());
      EXPECT_TRUE(testing::SamePixels(cold.MosaicBitmap, plain.MosaicBitmap));
      if (look.oneDecode) {
        EXPECT_EQ(Reads(coldReads), n);
      }
    }  // the pack is written behind the render, complete when the program ends
    EXPECT_EQ(RenditionCache::Measure(cache.File("c")).renditions, uint64_t(n));
    // One pack per step that made renditions: the preparation, and the
    // render for any pictures whose decode it could not share.
    EXPECT_LE(RenditionCache::Measure(cache.File("c")).packs, look.oneDecode ? 1u : 2u);

    // No cache folder: the preparation's renditions still reach the render.
    Engine memoryOnly;
    testing::ReadCounter memoryReads;
    Prepare(memoryOnly, look, photos);
    memoryOnly.SetPictureLoader(memoryReads.Loader());
    ASSERT_TRUE(memoryOnly.PrepareLibrary().ok());
    Assign(memoryOnly, n);
    ASSERT_TRUE(memoryOnly.RenderMosaic().ok());
    EXPECT_TRUE(testing::SamePixels(memoryOnly.MosaicBitmap, plain.MosaicBitmap));
    if (look.oneDecode) {
      EXPECT_EQ(Reads(memoryReads), n);
    }

    // Another program, the same library and cell size: nothing is decoded.
    Engine warm;
    testing::ReadCounter warmReads;
    Prepare(warm, look, photos);
    warm.SetSummaryCacheFolder(cache.File("c"));
    warm.SetPictureLoader(warmReads.Loader());
    testing::JobRecorder job;
    warm.SetListener(&job);
    ASSERT_TRUE(warm.PrepareLibrary().ok());
    Assign(warm, n);
    ASSERT_TRUE(warm.RenderMosaic().ok());
    EXPECT_TRUE(testing::SamePixels(warm.MosaicBitmap, plain.MosaicBitmap));
    EXPECT_TRUE(testing::SamePixels(RenderInBands(warm, 13), plain.MosaicBitmap));
    EXPECT_EQ(Reads(warmReads), 0);
    EXPECT_TRUE(job.warnings.empty());
  }
}

TEST(RenditionCache, OtherSettingsAndChangedPicturesAreNotTakenFromIt) {
  const std::vector<std::string> photos = testing::SamplePhotos(4);
  testing::ScratchDir dir;
  // Copies, so that one can change.
  std::vector<std::string> library;
  for (size_t i = 0; i < photos.size(); ++i) {
    library.push_back(dir.File(std::to_string(i) + ".jpg"));
    std::filesystem::copy_file(photos[i], library.back());
  }
  const Look base{kStitchLoom, sfSpline, 32, 32, true, false, true, true};
  auto render = [&](const Look& look, int* reads) {
    Engine e;
    testing::ReadCounter counter;
    Prepare(e, look, library);
    e.SetSummaryCacheFolder(dir.File("cache"));
    e.SetPictureLoader(counter.Loader());
    Assign(e, static_cast<int>(library.size()));
    EXPECT_TRUE(e.RenderMosaic().ok());
    *reads = Reads(counter);
    return e.MosaicBitmap;
  };
  int reads = 0;
  render(base, &reads);
  EXPECT_EQ(reads, 4);
  render(base, &reads);
  EXPECT_EQ(reads, 0);
  Look grey = base;
  grey.mono = true;
  Look bigger = base;
  bigger.cw = 48;
  for (const Look& other : {grey, bigger}) {
    Engine plain;
    Prepare(plain, other, library);
    Assign(plain, static_cast<int>(library.size()));
    ASSERT_TRUE(plain.RenderMosaic().ok());
    EXPECT_TRUE(testing::SamePixels(render(other, &reads), plain.MosaicBitmap));
    EXPECT_EQ(reads, 4);
  }
  // A picture written again (another time) is decoded again.
  struct stat st {};
  ASSERT_EQ(::stat(library[2].c_str(), &st), 0);
  const timespec later[2] = {{0, UTIME_OMIT}, {st.st_mtim.tv_sec + 5, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, library[2].c_str(), later, 0), 0);
  render(base, &reads);
  EXPECT_EQ(reads, 1);
}

// The pack file of a cache folder (there is one after a single run).
std::string OnlyPack(const std::string& folder) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder + "/renditions"))
    files.push_back(entry.path().string());
  EXPECT_EQ(files.size(), 1u);
  return files.empty() ? std::string() : files[0];
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

uint32_t Le32At(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
void Put32At(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
uint64_t Le64At(const std::vector<uint8_t>& b, size_t at) {
  return uint64_t(Le32At(b, at)) | uint64_t(Le32At(b, at + 4)) << 32;
}

// Sets the index and header checksums to match the bytes, so that what a
// test changed is found by the other checks.
void Reseal(std::vector<uint8_t>& b) {
  const uint64_t indexOffset = std::min<uint64_t>(Le64At(b, 24), b.size());
  Put32At(b, 40,
          static_cast<uint32_t>(crc32(0, b.data() + indexOffset, static_cast<uInt>(b.size() - indexOffset))));
  Put32At(b, 44, static_cast<uint32_t>(crc32(0, b.data(), 44)));
}

// The first index entry starts at the index; its offset field is 16 bytes in.
constexpr size_t kFirstOffset = 16;

struct Damage {
  const char* name;
  std::function<void(std::vector<uint8_t>&)> apply;
  bool wholePack;      // the pack is dropped (else one rendition is)
  bool warned = true;  // a pack of another version goes without a word
};

TEST(RenditionCache, DamagedPacksAreReportedAndMadeAgain) {
  const std::vector<std::string> photos = testing::SamplePhotos(3);
  const Look look{kStitchBrick, sfLanczos, 32, 32, true, false, true, true};
  Engine plain;
  Prepare(plain, look, photos);
  Assign(plain, 3);
  ASSERT_TRUE(plain.RenderMosaic().ok());

  const Damage damages[] = {
      {"truncated", [](std::vector<uint8_t>& b) { b.resize(b.size() - 9); }, true},
      {"header only", [](std::vector<uint8_t>& b) { b.resize(48); }, true},
      {"empty", [](std::vector<uint8_t>& b) { b.clear(); }, true},
      {"not a pack", [](std::vector<uint8_t>& b) { std::fill(b.begin(), b.end(), uint8_t('x')); }, true},
      {"index byte", [](std::vector<uint8_t>& b) { b[b.size() - 3] ^= 0x20; }, true},
      {"header byte", [](std::vector<uint8_t>& b) { b[13] ^= 0x01; }, true},
      {"huge count",
       [](std::vector<uint8_t>& b) {
         Put32At(b, 16, 0xFFFFFFFFu);
         Reseal(b);
       },
       true},
      {"index past the end",
       [](std::vector<uint8_t>& b) {
         Put32At(b, 24, 0x7FFFFFF0u);
         Reseal(b);
       },
       true},
      {"pixels past the data",
       [](std::vector<uint8_t>& b) {
         Put32At(b, static_cast<size_t>(Le64At(b, 24)) + kFirstOffset, static_cast<uint32_t>(b.size()));
         Reseal(b);
       },
       true},
      {"pixel byte", [](std::vector<uint8_t>& b) { b[200] ^= 0x5A; }, false},
      {"another version",
       [](std::vector<uint8_t>& b) {
         Put32At(b, 8, RenditionCache::kVersion - 1);
         Reseal(b);
       },
       true, false},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    testing::ScratchDir dir;
    {
      Engine e;
      Prepare(e, look, photos);
      e.SetSummaryCacheFolder(dir.File("cache"));
      Assign(e, 3);
      ASSERT_TRUE(e.RenderMosaic().ok());
    }
    const std::string pack = OnlyPack(dir.File("cache"));
    std::vector<uint8_t> bytes = ReadBytes(pack);
    damage.apply(bytes);
    WriteBytes(pack, bytes);
    for (int round = 0; round < 2; ++round) {
      Engine e;
      testing::ReadCounter counter;
      testing::JobRecorder job;
      Prepare(e, look, photos);
      e.SetSummaryCacheFolder(dir.File("cache"));
      e.SetPictureLoader(counter.Loader());
      e.SetListener(&job);
      Assign(e, 3);
      ASSERT_TRUE(e.RenderMosaic().ok());
      EXPECT_TRUE(testing::SamePixels(e.MosaicBitmap, plain.MosaicBitmap));
      if (round == 0) {
        EXPECT_EQ(Reads(counter), damage.wholePack ? 3 : 1);
        ASSERT_EQ(job.warnings.size(), damage.warned ? 1u : 0u);
        if (damage.warned) {
          EXPECT_NE(job.warnings[0].find("could not be used"), std::string::npos) << job.warnings[0];
        }
      } else {
        EXPECT_EQ(Reads(counter), 0);  // made again the first time
        EXPECT_TRUE(job.warnings.empty());
      }
    }
  }
}

// The pack is written behind the job: a folder it cannot go into changes
// nothing the job makes, and is told once when the program waits for it.
TEST(RenditionCache, APackThatCannotBeWrittenIsToldWhenTheProgramWaits) {
  const std::vector<std::string> photos = testing::SamplePhotos(6);
  const int n = static_cast<int>(photos.size());
  const Look look{kStitchLoom, sfSpline, 32, 32, true, false, true, true};
  Engine plain;
  Prepare(plain, look, photos);
  Assign(plain, n);
  ASSERT_TRUE(plain.RenderMosaic().ok());

  testing::ScratchDir cache;
  std::filesystem::create_directories(cache.File("c"));
  std::ofstream(cache.File("c/") + RenditionCache::kFolderName) << "a file where the folder goes";
  Engine e;
  Prepare(e, look, photos);
  e.SetSummaryCacheFolder(cache.File("c"));
  testing::JobRecorder job;
  e.SetListener(&job);
  ASSERT_TRUE(e.PrepareLibrary().ok());
  Assign(e, n);
  ASSERT_TRUE(e.RenderMosaic().ok());
  EXPECT_TRUE(testing::SamePixels(e.MosaicBitmap, plain.MosaicBitmap));
  e.FinishCacheWrites();
  e.FinishCacheWrites();
  ASSERT_EQ(job.warnings.size(), 1u);
  EXPECT_NE(job.warnings[0].find("The renditions were not kept"), std::string::npos) << job.warnings[0];
}

// The most memory this process has held since the last reset, in KiB (the
// kernel's high-water mark, which the reset brings down to what is held now).
void ResetPeakKiB() { std::ofstream("/proc/self/clear_refs") << "5"; }
long PeakKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

// A pack whose header, valid in itself, claims an index over the rest of a
// sparse file of gigabytes: the file stores a few kilobytes, so the claim is
// refused as damage before anything its size is allocated or read.
TEST(RenditionCache, AnIndexLargerThanThePackStoresIsRefusedUnread) {
  testing::ScratchDir dir;
  const std::string pack = dir.File("c/renditions/00000007-forged.vrp");
  std::filesystem::create_directories(dir.File("c/renditions"));
  const uint64_t fileBytes = uint64_t(3) << 30;
  const uint64_t indexOffset = 4096;
  std::vector<uint8_t> head(RenditionCache::kHeaderBytes, 0);
  std::memcpy(head.data(), "VLMRPACK", 8);
  Put32At(head, 8, RenditionCache::kVersion);
  Put32At(head, 12, 7);
  // About a thousand bytes an entry: a count the index's length could hold.
  Put32At(head, 16, static_cast<uint32_t>((fileBytes - indexOffset) / 1000));
  Put32At(head, 24, static_cast<uint32_t>(indexOffset));
  const uint64_t indexBytes = fileBytes - indexOffset;
  Put32At(head, 32, static_cast<uint32_t>(indexBytes));
  Put32At(head, 36, static_cast<uint32_t>(indexBytes >> 32));
  Put32At(head, 44, static_cast<uint32_t>(crc32(0, head.data(), 44)));
  WriteBytes(pack, head);
  ASSERT_EQ(::truncate(pack.c_str(), static_cast<off_t>(fileBytes)), 0);

  ResetPeakKiB();
  const long before = PeakKiB();
  RenditionCache cache(dir.File("c"), uint64_t(1) << 30, 7);
  const long grown = PeakKiB() - before;
  const std::vector<std::string> warnings = cache.TakeWarnings();
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("could not be used"), std::string::npos) << warnings[0];
  EXPECT_NE(warnings[0].find(pack), std::string::npos) << warnings[0];
  EXPECT_FALSE(std::filesystem::exists(pack));
  EXPECT_LT(grown, 64 * 1024) << "KiB";
}

TEST(RenditionCache, PackBytesAreCheckedWhole) {
  std::vector<std::pair<SummaryKey, TBitmap32>> renditions;
  for (int k = 0; k < 3; ++k) {
    TBitmap32 picture(5 + k, 3);
    for (size_t i = 0; i < picture.Pixels().size(); ++i)
      picture.Pixels()[i] = 0x01020304u * uint32_t(i + 1) + uint32_t(k);
    renditions.emplace_back(SummaryKey{"/photos/" + std::to_string(k) + ".jpg", 1234u + k, 5678, 99},
                            picture);
  }
  const std::vector<uint8_t> bytes = RenditionCache::EncodePack(99, renditions);
  auto parse = [](std::span<const uint8_t> b, std::vector<RenditionCache::Entry>& entries) {
    RenditionCache::Header h;
    if (Status s = RenditionCache::ParseHeader(b, b.size(), h); !s.ok()) return s;
    return RenditionCache::ParseIndex(b.subspan(std::min<size_t>(b.size(), h.indexOffset)), h, entries);
  };
  std::vector<RenditionCache::Entry> entries;
  ASSERT_TRUE(parse(bytes, entries).ok());
  ASSERT_EQ(entries.size(), renditions.size());
  for (size_t k = 0; k < entries.size(); ++k) {
    EXPECT_EQ(entries[k].key.path, renditions[k].first.path);
    EXPECT_EQ(entries[k].key.size, renditions[k].first.size);
    EXPECT_EQ(entries[k].key.mtimeNs, renditions[k].first.mtimeNs);
    EXPECT_EQ(entries[k].key.settings, 99u);
    EXPECT_EQ(int(entries[k].width), renditions[k].second.Width());
    EXPECT_EQ(int(entries[k].height), renditions[k].second.Height());
  }
  for (size_t cut = 0; cut < bytes.size(); ++cut)
    EXPECT_FALSE(parse(std::span(bytes.data(), cut), entries).ok()) << cut;
  // Every byte of the header and index is checked (the pixels are checked
  // when read).
  const size_t indexOffset = static_cast<size_t>(Le64At(bytes, 24));
  for (size_t at = 0; at < bytes.size(); ++at) {
    if (at >= 48 && at < indexOffset) continue;
    std::vector<uint8_t> bad = bytes;
    bad[at] ^= 0x40;
    EXPECT_FALSE(parse(bad, entries).ok()) << at;
  }
  // Sealed again, the fields themselves are checked: sizes and paths that
  // the bytes cannot hold allocate nothing.
  for (size_t field : {size_t(24), size_t(28), size_t(36)}) {  // width, height, path length of entry 0
    std::vector<uint8_t> bad = bytes;
    Put32At(bad, indexOffset + field, 0xFFFF0000u);
    Reseal(bad);
    EXPECT_FALSE(parse(bad, entries).ok()) << field;
  }
}

TEST(RenditionCache, PacksRoundTripFromMemoryAndFromDisk) {
  // With a memory budget the pixels are written when the pack is committed;
  // without one, as they are stored.
  for (uint64_t held : {RenditionCache::kDefaultHeldBytes, uint64_t(0)}) {
    SCOPED_TRACE(held);
    testing::ScratchDir dir;
    std::vector<std::pair<SummaryKey, TBitmap32>> kept;
    for (int k = 0; k < 20; ++k) {
      TBitmap32 picture(16 + k, 24);
      for (size_t i = 0; i < picture.Pixels().size(); ++i)
        picture.Pixels()[i] = uint32_t(i * 2654435761u + k);
      kept.emplace_back(SummaryKey{"/p/" + std::to_string(k) + ".jpg", 10, 20, 7}, picture);
    }
    {
      RenditionCache cache(dir.File("c"), uint64_t(1) << 30, 7, held);
      for (const auto& [key, picture] : kept) ASSERT_TRUE(cache.Store(key, picture).ok());
      TBitmap32 out;
      EXPECT_EQ(cache.Find(kept[3].first, out, nullptr), held > 0);  // in memory before any commit
      ASSERT_TRUE(cache.Commit().ok());
      ASSERT_TRUE(cache.ReleaseHeld().ok());
      ASSERT_TRUE(cache.Find(kept[4].first, out, nullptr));  // from the pack now
      EXPECT_TRUE(testing::SamePixels(out, kept[4].second));
    }
    const RenditionCache::Usage usage = RenditionCache::Measure(dir.File("c"));
    EXPECT_EQ(usage.renditions, kept.size());
    EXPECT_EQ(usage.packs, 1u);
    RenditionCache again(dir.File("c"), uint64_t(1) << 30, 7);
    EXPECT_TRUE(again.TakeWarnings().empty());
    for (const auto& [key, picture] : kept) {
      TBitmap32 out;
      ASSERT_TRUE(again.Find(key, out, nullptr)) << key.path;
      EXPECT_TRUE(testing::SamePixels(out, picture)) << key.path;
    }
    // Another picture at that path, or other settings, is not found.
    SummaryKey changed = kept[0].first;
    changed.mtimeNs += 1;
    TBitmap32 out;
    EXPECT_FALSE(again.Find(changed, out, nullptr));
    RenditionCache other(dir.File("c"), uint64_t(1) << 30, 8);
    SummaryKey otherKey = kept[0].first;
    otherKey.settings = 8;
    EXPECT_FALSE(other.Find(otherKey, out, nullptr));
  }
}

TEST(RenditionCache, LeastRecentlyUsedPacksGoFirstPastTheCap) {
  testing::ScratchDir dir;
  const TBitmap32 picture = testing::Uniform(32, 32, Color32(1, 2, 3));
  const uint64_t each = RenditionCache::EncodePack(1, {{SummaryKey{"/p/0.jpg", 1, 1, 1}, picture}}).size();
  const uint64_t cap = 3 * each + each / 2;
  std::vector<SummaryKey> keys;
  for (int i = 0; i < 4; ++i) keys.push_back(SummaryKey{"/p/" + std::to_string(i) + ".jpg", 1, 1, 1});
  auto packs = [&] {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.File("c/renditions")))
      files.push_back(entry.path().string());
    return files;
  };
  // One pack per run, with distinct times of use whatever the file system's
  // clock resolution.
  for (int i = 0; i < 3; ++i) {
    const std::vector<std::string> before =
        std::filesystem::exists(dir.File("c/renditions")) ? packs() : std::vector<std::string>{};
    {
      RenditionCache cache(dir.File("c"), cap, 1);
      ASSERT_TRUE(cache.Store(keys[static_cast<size_t>(i)], picture).ok());
    }
    for (const std::string& f : packs())
      if (std::find(before.begin(), before.end(), f) == before.end()) {
        const timespec t[2] = {{0, UTIME_OMIT}, {1000 + i, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, f.c_str(), t, 0), 0);
      }
  }
  ASSERT_EQ(packs().size(), 3u);
  {
    // The oldest pack, used now; then a fourth pack passes the cap.
    RenditionCache cache(dir.File("c"), cap, 1);
    TBitmap32 out;
    ASSERT_TRUE(cache.Find(keys[0], out, nullptr));
    ASSERT_TRUE(cache.Commit().ok());
    ASSERT_TRUE(cache.Store(keys[3], picture).ok());
  }
  EXPECT_EQ(RenditionCache::Measure(dir.File("c")).packs, 3u);
  RenditionCache cache(dir.File("c"), cap, 1);
  TBitmap32 out;
  for (int i : {0, 2, 3}) EXPECT_TRUE(cache.Find(keys[static_cast<size_t>(i)], out, nullptr)) << i;
  EXPECT_FALSE(cache.Find(keys[1], out, nullptr));
  ASSERT_TRUE(RenditionCache::Clear(dir.File("c")).ok());
  EXPECT_EQ(RenditionCache::Measure(dir.File("c")).renditions, 0u);
  EXPECT_TRUE(RenditionCache::Clear(dir.File("c")).ok());  // nothing there: no error
}

// Another run clearing the cache (velmora-cli cache --clear) while this one
// goes on, or the folder emptied by hand: no fault of the cache. The packs
// written before and after are not warned about, and the next pack goes into
// the folder made anew, whether the pixels wait in memory for the commit or
// go to the pack as they are stored.
TEST(RenditionCache, AFolderClearedBehindItsBackIsMadeAnewWithoutAWord) {
  const TBitmap32 picture = testing::Uniform(24, 24, Color32(9, 8, 7));
  auto key = [](int k) { return SummaryKey{"/p/" + std::to_string(k) + ".jpg", 10, 20, 7}; };
  const struct {
    const char* how;
    std::function<void(const std::string& folder)> clear;
  } clears[] = {
      {"cleared",
       [](const std::string& folder) {
         // A pack being written behind the run may keep the folder from
         // going at the first try, as it would another run's clear.
         Status cleared = RenditionCache::Clear(folder);
         for (int tries = 0; !cleared.ok() && tries < 1000; ++tries) cleared = RenditionCache::Clear(folder);
         ASSERT_TRUE(cleared.ok()) << cleared.message();
       }},
      {"emptied",
       [](const std::string& folder) {
         for (const auto& e : std::filesystem::directory_iterator(folder + "/" + RenditionCache::kFolderName))
           std::filesystem::remove(e.path());
       }},
  };
  for (const auto& c : clears)
    for (uint64_t held : {RenditionCache::kDefaultHeldBytes, uint64_t(0)}) {
      SCOPED_TRACE(std::string(c.how) + (held ? ", held" : ", written at once"));
      testing::ScratchDir dir;
      const std::string folder = dir.File("c");
      RenditionCache cache(folder, uint64_t(1) << 30, 7, held);
      ASSERT_TRUE(cache.Store(key(0), picture).ok());
      ASSERT_TRUE(cache.Commit().ok());
      ASSERT_TRUE(cache.Settle().ok());
      // Cleared while a pack is written behind the run, and again after.
      ASSERT_TRUE(cache.Store(key(1), picture).ok());
      ASSERT_TRUE(cache.Commit().ok());
      c.clear(folder);
      EXPECT_TRUE(cache.Settle().ok());
      c.clear(folder);
      for (int k = 2; k < 4; ++k) {
        EXPECT_TRUE(cache.Store(key(k), picture).ok());
        EXPECT_TRUE(cache.Commit().ok());
        EXPECT_TRUE(cache.ReleaseHeld().ok());
        EXPECT_TRUE(cache.Settle().ok());
      }
      EXPECT_TRUE(cache.TakeWarnings().empty());
      // The last pack is in the folder made anew, for the next run to find.
      RenditionCache next(folder, uint64_t(1) << 30, 7);
      EXPECT_TRUE(next.TakeWarnings().empty());
      TBitmap32 out;
      ASSERT_TRUE(next.Find(key(3), out, nullptr));
      EXPECT_TRUE(testing::SamePixels(out, picture));
    }
}

}  // namespace
}  // namespace velmora
