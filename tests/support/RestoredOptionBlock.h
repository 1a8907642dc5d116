// Defaultopt.opt as "Restore Default" writes it: the built-in defaults as the
// option controls give them back, field by field in the file's order. Shared
// by the tests of the defaults file and of the options dialog.
#pragma once

#include <string>

namespace velmora::testing {

inline const std::string kRestoredOptionBlock(
    "\x14\0\0\0"            // RandomizeLevel 20
    "\x32\0\0\0"            // ColorEnhance 50
    "\x01\x01\x00\x01\x00"  // UseAllPhotos, CropCell, MonoCell, AllowHFlip, AllowVFlip
    "\0\0\0"                // padding
    "\x04\0\0\0"            // MinRepeatRadius 4
    "\0\0\0\0"              // LimitRepeat off, padding
    "\x0A\0\0\0"            // MaxRepeatTimes 10
    "\0\0\0\0"              // RepeatLimitSuspended off, padding
    "\0\0\0\0"              // BorderSize 0
    "\0\0\0\0"              // BorderColor black
    "\x33\0\0\0"            // AlphaMain 51
    "\xCC\0\0\0"            // AlphaPen 204 (the controls' percentage of 205)
    "\x04\0\0\0"            // ResampleKernel spline, padding
    "\x4B\0\0\0"            // JpegQuality 75
    "\0\0\0\0",             // JpegProgressive off, padding
    60);

}  // namespace velmora::testing
