#include "project/ProjectExtension.h"

#include <zlib.h>

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

Status DecodeExtensionArea(std::span<const uint8_t> bytes, const std::string& path, ExtensionArea& out) {
  out = ExtensionArea{};
  if (bytes.empty()) return Status::Ok();
  if (bytes.size() < sizeof kExtensionMagic || std::memcmp(bytes.data(), kExtensionMagic, 8) != 0)
    return Status::Error(
        Format("Cannot open project file \"%s\": the file has %zu bytes more than its record "
               "describes; its part lengths are damaged.",
               path.c_str(), bytes.size()));
  size_t at = sizeof kExtensionMagic;
  while (at < bytes.size()) {
    const size_t left = bytes.size() - at;
    const uint8_t* head = bytes.data() + at;
    if (left < kExtensionHeaderBytes || !PrintableTag(head)) {
      out.warnings.push_back(
          Format("%s: the extension area is damaged at byte %zu of it; what follows was left out.",
                 path.c_str(), at));
      break;
    }
    ExtensionBlock block;
    block.tag.assign(reinterpret_cast<const char*>(head), 4);
    block.version = uint16_t(head[4] | head[5] << 8);
    const uint32_t length = GetU32(head + 8);
    const uint32_t crc = GetU32(head + 12);
    if (length > left - kExtensionHeaderBytes) {
      out.warnings.push_back(
          Format("%s: the extension block \"%s\" is cut off (%u bytes announced, %zu present); "
                 "it was left out.",
                 path.c_str(), block.tag.c_str(), length, left - kExtensionHeaderBytes));
      break;
    }
    const std::span<const uint8_t> payload = bytes.subspan(at + kExtensionHeaderBytes, length);
    at += kExtensionHeaderBytes + length;
    if (Crc32(payload) != crc) {
      out.warnings.push_back(
          Format("%s: the extension block \"%s\" is damaged (checksum mismatch); it was left out.",
                 path.c_str(), block.tag.c_str()));
      continue;
    }
    block.payload.assign(payload.begin(), payload.end());
    out.blocks.push_back(std::move(block));
  }
  return Status::Ok();
}

}  // namespace velmora
