// How much a mosaic looks like its main picture: for every cell, the CIE76
// colour difference between the part of the main picture the cell stands for
// and what the cell shows in the finished mosaic (its picture after tint,
// mirrors and overlay, border included). Two figures per cell:
//   - Single: both sides reduced to their mean colour, one sample per cell;
//     this is what the eye sees from a distance.
//   - Detail: both sides cut into 4 x 4 samples, the mean of the 16
//     differences; it also counts a cell whose picture has the right colour
//     in the wrong places.
// A cell's area in the mosaic follows the layout (odd rows or columns shifted
// half a cell in peyote and brick, the split cell wrapping round the edge)
// and is mapped proportionally onto the main picture (its cropped part when
// the project crops it, as the grid is made), sampled there by area
// averaging. The measure reads pixels only, so it judges any mosaic,
// however it was made.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "engine/Engine.h"
#include "engine/ProjectRecord.h"
#include "imaging/Bitmap32.h"
#include "imaging/Geometry.h"
#include "imaging/Status.h"

namespace velmora {

constexpr int kQualitySide = 4;      // samples per cell side for Detail
constexpr double kWorstShare = 5.0;  // percent of cells in the "worst" figure
// The viewing size structural similarity is measured at: the main picture's
// part scaled so that its longer side is this many pixels, the mosaic reduced
// to the same size.
constexpr int kSsimSide = 512;
constexpr int kSsimWindow = 8;  // SSIM's square window, in viewing-size pixels

struct QualityReport {
  int Cols = 0;
  int Rows = 0;
  std::vector<float> Single;  // per cell, index y * Cols + x, delta E
  std::vector<float> Detail;
  double MeanSingle = 0;
  double MeanDetail = 0;
  double WorstSingle = 0;  // mean of the worst 5 % of the cells
  double WorstDetail = 0;
  // The same comparisons as CIEDE2000 (per cell and their means).
  std::vector<float> Single00;
  std::vector<float> Detail00;
  double MeanSingle00 = 0;
  double MeanDetail00 = 0;
  // Grey structural similarity at the viewing size (1 = the same picture),
  // SsimWidth x SsimHeight; SsimWidth 0 when it was not measured. It is
  // measured when the report is made and not updated by Remeasure.
  double Ssim = 0;
  int SsimWidth = 0;
  int SsimHeight = 0;
  // Library photos the cell map uses and the most cells one photo fills;
  // -1 where there is no map (a finished picture measured on its own).
  int PhotosUsed = -1;
  int MostUses = -1;
  // The tile contrast kept (TileContrast.h), in percent, over ContrastCells
  // cells; ContrastCells is -1 where it was not measured (a finished picture
  // on its own, a self mosaic) and 0 where every cell's photo is flat.
  double ContrastKept = 0;
  int ContrastCells = -1;

  bool Empty() const { return Single.empty(); }
  float SingleAt(int x, int y) const { return Single[static_cast<size_t>(y) * Cols + x]; }
  float DetailAt(int x, int y) const { return Detail[static_cast<size_t>(y) * Cols + x]; }
  // The four figures again from the per-cell values.
  void Summarise();
};

// The mean of the largest `percent` % of `values` (at least one value when
// there are any): the part of a mosaic that spoils it most.
double MeanOfWorst(std::vector<float> values, double percent);

// The cells with the largest Single error, worst first: `percent` % of the
// cells, rounded up (none for percent <= 0).
std::vector<CellPos> WorstCells(const QualityReport& report, double percent);

// All cores, at most 8.
int DefaultQualityThreads();

// Mean grey SSIM of two pictures of the same size: luminance (0.299 R +
// 0.587 G + 0.114 B, 0..255), a kSsimWindow square window moved one pixel at a
// time with equal weights, C1 = (0.01 * 255)^2, C2 = (0.03 * 255)^2. Pictures
// smaller than the window use one window of their size. `a` and `b` hold
// width * height luminances row by row. 1 for equal pictures.
double GreySsim(const std::vector<float>& a, const std::vector<float>& b, int width, int height);

struct PhotoUses {
  int Distinct = 0;  // different library photos in the cells
  int Most = 0;      // the most cells one photo fills
};
// Counted over the cols x rows cells of `map` (cells without a photo left out).
PhotoUses CountPhotoUses(const CellMap& map, int cols, int rows);

// The measure in steps: the main picture's samples once, then the mosaic's
// pixels in one go or band by band (a poster rendered in bands is measured
// without ever being held whole), and cells again after edits.
class QualityMeter {
public:
  // `mainArea` is the part of `main` the grid is made from. Fails when the
  // project has no cells or no mosaic size, or the area is empty.
  Status Start(const TBitmap32& main, const TRect& mainArea, const tmosaicproject& project);
  bool Started() const { return cols_ > 0; }
  // The threads the passes share their rows of cells among (all cores
  // unless set); the figures are the same for any number.
  void SetThreads(int threads) { threads_ = std::clamp(threads, 1, 64); }
  int Threads() const { return threads_; }

