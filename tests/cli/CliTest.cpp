// velmora-cli driven as a user runs it: exit status, messages on stderr and
// the files it writes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/Bitmap32.h"
#include "imaging/PictureReader.h"
#include "imaging/formats/BmpCodec.h"
#include "project/DefaultOptionsFile.h"
#include "project/MatchingBlock.h"
#include "project/ProjectFile.h"
#include "support/OverLimitProject.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

using velmora::testing::ReadWholeFile;

class Cli : public ::testing::Test {
protected:
  // `args` run in the folder `cwd` when given, else in the test's own.
  CliRun Cmd(const std::string& args, const fs::path& cwd = {}) {
    const fs::path out = dir_ / "stdout.txt", err = dir_ / "stderr.txt";
    // The program's summary cache goes to the test's folder, not the user's.
    const std::string line = (cwd.empty() ? "" : "cd " + cwd.string() + " && ") +
                             "XDG_CACHE_HOME=" + (dir_ / "cache").string() + " " + std::string(VELMORA_CLI) +
                             " " + args + " >" + out.string() + " 2>" + err.string();
    CliRun r;
    const int raw = std::system(line.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadWholeFile(out);
    r.err = ReadWholeFile(err);
    return r;
  }
  std::string P(const std::string& name) const { return (dir_ / name).string(); }

  // A small library of flat-coloured bitmaps, and a main picture of stripes.
  void MakePictures() {
    fs::create_directories(dir_ / "lib");
    for (int i = 0; i < 12; ++i) {
      TBitmap32 b(20 + i, 16);
      b.Fill(Color32(uint8_t(i * 20), uint8_t(255 - i * 20), uint8_t(i * 7)));
      ASSERT_TRUE(WriteBmpFile(b, P("lib/p" + std::to_string(10 + i) + ".bmp")).ok());
    }
    TBitmap32 main(90, 60);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 90; ++x) main.Pixel(x, y) = Color32(uint8_t(x * 2), uint8_t(y * 4), 128);
    ASSERT_TRUE(WriteBmpFile(main, P("main.bmp")).ok());
  }

  velmora::testing::ScratchFolder scratch_;
  const fs::path& dir_ = scratch_.path();
};

TEST_F(Cli, DecodeWritesEveryOutputKindAndInfoPrintsTwoLines) {
  TBitmap32 b(3, 2);
  b.Fill(Color32(10, 20, 30));
  b.Pixel(2, 1) = Color32(200, 100, 50, 7);
  ASSERT_TRUE(WriteBmpFile(b, P("in.bmp")).ok());

  ASSERT_EQ(Cmd("decode " + P("in.bmp") + " " + P("out.ppm")).status, 0);
  const std::string ppm = ReadWholeFile(P("out.ppm"));
  EXPECT_EQ(ppm.substr(0, 11), "P6\n3 2\n255\n");
  EXPECT_EQ(ppm.size(), 11u + 18u);
  EXPECT_EQ(ppm.substr(ppm.size() - 3), std::string("\xC8\x64\x32", 3));

  ASSERT_EQ(Cmd("decode " + P("in.bmp") + " " + P("out.pam")).status, 0);
  const std::string pam = ReadWholeFile(P("out.pam"));
  EXPECT_NE(pam.find("TUPLTYPE RGB_ALPHA"), std::string::npos);
  EXPECT_EQ(pam.substr(pam.size() - 4), std::string("\xC8\x64\x32\x07", 4)) << "a 32-bit BMP keeps its alpha";

  ASSERT_EQ(Cmd("decode " + P("in.bmp") + " " + P("out.bmp")).status, 0);
  auto back = ReadPicture(P("out.bmp"));
  ASSERT_TRUE(back.ok()) << back.message();
  EXPECT_EQ(back->bitmap.Pixel(2, 1), b.Pixel(2, 1));

  const CliRun info = Cmd("info " + P("in.bmp"));
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(info.out.substr(0, 9), "size 3 2\n");
  // Twenty bytes after "signature", one line.
  const std::string sig = info.out.substr(9);
  ASSERT_EQ(sig.substr(0, 10), "signature ");
  EXPECT_EQ(std::count(sig.begin(), sig.end(), ' '), 20);
  EXPECT_EQ(sig.back(), '\n');
}

