#include "imaging/formats/HeifItems.h"

#include <algorithm>
#include <optional>

namespace velmora {

namespace {

// Big-endian fields read from a span, failing once past its end.
class Fields {
public:
  explicit Fields(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t Left() const { return bytes_.size() - at_; }
  std::span<const uint8_t> Rest() const { return bytes_.subspan(at_); }

  // `size` bytes, 0 to 8 (0 reads as zero).
  bool Read(int size, uint64_t& value) {
    value = 0;
    if (size < 0 || size > 8 || Left() < size_t(size)) return false;
    for (int i = 0; i < size; ++i) value = (value << 8) | bytes_[at_++];
    return true;
  }
  bool Read32(uint32_t& value) {
    uint64_t v = 0;
    if (!Read(4, v)) return false;
    value = static_cast<uint32_t>(v);
    return true;
  }
  // A 16-bit field below version 1 of a box, 32-bit from it on.
  bool ReadId(int version, uint32_t& value) {
    uint64_t v = 0;
    if (!Read(version < 1 ? 2 : 4, v)) return false;
    value = static_cast<uint32_t>(v);
    return true;
  }
  bool Skip(size_t count) {
    if (Left() < count) return false;
    at_ += count;
    return true;
  }

private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

struct Box {
  uint32_t type = 0;
  std::span<const uint8_t> body;
};

// The boxes one after another in `bytes`; nothing when one runs past the
// end, unless `uptoBroken`: then those before it. (A file cut short in its
// picture data still has its 'meta' box whole, and the library decides.)
std::optional<std::vector<Box>> Boxes(std::span<const uint8_t> bytes, bool uptoBroken = false) {
  std::vector<Box> boxes;
  Fields f(bytes);
  const auto broken = [&]() -> std::optional<std::vector<Box>> {
    if (uptoBroken) return boxes;
    return std::nullopt;
  };
  while (f.Left() > 0) {
    uint64_t size = 0, type = 0;
    if (!f.Read(4, size) || !f.Read(4, type)) return broken();
    size_t header = 8;
    if (size == 1) {
      if (!f.Read(8, size)) return broken();
      header = 16;
    } else if (size == 0) {
      size = f.Left() + header;
    }
    if (size < header || size - header > f.Left()) return broken();
    boxes.push_back({static_cast<uint32_t>(type), f.Rest().first(size - header)});
    f.Skip(size - header);
  }
  return boxes;
}

Status Broken(const char* what) {
  return Status::Error(Format("Cannot load image. Invalid or unexpected HEIF image format (%s).", what));
}

// A full box's version; `body` is left after its version and flags.
bool FullBox(Fields& f, int& version, uint32_t& flags) {
  uint32_t word = 0;
  if (!f.Read32(word)) return false;
  version = static_cast<int>(word >> 24);
  flags = word & 0xFFFFFF;
  return true;
}

Status ReadItemInfo(std::span<const uint8_t> body, HeifItems& out) {
  Fields f(body);
  int version = 0;
  uint32_t flags = 0, count = 0;
  if (!FullBox(f, version, flags) || !f.ReadId(version, count)) return Broken("item list cut short");
  const auto entries = Boxes(f.Rest());
  if (!entries) return Broken("item list cut short");
  for (const Box& entry : *entries) {
    if (entry.type != HeifCode("infe")) continue;
    Fields e(entry.body);
    uint32_t id = 0, type = 0;
    // Entries before version 2 name no item type: nothing here decodes them.
    if (!FullBox(e, version, flags)) return Broken("item entry cut short");
    if (version < 2) continue;
    if (!e.ReadId(version - 2, id) || !e.Skip(2) || !e.Read32(type)) return Broken("item entry cut short");
    out.items[id].type = type;
  }
  return Status::Ok();
}

Status ReadItemLocations(std::span<const uint8_t> body, HeifItems& out) {
  Fields f(body);
  int version = 0;
  uint32_t flags = 0;
  uint64_t sizes = 0, count = 0;
  if (!FullBox(f, version, flags) || version > 2 || !f.Read(2, sizes))
    return Broken("item locations cut short");
  const int offsetSize = int(sizes >> 12) & 15, lengthSize = int(sizes >> 8) & 15;
  const int baseSize = int(sizes >> 4) & 15, indexSize = version >= 1 ? int(sizes & 15) : 0;
  if (!f.Read(version < 2 ? 2 : 4, count)) return Broken("item locations cut short");
  for (uint64_t i = 0; i < count; ++i) {
    uint32_t id = 0;
    uint64_t method = 0, extents = 0;
    if (!f.ReadId(version < 2 ? 0 : 1, id)) return Broken("item locations cut short");
    HeifItem& item = out.items[id];
    if (version >= 1 && !f.Read(2, method)) return Broken("item locations cut short");
    item.constructionMethod = static_cast<int>(method & 15);
    if (!f.Skip(2) || !f.Read(baseSize, item.baseOffset) || !f.Read(2, extents))
      return Broken("item locations cut short");
    item.extents.clear();
    for (uint64_t e = 0; e < extents; ++e) {
      uint64_t index = 0, offset = 0, length = 0;
      if (!f.Read(indexSize, index) || !f.Read(offsetSize, offset) || !f.Read(lengthSize, length))
        return Broken("item locations cut short");
      item.extents.emplace_back(offset, length);
    }
    item.located = true;
  }
  return Status::Ok();
}

Status ReadProperties(std::span<const uint8_t> body, HeifItems& out) {
  const auto boxes = Boxes(body);
  if (!boxes) return Broken("item properties cut short");
  std::vector<Box> properties;
  for (const Box& box : *boxes)
    if (box.type == HeifCode("ipco")) {
      const auto list = Boxes(box.body);
      if (!list) return Broken("item properties cut short");
      properties.insert(properties.end(), list->begin(), list->end());
    }
  for (const Box& box : *boxes) {
    if (box.type != HeifCode("ipma")) continue;
    Fields f(box.body);
    int version = 0;
    uint32_t flags = 0, entries = 0;
    if (!FullBox(f, version, flags) || !f.Read32(entries)) return Broken("item properties cut short");
    for (uint32_t i = 0; i < entries; ++i) {
      uint32_t id = 0;
      uint64_t associations = 0;
      if (!f.ReadId(version, id) || !f.Read(1, associations)) return Broken("item properties cut short");
      HeifItem& item = out.items[id];
      for (uint64_t a = 0; a < associations; ++a) {
        uint64_t index = 0;
        if (!f.Read((flags & 1) != 0 ? 2 : 1, index)) return Broken("item properties cut short");
        index &= (flags & 1) != 0 ? 0x7FFF : 0x7F;  // without the bit saying it is essential
        if (index == 0) continue;
        if (index > properties.size()) return Broken("an item names a property that is not there");
        const Box& property = properties[index - 1];
        if (property.type == HeifCode("hvcC")) {
          item.hvcC = property.body;
        } else if (property.type == HeifCode("av1C")) {
          item.av1C = property.body;
        } else if (property.type == HeifCode("ispe")) {
          Fields p(property.body);
          uint32_t width = 0, height = 0;
          if (!p.Skip(4) || !p.Read32(width) || !p.Read32(height)) return Broken("picture size cut short");
          item.ispeWidth = width;
          item.ispeHeight = height;
        }
      }
    }
  }
  return Status::Ok();
}

Status ReadReferences(std::span<const uint8_t> body, HeifItems& out) {
  Fields f(body);
  int version = 0;
  uint32_t flags = 0;
  if (!FullBox(f, version, flags)) return Broken("item references cut short");
  const auto boxes = Boxes(f.Rest());
  if (!boxes) return Broken("item references cut short");
  for (const Box& box : *boxes) {
    if (box.type != HeifCode("dimg") && box.type != HeifCode("auxl")) continue;
    Fields r(box.body);
    uint32_t from = 0;
    uint64_t count = 0;
    if (!r.ReadId(version, from) || !r.Read(2, count)) return Broken("item references cut short");
    for (uint64_t i = 0; i < count; ++i) {
      uint32_t to = 0;
      if (!r.ReadId(version, to)) return Broken("item references cut short");
      if (box.type == HeifCode("dimg"))
        out.items[from].derivedFrom.push_back(to);
      else
        out.items[to].auxiliaries.push_back(from);
    }
  }
  return Status::Ok();
}

}  // namespace

Status ReadHeifItems(std::span<const uint8_t> file, HeifItems& out) {
  out = HeifItems{};
  const auto top = Boxes(file, true);
  const auto meta =
      std::find_if(top->begin(), top->end(), [](const Box& b) { return b.type == HeifCode("meta"); });
  if (meta == top->end()) return Broken("no 'meta' box");
  Fields f(meta->body);
  int version = 0;
  uint32_t flags = 0;
  if (!FullBox(f, version, flags)) return Broken("'meta' box cut short");
  const auto boxes = Boxes(f.Rest());
  if (!boxes) return Broken("a box runs past the end of its 'meta' box");
  bool hasPrimary = false;
  for (const Box& box : *boxes) {
    if (box.type == HeifCode("pitm")) {
      Fields p(box.body);
      if (!FullBox(p, version, flags) || !p.ReadId(version, out.primary))
        return Broken("'pitm' box cut short");
      hasPrimary = true;
    } else if (box.type == HeifCode("iinf")) {
      VELMORA_TRY(ReadItemInfo(box.body, out));
    } else if (box.type == HeifCode("iloc")) {
      VELMORA_TRY(ReadItemLocations(box.body, out));
    } else if (box.type == HeifCode("iprp")) {
      VELMORA_TRY(ReadProperties(box.body, out));
    } else if (box.type == HeifCode("iref")) {
      VELMORA_TRY(ReadReferences(box.body, out));
    } else if (box.type == HeifCode("idat")) {
      out.idat = box.body;
    }
  }
  if (!hasPrimary) return Broken("no primary picture");
  return Status::Ok();
}

Status ReadHeifItemData(std::span<const uint8_t> file, const HeifItems& items, const HeifItem& item,
                        const char* what, size_t count, std::vector<uint8_t>& out) {
  out.clear();
  if (!item.located) return Broken(Format("the %s's data is not located", what).c_str());
  if (item.constructionMethod > 1)
    return Broken(Format("the %s's data is stored in a way not read here", what).c_str());
  const Status outside = Broken(Format("the %s's data lies outside the box holding it", what).c_str());
  const std::span<const uint8_t> source = item.constructionMethod == 0 ? file : items.idat;
  for (const auto& [offset, length] : item.extents) {
    if (out.size() >= count) break;
    const uint64_t start = item.baseOffset + offset;
    // A length of zero is the whole of what the data lies in.
    if (start < item.baseOffset || start > source.size()) return outside;
    const uint64_t available = source.size() - start;
    const uint64_t size = length == 0 ? available : length;
    if (size > available) return outside;
    const size_t take = static_cast<size_t>(std::min<uint64_t>(size, count - out.size()));
    out.insert(out.end(), source.begin() + static_cast<std::ptrdiff_t>(start),
               source.begin() + static_cast<std::ptrdiff_t>(start + take));
  }
  return Status::Ok();
}

}  // namespace velmora
