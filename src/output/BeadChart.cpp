#include "output/BeadChart.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <set>
#include <unordered_map>

#include "imaging/FileIO.h"

namespace velmora {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Splits on CR, LF or CR LF; a last line without an ending counts.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string_view> SplitOn(std::string_view s, std::string_view separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    size_t at = s.find(separator, start);
    if (at == std::string_view::npos) break;
    parts.push_back(s.substr(start, at - start));
    start = at + separator.size();
  }
  parts.push_back(s.substr(start));
  return parts;
}

bool ParseInt(std::string_view s, int low, int high, int& out) {
  s = Trim(s);
  if (s.empty() || s.size() > 9) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && end == s.data() + s.size() && out >= low && out <= high;
}

// Well-formed UTF-8 without control characters: the text is drawn into the
// PDF legend, whose text functions refuse anything else.
bool IsPrintableUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) return false;
    int follow = 0;
    uint32_t code = c;
    if (c >= 0x80) {
      if (c >= 0xC2 && c <= 0xDF)
        follow = 1, code = c & 0x1F;
      else if (c >= 0xE0 && c <= 0xEF)
        follow = 2, code = c & 0x0F;
      else if (c >= 0xF0 && c <= 0xF4)
        follow = 3, code = c & 0x07;
      else
        return false;
    }
    if (follow > 0 && i + follow >= s.size()) return false;
    for (int k = 1; k <= follow; ++k) {
      auto f = static_cast<unsigned char>(s[i + k]);
      if ((f & 0xC0) != 0x80) return false;
      code = (code << 6) | (f & 0x3F);
    }
    if ((follow == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
        (follow == 3 && code < 0x10000) || code > 0x10FFFF || (code >= 0x80 && code < 0xA0))
      return false;
    i += follow + 1;
  }
  return true;
}

bool IsHeader(const std::vector<std::string_view>& fields) {
  if (fields.size() != 5) return false;
  static constexpr std::string_view names[] = {"code", "name", "red", "green", "blue"};
  for (size_t i = 0; i < 5; ++i) {
    std::string_view f = Trim(fields[i]);
    if (f.size() != names[i].size()) return false;
    for (size_t k = 0; k < f.size(); ++k)
      if (std::tolower(static_cast<unsigned char>(f[k])) != names[i][k]) return false;
  }
  return true;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".csv") == 0) name.resize(name.size() - 4);
  return name;
}

LabColor LabOf(const BeadColor& c) { return LabFromRgb(c.Red, c.Green, c.Blue); }
LabColor LabOf(const CellColor& c) { return LabFromRgbF(c.Red, c.Green, c.Blue); }

// The nearest of `allowed` (palette indices) to `lab`.
int Nearest(const LabColor& lab, const std::vector<LabColor>& paletteLab, const std::vector<int>& allowed) {
  int best = allowed.front();
  float bestD = std::numeric_limits<float>::max();
  for (int p : allowed) {
    float d = DeltaE76Squared(lab, paletteLab[p]);
    if (d < bestD) bestD = d, best = p;
  }
  return best;
}

// Distinct cell colours with the number of cells of each: a photo's cells
// repeat colours, and the colour choice costs per distinct colour.
struct WeightedColor {
  LabColor Lab;
  double Weight = 0;
};

std::vector<WeightedColor> DistinctColors(const std::vector<LabColor>& cellLab) {
  std::unordered_map<uint64_t, size_t> index;
  std::vector<WeightedColor> out;
  for (const LabColor& lab : cellLab) {
    // Hundredths of a CIELAB unit: far below a visible difference.
    auto q = [](float v) {
      return static_cast<uint64_t>(static_cast<int64_t>(std::lround(v * 100)) + 20000) & 0xFFFFF;
    };
    uint64_t key = q(lab.L) << 40 | q(lab.A) << 20 | q(lab.B);
    auto [it, added] = index.emplace(key, out.size());
    if (added) out.push_back({lab, 0});
    out[it->second].Weight += 1;
  }
  return out;
}

