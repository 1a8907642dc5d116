// The Options dialog's arithmetic and the default options file.
#include <gtest/gtest.h>

#include <filesystem>

#include "project/DefaultOptionsFile.h"
#include "project/OptionControls.h"
#include "support/RestoredOptionBlock.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;
using testing::ScratchFolder;
using testing::WriteWholeFile;

TEST(OptionControls, OpacityPositionsAndPercentages) {
  EXPECT_EQ(AlphaFromPosition(20), 51);
  EXPECT_EQ(AlphaFromPosition(80), 204);
  EXPECT_EQ(AlphaFromPosition(100), 255);  // 256 is limited
  EXPECT_EQ(AlphaFromPosition(0), 0);
  EXPECT_EQ(AlphaFromPosition(-5), 0);
  EXPECT_EQ(AlphaFromPosition(1), 2);
  EXPECT_EQ(PercentText(AlphaToPosition(51)), "20 %");
  EXPECT_EQ(PercentText(AlphaToPosition(204)), "80 %");
  EXPECT_EQ(PercentText(AlphaToPosition(205)), "80 %");
  EXPECT_EQ(PercentText(AlphaToPosition(255)), "100 %");
}

TEST(OptionControls, RepeatLimitRaise) {
  EXPECT_EQ(RaisedRepeatTimes(true, 10, 10, 48, 48), 277);  // trunc(2304 x 1.2) = 2764, div 10, + 1
  EXPECT_EQ(RaisedRepeatTimes(true, 10, 0, 48, 48), 10);    // an empty library raises nothing
  EXPECT_EQ(RaisedRepeatTimes(false, 10, 10, 48, 48), 10);
  EXPECT_EQ(RaisedRepeatTimes(true, 231, 10, 48, 48), 231);  // 2310 cells' worth already
  EXPECT_EQ(RaisedRepeatTimes(true, 230, 10, 48, 48), 277);
  EXPECT_EQ(RaisedRepeatTimes(true, 1, 1, 5, 1), 7);  // 5 x 1.2 is exactly 6, not 5.999...
  // A cap typed huge does not overflow the comparison.
  EXPECT_EQ(RaisedRepeatTimes(true, 2000000000, 65535, 800, 800), 2000000000);
}

TEST(OptionControls, ReadingTheDefaultControlsGivesTheDefaultsButAlphaPen204) {
  OptionControls controls;
  tmosaicproject options;
  const OptionLabels labels = ReadOptionControls(controls, 0, DefaultProject(), options);
  tmosaicproject expected = DefaultProject();
  expected.AlphaPen = 204;
  EXPECT_EQ(WriteOptionBlock(options), WriteOptionBlock(expected));
  EXPECT_EQ(labels.lbrl, "20 %");
  EXPECT_EQ(labels.lbce, "50 %");
  EXPECT_EQ(labels.lbabm, "20 %");
  EXPECT_EQ(labels.lbabp, "80 %");
  EXPECT_EQ(labels.lbjpgq, "75 %");
}

TEST(OptionControls, ReadingControlsRaisesTheCapAndFixesANegativeBorder) {
  OptionControls controls;
  controls.cbrptlimit = true;
  controls.ebs = -3;
  controls.kernel = -1;  // no kernel button checked
  tmosaicproject options;
  options.RepeatLimitSuspended = true;
  ReadOptionControls(controls, 10, DefaultProject(), options);
  EXPECT_EQ(options.MaxRepeatTimes, 277);
  EXPECT_EQ(controls.serepeattime, 277);
  EXPECT_EQ(options.BorderSize, 0);
  EXPECT_EQ(controls.ebs, 0);
  EXPECT_EQ(options.ResampleKernel, 4);
  EXPECT_FALSE(options.RepeatLimitSuspended);

  // One picture for 2304 cells: the spin edit stops at 999, the option does not.
  controls.serepeattime = 10;
  ReadOptionControls(controls, 1, DefaultProject(), options);
  EXPECT_EQ(options.MaxRepeatTimes, 2765);
  EXPECT_EQ(controls.serepeattime, 999);
}

TEST(DefaultOptionsFile, RestoreDefaultWritesTheDocumentedBytes) {
  ScratchFolder dir;
  OptionControls controls;
  controls.tbenhance = 90;
  controls.cbvf = true;
  tmosaicproject options;
  ASSERT_TRUE(RestoreDefaultOptions(controls, 10, DefaultProject(), options, dir.str()).ok());
  EXPECT_EQ(ReadWholeFile(dir / "Defaultopt.opt"), testing::kRestoredOptionBlock);
  EXPECT_EQ(options.AlphaPen, 204);
  EXPECT_EQ(controls.tbenhance, 50);
}

TEST(DefaultOptionsFile, MissingFileGivesTheBuiltInDefaults) {
  ScratchFolder dir;
  tmosaicproject options;
  options.ColorEnhance = 3;
  OptionControls controls;
  controls.tbalphablendpen = 10;
  ASSERT_TRUE(LoadDefaultOptions(options, controls, dir.str()).ok());
  EXPECT_EQ(WriteOptionBlock(options), WriteOptionBlock(DefaultProject()));
  EXPECT_EQ(options.AlphaPen, 205);
  EXPECT_EQ(controls.tbalphablendpen, 80);
  EXPECT_FALSE(fs::exists(dir / "Defaultopt.opt"));
}

struct StoredValue {
  const char* name;
  void (*set)(tmosaicproject&);
  const char* refusal;  // nullptr: the value is taken
};

