#include "library/AppendPictures.h"

#include <string_view>
#include <unordered_set>

namespace velmora {

AppendOutcome AppendPictures(CellPicList& list, const std::vector<std::string>& paths) {
  AppendOutcome outcome;
  std::unordered_set<std::string> listed(list.Paths().begin(), list.Paths().end());
  for (const std::string& path : paths) {
    if (listed.count(path)) {
      ++outcome.Skipped;
      continue;
    }
    if (!list.Append(path)) {
      outcome.LimitReached = true;
      break;
    }
    listed.insert(path);
    ++outcome.Appended;
  }
  return outcome;
}

}  // namespace velmora
