#include "output/PanelPdf.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/FileIO.h"
#include "imaging/Interrupt.h"
#include "output/CairoCalls.h"

namespace velmora {
namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
// The assembly map is a picture of this many pixels to the inch of paper:
// sharp enough to find one's sheet on it, small beside the sheets.
constexpr double kMapDpi = 110;
constexpr int64_t kBandBytes = int64_t(32) << 20;

struct CairoSurfaceFree {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoFree {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, CairoSurfaceFree>;
using CairoPtr = std::unique_ptr<cairo_t, CairoFree>;

cairo_status_t WriteToStream(void* closure, const unsigned char* data, unsigned int length) {
  return std::fwrite(data, 1, length, static_cast<std::FILE*>(closure)) == length ? CAIRO_STATUS_SUCCESS
                                                                                  : CAIRO_STATUS_WRITE_ERROR;
}

std::string ErrnoText() { return std::strerror(errno); }

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Cairo takes UTF-8 only; a name of other bytes shows '?' where they were.
std::string ValidUtf8(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t n = c < 0x80                   ? 1
                     : (c >= 0xC2 && c < 0xE0)  ? 2
                     : (c & 0xF0) == 0xE0       ? 3
                     : (c >= 0xF0 && c <= 0xF4) ? 4
                                                : 0;
    bool ok = n > 0 && i + n <= text.size() && (n > 1 || c >= 0x20);
    for (size_t k = 1; ok && k < n; ++k) ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (ok) {
      out.append(text, i, n);
      i += n;
    } else {
      out += '?';
      ++i;
    }
  }
  return out;
}

// The sheets' pixels between the pass over the bands and the pages: three
// bytes a pixel, sheet after sheet, in a file beside the PDF that has no
// name (removed by the system however the program ends).
class PanelScratch {
public:
  ~PanelScratch() {
    if (file_ != nullptr) std::fclose(file_);
  }

  Status Open(const std::string& pdfPath, const PanelPlan& plan) {
    std::string name = FolderOf(pdfPath) + "/.velmora-panels-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
      return Status::Error(
          Format("Cannot create a scratch file beside \"%s\". %s", pdfPath.c_str(), ErrnoText().c_str()));
    ::unlink(name.c_str());
    file_ = ::fdopen(fd, "w+b");
    if (file_ == nullptr) {
      ::close(fd);
      return Status::Error(Format("Cannot create a scratch file beside \"%s\".", pdfPath.c_str()));
    }
    pdfPath_ = pdfPath;
    int64_t at = 0;
    for (const Panel& p : plan.Panels) {
      offsets_.push_back(at);
      at += int64_t(p.Source.Width()) * p.Source.Height() * 3;
    }
    return Status::Ok();
  }

  // Row `y` of the picture (its `width` pixels) for sheet `index`.
  Status PutRow(int index, const Panel& panel, int y, const TColor32* row) {
    const int w = panel.Source.Width();
    rgb_.resize(static_cast<size_t>(w) * 3);
    for (int x = 0; x < w; ++x) {
      const TColor32 c = row[panel.Source.Left + x];
      rgb_[size_t(x) * 3] = RedOf(c);
      rgb_[size_t(x) * 3 + 1] = GreenOf(c);
      rgb_[size_t(x) * 3 + 2] = BlueOf(c);
    }
    const int64_t at = offsets_[static_cast<size_t>(index)] + int64_t(y - panel.Source.Top) * w * 3;
    if (::fseeko(file_, at, SEEK_SET) != 0 || std::fwrite(rgb_.data(), 1, rgb_.size(), file_) != rgb_.size())
      return WriteError();
    return Status::Ok();
  }

  // Sheet `index` as a picture cairo draws.
  Result<SurfacePtr> Read(int index, const Panel& panel) {
    const int w = panel.Source.Width(), h = panel.Source.Height();
    SurfacePtr image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h));
    if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS)
      return Status::Error(Format("Not enough memory for a %d x %d pixel sheet.", w, h));
    if (::fseeko(file_, offsets_[static_cast<size_t>(index)], SEEK_SET) != 0) return WriteError();
    rgb_.resize(static_cast<size_t>(w) * 3);
    cairo_surface_flush(image.get());
    unsigned char* data = cairo_image_surface_get_data(image.get());
    const int stride = cairo_image_surface_get_stride(image.get());
    for (int y = 0; y < h; ++y) {
      if (std::fread(rgb_.data(), 1, rgb_.size(), file_) != rgb_.size()) return WriteError();
      auto* out = reinterpret_cast<uint32_t*>(data + int64_t(y) * stride);
      for (int x = 0; x < w; ++x)
        out[x] = Color32(rgb_[size_t(x) * 3], rgb_[size_t(x) * 3 + 1], rgb_[size_t(x) * 3 + 2]);
    }
    cairo_surface_mark_dirty(image.get());
    return image;
  }

