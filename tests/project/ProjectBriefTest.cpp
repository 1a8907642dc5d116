// The project brief's lines for the wizard's defaults and with a repeat limit.
#include <gtest/gtest.h>

#include "support/ScratchFolder.h"
#include "project/ProjectBrief.h"

namespace velmora {
namespace {

using testing::ReadWholeFile;
using testing::ScratchFolder;

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "text does not end with CR LF";
  return lines;
}

TEST(ProjectBrief, DefaultsGiveFifteenLines) {
  tmosaicproject project = DefaultProject();
  project.MainImageFile = "/home/me/photos/harbour.jpg";
  const std::vector<std::string> expected = {
      "Project Brief",
      "--------File Info--------",
      "Source Image = harbour.jpg",
      "Full Path = /home/me/photos/harbour.jpg",
      "Image Library 100 Files",
      "--------Size Info --------",
      "Cell Count : 48 x 48 = 2304 Cells",
      "Cell Size : 32 x 32 Pixels",
      "Final Size : 1536 x 1536 Pixels",
      "--------Option Info--------",
      "Minimum Repeat Radius = 4",
      "Randomize Level = 20",
      "Color Enhance = 50%",
      "Border Size = 0",
      "Border Color = 0",
  };
  EXPECT_EQ(SplitCrLf(BuildProjectBrief(project, 100)), expected);
}

TEST(ProjectBrief, RepeatLimitAddsTheTwelfthLine) {
  tmosaicproject project = DefaultProject();
  project.LimitRepeat = true;
  project.BorderColor = 0x00FF0000;  // pure blue
  const auto lines = SplitCrLf(BuildProjectBrief(project, 0));
  ASSERT_EQ(lines.size(), 16u);
  EXPECT_EQ(lines[11], "Max Repeat time for each file = 10");
  EXPECT_EQ(lines[12], "Randomize Level = 20");
  EXPECT_EQ(lines[15], "Border Color = 16711680");
}

TEST(ProjectBrief, NoMainPictureLeavesTheNamesEmpty) {
  Engine engine;
  engine.PicList.Assign({"/a.jpg", "/b.jpg"});
  const auto lines = SplitCrLf(BuildProjectBrief(engine));
  EXPECT_EQ(lines[2], "Source Image = ");
  EXPECT_EQ(lines[3], "Full Path = ");
  EXPECT_EQ(lines[4], "Image Library 2 Files");
}

TEST(ProjectBrief, SavedFileIsTheTextExactly) {
  ScratchFolder dir;
  const std::string text = BuildProjectBrief(DefaultProject(), 3) + "typed by the user";
  ASSERT_TRUE(SaveProjectBrief(text, dir / "brief.txt").ok());
  EXPECT_EQ(ReadWholeFile(dir / "brief.txt"), text);
  EXPECT_FALSE(SaveProjectBrief(text, dir / "missing/brief.txt").ok());
}

}  // namespace
}  // namespace velmora
