#include "engine/Tables.h"

#include <algorithm>

namespace velmora {
namespace {

void PutI32(uint8_t* d, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  d[0] = static_cast<uint8_t>(u);
  d[1] = static_cast<uint8_t>(u >> 8);
  d[2] = static_cast<uint8_t>(u >> 16);
  d[3] = static_cast<uint8_t>(u >> 24);
}
int32_t GetI32(const uint8_t* s) {
  return static_cast<int32_t>(uint32_t(s[0]) | (uint32_t(s[1]) << 8) | (uint32_t(s[2]) << 16) |
                              (uint32_t(s[3]) << 24));
}

}  // namespace

void LibraryTable::WriteBytes(std::span<uint8_t, kLibraryTableBytes> out) const {
  uint8_t* d = out.data();
  for (const LibraryEntry& e : entries_) {
    const auto sig = e.Signature.Bytes();
    std::copy(sig.begin(), sig.end(), d);
    PutI32(d + 20, e.UseCount);
    PutI32(d + 24, 0);
    d += kLibraryEntryBytes;
  }
}

void LibraryTable::ReadBytes(std::span<const uint8_t, kLibraryTableBytes> in) {
  const uint8_t* s = in.data();
  for (LibraryEntry& e : entries_) {
    e.Signature = ColorSignature::FromBytes(s);
    e.UseCount = GetI32(s + 20);
    e.Spare = 0;
    s += kLibraryEntryBytes;
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
    PutI32(d, e.PicIndex);
    PutI32(d + 4, e.DeltaRed);
    PutI32(d + 8, e.DeltaGreen);
    PutI32(d + 12, e.DeltaBlue);
    d[16] = e.Assigned;
    d[17] = e.HFlip;
    d[18] = e.VFlip;
    d[19] = 0;
    d += kCellMapEntryBytes;
  }
}

void CellMap::ReadBytes(std::span<const uint8_t, kCellMapBytes> in) {
  const uint8_t* s = in.data();
  for (CellMapEntry& e : entries_) {
    e.PicIndex = GetI32(s);
    e.DeltaRed = GetI32(s + 4);
    e.DeltaGreen = GetI32(s + 8);
    e.DeltaBlue = GetI32(s + 12);
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
