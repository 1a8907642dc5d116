#include "output/LibraryChart.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <new>
#include <vector>

#include "imaging/PathText.h"
#include "output/BandWriter.h"
#include "output/CairoCalls.h"

namespace velmora {
namespace {

// Text sizes in pixels: the chart is a picture, not a page, so they do not
// depend on any screen's resolution.
constexpr int kTitleSize = 17;
constexpr int kTextSize = 13;
constexpr int kNameSize = 11;  // file names under the thumbnails

constexpr int kMargin = 16;
constexpr int kLine = 22;
constexpr int kRow = 30;
constexpr int kWidth = 980;
constexpr int kSwatchX = kMargin;
constexpr int kNameX = kSwatchX + 44;
constexpr int kCellsX = kNameX + 168;
constexpr int kCellsBar = 300;
constexpr int kErrorX = kCellsX + kCellsBar + 90;
constexpr int kErrorBar = 240;

// A near-duplicate photo: its thumbnail framed in a square, its file name
// below, as many to a row as the width takes.
constexpr int kIndent = kMargin + 16;
constexpr int kBox = kLibraryThumbSide + 2;
constexpr int kTileWidth = 112;
constexpr int kTileHeight = kBox + 24;
constexpr int kTilesPerRow = (kWidth - kIndent - kMargin) / kTileWidth;
// Lines of unreadable photos shown; the text report has them all.
constexpr int kListedProblems = 12;

const TColor32 kInk = Color32(32, 32, 32);
const TColor32 kQuiet = Color32(96, 96, 96);
const TColor32 kPaper = Color32(255, 255, 255);
const TColor32 kRule = Color32(200, 200, 200);
const TColor32 kBlank = Color32(240, 240, 240);

TColor32 VerdictColor(float error) {
  if (error <= kCloseError) return Color32(60, 160, 80);
  if (error <= kFarError) return Color32(230, 160, 30);
  return Color32(210, 50, 40);
}

std::string FileName(const std::string& path) {
  return EchoPath(std::filesystem::path(path).filename().string());
}

std::string OneDecimal(float v) { return Format("%.1f", static_cast<double>(v)); }

struct TextRun {
  int X = 0;
  int MiddleY = 0;  // the line's middle, so rows centre whatever the font's metrics
  std::string Text;
  int Size = kTextSize;
  bool Bold = false;
  TColor32 Color = kInk;
  int MaxWidth = 0;  // pixels; longer text is shortened with an ellipsis
  PangoEllipsizeMode Shorten = PANGO_ELLIPSIZE_END;
  bool Centred = false;  // X is the middle of the text
  bool OnPaper = false;  // clears what lies under it (the verdict rules)
};

struct Fill {
  TRect Rect;
  TColor32 Color;
  bool FrameOnly = false;
};

struct Thumbnail {
  int X, Y;  // top-left of its kLibraryThumbSide square
  const Bitmap24* Picture;
};

// What the chart draws, gathered first so that the bitmap is made once at
// its final height.
struct Drawing {
  std::vector<Fill> Fills;
  std::vector<Thumbnail> Thumbnails;
  std::vector<TextRun> Texts;

