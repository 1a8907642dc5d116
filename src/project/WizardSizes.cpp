#include "project/WizardSizes.h"

#include <sys/sysinfo.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>

#include "engine/PaperSize.h"

namespace velmora {
namespace {

std::string FixedTwo(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

}  // namespace

WizardSizeInput LimitWizardInput(WizardSizeInput in) {
  in.CellsAcross = std::clamp(in.CellsAcross, kCellCountMin, kCellCountMax);
  in.CellsDown = std::clamp(in.CellsDown, kCellCountMin, kCellCountMax);
  in.CellWidth = std::clamp(in.CellWidth, kCellSizeMin, kCellSizeMax);
  in.CellHeight = std::clamp(in.CellHeight, kCellSizeMin, kCellSizeMax);
  in.Dpi = std::clamp(in.Dpi, kDpiMin, kDpiMax);
  return in;
}

std::string ShortestDecimal(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  return buf;
}

std::string AspectText(int64_t width, int64_t height) {
  return std::to_string(height * 100 / width) + " / 100";
}

uint64_t PhysicalMemoryBytes() {
  struct sysinfo info {};
  if (sysinfo(&info) != 0) return 0;
  return static_cast<uint64_t>(info.totalram) * info.mem_unit;
}

bool AspectRatiosMatch(const tmosaicproject& p, int mainWidth, int mainHeight) {
  const int64_t mw = mainWidth, mh = mainHeight, w = p.FinalWidth, h = p.FinalHeight;
  if (mw <= 0 || mh <= 0 || w <= 0 || h <= 0) return true;
  // |h - w * mh / mw| <= cell height / 2, in whole numbers; and across alike.
  const int64_t apart = std::abs(h * mw - w * mh);
  return 2 * apart <= int64_t(p.CellHeight) * mw || 2 * apart <= int64_t(p.CellWidth) * mh;
}

WizardSizeLabels ComputeWizardSizes(const WizardSizeInput& raw, int mainWidth, int mainHeight,
                                    uint64_t physicalMemory, tmosaicproject& p) {
  const WizardSizeInput in = LimitWizardInput(raw);
  p.CropMainImage = in.CropMainImage;
  p.CellsAcross = in.CellsAcross;
  p.CellsDown = in.CellsDown;
  p.CellWidth = in.CellWidth;
  p.CellHeight = in.CellHeight;
  p.Dpi = in.Dpi;
  ComputeDerivedSizes(p);

  WizardSizeLabels l;
  l.LBMWP = std::to_string(p.FinalWidth) + " Pixels";
  l.LBMHP = std::to_string(p.FinalHeight) + " Pixels";
  // Rounded as the print window rounds; the record's own inch and centimetre
  // fields keep the stored form's truncated figures.
  l.lbmwi = PaperSizeShortText(p.FinalWidth, p.Dpi, PaperUnit::Inch) + " Inch";
  l.lbmhi = PaperSizeShortText(p.FinalHeight, p.Dpi, PaperUnit::Inch) + " Inch";
  l.lbmwm = PaperSizeShortText(p.FinalWidth, p.Dpi, PaperUnit::Cm) + " CM";
  l.lbmhm = PaperSizeShortText(p.FinalHeight, p.Dpi, PaperUnit::Cm) + " CM";
  if (p.FinalWidth > 0) l.lbaspect = "Aspect Ratio of final mosaic : " + AspectText(p.FinalWidth, p.FinalHeight);
  if (int64_t(mainWidth) * mainHeight > 0)
    l.lbaspect2 = "Aspect Ratio of main image : " + AspectText(mainWidth, mainHeight);
  l.LBMBphy = "Your Computer has " + FixedTwo(static_cast<double>(physicalMemory) / 1048576.0) +
              "MB Memory Installed.  ";
  const double need = (p.FinalWidth / 1024.0) * (p.FinalHeight / 1024.0) * 3;
  l.LBMBneed = "You need " + FixedTwo(need) + " MB memory to create this project.";
  l.RatiosDiffer = !AspectRatiosMatch(p, mainWidth, mainHeight);
  return l;
}

}  // namespace velmora
