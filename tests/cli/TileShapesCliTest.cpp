// Shaped tiles from the command line: `create` with a shape saves it with
// the project and `render` reopens the very picture, in every layout, with
// a named shape or a mask picture of the user's; a bad shape is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/CliProjectTest.h"

namespace velmora {
namespace {

class TileShapesCli : public testing::CliProjectTest {};

TEST_F(TileShapesCli, ProjectReopensTheShapedPicture) {
  TBitmap32 mask(30, 30);
  mask.Fill(Color32(0, 0, 0));
  mask.FillRect(TRect{5, 5, 25, 25}, Color32(255, 255, 255));
  ASSERT_TRUE(WriteBmpFile(mask, P("mask.bmp")).ok());
  const std::vector<std::string> shapes = {
      "--stitch loom --shape circle --gap-fill main", "--stitch peyote --shape hexagon --gap-color 336699",
      "--stitch brick --shape hexagon --gap-fill main", "--stitch brick --shape " + P("mask.bmp"),
      "--stitch loom --shape heart --sizes 1,2 --calm 50"};
  for (const std::string& shape : shapes) {
    MakeProject("--cells 10x8 --cell-size 12x10 " + shape);
    const Run r = Cmd("render --quiet " + P("m.vm6") + " --out " + P("r.bmp"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testing::ReadWholeFile(P("m.bmp")), testing::ReadWholeFile(P("r.bmp"))) << shape;
  }
  // The mask picture is kept inside the project: gone, the project still reopens.
  MakeProject("--cells 10x8 --cell-size 12x10 --shape " + P("mask.bmp"));
  std::filesystem::remove(P("mask.bmp"));
  const Run r = Cmd("render --quiet " + P("m.vm6") + " --out " + P("r.bmp"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testing::ReadWholeFile(P("r.bmp")), testing::ReadWholeFile(P("m.bmp")));

  const Run bad = Cmd("create --quiet --main " + P("main.bmp") + " --library " + P("lib") + " --out " +
                      P("x.bmp") + " --shape " + P("nothing.png"));
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.err.find("nothing.png"), std::string::npos) << bad.err;
  const Run fill = Cmd("create --quiet --main " + P("main.bmp") + " --library " + P("lib") + " --out " +
                       P("x.bmp") + " --shape circle --gap-fill blur");
  EXPECT_NE(fill.status, 0);
  EXPECT_NE(fill.err.find("gap-fill"), std::string::npos) << fill.err;
}

}  // namespace
}  // namespace velmora
