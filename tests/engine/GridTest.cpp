// Make grid (sizes, crop, the peyote and brick rotations) and Sample cell.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"

namespace velmora {
namespace {

using testing::JobRecorder;
using testing::SetGrid;

// A main picture of exactly the grid's size, every pixel a different colour,
// so that the grid is the picture itself before any rotation.
TBitmap32 NumberedPicture(int w, int h) {
  TBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.Pixel(x, y) = Color32(static_cast<uint8_t>(x * 11), static_cast<uint8_t>(y * 23), 5);
  return b;
}

// The picture's pixel (x, y) as the grid stores it: blue, green, red.
void ExpectGridPixel(const Engine& e, int gx, int gy, const TBitmap32& pic, int px, int py) {
  const uint8_t* g = e.GridBitmap.PixelAddress(gx, gy);
  const TColor32 c = pic.Pixel(px, py);
  EXPECT_EQ(g[0], BlueOf(c)) << gx << "," << gy;
  EXPECT_EQ(g[1], GreenOf(c)) << gx << "," << gy;
  EXPECT_EQ(g[2], RedOf(c)) << gx << "," << gy;
}

TEST(MakeGrid, TwoByTwoSamplesPerCellAndJobReport) {
  Engine e;
  JobRecorder job;
  e.SetListener(&job);
  SetGrid(e, 48, 32, 32, 32);
  e.MainBitmap = testing::Uniform(300, 200, Color32(1, 2, 3));
  e.MakeGrid();
  EXPECT_EQ(e.GridBitmap.Width(), 96);
  EXPECT_EQ(e.GridBitmap.Height(), 64);
  EXPECT_EQ(job.texts, std::vector<std::string>{"Current Job : Mosaic Grid"});
  EXPECT_EQ(job.progress, (std::vector<int>{0, 100}));
}

TEST(MakeGrid, LoomKeepsThePictureAsItIs) {
  Engine e;
  SetGrid(e, 10, 3, 8, 8);
  const TBitmap32 pic = NumberedPicture(20, 6);
  e.MainBitmap = pic;
  e.MakeGrid();
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 20; ++x) ExpectGridPixel(e, x, y, pic, x, y);
}

TEST(MakeGrid, PeyoteRotatesOddCellRowsOnePixelRight) {
  Engine e;
  SetGrid(e, 10, 3, 8, 8);
  e.Project.StitchMode = kStitchPeyote;
  const TBitmap32 pic = NumberedPicture(20, 6);
  e.MainBitmap = pic;
  e.MakeGrid();
  for (int row : {2, 3}) {
    ExpectGridPixel(e, 0, row, pic, 19, row);  // the last pixel wraps to the front
    for (int x = 1; x < 20; ++x) ExpectGridPixel(e, x, row, pic, x - 1, row);
  }
  for (int row : {0, 1, 4, 5})
    for (int x = 0; x < 20; ++x) ExpectGridPixel(e, x, row, pic, x, row);
}

TEST(MakeGrid, BrickRotatesOddCellColumnsOnePixelDown) {
  Engine e;
  SetGrid(e, 3, 5, 8, 8);
  e.Project.StitchMode = kStitchBrick;
  const TBitmap32 pic = NumberedPicture(6, 10);
  e.MainBitmap = pic;
  e.MakeGrid();
  for (int col : {2, 3}) {
    ExpectGridPixel(e, col, 0, pic, col, 9);  // the bottom pixel wraps to the top
    for (int y = 1; y < 10; ++y) ExpectGridPixel(e, col, y, pic, col, y - 1);
  }
  for (int col : {0, 1, 4, 5})
    for (int y = 0; y < 10; ++y) ExpectGridPixel(e, col, y, pic, col, y);
}

TEST(MakeGrid, CropMainImageSamplesOnlyTheCentreAtTheMosaicAspect) {
  // 40 x 20: red, blue, blue, green in bands of 10 columns; the mosaic is square.
  TBitmap32 pic(40, 20);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 40; ++x)
      pic.Pixel(x, y) = x < 10 ? Color32(255, 0, 0) : x < 30 ? Color32(0, 0, 255) : Color32(0, 255, 0);
  Engine e;
  SetGrid(e, 4, 4, 8, 8);
  e.MainBitmap = pic;
  e.MakeGrid();
  EXPECT_EQ(e.GridBitmap.PixelAddress(0, 0)[2], 255);  // uncropped: red at the left edge

