// libFuzzer target for the project-file reader. The input is a project
// file's head and the start of its tables (see FuzzProjectFile.h). Any bytes
// must be read or refused with a message; what is read must satisfy every
// rule the reader promises.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "FuzzProjectFile.h"
#include "library/CellPicList.h"
#include "project/OptionRanges.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora;
  static fuzz::MemoryFile file;
  static auto content = std::make_unique<ProjectFileContent>();  // the tables are allocated once
  const fuzz::ProjectInput in = fuzz::SplitProjectInput(data, size);
  if (!file.Fill(data, in.headSize, data + in.headSize, size - in.headSize, in.headSize, in.fileLength))
    return 0;
  if (!ReadProjectFile(file.path(), *content).ok()) return 0;

  const tmosaicproject& p = content->Project;
  if (p.CellsAcross < 1 || p.CellsAcross > kMapSide || p.CellsDown < 1 || p.CellsDown > kMapSide)
    __builtin_trap();
  if (int64_t(p.FinalWidth) != int64_t(p.CellsAcross) * p.CellWidth) __builtin_trap();
  if (int64_t(p.FinalHeight) != int64_t(p.CellsDown) * p.CellHeight) __builtin_trap();
  if (!OptionOutOfRange(p).empty()) __builtin_trap();
  if (content->PicList.size() > size_t(MaxLibraryPictures)) __builtin_trap();
  return 0;
}
