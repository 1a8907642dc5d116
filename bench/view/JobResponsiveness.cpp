// velmora-job-bench: how responsive the desktop program stays during a long
// job. It starts the real main window (offscreen unless a display is given),
// makes a library of 400 photos derived from the sample library (tinted and
// mirrored copies), creates a 400 x 300 cells mosaic of 40 px with the
// window's create command, and prints
//   - the longest time the window's event loop was blocked while the job ran
//     (a 5 ms timer measuring the gaps between its shots), and after it while
//     the command ends;
//   - how often the gauge changed during the render;
//   - the cancel latency: Cancel pressed mid-render on a second create, the
//     time until the job had stopped and put back the mosaic before it
//     (RunJob returned).
//
//   QT_QPA_PLATFORM=offscreen build/bin/velmora-job-bench [PICTURE_FOLDER] [CELLS_ACROSS]
//
// PICTURE_FOLDER holds the pictures the library is derived from (the
// repository's images/ by default); CELLS_ACROSS (400) sets a smaller grid
// for a quick run. Everything is written below a scratch folder that is
// removed at the end; the caches go there too, so every run starts cold.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/PictureOps.h"
#include "output/SavePicture.h"
#include "ui/MainWindow.h"
#include "ui/Program.h"
#include "ui/Session.h"

using namespace velmora;

namespace {

constexpr int kPhotos = 400;
const QString kRenderText = QStringLiteral("Current Job : OutPut Final Mosaic Picture");

// The 400 photos: each source picture in up to four versions (as it is,
// warmer, cooler and mirrored, darker), written as JPEG files.
std::vector<std::string> MakeLibrary(const std::string& from, const std::string& to) {
  namespace fs = std::filesystem;
  std::vector<std::string> sources;
  for (const auto& e : fs::directory_iterator(from)) {
    std::string ext = e.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    if (ext == ".jpg" || ext == ".jpeg" || ext == ".png") sources.push_back(e.path().string());
  }
  std::sort(sources.begin(), sources.end());
  std::vector<std::string> made;
  if (sources.empty()) return made;
  fs::create_directories(to);
  for (int i = 0; i < kPhotos; ++i) {
    TBitmap32 picture;
    if (!LoadPictureFile(picture, sources[size_t(i) % sources.size()]).ok()) continue;
    const int version = i / int(sources.size());
    for (int y = 0; y < picture.Height(); ++y) {
      TColor32* row = picture.ScanLine(y);
      if (version == 3) std::reverse(row, row + picture.Width());
      for (int x = 0; x < picture.Width(); ++x) {
        int r = RedOf(row[x]), g = GreenOf(row[x]), b = BlueOf(row[x]);
        if (version == 1) r = std::min(255, r + 40);
        if (version == 2) b = std::min(255, b + 40);
        if (version == 3) r = r * 3 / 4, g = g * 3 / 4, b = b * 3 / 4;
        row[x] = Color32(uint8_t(r), uint8_t(g), uint8_t(b));
      }
    }
    char name[32];
    std::snprintf(name, sizeof name, "/photo%03d.jpg", i);
    if (SavePictureFile(picture, to + name, kPictureJpeg, 90).ok()) made.push_back(to + name);
  }
  return made;
}

// The gaps between the shots of a 5 ms timer: the longest while `during`
// holds, and the longest otherwise.
class BlockMeter : public QObject {
public:
  BlockMeter(std::function<bool()> during, std::function<std::string()> where)
      : during_(std::move(during)), where_(std::move(where)) {
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, [this] {
      const qint64 now = clock_.nsecsElapsed();
      const double gap = (now - last_) / 1e6;
      // A gap that began or ended while the job ran belongs to the job.
      const bool running = during_();
      double& longest = running || wasRunning_ ? longestDuring : longestAfter;
      if (gap > longest) {
        longest = gap;
        (running || wasRunning_ ? whereDuring : whereAfter) =
            where_() + QStringLiteral(" at %1 s").arg(now / 1e9, 0, 'f', 2).toStdString();
      }
      wasRunning_ = running;
      last_ = now;
      ++shots;
    });
  }
  void Start() {
    longestDuring = longestAfter = 0;
    shots = 0;
    clock_.start();
    last_ = 0;
    timer_.start();
  }
  void Stop() { timer_.stop(); }
  double longestDuring = 0;
  double longestAfter = 0;
  std::string whereDuring, whereAfter;  // what the window showed when the longest gaps ended
  int shots = 0;

private:
  std::function<bool()> during_;
  std::function<std::string()> where_;
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0;
  bool wasRunning_ = false;
};

