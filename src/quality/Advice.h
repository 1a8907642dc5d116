// Settings advice: from the library's size, the grid and the main picture,
// the settings under which a mosaic looks like its photo. The options that
// decide that most are not the matching but the rules around it: a repeat
// radius too large for the library leaves a cell only poor photos to choose
// from; "Ensure Use All Photos" with a library nearly as large as the grid
// places most photos where they do not fit; a grid of another shape than the
// picture stretches it. The rules and their constants were read from
// measured mosaics (bench/advice-table.sh): see each constant.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/ProjectRecord.h"
#include "match/DetailMatch.h"

namespace velmora {

class Engine;

// A repeat radius may forbid at most this share of the library around a cell
// (the (2R+1)^2 - 1 cells of its square, all showing different photos at
// worst). At this share the measured error rose by 1 to 5 % over radius 1;
// at twice it by 5 to 14 %, at four times it by 13 to 23 %.
constexpr double kRadiusBlockedShare = 0.06;
// "Ensure Use All Photos" costs likeness once the library holds more than
// this share of the cell count: the first pass places every photo in list
// order at its best free cell, and the error rose by 7 to 14 % with a library
// of 13 to 35 % of the cells and by 56 % at 65 %, but by at most 2 % below 6 %.
constexpr double kUseAllLibraryShare = 0.10;
// A repeat cap that fits: this many times each photo's even share of the
// cells, kept by the solver. In the one-by-one passes any cap costs
// likeness: measured, 1.2 times the even share (the raise the options
// apply) added 25 to 130 % to the error, twice it 10 to 80 %, four times it
// 20 %, eight times it 7 %. The solver gives every photo its best cells at
// once, so a cap costs far less there. On 2,000 photos for 2,304 cells (an even share of 1.15), caps
// of 4, 3 and 2 gave mean errors at 4 x 4 samples of 10.9, 11.9 and 13.6
// against 18.5 without the solver, with 650, 820 and 1,180 different photos:
// 2.5 times the even share keeps most of the likeness and spreads the
// photos over at least 0.4 of the library.
constexpr double kSolvedCapSlack = 2.5;
// Every photo placed by the solver ("Place every photo well") keeps a
// distance per photo and cell, 4 bytes each: advised up to this many (64 MiB;
// 2,000 photos in 128 x 64 cells), beyond it the one-by-one pass places them.
constexpr int64_t kAdvisedFairUseAllEntries = int64_t(1) << 24;
// Tiles recoloured by colour transfer at full strength, under an overlay of
// the main picture of 115 / 255 (45 %) that the transfer's spread makes up
// for. Measured on 2,000 photos at 48 x 48 cells with the solver's cap of 3,
// on three main pictures: mean error at 4 x 4 samples 5.3 to 5.5, SSIM 0.61
// to 0.69 and 93 % of each tile's own contrast kept; at half strength under
// the 20 % overlay, 10.9 to 12.6, 0.36 to 0.37 and 97 %; at full strength
// under 40 %, SSIM 0.57 on the portrait picture.
constexpr int kAdvisedEnhance = 100;
constexpr int kAdvisedOverlay = 115;

struct AdviceInput {
  int Photos = 0;  // entries in the library list
  int CellsAcross = 48;
  int CellsDown = 48;
  int CellWidth = 32;
  int CellHeight = 32;
  int MainWidth = 0;  // 0 without a main picture
  int MainHeight = 0;
  bool CropMain = false;
  bool SelfMosaic = false;
  // The settings as they stand, to say what the advice changes.
  int MinRepeatRadius = 4;
  bool UseAllPhotos = true;
  bool LimitRepeat = false;
  int MaxRepeatTimes = 10;
  int ColorEnhance = 50;
  int AlphaMain = 51;
  MatchOptions Matching;
  // Tiles of several sizes and tiles that keep the photo, as set; and how
  // many photos are not square for these cells (-1: their shapes not read).
  bool SizesOn = false;
  bool KeepShapes = false;
  int PhotosOffSquare = -1;
};

struct SettingsAdvice {
  bool Applicable = false;  // a library mosaic with photos and cells
  int Photos = 0;
  int Cells = 0;
  int RepeatRadius = 1;
  int EligibleAtRadius = 0;  // photos left for a cell in the worst case
  int EligibleAtCurrent = 0;
  bool UseAllRuns = false;  // the every-photo pass runs at all (cells >= photos)
  bool UseAllCostsLikeness = false;
  bool UseAllPhotos = false;  // advised
  int CellsDown = 48;         // keeps the main picture's shape for the cells across
  bool ShapeKept = true;      // the current grid already keeps it, or the picture is cropped
  int MaxRepeatTimes = 10;    // the repeat cap that fits
  // The matching advised: detail matching, the solver under the repeat cap
  // (with the cap above, and the every-photo pass by the solver when it
  // runs) and tiles recoloured by colour transfer.
  MatchOptions Matching;
  // With the transfer: its strength and the overlay of the main picture.
  int ColorEnhance = kAdvisedEnhance;
  int AlphaMain = kAdvisedOverlay;
  // When tiles of several sizes help: fewer photos than cells, so merging
  // calm areas spends fewer tiles and each photo repeats less. When keeping
  // each photo's shape helps: at least half the photos, their shapes read,
  // are not square for the cells. Both trade tiles for it, so they are told
  // of as hints and left to the user: ApplyAdvice does not set them.
  bool SizesHelp = false;
  bool ShapesHelp = false;
  int PhotosOffSquare = -1;
  bool SizesOn = false;
  bool KeepShapes = false;

  // Whether the settings of `input` already are the advice.
  bool RadiusFollowed = true;
  bool UseAllFollowed = true;
  bool CapFollowed = true;
  bool DetailFollowed = true;
  bool SolverFollowed = true;
  bool TransferFollowed = true;
  bool Followed() const {
    return RadiusFollowed && UseAllFollowed && ShapeKept && CapFollowed && DetailFollowed && SolverFollowed &&
           TransferFollowed;
  }
};

SettingsAdvice AdviseSettings(const AdviceInput& input);

// The input from the engine's project and library, with the option fields
// taken from `options` (the Options dialog's set or the project itself) and
// the matching choices from the engine's next project's (MatchingSet).
AdviceInput AdviceInputOf(const Engine& engine, const tmosaicproject& options);

// The advice into the option fields of `options` (radius, use-all, the
// repeat cap switched on for the solver, the transfer's strength and
// overlay), the matching choices into `matching` and cells down into `sizes`
// (followed by ComputeDerivedSizes); `options` and `sizes` may be the same
// record.
void ApplyAdvice(const SettingsAdvice& advice, tmosaicproject& options, tmosaicproject& sizes,
                 MatchOptions& matching);

// One line per piece of advice, each a whole sentence, with whether the
// current settings follow it (for the notes' colour).
struct AdviceLine {
  std::string Text;
  bool Followed = true;
};
std::vector<AdviceLine> AdviceLines(const SettingsAdvice& advice);
// What ApplyAdvice sets, in one line ("radius 1, use all photos on, 48 x 36
// cells, repeat cap 44 kept by the solver, detail matching, colour transfer
// at 100 % with overlay 115").
std::string AdviceSummary(const SettingsAdvice& advice, int cellsAcross);

}  // namespace velmora
