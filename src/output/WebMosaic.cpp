#include "output/WebMosaic.h"

#include <algorithm>
#include <map>

namespace velmora {

std::vector<DeepZoomLevel> DeepZoomLevels(int width, int height, int tileSize) {
  std::vector<DeepZoomLevel> levels;
  if (width <= 0 || height <= 0 || tileSize <= 0) return levels;
  // Built from the whole picture down: each level is the one above halved,
  // rounded up, until a single pixel is left.
  int64_t w = width, h = height;
  for (;;) {
    levels.push_back(DeepZoomLevel{int(w), int(h), int((w + tileSize - 1) / tileSize),
                                   int((h + tileSize - 1) / tileSize)});
    if (w == 1 && h == 1) break;
    w = (w + 1) / 2;
    h = (h + 1) / 2;
  }
  std::reverse(levels.begin(), levels.end());
  return levels;
}

int64_t DeepZoomTileCount(const std::vector<DeepZoomLevel>& levels) {
  int64_t n = 0;
  for (const DeepZoomLevel& l : levels) n += int64_t(l.Columns) * l.Rows;
  return n;
}

WebCell CellAtPoint(int px, int py, const tmosaicproject& p) {
  const int cw = p.CellWidth, ch = p.CellHeight, cols = p.CellsAcross, rows = p.CellsDown;
  if (cw <= 0 || ch <= 0 || cols <= 0 || rows <= 0) return {};
  if (px < 0 || py < 0 || int64_t(px) >= int64_t(cols) * cw || int64_t(py) >= int64_t(rows) * ch) return {};
  int x = px / cw;
  int y = py / ch;
  // A shifted cell x >= 1 starts at x * cw - cw / 2: shifting the point by
  // cw / 2 the other way finds it by plain division, and the half slot past
  // the last cell is the split first cell's.
  if (p.StitchMode == kStitchPeyote && y % 2 == 1) {
    x = int((int64_t(px) + cw / 2) / cw);
    if (x >= cols) x = 0;
  } else if (p.StitchMode == kStitchBrick && x % 2 == 1) {
    y = int((int64_t(py) + ch / 2) / ch);
    if (y >= rows) y = 0;
  }
  return WebCell{x, y};
}

namespace {

// Length of the UTF-8 sequence starting at s[i] when it is well formed
// (shortest form, no surrogates, at most U+10FFFF), else 0.
size_t Utf8Length(std::string_view s, size_t i, uint32_t& code) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  size_t n = 0;
  uint32_t min = 0;
  if (c >= 0xC2 && c <= 0xDF)
    n = 2, code = c & 0x1F, min = 0x80;
  else if (c >= 0xE0 && c <= 0xEF)
    n = 3, code = c & 0x0F, min = 0x800;
  else if (c >= 0xF0 && c <= 0xF4)
    n = 4, code = c & 0x07, min = 0x10000;
  else
    return 0;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (b(i + k) & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return n;
}

void AppendEscape(std::string& out, uint32_t code) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(code >> shift) & 0xF];
}

}  // namespace

std::string ScriptStringLiteral(std::string_view s) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      switch (c) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        // Harmless inside a string, but escaped so that no "</script>" or
        // "<!--" can appear even when the data is pasted into a page.
        case '<':
        case '>':
        case '&':
          AppendEscape(out, c);
          break;
        default:
          if (c < 0x20 || c == 0x7F)
            AppendEscape(out, c);
          else
            out += char(c);
      }
      ++i;
      continue;
    }
    uint32_t code = 0;
    const size_t n = Utf8Length(s, i, code);
    if (n == 0) {
      AppendEscape(out, c);  // a Latin-1 byte
      ++i;
    } else if (code == 0x2028 || code == 0x2029) {
      AppendEscape(out, code);
      i += n;
    } else {
      out.append(s.substr(i, n));
      i += n;
    }
  }
  out += '"';
  return out;
}

const char* WebLayoutName(int32_t stitchMode) {
  switch (stitchMode) {
    case kStitchPeyote:
      return "peyote";
    case kStitchBrick:
      return "brick";
    default:
      return "loom";
  }
}

std::string WebCellScript(const std::vector<std::string>& names, const CellMap& map, const tmosaicproject& p,
                          std::string_view title) {
  const int cols = std::clamp(p.CellsAcross, 0, kMapSide);
  const int rows = std::clamp(p.CellsDown, 0, kMapSide);
  // Only the pictures some cell shows, numbered in library order.
  std::map<int, int> used;
  for (int x = 0; x < cols; ++x)
    for (int y = 0; y < rows; ++y) {
      const CellMapEntry& e = map.At(x, y);
      if (e.Assigned && e.PicIndex >= 0 && size_t(e.PicIndex) < names.size()) used.emplace(e.PicIndex, 0);
    }
  std::string out;
  out.reserve(size_t(cols) * size_t(rows) * 4 + used.size() * 32 + 512);
  out += "// The photo in every cell of this web mosaic, read by index.html.\n";
  out += "var velmoraMosaic = {\n";
  out += "  \"title\": " + ScriptStringLiteral(title) + ",\n";
  out += "  \"width\": " + std::to_string(p.FinalWidth) + ", \"height\": " + std::to_string(p.FinalHeight) +
         ",\n";
  out += "  \"cellWidth\": " + std::to_string(p.CellWidth) +
         ", \"cellHeight\": " + std::to_string(p.CellHeight) +
         ", \"border\": " + std::to_string(p.BorderSize) + ",\n";
  out += "  \"columns\": " + std::to_string(cols) + ", \"rows\": " + std::to_string(rows) + ",\n";
  out += std::string("  \"layout\": \"") + WebLayoutName(p.StitchMode) + "\",\n";
  out += "  \"tileSize\": " + std::to_string(kWebTileSize) +
         ", \"tileOverlap\": " + std::to_string(kWebTileOverlap) + ", \"tileFormat\": \"jpg\",\n";
  out += "  \"names\": [";
  int next = 0;
  for (auto& [index, number] : used) {
    number = next++;
    out += number == 0 ? "\n    " : ",\n    ";
    out += ScriptStringLiteral(names[size_t(index)]);
  }
  out += "\n  ],\n  \"cells\": [";
  for (int y = 0; y < rows; ++y) {
    out += y == 0 ? "\n    " : ",\n    ";
    for (int x = 0; x < cols; ++x) {
      if (x > 0) out += ',';
      const CellMapEntry& e = map.At(x, y);
      const auto it = e.Assigned ? used.find(e.PicIndex) : used.end();
      out += it == used.end() ? "-1" : std::to_string(it->second);
    }
  }
  out += "\n  ]\n};\n";
  return out;
}

}  // namespace velmora
