// velmora-cli match-bench: makes the same mosaic with the matching choices
// off and on and prints how much each looks like its main picture (the mean
// per-cell CIE76 error at one and at 4 x 4 samples) and how long each took,
// and the least one-sample error any placement that uses every photo once
// can reach. A benchmark, not a test: it asserts nothing.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>

#include "cli/Command.h"
#include "cli/MosaicSetup.h"
#include "engine/CellLayout.h"
#include "library/CellPictures.h"
#include "quality/Quality.h"
#include "imaging/ColorLab.h"
#include "imaging/PictureOps.h"

namespace velmora::cli {
namespace {

using Clock = std::chrono::steady_clock;

struct Run {
  const char* name;
  bool useAll;
  MatchOptions matching;
};

// What the one-sample figure sees in cell c when photo k is drawn there: the
// photo as it is rendered (its channel histograms, so that the tint clamping
// at 0 and 255 counts), tinted as Fill cell sets it, under the main
// picture's overlay, compared with the main picture's mean under the cell.
class OneSampleModel {
public:
  Status Build(const Engine& e) {
    QualityMeter meter;
    meter.SetThreads(e.ThreadCount());
    VELMORA_TRY(meter.Start(e.MainBitmap, QualityMainArea(e), e.Project));
    const int cols = e.Project.CellsAcross;
    cells_ = cols * e.Project.CellsDown;
    enhance_ = e.Project.ColorEnhance;
    alpha_ = ClampByte(e.Project.AlphaMain) / 255.0;
    main_.resize(size_t(cells_));
    mainLab_.resize(size_t(cells_));
    cellMean_.resize(size_t(cells_));
    for (int c = 0; c < cells_; ++c) {
      main_[size_t(c)] = meter.MainMean(c % cols, c / cols);
      mainLab_[size_t(c)] = LabFromRgbF(main_[size_t(c)][0], main_[size_t(c)][1], main_[size_t(c)][2]);
      const SigColor m = e.SampleCell(c % cols, c / cols).Mean();
      cellMean_[size_t(c)] = {m.Red, m.Green, m.Blue};
    }
    const int count = e.PicList.Count();
    photos_.resize(size_t(count));
    std::map<std::string, int> seen;  // one decode for entries of the same file
    const tmosaicproject& p = e.Project;
    for (int k = 0; k < count; ++k) {
      std::error_code ec;
      std::string key = std::filesystem::canonical(e.PicList[k], ec).string();
      if (ec) key = e.PicList[k];
      Photo& photo = photos_[size_t(k)];
      const SigColor m = e.Library[k].Signature.Mean();
      photo.Mean = {m.Red, m.Green, m.Blue};
      if (auto it = seen.find(key); it != seen.end()) {
        photo.Histogram = photos_[size_t(it->second)].Histogram;
        continue;
      }
      seen.emplace(key, k);
      TBitmap32 picture;
      VELMORA_TRY(
          LoadPictureFile(picture, e.PicList[k], RenderDecodeHints(p.CellWidth, p.CellHeight, p.CropCell)));
      PrepareForRender(picture, picture, p.CellWidth, p.CellHeight, p.CropCell, p.MonoCell);
      photo.Histogram.Pixels = double(picture.Width()) * picture.Height();
      std::array<std::array<double, 256>, 3> h{};
      for (int y = 0; y < picture.Height(); ++y)
        for (const TColor32* px = picture.ScanLine(y); px < picture.ScanLine(y) + picture.Width(); ++px) {
          ++h[0][RedOf(*px)];
          ++h[1][GreenOf(*px)];
          ++h[2][BlueOf(*px)];
        }
      for (int ch = 0; ch < 3; ++ch)
        for (int v = 0; v < 256; ++v) {
          photo.Histogram.Below[ch][v + 1] = photo.Histogram.Below[ch][v] + h[ch][v];
          photo.Histogram.SumBelow[ch][v + 1] = photo.Histogram.SumBelow[ch][v] + h[ch][v] * v;
        }
    }
    return Status::Ok();
  }

  int Cells() const { return cells_; }
  int Photos() const { return static_cast<int>(photos_.size()); }

