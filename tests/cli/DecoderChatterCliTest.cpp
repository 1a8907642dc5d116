// A damaged photo read through a library that has its own say (libjxl,
// LibRaw): the user sees one message, the program's, naming the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/ChildRun.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

TEST(DecoderChatterCli, DamagedPhotoGivesOneLineNamingTheFile) {
  testing::ScratchFolder dir;
  const struct {
    const char* fixture;
    const char* name;
    bool flipBytes;  // else cut to half its length
  } cases[] = {
      {"photo/orientation-6.jxl", "cut.jxl", false},
      {"photo/orientation-6.jxl", "scrambled.jxl", true},
      {"photo/tiny.dng", "cut.dng", false},
  };
  for (const auto& c : cases) {
    std::string bytes = testing::ReadWholeFile(std::string(VELMORA_TEST_DATA) + "/" + c.fixture);
    ASSERT_GT(bytes.size(), 40u) << c.fixture;
    if (c.flipBytes) {
      // The signature stays, so the library is asked; the rest is noise.
      for (size_t i = 20; i < bytes.size(); i += 3) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    } else {
      bytes.resize(bytes.size() / 2);
    }
    const std::string path = dir / c.name;
    testing::WriteWholeFile(path, bytes);
    const testing::ChildRun run = testing::RunChild({VELMORA_CLI, "info", path}, dir);
    EXPECT_NE(run.status, 0) << c.name;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.name << ":\n" << run.err;
    EXPECT_EQ(run.err.rfind("velmora-cli: " + path + ": Cannot load image.", 0), 0u) << run.err;
  }
}

}  // namespace
}  // namespace velmora