  void Box(const TRect& r, TColor32 c) { Fills.push_back({r, c, false}); }
  void Frame(const TRect& r, TColor32 c) { Fills.push_back({r, c, true}); }
  void Text(int x, int middleY, std::string text, TColor32 color = kInk) {
    TextRun t;
    t.X = x;
    t.MiddleY = middleY;
    t.Text = std::move(text);
    t.Color = color;
    Texts.push_back(std::move(t));
  }
  void Heading(int x, int middleY, std::string text, int size = kTextSize) {
    Text(x, middleY, std::move(text));
    Texts.back().Bold = true;
    Texts.back().Size = size;
  }
};

void FrameRect(TBitmap32& b, const TRect& r, TColor32 c) {
  b.FillRect(TRect{r.Left, r.Top, r.Right, r.Top + 1}, c);
  b.FillRect(TRect{r.Left, r.Bottom - 1, r.Right, r.Bottom}, c);
  b.FillRect(TRect{r.Left, r.Top, r.Left + 1, r.Bottom}, c);
  b.FillRect(TRect{r.Right - 1, r.Top, r.Right, r.Bottom}, c);
}

// Centred in its square, as the window centres its icons; a larger picture
// shows its middle.
void PutThumbnail(TBitmap32& chart, const Thumbnail& t) {
  const Bitmap24& p = *t.Picture;
  const int left = t.X + (kLibraryThumbSide - p.Width()) / 2;
  const int top = t.Y + (kLibraryThumbSide - p.Height()) / 2;
  const TRect square{std::max(t.X, 0), std::max(t.Y, 0), std::min(t.X + kLibraryThumbSide, chart.Width()),
                     std::min(t.Y + kLibraryThumbSide, chart.Height())};
  for (int y = std::max(top, square.Top); y < std::min(top + p.Height(), square.Bottom); ++y) {
    const uint8_t* in = p.ScanLine(y - top);
    TColor32* out = chart.ScanLine(y);
    for (int x = std::max(left, square.Left); x < std::min(left + p.Width(), square.Right); ++x) {
      const uint8_t* bgr = in + size_t(x - left) * 3;
      out[x] = Color32(bgr[2], bgr[1], bgr[0]);
    }
  }
}

struct SurfaceCloser {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextCloser {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct LayoutCloser {
  void operator()(PangoLayout* l) const { g_object_unref(l); }
};
struct TextCloser {
  void operator()(gchar* t) const { g_free(t); }
};
struct FontCloser {
  void operator()(PangoFontDescription* f) const { pango_font_description_free(f); }
};

Status DrawTexts(TBitmap32& chart, const std::vector<TextRun>& texts) {
  VELMORA_TRY(OpenPango());
  std::unique_ptr<cairo_surface_t, SurfaceCloser> surface(cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(chart.Pixels().data()), CAIRO_FORMAT_RGB24, chart.Width(),
      chart.Height(), chart.Width() * 4));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
    return Status::Error("The library chart's text could not be drawn: not enough memory.");
  cairo_status_t status;
  {
    std::unique_ptr<cairo_t, ContextCloser> cr(cairo_create(surface.get()));
    std::unique_ptr<PangoLayout, LayoutCloser> layout(pango_cairo_create_layout(cr.get()));
    std::unique_ptr<PangoFontDescription, FontCloser> font(pango_font_description_new());
    // fontconfig stands in a like sans-serif face where DejaVu is missing.
    pango_font_description_set_family(font.get(), "DejaVu Sans");
    for (const TextRun& t : texts) {
      pango_font_description_set_absolute_size(font.get(), t.Size * PANGO_SCALE);
      pango_font_description_set_weight(font.get(), t.Bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
      pango_layout_set_font_description(layout.get(), font.get());
      pango_layout_set_width(layout.get(), t.MaxWidth > 0 ? t.MaxWidth * PANGO_SCALE : -1);
      pango_layout_set_ellipsize(layout.get(), t.MaxWidth > 0 ? t.Shorten : PANGO_ELLIPSIZE_NONE);
      std::unique_ptr<gchar, TextCloser> text(g_utf8_make_valid(t.Text.data(), gssize(t.Text.size())));
      pango_layout_set_text(layout.get(), text.get(), -1);
      int w = 0, h = 0;
      pango_layout_get_pixel_size(layout.get(), &w, &h);
      const int x = t.Centred ? t.X - w / 2 : t.X, y = t.MiddleY - h / 2;
      if (t.OnPaper) {
        cairo_set_source_rgb(cr.get(), RedOf(kPaper) / 255.0, GreenOf(kPaper) / 255.0,
                             BlueOf(kPaper) / 255.0);
        cairo_rectangle(cr.get(), x - 2, y, w + 4, h);
        cairo_fill(cr.get());
      }
      cairo_set_source_rgb(cr.get(), RedOf(t.Color) / 255.0, GreenOf(t.Color) / 255.0,
                           BlueOf(t.Color) / 255.0);
      // Whole pixels keep the hinted glyphs sharp.
      cairo_move_to(cr.get(), x, y);
      pango_cairo_show_layout(cr.get(), layout.get());
    }
    status = cairo_status(cr.get());
  }
  cairo_surface_flush(surface.get());
  // cairo leaves the unused top byte of its RGB24 pixels as it likes.
  chart.ResetAlpha(255);
  if (status != CAIRO_STATUS_SUCCESS)
    return Status::Error(std::string("The library chart's text could not be drawn (") +
                         cairo_status_to_string(status) + ")");
  return Status::Ok();
}

// The near-duplicate groups from `y` on; returns the y below them.
int LayOutDuplicates(const LibraryReport& r, const DuplicateThumbnails& thumbnails, int y, Drawing& d) {
  static const Bitmap24 kNoPicture;
  d.Heading(kMargin, y + kLine / 2, "Near-duplicate photos (they look like repeats on the mosaic)");
  y += kLine;
  if (r.Duplicates.empty()) {
    d.Text(kIndent, y + kLine / 2, "No near-duplicate photos");
    return y + kLine;
  }
  // As many photos as get thumbnails; the text report lists the rest.
  int shown = 0;
  size_t g = 0;
  for (; g < r.Duplicates.size() && shown < kMaxLibraryThumbnails; ++g) {
    const std::vector<int>& photos = r.Duplicates[g].Photos;
    d.Text(kIndent, y + kLine / 2, Format("Group %zu: %zu photos", g + 1, photos.size()));
    y += kLine;
    const size_t fits = std::min(photos.size(), size_t(kMaxLibraryThumbnails - shown));
    const size_t tiles = fits + (fits < photos.size() ? 1 : 0);
    for (size_t i = 0; i < tiles; ++i) {
      const int x = kIndent + static_cast<int>(i % kTilesPerRow) * kTileWidth;
      const int top = y + static_cast<int>(i / kTilesPerRow) * kTileHeight;
      const int boxX = x + (kTileWidth - kBox) / 2;
      if (i == fits) {
        d.Text(boxX, top + kBox / 2, Format("+%zu more", photos.size() - fits), kQuiet);
        break;
      }
      const Bitmap24* picture = &kNoPicture;
      if (g < thumbnails.size() && i < thumbnails[g].size()) picture = &thumbnails[g][i];
      if (picture->Empty())
        d.Box(TRect{boxX, top, boxX + kBox, top + kBox}, kBlank);
      else
        d.Thumbnails.push_back({boxX + 1, top + 1, picture});
      d.Frame(TRect{boxX, top, boxX + kBox, top + kBox}, kRule);
      const size_t k = static_cast<size_t>(photos[i]);
      d.Text(x + kTileWidth / 2, top + kBox + 11, k < r.Photos.size() ? FileName(r.Photos[k].Path) : "?",
             kQuiet);
      TextRun& name = d.Texts.back();
      name.Size = kNameSize;
      name.MaxWidth = kTileWidth - 8;
      name.Shorten = PANGO_ELLIPSIZE_MIDDLE;
      name.Centred = true;
    }
    y += static_cast<int>((tiles + kTilesPerRow - 1) / kTilesPerRow) * kTileHeight + 4;
    shown += static_cast<int>(fits);
  }
  if (g < r.Duplicates.size()) {
    d.Text(kIndent, y + kLine / 2,
           Format("%zu more groups are listed in the text report.", r.Duplicates.size() - g), kQuiet);
    y += kLine;
  }
  return y;
}

// The photos that could not be read from `y` on; returns the y below them.
int LayOutUnreadable(const LibraryReport& r, int y, Drawing& d) {
  if (r.Unreadable.empty()) return y;
  y += kLine / 2;
  d.Heading(kMargin, y + kLine / 2, Format("Photos that could not be read: %zu", r.Unreadable.size()));
  y += kLine;
  for (size_t i = 0; i < r.Unreadable.size(); ++i) {
    if (i == size_t(kListedProblems) && r.Unreadable.size() > i + 1) {
      d.Text(kIndent, y + kLine / 2,
             Format("%zu more are listed in the text report.", r.Unreadable.size() - i), kQuiet);
      return y + kLine;
    }
    const auto k = static_cast<size_t>(r.Unreadable[i]);
    std::string line = Format("(line %zu)", k + 1);
    if (k < r.Photos.size()) {
      const CheckedPhoto& photo = r.Photos[k];
      // The reader's messages mostly name the file already.
      if (!photo.Path.empty() && photo.Problem.find(photo.Path) != std::string::npos)
        line = photo.Problem;
      else
        line = (photo.Path.empty() ? line : photo.Path) + ": " + photo.Problem;
    }
    d.Text(kIndent, y + kLine / 2, EchoPath(line));
    d.Texts.back().MaxWidth = kWidth - kIndent - kMargin;
    d.Texts.back().Shorten = PANGO_ELLIPSIZE_MIDDLE;
    y += kLine;
  }
  return y;
}

}  // namespace

Result<TBitmap32> DrawLibraryChart(const LibraryReport& r, const DuplicateThumbnails& thumbnails) {
  Drawing d;
  int y = kMargin;
  d.Heading(kMargin, y + 13,
            Format("Library check: %d x %d cells, %d photos in the library", r.CellsAcross, r.CellsDown,
                   r.PhotoCount),
            kTitleSize);
  y += 26;
  if (r.MeanNearestError >= 0)
    d.Text(kMargin, y + kLine / 2,
           "Mean colour error of the nearest photo per cell: " + OneDecimal(r.MeanNearestError));
  y += kLine + 8;
  d.Heading(kNameX, y + kLine / 2, "Colour");
  d.Heading(kCellsX, y + kLine / 2, "Cells");
  d.Heading(kErrorX, y + kLine / 2, "Nearest photo error");
  const int tableTop = y + kLine + 4;
  const int rows = std::max<int>(1, static_cast<int>(r.Families.size()));

  int maxCells = 1;
  for (const ColorFamily& f : r.Families) maxCells = std::max(maxCells, f.Cells);
  // Where the verdicts change, as faint rules across the error column.
  for (float mark : {kCloseError, kFarError}) {
    const int x = kErrorX + static_cast<int>(mark / kChartErrorScale * kErrorBar);
    d.Box(TRect{x, tableTop - 4, x + 1, tableTop + rows * kRow}, kRule);
  }

  y = tableTop;
  for (const ColorFamily& f : r.Families) {
    const int barTop = y + 4;
    const int barBottom = y + kRow - 6;
    const int middle = (barTop + barBottom) / 2;
    d.Box(TRect{kSwatchX, barTop, kSwatchX + 36, barBottom}, f.Swatch);
    d.Frame(TRect{kSwatchX, barTop, kSwatchX + 36, barBottom}, kInk);
    d.Text(kNameX, middle, f.Name);
    d.Texts.back().MaxWidth = kCellsX - kNameX - 8;

    const int cellsW = std::max(2, static_cast<int>(int64_t(f.Cells) * kCellsBar / maxCells));
    d.Box(TRect{kCellsX, barTop, kCellsX + cellsW, barBottom}, f.Swatch);
    d.Frame(TRect{kCellsX, barTop, kCellsX + cellsW, barBottom}, kInk);
    d.Text(kCellsX + cellsW + 6, middle, std::to_string(f.Cells));

    if (f.NearestError >= 0) {
      const float shown = std::min(f.NearestError, kChartErrorScale);
      const int errorW = std::max(2, static_cast<int>(std::lround(shown / kChartErrorScale * kErrorBar)));
      d.Box(TRect{kErrorX, barTop, kErrorX + errorW, barBottom}, VerdictColor(f.NearestError));
      d.Text(kErrorX + errorW + 6, middle, OneDecimal(f.NearestError));
      d.Texts.back().OnPaper = true;
    } else {
      d.Text(kErrorX, middle, "no photos", kQuiet);
    }
    y += kRow;
  }
  if (r.Families.empty()) d.Text(kNameX, y + kRow / 2, "no cells", kQuiet);

  y = tableTop + rows * kRow + kLine / 2;
  y = LayOutDuplicates(r, thumbnails, y, d);
  y = LayOutUnreadable(r, y, d);

  TBitmap32 chart;
  try {
    VELMORA_TRY(chart.SetSize(kWidth, y + kMargin));
  } catch (const std::bad_alloc&) {
    return Status::Error("Not enough memory for the library chart.");
  }
  chart.Fill(kPaper);
  for (const Fill& f : d.Fills) {
    if (f.FrameOnly)
      FrameRect(chart, f.Rect, f.Color);
    else
      chart.FillRect(f.Rect, f.Color);
  }
  for (const Thumbnail& t : d.Thumbnails) PutThumbnail(chart, t);
  VELMORA_TRY(DrawTexts(chart, d.Texts));
  return chart;
}

Status SaveLibraryChartPng(const LibraryReport& report, const DuplicateThumbnails& thumbnails,
                           const std::string& path) {
  Result<TBitmap32> chart = DrawLibraryChart(report, thumbnails);
  if (!chart) return chart.status();
  Result<std::unique_ptr<BandWriter>> writer = OpenPngBandWriter(path, chart->Width(), chart->Height());
  if (!writer) return writer.status();
  VELMORA_TRY((*writer)->WriteRows(*chart, chart->Height()));
  return (*writer)->Finish();
}

}  // namespace velmora