private:
  Status WriteError() const {
    return Status::Error(
        Format("Cannot use the scratch file beside \"%s\". %s", pdfPath_.c_str(), ErrnoText().c_str()));
  }

  std::FILE* file_ = nullptr;
  std::string pdfPath_;
  std::vector<int64_t> offsets_;
  std::vector<uint8_t> rgb_;
};

// The whole picture reduced band by band: every map pixel the mean of the
// picture pixels that fall on it.
class MapReducer {
public:
  MapReducer(int pictureWidth, int pictureHeight, int mapWidth, int mapHeight)
      : w_(mapWidth),
        h_(mapHeight),
        pictureHeight_(pictureHeight),
        sums_(size_t(mapWidth) * mapHeight * 4, 0.0f),
        column_(static_cast<size_t>(pictureWidth)) {
    for (int x = 0; x < pictureWidth; ++x)
      column_[size_t(x)] = static_cast<int>(int64_t(x) * w_ / pictureWidth);
  }

  void AddRow(int y, const TColor32* row) {
    float* line = sums_.data() + size_t(int64_t(y) * h_ / pictureHeight_) * w_ * 4;
    for (size_t x = 0; x < column_.size(); ++x) {
      float* s = line + size_t(column_[x]) * 4;
      s[0] += RedOf(row[x]);
      s[1] += GreenOf(row[x]);
      s[2] += BlueOf(row[x]);
      s[3] += 1;
    }
  }

  SurfacePtr Picture() const {
    SurfacePtr image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w_, h_));
    if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS) return image;
    cairo_surface_flush(image.get());
    unsigned char* data = cairo_image_surface_get_data(image.get());
    const int stride = cairo_image_surface_get_stride(image.get());
    for (int y = 0; y < h_; ++y) {
      auto* out = reinterpret_cast<uint32_t*>(data + int64_t(y) * stride);
      for (int x = 0; x < w_; ++x) {
        const float* s = sums_.data() + (size_t(y) * w_ + x) * 4;
        const float n = std::max(s[3], 1.0f);
        out[x] = Color32(static_cast<uint8_t>(s[0] / n + 0.5f), static_cast<uint8_t>(s[1] / n + 0.5f),
                         static_cast<uint8_t>(s[2] / n + 0.5f));
      }
    }
    cairo_surface_mark_dirty(image.get());
    return image;
  }

private:
  int w_, h_, pictureHeight_;
  std::vector<float> sums_;  // red, green, blue, count
  std::vector<int> column_;  // map column of every picture column
};

void SetFont(cairo_t* cr, double size, bool bold) {
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}

double TextWidth(cairo_t* cr, const std::string& text) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  return e.x_advance;
}

void Line(cairo_t* cr, double x0, double y0, double x1, double y1) {
  cairo_move_to(cr, x0, y0);
  cairo_line_to(cr, x1, y1);
}

// Where the map and its texts go on the first page, in points.
struct MapPage {
  double left = 0, top = 0, width = 0, height = 0;  // the map itself
  int pixelsWide = 1, pixelsHigh = 1;
};

constexpr double kMapTextHeight = 92;  // title and three lines above the map

MapPage LayOutMapPage(const PanelPlan& plan, double pageW, double pageH, double margin) {
  MapPage m;
  const double roomW = pageW - 2 * margin;
  const double roomH = std::max(pageH - 2 * margin - kMapTextHeight, 10.0);
  const double scale = std::min(roomW / plan.PictureWidth, roomH / plan.PictureHeight);
  m.width = plan.PictureWidth * scale;
  m.height = plan.PictureHeight * scale;
  m.left = margin + (roomW - m.width) / 2;
  m.top = margin + kMapTextHeight;
  m.pixelsWide = std::clamp(static_cast<int>(std::ceil(m.width / 72 * kMapDpi)), 1, plan.PictureWidth);
  m.pixelsHigh = std::clamp(static_cast<int>(std::ceil(m.height / 72 * kMapDpi)), 1, plan.PictureHeight);
  return m;
}

