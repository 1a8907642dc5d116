// The arithmetic of the Options dialog.
#include "project/OptionControls.h"

#include <cmath>

namespace velmora {

int AlphaFromPosition(int position) {
  const int64_t value = int64_t(position) * 256 / 100;
  return value < 0 ? 0 : (value > 255 ? 255 : static_cast<int>(value));
}

int AlphaToPosition(int value) { return static_cast<int>(int64_t(value) * 100 / 255); }

std::string PercentText(int value) { return std::to_string(value) + " %"; }

int32_t RaisedRepeatTimes(bool limitRepeat, int32_t maxRepeatTimes, int pictures, int cellsAcross,
                          int cellsDown) {
  const int64_t cells = int64_t(cellsAcross) * cellsDown;
  if (!limitRepeat || pictures <= 0 || int64_t(pictures) * maxRepeatTimes >= cells) return maxRepeatTimes;
  // The factor is an extended-precision constant, as the cap has always been
  // computed; long double carries the 64-bit mantissa on x86-64.
  const auto scaled = static_cast<int64_t>(std::trunc(static_cast<long double>(cells) * 1.2L));
  return static_cast<int32_t>(scaled / pictures + 1);
}

OptionLabels ReadOptionControls(OptionControls& c, int pictures, const tmosaicproject& project,
                                tmosaicproject& o) {
  o.UseAllPhotos = c.cbuseall;
  o.CropCell = c.cbcropcell;
  o.MonoCell = c.cbmonocell;
  o.AllowHFlip = c.cbhf;
  o.AllowVFlip = c.cbvf;
  o.ColorEnhance = c.tbenhance;
  o.RandomizeLevel = c.tbrandom;
  o.MinRepeatRadius = c.seradius;
  o.LimitRepeat = c.cbrptlimit;
  o.MaxRepeatTimes = c.serepeattime;
  o.RepeatLimitSuspended = false;
  o.BorderSize = c.ebs;
  o.BorderColor = c.color1;
  o.AlphaMain = AlphaFromPosition(c.tbalphablendmain);
  o.AlphaPen = AlphaFromPosition(c.tbalphablendpen);
  o.JpegQuality = c.tbjpegq;
  o.JpegProgressive = c.cbjpegp;
  o.ResampleKernel = 4;
  if (c.kernel >= 0 && c.kernel < kKernelCount) o.ResampleKernel = static_cast<uint8_t>(c.kernel);

  const int32_t raised =
      RaisedRepeatTimes(o.LimitRepeat, o.MaxRepeatTimes, pictures, project.CellsAcross, project.CellsDown);
  if (raised != o.MaxRepeatTimes) {
    o.MaxRepeatTimes = raised;
    c.serepeattime = kRepeatTimesRange.Limit(raised);
  }
  if (o.BorderSize < 0) {
    o.BorderSize = 0;
    c.ebs = 0;
  }

  OptionLabels labels;
  labels.lbrl = PercentText(o.RandomizeLevel);
  labels.lbce = PercentText(o.ColorEnhance);
  labels.lbabm = PercentText(AlphaToPosition(o.AlphaMain));
  labels.lbabp = PercentText(AlphaToPosition(o.AlphaPen));
  labels.lbjpgq = PercentText(o.JpegQuality);
  return labels;
}

void SetOptionControls(const tmosaicproject& o, OptionControls& c) {
  c.cbuseall = o.UseAllPhotos;
  c.cbcropcell = o.CropCell;
  c.cbmonocell = o.MonoCell;
  c.cbhf = o.AllowHFlip;
  c.cbvf = o.AllowVFlip;
  c.cbrptlimit = o.LimitRepeat;
  c.cbjpegp = o.JpegProgressive;
  c.tbenhance = kEnhanceRange.Limit(o.ColorEnhance);
  c.tbrandom = kRandomizeRange.Limit(o.RandomizeLevel);
  c.seradius = kRadiusRange.Limit(o.MinRepeatRadius);
  c.serepeattime = kRepeatTimesRange.Limit(o.MaxRepeatTimes);
  c.ebs = kBorderRange.Limit(o.BorderSize);
  c.color1 = o.BorderColor;
  c.tbalphablendmain = kAlphaPositionRange.Limit(AlphaToPosition(o.AlphaMain));
  c.tbalphablendpen = kAlphaPositionRange.Limit(AlphaToPosition(o.AlphaPen));
  c.tbjpegq = kJpegQualityRange.Limit(o.JpegQuality);
  if (o.ResampleKernel < kKernelCount) c.kernel = o.ResampleKernel;
}

}  // namespace velmora
