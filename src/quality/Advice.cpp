// The settings advice. Everything here is arithmetic on counts and sizes; the
// constants in Advice.h carry the measurements.
#include "quality/Advice.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "engine/Engine.h"
#include "imaging/Status.h"

namespace velmora {
namespace {

constexpr int kMaxRadius = 100;  // the options' range
constexpr int kMaxCap = 999;
constexpr int kMinCells = 8;  // the wizard's range for cells across and down
constexpr int kMaxCells = 640;

// The cells of the repeat square around a cell other than itself: at worst
// each shows another photo, which the cell may then not take.
int64_t Blocked(int radius, int cols, int rows) {
  const int64_t side = 2 * int64_t(radius) + 1;
  return std::min<int64_t>(side, cols) * std::min<int64_t>(side, rows) - 1;
}

int Eligible(int photos, int radius, int cols, int rows) {
  return static_cast<int>(std::max<int64_t>(0, photos - Blocked(radius, cols, rows)));
}

std::string Thousands(int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
  return n < 0 ? "-" + digits : digits;
}

std::string Photos(int n) { return Thousands(n) + (n == 1 ? " photo" : " photos"); }
std::string Cells(int64_t n) { return Thousands(n) + (n == 1 ? " cell" : " cells"); }

}  // namespace

SettingsAdvice AdviseSettings(const AdviceInput& in) {
  SettingsAdvice a;
  const int across = std::clamp(in.CellsAcross, 1, kMaxCells);
  const int down = std::clamp(in.CellsDown, 1, kMaxCells);
  a.CellsDown = down;

  // The grid's shape first: the other rules count the cells it gives.
  if (in.MainWidth > 0 && in.MainHeight > 0 && !in.CropMain && in.CellWidth > 0 && in.CellHeight > 0) {
    const double ideal =
        double(across) * in.MainHeight * in.CellWidth / (double(in.MainWidth) * in.CellHeight);
    const int advised = std::clamp(static_cast<int>(std::lround(ideal)), kMinCells, kMaxCells);
    // Within 2 % of the picture's shape no one sees a stretch.
    const double stretch = double(down) / ideal;
    a.ShapeKept = std::abs(stretch - 1.0) <= 0.02 || advised == down;
    if (!a.ShapeKept) a.CellsDown = advised;
  }

  const int cols = across;
  const int rows = a.CellsDown;
  a.Cells = cols * rows;
  a.Photos = std::max(0, in.Photos);
  a.Applicable = !in.SelfMosaic && a.Photos > 0;
  a.RepeatRadius = std::clamp(in.MinRepeatRadius, 1, kMaxRadius);
  a.UseAllPhotos = in.UseAllPhotos;
  a.MaxRepeatTimes = in.MaxRepeatTimes;
  if (!a.Applicable) return a;

  // The largest radius whose square forbids no more than the share the
  // measurements allow; radius 1 at least, the smallest the options offer.
  int radius = 1;
  while (radius < kMaxRadius && Blocked(radius + 1, cols, rows) <= kRadiusBlockedShare * a.Photos &&
         Blocked(radius + 1, cols, rows) > Blocked(radius, cols, rows))
    ++radius;
  a.RepeatRadius = radius;
  a.EligibleAtRadius = Eligible(a.Photos, radius, cols, rows);
  a.EligibleAtCurrent = Eligible(a.Photos, std::clamp(in.MinRepeatRadius, 1, kMaxRadius), cols, rows);
  // A smaller radius than advised costs nothing in likeness, only repeats
  // closer together; a larger one takes photos away from cells.
  a.RadiusFollowed =
      in.MinRepeatRadius <= radius || (a.EligibleAtRadius > 0 && a.EligibleAtCurrent >= a.EligibleAtRadius);

  // The every-photo pass runs only when there are at least as many cells as
  // photos.
  a.UseAllRuns = a.Cells >= a.Photos;
  a.UseAllCostsLikeness = a.UseAllRuns && a.Photos > kUseAllLibraryShare * a.Cells;
  a.UseAllPhotos = in.UseAllPhotos && !a.UseAllCostsLikeness;
  a.UseAllFollowed = !(in.UseAllPhotos && a.UseAllCostsLikeness);

  // Matching: compare on 4 x 4 samples, place by the solver under a cap
  // (the every-photo pass by the solver as well), recolour by transfer.
  a.Matching = MatchOptions{true, a.UseAllPhotos && int64_t(a.Photos) * a.Cells <= kAdvisedFairUseAllEntries, true,
                            true};
  a.DetailFollowed = in.Matching.Detail;
  a.SolverFollowed = in.Matching.UseCap && in.LimitRepeat;
  a.TransferFollowed =
      in.Matching.Transfer && in.ColorEnhance == a.ColorEnhance && in.AlphaMain == a.AlphaMain;

  const double share = double(a.Cells) / a.Photos;
  a.MaxRepeatTimes = std::clamp(static_cast<int>(std::ceil(kSolvedCapSlack * share - 1e-9)), 1, kMaxCap);
  // With the solver a looser cap than advised costs variety, not likeness.
  a.CapFollowed = !in.LimitRepeat || in.MaxRepeatTimes >= a.MaxRepeatTimes;
  a.SizesOn = in.SizesOn;
  a.KeepShapes = in.KeepShapes;
  a.SizesHelp = a.Photos < a.Cells;
  a.PhotosOffSquare = std::min(in.PhotosOffSquare, a.Photos);
  a.ShapesHelp = a.PhotosOffSquare >= 0 && 2 * int64_t(a.PhotosOffSquare) >= a.Photos;
  return a;
}

AdviceInput AdviceInputOf(const Engine& engine, const tmosaicproject& options) {
  const tmosaicproject& p = engine.Project;
  AdviceInput in;
  in.Photos = engine.PicList.Count();
  in.CellsAcross = p.CellsAcross;
  in.CellsDown = p.CellsDown;
  in.CellWidth = p.CellWidth;
  in.CellHeight = p.CellHeight;
  in.MainWidth = engine.MainBitmap.Width();
  in.MainHeight = engine.MainBitmap.Height();
  in.CropMain = p.CropMainImage;
  in.SelfMosaic = p.RenderMode == kRenderSelf;
  in.MinRepeatRadius = options.MinRepeatRadius;
  in.UseAllPhotos = options.UseAllPhotos;
  in.LimitRepeat = options.LimitRepeat;
  in.MaxRepeatTimes = options.MaxRepeatTimes;
  in.ColorEnhance = options.ColorEnhance;
  in.AlphaMain = options.AlphaMain;
  in.Matching = engine.MatchingSet;
  in.SizesOn = engine.SizingSet.On();
  in.KeepShapes = engine.KeepShapesSet;
  const AspectShapes& shapes = engine.Aspects;
  if (!shapes.Aspect.empty() && shapes.Shape.size() == size_t(in.Photos))
    in.PhotosOffSquare = in.Photos - shapes.Count[size_t(TileShape::kSquare)];
  return in;
}

void ApplyAdvice(const SettingsAdvice& advice, tmosaicproject& options, tmosaicproject& sizes,
                 MatchOptions& matching) {
  sizes.CellsDown = advice.CellsDown;
  ComputeDerivedSizes(sizes);
  if (!advice.Applicable) return;
  options.MinRepeatRadius = advice.RepeatRadius;
  options.UseAllPhotos = advice.UseAllPhotos;
  matching = advice.Matching;
  // The solver keeps to the cap it is given: the advised one, switched on.
  options.MaxRepeatTimes = advice.MaxRepeatTimes;
  options.LimitRepeat = true;
  options.RepeatLimitSuspended = false;
  options.ColorEnhance = advice.ColorEnhance;
  options.AlphaMain = advice.AlphaMain;
}

std::vector<AdviceLine> AdviceLines(const SettingsAdvice& a) {
  std::vector<AdviceLine> lines;
  if (a.Applicable) {
    std::string radius = "Repeat radius " + std::to_string(a.RepeatRadius) + " leaves at least " +
                         Thousands(a.EligibleAtRadius) + " of the " + Photos(a.Photos) + " for every cell";
    if (!a.RadiusFollowed)
      radius += "; the radius set now leaves only " + Thousands(a.EligibleAtCurrent) +
                ", so cells get poor matches";
    lines.push_back({radius + ".", a.RadiusFollowed});

    if (!a.UseAllRuns) {
      lines.push_back({"\"Ensure Use All Photos\" does not apply: there are more photos (" +
                           Thousands(a.Photos) + ") than cells (" + Thousands(a.Cells) + ").",
                       true});
    } else if (a.UseAllCostsLikeness) {
      lines.push_back({"Turn \"Ensure Use All Photos\" off: with " + Photos(a.Photos) + " for " +
                           Cells(a.Cells) + ", placing every photo first puts many where they do not fit.",
                       a.UseAllFollowed});
    } else {
      lines.push_back({"\"Ensure Use All Photos\" costs little here (" + Photos(a.Photos) + " for " +
                           Cells(a.Cells) + ").",
                       true});
    }
  }
  if (!a.ShapeKept)
    lines.push_back(
        {Thousands(a.CellsDown) +
             " cells down keep the main picture's shape with these cells across (or allow crop main "
             "image); the grid set now stretches it.",
         false});
  if (!a.Applicable) return lines;
  lines.push_back({"A repeat cap that fits: " + Thousands(a.MaxRepeatTimes) + " uses of one photo" +
                       (a.CapFollowed ? "; tighter caps cost likeness."
                                      : "; the cap set now is tighter and leaves cells without fitting photos."),
                   a.CapFollowed});
  lines.push_back({"Place the photos by the solver under that cap: every cell gets the photo that keeps the "
                   "whole mosaic closest to the picture, and no photo is shown more than " +
                       Thousands(a.MaxRepeatTimes) + " times.",
                   a.SolverFollowed});
  lines.push_back({"Match on detail (4 x 4 colours per cell instead of four): photos follow the edges inside "
                   "their cells.",
                   a.DetailFollowed});
  lines.push_back({"Recolour tiles by colour transfer at " + std::to_string(a.ColorEnhance) +
                       " % under a main-picture overlay of " + std::to_string(a.AlphaMain) +
                       ": each photo takes its cell's colour and keeps its own light and dark, so tiles stay "
                       "crisp up close.",
                   a.TransferFollowed});
  // Hints rather than settings: tiles are traded for them, so they are
  // left to the user and never marked as not followed.
  const std::string calm = "calm " + std::to_string(int(kDefaultCalm));
  if (a.SizesHelp)
    lines.push_back({"Tile sizes by detail (" + calm + ") " + (a.SizesOn ? "put" : "would put") +
                         " one photo over 2 x 2 or 4 x 4 cells where the picture is calm: with " + Photos(a.Photos) +
                         " for " + Cells(a.Cells) +
                         ", fewer tiles mean fewer repeats, and photos there are big enough to recognise.",
                     true});
  else
    lines.push_back({"Tile sizes by detail (" + calm + ") would spend fewer tiles on calm areas; with more "
                     "photos than cells, a photo a cell follows the picture more closely.",
                     true});
  if (a.PhotosOffSquare >= 0) {
    if (a.ShapesHelp)
      lines.push_back({Thousands(a.PhotosOffSquare) + " of the " + Photos(a.Photos) +
                           " are not square for these cells: keeping each photo's shape " +
                           (a.KeepShapes ? "shows" : "would show") +
                           " them nearly whole on tiles of two or three cells, with fewer tiles.",
                       true});
    else
      lines.push_back({"Most photos are square for these cells: keeping each photo's shape would change "
                       "little.",
                       true});
  }
  return lines;
}

std::string AdviceSummary(const SettingsAdvice& a, int cellsAcross) {
  std::string s;
  if (a.Applicable)
    s = "radius " + std::to_string(a.RepeatRadius) + ", use all photos " + (a.UseAllPhotos ? "on" : "off") +
        ", ";
  s += std::to_string(cellsAcross) + " x " + std::to_string(a.CellsDown) + " cells";
  if (a.Applicable) {
    s += a.MaxRepeatTimes > 0 ? ", repeat cap " + std::to_string(a.MaxRepeatTimes) : ", no repeat cap";
    if (a.Matching.UseCap && a.MaxRepeatTimes > 0) s += " kept by the solver";
    if (a.Matching.Detail) s += ", detail matching";
    if (a.Matching.Transfer)
      s += ", colour transfer at " + std::to_string(a.ColorEnhance) + " % with overlay " +
           std::to_string(a.AlphaMain);
  }
  return s;
}

}  // namespace velmora