void DrawMapPage(cairo_t* cr, const PanelPlan& plan, const MapPage& m, cairo_surface_t* map, double margin,
                 const std::string& title) {
  cairo_set_source_rgb(cr, 0, 0, 0);
  SetFont(cr, 16, true);
  cairo_move_to(cr, margin, margin + 16);
  cairo_show_text(cr, ValidUtf8(title.empty() ? "Poster panels" : "Poster panels: " + title).c_str());
  SetFont(cr, 10, false);
  double y = margin + 36;
  for (const std::string& line : AssemblyMapLines(plan)) {
    cairo_move_to(cr, margin, y);
    cairo_show_text(cr, line.c_str());
    y += 14;
  }

  cairo_save(cr);
  cairo_translate(cr, m.left, m.top);
  cairo_scale(cr, m.width / m.pixelsWide, m.height / m.pixelsHigh);
  cairo_set_source_surface(cr, map, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);

  const double sx = m.width / plan.PictureWidth, sy = m.height / plan.PictureHeight;
  cairo_set_line_width(cr, 0.8);
  for (const Panel& p : plan.Panels) {
    cairo_rectangle(cr, m.left + p.Source.Left * sx, m.top + p.Source.Top * sy, p.Source.Width() * sx,
                    p.Source.Height() * sy);
    cairo_set_source_rgb(cr, 0.9, 0.1, 0.1);
    cairo_stroke(cr);
  }
  for (const Panel& p : plan.Panels) {
    const double w = p.Source.Width() * sx, h = p.Source.Height() * sy;
    SetFont(cr, std::clamp(std::min(w, h) * 0.3, 4.0, 28.0), true);
    const double tw = TextWidth(cr, p.Label);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    // White under black, so the label reads on any picture.
    cairo_move_to(cr, m.left + (p.Source.Left * sx + w / 2) - tw / 2,
                  m.top + (p.Source.Top * sy + h / 2) + fe.ascent * 0.35);
    cairo_text_path(cr, p.Label.c_str());
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, std::max(1.0, fe.ascent * 0.12));
    cairo_stroke_preserve(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_fill(cr);
  }
}

void DrawPanelPage(cairo_t* cr, const PanelPlan& plan, const Panel& p, cairo_surface_t* picture) {
  const PanelSheet sheet = LayOutPanelSheet(plan, p);
  cairo_save(cr);
  cairo_scale(cr, kPointsPerMm, kPointsPerMm);  // millimetres from here on

  cairo_save(cr);
  cairo_translate(cr, sheet.PictureLeft, sheet.PictureTop);
  cairo_scale(cr, sheet.PictureWidth / p.Source.Width(), sheet.PictureHeight / p.Source.Height());
  cairo_set_source_surface(cr, picture, 0, 0);
  // The printer, not the viewer, decides how the pixels are enlarged.
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  cairo_restore(cr);

  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 0.1);
  for (const SheetLine& l : sheet.CropMarks) Line(cr, l.X0, l.Y0, l.X1, l.Y1);
  cairo_stroke(cr);
  SetFont(cr, 1.8, false);
  const double r = kAlignmentMarkRadiusMm;
  for (const AlignmentMark& m : sheet.Marks) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, m.X, m.Y, r, 0, 2 * M_PI);
    Line(cr, m.X - r * 1.6, m.Y, m.X + r * 1.6, m.Y);
    Line(cr, m.X, m.Y - r * 1.6, m.X, m.Y + r * 1.6);
    cairo_stroke(cr);
    cairo_move_to(cr, m.X + r * 1.2, m.Y - r * 1.2);
    cairo_show_text(cr, m.Neighbour.c_str());
  }

  SetFont(cr, sheet.LabelSize, true);
  const double labelW = TextWidth(cr, p.Label);
  SetFont(cr, sheet.LabelSize * 0.5, false);
  const std::string detail = "   " + sheet.Detail;
  const double detailW = TextWidth(cr, detail);
  SetFont(cr, sheet.LabelSize, true);
  cairo_move_to(cr, PanelLabelLeft(sheet, labelW + detailW), sheet.LabelBaseline);
  cairo_show_text(cr, p.Label.c_str());
  SetFont(cr, sheet.LabelSize * 0.5, false);
  cairo_show_text(cr, detail.c_str());
  cairo_restore(cr);
}

Status CairoFailed(cairo_status_t status, const std::string& path) {
  return Status::Error(Format("Cannot write file \"%s\". %s", path.c_str(), cairo_status_to_string(status)));
}

}  // namespace

int PanelBandRows(int width, int height) {
  const int64_t rows = kBandBytes / (int64_t(std::max(width, 1)) * 4);
  return static_cast<int>(std::clamp<int64_t>(rows, std::min(16, height), std::max(height, 1)));
}

PanelBandSource BandsOfBitmap(const TBitmap32& picture) {
  return [&picture](int bandRows, const PanelBandSink& sink) -> Status {
    TBitmap32 band;
    for (int top = 0; top < picture.Height(); top += bandRows) {
      const int rows = std::min(bandRows, picture.Height() - top);
      VELMORA_TRY(band.SetSize(picture.Width(), rows));
      std::memcpy(band.ScanLine(0), picture.ScanLine(top), size_t(picture.Width()) * rows * sizeof(TColor32));
      VELMORA_TRY(sink(band, rows));
    }
    return Status::Ok();
  };
}

