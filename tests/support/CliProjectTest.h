// A fixture for the commands that work on a saved project: velmora-cli run
// in a scratch folder (its own cache there too), and a small project made by
// `create` from a library of flat-coloured pictures.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "imaging/Bitmap32.h"
#include "imaging/formats/BmpCodec.h"
#include "support/ScratchFolder.h"

namespace velmora::testing {

class CliProjectTest : public ::testing::Test {
protected:
  struct Run {
    int status = -1;
    std::string err;
  };
  Run Cmd(const std::string& args) {
    const std::string err = scratch_ / "stderr.txt";
    const std::string line = "XDG_CACHE_HOME=" + (scratch_ / "cache") + " " + std::string(VELMORA_CLI) + " " +
                             args + " >/dev/null 2>" + err;
    const int raw = std::system(line.c_str());
    return Run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadWholeFile(err)};
  }
  std::string P(const std::string& name) const { return scratch_ / name; }

  // m.vm6: a mosaic of six flat colours, 120 x 80 pixels unless `grid` says
  // otherwise.
  void MakeProject(const std::string& grid = "--cells 10x8 --cell-size 12x10") {
    std::filesystem::create_directories(P("lib"));
    for (int i = 0; i < 6; ++i) {
      TBitmap32 b(20, 16);
      b.Fill(Color32(uint8_t(i * 40), uint8_t(255 - i * 40), 90));
      ASSERT_TRUE(WriteBmpFile(b, P("lib/p" + std::to_string(i) + ".bmp")).ok());
    }
    TBitmap32 main(90, 60);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 90; ++x) main.Pixel(x, y) = Color32(uint8_t(x * 2), uint8_t(y * 4), 128);
    ASSERT_TRUE(WriteBmpFile(main, P("main.bmp")).ok());
    const Run r = Cmd("create --quiet --main " + P("main.bmp") + " --library " + P("lib") + " " + grid +
                      " --seed 3 --out " + P("m.bmp") + " --project " + P("m.vm6"));
    ASSERT_EQ(r.status, 0) << r.err;
  }

  ScratchFolder scratch_;
};

}  // namespace velmora::testing