double TotalError(const std::vector<WeightedColor>& colors, const std::vector<LabColor>& paletteLab,
                  const std::vector<int>& allowed) {
  double total = 0;
  for (const WeightedColor& c : colors) {
    int p = Nearest(c.Lab, paletteLab, allowed);
    total += c.Weight * DeltaE76(c.Lab, paletteLab[p]);
  }
  return total;
}

// Greedy pruning: every colour in `set` serves the cells it is nearest to;
// dropping it moves them to their second nearest. Drop the cheapest loss
// until `limit` colours remain.
std::vector<int> PruneColors(const std::vector<WeightedColor>& colors,
                             const std::vector<LabColor>& paletteLab, std::vector<int> set, size_t limit) {
  const size_t n = colors.size();
  std::vector<int> best(n), second(n);
  std::vector<float> bestD(n), secondD(n);
  auto rescan = [&](size_t i) {
    bestD[i] = secondD[i] = std::numeric_limits<float>::max();
    best[i] = second[i] = -1;
    for (int p : set) {
      float d = DeltaE76(colors[i].Lab, paletteLab[p]);
      if (d < bestD[i]) {
        secondD[i] = bestD[i], second[i] = best[i];
        bestD[i] = d, best[i] = p;
      } else if (d < secondD[i]) {
        secondD[i] = d, second[i] = p;
      }
    }
  };
  for (size_t i = 0; i < n; ++i) rescan(i);
  std::unordered_map<int, double> loss;
  while (set.size() > limit && set.size() > 1) {
    loss.clear();
    for (int p : set) loss[p] = 0;
    for (size_t i = 0; i < n; ++i) loss[best[i]] += colors[i].Weight * (secondD[i] - bestD[i]);
    int drop = set.front();
    double dropLoss = std::numeric_limits<double>::max();
    for (int p : set)
      if (loss[p] < dropLoss) dropLoss = loss[p], drop = p;
    set.erase(std::find(set.begin(), set.end(), drop));
    for (size_t i = 0; i < n; ++i)
      if (best[i] == drop || second[i] == drop) rescan(i);
  }
  return set;
}

// Moves each chosen colour to the palette colour that serves its own cells
// best (a medoid step), as long as the total falls.
std::vector<int> RefineColors(const std::vector<WeightedColor>& colors,
                              const std::vector<LabColor>& paletteLab, std::vector<int> set) {
  double total = TotalError(colors, paletteLab, set);
  for (int round = 0; round < 4; ++round) {
    std::vector<int> next = set;
    for (size_t k = 0; k < set.size(); ++k) {
      std::vector<const WeightedColor*> cluster;
      for (const WeightedColor& c : colors)
        if (Nearest(c.Lab, paletteLab, set) == set[k]) cluster.push_back(&c);
      if (cluster.empty()) continue;
      double bestCost = std::numeric_limits<double>::max();
      for (int p = 0; p < static_cast<int>(paletteLab.size()); ++p) {
        if (p != set[k] && std::find(next.begin(), next.end(), p) != next.end()) continue;
        double cost = 0;
        for (const WeightedColor* c : cluster) cost += c->Weight * DeltaE76(c->Lab, paletteLab[p]);
        if (cost < bestCost) bestCost = cost, next[k] = p;
      }
    }
    double nextTotal = TotalError(colors, paletteLab, next);
    if (nextTotal >= total - 1e-6) break;
    set = std::move(next);
    total = nextTotal;
  }
  return set;
}

LabColor ClampLab(LabColor c) {
  c.L = std::clamp(c.L, 0.0f, 100.0f);
  c.A = std::clamp(c.A, -128.0f, 127.0f);
  c.B = std::clamp(c.B, -128.0f, 127.0f);
  return c;
}

