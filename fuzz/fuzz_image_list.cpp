// libFuzzer target for the image list reader. Any text splits into entries
// without crashing, and whatever it gives must survive the writer: the stored
// text of those entries reads back as the same entries.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "library/ImageListFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora;
  std::vector<std::string> entries = ParseImageListText(std::span<const uint8_t>(data, size));
  if (entries.size() > static_cast<size_t>(MaxLibraryPictures)) __builtin_trap();

  CellPicList list;
  list.Assign(entries);
  if (!CheckStorableList(list).ok()) __builtin_trap();
  const std::vector<uint8_t> text = ImageListText(list);
  if (text.size() != ImageListTextSize(list)) __builtin_trap();
  if (ParseImageListText(text) != entries) __builtin_trap();
  return 0;
}
