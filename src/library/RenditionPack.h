// The pack file's layout, shared by the rendition cache's reading and
// writing (RenditionCache.cpp) and the encoding and checks of its bytes
// (RenditionPack.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "library/RenditionCache.h"

namespace velmora::pack {

constexpr uint8_t kMagic[8] = {'V', 'L', 'M', 'R', 'P', 'A', 'C', 'K'};
constexpr size_t kMaxPathBytes = 4096;
// size, mtime, offset, width, height, checksum, path length; then the path
constexpr size_t kEntryBytes = 8 + 8 + 8 + 4 + 4 + 4 + 4;

void Put32(uint8_t* p, uint32_t v);
void Put64(uint8_t* p, uint64_t v);
uint32_t Get32(const uint8_t* p);
uint64_t Get64(const uint8_t* p);
uint32_t Crc(const void* data, size_t n);

std::vector<uint8_t> EncodeIndex(const std::vector<RenditionCache::Entry>& entries);
std::vector<uint8_t> EncodeHeader(const RenditionCache::Header& h);

}  // namespace velmora::pack
