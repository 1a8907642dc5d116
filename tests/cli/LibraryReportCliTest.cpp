// velmora-cli library-report as a user runs it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "imaging/Bitmap32.h"
#include "imaging/formats/BmpCodec.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::ReadWholeFile;
using testing::ScratchFolder;
using testing::WriteWholeFile;

struct ReportRun {
  int status = -1;
  std::string out, err;
};

ReportRun LibraryReport(const ScratchFolder& dir, const std::string& args) {
  const std::string line = "XDG_CACHE_HOME=" + (dir / "cache") + " " + VELMORA_CLI + " library-report " +
                           args + " >" + (dir / "out.txt") + " 2>" + (dir / "err.txt");
  const int raw = std::system(line.c_str());
  return ReportRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadWholeFile(dir / "out.txt"),
                   ReadWholeFile(dir / "err.txt")};
}

TEST(LibraryReportCli, PrintsAndSavesTheReportNamingUnreadablePhotos) {
  ScratchFolder dir;
  std::filesystem::create_directories(dir / "lib");
  TBitmap32 main(64, 32);
  main.Fill(Color32(200, 140, 80));
  main.FillRect(TRect{0, 0, 32, 32}, Color32(20, 40, 110));
  ASSERT_TRUE(WriteBmpFile(main, dir / "main.bmp").ok());
  TBitmap32 sand(20, 20);
  sand.Fill(Color32(200, 140, 80));
  ASSERT_TRUE(WriteBmpFile(sand, dir / "lib/a.bmp").ok());
  ASSERT_TRUE(WriteBmpFile(sand, dir / "lib/b.bmp").ok());
  WriteWholeFile(dir / "lib/c.jpg", "not a picture");

  const ReportRun r =
      LibraryReport(dir, "--main " + (dir / "main.bmp") + " --library " + (dir / "lib") +
                             " --cells 16x8 --text " + (dir / "r.txt") + " --png=" + (dir / "r.png"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("64 cells are dark blue; your nearest photo is far off"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Near-duplicate photos: 1 group;"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("c.jpg"), std::string::npos) << r.out;
  const std::string text = ReadWholeFile(dir / "r.txt");
  EXPECT_NE(text.find("dark blue"), std::string::npos);
  EXPECT_NE(text.find("\r\n"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(dir / "r.png").substr(1, 3), "PNG");
}

TEST(LibraryReportCli, RefusesMissingFlagsByName) {
  ScratchFolder dir;
  const struct {
    std::string args;
    const char* message;
  } cases[] = {
      {"--main m.bmp --library lib", "--cells"},
      {"--main m.bmp --cells 8x8", "--library"},
      {"--main m.bmp --library lib --cells 8x8 --text", "--text needs a file name"},
      {"--main m.bmp --library lib --cells 8x8 --out x.jpg", "--text and --png"},
      {"--main " + (dir / "none.bmp") + " --library " + dir.str() + " --cells 8x8", "none.bmp"},
  };
  for (const auto& c : cases) {
    const ReportRun r = LibraryReport(dir, c.args);
    EXPECT_NE(r.status, 0) << c.args;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
  }
}

}  // namespace
}  // namespace velmora