Status WritePanelPdf(const std::string& path, const PanelPlan& plan, const PanelBandSource& source,
                     const std::string& title) {
  JobListener quiet;
  return WritePanelPdf(path, plan, source, title, quiet);
}

Status WritePanelPdf(const std::string& path, const PanelPlan& plan, const PanelBandSource& source,
                     const std::string& title, JobListener& listener) {
  if (plan.Panels.empty() || plan.PictureWidth <= 0 || plan.PictureHeight <= 0)
    return Status::Error("There is no mosaic to cut into panels.");
  VELMORA_TRY(OpenCairo());
  const double pageW = plan.Paper.WidthMm * kPointsPerMm, pageH = plan.Paper.HeightMm * kPointsPerMm;
  const double margin = plan.MarginMm * kPointsPerMm;
  const MapPage mapPage = LayOutMapPage(plan, pageW, pageH, margin);

  PendingFile pdf;
  VELMORA_TRY(pdf.Open(path));
  PanelScratch scratch;
  VELMORA_TRY(scratch.Open(pdf.TempPath(), plan));

  // One pass over the picture: the map grows, the sheets' rows go aside.
  MapReducer map(plan.PictureWidth, plan.PictureHeight, mapPage.pixelsWide, mapPage.pixelsHigh);
  int next = 0;  // the picture row the next band starts at
  VELMORA_TRY(source(PanelBandRows(plan.PictureWidth, plan.PictureHeight),
                     [&](const TBitmap32& band, int rows) -> Status {
                       if (band.Width() != plan.PictureWidth || rows < 0 || rows > band.Height() ||
                           next + rows > plan.PictureHeight)
                         return Status::Error("The mosaic's rows do not match its size.");
                       for (int i = 0; i < rows; ++i) {
                         const int y = next + i;
                         const TColor32* row = band.ScanLine(i);
                         map.AddRow(y, row);
                         for (size_t k = 0; k < plan.Panels.size(); ++k) {
                           const Panel& p = plan.Panels[k];
                           if (y >= p.Source.Top && y < p.Source.Bottom)
                             VELMORA_TRY(scratch.PutRow(static_cast<int>(k), p, y, row));
                         }
                       }
                       next += rows;
                       return Status::Ok();
                     }));
  if (next != plan.PictureHeight)
    return Status::Error(Format("The mosaic ended after %d of its %d rows.", next, plan.PictureHeight));

  // Each sheet is a picture to compress: a big poster spends long here, so
  // the pages report and may be stopped one by one.
  listener.SetJobText(kPanelPagesJobText);
  listener.SetProgress(0);
  auto stopWanted = [&] { return InterruptRequested() || listener.CancelRequested(); };
  SurfacePtr surface(cairo_pdf_surface_create_for_stream(WriteToStream, pdf.Stream(), pageW, pageH));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
    return CairoFailed(cairo_surface_status(surface.get()), path);
  cairo_pdf_surface_set_metadata(
      surface.get(), CAIRO_PDF_METADATA_TITLE,
      ValidUtf8(title.empty() ? "Poster panels" : "Poster panels: " + title).c_str());
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "Velmora");
  CairoPtr cr(cairo_create(surface.get()));
  {
    SurfacePtr mapPicture = map.Picture();
    if (cairo_surface_status(mapPicture.get()) != CAIRO_STATUS_SUCCESS)
      return Status::Error("Not enough memory for the assembly map.");
    DrawMapPage(cr.get(), plan, mapPage, mapPicture.get(), margin, title);
    cairo_show_page(cr.get());
  }
  for (size_t k = 0; k < plan.Panels.size(); ++k) {
    if (stopWanted()) {
      listener.SetJobText(kJobCancelledText);
      listener.SetProgress(0);
      return Status::Error(kJobCancelled);
    }
    Result<SurfacePtr> picture = scratch.Read(static_cast<int>(k), plan.Panels[k]);
    if (!picture) return picture.status();
    DrawPanelPage(cr.get(), plan, plan.Panels[k], picture->get());
    cairo_show_page(cr.get());
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return CairoFailed(cairo_status(cr.get()), path);
    listener.SetProgress(static_cast<int>((k + 1) * 100 / plan.Panels.size()));
    listener.ProcessEvents();
  }
  cr.reset();
  cairo_surface_finish(surface.get());
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
    return CairoFailed(cairo_surface_status(surface.get()), path);
  surface.reset();
  return pdf.Commit();
}

}  // namespace velmora
