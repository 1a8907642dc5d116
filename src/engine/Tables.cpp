#include "engine/Tables.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>

#include "imaging/LittleEndian.h"

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

namespace {

constexpr size_t kCellMapMappedBytes = size_t(kMapSide) * kMapSide * sizeof(CellMapEntry);

CellMapEntry* MapZeroEntries() {
  void* p = ::mmap(nullptr, kCellMapMappedBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  return static_cast<CellMapEntry*>(p);
}

}  // namespace

static_assert(std::is_trivially_copyable_v<CellMapEntry> && std::is_trivially_destructible_v<CellMapEntry>,
              "cell map entries live in plain mapped memory");

CellMap::CellMap() : entries_(MapZeroEntries()) {}

CellMap::CellMap(const CellMap& other) : entries_(MapZeroEntries()) {
  std::memcpy(entries_, other.entries_, kCellMapMappedBytes);
  columns_.store(other.columns_.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

CellMap& CellMap::operator=(const CellMap& other) {
  if (this == &other) return *this;
  std::memcpy(entries_, other.entries_, kCellMapMappedBytes);
  columns_.store(std::max(columns_.load(std::memory_order_relaxed), other.columns_.load(std::memory_order_relaxed)),
                 std::memory_order_relaxed);
  return *this;
}

void CellMap::NoteColumn(int x) {
  const int wanted = std::clamp(x + 1, 0, kMapSide);
  int now = columns_.load(std::memory_order_relaxed);
  while (now < wanted && !columns_.compare_exchange_weak(now, wanted, std::memory_order_relaxed)) {
  }
}

CellMap::~CellMap() { ::munmap(entries_, kCellMapMappedBytes); }

void CellMap::Clear() {
  // Columns no entry was handed out of for writing are blank already (they
  // are not even read, so their pages stay the system's zero pages); in the
  // others only entries that are not blank are written.
  const size_t used = static_cast<size_t>(columns_.load(std::memory_order_relaxed)) * kMapSide;
  for (CellMapEntry& e : std::span<CellMapEntry>(entries_, used)) {
    if (!e.Assigned && e.PicIndex == -1) continue;
    e.Assigned = false;
    e.PicIndex = -1;
  }
  columns_.store(0, std::memory_order_relaxed);
}

void CellMap::WriteBytes(std::span<uint8_t, kCellMapBytes> out) const {
  uint8_t* d = out.data();
  for (const CellMapEntry& e : std::span<const CellMapEntry>(entries_, kEntries)) {
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
  const size_t end = std::min(kEntries, first + in.size() / kCellMapEntryBytes);
  if (end > first) NoteColumn(static_cast<int>((end - 1) / kMapSide));
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
