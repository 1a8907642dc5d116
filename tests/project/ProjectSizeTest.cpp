// Projects past the picture limit: they read and render in bands, while
// opening one in memory is refused at once, saying how to render it.
#include <gtest/gtest.h>

#include <memory>

#include "project/ProjectSize.h"
#include "support/OverLimitProject.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::ScratchFolder;

class OverLimitProject : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    folder_ = new ScratchFolder;
    testing::WriteOverLimitProject(Path());
  }
  static void TearDownTestSuite() { delete folder_; }
  static std::string Path() { return *folder_ / "poster.vm6"; }
  static inline ScratchFolder* folder_ = nullptr;
};

TEST_F(OverLimitProject, ReadsAndRendersInBandsToTheLastRow) {
  Engine engine;
  ASSERT_TRUE(LoadProjectFile(engine, Path()).ok());
  EXPECT_EQ(engine.Project.FinalWidth, testing::kOverLimitWidth);
  EXPECT_EQ(engine.Project.FinalHeight, testing::kOverLimitHeight);

  int rows = 0;
  bool cellDrawn = false, borderElsewhere = true;
  const Status status = engine.ReopenProjectInBands(4096, [&](const TBitmap32& band, int n) {
    EXPECT_EQ(band.Width(), testing::kOverLimitWidth);
    if (rows == 0) cellDrawn = band.Pixel(64, 64) != Color32FromBgrInt(testing::kOverLimitBorder);
    if (rows + n == testing::kOverLimitHeight)
      borderElsewhere = band.Pixel(100, n - 1) == Color32FromBgrInt(testing::kOverLimitBorder);
    rows += n;
    return Status::Ok();
  });
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(rows, testing::kOverLimitHeight);
  EXPECT_TRUE(cellDrawn);
  EXPECT_TRUE(borderElsewhere);
  EXPECT_TRUE(engine.MosaicBitmap.Empty());  // never held whole
}

TEST_F(OverLimitProject, OpeningInMemoryIsRefusedAtOnceWithTheCommandThatRendersIt) {
  const std::string expected =
      "The project \"" + Path() +
      "\" makes a mosaic of 16384 x 16512 pixels, larger than the 268435456 pixels "
      "this program can show; render it into a picture file with: velmora-cli render " +
      Path() + " --out " + (*folder_ / "poster.tif");
  const Status check = CheckProjectCanBeShown(Path());
  ASSERT_FALSE(check.ok());
  EXPECT_EQ(check.message(), expected);

  Engine engine;
  engine.Project.CellsAcross = 20;
  engine.PicList.Assign({"/open/one.jpg"});
  const Status opened = OpenProject(engine, Path());
  ASSERT_FALSE(opened.ok());
  EXPECT_EQ(opened.message(), expected);
  EXPECT_EQ(engine.Project.CellsAcross, 20);
  EXPECT_EQ(engine.PicList.Paths(), std::vector<std::string>{"/open/one.jpg"});
  EXPECT_EQ(engine.MosaicState, 0);
}

TEST(ProjectSize, TheLimitItselfStillFitsAndOddPathsAreQuotedForTheShell) {
  tmosaicproject p = DefaultProject();
  p.FinalWidth = 16384;
  p.FinalHeight = 16384;
  EXPECT_TRUE(FitsInMemory(p));
  p.FinalHeight = 16385;
  EXPECT_FALSE(FitsInMemory(p));
  p.FinalWidth = 65536;
  p.FinalHeight = 8;
  EXPECT_FALSE(FitsInMemory(p));  // few pixels, but a side past 65535
  const std::string message = TooLargeToShowMessage("/my posters/it's.vm6", p);
  EXPECT_NE(message.find("velmora-cli render '/my posters/it'\\''s.vm6' --out '/my posters/it'\\''s.tif'"),
            std::string::npos)
      << message;
}

}  // namespace
}  // namespace velmora