// Error diffusion. Loom: the usual weights to the right and the row below.
// Peyote: the right neighbour and the two beads of the next row that touch
// this one (even rows sit half a bead right of odd rows, as the grid samples
// them). Brick: the same along the columns.
void Diffuse(std::vector<int>& out, const std::vector<LabColor>& cellLab, int columns, int rows,
             BeadLayout layout, const std::vector<LabColor>& paletteLab, const std::vector<int>& allowed) {
  std::vector<LabColor> work = cellLab;
  auto push = [&](int x, int y, const LabColor& err, float w) {
    if (x < 0 || y < 0 || x >= columns || y >= rows) return;
    LabColor& c = work[static_cast<size_t>(y) * columns + x];
    c.L += err.L * w, c.A += err.A * w, c.B += err.B * w;
  };
  auto choose = [&](int x, int y) {
    size_t i = static_cast<size_t>(y) * columns + x;
    LabColor want = ClampLab(work[i]);
    int p = Nearest(want, paletteLab, allowed);
    out[i] = p;
    return LabColor{want.L - paletteLab[p].L, want.A - paletteLab[p].A, want.B - paletteLab[p].B};
  };
  if (layout == BeadLayout::Brick) {
    for (int x = 0; x < columns; ++x)
      for (int y = 0; y < rows; ++y) {
        LabColor e = choose(x, y);
        push(x, y + 1, e, 7.0f / 16);
        int first = x % 2 == 0 ? y : y - 1;
        push(x + 1, first, e, 9.0f / 32);
        push(x + 1, first + 1, e, 9.0f / 32);
      }
    return;
  }
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < columns; ++x) {
      LabColor e = choose(x, y);
      push(x + 1, y, e, 7.0f / 16);
      if (layout == BeadLayout::Loom) {
        push(x - 1, y + 1, e, 3.0f / 16);
        push(x, y + 1, e, 5.0f / 16);
        push(x + 1, y + 1, e, 1.0f / 16);
      } else {
        int first = y % 2 == 0 ? x : x - 1;
        push(first, y + 1, e, 9.0f / 32);
        push(first + 1, y + 1, e, 9.0f / 32);
      }
    }
}

void Append(std::string& out, std::string_view s) { out.append(s.data(), s.size()); }

}  // namespace

Result<BeadPalette> ParseBeadPalette(std::string_view text, const std::string& fileName) {
  BeadPalette palette;
  palette.Name = BaseName(fileName);
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::set<std::string, std::less<>> codes;
  int lineNumber = 0;
  for (std::string_view line : SplitLines(text)) {
    ++lineNumber;
    std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == '#') continue;
    auto bad = [&](const char* what) {
      return Status::Error(Format("%s, line %d: %s", fileName.c_str(), lineNumber, what));
    };
    std::vector<std::string_view> fields = SplitOn(trimmed, ",");
    if (palette.Colors.empty() && codes.empty() && IsHeader(fields)) continue;
    if (fields.size() != 5) return bad("a bead is code,name,red,green,blue");
    BeadColor color;
    std::string_view code = Trim(fields[0]), name = Trim(fields[1]);
    if (code.empty() || code.size() > kMaxBeadCodeLength || !IsPrintableUtf8(code) ||
        code.find('"') != code.npos)
      return bad("the bead code is empty, too long or not plain text");
    if (name.size() > kMaxBeadNameLength || !IsPrintableUtf8(name))
      return bad("the colour name is too long or not UTF-8 text");
    int rgb[3];
    for (int k = 0; k < 3; ++k)
      if (!ParseInt(fields[2 + k], 0, 255, rgb[k]))
        return bad("red, green and blue must be whole numbers 0..255");
    if (!codes.emplace(code).second) return bad("the bead code appears twice");
    if (palette.Colors.size() >= kMaxPaletteColors)
      return bad(Format("more than %d colours", static_cast<int>(kMaxPaletteColors)).c_str());
    color.Code = std::string(code);
    color.Name = std::string(name);
    color.Red = static_cast<uint8_t>(rgb[0]);
    color.Green = static_cast<uint8_t>(rgb[1]);
    color.Blue = static_cast<uint8_t>(rgb[2]);
    palette.Colors.push_back(std::move(color));
  }
  if (palette.Colors.empty()) return Status::Error(fileName + ": the palette holds no bead colours");
  return palette;
}

