// velmora-cli web into a folder the user also keeps files in: refused with
// the way to go ahead, and with --replace made beside the user's files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "output/WebExportFolder.h"
#include "support/CliProjectTest.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;
using testing::WriteWholeFile;

class WebCli : public testing::CliProjectTest {};

TEST_F(WebCli, AFolderWithTheUsersFilesNeedsReplaceAndKeepsThem) {
  MakeProject();
  const std::string web = P("web");
  const std::string base = "web --quiet " + P("m.vm6") + " --out " + web;
  Run r = Cmd(base + " --title First");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_TRUE(fs::is_regular_file(fs::path(web) / kWebManifestName));
  // Its own files only: a new export goes ahead without asking.
  r = Cmd(base + " --title Second");
  ASSERT_EQ(r.status, 0) << r.err;

  WriteWholeFile(fs::path(web) / "notes.txt", "my notes");
  fs::create_directories(fs::path(web) / "photos");
  WriteWholeFile(fs::path(web) / "photos" / "beach.jpg", "a photo");
  r = Cmd(base + " --title Third");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("notes.txt, photos/"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Give --replace"), std::string::npos) << r.err;
  EXPECT_NE(ReadWholeFile(fs::path(web) / "mosaic-cells.js").find("\"Second\""), std::string::npos);

  r = Cmd(base + " --title Third --replace");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(ReadWholeFile(fs::path(web) / "mosaic-cells.js").find("\"Third\""), std::string::npos);
  EXPECT_EQ(ReadWholeFile(fs::path(web) / "notes.txt"), "my notes");
  EXPECT_EQ(ReadWholeFile(fs::path(web) / "photos" / "beach.jpg"), "a photo");

  // A file of the user's where the export writes is refused, --replace or not.
  fs::remove_all(web);
  fs::create_directories(web);
  WriteWholeFile(fs::path(web) / "index.html", "my page");
  r = Cmd(base + " --replace");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("index.html"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("--replace"), std::string::npos) << r.err;
  EXPECT_EQ(ReadWholeFile(fs::path(web) / "index.html"), "my page");
}

}  // namespace
}  // namespace velmora
