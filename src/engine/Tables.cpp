#include "engine/Tables.h"

#include <algorithm>

#include "engine/LittleEndian.h"

namespace velmora {

void LibraryTable::WriteBytes(std::span<uint8_t, kLibraryTableBytes> out) const {
  uint8_t* d = out.data();
  for (const LibraryEntry& e : entries_) {
    const auto sig = e.Signature.Bytes();
    std::copy(sig.begin(), sig.end(), d);
    StoreI32LE(d + 20, e.UseCount);
    StoreI32LE(d + 24, 0);
    d += kLibraryEntryBytes;
  }
}

void LibraryTable::ReadBytes(std::span<const uint8_t, kLibraryTableBytes> in) { ReadBytes(0, in); }

void LibraryTable::ReadBytes(size_t first, std::span<const uint8_t> in) {
  const uint8_t* s = in.data();
  const size_t end = std::min(entries_.size(), first + in.size() / kLibraryEntryBytes);
  for (size_t k = first; k < end; ++k, s += kLibraryEntryBytes) {
    LibraryEntry& e = entries_[k];
    e.Signature = ColorSignature::FromBytes(s);
    e.UseCount = LoadI32LE(s + 20);
    e.Spare = 0;
  }
}

void CellMap::Clear() {
  for (CellMapEntry& e : entries_) {
    e.Assigned = false;
    e.PicIndex = -1;
  }
}

void CellMap::WriteBytes(std::span<uint8_t, kCellMapBytes> out) const {
  uint8_t* d = out.data();
  for (const CellMapEntry& e : entries_) {
    StoreI32LE(d, e.PicIndex);
    StoreI32LE(d + 4, e.DeltaRed);
    StoreI32LE(d + 8, e.DeltaGreen);
    StoreI32LE(d + 12, e.DeltaBlue);
    d[16] = e.Assigned;
    d[17] = e.HFlip;
    d[18] = e.VFlip;
    d[19] = 0;
    d += kCellMapEntryBytes;
  }
}

void CellMap::ReadBytes(std::span<const uint8_t, kCellMapBytes> in) { ReadBytes(0, in); }

void CellMap::ReadBytes(size_t first, std::span<const uint8_t> in) {
  const uint8_t* s = in.data();
  const size_t end = std::min(entries_.size(), first + in.size() / kCellMapEntryBytes);
  for (size_t k = first; k < end; ++k) {
    CellMapEntry& e = entries_[k];
    e.PicIndex = LoadI32LE(s);
    e.DeltaRed = LoadI32LE(s + 4);
    e.DeltaGreen = LoadI32LE(s + 8);
    e.DeltaBlue = LoadI32LE(s + 12);
    e.Assigned = s[16] != 0;
    e.HFlip = s[17] != 0;
    e.VFlip = s[18] != 0;
    s += kCellMapEntryBytes;
  }
}

void DrawnFlags::Clear(int cols, int rows) {
  for (int x = 0; x < cols && x < kMapSide; ++x)
    for (int y = 0; y < rows && y < kMapSide; ++y) Set(x, y, false);
}

}  // namespace velmora