void SetUpProject(Engine& engine, int across) {
  tmosaicproject& p = engine.Project;
  p.CellsAcross = across;
  p.CellsDown = across * 3 / 4;
  p.CellWidth = 40;
  p.CellHeight = 40;
  CopyOptions(engine.OptionSet, p);
  ComputeDerivedSizes(p);
  p.MainImageFile = engine.PicList[0];
  (void)LoadPictureFile(engine.MainBitmap, p.MainImageFile);
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/velmora-job-bench-XXXXXX"));
  const std::string root = scratch.path().toStdString();
  // Caches and settings in the scratch folder: a cold start every run.
  setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  QApplication app(argc, argv);
  const std::string from = argc > 1 ? argv[1] : VELMORA_SAMPLE_IMAGES;
  const int across = argc > 2 ? std::clamp(std::atoi(argv[2]), 4, 800) : 400;

  QElapsedTimer clock;
  clock.start();
  const std::vector<std::string> photos = MakeLibrary(from, root + "/program/images");
  if (photos.size() < 2) {
    std::fprintf(stderr, "velmora-job-bench: no pictures to derive the library from in %s\n", from.c_str());
    return 1;
  }
  std::printf("library: %zu photos made in %.1f s\n", photos.size(), clock.elapsed() / 1000.0);

  ui::UserPrompts prompts;
  ui::Program program(root + "/program", prompts);
  ui::MainWindow& main = program.mainWindow();
  main.resize(1200, 800);
  main.show();
  QApplication::processEvents();
  Engine& engine = program.engine();
  engine.PicList.Assign(photos);
  engine.Rng.SetSeed(7);
  auto* gauge = main.findChild<QProgressBar*>(QStringLiteral("gauge"));
  auto* label = main.findChild<QLabel*>(QStringLiteral("LBJOB"));
  auto* cancel = main.findChild<QPushButton*>(QStringLiteral("btcancel"));

  // The whole create command, as the wizard's button runs it.
  BlockMeter meter([&] { return program.session().jobRunning; },
                   [&] { return (label->text() + QStringLiteral(", gauge %1").arg(gauge->value())).toStdString(); });
  int gaugeChanges = 0;
  int lastGauge = -1;
  const auto connection = QObject::connect(gauge, &QProgressBar::valueChanged, [&](int v) {
    if (label->text() == kRenderText && v != lastGauge) ++gaugeChanges;
    lastGauge = v;
  });
  SetUpProject(engine, across);
  std::printf("mosaic: %d x %d cells of 40 px, %d x %d pixels, %d threads\n", engine.Project.CellsAcross,
              engine.Project.CellsDown, engine.Project.FinalWidth, engine.Project.FinalHeight,
              engine.ThreadCount());
  std::fflush(stdout);
  meter.Start();
  clock.restart();
  main.CreateMosaic(false);
  const double createSeconds = clock.elapsed() / 1000.0;
  // What the command left to the event loop (repaints, the overview).
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 10);
  meter.Stop();
  QObject::disconnect(connection);
  std::printf("create: %.1f s, %s\n", createSeconds, label->text().toUtf8().constData());
  std::printf("longest event-loop block during the job: %.1f ms (%d timer shots; ended at %s)\n",
              meter.longestDuring, meter.shots, meter.whereDuring.c_str());
  std::printf("longest event-loop block after the job (the command's end, 0.3 s after it): %.1f ms\n",
              meter.longestAfter);
  std::printf("  (ended at %s)\n", meter.whereAfter.c_str());
  std::printf("gauge changes during the render: %d\n", gaugeChanges);
  std::fflush(stdout);

  // A second create, cancelled a third of the way through its render.
  SetUpProject(engine, across);
  QElapsedTimer sinceCancel;
  QTimer watch;
  watch.setInterval(5);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!sinceCancel.isValid() && label->text() == kRenderText && gauge->value() >= 33 && cancel->isEnabled()) {
      sinceCancel.start();
      cancel->click();
    }
  });
  watch.start();
  clock.restart();
  const Status status = main.RunJob([&] { return engine.CreateMosaic(); });
  const double latency = sinceCancel.isValid() ? sinceCancel.nsecsElapsed() / 1e6 : -1;
  watch.stop();
  std::printf("cancelled create: %.1f s in all, %s (%s)\n", clock.elapsed() / 1000.0,
              label->text().toUtf8().constData(), status.ok() ? "ok" : status.message().c_str());
  std::printf("cancel latency (Cancel pressed mid-render until RunJob returned): %.1f ms\n", latency);
  main.SetModified(false);  // nothing to save: the window closes without asking
  main.close();
  return 0;
}
