// Defaultopt.opt beside the program: the 60-byte option block of a project
// record (record bytes 76..135), read at start-up into OptionSet and written
// by the Options dialog's "Set As Default" and "Restore Default".
#pragma once

#include <string>

#include "engine/ProjectRecord.h"
#include "imaging/Status.h"
#include "project/OptionControls.h"

namespace velmora {

inline constexpr const char* kDefaultOptionsName = "Defaultopt.opt";

// Where "Set As Default" writes: ProgramFolder + "/Defaultopt.opt" for a copy
// in its build folder, the user's settings folder for an installed one
// (library/ProgramFolders.h).
std::string DefaultOptionsPath(const std::string& programFolder);
// The file start-up reads: the user's when present, else the shipped one.
std::string DefaultOptionsPathToRead(const std::string& programFolder);

// The built-in defaults of the option fields; nothing else is touched.
void SetBuiltInOptions(tmosaicproject& options);

// Reads an option block file into the option fields of `options`. A file of
// fewer than 60 bytes is refused (its missing fields would have no value); a
// longer one is read for its first 60 bytes, as it always has been. A value
// outside its range (OptionRanges) is refused with the field's name and
// range. On failure `options` is unchanged.
Status ReadOptionsFile(const std::string& path, tmosaicproject& options);
// Writes the 60-byte block of `options` as the whole file, through a temporary file.
Status WriteOptionsFile(const std::string& path, const tmosaicproject& options);

// Start-up: OptionSet from Defaultopt.opt, or the built-in defaults when there
// is no such file (not an error). A file that cannot be read, is too short or
// holds a value out of range leaves the built-in defaults in OptionSet and
// returns why (the desktop program shows it as a caution).
Status LoadDefaultOptions(tmosaicproject& optionSet, const std::string& programFolder);
// The same, with the dialog's controls set from the block; OptionSet ends up
// holding the block exactly as stored, not as the controls limit it.
Status LoadDefaultOptions(tmosaicproject& optionSet, OptionControls& controls,
                          const std::string& programFolder);

// "Set As Default": ReadOptionControls, then the block of OptionSet becomes
// Defaultopt.opt. OptionSet is up to date even when the write fails.
Status SaveDefaultOptions(OptionControls& controls, int pictures, const tmosaicproject& project,
                          tmosaicproject& optionSet, const std::string& programFolder);

// "Restore Default": the controls and OptionSet go back to the built-in
// defaults, then SaveDefaultOptions — so the file and OptionSet hold the
// values read back from the controls (AlphaPen 204, not 205).
Status RestoreDefaultOptions(OptionControls& controls, int pictures, const tmosaicproject& project,
                             tmosaicproject& optionSet, const std::string& programFolder);

}  // namespace velmora