  // Mosaic rows [top, top + rows), of which `band` holds row `top` in its
  // row 0. Rows outside the mosaic are ignored.
  void AddMosaicRows(const TBitmap32& band, int top, int rows);
  // The whole mosaic, anew.
  void MeasureMosaic(const TBitmap32& mosaic);
  QualityReport Report() const;

  // Measures `cells` of the whole mosaic again and updates their values and
  // the figures of `report` (which this meter made).
  void Remeasure(const TBitmap32& mosaic, const std::vector<CellPos>& cells, QualityReport& report);
  // The cells whose area (in the layout, wrapping round the edges where a
  // cell is split) meets `rect` of the mosaic.
  std::vector<CellPos> CellsIn(const TRect& rect) const;
  // The mean colour (red, green, blue) of the main picture under cell
  // (x, y), as the one-sample figure compares it; zeros outside the grid.
  std::array<float, 3> MainMean(int x, int y) const;

private:
  struct MainSample {
    float Red = 0, Green = 0, Blue = 0;  // area-weighted sums
    float Weight = 0;                    // the area, in main-picture pixels
  };
  struct MosaicSample {
    uint64_t Red = 0, Green = 0, Blue = 0;
    uint32_t Count = 0;
  };
  // A cell's sample (i, j) as up to two column spans and two row spans of the
  // mosaic (two where the cell wraps round the edge).
  struct Span {
    int Count = 0;
    int Begin[2] = {0, 0};
    int End[2] = {0, 0};
  };
  static Span WrappedSpan(int a, int b, int extent);
  Span ColumnSpan(int x, int y, int i) const;
  Span RowSpan(int x, int y, int j) const;
  void AddCell(const TBitmap32& band, int top, int rows, int x, int y);
  struct CellErrors {
    float Single = 0, Detail = 0, Single00 = 0, Detail00 = 0;
  };
  CellErrors MeasureCell(int x, int y) const;
  void StartView(const TBitmap32& main, const TRect& area);
  void AddViewRows(const TBitmap32& band, int top, int rows);

  int cols_ = 0;
  int rows_ = 0;
  int cw_ = 0;
  int ch_ = 0;
  int width_ = 0;  // the mosaic's size
  int height_ = 0;
  int stitch_ = kStitchLoom;
  int threads_ = DefaultQualityThreads();
  std::vector<MainSample> main_;  // per cell, kQualitySide^2 samples, row by row
  std::vector<MosaicSample> mosaic_;
  // The viewing size: the main picture's luminance there, the mosaic's as
  // sums and counts per pixel, and each view pixel's span of mosaic columns
  // and rows.
  int viewWidth_ = 0;
  int viewHeight_ = 0;
  std::vector<float> mainView_;
  std::vector<double> mosaicViewSum_;
  std::vector<uint32_t> mosaicViewCount_;
  std::vector<int> viewColumnBegin_, viewColumnEnd_, viewRowBegin_, viewRowEnd_;
};

// The part of the engine's MainBitmap that Make grid reduces onto the grid:
// the crop when the project crops the main picture, else all of it.
TRect QualityMainArea(const Engine& engine);

// A finished picture measured against a main picture on a grid of
// cols x rows cells (cells of picture width / cols by height / cols pixels,
// whole pixels; a remainder at the right and bottom is left out), as a loom
// mosaic whose main picture is not cropped. For pictures made by any means.
Status MeasurePicture(const TBitmap32& picture, const TBitmap32& main, int cols, int rows, int threads,
                      QualityReport& report);

// The measure of the engine's MosaicBitmap. Fails when there is no mosaic of
// the project's size or no main picture.
Status MeasureQuality(const Engine& engine, QualityReport& report);

}  // namespace velmora
