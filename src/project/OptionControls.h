// The Options dialog without its window: the values of its controls, how they
// become the option fields of OptionSet (ReadOptionControls), how a stored
// option block sets them, and the arithmetic in between (opacity percentages,
// the repeat-limit raise). The window and the command line both go through
// these functions, so they agree on every number.
#pragma once

#include <cstdint>
#include <string>

#include "engine/ProjectRecord.h"

namespace velmora {

// The controls by their object names. Spin edits and track bars hold the
// value as the user left it, which may lie outside the control's range until
// the control applies its range (SetOptionControls always applies it).
struct OptionControls {
  bool cbuseall = true;
  bool cbrptlimit = false;
  int seradius = 4;           // 1..100
  int serepeattime = 10;      // 1..999
  int tbrandom = 20;          // 1..80
  int tbenhance = 50;         // 0..100
  int tbalphablendmain = 20;  // 0..100, a percentage
  int tbalphablendpen = 80;   // 0..100, a percentage
  bool cbcropcell = true;
  bool cbmonocell = false;
  bool cbhf = true;
  bool cbvf = false;
  int ebs = 0;         // 0..20
  int32_t color1 = 0;  // the colour dialog's colour, 0x00BBGGRR
  int kernel = 4;      // index of the checked RadioButton1..RadioButton7, -1 none
  int tbjpegq = 75;    // 25..100
  bool cbjpegp = false;
};

// The five percent labels ReadOptionControls refreshes.
struct OptionLabels {
  std::string lbrl;
  std::string lbce;
  std::string lbabm;
  std::string lbabp;
  std::string lbjpgq;
};

// The controls' ranges.
struct ControlRange {
  int Min;
  int Max;
  constexpr int Limit(int v) const { return v < Min ? Min : (v > Max ? Max : v); }
};
inline constexpr ControlRange kRandomizeRange{1, 80};
inline constexpr ControlRange kEnhanceRange{0, 100};
inline constexpr ControlRange kRadiusRange{1, 100};
inline constexpr ControlRange kRepeatTimesRange{1, 999};
inline constexpr ControlRange kBorderRange{0, 20};
inline constexpr ControlRange kAlphaPositionRange{0, 100};
inline constexpr ControlRange kJpegQualityRange{25, 100};
inline constexpr int kKernelCount = 7;

// Opacity slider position (percent) to the stored 0..255 value:
// position x 256 div 100, limited to 0..255 (so 20 gives 51, 80 gives 204,
// 100 gives 255).
int AlphaFromPosition(int position);
// Stored opacity to the percentage shown and set on the slider: value x 100 div 255.
int AlphaToPosition(int value);
// N followed by " %".
std::string PercentText(int value);

// With LimitRepeat on, P pictures and C cells: when P x MaxRepeatTimes < C and
// P > 0, the cap is raised to trunc(C x 1.2) div P + 1 so the pictures can
// fill the grid; otherwise it stays. C x 1.2 is taken in extended precision.
int32_t RaisedRepeatTimes(bool limitRepeat, int32_t maxRepeatTimes, int pictures, int cellsAcross,
                          int cellsDown);

// Brings the option fields of `optionSet` up to date from the controls, in
// the dialog's order, and returns the refreshed labels. `pictures` is the
// library list's length and `project` the current project, whose cell counts
// the repeat-limit raise needs. The raise and a negative border size are
// written back to the controls (the repeat spin edit shows at most 999, while
// `optionSet` keeps the raised value). RepeatLimitSuspended becomes false.
OptionLabels ReadOptionControls(OptionControls& controls, int pictures, const tmosaicproject& project,
                                tmosaicproject& optionSet);

// Sets the controls from stored option fields, each limited to its control's
// range; the opacities become percentages. A ResampleKernel outside 0..6
// leaves the kernel selection as it was.
void SetOptionControls(const tmosaicproject& options, OptionControls& controls);

}  // namespace velmora
