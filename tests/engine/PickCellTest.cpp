// The pick-cell dialog's arithmetic and its apply: the stored deltas (with
// the enhance level 0 that must not divide by zero), the preview's offsets
// and picture, the position text, and an apply that writes the cell and
// draws it, for the first library picture as for any other.
#include <gtest/gtest.h>

#include "support/EngineTestSupport.h"
#include "engine/PickCell.h"
#include "imaging/PictureOps.h"

namespace velmora {
namespace {

using testing::FlatSignature;
using testing::Uniform;

TEST(PickCell, DeltasFollowTheSliderAndSurviveEnhanceZero) {
  struct Case {
    int pictureRed, cellRed, slider, enhance, stored;
  } cases[] = {
      {140, 100, 10, 50, 40},   // the slider's strength at enhance 50: stored as is
      {140, 100, 0, 50, 0},     // slider off: no shift
      {140, 100, 20, 50, 80},   // the whole difference: 80 x 50 div 100 = 40
      {100, 107, 3, 50, -2},    // -7 x 15 div 50 = -2.1, truncated toward zero
      {140, 100, 10, 0, 40},    // enhance 0: the plain difference, no division
      {0, 255, 20, 1, -25500},  // the extreme fits easily
  };
  for (const Case& c : cases) {
    const ChannelDeltas d = PickCellDeltas(FlatSignature(10, 20, uint8_t(c.pictureRed)),
                                           FlatSignature(10, 20, uint8_t(c.cellRed)), c.slider, c.enhance);
    EXPECT_EQ(d, (ChannelDeltas{c.stored, 0, 0})) << c.pictureRed << " " << c.cellRed << " " << c.slider;
  }
  // Each channel from its own mean; the quadrants play no part.
  ColorSignature picture = FlatSignature(30, 60, 90);
  picture.Slot[sigTopLeft] = SigColor{255, 255, 255, 255};
  EXPECT_EQ(PickCellDeltas(picture, FlatSignature(40, 50, 60), 20, 100), (ChannelDeltas{30, 10, -10}));
}

TEST(PickCell, PreviewOffsetsMatchTheRenderedShift) {
  // Slider 10 at enhance 50, a red difference of 40: the preview shifts by
  // -20, and so does the render of the stored delta.
  const ColorSignature picture = FlatSignature(50, 50, 140);
  const ColorSignature cell = FlatSignature(60, 50, 100);
  EXPECT_EQ(PickPreviewOffsets(picture, cell, 10), (ChannelDeltas{-20, 0, 5}));
  EXPECT_EQ(PickPreviewOffsets(picture, cell, 0), (ChannelDeltas{}));
  const ChannelDeltas stored = PickCellDeltas(picture, cell, 10, 50);
  EXPECT_EQ(-stored.Red * 50 / 100, -20);
}

TEST(PickCell, PositionTextAndClamping) {
  EXPECT_EQ(PickCellPositionText(3, 5), "Position : X 3  Y 5");
  tmosaicproject p = DefaultProject();
  p.CellsAcross = 8;
  p.CellsDown = 6;
  const CellPos inside = ClampToGrid(p, 3, 5);
  EXPECT_EQ(inside.X, 3);
  EXPECT_EQ(inside.Y, 5);
  const CellPos beyond = ClampToGrid(p, 99, -4);
  EXPECT_EQ(beyond.X, 7);
  EXPECT_EQ(beyond.Y, 0);
  p.CellsAcross = 5000;  // a damaged project
  EXPECT_EQ(ClampToGrid(p, 4000, 0).X, kMapSide - 1);
}

TEST(PickCell, PreviewShiftsMirrorsGreysAndCrops) {
  // 4 x 2: left half red, right half blue.
  Bitmap24 loaded(4, 2);
  loaded.FillRect(TRect{0, 0, 2, 2}, 200, 0, 0);
  loaded.FillRect(TRect{2, 0, 4, 2}, 0, 0, 200);
  tmosaicproject p = DefaultProject();
  p.CropCell = false;
  p.MonoCell = false;
  Bitmap24 out;
  PreparePickPreview(loaded, out, p, ChannelDeltas{-10, 5, 0}, true, false);
  ASSERT_EQ(out.Width(), 4);
  // Mirrored: blue now on the left, shifted (blue, green, red bytes).
  EXPECT_EQ(out.PixelAddress(0, 0)[0], 200);
  EXPECT_EQ(out.PixelAddress(0, 0)[1], 5);
  EXPECT_EQ(out.PixelAddress(3, 1)[2], 190);
  p.MonoCell = true;  // grey before the shift
  PreparePickPreview(loaded, out, p, ChannelDeltas{0, 0, 10}, false, false);
  EXPECT_EQ(out.PixelAddress(0, 0)[2], GreyOf(200, 0, 0));
  EXPECT_EQ(out.PixelAddress(0, 0)[0], GreyOf(200, 0, 0) + 10);
  p.CropCell = true;  // square cells: the middle of the picture
  p.CellWidth = p.CellHeight = 32;
  PreparePickPreview(loaded, out, p, ChannelDeltas{}, false, false);
  const TRect kept = CropRegion(4, 2, 32, 32);
  EXPECT_EQ(out.Width(), kept.Width() + 1);
  EXPECT_EQ(out.Height(), kept.Height() + 1);
}

struct Mosaic {
  testing::ScratchDir dir;
  Engine e;
  Mosaic() {
    e.SetThreadCount(1);
    testing::SetGrid(e, 4, 3, 8, 8);
    e.Project.AlphaMain = 0;
    e.Project.ColorEnhance = 0;
    e.MainBitmap = Uniform(16, 12, Color32(100, 100, 100));
    testing::AddPicture(e, dir, Uniform(8, 8, Color32(200, 0, 0)));
    testing::AddPicture(e, dir, Uniform(8, 8, Color32(0, 0, 200)));
    e.Rng.SetSeed(3);
    EXPECT_TRUE(e.CreateMosaic().ok());
  }
};

TEST(PickCell, ApplyWritesTheCellAndDrawsItForEveryPicture) {
  Mosaic m;
  const ColorSignature cellSig = m.e.SampleCell(2, 1);
  for (int k : {0, 1}) {
    m.e.Library[k].UseCount = 7;
    PickChoice choice{2, 1, k, 20, true, true};
    ASSERT_TRUE(ApplyPickedPicture(m.e, choice, cellSig).ok()) << k;
    const CellMapEntry& entry = m.e.Map.At(2, 1);
    EXPECT_EQ(entry.PicIndex, k);
    EXPECT_TRUE(entry.Assigned && entry.HFlip && entry.VFlip);  // whatever the project allows
    // Enhance 0: the plain differences, and the picture drawn untinted.
    const ChannelDeltas d = PickCellDeltas(m.e.Library[k].Signature, cellSig, 20, 0);
    EXPECT_EQ(entry.DeltaRed, d.Red);
    EXPECT_EQ(entry.DeltaBlue, d.Blue);
    EXPECT_EQ(m.e.Library[k].UseCount, 7);
    const TColor32 shown = m.e.MosaicBitmap.Pixel(2 * 8 + 4, 1 * 8 + 4);
    EXPECT_EQ(shown & 0xFFFFFFu, (k == 0 ? Color32(200, 0, 0) : Color32(0, 0, 200)) & 0xFFFFFFu);
  }
}

TEST(PickCell, ApplyRefusesWhatItCannotDoAndChangesNothing) {
  Mosaic m;
  const CellMapEntry before = m.e.Map.At(1, 1);
  const ColorSignature cellSig = m.e.SampleCell(1, 1);
  for (const PickChoice& bad :
       {PickChoice{1, 1, 2}, PickChoice{1, 1, -1}, PickChoice{4, 1, 0}, PickChoice{1, 3, 0}}) {
    EXPECT_FALSE(ApplyPickedPicture(m.e, bad, cellSig).ok());
    EXPECT_EQ(m.e.Map.At(1, 1).PicIndex, before.PicIndex);
  }
  m.e.MosaicState = 1;  // a plain picture opened over the mosaic
  EXPECT_FALSE(ApplyPickedPicture(m.e, PickChoice{1, 1, 0}, cellSig).ok());
  m.e.MosaicState = 2;
  m.e.Project.RenderMode = kRenderSelf;
  EXPECT_FALSE(ApplyPickedPicture(m.e, PickChoice{1, 1, 0}, cellSig).ok());
  EXPECT_EQ(m.e.Map.At(1, 1).PicIndex, before.PicIndex);
}

}  // namespace
}  // namespace velmora
