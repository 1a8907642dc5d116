// velmora-view-bench: how long the main view takes to repaint, pan and zoom a
// large mosaic (16,384 x 16,384 pixels: 256 x 256 cells of 64 px) at fit,
// 25 % and 100 %, on the offscreen platform. Prints the figures; asserts
// nothing.
//   velmora-view-bench [SIDE] [VIEW_WIDTH VIEW_HEIGHT]
#include <QApplication>
#include <QPixmap>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "view/OverviewGeometry.h"
#include "view/ViewGeometry.h"
#include "ui/MosaicView.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Cells of 64 px in flat colours with a lighter diagonal, so the reduced
// copies have edges to average.
void FillCells(velmora::TBitmap32& mosaic) {
  constexpr int kCell = 64;
  for (int y = 0; y < mosaic.Height(); ++y) {
    velmora::TColor32* row = mosaic.ScanLine(y);
    for (int x = 0; x < mosaic.Width(); ++x) {
      const int cx = x / kCell, cy = y / kCell;
      const uint8_t r = static_cast<uint8_t>(cx * 37 + cy * 11), g = static_cast<uint8_t>(cx * 5 + cy * 53);
      const uint8_t b = (x % kCell == y % kCell) ? 255 : static_cast<uint8_t>(cx ^ cy);
      row[x] = velmora::Color32(r, g, b);
    }
  }
}

struct Figures {
  double median = 0, worst = 0;
};

template <typename F>
Figures Time(int runs, F&& f) {
  std::vector<double> t;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    f(i);
    t.push_back(Ms(Clock::now() - start));
  }
  std::sort(t.begin(), t.end());
  return Figures{t[t.size() / 2], t.back()};
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int side = argc > 1 ? std::atoi(argv[1]) : 16384;
  const int vw = argc > 3 ? std::atoi(argv[2]) : 1024;
  const int vh = argc > 3 ? std::atoi(argv[3]) : 700;

  velmora::Engine engine;
  auto start = Clock::now();
  if (!engine.MosaicBitmap.SetSize(side, side).ok()) {
    std::fprintf(stderr, "No memory for a %d x %d mosaic\n", side, side);
    return 1;
  }
  FillCells(engine.MosaicBitmap);
  std::printf("mosaic %d x %d (%.0f MiB) filled in %.0f ms; view %d x %d; %d threads\n", side, side,
              double(side) * side * 4 / (1 << 20), Ms(Clock::now() - start), vw, vh, engine.ThreadCount());

  velmora::ui::MosaicView view(engine, nullptr);
  view.resize(vw, vh);
  view.show();
  app.processEvents();
  // What the main window's RepaintView does before the view paints.
  auto repaint = [&] {
    const double s = view.PrepareRepaint();
    engine.ViewRect = velmora::VisibleRect(view.Origin(), view.width(), view.height(), side, side, s);
    view.repaint();
  };

  view.SetScale(0.25);
  start = Clock::now();
  repaint();  // the first zoomed-out paint builds the reduced copies
  std::printf("reduced copies built (first zoomed-out paint): %.0f ms, %.0f MiB\n", Ms(Clock::now() - start),
              double(view.Pyramid().Bytes()) / (1 << 20));

  const int runs = 30;
  const struct {
    const char* name;
    double scale;  // 0: fit
  } scales[] = {{"fit", 0}, {"25%", 0.25}, {"100%", 1}};
  std::printf("%-6s %8s %22s %22s %22s\n", "scale", "", "repaint median/max", "pan median/max",
              "zoom step median/max");
  for (const auto& s : scales) {
    if (s.scale == 0)
      view.ZoomFit();
    else
      view.SetScale(s.scale);
    view.ScrollTo({side / 3, side / 3});
    repaint();
    const std::string label = velmora::ZoomPercentText(view.Scale()) + "%";
    if (std::getenv("VELMORA_VIEW_BENCH_GRAB"))  // a look at what was drawn
      view.grab().save(QString("/tmp/view-bench-%1.png").arg(s.name).remove('%'));
    const Figures paint = Time(runs, [&](int) { repaint(); });
    const Figures pan = Time(runs, [&](int i) {
      view.ScrollTo(velmora::ViewPoint{side / 3 + (i % 2 ? 40 : -40), side / 3 + (i % 2 ? 25 : -25)});
      repaint();
    });
    // A step in and back out again, around the view's centre, each timed.
    const Figures zoom = Time(runs, [&](int i) {
      const double base = view.Scale();
      view.SetScale(i % 2 ? velmora::StepZoom(base, -1) : velmora::StepZoom(base, +1));
      repaint();
    });
    std::printf("%-6s %8s %10.2f / %6.2f ms %10.2f / %6.2f ms %10.2f / %6.2f ms\n", s.name, label.c_str(),
                paint.median, paint.worst, pan.median, pan.worst, zoom.median, zoom.worst);
  }
  // An edit: one 64 px cell's reduced copies redone.
  const Figures edit = Time(runs, [&](int i) {
    view.PixelsChanged(velmora::TRect{64 * i, 64 * i, 64 * i + 64, 64 * i + 64});
  });
  std::printf("reduced copies of one edited cell: %.3f / %.3f ms\n", edit.median, edit.worst);
  // The overview window (its first size) follows every repaint of the view.
  velmora::Bitmap24 overview;
  const Figures reduced = Time(runs, [&](int) {
    (void)velmora::DrawOverview(engine.MosaicBitmap, view.ReducedCopies(), 254, 213, engine.ViewRect, true, 0,
                                overview);
  });
  const Figures whole = Time(3, [&](int) {
    (void)velmora::DrawOverview(engine.MosaicBitmap, 254, 213, engine.ViewRect, true, 0, overview);
  });
  std::printf("overview from the reduced copies: %.2f / %.2f ms; from the whole mosaic: %.0f / %.0f ms\n",
              reduced.median, reduced.worst, whole.median, whole.worst);
  return 0;
}
