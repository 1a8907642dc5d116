#include "output/BeadChartWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

#include "imaging/FileIO.h"
#include "imaging/Interrupt.h"
#include "output/CairoCalls.h"

namespace velmora {
namespace {

// A4 portrait in points, with a margin every printer can reach.
constexpr double kPageWidth = 595.28, kPageHeight = 841.89, kMargin = 36;
constexpr double kHeader = 34;  // title and page label above a chart
constexpr double kGutter = 20;  // row and column numbers beside a chart

struct SurfaceCloser {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextCloser {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceCloser>;
using ContextPtr = std::unique_ptr<cairo_t, ContextCloser>;

cairo_status_t WriteToFile(void* closure, const unsigned char* data, unsigned int length) {
  return std::fwrite(data, 1, length, static_cast<std::FILE*>(closure)) == length ? CAIRO_STATUS_SUCCESS
                                                                                  : CAIRO_STATUS_WRITE_ERROR;
}

bool StopWanted(JobListener& listener) { return InterruptRequested() || listener.CancelRequested(); }

Status Stopped(JobListener& listener) {
  listener.SetJobText(kJobCancelledText);
  listener.SetProgress(0);
  return Status::Error(kJobCancelled);
}

void SetColor(cairo_t* cr, const BeadColor& c) {
  cairo_set_source_rgb(cr, c.Red / 255.0, c.Green / 255.0, c.Blue / 255.0);
}

// Black symbols on light beads, white on dark ones.
bool IsLight(const BeadColor& c) { return LabFromRgb(c.Red, c.Green, c.Blue).L > 55; }

// Where bead (x, y) sits, in bead units: even rows (peyote) or even columns
// (brick) lie half a bead further on, as the grid samples them.
void BeadOffset(const BeadChart& chart, int x, int y, double& ox, double& oy) {
  ox = x + (chart.Layout == BeadLayout::Peyote && y % 2 == 0 && chart.Rows > 1 ? 0.5 : 0.0);
  oy = y + (chart.Layout == BeadLayout::Brick && x % 2 == 0 && chart.Columns > 1 ? 0.5 : 0.0);
}

void ShowCentred(cairo_t* cr, const std::string& text, double cx, double cy) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  cairo_move_to(cr, cx - e.width / 2 - e.x_bearing, cy - e.height / 2 - e.y_bearing);
  cairo_show_text(cr, text.c_str());
}

void ShowText(cairo_t* cr, double x, double y, const std::string& text) {
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, text.c_str());
}

void ShowRight(cairo_t* cr, double right, double y, const std::string& text) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  cairo_move_to(cr, right - e.x_advance, y);
  cairo_show_text(cr, text.c_str());
}

void Font(cairo_t* cr, double size, bool bold = false) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}

double LineWeight(int index) { return index % 10 == 0 ? 1.6 : index % 5 == 0 ? 0.9 : 0.25; }

std::string SizeText(const BeadChart& chart) {
  return Format("%.1f x %.1f cm", chart.WidthMm() / 10, chart.HeightMm() / 10);
}