const StoredValue kStoredValues[] = {
    {"BorderSizeHuge", [](tmosaicproject& o) { o.BorderSize = 2147483647; },
     "the option BorderSize is 2147483647, outside its range 0..20"},
    {"JpegQualityZero", [](tmosaicproject& o) { o.JpegQuality = 0; },
     "the option JpegQuality is 0, outside its range 25..100"},
    {"KernelNine", [](tmosaicproject& o) { o.ResampleKernel = 9; },
     "the option ResampleKernel is 9, outside its range 0..6"},
    {"RadiusPastTheSpinEdit", [](tmosaicproject& o) { o.MinRepeatRadius = 250; },
     "the option MinRepeatRadius is 250, outside its range 1..100"},
    {"RandomizeZero", [](tmosaicproject& o) { o.RandomizeLevel = 0; },
     "RandomizeLevel is 0, outside its range 1..80"},
    {"AlphaPen256", [](tmosaicproject& o) { o.AlphaPen = 256; }, "AlphaPen is 256, outside its range 0..255"},
    {"BorderColorHighByte", [](tmosaicproject& o) { o.BorderColor = 0x01000000; }, "BorderColor is 16777216"},
    // The repeat-limit raise stores more than the spin edit shows; a file
    // saved after a raise must still read.
    {"RaisedRepeatTimes", [](tmosaicproject& o) { o.MaxRepeatTimes = 5000; }, nullptr},
    {"EdgesOfEveryRange",
     [](tmosaicproject& o) {
       o.RandomizeLevel = 80;
       o.ColorEnhance = 0;
       o.BorderSize = 20;
       o.AlphaMain = 255;
       o.ResampleKernel = 6;
       o.JpegQuality = 25;
       o.BorderColor = 0x00FFFFFF;
     },
     nullptr},
};

class StoredOptions : public ::testing::TestWithParam<StoredValue> {};

// The file's values meet the ranges the flags and the dialog keep: a value
// outside them is refused with the field's name and range, and start-up
// goes on with the built-in options.
TEST_P(StoredOptions, ValuesOutOfRangeAreRefusedByNameAndRange) {
  const StoredValue& c = GetParam();
  ScratchFolder dir;
  tmosaicproject stored = DefaultProject();
  c.set(stored);
  ASSERT_TRUE(WriteOptionsFile(dir / "Defaultopt.opt", stored).ok());

  tmosaicproject options;
  options.ColorEnhance = 3;
  const Status read = ReadOptionsFile(dir / "Defaultopt.opt", options);
  tmosaicproject atStart;
  OptionControls controls;
  const Status start = LoadDefaultOptions(atStart, controls, dir.str());
  if (c.refusal == nullptr) {
    ASSERT_TRUE(read.ok()) << read.message();
    EXPECT_EQ(WriteOptionBlock(options), WriteOptionBlock(stored));
    ASSERT_TRUE(start.ok());
    EXPECT_EQ(WriteOptionBlock(atStart), WriteOptionBlock(stored));
    return;
  }
  ASSERT_FALSE(read.ok());
  EXPECT_NE(read.message().find("The options file \"" + (dir / "Defaultopt.opt") + "\" cannot be used"),
            std::string::npos)
      << read.message();
  EXPECT_NE(read.message().find(c.refusal), std::string::npos) << read.message();
  EXPECT_EQ(options.ColorEnhance, 3);  // untouched
  ASSERT_FALSE(start.ok());
  EXPECT_NE(start.message().find("The built-in options are used instead."), std::string::npos);
  EXPECT_EQ(WriteOptionBlock(atStart), WriteOptionBlock(DefaultProject()));
  EXPECT_EQ(controls.kernel, 4);
  EXPECT_EQ(controls.ebs, 0);
}

INSTANTIATE_TEST_SUITE_P(DefaultOptionsFile, StoredOptions, ::testing::ValuesIn(kStoredValues),
                         [](const ::testing::TestParamInfo<StoredValue>& info) {
                           return std::string(info.param.name);
                         });

TEST(DefaultOptionsFile, OnlyTheFirst60BytesOfALongerFileCount) {
  ScratchFolder dir;
  tmosaicproject stored = DefaultProject();
  stored.RandomizeLevel = 33;
  const auto block = WriteOptionBlock(stored);
  WriteWholeFile(dir / "Defaultopt.opt", std::string(block.begin(), block.end()) + "\x07\x07\x07");
  tmosaicproject options;
  ASSERT_TRUE(LoadDefaultOptions(options, dir.str()).ok());
  EXPECT_EQ(options.RandomizeLevel, 33);
}

TEST(DefaultOptionsFile, ShortFileIsRefusedAndTheBuiltInDefaultsStay) {
  ScratchFolder dir;
  WriteWholeFile(dir / "Defaultopt.opt", std::string(59, '\x05'));
  tmosaicproject options;
  options.RandomizeLevel = 77;
  const Status status = LoadDefaultOptions(options, dir.str());
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find("Defaultopt.opt"), std::string::npos);
  EXPECT_EQ(WriteOptionBlock(options), WriteOptionBlock(DefaultProject()));

  tmosaicproject untouched;
  untouched.RandomizeLevel = 77;
  EXPECT_FALSE(ReadOptionsFile(dir / "Defaultopt.opt", untouched).ok());
  EXPECT_EQ(untouched.RandomizeLevel, 77);
}

}  // namespace
}  // namespace velmora
