// Appending found picture files to the library, as the loader does: path by
// path until the list is full; the paths added before that stay. A path the
// list already holds (or that came earlier in the same batch) is skipped:
// adding a folder twice would otherwise weigh each of its photos double.
#pragma once

#include <string>
#include <vector>

#include "library/CellPicList.h"

namespace velmora {

struct AppendOutcome {
  int Appended = 0;
  int Skipped = 0;  // already in the list
  // A path was refused because the list already held MaxLibraryPictures.
  bool LimitReached = false;
};

AppendOutcome AppendPictures(CellPicList& list, const std::vector<std::string>& paths);

}  // namespace velmora