// The legend: what the chart is, then one line per colour in use.
void DrawLegendPages(cairo_t* cr, const BeadChart& chart, const BeadChartTiling& tiling,
                     const BeadChartPdfOptions& options, const std::vector<int>& used,
                     const std::vector<int64_t>& counts) {
  constexpr double kLine = 17;
  size_t next = 0;
  int page = 0;
  do {
    double y = kMargin + 14;
    cairo_set_source_rgb(cr, 0, 0, 0);
    Font(cr, 16, true);
    ShowText(cr, kMargin, y, options.Title.empty() ? "Bead chart" : "Bead chart: " + options.Title);
    y += 10;
    if (page == 0) {
      Font(cr, 10.5);
      const std::string facts[] = {
          Format("Layout: %s", std::string(BeadLayoutName(chart.Layout)).c_str()),
          Format("Grid: %d x %d beads (%lld beads)", chart.Columns, chart.Rows,
                 static_cast<long long>(chart.Cells.size())),
          "Beads: " + chart.Bead.Label,
          "Finished size: " + SizeText(chart),
          Format("Palette: %s, %d colours used", chart.Palette.Name.c_str(), static_cast<int>(used.size())),
          Format(
              "Chart pages: %d across x %d down; each repeats the last %d rows and columns of the one before",
              tiling.PagesAcross, tiling.PagesDown, tiling.Overlap),
      };
      for (const std::string& line : facts) ShowText(cr, kMargin, y += 15, line);
      y += 10;
    } else {
      Font(cr, 10.5);
      ShowText(cr, kMargin, y += 15, "Colours, continued");
    }
    y += 12;
    Font(cr, 9.5, true);
    ShowText(cr, kMargin, y, "Symbol");
    ShowText(cr, kMargin + 60, y, "Code");
    ShowText(cr, kMargin + 150, y, "Name");
    ShowRight(cr, kPageWidth - kMargin, y, "Count");
    y += 6;
    while (next < used.size() && y + kLine < kPageHeight - kMargin - kLine) {
      const BeadColor& c = chart.Palette.Colors[static_cast<size_t>(used[next])];
      double top = y + 2;
      SetColor(cr, c);
      cairo_rectangle(cr, kMargin, top, 26, kLine - 3);
      cairo_fill_preserve(cr);
      cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
      cairo_set_line_width(cr, 0.4);
      cairo_stroke(cr);
      IsLight(c) ? cairo_set_source_rgb(cr, 0, 0, 0) : cairo_set_source_rgb(cr, 1, 1, 1);
      Font(cr, 9, true);
      ShowCentred(cr, BeadSymbol(next), kMargin + 13, top + (kLine - 3) / 2);
      cairo_set_source_rgb(cr, 0, 0, 0);
      Font(cr, 9.5);
      double base = top + kLine - 6;
      ShowText(cr, kMargin + 60, base, c.Code);
      ShowText(cr, kMargin + 150, base, c.Name);
      ShowRight(cr, kPageWidth - kMargin, base,
                Format("%lld", static_cast<long long>(counts[static_cast<size_t>(used[next])])));
      y += kLine;
      ++next;
    }
    if (next == used.size()) {
      Font(cr, 9.5, true);
      ShowText(cr, kMargin + 150, y + 14, "Total");
      ShowRight(cr, kPageWidth - kMargin, y + 14, Format("%lld", static_cast<long long>(chart.Cells.size())));
    }
    cairo_show_page(cr);
    ++page;
  } while (next < used.size());
}

