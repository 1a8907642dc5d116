// The engine's fixed tables: LibraryTable (one colour summary and use counter
// per library picture), CellMap (what every grid cell shows) and DrawnFlags.
// They are allocated once at their full size and never resized; project files
// store LibraryTable and CellMap whole, in the byte layouts below.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/ColorSignature.h"

namespace velmora {

constexpr int kLibraryTableSize = 65536;
constexpr size_t kLibraryEntryBytes = 28;
constexpr size_t kLibraryTableBytes = kLibraryTableSize * kLibraryEntryBytes;  // 1,835,008

constexpr int kMapSide = 800;
constexpr size_t kCellMapEntryBytes = 20;
constexpr size_t kCellMapBytes = size_t(kMapSide) * kMapSide * kCellMapEntryBytes;  // 12,800,000

struct LibraryEntry {
  ColorSignature Signature;
  int32_t UseCount = 0;
  int32_t Spare = 0;  // written 0, never read
};

// A library index held as index + 1 (modulo 2^32), so that a zero word
// reads -1, "no picture": an entry of all zero bytes is a blank entry, and
// the cell map can start as untouched zero pages. It reads and assigns as
// an int32_t.
class PicIndexField {
public:
  PicIndexField() = default;
  PicIndexField(int32_t index) : stored_(static_cast<uint32_t>(index) + 1u) {}  // NOLINT: reads as an int
  operator int32_t() const { return static_cast<int32_t>(stored_ - 1u); }     // NOLINT

private:
  uint32_t stored_ = 0;
};

struct CellMapEntry {
  PicIndexField PicIndex;  // -1: none (always in self-mosaic mode)
  int32_t DeltaRed = 0;   // picture mean minus cell mean
  int32_t DeltaGreen = 0;
  int32_t DeltaBlue = 0;
  bool Assigned = false;
  bool HFlip = false;
  bool VFlip = false;
};

class LibraryTable {
public:
  LibraryTable() : entries_(kLibraryTableSize) {}
  LibraryEntry& operator[](int k) { return entries_[static_cast<size_t>(k)]; }
  const LibraryEntry& operator[](int k) const { return entries_[static_cast<size_t>(k)]; }

  // 28 bytes per entry: signature, UseCount, Spare (0).
  void WriteBytes(std::span<uint8_t, kLibraryTableBytes> out) const;
  void ReadBytes(std::span<const uint8_t, kLibraryTableBytes> in);
  // Entries from `first` on, from whole records of `in` (a reader streams the
  // table in chunks instead of holding all of it).
  void ReadBytes(size_t first, std::span<const uint8_t> in);

private:
  std::vector<LibraryEntry> entries_;
};

// Indexed by column, then row: cell (x, y) is record x * 800 + y.
//
// The 800 x 800 entries (12.8 MB) live in memory of their own, mapped from
// the system's zero pages: a blank entry is all zero bytes, so making the map
// and clearing it write only to the pages cells were written to.
class CellMap {
public:
  CellMap();
  CellMap(const CellMap& other);
  CellMap& operator=(const CellMap& other);
  ~CellMap();
  CellMapEntry& At(int x, int y) {
    if (x >= columns_.load(std::memory_order_relaxed)) NoteColumn(x);
    return entries_[static_cast<size_t>(x) * kMapSide + y];
  }
  const CellMapEntry& At(int x, int y) const { return entries_[static_cast<size_t>(x) * kMapSide + y]; }
  // Every one of the 800 x 800 entries: not assigned, no picture. Deltas and
  // flips are left; they are always rewritten before use.
  void Clear();

  void WriteBytes(std::span<uint8_t, kCellMapBytes> out) const;
  void ReadBytes(std::span<const uint8_t, kCellMapBytes> in);
  // Records from `first` on (in file order, x * 800 + y), from whole records of `in`.
  void ReadBytes(size_t first, std::span<const uint8_t> in);

private:
  static constexpr size_t kEntries = size_t(kMapSide) * kMapSide;
  // Raises columns_ past x.
  void NoteColumn(int x);
  CellMapEntry* entries_ = nullptr;
  // The columns that may hold entries other than blank ones since the last
  // Clear: every entry written is handed out by the writable At (or read
  // from bytes), which notes its column. Threads may share it.
  std::atomic<int> columns_{0};
};

class DrawnFlags {
public:
  DrawnFlags() : flags_(size_t(kMapSide) * kMapSide, 0) {}
  bool Get(int x, int y) const { return flags_[static_cast<size_t>(x) * kMapSide + y] != 0; }
  void Set(int x, int y, bool v) { flags_[static_cast<size_t>(x) * kMapSide + y] = v; }
  void Clear(int cols, int rows);

private:
  std::vector<uint8_t> flags_;
};

}  // namespace velmora