  double Error(int k, int c) const {
    const Photo& photo = photos_[size_t(k)];
    const Channels& h = photo.Histogram;
    float shown[3];
    for (int ch = 0; ch < 3; ++ch) {
      const int s = std::clamp(TintOffset(photo.Mean[ch] - cellMean_[size_t(c)][ch], enhance_), -256, 256);
      // Values below a clamp to 0, from b on to 255, the others move by s.
      const int a = std::clamp(-s, 0, 256);
      const int b = std::clamp(255 - s, a, 256);
      const double middle = h.SumBelow[ch][b] - h.SumBelow[ch][a] + s * (h.Below[ch][b] - h.Below[ch][a]);
      const double tinted = h.Pixels > 0 ? (middle + 255.0 * (h.Pixels - h.Below[ch][b])) / h.Pixels : 0;
      shown[ch] = float((1 - alpha_) * tinted + alpha_ * main_[size_t(c)][ch]);
    }
    return DeltaE76(LabFromRgbF(shown[0], shown[1], shown[2]), mainLab_[size_t(c)]);
  }

  // The mean of the model's errors over the cells of a finished map.
  double MapError(const Engine& e) const {
    const int cols = e.Project.CellsAcross;
    double sum = 0;
    for (int c = 0; c < cells_; ++c) sum += Error(e.Map.At(c % cols, c / cols).PicIndex, c);
    return sum / cells_;
  }

private:
  struct Channels {
    std::array<std::array<double, 257>, 3> Below{};     // pixels with a value below v
    std::array<std::array<double, 257>, 3> SumBelow{};  // and their sum
    double Pixels = 0;
  };
  struct Photo {
    std::array<int, 3> Mean{};  // the signature's, as the tint uses it
    Channels Histogram;
  };
  int cells_ = 0;
  int enhance_ = 0;
  double alpha_ = 0;
  std::vector<std::array<float, 3>> main_;
  std::vector<LabColor> mainLab_;
  std::vector<std::array<int, 3>> cellMean_;
  std::vector<Photo> photos_;
};

// The least total of cost[r][c] over assignments of every row to its own
// column (rows <= cols), by shortest augmenting paths on the dense matrix.
double DenseMinimum(const std::vector<double>& cost, int rows, int cols) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  std::vector<double> u(size_t(rows) + 1, 0), v(size_t(cols) + 1, 0), minv(size_t(cols) + 1);
  std::vector<int> p(size_t(cols) + 1, 0), way(size_t(cols) + 1, 0);
  std::vector<char> used(size_t(cols) + 1);
  for (int i = 1; i <= rows; ++i) {
    p[0] = i;
    int j0 = 0;
    std::fill(minv.begin(), minv.end(), kInf);
    std::fill(used.begin(), used.end(), 0);
    do {
      used[size_t(j0)] = 1;
      const int i0 = p[size_t(j0)];
      const double* row = &cost[size_t(i0 - 1) * size_t(cols)];
      double delta = kInf;
      int j1 = 0;
      for (int j = 1; j <= cols; ++j) {
        if (used[size_t(j)]) continue;
        const double cur = row[j - 1] - u[size_t(i0)] - v[size_t(j)];
        if (cur < minv[size_t(j)]) {
          minv[size_t(j)] = cur;
          way[size_t(j)] = j0;
        }
        if (minv[size_t(j)] < delta) {
          delta = minv[size_t(j)];
          j1 = j;
        }
      }
      for (int j = 0; j <= cols; ++j) {
        if (used[size_t(j)]) {
          u[size_t(p[size_t(j)])] += delta;
          v[size_t(j)] -= delta;
        } else {
          minv[size_t(j)] -= delta;
        }
      }
      j0 = j1;
    } while (p[size_t(j0)] != 0);
    do {
      const int j1 = way[size_t(j0)];
      p[size_t(j0)] = p[size_t(j1)];
      j0 = j1;
    } while (j0 != 0);
  }
  double total = 0;
  for (int j = 1; j <= cols; ++j)
    if (p[size_t(j)] != 0) total += cost[size_t(p[size_t(j)] - 1) * size_t(cols) + size_t(j - 1)];
  return total;
}

// The least mean one-sample error of a mosaic that shows every photo once
// and gives each remaining cell the photo that suits it best (the repeat
// radius ignored): placing photo k in cell c costs its error there less the
// best error of c, whose cell is otherwise left to the best photo.
double OneSampleBound(const OneSampleModel& model) {
  const int rows = model.Photos();
  const int cols = model.Cells();
  std::vector<double> best(size_t(cols), std::numeric_limits<double>::infinity());
  std::vector<double> cost(size_t(rows) * size_t(cols));
  for (int k = 0; k < rows; ++k)
    for (int c = 0; c < cols; ++c) {
      const double e = model.Error(k, c);
      cost[size_t(k) * size_t(cols) + size_t(c)] = e;
      best[size_t(c)] = std::min(best[size_t(c)], e);
    }
  double base = 0;
  for (int c = 0; c < cols; ++c) base += best[size_t(c)];
  for (int k = 0; k < rows; ++k)
    for (int c = 0; c < cols; ++c) cost[size_t(k) * size_t(cols) + size_t(c)] -= best[size_t(c)];
  return (base + DenseMinimum(cost, rows, cols)) / cols;
}

int RunMatchBench(const Args& args) {
  Flags flags = MosaicFlags();
  if (Status s = flags.Parse(args); !s) return Fail(s.message());
  const Run runs[] = {
      {"plain matching, use-all off", false, {false, false}},
      {"detail matching, use-all off", false, {true, false}},
      {"use-all, one-by-one pass", true, {false, false}},
      {"use-all, placed by the solver", true, {false, true}},
      {"use-all, detail + solver", true, {true, true}},
  };
  std::printf("%-32s %10s %10s %10s %10s %9s %9s\n", "run", "mean 1x1", "mean 4x4", "worst 1x1", "worst 4x4",
              "assign s", "model 1x1");
  OneSampleModel model;
  for (const Run& run : runs) {
    Engine engine;
    MosaicSetup setup;
    if (Status s = SetUpMosaic(engine, flags, false, setup); !s) return Fail(s.message());
    engine.Project.UseAllPhotos = run.useAll;
    engine.Matching = run.matching;
    if (Status s = engine.CheckCanCreate(); !s) return Fail(s.message());
    engine.MakeGrid();
    if (Status s = engine.PrepareLibrary(); !s) return Fail(s.message());
    if (model.Cells() == 0)
      if (Status s = model.Build(engine); !s) return Fail(s.message());
    const auto t0 = Clock::now();
    engine.AssignCells();
    const double assign = std::chrono::duration<double>(Clock::now() - t0).count();
    if (Status s = engine.RenderMosaic(); !s) return Fail(s.message());
    QualityReport report;
    if (Status s = MeasureQuality(engine, report); !s) return Fail(s.message());
    std::printf("%-32s %10.2f %10.2f %10.2f %10.2f %9.3f %9.2f\n", run.name, report.MeanSingle,
                report.MeanDetail, report.WorstSingle, report.WorstDetail, assign, model.MapError(engine));
    std::fflush(stdout);
  }
  if (model.Photos() > model.Cells()) {
    std::printf("more photos than cells: no bound for using every photo once\n");
    return 0;
  }
  const auto t0 = Clock::now();
  const double bound = OneSampleBound(model);
  std::printf("least mean 1x1 with every photo once, the other cells their best photo: %.2f (%.1f s)\n",
              bound, std::chrono::duration<double>(Clock::now() - t0).count());
  return 0;
}

const std::string kUsage =
    std::string(
        "Usage: velmora-cli match-bench --main PICTURE --library FOLDER|LIST.IL2 [options]\n\n"
        "Makes the mosaic five times (plain and detail matching with use-all off;\n"
        "with use-all on, the one-by-one pass, the solver, and detail with the\n"
        "solver) and prints the mean and worst-5 % per-cell CIE76 error at one and\n"
        "4 x 4 samples, with the seconds the assignment took and the one-sample\n"
        "error a model of the render predicts for the map. Then the least mean\n"
        "one-sample error (by that model) of any mosaic that shows every photo\n"
        "once and every other cell its best photo, repeat radius aside. The\n"
        "summary cache is used as by create, so the library is decoded once.\n\n") +
    kMosaicFlagsHelp;

const CommandRegistrar registrar({"match-bench", "compare the matching choices by likeness", kUsage,
                                  RunMatchBench});

}  // namespace
}  // namespace velmora::cli