void DrawChartPage(cairo_t* cr, const BeadChart& chart, const BeadChartTiling& t,
                   const BeadChartPdfOptions& options, const std::vector<int>& symbolOf, int pc, int pr) {
  const int x0 = t.FirstColumn(pc), y0 = t.FirstRow(pr);
  const int x1 = std::min(chart.Columns, x0 + t.ColumnsPerPage),
            y1 = std::min(chart.Rows, y0 + t.RowsPerPage);
  const double cw = t.CellWidthPt, ch = t.CellHeightPt;
  const double left = kMargin + kGutter, top = kMargin + kHeader + kGutter;

  cairo_set_source_rgb(cr, 0, 0, 0);
  Font(cr, 11, true);
  ShowText(cr, kMargin, kMargin + 12, options.Title.empty() ? "Bead chart" : options.Title);
  Font(cr, 9);
  ShowRight(
      cr, kPageWidth - kMargin, kMargin + 12,
      Format("Page %d of %d (across %d, down %d): columns %d-%d, rows %d-%d", pr * t.PagesAcross + pc + 1,
             t.PagesAcross * t.PagesDown, pc + 1, pr + 1, x0 + 1, x1, y0 + 1, y1));

  // Drawn in few strokes and fills (one per colour, one per line weight)
  // rather than bead by bead: a chart page holds well over a thousand beads
  // and a big chart hundreds of pages.
  auto place = [&](int x, int y, double& px, double& py) {
    double ox, oy;
    BeadOffset(chart, x, y, ox, oy);
    px = left + (ox - x0) * cw, py = top + (oy - y0) * ch;
  };
  std::vector<int> colors;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) colors.push_back(chart.At(x, y));
  std::sort(colors.begin(), colors.end());
  colors.erase(std::unique(colors.begin(), colors.end()), colors.end());
  for (int p : colors) {
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        if (chart.At(x, y) == p) {
          double px, py;
          place(x, y, px, py);
          cairo_rectangle(cr, px, py, cw, ch);
        }
    SetColor(cr, chart.Palette.Colors[static_cast<size_t>(p)]);
    cairo_fill(cr);
  }

  Font(cr, std::min(cw, ch) * 0.62, true);
  std::vector<cairo_text_extents_t> extents(chart.Palette.Colors.size());
  std::vector<bool> measured(chart.Palette.Colors.size(), false);
  for (bool light : {true, false}) {
    light ? cairo_set_source_rgb(cr, 0, 0, 0) : cairo_set_source_rgb(cr, 1, 1, 1);
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        const size_t p = static_cast<size_t>(chart.At(x, y));
        if (IsLight(chart.Palette.Colors[p]) != light) continue;
        const std::string symbol = BeadSymbol(static_cast<size_t>(symbolOf[p]));
        if (!measured[p]) cairo_text_extents(cr, symbol.c_str(), &extents[p]), measured[p] = true;
        double px, py;
        place(x, y, px, py);
        const cairo_text_extents_t& e = extents[p];
        cairo_move_to(cr, px + cw / 2 - e.width / 2 - e.x_bearing, py + ch / 2 - e.height / 2 - e.y_bearing);
        cairo_show_text(cr, symbol.c_str());
      }
  }

  // Each bead's own edges, heavier every 5 and 10 beads; the grid is drawn
  // bead by bead because the shifted layouts have no straight lines.
  for (double weight : {LineWeight(1), LineWeight(5), LineWeight(10)}) {
    weight == LineWeight(1) ? cairo_set_source_rgb(cr, 0.2, 0.2, 0.2) : cairo_set_source_rgb(cr, 0, 0, 0);
    auto edge = [&](double ax, double ay, double bx, double by, double w) {
      if (w != weight) return;
      cairo_move_to(cr, ax, ay);
      cairo_line_to(cr, bx, by);
    };
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        double px, py;
        place(x, y, px, py);
        edge(px, py, px, py + ch, LineWeight(x));
        edge(px, py, px + cw, py, LineWeight(y));
        if (x == x1 - 1 || chart.Layout == BeadLayout::Brick)
          edge(px + cw, py, px + cw, py + ch, LineWeight(x + 1));
        if (y == y1 - 1 || chart.Layout == BeadLayout::Peyote)
          edge(px, py + ch, px + cw, py + ch, LineWeight(y + 1));
      }
    cairo_set_line_width(cr, weight);
    cairo_stroke(cr);
  }

  // Numbers: the first bead and every fifth, every tenth in bold.
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (int y = y0; y < y1; ++y) {
    int n = y + 1;
    if (n != 1 && n % 5 != 0) continue;
    double ox, oy;
    BeadOffset(chart, x0, y, ox, oy);
    Font(cr, 7, n % 10 == 0);
    ShowRight(cr, left + (ox - x0) * cw - 3, top + (oy - y0) * ch + ch / 2 + 2.5, Format("%d", n));
  }
  for (int x = x0; x < x1; ++x) {
    int n = x + 1;
    if (n != 1 && n % 5 != 0) continue;
    double ox, oy;
    BeadOffset(chart, x, y0, ox, oy);
    Font(cr, 7, n % 10 == 0);
    cairo_save(cr);
    double cx = left + (ox - x0) * cw + cw / 2;
    ShowCentred(cr, Format("%d", n), cx, top - 8);
    cairo_restore(cr);
  }

  // The repeated rows and columns are marked off by a dashed line, so the
  // beader knows where the page before ended.
  cairo_set_source_rgb(cr, 0.85, 0.1, 0.1);
  cairo_set_line_width(cr, 1.2);
  double dash[] = {4, 3};
  cairo_set_dash(cr, dash, 2, 0);
  // The boundary follows the shifted rows (columns) bead by bead.
  if (pc > 0) {
    for (int y = y0; y < y1; ++y) {
      double px, py;
      place(x0 + t.Overlap, y, px, py);
      cairo_move_to(cr, px, py);
      cairo_line_to(cr, px, py + ch);
    }
    cairo_stroke(cr);
  }
  if (pr > 0) {
    for (int x = x0; x < x1; ++x) {
      double px, py;
      place(x, y0 + t.Overlap, px, py);
      cairo_move_to(cr, px, py);
      cairo_line_to(cr, px + cw, py);
    }
    cairo_stroke(cr);
  }
  cairo_set_dash(cr, nullptr, 0, 0);
  cairo_show_page(cr);
}

