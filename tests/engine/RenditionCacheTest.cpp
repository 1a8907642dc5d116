// The rendition cache: mosaics drawn from it, cold (renditions made by the
// preparation or the render) and warm (nothing decoded), have the pixels of
// a render without it; damaged files are reported and made again; the least
// recently used renditions go first when the folder passes its cap.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "EngineTestSupport.h"
#include "engine/RenditionCache.h"

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
    EXPECT_EQ(RenditionCache::Measure(cache.File("c")).files, uint64_t(n));

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

TEST(RenditionCache, DamagedRenditionsAreReportedAndMadeAgain) {
  const std::vector<std::string> photos = testing::SamplePhotos(3);
  const Look look{kStitchBrick, sfLanczos, 32, 32, true, false, true, true};
  testing::ScratchDir dir;
  Engine plain;
  Prepare(plain, look, photos);
  Assign(plain, 3);
  ASSERT_TRUE(plain.RenderMosaic().ok());
  {
    Engine e;
    Prepare(e, look, photos);
    e.SetSummaryCacheFolder(dir.File("cache"));
    Assign(e, 3);
    ASSERT_TRUE(e.RenderMosaic().ok());
  }
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.File("cache/renditions")))
    files.push_back(entry.path().string());
  ASSERT_EQ(files.size(), 3u);
  std::sort(files.begin(), files.end());
  {
    std::fstream f(files[0], std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(200);
    f.put('\x5A');  // a pixel byte: the checksum tells
  }
  std::filesystem::resize_file(files[1], std::filesystem::file_size(files[1]) - 9);
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
      EXPECT_EQ(Reads(counter), 2);
      ASSERT_EQ(job.warnings.size(), 2u);
      for (const std::string& w : job.warnings)
        EXPECT_NE(w.find("could not be used"), std::string::npos) << w;
    } else {
      EXPECT_EQ(Reads(counter), 0);  // made again the first time
      EXPECT_TRUE(job.warnings.empty());
    }
  }
}

TEST(RenditionCache, FileBytesAreCheckedWhole) {
  SummaryKey key{"/photos/a.jpg", 1234, 5678, 99};
  TBitmap32 picture(5, 3);
  for (int i = 0; i < 15; ++i) picture.Pixels()[static_cast<size_t>(i)] = 0x01020304u * uint32_t(i + 1);
  const std::vector<uint8_t> bytes = RenditionCache::Encode(key, picture);
  SummaryKey back;
  TBitmap32 out;
  ASSERT_TRUE(RenditionCache::Parse(bytes, back, out).ok());
  EXPECT_EQ(back.path, key.path);
  EXPECT_EQ(back.size, key.size);
  EXPECT_EQ(back.mtimeNs, key.mtimeNs);
  EXPECT_EQ(back.settings, key.settings);
  EXPECT_TRUE(testing::SamePixels(out, picture));
  for (size_t cut = 0; cut < bytes.size(); ++cut)
    EXPECT_FALSE(RenditionCache::Parse(std::span(bytes.data(), cut), back, out).ok()) << cut;
  for (size_t at = 0; at < bytes.size(); at += 7) {
    std::vector<uint8_t> bad = bytes;
    bad[at] ^= 0x40;
    EXPECT_FALSE(RenditionCache::Parse(bad, back, out).ok()) << at;
  }
  // A huge size claimed by a short file allocates nothing.
  std::vector<uint8_t> huge = bytes;
  huge[32] = huge[33] = 0xFF;
  EXPECT_FALSE(RenditionCache::Parse(huge, back, out).ok());
}

TEST(RenditionCache, LeastRecentlyUsedGoFirstPastTheCap) {
  testing::ScratchDir dir;
  const TBitmap32 picture = testing::Uniform(32, 32, Color32(1, 2, 3));
  const uint64_t each = RenditionCache::Encode(SummaryKey{"/p/0.jpg", 1, 1, 1}, picture).size();
  RenditionCache cache(dir.File("c"), 3 * each);
  std::vector<SummaryKey> keys;
  for (int i = 0; i < 5; ++i) {
    keys.push_back(SummaryKey{"/p/" + std::to_string(i) + ".jpg", 1, 1, 1});
    ASSERT_TRUE(cache.Store(keys.back(), picture).ok());
    // Distinct times of use, whatever the file system's clock resolution.
    const timespec t[2] = {{0, UTIME_OMIT}, {1000 + i, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, cache.FilePath(keys.back()).c_str(), t, 0), 0);
  }
  TBitmap32 out;
  ASSERT_TRUE(cache.Find(keys[0], out, nullptr));  // the oldest, used now
  cache.Trim();
  EXPECT_EQ(RenditionCache::Measure(dir.File("c")).files, 3u);
  for (int i : {0, 3, 4}) EXPECT_TRUE(cache.Find(keys[static_cast<size_t>(i)], out, nullptr)) << i;
  for (int i : {1, 2}) EXPECT_FALSE(cache.Find(keys[static_cast<size_t>(i)], out, nullptr)) << i;
  ASSERT_TRUE(RenditionCache::Clear(dir.File("c")).ok());
  EXPECT_EQ(RenditionCache::Measure(dir.File("c")).files, 0u);
  EXPECT_TRUE(RenditionCache::Clear(dir.File("c")).ok());  // nothing there: no error
}

}  // namespace
}  // namespace velmora
