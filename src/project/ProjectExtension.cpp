#include "project/ProjectExtension.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace velmora {
namespace {

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(v >> shift));
}

uint32_t GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t Crc32(std::span<const uint8_t> bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes at most 4 GiB a call; payloads are far smaller.
  return uint32_t(crc32(crc, bytes.data(), uInt(bytes.size())));
}

bool PrintableTag(const uint8_t* p) {
  for (int i = 0; i < 4; ++i)
    if (p[i] < 0x20 || p[i] > 0x7E) return false;
  return true;
}

}  // namespace

const ExtensionBlock* ExtensionArea::Find(std::string_view tag) const {
  for (const ExtensionBlock& block : blocks)
    if (block.tag == tag) return &block;
  return nullptr;
}

std::vector<uint8_t> EncodeExtensionArea(const std::vector<ExtensionBlock>& blocks) {
  std::vector<uint8_t> out;
  if (blocks.empty()) return out;
  out.insert(out.end(), std::begin(kExtensionMagic), std::end(kExtensionMagic));
  for (const ExtensionBlock& block : blocks) {
    char tag[4] = {' ', ' ', ' ', ' '};
    std::memcpy(tag, block.tag.data(), block.tag.size() < 4 ? block.tag.size() : 4);
    out.insert(out.end(), tag, tag + 4);
    PutU16(out, block.version);
    PutU16(out, 0);
    PutU32(out, uint32_t(block.payload.size()));
    PutU32(out, Crc32(block.payload));
    out.insert(out.end(), block.payload.begin(), block.payload.end());
  }
  return out;
}

Status DecodeExtensionArea(std::span<const uint8_t> bytes, const std::string& path, ExtensionArea& out,
                           uint64_t areaBytes) {
  out = ExtensionArea{};
  if (bytes.empty()) return Status::Ok();
  if (bytes.size() < sizeof kExtensionMagic || std::memcmp(bytes.data(), kExtensionMagic, 8) != 0)
    return Status::Error(
        Format("Cannot open project file \"%s\": the file has %zu bytes more than its record "
               "describes; its part lengths are damaged.",
               path.c_str(), bytes.size()));
  areaBytes = std::max<uint64_t>(areaBytes, bytes.size());
  if (bytes.size() > kMaxExtensionAreaBytes) bytes = bytes.first(size_t(kMaxExtensionAreaBytes));
  // Where the bytes looked at end before the area does, a block running
  // past them is not damaged: it lies where reading stopped.
  const bool cutByLimit = areaBytes > bytes.size();
  const std::string pastLimit = Format(
      "%s: the extension area has %llu bytes, more than the %llu a project holds; what follows them was "
      "left out.",
      path.c_str(), (unsigned long long)areaBytes, (unsigned long long)kMaxExtensionAreaBytes);
  std::string stop;  // why reading ended before the last byte, if it did
  size_t damaged = 0;
  size_t looked = 0;
  size_t at = sizeof kExtensionMagic;
  while (at < bytes.size() && stop.empty()) {
    const size_t left = bytes.size() - at;
    const uint8_t* head = bytes.data() + at;
    if (looked++ == kMaxExtensionBlocks) {
      stop = Format(
          "%s: the extension area holds more than %zu blocks; those after the first %zu were left "
          "out.",
          path.c_str(), kMaxExtensionBlocks, kMaxExtensionBlocks);
    } else if (left < kExtensionHeaderBytes && cutByLimit) {
      stop = pastLimit;
    } else if (left < kExtensionHeaderBytes || !PrintableTag(head)) {
      stop = Format("%s: the extension area is damaged at byte %zu of it; what follows was left out.",
                    path.c_str(), at);
    } else {
      ExtensionBlock block;
      block.tag.assign(reinterpret_cast<const char*>(head), 4);
      block.version = uint16_t(head[4] | head[5] << 8);
      const uint32_t length = GetU32(head + 8);
      const uint32_t crc = GetU32(head + 12);
      if (length > left - kExtensionHeaderBytes) {
        stop = cutByLimit && at + kExtensionHeaderBytes + uint64_t(length) <= areaBytes
                   ? pastLimit
                   : Format(
                         "%s: the extension block \"%s\" is cut off (%u bytes announced, %llu present); "
                         "it was left out.",
                         path.c_str(), block.tag.c_str(), length,
                         (unsigned long long)(areaBytes - at - kExtensionHeaderBytes));
        break;
      }
      const std::span<const uint8_t> payload = bytes.subspan(at + kExtensionHeaderBytes, length);
      at += kExtensionHeaderBytes + length;
      if (Crc32(payload) == crc) {
        block.payload.assign(payload.begin(), payload.end());
        out.blocks.push_back(std::move(block));
      } else if (++damaged <= kMaxExtensionBlockWarnings) {
        out.warnings.push_back(
            Format("%s: the extension block \"%s\" is damaged (checksum mismatch); it was left out.",
                   path.c_str(), block.tag.c_str()));
      }
    }
  }
  if (stop.empty() && cutByLimit) stop = pastLimit;
  if (damaged > kMaxExtensionBlockWarnings)
    out.warnings.push_back(Format("%s: %zu more damaged extension blocks were left out.", path.c_str(),
                                  damaged - kMaxExtensionBlockWarnings));
  if (!stop.empty()) out.warnings.push_back(std::move(stop));
  return Status::Ok();
}

}  // namespace velmora