// The preview drawn a row of beads at a time; `row` is told of each before
// it is drawn and ends the drawing (with an empty preview) by returning false.
BeadPreview DrawPreview(const BeadChart& chart, int maxSide, const std::function<bool(int row)>& row) {
  BeadPreview out;
  if (chart.Cells.empty() || !OpenCairo().ok()) return out;
  maxSide = std::clamp(maxSide, 16, 8000);
  double w = chart.Bead.WidthMm, h = chart.Bead.HeightMm;
  double beadsAcross = chart.Columns + (chart.Layout == BeadLayout::Peyote ? 0.5 : 0);
  double beadsDown = chart.Rows + (chart.Layout == BeadLayout::Brick ? 0.5 : 0);
  // Pixels per millimetre, so that beads keep their shape.
  double scale = std::min({maxSide / (beadsAcross * w), maxSide / (beadsDown * h), 24.0 / std::min(w, h)});
  double bw = w * scale, bh = h * scale;
  out.Width = std::max(1, static_cast<int>(std::ceil(beadsAcross * bw)));
  out.Height = std::max(1, static_cast<int>(std::ceil(beadsDown * bh)));
  SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, out.Width, out.Height));
  ContextPtr cr(cairo_create(surface.get()));
  cairo_set_source_rgb(cr.get(), 0.93, 0.93, 0.92);
  cairo_paint(cr.get());
  const bool round = std::abs(w - h) < 1e-9;
  for (int y = 0; y < chart.Rows; ++y) {
    if (row && !row(y)) return BeadPreview{};
    for (int x = 0; x < chart.Columns; ++x) {
      double ox, oy;
      BeadOffset(chart, x, y, ox, oy);
      double cx = (ox + 0.5) * bw, cy = (oy + 0.5) * bh;
      SetColor(cr.get(), chart.Palette.Colors[static_cast<size_t>(chart.At(x, y))]);
      if (round) {
        // A fuse bead seen from above: a ring around its hole once there
        // are pixels enough to show one.
        cairo_arc(cr.get(), cx, cy, bw * 0.47, 0, 2 * M_PI);
        if (bw >= 6) {
          cairo_new_sub_path(cr.get());
          cairo_arc_negative(cr.get(), cx, cy, bw * 0.16, 2 * M_PI, 0);
        }
      } else {
        // A seed bead lying on its side: a tube with rounded ends.
        double rw = bw * 0.92, rh = bh * 0.9, r = std::min(rw, rh) * 0.3;
        double l = cx - rw / 2, t = cy - rh / 2;
        cairo_new_sub_path(cr.get());
        cairo_arc(cr.get(), l + rw - r, t + r, r, -M_PI / 2, 0);
        cairo_arc(cr.get(), l + rw - r, t + rh - r, r, 0, M_PI / 2);
        cairo_arc(cr.get(), l + r, t + rh - r, r, M_PI / 2, M_PI);
        cairo_arc(cr.get(), l + r, t + r, r, M_PI, 3 * M_PI / 2);
        cairo_close_path(cr.get());
      }
      cairo_fill(cr.get());
    }
  }
  cr.reset();
  cairo_surface_flush(surface.get());
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return BeadPreview{};
  int stride = cairo_image_surface_get_stride(surface.get());
  const unsigned char* data = cairo_image_surface_get_data(surface.get());
  out.Pixels.resize(static_cast<size_t>(out.Width) * out.Height);
  for (int y = 0; y < out.Height; ++y) {
    std::memcpy(out.Pixels.data() + static_cast<size_t>(y) * out.Width,
                data + static_cast<size_t>(y) * stride, static_cast<size_t>(out.Width) * 4);
    for (int x = 0; x < out.Width; ++x) out.Pixels[static_cast<size_t>(y) * out.Width + x] |= 0xFF000000u;
  }
  return out;
}

