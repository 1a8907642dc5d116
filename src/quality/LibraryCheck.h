// The library check: which colours of the main picture the library cannot
// serve, before a mosaic is made. The grid's cells are grouped into colour
// families (a hue and a lightness band in CIELAB's LCh form, or a grey step
// for colours with little chroma); each family gets its cell count, the
// colour of its cells, how far the nearest library photo lies from them and a
// plain sentence of advice. Photos whose summaries are nearly equal (bursts
// of one scene) are listed too: they look like repeats on the mosaic even
// where the repeat radius holds.
//
// The analysis works on plain numbers (cell colours, photo summaries), so a
// test can feed it made-up libraries; CheckLibrary gathers those numbers from
// an engine the way mosaic creation would.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "imaging/Bitmap32.h"
#include "imaging/ColorLab.h"
#include "imaging/ColorSignature.h"
#include "imaging/Status.h"

namespace velmora {

class Engine;
class JobListener;

// One library photo as the check found it.
struct CheckedPhoto {
  std::string Path;
  ColorSignature Signature;
  bool Readable = false;
  std::string Problem;  // the reader's message when not readable
};

// The repeat options that decide how many distinct photos a family needs.
struct RepeatRules {
  int Radius = 4;  // MinRepeatRadius
  bool LimitRepeat = false;
  int MaxRepeatTimes = 0;  // used when LimitRepeat
};

// Nearest-photo errors (CIE76) up to kCloseError look alike on a mosaic;
// past kFarError the cells visibly take another colour.
inline constexpr float kCloseError = 6.0f;
inline constexpr float kFarError = 12.0f;
// Two photos whose quadrant colours differ by at most this much on average
// (CIE76) count as near-duplicates.
inline constexpr float kDuplicateDistance = 3.0f;

struct ColorFamily {
  int Id = 0;        // the family's bin, FamilyName(Id) names it
  std::string Name;  // "dark blue"
  int Cells = 0;
  TColor32 Swatch = 0;  // the mean colour of its cells
  int Photos = 0;       // readable library photos of the same family
  // Mean over the family's cells of the CIE76 error of the nearest library
  // photo (by mean colour); negative when the library has no readable photo.
  float NearestError = -1;
  // Distinct photos the family's cells need under the repeat rules, and how
  // many of those the library lacks.
  int PhotosNeeded = 0;
  int MorePhotos = 0;
  std::string Sentence;
};

struct DuplicateGroup {
  std::vector<int> Photos;  // library indices, ascending
  float Distance = 0;       // largest distance of a photo to the group's first
};

struct LibraryReport {
  int CellsAcross = 0;
  int CellsDown = 0;
  int PhotoCount = 0;  // listed in the library
  int ReadablePhotos = 0;
  float MeanNearestError = -1;        // over all cells; negative without photos
  std::vector<ColorFamily> Families;  // largest first
  std::vector<DuplicateGroup> Duplicates;
  std::vector<int> Unreadable;  // library indices, ascending
  std::vector<CheckedPhoto> Photos;
};

// The family of a colour: 0..4 the grey steps from black to white, then
// hue x lightness bins. FamilyCount() bins in all.
int FamilyOf(float red, float green, float blue);
int FamilyCount();
std::string FamilyName(int id);

// The distinct photos `cells` cells of one family need so that none repeats
// closer than the rules allow: a photo can be shown at most once in every
// (R + 1) x (R + 1) block of a compact area, and at most MaxRepeatTimes times
// when the cap is on.
int PhotosNeeded(int cells, const RepeatRules& rules);

// The advice sentence of one family, from its name, counts and error.
std::string FamilySentence(const ColorFamily& family);

// Mean CIE76 distance of the four quadrant colours of two summaries.
float SummaryDistance(const ColorSignature& a, const ColorSignature& b);

// The whole analysis. `cells` holds across x down colours, row by row.
LibraryReport AnalyseLibrary(std::span<const CellColor> cells, int across, int down,
                             std::vector<CheckedPhoto> photos, const RepeatRules& rules,
                             float duplicateDistance = kDuplicateDistance);

// Runs the check for the engine's project (cells, cell size, crop and grey
// options, stitch layout), main picture and library, without changing the
// engine: its grid is made on a scratch engine, and the library summaries
// come from the summary cache or are taken as Prepare library takes them
// (new ones are added to the cache). A photo that cannot be read is listed by
// name instead of stopping the check. Fails without a main picture, with a
// grid the tables cannot hold, or when the listener cancels.
Result<LibraryReport> CheckLibrary(const Engine& engine, JobListener& job);

// The report as lines of plain text (LF-ended; the saver writes CR LF).
std::vector<std::string> LibraryReportLines(const LibraryReport& report);
// Writes the report's text to `path` through a temporary file.
Status SaveLibraryReportText(const LibraryReport& report, const std::string& path);

}  // namespace velmora