  e.Project.CropMainImage = true;
  e.MakeGrid();
  for (int x : {0, 7}) {
    const uint8_t* g = e.GridBitmap.PixelAddress(x, 3);
    EXPECT_GE(g[0], 250) << x;  // blue only
    EXPECT_LE(g[2], 5) << x;
    EXPECT_LE(g[1], 5) << x;
  }
}

TEST(MakeGrid, EmptyMainPictureGivesABlackGridNotAStaleOne) {
  Engine e;
  SetGrid(e, 2, 2, 8, 8);
  e.MainBitmap = testing::Uniform(4, 4, Color32(200, 200, 200));
  e.MakeGrid();
  e.MainBitmap = TBitmap32();
  e.MakeGrid();
  EXPECT_EQ(e.SampleCell(1, 1), ColorSignature{});
}

TEST(SampleCell, QuadrantsAndTheTruncatedMeanWithItsOwnGrey) {
  Engine e;
  SetGrid(e, 2, 1, 8, 8);
  ASSERT_TRUE(e.GridBitmap.SetSize(4, 2).ok());
  e.GridBitmap.Fill(0, 0, 0);
  // Cell (1, 0): samples (blue, green, red).
  const uint8_t samples[4][3] = {{10, 20, 30}, {11, 21, 31}, {12, 22, 32}, {13, 23, 34}};
  const int at[4][2] = {{2, 0}, {3, 0}, {2, 1}, {3, 1}};
  for (int q = 0; q < 4; ++q) {
    uint8_t* p = e.GridBitmap.PixelAddress(at[q][0], at[q][1]);
    p[0] = samples[q][0];
    p[1] = samples[q][1];
    p[2] = samples[q][2];
  }
  const ColorSignature s = e.SampleCell(1, 0);
  for (int q = 0; q < 4; ++q) {
    EXPECT_EQ(s.Slot[q].Blue, samples[q][0]);
    EXPECT_EQ(s.Slot[q].Red, samples[q][2]);
    EXPECT_EQ(s.Slot[q].Grey, GreyOf(samples[q][2], samples[q][1], samples[q][0]));
  }
  // The red sum 127 shifted right by two is 31, not the rounded 32.
  EXPECT_EQ(s.Mean(), (SigColor{11, 21, 31, GreyOf(31, 21, 11)}));
}

TEST(SampleCell, MeanGreyComesFromTheMeanChannelsNotTheQuadrantGreys) {
  // Two red and two black samples: quadrant greys 76, 76, 0, 0 average to 38,
  // but the grey of the mean colour (0, 0, 127) is 37.
  Engine e;
  SetGrid(e, 1, 1, 8, 8);
  ASSERT_TRUE(e.GridBitmap.SetSize(2, 2).ok());
  e.GridBitmap.Fill(0, 0, 0);
  e.GridBitmap.PixelAddress(0, 0)[2] = 255;
  e.GridBitmap.PixelAddress(1, 0)[2] = 255;
  const ColorSignature s = e.SampleCell(0, 0);
  EXPECT_EQ(s.Slot[sigTopLeft].Grey, 76);
  EXPECT_EQ(s.Mean(), (SigColor{0, 0, 127, 37}));
}

TEST(SampleCell, OutsideTheGridGivesZeros) {
  Engine e;
  SetGrid(e, 2, 2, 8, 8);
  e.MainBitmap = testing::Uniform(4, 4, Color32(9, 9, 9));
  e.MakeGrid();
  EXPECT_EQ(e.SampleCell(2, 0), ColorSignature{});
  EXPECT_EQ(e.SampleCell(0, -1), ColorSignature{});
}

}  // namespace
}  // namespace velmora
