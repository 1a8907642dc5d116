// Whether a stored project can be opened in memory. A project may describe a
// poster of up to 512,000 pixels a side, which the command line renders in
// bands into a file; the desktop program (and OpenProject) hold the whole
// mosaic as one picture, so a project past the picture limit is refused
// before anything of it is read beyond its record, with a message that says
// how to render it instead.
#pragma once

#include <string>

#include "engine/ProjectRecord.h"
#include "imaging/Status.h"

namespace velmora {

// Reads RecordLength and the 144-byte record of a project file, nothing else.
// Refuses a file that is not a regular file, is shorter than the record or
// whose RecordLength is not 144.
Status ReadProjectRecord(const std::string& path, tmosaicproject& out);

// True when the mosaic of `project` fits the picture limit of a bitmap.
bool FitsInMemory(const tmosaicproject& project);

// The refusal for a project too large to show: its size, the limit, and the
// velmora-cli command that renders it into a TIFF file beside the project.
std::string TooLargeToShowMessage(const std::string& path, const tmosaicproject& project);

// ReadProjectRecord, then the refusal above when the mosaic is too large.
// A file whose record cannot be read passes: the full read reports why.
Status CheckProjectCanBeShown(const std::string& path);

}  // namespace velmora
