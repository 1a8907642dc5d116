#include "library/AppendPictures.h"

namespace velmora {

AppendOutcome AppendPictures(CellPicList& list, const std::vector<std::string>& paths) {
  AppendOutcome outcome;
  for (const std::string& path : paths) {
    if (!list.Append(path)) {
      outcome.LimitReached = true;
      break;
    }
    ++outcome.Appended;
  }
  return outcome;
}

}  // namespace velmora
