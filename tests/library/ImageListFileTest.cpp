// Image list files: the line rules of the reader, the bytes of the writer,
// the default list and its rebuild from the images folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/PathText.h"
#include "library/ImageListFile.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

std::span<const uint8_t> Bytes(std::string_view s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

using testing::ReadWholeFile;
using testing::WriteWholeFile;
using TempDir = testing::ScratchFolder;

struct LineCase {
  const char* name;
  std::string text;
  Lines expected;
};

class ImageListLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(ImageListLines, WholeTextAndByteByByteAgree) {
  const LineCase& c = GetParam();
  EXPECT_EQ(ParseImageListText(Bytes(c.text)), c.expected);
  // A CR at the end of one chunk and its LF at the start of the next are one
  // break, wherever the reader's chunks happen to end.
  ImageListParser parser;
  for (char ch : c.text) parser.Feed(Bytes(std::string_view(&ch, 1)));
  EXPECT_EQ(parser.Finish(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    ImageListFile, ImageListLines,
    ::testing::Values(
        LineCase{"CrLf", "a.jpg\r\nb.jpg\r\nc.jpg\r\n", {"a.jpg", "b.jpg", "c.jpg"}},
        LineCase{"LastLineUnterminated", "a.jpg\r\nb.jpg", {"a.jpg", "b.jpg"}},
        LineCase{"LfOnly", "a.jpg\nb.jpg\n", {"a.jpg", "b.jpg"}},
        LineCase{"CrOnly", "a.jpg\rb.jpg\r", {"a.jpg", "b.jpg"}},
        LineCase{"LfCrIsTwoBreaks", "a.jpg\n\rb.jpg", {"a.jpg", "", "b.jpg"}},
        LineCase{"BlankLineInMiddle", "a.jpg\r\n\r\nb.jpg\r\n", {"a.jpg", "", "b.jpg"}},
        LineCase{"CrThenCrLf", "a.jpg\r\r\n", {"a.jpg", ""}},
        LineCase{"NulEndsText", std::string("a.jpg\r\nb.j\0pg\r\nc.jpg\r\n", 22), {"a.jpg", "b.j"}},
        LineCase{"Empty", "", {}}, LineCase{"OnlyTerminator", "\r\n", {""}},
        LineCase{"DuplicatesKept", "x.bmp\r\nx.bmp\r\n", {"x.bmp", "x.bmp"}},
        LineCase{"BytesKeptAsTheyAre", "/p/\xE9t\xE9 \t.jpg\r\n", {"/p/\xE9t\xE9 \t.jpg"}},
        // An editor's UTF-8 byte-order mark is no part of the first path.
        LineCase{"ByteOrderMarkSkipped", "\xEF\xBB\xBF/p/a.jpg\r\nb.jpg", {"/p/a.jpg", "b.jpg"}},
        LineCase{"OnlyAByteOrderMark", "\xEF\xBB\xBF", {}},
        LineCase{"MarkOnlyAtTheStart",
                 "a.jpg\n\xEF\xBB\xBF"
                 "b.jpg",
                 {"a.jpg",
                  "\xEF\xBB\xBF"
                  "b.jpg"}},
        LineCase{"StartOfAMarkIsText", "\xEF\xBBx.jpg\n\xEF", {"\xEF\xBBx.jpg", "\xEF"}},
        LineCase{"TextCutInsideAMark", "\xEF\xBB", {"\xEF\xBB"}}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

// Lines 0..count-1, each followed by `end`, then `tail`.
std::string NumberedLines(int count, std::string_view end, std::string_view tail = {}) {
  std::string text;
  for (int i = 0; i < count; ++i) (text += std::to_string(i)) += end;
  return text += tail;
}

struct LimitCase {
  const char* name;
  std::string text;
  bool refused;
};

class ImageListLimit : public ::testing::TestWithParam<LimitCase> {};

// A list the library cannot hold is refused as a folder of that size is,
// never cut short in silence; one that only ends at the limit is read whole.
TEST_P(ImageListLimit, ListsPastTheLimitAreRefusedAndTheListKept) {
  const LimitCase& c = GetParam();
  TempDir dir;
  const std::string path = (dir.path() / "big.IL2").string();
  WriteWholeFile(path, c.text);
  CellPicList list;
  list.Assign({"kept.jpg"});
  const Status status = ReadImageListFile(path, list);
  if (c.refused) {
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.message(),
              "The image list file " + path + " holds more than 65535 pictures; at most 65535 can be used");
    EXPECT_EQ(list.Paths(), Lines{"kept.jpg"});
  } else {
    ASSERT_TRUE(status.ok()) << status.message();
    ASSERT_EQ(list.Count(), MaxLibraryPictures);
    EXPECT_EQ(list[MaxLibraryPictures - 1], "65534");
  }
}

INSTANTIATE_TEST_SUITE_P(
    ImageListFile, ImageListLimit,
    ::testing::Values(LimitCase{"ExactlyFullCrLf", NumberedLines(65535, "\r\n"), false},
                      LimitCase{"ExactlyFullUnterminated", NumberedLines(65534, "\n", "65534"), false},
                      LimitCase{"FullThenNul",
                                NumberedLines(65535, "\r\n", std::string_view("\0more\r\n", 7)), false},
                      LimitCase{"OneLineMore", NumberedLines(65536, "\n"), true},
                      LimitCase{"OneEmptyLineMore", NumberedLines(65535, "\r\n", "\r\n"), true},
                      LimitCase{"UnterminatedLineMore", NumberedLines(65535, "\r", "x"), true},
                      LimitCase{"FarLonger", NumberedLines(70000, "\n"), true}),
    [](const ::testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

TEST(ImageListFile, MessagesCutAnOverlongPathToItsStartAndEnd) {
  const std::string path = "/lib/" + std::string(10 << 20, 'a') + "/photo.jpg";
  CellPicList list;
  list.Assign({"fine.jpg", path + "\n"});
  const Status status = CheckStorableList(list);
  ASSERT_FALSE(status.ok());
  EXPECT_LT(status.message().size(), 400u);
  EXPECT_NE(status.message().find("\"/lib/aaa"), std::string::npos);
  EXPECT_NE(status.message().find("/photo.jpg\\n\")"), std::string::npos);
  EXPECT_NE(status.message().find("bytes left out"), std::string::npos);
  EXPECT_EQ(EchoPath("/short/path.jpg"), "/short/path.jpg");
}

TEST(ImageListFile, WritesCrLfAfterEveryEntryAndReadsThemBack) {
  TempDir dir;
  const std::string path = (dir.path() / "list.IL2").string();
  CellPicList list;
  list.Assign({"C:/pics/a.jpg", "C:/pics/b.bmp", "C:/pics/a.jpg"});
  ASSERT_TRUE(WriteImageListFile(path, list).ok());
  EXPECT_EQ(ReadWholeFile(path), "C:/pics/a.jpg\r\nC:/pics/b.bmp\r\nC:/pics/a.jpg\r\n");

  CellPicList back;
  ASSERT_TRUE(ReadImageListFile(path, back).ok());
  EXPECT_EQ(back.Paths(), list.Paths());
}

TEST(ImageListFile, EmptyListIsAnEmptyFile) {
  TempDir dir;
  const std::string path = (dir.path() / "empty.IL2").string();
  ASSERT_TRUE(WriteImageListFile(path, CellPicList{}).ok());
  EXPECT_EQ(fs::file_size(path), 0u);
  CellPicList back;
  back.Append("stale");
  ASSERT_TRUE(ReadImageListFile(path, back).ok());
  EXPECT_TRUE(back.Empty());
}

TEST(ImageListFile, FailedReadLeavesTheListAsItWas) {
  TempDir dir;
  CellPicList list;
  list.Assign({"one.jpg", "two.jpg"});
  const Status missing = ReadImageListFile((dir.path() / "missing.IL2").string(), list);
  EXPECT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("missing.IL2"), std::string::npos);
  EXPECT_FALSE(ReadImageListFile(dir.str(), list).ok());  // a folder, not a file
  EXPECT_EQ(list.Paths(), (Lines{"one.jpg", "two.jpg"}));
}

// A file that is plainly binary (a picture, a UTF-16 text, zeros) is refused
// rather than read as paths; a NUL after lines of text still just ends the
// list, and paths holding control characters are kept when there is no NUL.
TEST(ImageListFile, BinaryFilesAreRefusedNamingThem) {
  TempDir dir;
  const struct {
    const char* name;
    std::string bytes;
    std::string refusal;  // empty: read
    Lines read;
  } cases[] = {
      {"jpeg", std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11), "byte 0x00 at offset 4", {}},
      {"png", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), "byte 0x1A at offset 6", {}},
      {"utf16", std::string("\xFF\xFE" "a\0.\0j\0", 8), "byte 0x00 at offset 3", {}},
      {"zeros", std::string(64, '\0'), "byte 0x00 at offset 0", {}},
      {"markThenNul", std::string("\xEF\xBB\xBF\0", 4), "byte 0x00 at offset 3", {}},
      {"nulAfterLines", std::string("a.jpg\r\nb.j\0pg\r\n", 15), "", {"a.jpg", "b.j"}},
      {"zeroTail", std::string("a.jpg\r\n\0\0\0", 10), "", {"a.jpg"}},
      {"controlsWithoutNul",
       "evil\x1B[31mRED.jpg\r\nbell\a.jpg\r\n",
       "",
       {"evil\x1B[31mRED.jpg", "bell\a.jpg"}},
  };
  for (const auto& c : cases) {
    const std::string path = dir / (std::string(c.name) + ".IL2");
    WriteWholeFile(path, c.bytes);
    CellPicList list;
    list.Assign({"kept.jpg"});
    const Status status = ReadImageListFile(path, list);
    if (c.refusal.empty()) {
      ASSERT_TRUE(status.ok()) << c.name << ": " << status.message();
      EXPECT_EQ(list.Paths(), c.read) << c.name;
      continue;
    }
    EXPECT_EQ(status.message(),
              "\"" + path + "\" is not an image list: it holds binary data (" + c.refusal + ").")
        << c.name;
    EXPECT_EQ(list.Paths(), Lines{"kept.jpg"}) << c.name;
  }
}

TEST(ImageListFile, RefusesAnEntryThatWouldReadBackAsTwoAndKeepsTheOldFile) {
  TempDir dir;
  const std::string path = (dir.path() / "list.IL2").string();
  WriteWholeFile(path, "old\r\n");
  CellPicList list;
  list.Assign({"fine.jpg", "broken\nname.jpg"});
  const Status status = WriteImageListFile(path, list);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("2"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(path), "old\r\n");
}

class DefaultList : public ::testing::Test {
protected:
  void SetUp() override {
    images_ = dir_.path() / "images";
    listFile_ = dir_.path() / "DefaultImgList.IL2";
  }
  void MakeImages() {
    fs::create_directories(images_ / "sub.jpg");
    for (const char* name : {"b.JPG", "A.bmp", "c.txt", "d.jpeg", ".hidden.jpg", "C.jpg"})
      WriteWholeFile(images_ / name, "x");
    WriteWholeFile(images_ / "sub.jpg" / "inner.jpg", "x");
  }
  TempDir dir_;
  fs::path images_;
  fs::path listFile_;
};

TEST_F(DefaultList, StartUpWithoutAListRebuildsItFromTheImagesFolderInNameOrder) {
  MakeImages();
  CellPicList list;
  ASSERT_TRUE(LoadDefaultImageList(list, dir_.str()).ok());
  const std::string folder = images_.string() + "/";
  const Lines expected = {folder + "A.bmp", folder + "b.JPG", folder + "C.jpg"};
  EXPECT_EQ(list.Paths(), expected);
  EXPECT_EQ(ReadWholeFile(listFile_), expected[0] + "\r\n" + expected[1] + "\r\n" + expected[2] + "\r\n");
}

TEST_F(DefaultList, StartUpReadsAnExistingListAndLeavesTheFolderAlone) {
  MakeImages();
  WriteWholeFile(listFile_, "/somewhere/x.jpg\n/somewhere/y.bmp");
  CellPicList list;
  ASSERT_TRUE(LoadDefaultImageList(list, dir_.str()).ok());
  EXPECT_EQ(list.Paths(), (Lines{"/somewhere/x.jpg", "/somewhere/y.bmp"}));
  EXPECT_EQ(ReadWholeFile(listFile_), "/somewhere/x.jpg\n/somewhere/y.bmp");
}

TEST_F(DefaultList, RestoreWithoutImagesFolderEmptiesTheListAndWritesAnEmptyFile) {
  WriteWholeFile(listFile_, "/old/entry.jpg\r\n");
  CellPicList list;
  list.Append("/old/entry.jpg");
  ASSERT_TRUE(RestoreDefaultImageList(list, dir_.str()).ok());
  EXPECT_TRUE(list.Empty());
  ASSERT_TRUE(fs::exists(listFile_));
  EXPECT_EQ(fs::file_size(listFile_), 0u);
}

}  // namespace
}  // namespace velmora
