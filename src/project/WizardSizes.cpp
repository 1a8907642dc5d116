#include "project/WizardSizes.h"

#include <sys/sysinfo.h>

#include <algorithm>
#include <cstdio>

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
  l.lbmwi = ShortestDecimal(p.WidthInch) + " Inch";
  l.lbmhi = ShortestDecimal(p.HeightInch) + " Inch";
  l.lbmwm = ShortestDecimal(p.WidthCm) + " CM";
  l.lbmhm = ShortestDecimal(p.HeightCm) + " CM";
  if (p.FinalWidth > 0) l.lbaspect = "Aspect Ratio of final mosaic : " + AspectText(p.FinalWidth, p.FinalHeight);
  if (int64_t(mainWidth) * mainHeight > 0)
    l.lbaspect2 = "Aspect Ratio of main image : " + AspectText(mainWidth, mainHeight);
  l.LBMBphy = "Your Computer has " + FixedTwo(static_cast<double>(physicalMemory) / 1048576.0) +
              "MB Memory Installed.  ";
  const double need = (p.FinalWidth / 1024.0) * (p.FinalHeight / 1024.0) * 3;
  l.LBMBneed = "You need " + FixedTwo(need) + " MB memory to create this project.";
  return l;
}

}  // namespace velmora