Result<BeadPalette> ReadBeadPaletteFile(const std::string& path) {
  auto bytes = ReadFileBytes(path, kMaxPaletteFileBytes);
  if (!bytes) return bytes.status();
  return ParseBeadPalette(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
                          path);
}

Result<BeadPalette> LoadBeadPalette(const std::string& nameOrPath, const std::string& dataFolder) {
  for (std::string_view builtin : kBuiltinPalettes)
    if (nameOrPath == builtin) {
      auto palette = ReadBeadPaletteFile(dataFolder + "/palettes/" + nameOrPath + ".csv");
      if (palette) palette->Name = nameOrPath;
      return palette;
    }
  return ReadBeadPaletteFile(nameOrPath);
}

BeadLayout BeadLayoutOfStitch(int stitchMode) {
  if (stitchMode == 2) return BeadLayout::Peyote;
  if (stitchMode == 3) return BeadLayout::Brick;
  return BeadLayout::Loom;
}

std::string_view BeadLayoutName(BeadLayout layout) {
  switch (layout) {
    case BeadLayout::Peyote:
      return "Peyote stitch";
    case BeadLayout::Brick:
      return "Brick stitch";
    default:
      return "Loom";
  }
}

const std::vector<BeadSize>& StandardBeadSizes() {
  static const std::vector<BeadSize> sizes = {
      {"5mm", "5 mm fuse beads", 5.0, 5.0},
      {"2.6mm", "2.6 mm mini fuse beads", 2.6, 2.6},
      {"cylinder", "1.6 x 1.3 mm cylinder seed beads", 1.6, 1.3},
      {"seed-11", "2.2 x 1.6 mm size 11 seed beads", 2.2, 1.6},
  };
  return sizes;
}

Result<BeadSize> ParseBeadSize(std::string_view text) {
  for (const BeadSize& size : StandardBeadSizes())
    if (text == size.Key) return size;
  Status bad = Status::Error("a bead size is " +
                             [] {
                               std::string keys;
                               for (const BeadSize& s : StandardBeadSizes()) keys += s.Key + ", ";
                               return keys;
                             }() +
                             "WxHmm or Wmm (0.5 to 50 mm), not \"" + std::string(text.substr(0, 40)) + "\"");
  if (text.size() < 3 || text.size() > 20 || text.substr(text.size() - 2) != "mm") return bad;
  std::string_view numbers = text.substr(0, text.size() - 2);
  size_t x = numbers.find('x');
  auto number = [](std::string_view s, double& out) {
    if (s.empty()) return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size() && out >= 0.5 && out <= 50;
  };
  BeadSize size;
  if (!number(numbers.substr(0, x), size.WidthMm)) return bad;
  size.HeightMm = size.WidthMm;
  if (x != std::string_view::npos && !number(numbers.substr(x + 1), size.HeightMm)) return bad;
  size.Key = std::string(text);
  size.Label = Format("%g x %g mm beads", size.WidthMm, size.HeightMm);
  return size;
}

std::vector<CellColor> CellColorsFromGrid(const Bitmap24& grid, int columns, int rows, BeadLayout layout) {
  std::vector<CellColor> out;
  if (columns <= 0 || rows <= 0 || grid.Width() < 2 * columns || grid.Height() < 2 * rows) return out;
  out.reserve(static_cast<size_t>(columns) * rows);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < columns; ++x) {
      // The grid wraps the shifted rows (columns) around, so the first cell
      // of an odd peyote row (brick column) holds a sample from the far edge
      // of the picture: a bead there takes only the half on its own side.
      int dx0 = 0, dy0 = 0;
      if (layout == BeadLayout::Peyote && y % 2 == 1 && x == 0 && columns > 1) dx0 = 1;
      if (layout == BeadLayout::Brick && x % 2 == 1 && y == 0 && rows > 1) dy0 = 1;
      int sum[3] = {0, 0, 0}, n = 0;
      for (int dy = dy0; dy < 2; ++dy)
        for (int dx = dx0; dx < 2; ++dx, ++n) {
          const uint8_t* p = grid.PixelAddress(2 * x + dx, 2 * y + dy);
          sum[0] += p[2], sum[1] += p[1], sum[2] += p[0];
        }
      out.push_back(
          {static_cast<float>(sum[0]) / n, static_cast<float>(sum[1]) / n, static_cast<float>(sum[2]) / n});
    }
  return out;
}