TEST_F(Cli, FailuresExitNonZeroWithTheReadersMessage) {
  std::ofstream(P("picture.gif")) << "GIF89a";
  CliRun r = Cmd("info " + P("picture.gif"));
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("Unknown picture file extension (.gif)"), std::string::npos) << r.err;

  std::ofstream(P("fake.bmp")) << "\xFF\xD8\xFF\xE0 not a bitmap";
  r = Cmd("decode " + P("fake.bmp") + " " + P("x.ppm"));
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("Bitmap image is not valid"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(P("x.ppm")));

  r = Cmd("info " + P("missing.png"));
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("missing.png"), std::string::npos) << r.err;

  EXPECT_NE(Cmd("nosuchcommand").status, 0);
  EXPECT_EQ(Cmd("create --help").status, 0);
}

TEST_F(Cli, CreateRefusesBadFlagsNamingThemAndTheirRange) {
  MakePictures();
  const std::string base =
      "create --main " + P("main.bmp") + " --library " + P("lib") + " --out " + P("m.jpg");
  struct Case {
    const char* flag;
    const char* expect;
  } cases[] = {
      {"--randomize 81", "--randomize must be a whole number from 1 to 80"},
      {"--cells 7x48", "--cells must be WxH with both numbers from 8 to 640"},
      {"--alpha-main 256", "--alpha-main must be a whole number from 0 to 255"},
      {"--filter bicubic",
       "--filter must be one of nearest, draft, linear, cosine, spline, lanczos, mitchell"},
      {"--border-color red", "--border-color must be six hex digits"},
      {"--stitch zigzag", "--stitch must be one of loom, peyote, brick"},
      {"--jpeg-quality 24", "--jpeg-quality must be a whole number from 25 to 100"},
  };
  for (const Case& c : cases) {
    const CliRun r = Cmd(base + " " + c.flag);
    EXPECT_NE(r.status, 0) << c.flag;
    EXPECT_NE(r.err.find(c.expect), std::string::npos) << c.flag << ": " << r.err;
  }
  EXPECT_FALSE(fs::exists(P("m.jpg")));

  fs::create_directories(dir_ / "empty");
  const CliRun empty =
      Cmd("create --main " + P("main.bmp") + " --library " + P("empty") + " --out " + P("m.jpg"));
  EXPECT_NE(empty.status, 0);
  EXPECT_NE(empty.err.find("You do not have enough images in your Image Lib, please load more"),
            std::string::npos)
      << empty.err;
}

