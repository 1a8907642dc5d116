// Make grid (size, crop, the peyote and brick rotations) and Sample cell.
#include <gtest/gtest.h>

#include "support/EngineTestSupport.h"

namespace velmora {
namespace {

// The grid of a main picture of exactly the grid's size, every pixel a
// different colour, checked against `from(x, y)`: the picture pixel that
// grid pixel (x, y) must hold.
template <typename From>
void ExpectGrid(int cols, int rows, int stitch, From from) {
  Engine e;
  testing::SetGrid(e, cols, rows, 8, 8);
  e.Project.StitchMode = stitch;
  TBitmap32 pic(2 * cols, 2 * rows);
  for (int y = 0; y < pic.Height(); ++y)
    for (int x = 0; x < pic.Width(); ++x) pic.Pixel(x, y) = Color32(uint8_t(x * 11), uint8_t(y * 23), 5);
  e.MainBitmap = pic;
  e.MakeGrid();
  ASSERT_EQ(e.GridBitmap.Width(), 2 * cols);
  for (int y = 0; y < pic.Height(); ++y)
    for (int x = 0; x < pic.Width(); ++x) {
      const auto [px, py] = from(x, y);
      const uint8_t* g = e.GridBitmap.PixelAddress(x, y);
      ASSERT_EQ(g[0] | g[1] << 8 | g[2] << 16, static_cast<int>(pic.Pixel(px, py) & 0xFFFFFF))
          << x << "," << y;
    }
}

TEST(MakeGrid, LoomPeyoteAndBrickSamples) {
  ExpectGrid(10, 3, kStitchLoom, [](int x, int y) { return std::pair{x, y}; });
  // Odd cell rows (pixel rows 2, 3) move one pixel right, the last wrapping to the front.
  ExpectGrid(10, 3, kStitchPeyote, [](int x, int y) { return std::pair{y / 2 % 2 ? (x + 19) % 20 : x, y}; });
  // Odd cell columns (pixel columns 2, 3) move one pixel down, the bottom wrapping to the top.
  ExpectGrid(3, 5, kStitchBrick, [](int x, int y) { return std::pair{x, x / 2 % 2 ? (y + 9) % 10 : y}; });
}

TEST(MakeGrid, SizeJobReportAndCrop) {
  Engine e;
  testing::JobRecorder job;
  e.SetListener(&job);
  testing::SetGrid(e, 48, 32, 32, 32);
  // 96 x 64: red, blue, green in bands of 16, 64, 16 columns.
  e.MainBitmap = testing::Uniform(96, 64, Color32(0, 0, 255));
  e.MainBitmap.FillRect(TRect{0, 0, 16, 64}, Color32(255, 0, 0));
  e.MainBitmap.FillRect(TRect{80, 0, 96, 64}, Color32(0, 255, 0));
  e.MakeGrid();
  EXPECT_EQ(e.GridBitmap.Width(), 96);
  EXPECT_EQ(e.GridBitmap.Height(), 64);
  EXPECT_EQ(job.texts, std::vector<std::string>{"Current Job : Mosaic Grid"});
  EXPECT_EQ(job.progress, (std::vector<int>{0, 100}));
  EXPECT_EQ(e.GridBitmap.PixelAddress(0, 0)[2], 255);
  // A square mosaic crops the centre square: blue only, to the edges.
  testing::SetGrid(e, 16, 16, 8, 8);
  e.Project.CropMainImage = true;
  e.MakeGrid();
  for (int x : {0, 15}) {
    const SigColor m = e.SampleCell(x, 5).Mean();
    EXPECT_TRUE(m.Blue >= 250 && m.Red <= 5 && m.Green <= 5) << x;
  }
}

TEST(SampleCell, TruncatedMeanWithTheGreyOfTheMeanColour) {
  Engine e;
  testing::SetGrid(e, 2, 1, 8, 8);
  ASSERT_TRUE(e.GridBitmap.SetSize(4, 2).ok());
  // Cell (1, 0): samples blue, green, red.
  const uint8_t samples[4][3] = {{10, 20, 30}, {11, 21, 31}, {12, 22, 32}, {13, 23, 34}};
  const int at[4][2] = {{2, 0}, {3, 0}, {2, 1}, {3, 1}};
  for (int q = 0; q < 4; ++q)
    std::copy(samples[q], samples[q] + 3, e.GridBitmap.PixelAddress(at[q][0], at[q][1]));
  const ColorSignature s = e.SampleCell(1, 0);
  for (int q = 0; q < 4; ++q)
    EXPECT_EQ(s.Slot[q], (SigColor{samples[q][0], samples[q][1], samples[q][2],
                                   GreyOf(samples[q][2], samples[q][1], samples[q][0])}));
  // The red sum 127 shifted right by two is 31, not the rounded 32.
  EXPECT_EQ(s.Mean(), (SigColor{11, 21, 31, GreyOf(31, 21, 11)}));

  // Two red samples and two black: the grey of the mean (0, 0, 127) is 37,
  // where averaging the quadrant greys (76, 76, 0, 0) would give 38.
  e.GridBitmap.Fill(0, 0, 0);
  e.GridBitmap.PixelAddress(0, 0)[2] = 255;
  e.GridBitmap.PixelAddress(1, 0)[2] = 255;
  EXPECT_EQ(e.SampleCell(0, 0).Mean(), (SigColor{0, 0, 127, 37}));
}

}  // namespace
}  // namespace velmora
