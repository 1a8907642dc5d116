// The "Mosaic Size" page of the new-project wizard without its window: the
// sizes a set of spin-edit values amounts to (pixels, inches, centimetres,
// both aspect ratios, installed memory and the memory the project needs) and
// the label texts that show them.
#pragma once

#include <cstdint>
#include <string>

#include "engine/ProjectRecord.h"

namespace velmora {

// The five spin edits and the crop box, as the user left them.
struct WizardSizeInput {
  int CellsAcross = 48;  // edhcc
  int CellsDown = 48;    // edvcc
  int CellWidth = 32;    // edcw
  int CellHeight = 32;   // edch
  int Dpi = 72;          // eddpi
  bool CropMainImage = false;
};

// The spin edits' ranges, applied before any value is used, so that a typed
// 0 dpi or 900 cells never reach the arithmetic or the cell map.
inline constexpr int kDpiMin = 30, kDpiMax = 1200;
inline constexpr int kCellCountMin = 8, kCellCountMax = 640;
inline constexpr int kCellSizeMin = 8, kCellSizeMax = 640;
WizardSizeInput LimitWizardInput(WizardSizeInput in);

// Labels by their object names. lbaspect and lbaspect2 are left empty when
// their ratio cannot be computed (the window then keeps its previous text).
struct WizardSizeLabels {
  std::string LBMWP, LBMHP;  // "1536 Pixels"
  std::string lbmwi, lbmhi;  // "21.33 Inch"
  std::string lbmwm, lbmhm;  // "54.19 CM", rounded as engine/PaperSize.h rounds
  std::string lbaspect;      // "Aspect Ratio of final mosaic : 100 / 100"
  std::string lbaspect2;     // "Aspect Ratio of main image : 75 / 100"
  std::string LBMBphy;       // "Your Computer has 1024.00MB Memory Installed.  "
  std::string LBMBneed;      // "You need 6.75 MB memory to create this project."
  // The main picture's ratio and the mosaic's differ: the "Avoid Stretch"
  // note shows red.
  bool RatiosDiffer = false;
};

// Writes the sizes into `project` (crop flag, counts, cell sizes, Dpi and the
// derived sizes) and returns the labels. `mainWidth` x `mainHeight` is the
// loaded main picture (0 x 0 for none); `physicalMemory` the installed memory
// in bytes.
WizardSizeLabels ComputeWizardSizes(const WizardSizeInput& input, int mainWidth, int mainHeight,
                                    uint64_t physicalMemory, tmosaicproject& project);

// Whether the mosaic's ratio matches the main picture's as closely as whole
// cells allow: its height within half a cell of the height the picture's
// ratio asks for at its width, or its width within half a cell of the width
// asked for at its height. True when there is no picture to compare.
bool AspectRatiosMatch(const tmosaicproject& project, int mainWidth, int mainHeight);

// A double in its shortest decimal form with up to 15 significant digits and
// no trailing zeros: 21.33, 13, 5.12.
std::string ShortestDecimal(double value);

// "N / 100" aspect text: height x 100 div width.
std::string AspectText(int64_t width, int64_t height);

// The machine's installed physical memory in bytes (0 when unknown).
uint64_t PhysicalMemoryBytes();

}  // namespace velmora
