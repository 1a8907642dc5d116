// libFuzzer target for reopening a project through the band renderer, as
// `velmora-cli render` does. The input is a project file's head (see
// FuzzProjectFile.h) followed by the cell map entries of the grid's cells,
// row by row, 20 bytes each: the harness puts them where the file keeps
// them, so mutations reach the renderer instead of 14.6 MB of padding.
// Library pictures are never read from disk: each path gives a small
// flat picture, or a read error when its length is odd. Mosaics over one
// megapixel are skipped to keep runs quick; the renderer's size rules are
// the reader's and are fuzzed there.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "FuzzProjectFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora;
  static fuzz::MemoryFile file;
  const fuzz::ProjectInput in = fuzz::SplitProjectInput(data, size);
  if (in.headSize < 4 + kRecordSize) return 0;
  // Cell (x, y) of the record's grid at x * 800 + y of the cell map.
  const int32_t across = LoadI32LE(data + 4 + 52);
  const int32_t down = LoadI32LE(data + 4 + 56);
  if (across < 1 || across > kMapSide || down < 1 || down > kMapSide) return 0;
  const uint64_t mapAt = in.headSize + kLibraryTableBytes;
  std::vector<uint8_t> map;
  const uint8_t* cells = data + in.headSize;
  const size_t cellCount = (size - in.headSize) / kCellMapEntryBytes;
  const size_t given = std::min(cellCount, size_t(across) * size_t(down));
  if (given > 0) {
    // Up to the last column a given cell lies in.
    const size_t columns = std::min(given, size_t(across));
    map.assign(columns * kMapSide * kCellMapEntryBytes, 0);
    for (size_t i = 0; i < given; ++i) {
      const size_t x = i % size_t(across), y = i / size_t(across);
      std::copy_n(cells + i * kCellMapEntryBytes, kCellMapEntryBytes,
                  map.begin() + (x * kMapSide + y) * kCellMapEntryBytes);
    }
  }
  if (!file.Fill(data, in.headSize, map.data(), map.size(), mapAt, in.fileLength)) return 0;

  // Read into tables allocated once and swapped into the engine, as
  // LoadProjectFile replaces the engine's state, without 14.6 MB of fresh
  // tables per run.
  static auto content = std::make_unique<ProjectFileContent>();
  static auto engine = std::make_unique<Engine>();
  if (!ReadProjectFile(file.path(), *content).ok()) return 0;
  engine->Project = content->Project;
  engine->MainBitmap.TakePixels(content->MainBitmap);
  engine->PicList.Assign(content->PicList);
  std::swap(engine->Library, content->Library);
  std::swap(engine->Map, content->Map);
  const tmosaicproject& p = engine->Project;
  if (int64_t(p.FinalWidth) * p.FinalHeight > (int64_t(1) << 20)) return 0;
  // Each band looks at every cell: bands x cells is the run's cost.
  const int bandRows = 1 + int(size % 97);
  if ((int64_t(p.FinalHeight) / bandRows + 1) * p.CellsAcross * p.CellsDown > (int64_t(20) << 20)) return 0;
  engine->SetThreadCount(1);
  engine->SetPictureLoader([](TBitmap32& target, const std::string& path, const DecodeHints&) {
    if (path.size() % 2 == 1) return Status::Error("Cannot open file \"" + path + "\".");
    VELMORA_TRY(target.SetSize(int(path.size() % 7) + 1, int(path.size() % 5) + 1));
    target.Fill(Color32(uint8_t(path.size()), 128, 64));
    return Status::Ok();
  });
  int rows = 0;
  const Status status = engine->ReopenProjectInBands(bandRows, [&](const TBitmap32& band, int n) {
    if (band.Width() != p.FinalWidth || n < 1 || n > bandRows || n > band.Height()) __builtin_trap();
    rows += n;
    return Status::Ok();
  });
  if (status.ok() && rows != p.FinalHeight) __builtin_trap();
  return 0;
}
