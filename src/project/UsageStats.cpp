#include "project/UsageStats.h"

#include <algorithm>
#include <span>

#include "imaging/FileIO.h"

namespace velmora {
namespace {

struct CellAt {
  int X;
  int Y;
};

// The cells showing each picture, in scan order (columns from the left, each
// column from the top). One pass over the grid instead of one per picture:
// the lines come out the same, without a grid scan per library picture.
std::vector<std::vector<CellAt>> CellsByPicture(size_t pictures, const CellMap& map, int cellsAcross,
                                                int cellsDown, const BlockMap* blocks) {
  std::vector<std::vector<CellAt>> cells(pictures);
  const int cols = std::clamp(cellsAcross, 0, kMapSide);
  const int rows = std::clamp(cellsDown, 0, kMapSide);
  for (int x = 0; x < cols; ++x)
    for (int y = 0; y < rows; ++y) {
      const CellMapEntry& e = map.At(x, y);
      if (!e.Assigned || e.PicIndex < 0 || static_cast<size_t>(e.PicIndex) >= pictures) continue;
      // A block is one tile: counted at its first cell only.
      if (blocks != nullptr)
        if (const int b = blocks->BlockAt(x, y);
            b >= 0 && (blocks->Blocks()[size_t(b)].X != x || blocks->Blocks()[size_t(b)].Y != y))
          continue;
      cells[static_cast<size_t>(e.PicIndex)].push_back(CellAt{x, y});
    }
  return cells;
}

}  // namespace

std::string FileNamePart(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> UsageNames(const CellPicList& list, bool fileNamesOnly) {
  std::vector<std::string> names;
  names.reserve(static_cast<size_t>(list.Count()));
  for (const std::string& path : list.Paths()) names.push_back(fileNamesOnly ? FileNamePart(path) : path);
  return names;
}

std::vector<std::string> UsageDetailLines(const std::vector<std::string>& names, const CellMap& map,
                                          int cellsAcross, int cellsDown, const BlockMap* blocks) {
  const auto cells = CellsByPicture(names.size(), map, cellsAcross, cellsDown, blocks);
  std::vector<std::string> lines;
  size_t total = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    if (cells[i].empty()) continue;
    std::string line = names[i] + " POSITIONS: ";
    for (const CellAt& c : cells[i])
      line += " x:" + std::to_string(c.X + 1) + " y:" + std::to_string(c.Y + 1) + "  ||  ";
    line += "  Total used time:" + std::to_string(cells[i].size());
    lines.push_back(std::move(line));
    total += cells[i].size();
  }
  lines.push_back("total ok cell" + std::to_string(total));
  return lines;
}

std::vector<std::string> UsageSimpleLines(const std::vector<std::string>& names, const CellMap& map,
                                          int cellsAcross, int cellsDown, const BlockMap* blocks) {
  const auto cells = CellsByPicture(names.size(), map, cellsAcross, cellsDown, blocks);
  std::vector<std::string> lines;
  for (size_t i = 0; i < names.size(); ++i)
    if (!cells[i].empty()) lines.push_back(names[i] + "Total used time:" + std::to_string(cells[i].size()));
  return lines;
}

Status SaveUsageText(const std::vector<std::string>& lines, const std::string& path) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return WriteFileAtomically(
      path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace velmora