std::vector<int64_t> BeadChart::Counts() const {
  std::vector<int64_t> counts(Palette.Colors.size(), 0);
  for (int p : Cells) ++counts[static_cast<size_t>(p)];
  return counts;
}

std::vector<int> BeadChart::UsedColors() const {
  std::vector<int64_t> counts = Counts();
  std::vector<int> used;
  for (size_t p = 0; p < counts.size(); ++p)
    if (counts[p] > 0) used.push_back(static_cast<int>(p));
  std::stable_sort(used.begin(), used.end(), [&](int a, int b) { return counts[a] > counts[b]; });
  return used;
}

double BeadChart::WidthMm() const {
  double beads = Columns + (Layout == BeadLayout::Peyote && Rows > 1 ? 0.5 : 0.0);
  return beads * Bead.WidthMm;
}

double BeadChart::HeightMm() const {
  double beads = Rows + (Layout == BeadLayout::Brick && Columns > 1 ? 0.5 : 0.0);
  return beads * Bead.HeightMm;
}

BeadChart MakeBeadChart(const std::vector<CellColor>& cells, int columns, int rows, BeadLayout layout,
                        const BeadPalette& palette, const BeadSize& bead, const BeadChartOptions& options) {
  BeadChart chart;
  chart.Columns = columns;
  chart.Rows = rows;
  chart.Layout = layout;
  chart.Bead = bead;
  chart.Palette = palette;
  const size_t count = static_cast<size_t>(std::max(columns, 0)) * std::max(rows, 0);
  if (palette.Colors.empty() || cells.size() != count || count == 0) {
    chart.Columns = chart.Rows = 0;
    return chart;
  }
  std::vector<LabColor> paletteLab;
  for (const BeadColor& c : palette.Colors) paletteLab.push_back(LabOf(c));
  std::vector<LabColor> cellLab;
  cellLab.reserve(count);
  for (const CellColor& c : cells) cellLab.push_back(LabOf(c));

  std::vector<int> allowed(palette.Colors.size());
  for (size_t p = 0; p < allowed.size(); ++p) allowed[p] = static_cast<int>(p);
  if (options.MaxColors > 0 && static_cast<size_t>(options.MaxColors) < allowed.size()) {
    std::vector<WeightedColor> distinct = DistinctColors(cellLab);
    std::set<int> free;
    for (const WeightedColor& c : distinct) free.insert(Nearest(c.Lab, paletteLab, allowed));
    std::vector<int> set(free.begin(), free.end());
    if (set.size() > static_cast<size_t>(options.MaxColors)) {
      set = PruneColors(distinct, paletteLab, std::move(set), static_cast<size_t>(options.MaxColors));
      set = RefineColors(distinct, paletteLab, std::move(set));
    }
    std::sort(set.begin(), set.end());
    allowed = std::move(set);
  }

  chart.Cells.assign(count, 0);
  if (options.Dither) {
    Diffuse(chart.Cells, cellLab, columns, rows, layout, paletteLab, allowed);
  } else {
    for (size_t i = 0; i < count; ++i) chart.Cells[i] = Nearest(cellLab[i], paletteLab, allowed);
  }
  return chart;
}

double ChartError(const BeadChart& chart, const std::vector<CellColor>& cells) {
  double total = 0;
  for (size_t i = 0; i < chart.Cells.size() && i < cells.size(); ++i)
    total += DeltaE76(LabOf(cells[i]), LabOf(chart.Palette.Colors[static_cast<size_t>(chart.Cells[i])]));
  return total;
}