// The matching choices: a seed still gives one mosaic whatever the thread
// count, the project carries the choices (and nothing when both are off),
// and render gives the same picture.
TEST_F(Cli, MatchingChoicesAreReproducibleAndSavedWithTheProject) {
  MakePictures();
  struct Case {
    const char* flags;
    bool detail, fair;
    const char* stitch;
  };
  const Case cases[] = {{"", false, false, "loom"},
                        {"--detail", true, false, "peyote"},
                        {"--fair-use-all", false, true, "loom"},
                        {"--detail --fair-use-all", true, true, "brick"}};
  for (const Case& c : cases) {
    const std::string common = "create --quiet --main " + P("main.bmp") + " --library " + P("lib") +
                               " --cells 10x8 --cell-size 12x10 --seed 5 --use-all --radius 1 --no-advice --stitch " +
                               c.stitch + " " + c.flags;
    const CliRun a = Cmd(common + " --out " + P("a.bmp") + " --project " + P("a.vm6"));
    ASSERT_EQ(a.status, 0) << a.err;
    const CliRun b = Cmd(common + " --threads 1 --no-cache --out " + P("b.bmp"));
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(ReadWholeFile(P("a.bmp")), ReadWholeFile(P("b.bmp"))) << c.flags;

    velmora::ProjectFileContent content;
    ASSERT_TRUE(velmora::ReadProjectFile(P("a.vm6"), content).ok());
    EXPECT_EQ(content.Extensions.Find(velmora::kMatchingTag) != nullptr, c.detail || c.fair) << c.flags;
    EXPECT_EQ(velmora::MatchingFromExtensions(content.Extensions, P("a.vm6"), nullptr),
              (velmora::MatchOptions{c.detail, c.fair}))
        << c.flags;

    const CliRun r = Cmd("render --quiet " + P("a.vm6") + " --out " + P("r.bmp"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadWholeFile(P("a.bmp")), ReadWholeFile(P("r.bmp"))) << c.flags;
  }
}

TEST_F(Cli, CreateIsReproducibleAndRenderGivesTheSameBytes) {
  MakePictures();
  for (const char* stitch : {"loom", "peyote", "brick"}) {
    const std::string common = "create --quiet --main " + P("main.bmp") + " --library " + P("lib") +
                               " --cells 10x8 --cell-size 12x10 --seed 42 --stitch " + stitch;
    const CliRun a = Cmd(common + " --out " + P("a.bmp") + " --project " + P("a.vm6"));
    ASSERT_EQ(a.status, 0) << a.err;
    const CliRun b = Cmd(common + " --threads 1 --out " + P("b.bmp"));
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(ReadWholeFile(P("a.bmp")), ReadWholeFile(P("b.bmp"))) << stitch << ": same seed, same picture";

    // The render takes every picture from the renditions the create kept
    // (it makes none, so it writes no pack), or with --no-cache decodes them.
    const auto packs = [&] {
      int n = 0;
      std::error_code ec;
      for (const auto& f : std::filesystem::directory_iterator(P("cache") + "/velmora/renditions", ec))
        n += f.path().extension() == ".vrp" ? 1 : 0;
      return n;
    };
    const int packsBefore = packs();
    EXPECT_GT(packsBefore, 0);
    const CliRun r = Cmd("render --quiet " + P("a.vm6") + " --out " + P("r.bmp"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadWholeFile(P("a.bmp")), ReadWholeFile(P("r.bmp")))
        << stitch << ": render of the saved project";
    EXPECT_EQ(packs(), packsBefore) << stitch;
    const CliRun d = Cmd("render --quiet --no-cache " + P("a.vm6") + " --out " + P("d.bmp"));
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(ReadWholeFile(P("a.bmp")), ReadWholeFile(P("d.bmp")))
        << stitch << ": render decoding every picture";

    auto pic = ReadPicture(P("a.bmp"));
    ASSERT_TRUE(pic.ok());
    EXPECT_EQ(pic->bitmap.Width(), 120);
    EXPECT_EQ(pic->bitmap.Height(), 80);
  }
  const CliRun self =
      Cmd("create --quiet --mode self --main " + P("main.bmp") + " --library " + P("empty-or-missing") +
          " --cells 8x8 --cell-size 8x8 --seed 1 --out " + P("self.jpg"));
  // A self mosaic needs no library, but a library folder that does not exist
  // is still an error the user should see.
  EXPECT_NE(self.status, 0);
  fs::create_directories(dir_ / "none");
  const CliRun self2 = Cmd("create --quiet --mode self --main " + P("main.bmp") + " --library " + P("none") +
                           " --cells 8x8 --cell-size 8x8 --seed 1 --out " + P("self.jpg"));
  EXPECT_EQ(self2.status, 0) << self2.err;
  auto jpg = ReadPicture(P("self.jpg"));
  ASSERT_TRUE(jpg.ok()) << jpg.message();
  EXPECT_EQ(jpg->bitmap.Width(), 64);
}

// A project made with the paths typed relative to one folder opens from any
// other: what it stores is absolute.
TEST_F(Cli, RelativePathsAreStoredSoTheProjectRendersFromAnyFolder) {
  MakePictures();
  const CliRun a =
      Cmd("create --quiet --main main.bmp --library lib --cells 8x8 --cell-size 8x8 --seed 3"
          " --out a.bmp --project a.vm6",
          dir_);
  ASSERT_EQ(a.status, 0) << a.err;
  const CliRun r = Cmd("render --quiet " + P("a.vm6") + " --out " + P("r.bmp"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadWholeFile(P("a.bmp")), ReadWholeFile(P("r.bmp")));
}

// What the sources of a mosaic cannot hold, or the disk cannot take, is
// refused before any work, with the figures that tell why.
TEST_F(Cli, CreateRefusesLongListsOptionsOutOfRangeAndPicturesLargerThanTheDisk) {
  MakePictures();
  std::string lines;
  for (int i = 0; i < 65536; ++i) lines += P("lib/p10.bmp") + "\r\n";
  std::ofstream(P("long.IL2"), std::ios::binary) << lines;
  tmosaicproject border = DefaultProject(), quality = DefaultProject();
  border.BorderSize = 2147483647;
  quality.JpegQuality = 0;
  ASSERT_TRUE(WriteOptionsFile(P("border.opt"), border).ok());
  ASSERT_TRUE(WriteOptionsFile(P("quality.opt"), quality).ok());
  const std::string main = "create --quiet --main " + P("main.bmp");
  const std::string lib = " --library " + P("lib");
  struct Case {
    std::string args;
    std::vector<std::string> expect;
  } cases[] = {
      {main + " --library " + P("long.IL2") + " --out " + P("m.jpg"),
       {"The image list file " + P("long.IL2") +
        " holds more than 65535 pictures; at most 65535 can be used"}},
      {main + lib + " --options " + P("border.opt") + " --out " + P("m.jpg"),
       {"border.opt\" cannot be used: the option BorderSize is 2147483647, outside its range 0..20"}},
      {main + lib + " --options " + P("quality.opt") + " --out " + P("m.jpg"),
       {"the option JpegQuality is 0, outside its range 25..100"}},
      // 409,600 pixels a side: about 503 GB before compression.
      {main + lib + " --cells 640x640 --cell-size 640x640 --out " + P("huge.tif"),
       {"Not enough disk space for \"" + P("huge.tif") + "\"", "its uncompressed size of 503,316,", "bytes (",
        "GiB) free"}},
  };
  for (const Case& c : cases) {
    const CliRun r = Cmd(c.args);
    EXPECT_NE(r.status, 0) << c.args;
    for (const std::string& e : c.expect)
      EXPECT_NE(r.err.find(e), std::string::npos) << c.args << ": " << r.err;
  }
  EXPECT_FALSE(fs::exists(P("m.jpg")));
  EXPECT_FALSE(fs::exists(P("huge.tif")));
  for (const auto& entry : fs::directory_iterator(dir_))
    EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
}

TEST_F(Cli, RenderWritesAProjectPastThePictureLimitInBands) {
  testing::WriteOverLimitProject(P("poster.vm6"));
  const CliRun r = Cmd("render --quiet " + P("poster.vm6") + " --out " + P("poster.tif"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Mosaic of 16384 x 16512 pixels saved to"), std::string::npos) << r.err;
  TIFF* tif = TIFFOpen(P("poster.tif").c_str(), "r");
  ASSERT_NE(tif, nullptr);
  uint32_t width = 0, height = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  EXPECT_EQ(width, uint32_t(testing::kOverLimitWidth));
  EXPECT_EQ(height, uint32_t(testing::kOverLimitHeight));
  // The top row of cells is drawn; below it the border colour (blue) shows.
  std::vector<uint8_t> row(size_t(TIFFScanlineSize64(tif)));
  ASSERT_EQ(TIFFReadScanline(tif, row.data(), 64, 0), 1);
  EXPECT_NE(row[3 * 64 + 2], 255);
  // The last strip, read whole: deflate strips are read from their start.
  const tstrip_t last = TIFFComputeStrip(tif, height - 1, 0);
  std::vector<uint8_t> strip(size_t(TIFFStripSize64(tif)));
  const tmsize_t got = TIFFReadEncodedStrip(tif, last, strip.data(), tmsize_t(strip.size()));
  ASSERT_GT(got, 0);
  const size_t lastRow = size_t(got) - row.size();
  EXPECT_EQ((std::vector<uint8_t>(strip.begin() + lastRow + 300, strip.begin() + lastRow + 303)),
            (std::vector<uint8_t>{0, 0, 255}));
  TIFFClose(tif);
}

// Picture and project are replaced together or not at all; a read-only file
// is not replaced, and a linked --out stays a link.
TEST_F(Cli, CreateReplacesPictureAndProjectTogether) {
  MakePictures();
  const std::string common = "create --quiet --main " + P("main.bmp") + " --library " + P("lib") +
                             " --cells 10x8 --cell-size 12x10 --no-advice --out " + P("out.bmp") + " --project " +
                             P("out.vm6") + " --seed ";
  ASSERT_EQ(Cmd(common + "1").status, 0);
  const std::string picture = ReadWholeFile(P("out.bmp")), project = ReadWholeFile(P("out.vm6"));

  ASSERT_EQ(::chmod(P("out.vm6").c_str(), 0444), 0);
  const CliRun refused = Cmd(common + "2");
  EXPECT_NE(refused.status, 0);
  EXPECT_EQ(refused.err, "velmora-cli: \"" + P("out.vm6") + "\" is read-only; it was not replaced.\n");
  EXPECT_EQ(ReadWholeFile(P("out.bmp")), picture) << "the picture was replaced without its project";
  EXPECT_EQ(ReadWholeFile(P("out.vm6")), project);

  // A project that cannot be saved once the picture is written: the new
  // picture is not kept either.
  const CliRun unsaved = Cmd("create --quiet --main " + P("main.bmp") + " --library " + P("lib") +
                             " --cells 10x8 --cell-size 12x10 --no-advice --out " + P("out.bmp") + " --project " +
                             P("missing/out.vm6") + " --seed 2");
  EXPECT_NE(unsaved.status, 0);
  EXPECT_EQ(unsaved.err,
            "velmora-cli: Cannot create file \"" + P("missing/out.vm6") + "\". No such file or directory\n");
  EXPECT_EQ(ReadWholeFile(P("out.bmp")), picture) << "the picture was replaced without its project";

  ASSERT_EQ(::chmod(P("out.vm6").c_str(), 0644), 0);
  fs::rename(P("out.bmp"), P("real.bmp"));
  fs::create_symlink("real.bmp", P("out.bmp"));
  ASSERT_EQ(Cmd(common + "2").status, 0);
  EXPECT_TRUE(fs::is_symlink(P("out.bmp")));
  EXPECT_NE(ReadWholeFile(P("real.bmp")), picture);
  EXPECT_NE(ReadWholeFile(P("out.vm6")), project);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_))
    if (e.path().filename().string().find(".tmp-") != std::string::npos) names.push_back(e.path().filename());
  EXPECT_TRUE(names.empty()) << names.front();
}

// The caches change no pixel: a mosaic made cold, warm and without them is the
// same file; `cache` shows what they hold and --clear empties both.
TEST_F(Cli, CachesShownClearedAndWithoutEffectOnThePicture) {
  MakePictures();
  const std::string common = "create --quiet --main " + P("main.bmp") + " --library " + P("lib") +
                             " --cells 10x8 --cell-size 12x10 --seed 2 --out ";
  ASSERT_EQ(Cmd(common + P("cold.bmp")).status, 0);
  const CliRun shown = Cmd("cache");
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("library-summaries.cache: 12 summaries"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("renditions: 12 renditions in 1 pack"), std::string::npos) << shown.out;
  ASSERT_EQ(Cmd(common + P("warm.bmp")).status, 0);
  ASSERT_EQ(Cmd(common + P("none.bmp") + " --no-cache").status, 0);
  ASSERT_EQ(Cmd(common + P("capped.bmp") + " --rendition-cache-mib 0").status, 0);
  const std::string picture = ReadWholeFile(P("cold.bmp"));
  for (const char* name : {"warm.bmp", "none.bmp", "capped.bmp"})
    EXPECT_EQ(ReadWholeFile(P(name)), picture) << name;
  const CliRun cleared = Cmd("cache --clear");
  ASSERT_EQ(cleared.status, 0) << cleared.err;
  const CliRun empty = Cmd("cache");
  EXPECT_NE(empty.out.find(": 0 summaries"), std::string::npos) << empty.out;
  EXPECT_NE(empty.out.find(": 0 renditions"), std::string::npos) << empty.out;
}

TEST_F(Cli, InterruptStopsTheJobAndSavesNothing) {
  MakePictures();
  // Large enough that the render is still running when the signal comes:
  // the job line of the assignment is written when the render starts.
  const std::string create = std::string(VELMORA_CLI) + " create --main " + P("main.bmp") + " --library " +
                             P("lib") + " --cells 400x400 --cell-size 16x16 --seed 3 --out " + P("big.bmp") +
                             " --project " + P("big.vm6");
  const std::string script = "XDG_CACHE_HOME=" + P("cache") + " " + create + " 2>" + P("err.txt") +
                             " & pid=$!; for i in $(seq 600); do grep -q Mapping " + P("err.txt") +
                             " 2>/dev/null && break; sleep 0.05; done; kill -INT $pid; wait $pid; echo $? >" +
                             P("status.txt");
  ASSERT_EQ(std::system(("bash -c '" + script + "'").c_str()), 0);
  EXPECT_EQ(ReadWholeFile(P("status.txt")), "130\n") << ReadWholeFile(P("err.txt"));
  EXPECT_NE(ReadWholeFile(P("err.txt")).find("Cancelled; nothing was saved"), std::string::npos);
  // Neither the picture, nor its temporary, nor the project.
  for (const auto& entry : fs::directory_iterator(dir_))
    EXPECT_EQ(entry.path().filename().string().rfind("big", 0), std::string::npos) << entry.path();
}

}  // namespace
}  // namespace velmora
