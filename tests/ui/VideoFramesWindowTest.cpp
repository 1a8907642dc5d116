// "Add Frames from Video…" in the library manager: the frames land beside
// the video and join the list once, however often the video is taken.
#include <QPushButton>

#include "UiTestSupport.h"
#include "ui/LibraryManagerWindow.h"

namespace velmora::testing {
namespace {

namespace fs = std::filesystem;

TEST_F(ProgramTest, FramesFromAVideoJoinTheLibraryOnce) {
  if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "the ffmpeg program makes the clip";
  Start();
  fs::create_directories(folder.path() / "clips");
  const std::string clip = folder / "clips/walk.mp4";
  ASSERT_EQ(std::system(("ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=96x64:rate=25:duration=5 "
                         "-c:v libx264 -pix_fmt yuv420p '" + clip + "'")
                            .c_str()),
            0);
  const int before = Engine().PicList.Count();
  auto* button = Find<QPushButton>(Session().windows.library, "btframes");
  ASSERT_NE(button, nullptr);
  for (int round = 0; round < 2; ++round) {
    prompts.openAnswers.push_back(QString::fromStdString(clip));
    button->click();
    ASSERT_FALSE(prompts.messages.empty());
    EXPECT_EQ(prompts.messages.back().first, "Frames from Video");
    EXPECT_EQ(Engine().PicList.Count(), before + 3) << "round " << round;
  }
  EXPECT_EQ(Engine().PicList[before], folder / "clips/walk frames/walk_00-00-00.000.jpg");
  for (int i = before; i < Engine().PicList.Count(); ++i) EXPECT_TRUE(fs::is_regular_file(Engine().PicList[i]));
  // Cancelled at the dialog: nothing happens.
  const size_t messages = prompts.messages.size();
  button->click();
  EXPECT_EQ(prompts.messages.size(), messages);
}

}  // namespace
}  // namespace velmora::testing