std::string BeadGridCsv(const BeadChart& chart) {
  std::string out;
  for (int y = 0; y < chart.Rows; ++y) {
    for (int x = 0; x < chart.Columns; ++x) {
      if (x > 0) out += ',';
      out += chart.Palette.Colors[static_cast<size_t>(chart.At(x, y))].Code;
    }
    out += "\r\n";
  }
  return out;
}

namespace {

std::unordered_map<std::string_view, int> CodeIndex(const BeadPalette& palette) {
  std::unordered_map<std::string_view, int> index;
  for (size_t p = 0; p < palette.Colors.size(); ++p)
    index.emplace(palette.Colors[p].Code, static_cast<int>(p));
  return index;
}

}  // namespace

Result<std::vector<int>> ParseBeadGridCsv(std::string_view text, const BeadPalette& palette, int columns,
                                          int rows, const std::string& fileName) {
  auto index = CodeIndex(palette);
  std::vector<int> cells;
  cells.reserve(static_cast<size_t>(std::max(columns, 0)) * std::max(rows, 0));
  int y = 0;
  for (std::string_view line : SplitLines(text)) {
    if (Trim(line).empty()) continue;
    if (y >= rows) return Status::Error(Format("%s: more than %d rows", fileName.c_str(), rows));
    std::vector<std::string_view> fields = SplitOn(line, ",");
    if (static_cast<int>(fields.size()) != columns)
      return Status::Error(Format("%s, row %d: %d beads, not %d", fileName.c_str(), y + 1,
                                  static_cast<int>(fields.size()), columns));
    for (std::string_view f : fields) {
      auto it = index.find(Trim(f));
      if (it == index.end())
        return Status::Error(
            Format("%s, row %d: a bead code the palette does not have", fileName.c_str(), y + 1));
      cells.push_back(it->second);
    }
    ++y;
  }
  if (y != rows) return Status::Error(Format("%s: %d rows, not %d", fileName.c_str(), y, rows));
  return cells;
}

namespace {

// A stitched row: its cells in stitching order, and the words for it.
struct StitchRow {
  std::string Direction;
  std::vector<std::pair<int, int>> Cells;  // (x, y) in stitching order
};

// Rows are stitched from the top (peyote, loom) or from the left (brick,
// whose rows are the chart's columns), each in the opposite direction of
// the one before, as the work turns.
std::vector<StitchRow> StitchRows(BeadLayout layout, int columns, int rows) {
  std::vector<StitchRow> out;
  bool alongColumns = layout == BeadLayout::Brick;
  int lines = alongColumns ? columns : rows, length = alongColumns ? rows : columns;
  for (int r = 0; r < lines; ++r) {
    StitchRow row;
    bool forward = r % 2 == 0;
    if (alongColumns)
      row.Direction = Format("column %d, %s", r + 1, forward ? "top to bottom" : "bottom to top");
    else
      row.Direction = forward ? "left to right" : "right to left";
    for (int k = 0; k < length; ++k) {
      int along = forward ? k : length - 1 - k;
      row.Cells.push_back(alongColumns ? std::pair{r, along} : std::pair{along, r});
    }
    out.push_back(std::move(row));
  }
  return out;
}

}  // namespace

