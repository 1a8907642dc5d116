#include "project/OptionRanges.h"

#include "imaging/Status.h"

namespace velmora {
namespace {

#define VELMORA_OPTION(field, flag, stored, flagRange)                                                      \
  OptionRange {                                                                                             \
#field, flag, stored, flagRange,                                                                        \
        [](const tmosaicproject& o)                                                                         \
             -> int32_t { return o.field; }, [](tmosaicproject & o,                                         \
                                                int32_t v) { o.field = static_cast<decltype(o.field)>(v); } \
  }

constexpr ControlRange kAlphaRange{0, 255};
constexpr ControlRange kKernelRange{0, kKernelCount - 1};
constexpr ControlRange kColorRange{0, 0xFFFFFF};  // 0x00BBGGRR

const OptionRange kRanges[] = {
    VELMORA_OPTION(RandomizeLevel, "randomize", kRandomizeRange, kRandomizeRange),
    VELMORA_OPTION(ColorEnhance, "enhance", kEnhanceRange, kEnhanceRange),
    VELMORA_OPTION(MinRepeatRadius, "radius", kRadiusRange, kRadiusRange),
    // The dialog's spin edit stops at 999, but the repeat-limit raise stores
    // more when a small library has to fill a large grid.
    VELMORA_OPTION(MaxRepeatTimes, "max-repeat", (ControlRange{kRepeatTimesRange.Min, kMaxRaisedRepeatTimes}),
                   kRepeatTimesRange),
    VELMORA_OPTION(BorderSize, "border", kBorderRange, kBorderRange),
    VELMORA_OPTION(BorderColor, nullptr, kColorRange, kColorRange),
    VELMORA_OPTION(AlphaMain, "alpha-main", kAlphaRange, kAlphaRange),
    VELMORA_OPTION(AlphaPen, "alpha-pen", kAlphaRange, kAlphaRange),
    VELMORA_OPTION(ResampleKernel, nullptr, kKernelRange, kKernelRange),
    VELMORA_OPTION(JpegQuality, "jpeg-quality", kJpegQualityRange, kJpegQualityRange),
};

#undef VELMORA_OPTION

}  // namespace

std::span<const OptionRange> OptionRanges() { return kRanges; }

std::string OptionOutOfRange(const tmosaicproject& options) {
  for (const OptionRange& r : kRanges) {
    const int32_t v = r.Get(options);
    if (v < r.Stored.Min || v > r.Stored.Max)
      return Format("the option %s is %d, outside its range %d..%d", r.Field, v, r.Stored.Min, r.Stored.Max);
  }
  return {};
}

}  // namespace velmora
