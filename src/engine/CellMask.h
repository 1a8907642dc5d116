// Tiles of any shape: a coverage mask (0 = gap, 255 = tile, in between an
// anti-aliased edge) laid over every tile after its photo is drawn, and what
// fills the gaps: one colour, or the main picture itself, blurred, so that
// the mosaic still reads from a distance.
//
// The named shapes fill the tile's rectangle (the cell less its border, or
// the block's). A hexagon on the brick or peyote layout is a honeycomb: the
// layouts already shift every other column (brick) or row (peyote) by half
// a cell, which is where a hexagon grid puts its neighbours. On peyote a
// pointy-top hexagon is the cell's width wide and 4/3 of its height tall, on
// brick a flat-top one 4/3 of its width wide and its height tall: the points
// reach a sixth of a cell into the rows (columns) around it, into the
// corners the neighbours' hexagons leave, so they meet edge to edge for any
// cell proportions. Regular hexagons want cells of height / width = sqrt(3)/2
// on peyote and width / height = sqrt(3)/2 on brick (kHoneycombRatio);
// other cells give stretched ones. Each honeycomb hexagon is drawn smaller
// by half the border (at least 0.75 px) on every side, so no pixel is
// touched by two of them and the cells can be drawn in any order, on any
// thread, with the same result.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "imaging/Bitmap32.h"
#include "imaging/Status.h"
#include "match/DetailMatch.h"

namespace velmora {

enum class MaskShape : uint8_t {
  kRectangle = 0,
  kCircle = 1,
  kHexagon = 2,
  kRounded = 3,
  kDiamond = 4,
  kHeart = 5,
  kCustom = 6,  // the user's greyscale picture
};
inline constexpr int kMaskShapeCount = 7;

enum class GapFill : uint8_t { kColor = 0, kMain = 1 };

// Regular hexagons in a honeycomb: the short side of the cell over the long.
inline constexpr double kHoneycombRatio = 0.8660254037844386;

// "circle", "hexagon", "rounded", "diamond", "heart" (and "rectangle");
// false for any other name.
bool ParseMaskShape(const std::string& name, MaskShape& shape);
const char* MaskShapeName(MaskShape shape);

// An 8-bit grey picture: the user's mask as kept in memory and in a project.
struct GreyMask {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Pixels;  // rows top to bottom
  bool Empty() const { return Width <= 0 || Height <= 0; }
  bool operator==(const GreyMask&) const = default;
};

// The largest side a user's mask is kept at (a larger picture is shrunk by
// area averaging to fit, keeping its aspect): 64 KiB in a project at most.
inline constexpr int kMaxMaskSide = 256;

// The grey of a picture (0.299 r + 0.587 g + 0.114 b), shrunk to fit
// kMaxMaskSide.
GreyMask GreyMaskOf(const TBitmap32& picture);
// Reads a picture file with the program's picture reader as a mask.
Status ReadMaskPicture(const std::string& path, GreyMask& mask);

// The coverage of a w x h tile of `shape` (custom: `custom` scaled to the
// tile), row by row; empty for a tile without pixels. Anti-aliased by 4 x 4
// samples per pixel.
std::vector<uint8_t> ShapeCoverage(MaskShape shape, int w, int h, const GreyMask* custom = nullptr);

// The honeycomb hexagon for a cell of cw x ch pixels (the cell's pitch,
// border included): on peyote (`pointy`) a w x h = cw x (ch + 2 over) area
// with the cell's rectangle `over` rows down, on brick (cw + 2 over) x ch
// with it `over` columns in. The hexagon is shrunk by `inset` pixels.
int HoneycombOverhang(bool pointy, int cw, int ch);
std::vector<uint8_t> HoneycombCoverage(bool pointy, int cw, int ch, double inset);

// What the renderer needs to shape its tiles: the choices, and the masks and
// blurred main picture made from them for one render.
struct TileMasking {
  MaskShape Shape = MaskShape::kRectangle;
  GapFill Gap = GapFill::kColor;
  int32_t GapColor = 0x00FFFFFF;  // 0x00BBGGRR, as the border colour; white
  // How a photo is cropped to its tile; kept for the crop choices, not used
  // by the masks (0: around the centre).
  uint8_t CropMode = 0;
  GreyMask Custom;

  bool On() const { return Shape != MaskShape::kRectangle; }
  bool operator==(const TileMasking& o) const {
    return Shape == o.Shape && Gap == o.Gap && GapColor == o.GapColor && CropMode == o.CropMode &&
           Custom == o.Custom;
  }
};

// The masks of one render, made on first need (safe on worker threads), and
// the gap picture: the main picture box-blurred three times (close to a
// gaussian), read at mosaic pixels through tables of nearest main pixels.
class MaskRender {
public:
  // The gap picture is made only with GapFill::kMain, blurred over about a
  // quarter of a cell of a grid `cellsAcross` cells wide.
  MaskRender(const TileMasking& masking, const TBitmap32& main, int finalW, int finalH, int cellsAcross,
             int threads);

  const TileMasking& Masking() const { return masking_; }
  // The coverage of a tile of w x h pixels (as ShapeCoverage).
  const std::vector<uint8_t>& Coverage(int w, int h);
  // The honeycomb coverage (HoneycombCoverage) for cells of cw x ch.
  const std::vector<uint8_t>& Honeycomb(bool pointy, int cw, int ch, double inset);

  // The gap at mosaic pixel (x, y); opaque.
  TColor32 GapAt(int x, int y) const {
    if (blurred_.Empty()) return color_;
    return blurred_.Pixel(mapX_[size_t(x)], mapY_[size_t(y)]) | 0xFF000000u;
  }
  // Mosaic rows [top, top + target.Height()) of the gap into `target`.
  void FillGap(TBitmap32& target, int top, int threads) const;

private:
  TileMasking masking_;
  TColor32 color_;
  TBitmap32 blurred_;
  std::vector<int> mapX_, mapY_;
  std::mutex mutex_;
  std::map<std::pair<int, int>, std::unique_ptr<std::vector<uint8_t>>> masks_;
  std::map<std::pair<int, int>, std::unique_ptr<std::vector<uint8_t>>> honey_;
};

// The detail matching's sample weights for cells of cw x ch pixels on the
// layout `stitch` (DetailWeights): the mean coverage of the tile's shape over
// each of the 4 x 4 sample areas, scaled to sum to 16; even for rectangles
// (and for a mask that covers nothing).
DetailWeights MaskDetailWeights(const TileMasking& masking, int cw, int ch, int stitch);

// The main picture box-blurred three times with `radius` (a gaussian of
// about that spread), rows and columns shared among `threads`: the same
// pixels on any thread count.
TBitmap32 BlurredPicture(const TBitmap32& picture, int radius, int threads);

// Blends `tile` (w x h, drawn for the tile's extent whose top-left is mosaic
// pixel (left, top)) into mosaic rows [bandTop, bandTop + target.Height())
// within `clip`, by `coverage`, over the gap: every pixel of `clip` is
// written when `whole`, otherwise only pixels the coverage touches.
void BlendMasked(const TBitmap32& tile, const std::vector<uint8_t>& coverage, int left, int top,
                 const TRect& clip, const MaskRender& gap, bool whole, TBitmap32& target, int bandTop);

}  // namespace velmora
