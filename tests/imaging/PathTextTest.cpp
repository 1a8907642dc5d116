// Paths in messages: control characters shown escaped, long paths cut to
// their start and end, the rest of the bytes kept.
#include <gtest/gtest.h>

#include <string>

#include "imaging/PathText.h"
#include "imaging/PictureReader.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

TEST(PathText, ControlCharactersAreEscapedAndValidUtf8Kept) {
  const struct {
    const char* name;
    std::string text;
    std::string shown;
  } cases[] = {
      {"Plain", "/photos/a b.jpg", "/photos/a b.jpg"},
      {"Escape", "evil\x1B[31mRED.jpg", "evil\\x1B[31mRED.jpg"},
      {"Bell", "a\x07.jpg", "a\\x07.jpg"},
      {"CarriageReturn", "a\r.jpg", "a\\r.jpg"},
      {"LineFeed", "a\n.jpg", "a\\n.jpg"},
      {"Tab", "a\t.jpg", "a\\t.jpg"},
      {"Nul", std::string("a\0b", 3), "a\\x00b"},
      {"Delete", "a\x7F.jpg", "a\\x7F.jpg"},
      // 0x9B alone is the 8-bit form of ESC [; encoded as U+009B it is the
      // same control for a UTF-8 terminal.
      {"C1Byte", "a\x9B" "31m.jpg", "a\\x9B31m.jpg"},
      {"C1Encoded", "a\xC2\x9B" "31m.jpg", "a\\xC2\\x9B31m.jpg"},
      {"Utf8Kept", "/fotos/\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7.jpg",
       "/fotos/\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7.jpg"},
      {"NoBreakSpaceKept", "a\xC2\xA0" "b", "a\xC2\xA0" "b"},
      {"Latin1Byte", "/p/\xE9t\xE9.jpg", "/p/\\xE9t\\xE9.jpg"},
      {"Overlong", "\xC0\xAF", "\\xC0\\xAF"},
      {"Surrogate", "\xED\xA0\x80", "\\xED\\xA0\\x80"},
      {"Truncated", "a\xE2\x82", "a\\xE2\\x82"},
      {"BackslashKept", "C:\\pics\\a.jpg", "C:\\pics\\a.jpg"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EscapeControls(c.text), c.shown) << c.name;
    EXPECT_EQ(EchoPath(c.text), c.shown) << c.name;
  }
}

// A long path keeps its start and its end, cut on character boundaries,
// and is escaped in both.
TEST(PathText, LongPathsKeepStartAndEndEscaped) {
  const std::string start = "/lib/\x1B[2J";
  const std::string path = start + std::string(1000, 'a') + "\xC3\xA9" + std::string(111, 'b') + "\n.jpg";
  const std::string shown = EchoPath(path);
  EXPECT_LT(shown.size(), 300u);
  EXPECT_EQ(shown.rfind("/lib/\\x1B[2Jaaa", 0), 0u) << shown;
  EXPECT_NE(shown.find(" bytes left out) ... "), std::string::npos) << shown;
  EXPECT_EQ(shown.substr(shown.size() - 9), "bbb\\n.jpg") << shown;
  EXPECT_EQ(shown.find('\x1B'), std::string::npos);
  // The tail's cut fell on the second byte of the "é": the whole character goes.
  EXPECT_EQ(shown.find("\\xA9"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("\xC3"), std::string::npos) << shown;
}

// The reader's messages name a hostile file escaped, whether the file is
// damaged, missing or refused for its extension.
TEST(PathText, ReaderMessagesNameTheFileEscaped) {
  testing::ScratchFolder dir;
  testing::WriteWholeFile(dir / "evil\x1B[31mRED.jpg", "\xFF\xD8\xFF not really");
  const struct {
    std::string name;
    std::string shown;
  } cases[] = {
      {"evil\x1B[31mRED.jpg", "evil\\x1B[31mRED.jpg: "},
      {"gone\a.png", "gone\\x07.png\". No such file"},
      {"bell\r.xyz", "bell\\r.xyz: Unknown picture file extension"},
  };
  for (const auto& c : cases) {
    const std::string message = ReadPicture(dir / c.name).message();
    EXPECT_NE(message.find(dir.str() + "/" + c.shown), std::string::npos) << EscapeControls(message);
    EXPECT_EQ(EscapeControls(message), message);
  }
}

}  // namespace
}  // namespace velmora
