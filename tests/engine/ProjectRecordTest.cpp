// The stored record, the option block and the table layouts are what project
// and options files hold; these tests pin their bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/ProjectRecord.h"
#include "imaging/Random.h"
#include "engine/Tables.h"

namespace velmora {
namespace {

int32_t I32At(const uint8_t* b, size_t off) {
  int32_t v;
  std::memcpy(&v, b + off, 4);
  return v;
}
double F64At(const uint8_t* b, size_t off) {
  double v;
  std::memcpy(&v, b + off, 8);
  return v;
}

TEST(ProjectRecord, DefaultProjectHasTheDerivedSizesOfA48x48Mosaic) {
  const tmosaicproject p = DefaultProject();
  EXPECT_EQ(p.FinalWidth, 1536);
  EXPECT_EQ(p.FinalHeight, 1536);
  EXPECT_DOUBLE_EQ(p.WidthInch, 21.33);
  EXPECT_DOUBLE_EQ(p.WidthCm, 54.18);
  EXPECT_DOUBLE_EQ(p.HeightCm, 54.18);
}

TEST(ProjectRecord, DerivedSizesTruncateBeforeScaling) {
  tmosaicproject p;
  p.CellsAcross = 10;
  p.CellWidth = 33;   // 330 px
  p.CellsDown = 9;
  p.CellHeight = 11;  // 99 px
  p.Dpi = 7;
  ComputeDerivedSizes(p);
  EXPECT_EQ(p.FinalWidth, 330);
  EXPECT_EQ(p.FinalHeight, 99);
  EXPECT_DOUBLE_EQ(p.WidthInch, 4714 * 0.01);   // 33000 div 7
  EXPECT_DOUBLE_EQ(p.HeightInch, 1414 * 0.01);  // 9900 div 7
  EXPECT_DOUBLE_EQ(p.WidthCm, 11974 * 0.01);    // 83820 div 7
  EXPECT_DOUBLE_EQ(p.HeightCm, 3592 * 0.01);    // 25146 div 7
}

TEST(ProjectRecord, FieldsSitAtTheirStoredOffsets) {
  tmosaicproject p = DefaultProject();
  p.MainImageFile = "/somewhere/main.jpg";
  p.CropMainImage = true;
  p.RenderMode = 1;
  p.StitchMode = 3;
  p.RandomizeLevel = 33;
  p.ColorEnhance = 44;
  p.UseAllPhotos = false;
  p.CropCell = false;
  p.MonoCell = true;
  p.AllowHFlip = false;
  p.AllowVFlip = true;
  p.MinRepeatRadius = 7;
  p.LimitRepeat = true;
  p.MaxRepeatTimes = 277;
  p.RepeatLimitSuspended = true;
  p.BorderSize = 3;
  p.BorderColor = 0x00112233;
  p.AlphaMain = 12;
  p.AlphaPen = 250;
  p.ResampleKernel = 6;
  p.JpegQuality = 91;
  p.JpegProgressive = true;
  p.MainImageDataSize = 123456;
  p.ImageListDataSize = 789;

  const auto r = WriteRecord(p);
  const uint8_t* b = r.data();
  EXPECT_EQ(I32At(b, 0), 0) << "the path reference is not stored";
  EXPECT_EQ(b[4], 1);
  EXPECT_EQ(b[5] | b[6] | b[7], 0);
  EXPECT_EQ(I32At(b, 8), 1536);
  EXPECT_EQ(I32At(b, 12), 1536);
  EXPECT_DOUBLE_EQ(F64At(b, 16), 21.33);
  EXPECT_DOUBLE_EQ(F64At(b, 32), 54.18);
  EXPECT_EQ(I32At(b, 48), 72);
  EXPECT_EQ(I32At(b, 52), 48);
  EXPECT_EQ(I32At(b, 56), 48);
  EXPECT_EQ(I32At(b, 60), 32);
  EXPECT_EQ(I32At(b, 64), 32);
  EXPECT_EQ(I32At(b, 68), 1);
  EXPECT_EQ(I32At(b, 72), 3);
  EXPECT_EQ(I32At(b, 76), 33);
  EXPECT_EQ(I32At(b, 80), 44);
  EXPECT_EQ(std::vector<uint8_t>(b + 84, b + 92), (std::vector<uint8_t>{0, 0, 1, 0, 1, 0, 0, 0}));
  EXPECT_EQ(I32At(b, 92), 7);
  EXPECT_EQ(std::vector<uint8_t>(b + 96, b + 100), (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(I32At(b, 100), 277);
  EXPECT_EQ(std::vector<uint8_t>(b + 104, b + 108), (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(I32At(b, 108), 3);
  EXPECT_EQ(I32At(b, 112), 0x00112233);
  EXPECT_EQ(I32At(b, 116), 12);
  EXPECT_EQ(I32At(b, 120), 250);
  EXPECT_EQ(std::vector<uint8_t>(b + 124, b + 128), (std::vector<uint8_t>{6, 0, 0, 0}));
  EXPECT_EQ(I32At(b, 128), 91);
  EXPECT_EQ(std::vector<uint8_t>(b + 132, b + 136), (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(I32At(b, 136), 123456);
  EXPECT_EQ(I32At(b, 140), 789);

  tmosaicproject back;
  back.MainImageFile = "kept";
  ReadRecord(r, back);
  EXPECT_EQ(back.MainImageFile, "kept");
  EXPECT_EQ(WriteRecord(back), r) << "a read record writes back byte for byte";
}

TEST(ProjectRecord, OptionBlockIsBytes76To135OfTheRecord) {
  tmosaicproject p = DefaultProject();
  p.MaxRepeatTimes = 55;
  p.ResampleKernel = 2;
  const auto record = WriteRecord(p);
  const auto block = WriteOptionBlock(p);
  ASSERT_EQ(block.size(), 60u);
  EXPECT_EQ(0, std::memcmp(block.data(), record.data() + 76, 60));

  tmosaicproject q;  // other settings must survive reading options
  q.CellsAcross = 99;
  ReadOptionBlock(block, q);
  EXPECT_EQ(q.MaxRepeatTimes, 55);
  EXPECT_EQ(q.ResampleKernel, 2);
  EXPECT_EQ(q.CellsAcross, 99);
}

TEST(ProjectRecord, CopyOptionsLeavesTheProjectSettings) {
  tmosaicproject options = DefaultProject();
  options.ColorEnhance = 5;
  options.JpegProgressive = true;
  options.CellsAcross = 12;  // not an option field
  tmosaicproject project = DefaultProject();
  project.CellsAcross = 64;
  project.MainImageDataSize = 9;
  CopyOptions(options, project);
  EXPECT_EQ(project.ColorEnhance, 5);
  EXPECT_TRUE(project.JpegProgressive);
  EXPECT_EQ(project.CellsAcross, 64);
  EXPECT_EQ(project.MainImageDataSize, 9);
}

TEST(Tables, LibraryEntriesAre28BytesWithZeroSpare) {
  LibraryTable table;
  table[1].Signature.Slot[0] = SigColor{1, 2, 3, 4};
  table[1].Signature.Slot[4] = SigColor{9, 8, 7, 6};
  table[1].UseCount = 0x01020304;
  table[1].Spare = 77;
  std::vector<uint8_t> bytes(kLibraryTableBytes);
  table.WriteBytes(std::span<uint8_t, kLibraryTableBytes>(bytes.data(), kLibraryTableBytes));
  EXPECT_EQ(kLibraryTableBytes, 1835008u);
  const uint8_t* e = bytes.data() + 28;
  EXPECT_EQ(std::vector<uint8_t>(e, e + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(std::vector<uint8_t>(e + 16, e + 28),
            (std::vector<uint8_t>{9, 8, 7, 6, 4, 3, 2, 1, 0, 0, 0, 0}));

  LibraryTable back;
  back.ReadBytes(std::span<const uint8_t, kLibraryTableBytes>(bytes.data(), kLibraryTableBytes));
  EXPECT_EQ(back[1].Signature, table[1].Signature);
  EXPECT_EQ(back[1].UseCount, 0x01020304);
}

TEST(Tables, CellMapIsStoredColumnByColumn) {
  CellMap map;
  CellMapEntry& e = map.At(2, 5);
  e.PicIndex = 41;
  e.DeltaRed = -3;
  e.DeltaGreen = 4;
  e.DeltaBlue = -500;
  e.Assigned = true;
  e.VFlip = true;
  std::vector<uint8_t> bytes(kCellMapBytes);
  map.WriteBytes(std::span<uint8_t, kCellMapBytes>(bytes.data(), kCellMapBytes));
  const uint8_t* r = bytes.data() + (2 * 800 + 5) * 20;
  EXPECT_EQ(I32At(r, 0), 41);
  EXPECT_EQ(I32At(r, 4), -3);
  EXPECT_EQ(I32At(r, 8), 4);
  EXPECT_EQ(I32At(r, 12), -500);
  EXPECT_EQ(std::vector<uint8_t>(r + 16, r + 20), (std::vector<uint8_t>{1, 0, 1, 0}));
  EXPECT_EQ(I32At(bytes.data(), 0), -1) << "a fresh map shows no picture";

  CellMap back;
  back.ReadBytes(std::span<const uint8_t, kCellMapBytes>(bytes.data(), kCellMapBytes));
  EXPECT_EQ(back.At(2, 5).DeltaBlue, -500);
  EXPECT_TRUE(back.At(2, 5).VFlip);
  EXPECT_FALSE(back.At(5, 2).Assigned);

  back.Clear();
  EXPECT_FALSE(back.At(2, 5).Assigned);
  EXPECT_EQ(back.At(2, 5).PicIndex, -1);
  EXPECT_EQ(back.At(2, 5).DeltaBlue, -500) << "clearing leaves the deltas";
}

// The map starts as zero pages and Clear looks only at the pages written
// to: entries anywhere (those that straddle two pages among them) must come
// out blank, with their deltas kept, and copies must be whole and apart.
TEST(Tables, CellMapClearsEveryWrittenEntryAndCopiesWhole) {
  CellMap map;
  std::vector<std::pair<int, int>> written;
  for (size_t k = 0; k < size_t(kMapSide) * kMapSide; k += 4093) {
    const int x = static_cast<int>(k / kMapSide), y = static_cast<int>(k % kMapSide);
    map.At(x, y) = CellMapEntry{static_cast<int32_t>(k % 1000), 7, 0, 0, true, true, false};
    written.emplace_back(x, y);
  }
  map.At(kMapSide - 1, kMapSide - 1) = CellMapEntry{3, 0, 0, 9, true, false, true};
  written.emplace_back(kMapSide - 1, kMapSide - 1);

  CellMap copied(map);
  CellMap assigned;
  assigned = map;
  map.Clear();
  for (const auto& [x, y] : written) {
    EXPECT_FALSE(map.At(x, y).Assigned) << x << ", " << y;
    EXPECT_EQ(map.At(x, y).PicIndex, -1) << x << ", " << y;
    EXPECT_TRUE(map.At(x, y).DeltaRed == 7 || map.At(x, y).DeltaBlue == 9) << "deltas stay";
    EXPECT_TRUE(copied.At(x, y).Assigned && assigned.At(x, y).Assigned) << "copies are apart";
    EXPECT_EQ(int(copied.At(x, y).PicIndex), int(assigned.At(x, y).PicIndex));
  }
  EXPECT_EQ(CellMap().At(400, 400).PicIndex, -1) << "a blank entry is zero bytes";
  assigned.Clear();
  for (const auto& [x, y] : written) EXPECT_FALSE(assigned.At(x, y).Assigned) << "a copy clears as a whole";
}

TEST(Random, FollowsTheLinearCongruentialSequence) {
  RandomGenerator rng(0);
  EXPECT_EQ(rng.Random(100), 0);  // seed 1: 100 >> 32
  EXPECT_EQ(rng.Seed(), 1u);
  EXPECT_EQ(rng.Random(100), 3);  // seed 134775814: 13477581400 >> 32
  EXPECT_EQ(rng.Seed(), 134775814u);
  const uint32_t next = 134775814u * 134775813u + 1u;
  EXPECT_EQ(rng.Random(1000), static_cast<int>((uint64_t(next) * 1000) >> 32));
  EXPECT_EQ(rng.Random(0), 0);
  EXPECT_EQ(rng.Random(1), 0);
}

TEST(Random, StaysInRangeAndCoversIt) {
  RandomGenerator rng(12345);
  std::vector<int> seen(7, 0);
  for (int i = 0; i < 7000; ++i) {
    const int v = rng.Random(7);
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 7);
    ++seen[v];
  }
  for (int count : seen) EXPECT_GT(count, 800);
}

}  // namespace
}  // namespace velmora
