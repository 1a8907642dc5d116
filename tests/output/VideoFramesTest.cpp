// Frames from videos: clips are made here by the ffmpeg program from its own
// test sources, never stored.
#include "output/VideoFrames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "imaging/PictureReader.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::ScratchFolder;
namespace fs = std::filesystem;

bool HaveFfmpeg() { return std::system("ffmpeg -version >/dev/null 2>&1") == 0; }

// `inputs` are ffmpeg lavfi sources joined one after the other.
void MakeClip(const std::string& path, const std::vector<std::string>& inputs, const std::string& extra = "") {
  std::string command = "ffmpeg -hide_banner -loglevel error -y";
  for (const std::string& in : inputs) command += " -f lavfi -i '" + in + "'";
  if (inputs.size() > 1) {
    command += " -filter_complex '";
    for (size_t i = 0; i < inputs.size(); ++i) command += "[" + std::to_string(i) + "]";
    command += "concat=n=" + std::to_string(inputs.size()) + ":v=1'";
  }
  command += " -c:v libx264 -pix_fmt yuv420p " + extra + " '" + path + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

std::vector<std::string> Names(const std::vector<std::string>& paths) {
  std::vector<std::string> names;
  for (const std::string& p : paths) names.push_back(fs::path(p).filename().string());
  return names;
}

class VideoFramesTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!HaveFfmpeg()) GTEST_SKIP() << "the ffmpeg program makes the test clips";
  }
  ScratchFolder scratch;
};

TEST_F(VideoFramesTest, PaceCountAndAlikeFramesDecideWhatIsSaved) {
  // Four seconds of a moving test picture, then four of one flat colour.
  const std::string clip = scratch / "clip.mp4";
  MakeClip(clip, {"testsrc=size=160x120:rate=25:duration=4", "color=c=red:size=160x120:rate=25:duration=4"});
  struct Case {
    const char* name;
    VideoFrameOptions options;
    std::vector<std::string> saved;
    int alike;
  } cases[] = {
      // The red stretch is one shot: its first frame is kept, the rest are alike.
      {"every 2 s", {2.0, 0, 6.0, 92}, {"clip_00-00-00.000.jpg", "clip_00-00-02.000.jpg", "clip_00-00-04.000.jpg"}, 1},
      {"every 2 s, keep all", {2.0, 0, 0.0, 92},
       {"clip_00-00-00.000.jpg", "clip_00-00-02.000.jpg", "clip_00-00-04.000.jpg", "clip_00-00-06.000.jpg"}, 0},
      {"2 spread evenly", {2.0, 2, 6.0, 92}, {"clip_00-00-02.000.jpg", "clip_00-00-06.000.jpg"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder out;
    VideoFrameReport report;
    ASSERT_TRUE(SaveVideoFrames(clip, out.str(), c.options, nullptr, report).ok());
    EXPECT_EQ(Names(report.saved), c.saved);
    EXPECT_EQ(report.alike, c.alike);
    EXPECT_NEAR(report.durationSeconds, 8.0, 0.1);
    for (const std::string& path : report.saved) {
      Result<DecodedPicture> photo = ReadPicture(path);
      ASSERT_TRUE(photo.ok()) << photo.message();
      EXPECT_EQ(photo->bitmap.Width(), 160);
      EXPECT_EQ(photo->bitmap.Height(), 120);
    }
  }
}

TEST_F(VideoFramesTest, PortraitClipsAreSavedUpright) {
  // A phone records a portrait clip as landscape frames with a turn to show them by.
  const std::string plain = scratch / "plain.mp4";
  MakeClip(plain, {"testsrc=size=160x120:rate=25:duration=1"});
  const std::string turned = scratch / "turned.mp4";
  ASSERT_EQ(std::system(("ffmpeg -hide_banner -loglevel error -y -i '" + plain +
                         "' -c copy -metadata:s:v:0 rotate=90 '" + turned + "'")
                            .c_str()),
            0);
  VideoFrameReport report;
  ASSERT_TRUE(SaveVideoFrames(turned, scratch.str(), {10.0, 0, 6.0, 92}, nullptr, report).ok());
  ASSERT_EQ(report.saved.size(), 1u);
  Result<DecodedPicture> photo = ReadPicture(report.saved[0]);
  ASSERT_TRUE(photo.ok());
  EXPECT_EQ(photo->bitmap.Width(), 120);
  EXPECT_EQ(photo->bitmap.Height(), 160);
  // The test picture's top-left colour bar (white-ish) ends up top-right after a quarter turn clockwise.
  const TColor32 corner = photo->bitmap.Pixel(115, 4);
  EXPECT_GT(RedOf(corner) + GreenOf(corner) + BlueOf(corner), 3 * 150);
}

TEST_F(VideoFramesTest, FilesThatAreNotVideosFailWithTheirName) {
  const std::string text = scratch / "notes.mp4";
  testing::WriteWholeFile(text, "this is not a video, only words\n");
  const std::string cut = scratch / "cut.mp4";
  MakeClip(cut, {"testsrc=size=160x120:rate=25:duration=2"});
  const std::string whole = testing::ReadWholeFile(cut);
  testing::WriteWholeFile(cut, whole.substr(0, whole.size() / 3));
  const std::string still = scratch / "still.png";
  ASSERT_EQ(std::system(("ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=16x16 -frames:v 1 '" +
                         still + "'")
                            .c_str()),
            0);
  for (const std::string& path : {text, scratch / "missing.mp4"}) {
    VideoFrameReport report;
    const Status status = SaveVideoFrames(path, scratch.str(), {}, nullptr, report);
    EXPECT_FALSE(status.ok()) << path;
    EXPECT_NE(status.message().find(fs::path(path).filename().string()), std::string::npos) << status.message();
    EXPECT_TRUE(report.saved.empty());
  }
  // A clip cut short gives what it holds, without crashing; a still picture is a one-frame video.
  for (const std::string& path : {cut, still}) {
    VideoFrameReport report;
    (void)SaveVideoFrames(path, scratch.str(), {0.5, 0, 0.0, 92}, nullptr, report);
    for (const std::string& saved : report.saved) EXPECT_TRUE(ReadPicture(saved).ok());
  }
  VideoFrameReport report;
  EXPECT_FALSE(SaveVideoFrames(cut, scratch / "no such folder", {}, nullptr, report).ok());
}

TEST_F(VideoFramesTest, CancelKeepsThePhotosSavedSoFar) {
  const std::string clip = scratch / "long.mp4";
  MakeClip(clip, {"testsrc=size=160x120:rate=25:duration=6"});
  struct CancelAfterForty : JobListener {
    int reports = 0;
    bool CancelRequested() override { return ++reports > 40; }
  } listener;
  VideoFrameReport report;
  const Status status = SaveVideoFrames(clip, scratch.str(), {0.5, 0, 0.0, 92}, &listener, report);
  EXPECT_EQ(status.message(), kJobCancelled);
  EXPECT_FALSE(report.saved.empty());
  EXPECT_LT(report.saved.size(), 12u);
  for (const std::string& saved : report.saved) EXPECT_TRUE(fs::exists(saved));
}

TEST(VideoFrameName, NamesTheVideoAndTheTime) {
  EXPECT_EQ(VideoFrameName("/a/b/holiday.MOV", 0), "holiday_00-00-00.000.jpg");
  EXPECT_EQ(VideoFrameName("clip.v2.mp4", 3725.25), "clip.v2_01-02-05.250.jpg");
  EXPECT_EQ(VideoFrameName("x.mp4", -1), "x_00-00-00.000.jpg");
}

}  // namespace
}  // namespace velmora
