// The photo decoders ask the thread's memory budget before their libraries
// allocate: the reduced size they pick by the caller's hint and by the
// budget, the libraries' working memory charged beside the bitmap, pictures
// that can never fit refused by name, HEIF thumbnails taken for library
// photos, and lossy WebP frames whose first partition cannot describe their
// size refused before a bitmap exists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "imaging/CraftedFiles.h"
#include "imaging/MemoryBudget.h"
#include "imaging/PictureReader.h"
#include "imaging/formats/PhotoBudget.h"

namespace velmora {
namespace {

const std::string kDir = std::string(VELMORA_TEST_DATA) + "/photo/";

DecodeHints AcceptAtLeast(int minWidth, int minHeight) {
  DecodeHints hints;
  if (minWidth > 0) hints.acceptScaled = [=](int w, int h) { return w >= minWidth && h >= minHeight; };
  return hints;
}

TEST(PhotoBudget, ReductionFollowsTheHintThenTheBudget) {
  struct Case {
    const char* what;
    int width, height;
    bool swapSides;
    int minWidth, minHeight;  // the hint; 0: none
    int64_t budget;           // 0: no scope
    int factor;
  };
  const Case cases[] = {
      {"neither", 8000, 6000, false, 0, 0, 0, 1},
      {"the smallest size the hint accepts", 8000, 6000, false, 64, 64, 0, 64},
      {"nothing smaller accepted", 8000, 6000, false, 8000, 6000, 0, 1},
      // Stored 6000 x 8000 and turned: 125 x 94 at 64 is accepted upright.
      {"sides offered upright", 6000, 8000, true, 120, 90, 0, 64},
      {"sides offered as stored", 6000, 8000, false, 120, 90, 0, 32},
      // 8000 x 6000 x 4 bytes at 1, 2: 183, 46 MiB; at 4: 11 MiB.
      {"the budget asks for more", 8000, 6000, false, 0, 0, int64_t(16) << 20, 4},
      {"the hint's size does not fit", 8000, 6000, false, 2000, 1500, int64_t(1) << 20, 16},
      {"never past the largest factor", 8000, 6000, false, 0, 0, 1, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<MemoryBudget> budget;
    if (c.budget > 0) budget = std::make_unique<MemoryBudget>(c.budget);
    MemoryScope scope(budget.get());
    const auto bytesAt = [&](int f) {
      return int64_t(ReducedSide(c.width, f)) * ReducedSide(c.height, f) * 4;
    };
    EXPECT_EQ(ChoosePhotoReduction(c.width, c.height, c.swapSides, AcceptAtLeast(c.minWidth, c.minHeight), 64,
                                   bytesAt),
              c.factor);
  }
}

TEST(PhotoBudget, ChargesTheLibraryAndRefusesWhatCanNeverFit) {
  MemoryBudget budget(int64_t(256) << 20);
  {
    MemoryScope scope(&budget);
    ASSERT_TRUE(ChargePhotoDecode("WebP", 4000, 3000, 50000, 4000 * 3000).ok());
    EXPECT_EQ(budget.InUse(), 50000);  // the bitmap charges itself when it is made
    EXPECT_EQ(ChargePhotoDecode("JPEG XL", 8000, 8000, int64_t(4) * 8000 * 8000, 8000 * 8000).message(),
              "Cannot load image. The JPEG XL picture of 8000 x 8000 pixels needs 488.3 MiB at once to "
              "decode, more than the memory budget of 256.0 MiB.");
    EXPECT_EQ(budget.InUse(), 50000);
  }
  // Without a scope (the main picture, the viewers) nothing is counted.
  EXPECT_TRUE(ChargePhotoDecode("JPEG XL", 8000, 8000, int64_t(4) * 8000 * 8000, 8000 * 8000).ok());
  EXPECT_EQ(budget.InUse(), 0);
}

// Each library's memory is charged before it decodes: the budget saw more
// than the file and the bitmap, at least as much again as the bitmap.
TEST(PhotoBudget, EachFormatChargesItsLibraryBeforeDecoding) {
  for (const char* file : {"blocks.webp", "blocks.jxl", "blocks.heic", "tiny.dng"}) {
    SCOPED_TRACE(file);
    MemoryBudget budget;
    int64_t bitmap = 0;
    {
      MemoryScope scope(&budget);
      const Result<DecodedPicture> r = ReadPicture(kDir + file);
      ASSERT_TRUE(r.ok()) << r.message();
      bitmap = int64_t(r->bitmap.Width()) * r->bitmap.Height() * 4;
    }
    const auto fileBytes = static_cast<int64_t>(std::filesystem::file_size(kDir + file));
    EXPECT_GE(budget.Peak(), fileBytes + 2 * bitmap);
    EXPECT_EQ(budget.InUse(), 0);
  }
}

// Under a budget too small for the whole picture, a format that can reduce
// while decoding comes out smaller; the others are refused by name before
// their library allocates.
TEST(PhotoBudget, PicturesOverTheBudgetAreReducedOrRefusedByName) {
  struct Case {
    const char* file;
    int64_t budget;
    int width;            // 0: refused
    const char* refusal;  // how the message goes on after the path
  };
  const Case cases[] = {
      {"blocks.webp", 40000, 48, nullptr},
      {"blocks.jxl", 40000, 0, "Cannot load image. The JPEG XL picture of 96 x 64 pixels needs "},
      {"blocks.heic", 40000, 0, "Cannot load image. The HEIF picture of 96 x 64 pixels needs "},
      {"tiny.dng", 10000, 16, nullptr},
      {"tiny.dng", 4000, 0, "Cannot load image. The camera raw picture of 32 x 32 pixels needs "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " in " + std::to_string(c.budget));
    MemoryBudget budget(c.budget);
    MemoryScope scope(&budget);
    const Result<DecodedPicture> r = ReadPicture(kDir + c.file);
    if (c.width == 0) {
      EXPECT_EQ(r.message().rfind(kDir + c.file + ": " + c.refusal, 0), 0u) << r.message();
      continue;
    }
    ASSERT_TRUE(r.ok()) << r.message();
    EXPECT_EQ(r->bitmap.Width(), c.width);
  }
}

// Largest channel difference between the centre of each of the 3 x 2 blocks
// and its colour (scripts/make-photo-fixtures.sh).
int BlockError(const TBitmap32& b) {
  const TColor32 blocks[6] = {Color32(255, 0, 0),   Color32(0, 255, 0),   Color32(0, 0, 255),
                              Color32(255, 255, 0), Color32(0, 255, 255), Color32(255, 255, 255)};
  int worst = 0;
  for (int i = 0; i < 6; ++i) {
    const TColor32 got =
        b.Pixel((i % 3) * b.Width() / 3 + b.Width() / 6, (i / 3) * b.Height() / 2 + b.Height() / 4);
    for (int shift : {0, 8, 16})
      worst = std::max(worst, std::abs(int((got >> shift) & 0xFF) - int((blocks[i] >> shift) & 0xFF)));
  }
  return worst;
}

TEST(PhotoBudget, LibraryPhotosAreDecodedReducedWhereTheFormatAllows) {
  struct Case {
    const char* file;
    int minWidth, minHeight;  // the hint; 0: none
    int width, height;        // the bitmap, upright
    int storedWidth;
    int tolerance;  // of the blocks' colours; -1: not the blocks
  };
  const Case cases[] = {
      {"blocks.webp", 24, 16, 24, 16, 96, 0},
      // Stored 16 x 24 and tagged 6: the sizes offered are upright.
      {"orientation-6.webp", 12, 8, 12, 8, 24, -1},
      {"blocks-thumb.heic", 32, 20, 48, 32, 96, 40},
      {"blocks-thumb.heic", 64, 40, 96, 64, 96, 40},
      {"blocks-thumb.heic", 0, 0, 96, 64, 96, 40},
      // Half size only when it is enough.
      {"tiny.dng", 32, 32, 32, 32, 32, -1},
      {"tiny.dng", 16, 16, 16, 16, 32, -1},
      // libjxl 0.7 decodes whole.
      {"blocks.jxl", 24, 16, 96, 64, 96, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " at least " + std::to_string(c.minWidth));
    const Result<DecodedPicture> r = ReadPicture(kDir + c.file, AcceptAtLeast(c.minWidth, c.minHeight));
    ASSERT_TRUE(r.ok()) << r.message();
    EXPECT_EQ(r->bitmap.Width(), c.width);
    EXPECT_EQ(r->bitmap.Height(), c.height);
    EXPECT_EQ(r->storedWidth, c.storedWidth);
    EXPECT_EQ(AlphaOf(r->bitmap.Pixel(0, 0)), 255);
    if (c.tolerance >= 0) {
      EXPECT_LE(BlockError(r->bitmap), c.tolerance);
    }
  }
}

// A lossy WebP of 16383 x 16383 pixels in 72 KB: enough bytes for the pixels
// a file may claim, but its first partition has room for the prediction
// modes of a fraction of its macroblocks, or reaches past the frame.
std::vector<uint8_t> LossyWebp(uint32_t partition, uint32_t frameBytes) {
  testing::Bytes frame;
  // Key frame, version 0, shown, then the first partition's length.
  frame.u8((partition << 5 | 1 << 4) & 0xFF).u8(partition >> 3 & 0xFF).u8(partition >> 11 & 0xFF);
  frame.u8(0x9D).u8(0x01).u8(0x2A).u16le(16383).u16le(16383);
  frame.fill(frameBytes - frame.data.size());
  testing::Bytes file;
  file.text("RIFF").u32le(4 + 8 + frameBytes).text("WEBP").text("VP8 ").u32le(frameBytes).append(frame.data);
  return file.data;
}

TEST(PhotoBudget, LossyWebpWhoseFirstPartitionCannotDescribeItIsRefused) {
  struct Case {
    uint32_t partition;
    const char* message;
  };
  const Case cases[] = {
      {4000,
       "Cannot load image. The WebP picture of 16383 x 16383 pixels has 1048576 macroblocks, more than "
       "its first partition of 4000 bytes can describe."},
      {72000 - 5, "Stream read error in WebP file."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.partition);
    // A library photo's budget would catch the bitmap; the main picture has none.
    EXPECT_EQ(DecodePicture("big.webp", LossyWebp(c.partition, 72000)).message(), c.message);
  }
}

}  // namespace
}  // namespace velmora
