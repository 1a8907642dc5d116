// What velmora-cli tells about the files it lists and reads: folders in a
// fixed order, names shown without their control characters, pictures it
// had to leave out counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/Bitmap32.h"
#include "imaging/formats/BmpCodec.h"
#include "support/ChildRun.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::ChildRun;

class FileNamesCli : public ::testing::Test {
protected:
  void SetUp() override { WritePicture("main.bmp", 0); }

  ChildRun Cli(std::vector<std::string> args) {
    args.insert(args.begin(), VELMORA_CLI);
    return testing::RunChild(args, dir_, {"XDG_CACHE_HOME=" + (dir_ / "cache")});
  }

  // A small flat-coloured picture; `shade` tells pictures apart.
  void WritePicture(const std::string& name, int shade) {
    fs::create_directories(fs::path(dir_ / name).parent_path());
    TBitmap32 b(12, 10);
    b.Fill(Color32(uint8_t(shade * 37), uint8_t(255 - shade * 23), uint8_t(shade * 11)));
    if (name == "main.bmp") b.FillRect(TRect{0, 0, 6, 10}, Color32(240, 20, 90));
    ASSERT_TRUE(WriteBmpFile(b, dir_ / name).ok());
  }

  // A mosaic of `library` into `out`, the same settings and seed every time.
  ChildRun Create(const std::string& out, bool recursive) {
    std::vector<std::string> args = {"create",     "--quiet", "--main", dir_ / "main.bmp", "--library",
                                     dir_ / "lib", "--cells", "8x8",    "--cell-size",     "8x8",
                                     "--seed",     "7",       "--out",  dir_ / out};
    if (recursive) args.push_back("--recursive");
    return Cli(args);
  }

  testing::ScratchFolder dir_;
};

// True when `text` holds no control character but the line ends.
bool PlainLines(const std::string& text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F;
  });
}

TEST_F(FileNamesCli, PicturesLeftOutForLineBreaksAreCounted) {
  const struct {
    const char* name;
    std::vector<const char*> pictures;
    bool recursive;
    std::string note;  // empty: none
  } cases[] = {
      {"none", {"a.bmp", "b.bmp"}, true, ""},
      {"one",
       {"a.bmp", "two\nlines.bmp", "b.bmp"},
       false,
       "1 picture with line breaks in its name was left out"},
      {"flat",
       {"a.bmp", "cr\r.bmp", "x\ny.bmp", "sub/c.bmp", "sub/d\n.bmp", "line\nbreak/e.bmp"},
       false,
       "2 pictures with line breaks in their names were left out"},
      {"deep",
       {"a.bmp", "cr\r.bmp", "x\ny.bmp", "sub/c.bmp", "sub/d\n.bmp", "line\nbreak/e.bmp"},
       true,
       "4 pictures with line breaks in their names were left out"},
  };
  for (const auto& c : cases) {
    fs::remove_all(dir_ / "lib");
    int shade = 1;
    for (const char* name : c.pictures) WritePicture(std::string("lib/") + name, shade++);
    const ChildRun run = Create("out.bmp", c.recursive);
    EXPECT_EQ(run.status, 0) << c.name << ": " << run.err;
    if (c.note.empty()) {
      EXPECT_EQ(run.err.find("left out"), std::string::npos) << c.name << ": " << run.err;
    } else {
      EXPECT_NE(run.err.find("Warning: " + c.note + "\n"), std::string::npos) << c.name << ": " << run.err;
    }
  }
}

// A folder without subfolders makes the same library with and without
// --recursive, hidden files and names that sort differently by case
// included, so a seed makes the same mosaic.
TEST_F(FileNamesCli, FlatFolderMakesTheSameMosaicWithAndWithoutRecursion) {
  int shade = 1;
  for (const char* name :
       {"d.bmp", "B.bmp", "a.bmp", ".hidden.bmp", "C.bmp", "\xC3\xA9t\xC3\xA9.bmp", "10.bmp"})
    WritePicture(std::string("lib/") + name, shade++);
  const ChildRun flat = Create("flat.bmp", false);
  const ChildRun deep = Create("deep.bmp", true);
  ASSERT_EQ(flat.status, 0) << flat.err;
  ASSERT_EQ(deep.status, 0) << deep.err;
  EXPECT_TRUE(testing::ReadWholeFile(dir_ / "flat.bmp") == testing::ReadWholeFile(dir_ / "deep.bmp"));
}

// A damaged photo named with an escape sequence, a binary image list: the
// messages name them with the control characters written out.
TEST_F(FileNamesCli, MessagesShowControlCharactersEscaped) {
  testing::WriteWholeFile(dir_ / "evil\x1B[31mRED.jpg", "\xFF\xD8\xFF not a photo");
  testing::WriteWholeFile(dir_ / "bin\a.IL2", std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11));
  const struct {
    std::vector<std::string> args;
    std::string shown;
  } cases[] = {
      {{"info", dir_ / "evil\x1B[31mRED.jpg"}, "evil\\x1B[31mRED.jpg: "},
      {{"create", "--main", dir_ / "main.bmp", "--library", dir_ / "bin\a.IL2", "--out", dir_ / "m.bmp"},
       "bin\\x07.IL2\" is not an image list"},
      {{"create", "--main", dir_ / "main.bmp", "--out", dir_ / "m\x1B[2J.gif"}, "m\\x1B[2J.gif'"},
  };
  for (const auto& c : cases) {
    const ChildRun run = Cli(c.args);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find(c.shown), std::string::npos) << run.err;
    EXPECT_TRUE(PlainLines(run.err)) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
}

}  // namespace
}  // namespace velmora