std::string BeadWordChart(const BeadChart& chart) {
  std::string out;
  int perRow = chart.Layout == BeadLayout::Brick ? chart.Rows : chart.Columns;
  int rowCount = chart.Layout == BeadLayout::Brick ? chart.Columns : chart.Rows;
  out += Format("%s, %d x %d beads, palette %s\r\n", std::string(BeadLayoutName(chart.Layout)).c_str(),
                chart.Columns, chart.Rows, chart.Palette.Name.c_str());
  out += Format("%s count: %d beads a row, %d rows. ", perRow % 2 == 0 ? "Even" : "Odd", perRow, rowCount);
  if (chart.Layout == BeadLayout::Peyote)
    out += "Row 1 is the top row; rows 1, 3, 5... sit half a bead right of rows 2, 4, 6...\r\n";
  else if (chart.Layout == BeadLayout::Brick)
    out +=
        "Row 1 is the chart's left column; columns 1, 3, 5... sit half a bead lower than columns 2, 4, "
        "6...\r\n";
  else
    out += "Row 1 is the top row.\r\n";
  if (chart.Layout != BeadLayout::Loom && perRow % 2 == 1)
    out += "With an odd count, turn at the end of every other row as your odd-count method does.\r\n";
  out += "\r\n";
  int number = 0;
  for (const StitchRow& row : StitchRows(chart.Layout, chart.Columns, chart.Rows)) {
    out += Format("Row %d (%s): ", ++number, row.Direction.c_str());
    size_t k = 0;
    bool first = true;
    while (k < row.Cells.size()) {
      int p = chart.At(row.Cells[k].first, row.Cells[k].second);
      size_t run = 1;
      while (k + run < row.Cells.size() && chart.At(row.Cells[k + run].first, row.Cells[k + run].second) == p)
        ++run;
      if (!first) out += ", ";
      first = false;
      out += Format("%d x ", static_cast<int>(run));
      Append(out, chart.Palette.Colors[static_cast<size_t>(p)].Code);
      k += run;
    }
    out += "\r\n";
  }
  return out;
}

Result<std::vector<int>> ParseBeadWordChart(std::string_view text, const BeadPalette& palette,
                                            BeadLayout layout, int columns, int rows) {
  auto index = CodeIndex(palette);
  std::vector<StitchRow> stitchRows = StitchRows(layout, columns, rows);
  std::vector<int> cells(static_cast<size_t>(columns) * rows, -1);
  std::vector<bool> seen(stitchRows.size(), false);
  for (std::string_view line : SplitLines(text)) {
    if (line.substr(0, 4) != "Row ") continue;
    size_t open = line.find(" ("), close = line.find("): ");
    int number = 0;
    if (open == line.npos || close == line.npos || close < open ||
        !ParseInt(line.substr(4, open - 4), 1, static_cast<int>(stitchRows.size()), number))
      return Status::Error(Format("word chart: cannot read \"%s\"", std::string(line.substr(0, 40)).c_str()));
    const StitchRow& row = stitchRows[static_cast<size_t>(number - 1)];
    if (seen[static_cast<size_t>(number - 1)] || line.substr(open + 2, close - open - 2) != row.Direction)
      return Status::Error(Format("word chart: row %d is repeated or runs the wrong way", number));
    seen[static_cast<size_t>(number - 1)] = true;
    size_t k = 0;
    for (std::string_view run : SplitOn(line.substr(close + 3), ", ")) {
      size_t x = run.find(" x ");
      int n = 0;
      if (x == run.npos || !ParseInt(run.substr(0, x), 1, static_cast<int>(row.Cells.size() - k), n))
        return Status::Error(Format("word chart: row %d has a run that does not fit", number));
      auto it = index.find(Trim(run.substr(x + 3)));
      if (it == index.end())
        return Status::Error(Format("word chart: row %d names a bead not in the palette", number));
      for (int i = 0; i < n; ++i, ++k)
        cells[static_cast<size_t>(row.Cells[k].second) * columns + row.Cells[k].first] = it->second;
    }
    if (k != row.Cells.size()) return Status::Error(Format("word chart: row %d is short", number));
  }
  if (std::find(seen.begin(), seen.end(), false) != seen.end())
    return Status::Error("word chart: rows are missing");
  return cells;
}

std::string BeadSymbol(size_t n) {
  static constexpr std::string_view glyphs =
      "ABCDEFGHJKLMNPQRSTUVWXYZ23456789abdefghkmnpqrstuwxyz+#%&@=?<>*$";
  if (n < glyphs.size()) return std::string(1, glyphs[n]);
  n -= glyphs.size();
  n %= glyphs.size() * glyphs.size();
  return std::string{glyphs[n / glyphs.size()], glyphs[n % glyphs.size()]};
}

}  // namespace velmora