// The PDF into `out`, page by page as drawn; a big chart has hundreds of
// pages, so the listener hears of each and may stop the drawing between
// them.
Status DrawChartPdf(const BeadChart& chart, std::FILE* out, const std::string& path,
                    const BeadChartPdfOptions& options, JobListener& listener) {
  VELMORA_TRY(OpenCairo());
  listener.SetJobText(kBeadChartPdfJobText);
  listener.SetProgress(0);
  SurfacePtr surface(cairo_pdf_surface_create_for_stream(WriteToFile, out, kPageWidth, kPageHeight));
  cairo_pdf_surface_set_metadata(
      surface.get(), CAIRO_PDF_METADATA_TITLE,
      (options.Title.empty() ? std::string("Bead chart") : "Bead chart: " + options.Title).c_str());
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "Velmora");
  ContextPtr cr(cairo_create(surface.get()));
  BeadChartTiling tiling = TileBeadChart(chart, options.Overlap);
  std::vector<int> used = chart.UsedColors();
  std::vector<int64_t> counts = chart.Counts();
  std::vector<int> symbolOf(chart.Palette.Colors.size(), 0);
  for (size_t k = 0; k < used.size(); ++k) symbolOf[static_cast<size_t>(used[k])] = static_cast<int>(k);
  DrawLegendPages(cr.get(), chart, tiling, options, used, counts);
  const int64_t pages = int64_t(tiling.PagesAcross) * tiling.PagesDown;
  int64_t done = 0;
  for (int pr = 0; pr < tiling.PagesDown; ++pr)
    for (int pc = 0; pc < tiling.PagesAcross; ++pc) {
      if (StopWanted(listener)) return Stopped(listener);
      DrawChartPage(cr.get(), chart, tiling, options, symbolOf, pc, pr);
      listener.SetProgress(static_cast<int>(++done * 100 / pages));
      listener.ProcessEvents();
    }
  cairo_status_t status = cairo_status(cr.get());
  cr.reset();
  cairo_surface_finish(surface.get());
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface.get());
  if (status != CAIRO_STATUS_SUCCESS)
    return Status::Error(path + ": the chart could not be written (" + cairo_status_to_string(status) + ")");
  return Status::Ok();
}

Status DrawPreviewPng(const BeadChart& chart, std::FILE* out, const std::string& path, int maxSide,
                      JobListener& listener) {
  VELMORA_TRY(OpenCairo());
  listener.SetJobText(kBeadPreviewJobText);
  listener.SetProgress(0);
  bool stopped = false;
  BeadPreview preview = DrawPreview(chart, maxSide, [&](int y) {
    if (StopWanted(listener)) {
      stopped = true;
      return false;
    }
    listener.SetProgress(y * 100 / chart.Rows);
    listener.ProcessEvents();
    return true;
  });
  if (stopped) return Stopped(listener);
  if (preview.Pixels.empty()) return Status::Error("No bead chart to save");
  SurfacePtr surface(cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(preview.Pixels.data()), CAIRO_FORMAT_RGB24, preview.Width,
      preview.Height, preview.Width * 4));
  const cairo_status_t status = cairo_surface_write_to_png_stream(surface.get(), WriteToFile, out);
  if (status != CAIRO_STATUS_SUCCESS)
    return Status::Error(path + ": the preview could not be written (" + cairo_status_to_string(status) +
                         ")");
  listener.SetProgress(100);
  return Status::Ok();
}

Status WriteText(const std::string& text, std::FILE* out, const std::string& path) {
  return WriteAll(out, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
                  path);
}

}  // namespace

