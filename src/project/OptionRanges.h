// The one table of option ranges. Every source of options goes through it:
// the command line's flags, an options file (--options, Defaultopt.opt) and
// the option fields of a project file. A flag out of range is refused with the
// flag's name; a stored value out of range is refused with the field's name,
// so a damaged or hand-made file can never reach the renderer with, say, a
// border of two billion pixels or a JPEG quality of 0.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/ProjectRecord.h"
#include "engine/Tables.h"
#include "project/OptionControls.h"

namespace velmora {

// The largest MaxRepeatTimes the repeat-limit raise can store: one picture
// for the 800 x 800 cells a project can hold, trunc(640000 x 1.2) + 1.
inline constexpr int32_t kMaxRaisedRepeatTimes = kMapSide * kMapSide * 6 / 5 + 1;

struct OptionRange {
  const char* Field;       // the record field's name
  const char* Flag;        // the command-line flag without "--"; nullptr: none
  ControlRange Stored;     // what a file may hold
  ControlRange FlagRange;  // what a flag may set (the Options dialog's range)
  int32_t (*Get)(const tmosaicproject&);
  void (*Set)(tmosaicproject&, int32_t);
};

// The integer option fields in record order, with their ranges. The boolean
// fields need none (a byte other than 0 reads as true).
std::span<const OptionRange> OptionRanges();

// Empty when every option field of `options` lies in its stored range;
// otherwise "the option FIELD is VALUE, outside its range MIN..MAX" for the
// first one that does not, for the caller to put after the file's name.
std::string OptionOutOfRange(const tmosaicproject& options);

}  // namespace velmora
