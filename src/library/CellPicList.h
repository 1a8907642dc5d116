// CellPicList: the ordered list of library picture paths. A picture is known
// everywhere by its position in it (its library index). The list is neither
// sorted nor de-duplicated and holds at most MaxLibraryPictures entries.
#pragma once

#include <string>
#include <vector>

namespace velmora {

constexpr int MaxLibraryPictures = 65535;

class CellPicList {
public:
  int Count() const { return static_cast<int>(paths_.size()); }
  bool Empty() const { return paths_.empty(); }
  const std::string& operator[](int k) const { return paths_[static_cast<size_t>(k)]; }
  const std::vector<std::string>& Paths() const { return paths_; }

  // False (and nothing added) when the list is full.
  bool Append(std::string path) {
    if (Count() >= MaxLibraryPictures) return false;
    paths_.push_back(std::move(path));
    source_.clear();
    return true;
  }
  void Delete(int k) {
    if (k >= 0 && k < Count()) paths_.erase(paths_.begin() + k);
    source_.clear();
  }
  void Clear() {
    paths_.clear();
    source_.clear();
  }
  // Replaces the whole list; entries past MaxLibraryPictures are dropped.
  void Assign(std::vector<std::string> paths) {
    if (paths.size() > static_cast<size_t>(MaxLibraryPictures)) paths.resize(MaxLibraryPictures);
    paths_ = std::move(paths);
    source_.clear();
  }

  // The image list file whose lines are the entries, one for one, so that a
  // message about entry k can name line k + 1 of it; empty when the list
  // came from elsewhere or was changed since.
  const std::string& Source() const { return source_; }
  void SetSource(std::string path) { source_ = std::move(path); }

private:
  std::vector<std::string> paths_;
  std::string source_;
};

}  // namespace velmora