BeadChartTiling TileBeadChart(const BeadChart& chart, int overlap) {
  BeadChartTiling t;
  // Cells near 14 points across, kept between 9 and 20 points either way so
  // the symbols stay readable and a tall bead does not crowd a page.
  double w = chart.Bead.WidthMm > 0 ? chart.Bead.WidthMm : 1,
         h = chart.Bead.HeightMm > 0 ? chart.Bead.HeightMm : 1;
  t.CellWidthPt = 14;
  t.CellHeightPt = 14 * h / w;
  double small = std::min(t.CellWidthPt, t.CellHeightPt), large = std::max(t.CellWidthPt, t.CellHeightPt);
  double scale = small < 9 ? 9 / small : large > 20 ? 20 / large : 1.0;
  t.CellWidthPt *= scale;
  t.CellHeightPt *= scale;
  double areaW = kPageWidth - 2 * kMargin - kGutter - t.CellWidthPt / 2;
  double areaH = kPageHeight - 2 * kMargin - kHeader - kGutter - t.CellHeightPt / 2;
  t.ColumnsPerPage = std::max(4, static_cast<int>(areaW / t.CellWidthPt));
  t.RowsPerPage = std::max(4, static_cast<int>(areaH / t.CellHeightPt));
  t.Overlap = std::clamp(overlap, 0, std::min(t.ColumnsPerPage, t.RowsPerPage) / 2);
  auto pages = [&](int cells, int perPage) {
    if (cells <= perPage) return 1;
    int step = perPage - t.Overlap;
    return 1 + (cells - perPage + step - 1) / step;
  };
  t.PagesAcross = pages(chart.Columns, t.ColumnsPerPage);
  t.PagesDown = pages(chart.Rows, t.RowsPerPage);
  return t;
}

BeadPreview RenderBeadPreview(const BeadChart& chart, int maxSide) { return DrawPreview(chart, maxSide, {}); }

Status WriteBeadChartPdf(const BeadChart& chart, const std::string& path,
                         const BeadChartPdfOptions& options) {
  BeadChartFiles files;
  files.Pdf = path;
  files.PdfOptions = options;
  JobListener quiet;
  return SaveBeadChartFiles(chart, files, quiet);
}

Status WriteBeadPreviewPng(const BeadChart& chart, const std::string& path, int maxSide) {
  if (chart.Cells.empty()) return Status::Error("No bead chart to save");
  JobListener quiet;
  PendingFile file;
  VELMORA_TRY(file.Open(path));
  VELMORA_TRY(DrawPreviewPng(chart, file.Stream(), path, maxSide, quiet));
  return file.Commit();
}

Status WriteBeadText(const std::string& text, const std::string& path) {
  return WriteFileAtomically(
      path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

Status SaveBeadChartFiles(const BeadChart& chart, const BeadChartFiles& files, JobListener& listener) {
  if (chart.Cells.empty()) return Status::Error("No bead chart to save");
  using Writer = std::function<Status(std::FILE*, const std::string&)>;
  // The quick text forms first, the long drawings last.
  const std::pair<const std::string*, Writer> forms[] = {
      {&files.Words,
       [&](std::FILE* f, const std::string& p) { return WriteText(BeadWordChart(chart), f, p); }},
      {&files.Csv, [&](std::FILE* f, const std::string& p) { return WriteText(BeadGridCsv(chart), f, p); }},
      {&files.Pdf,
       [&](std::FILE* f, const std::string& p) {
         return DrawChartPdf(chart, f, p, files.PdfOptions, listener);
       }},
      {&files.Png,
       [&](std::FILE* f, const std::string& p) { return DrawPreviewPng(chart, f, p, 2400, listener); }},
  };
  // Two forms saved to one file would write into the same temporary.
  std::vector<std::filesystem::path> targets;
  for (const auto& [path, write] : forms) {
    if (path->empty()) continue;
    std::error_code ec;
    std::filesystem::path target = std::filesystem::weakly_canonical(*path, ec);
    if (ec) target = *path;
    if (std::find(targets.begin(), targets.end(), target) != targets.end())
      return Status::Error(
          Format("\"%s\" is named for two of the chart's files; give each its own.", path->c_str()));
    targets.push_back(target);
  }
  // Every temporary is made before the drawings, so a target that cannot be
  // replaced is refused before the long work rather than after it.
  std::vector<std::unique_ptr<PendingFile>> pending;
  for (const auto& [path, write] : forms) {
    if (path->empty()) continue;
    pending.push_back(std::make_unique<PendingFile>());
    VELMORA_TRY(pending.back()->Open(*path));
  }
  size_t next = 0;
  for (const auto& [path, write] : forms) {
    if (path->empty()) continue;
    PendingFile& file = *pending[next++];
    VELMORA_TRY(write(file.Stream(), *path));
    if (StopWanted(listener)) return Stopped(listener);
    VELMORA_TRY(file.Complete());
  }
  std::vector<PendingFile*> all;
  for (const auto& file : pending) all.push_back(file.get());
  return CommitAll(all);
}

}  // namespace velmora
