// The bytes of a rendition pack: a header of 48 bytes (magic, version,
// settings, count, where the index lies, its size and checksum, the header's
// own checksum), the pixels of the renditions, then the index. Everything is
// little-endian and written field by field.
#include "library/RenditionPack.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "imaging/Checksum.h"

namespace velmora {
namespace pack {

void Put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
void Put64(uint8_t* p, uint64_t v) {
  Put32(p, uint32_t(v));
  Put32(p + 4, uint32_t(v >> 32));
}
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t Get64(const uint8_t* p) { return uint64_t(Get32(p)) | uint64_t(Get32(p + 4)) << 32; }

uint32_t Crc(const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  uLong crc = crc32(0L, Z_NULL, 0);
  while (n > 0) {
    const auto piece = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
    crc = crc32(crc, p, piece);
    p += piece;
    n -= piece;
  }
  return static_cast<uint32_t>(crc);
}

std::vector<uint8_t> EncodeIndex(const std::vector<RenditionCache::Entry>& entries) {
  size_t bytes = 0;
  for (const RenditionCache::Entry& e : entries) bytes += kEntryBytes + e.key.path.size();
  std::vector<uint8_t> b(bytes);
  uint8_t* p = b.data();
  for (const RenditionCache::Entry& e : entries) {
    Put64(p, e.key.size);
    Put64(p + 8, static_cast<uint64_t>(e.key.mtimeNs));
    Put64(p + 16, e.offset);
    Put32(p + 24, e.width);
    Put32(p + 28, e.height);
    Put32(p + 32, e.checksum);
    Put32(p + 36, static_cast<uint32_t>(e.key.path.size()));
    std::memcpy(p + kEntryBytes, e.key.path.data(), e.key.path.size());
    p += kEntryBytes + e.key.path.size();
  }
  return b;
}

std::vector<uint8_t> EncodeHeader(const RenditionCache::Header& h) {
  std::vector<uint8_t> b(RenditionCache::kHeaderBytes, 0);
  uint8_t* p = b.data();
  std::memcpy(p, kMagic, 8);
  Put32(p + 8, RenditionCache::kVersion);
  Put32(p + 12, h.settings);
  Put32(p + 16, h.count);
  Put64(p + 24, h.indexOffset);
  Put64(p + 32, h.indexBytes);
  Put32(p + 40, h.indexCrc);
  Put32(p + 44, Crc(p, 44));
  return b;
}

}  // namespace pack

using namespace pack;

Status RenditionCache::ParseHeader(std::span<const uint8_t> bytes, uint64_t fileBytes, Header& out) {
  if (bytes.size() < kHeaderBytes || fileBytes < kHeaderBytes) return Status::Error("too short to be a pack");
  const uint8_t* p = bytes.data();
  if (std::memcmp(p, kMagic, 8) != 0) return Status::Error("not a rendition pack");
  if (const uint32_t version = Get32(p + 8); version != kVersion)
    return Status::Error(Format("a pack of version %u, not %u", version, kVersion));
  if (Crc(p, 44) != Get32(p + 44)) return Status::Error("wrong header checksum");
  out.settings = Get32(p + 12);
  out.count = Get32(p + 16);
  out.indexOffset = Get64(p + 24);
  out.indexBytes = Get64(p + 32);
  out.indexCrc = Get32(p + 40);
  if (out.indexOffset < kHeaderBytes || out.indexOffset > fileBytes ||
      out.indexBytes != fileBytes - out.indexOffset)
    return Status::Error(Format("an index at %llu of %llu bytes in a file of %llu bytes",
                                static_cast<unsigned long long>(out.indexOffset),
                                static_cast<unsigned long long>(out.indexBytes),
                                static_cast<unsigned long long>(fileBytes)));
  // Each entry takes its fixed bytes and a path of 1 to kMaxPathBytes.
  if (uint64_t(out.count) > out.indexBytes / (kEntryBytes + 1) ||
      out.indexBytes > uint64_t(out.count) * (kEntryBytes + kMaxPathBytes))
    return Status::Error(Format("%u renditions in an index of %llu bytes", out.count,
                                static_cast<unsigned long long>(out.indexBytes)));
  return Status::Ok();
}

Status RenditionCache::ParseIndex(std::span<const uint8_t> index, const Header& header,
                                  std::vector<Entry>& out) {
  if (index.size() != header.indexBytes) return Status::Error("an index of the wrong size");
  if (Crc(index.data(), index.size()) != header.indexCrc) return Status::Error("wrong index checksum");
  out.clear();
  out.reserve(header.count);  // bounded by the index's bytes (ParseHeader)
  const uint8_t* p = index.data();
  const uint8_t* end = p + index.size();
  for (uint32_t i = 0; i < header.count; ++i) {
    if (size_t(end - p) < kEntryBytes) return Status::Error("an index cut short");
    Entry e;
    e.key.settings = header.settings;
    e.key.size = Get64(p);
    e.key.mtimeNs = static_cast<int64_t>(Get64(p + 8));
    e.offset = Get64(p + 16);
    e.width = Get32(p + 24);
    e.height = Get32(p + 28);
    e.checksum = Get32(p + 32);
    const uint32_t pathBytes = Get32(p + 36);
    p += kEntryBytes;
    if (pathBytes == 0 || pathBytes > kMaxPathBytes || size_t(end - p) < pathBytes)
      return Status::Error(Format("a path of %u bytes", pathBytes));
    if (e.width == 0 || e.height == 0 || e.width > uint32_t(kMaxSide) || e.height > uint32_t(kMaxSide))
      return Status::Error(Format("a picture of %u x %u pixels", e.width, e.height));
    const uint64_t pixelBytes = uint64_t(e.width) * e.height * 4;
    if (e.offset < kHeaderBytes || e.offset > header.indexOffset ||
        pixelBytes > header.indexOffset - e.offset)
      return Status::Error(
          Format("pixels at %llu past the data's end", static_cast<unsigned long long>(e.offset)));
    e.key.path.assign(reinterpret_cast<const char*>(p), pathBytes);
    p += pathBytes;
    out.push_back(std::move(e));
  }
  if (p != end) return Status::Error("bytes after the index");
  return Status::Ok();
}

std::vector<uint8_t> RenditionCache::EncodePack(
    uint32_t settings, const std::vector<std::pair<SummaryKey, TBitmap32>>& renditions) {
  std::vector<uint8_t> data;
  std::vector<Entry> entries;
  for (const auto& [key, picture] : renditions) {
    Entry e;
    e.key = key;
    e.offset = kHeaderBytes + data.size();
    e.width = static_cast<uint32_t>(picture.Width());
    e.height = static_cast<uint32_t>(picture.Height());
    const size_t at = data.size();
    data.resize(at + picture.Pixels().size() * 4);
    for (size_t i = 0; i < picture.Pixels().size(); ++i) Put32(data.data() + at + 4 * i, picture.Pixels()[i]);
    e.checksum = BulkChecksum(data.data() + at, data.size() - at);
    entries.push_back(std::move(e));
  }
  const std::vector<uint8_t> index = EncodeIndex(entries);
  Header h;
  h.settings = settings;
  h.count = static_cast<uint32_t>(entries.size());
  h.indexOffset = kHeaderBytes + data.size();
  h.indexBytes = index.size();
  h.indexCrc = Crc(index.data(), index.size());
  std::vector<uint8_t> bytes = EncodeHeader(h);
  bytes.insert(bytes.end(), data.begin(), data.end());
  bytes.insert(bytes.end(), index.begin(), index.end());
  return bytes;
}

}  // namespace velmora
