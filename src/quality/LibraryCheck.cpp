#include "quality/LibraryCheck.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <numeric>
#include <unordered_map>

#include "library/CellPictures.h"
#include "engine/Engine.h"
#include "imaging/Parallel.h"
#include "library/SummaryCache.h"
#include "imaging/ColorLab.h"
#include "imaging/FileIO.h"
#include "imaging/PathText.h"

namespace velmora {

Status Engine::SummarizeLibraryPicture(int k, ColorSignature& out) const {
  const int cw = Project.CellWidth;
  const int ch = Project.CellHeight;
  try {
    MemoryScope scope(budget_.get());
    TBitmap32 picture;
    VELMORA_TRY(LoadLibraryPicture(picture, k, SummaryDecodeHints(cw, ch, Project.CropCell)));
    out = SummarizeCellPicture(picture, cw, ch, Project.CropCell, Project.MonoCell);
    return Status::Ok();
  } catch (const std::bad_alloc&) {
    return Status::Error(PicList[k] + ": Out of memory summarising the picture.");
  }
}

namespace {

// Colours with less chroma than this read as grey, whatever their hue.
constexpr float kGreyChroma = 10.0f;

struct GreyStep {
  float upToL;  // exclusive
  const char* name;
};
constexpr std::array<GreyStep, 5> kGreySteps = {
    {{20, "black"}, {45, "dark grey"}, {70, "grey"}, {88, "light grey"}, {1000, "white"}}};

struct HueBand {
  float fromDegrees;  // LCh hue, inclusive; the first band wraps through 0
  const char* name;
  const char* darkName;
  const char* lightName;
};
// sRGB red lies near 40 degrees, orange near 60, yellow near 100, green near
// 136, cyan near 196 and blue near 306, so the bands are cut between them.
constexpr std::array<HueBand, 7> kHueBands = {{{350, "red", "dark red", "pink"},
                                               {50, "orange", "brown", "light orange"},
                                               {80, "yellow", "olive", "light yellow"},
                                               {115, "green", "dark green", "light green"},
                                               {170, "teal", "dark teal", "light teal"},
                                               {230, "blue", "dark blue", "light blue"},
                                               {315, "purple", "dark purple", "light purple"}}};
constexpr float kDarkBelowL = 40;
constexpr float kLightFromL = 70;

int HueBandOf(float degrees) {
  for (size_t i = kHueBands.size(); i-- > 1;)
    if (degrees >= kHueBands[i].fromDegrees && degrees < kHueBands[0].fromDegrees) return static_cast<int>(i);
  return 0;
}

int FamilyOfLab(const LabColor& lab) {
  const float chroma = std::hypot(lab.A, lab.B);
  if (chroma < kGreyChroma) {
    for (size_t i = 0; i < kGreySteps.size(); ++i)
      if (lab.L < kGreySteps[i].upToL) return static_cast<int>(i);
    return static_cast<int>(kGreySteps.size()) - 1;
  }
  float degrees = std::atan2(lab.B, lab.A) * 180.0f / 3.14159265f;
  if (degrees < 0) degrees += 360;
  const int band = lab.L < kDarkBelowL ? 0 : lab.L < kLightFromL ? 1 : 2;
  return static_cast<int>(kGreySteps.size()) + HueBandOf(degrees) * 3 + band;
}

LabColor LabOfCell(const CellColor& c) { return LabFromRgbF(c.Red, c.Green, c.Blue); }

// A photo's colour for matching: the mean of its four quadrants, unrounded.
LabColor LabOfPhoto(const ColorSignature& s) {
  float r = 0, g = 0, b = 0;
  for (int q = 0; q < 4; ++q) {
    r += s.Slot[q].Red;
    g += s.Slot[q].Green;
    b += s.Slot[q].Blue;
  }
  return LabFromRgbF(r / 4, g / 4, b / 4);
}

std::array<LabColor, 4> QuadrantLabs(const ColorSignature& s) {
  std::array<LabColor, 4> labs;
  for (int q = 0; q < 4; ++q) labs[q] = LabFromRgb(s.Slot[q].Red, s.Slot[q].Green, s.Slot[q].Blue);
  return labs;
}

float QuadrantDistance(const std::array<LabColor, 4>& a, const std::array<LabColor, 4>& b) {
  float sum = 0;
  for (int q = 0; q < 4; ++q) sum += DeltaE76(a[q], b[q]);
  return sum / 4;
}

// Nearest photo by mean colour: the photos sorted by lightness, searched
// outwards from the cell's lightness until the lightness gap alone exceeds
// the best distance found.
class NearestPhoto {
public:
  explicit NearestPhoto(std::vector<LabColor> labs) : labs_(std::move(labs)) {
    std::sort(labs_.begin(), labs_.end(), [](const LabColor& a, const LabColor& b) { return a.L < b.L; });
  }
  bool Empty() const { return labs_.empty(); }
  float Distance(const LabColor& c) const {
    const auto start = std::lower_bound(labs_.begin(), labs_.end(), c.L,
                                        [](const LabColor& a, float l) { return a.L < l; }) -
                       labs_.begin();
    float best = 1e30f;
    for (auto i = start; i < static_cast<std::ptrdiff_t>(labs_.size()); ++i) {
      const float dl = labs_[size_t(i)].L - c.L;
      if (dl * dl >= best) break;
      best = std::min(best, DeltaE76Squared(labs_[size_t(i)], c));
    }
    for (auto i = start - 1; i >= 0; --i) {
      const float dl = c.L - labs_[size_t(i)].L;
      if (dl * dl >= best) break;
      best = std::min(best, DeltaE76Squared(labs_[size_t(i)], c));
    }
    return std::sqrt(best);
  }

private:
  std::vector<LabColor> labs_;
};

int Find(std::vector<int>& parent, int i) {
  while (parent[size_t(i)] != i) {
    parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
    i = parent[size_t(i)];
  }
  return i;
}

// Near-duplicate groups among the readable photos. The mean of the quadrant
// colours moves by no more than the mean quadrant distance, so two photos
// within `limit` lie in the same or neighbouring boxes of side `limit` of
// that mean; only those pairs are compared.
std::vector<DuplicateGroup> FindDuplicates(const std::vector<CheckedPhoto>& photos, float limit) {
  std::vector<DuplicateGroup> groups;
  if (!(limit > 0)) return groups;
  const int n = static_cast<int>(photos.size());
  std::vector<std::array<LabColor, 4>> quads(static_cast<size_t>(n));
  std::unordered_map<int64_t, std::vector<int>> boxes;
  std::vector<std::array<int, 3>> boxOf(static_cast<size_t>(n));
  auto key = [](int a, int b, int c) {
    return (int64_t(a) + (1 << 20)) << 42 | (int64_t(b) + (1 << 20)) << 21 | (int64_t(c) + (1 << 20));
  };
  for (int i = 0; i < n; ++i) {
    if (!photos[size_t(i)].Readable) continue;
    quads[size_t(i)] = QuadrantLabs(photos[size_t(i)].Signature);
    LabColor m;
    for (const LabColor& q : quads[size_t(i)]) {
      m.L += q.L / 4;
      m.A += q.A / 4;
      m.B += q.B / 4;
    }
    boxOf[size_t(i)] = {int(std::floor(m.L / limit)), int(std::floor(m.A / limit)),
                        int(std::floor(m.B / limit))};
    boxes[key(boxOf[size_t(i)][0], boxOf[size_t(i)][1], boxOf[size_t(i)][2])].push_back(i);
  }
  std::vector<int> parent(static_cast<size_t>(n));
  std::iota(parent.begin(), parent.end(), 0);
  for (int i = 0; i < n; ++i) {
    if (!photos[size_t(i)].Readable) continue;
    const auto& b = boxOf[size_t(i)];
    for (int dl = -1; dl <= 1; ++dl)
      for (int da = -1; da <= 1; ++da)
        for (int db = -1; db <= 1; ++db) {
          const auto it = boxes.find(key(b[0] + dl, b[1] + da, b[2] + db));
          if (it == boxes.end()) continue;
          for (int j : it->second) {
            if (j <= i || Find(parent, i) == Find(parent, j)) continue;
            if (QuadrantDistance(quads[size_t(i)], quads[size_t(j)]) <= limit)
              parent[size_t(Find(parent, j))] = Find(parent, i);
          }
        }
  }
  std::unordered_map<int, size_t> groupOfRoot;
  for (int i = 0; i < n; ++i) {
    if (!photos[size_t(i)].Readable) continue;
    const int root = Find(parent, i);
    auto [it, added] = groupOfRoot.try_emplace(root, groups.size());
    if (added) groups.emplace_back();
    groups[it->second].Photos.push_back(i);
  }
  std::erase_if(groups, [](const DuplicateGroup& g) { return g.Photos.size() < 2; });
  for (DuplicateGroup& g : groups)
    for (int i : g.Photos)
      g.Distance = std::max(g.Distance, QuadrantDistance(quads[size_t(g.Photos[0])], quads[size_t(i)]));
  return groups;  // in order of their first photo, as photos are visited in order
}

std::string Cells(int n) { return n == 1 ? "1 cell is" : std::to_string(n) + " cells are"; }
std::string Photos(int n, const std::string& more) {
  return std::to_string(n) + more + (n == 1 ? " photo" : " photos");
}

}  // namespace

int FamilyOf(float red, float green, float blue) { return FamilyOfLab(LabFromRgbF(red, green, blue)); }

int FamilyCount() { return static_cast<int>(kGreySteps.size() + kHueBands.size() * 3); }

std::string FamilyName(int id) {
  const int greys = static_cast<int>(kGreySteps.size());
  if (id < 0 || id >= FamilyCount()) return "unknown";
  if (id < greys) return kGreySteps[size_t(id)].name;
  const HueBand& h = kHueBands[size_t((id - greys) / 3)];
  switch ((id - greys) % 3) {
    case 0:
      return h.darkName;
    case 1:
      return h.name;
    default:
      return h.lightName;
  }
}

int PhotosNeeded(int cells, const RepeatRules& rules) {
  if (cells <= 0) return 0;
  const int64_t side = int64_t(std::max(rules.Radius, 0)) + 1;
  // Times one photo can be shown in a compact area of `cells` cells.
  int64_t uses = std::max<int64_t>(1, (cells + side * side - 1) / (side * side));
  if (rules.LimitRepeat && rules.MaxRepeatTimes >= 1) uses = std::min<int64_t>(uses, rules.MaxRepeatTimes);
  return static_cast<int>((cells + uses - 1) / uses);
}

std::string FamilySentence(const ColorFamily& f) {
  const std::string start = Cells(f.Cells) + " " + f.Name + "; ";
  if (f.NearestError < 0)
    return start + "the library has no photo to show them: about " + Photos(f.MorePhotos, " " + f.Name) +
           " would help";
  if (f.NearestError <= kCloseError) {
    if (f.MorePhotos == 0) return start + "your photos match them well";
    return start + "your nearest photo is close, but about " + Photos(f.MorePhotos, " more " + f.Name) +
           " would let them repeat less";
  }
  const std::string off = f.NearestError > kFarError ? "far off" : "somewhat off";
  if (f.MorePhotos == 0)
    return start + "your nearest photo is " + off + ": photos closer to this colour would help";
  return start + "your nearest photo is " + off + ": about " + Photos(f.MorePhotos, " more " + f.Name) +
         " would help";
}

float SummaryDistance(const ColorSignature& a, const ColorSignature& b) {
  return QuadrantDistance(QuadrantLabs(a), QuadrantLabs(b));
}

LibraryReport AnalyseLibrary(std::span<const CellColor> cells, int across, int down,
                             std::vector<CheckedPhoto> photos, const RepeatRules& rules,
                             float duplicateDistance) {
  LibraryReport report;
  report.CellsAcross = across;
  report.CellsDown = down;
  report.PhotoCount = static_cast<int>(photos.size());

  std::vector<LabColor> photoLabs;
  std::vector<int> photosPerFamily(static_cast<size_t>(FamilyCount()), 0);
  for (size_t k = 0; k < photos.size(); ++k) {
    if (!photos[k].Readable) {
      report.Unreadable.push_back(static_cast<int>(k));
      continue;
    }
    const LabColor lab = LabOfPhoto(photos[k].Signature);
    photoLabs.push_back(lab);
    ++photosPerFamily[size_t(FamilyOfLab(lab))];
  }
  report.ReadablePhotos = static_cast<int>(photoLabs.size());
  const NearestPhoto nearest(std::move(photoLabs));

  struct Sum {
    int cells = 0;
    double red = 0, green = 0, blue = 0, error = 0;
  };
  std::vector<Sum> sums(static_cast<size_t>(FamilyCount()));
  double totalError = 0;
  for (const CellColor& c : cells) {
    const LabColor lab = LabOfCell(c);
    Sum& s = sums[size_t(FamilyOfLab(lab))];
    ++s.cells;
    s.red += c.Red;
    s.green += c.Green;
    s.blue += c.Blue;
    if (!nearest.Empty()) {
      const float e = nearest.Distance(lab);
      s.error += e;
      totalError += e;
    }
  }
  if (!nearest.Empty() && !cells.empty())
    report.MeanNearestError = static_cast<float>(totalError / cells.size());

  for (int id = 0; id < FamilyCount(); ++id) {
    const Sum& s = sums[size_t(id)];
    if (s.cells == 0) continue;
    ColorFamily f;
    f.Id = id;
    f.Name = FamilyName(id);
    f.Cells = s.cells;
    auto channel = [&](double sum) {
      return static_cast<uint8_t>(std::clamp(std::lround(sum / s.cells), 0L, 255L));
    };
    f.Swatch = Color32(channel(s.red), channel(s.green), channel(s.blue));
    f.Photos = photosPerFamily[size_t(id)];
    f.NearestError = nearest.Empty() ? -1.0f : static_cast<float>(s.error / s.cells);
    f.PhotosNeeded = PhotosNeeded(s.cells, rules);
    f.MorePhotos = std::max(0, f.PhotosNeeded - f.Photos);
    f.Sentence = FamilySentence(f);
    report.Families.push_back(std::move(f));
  }
  std::stable_sort(report.Families.begin(), report.Families.end(),
                   [](const ColorFamily& a, const ColorFamily& b) { return a.Cells > b.Cells; });

  report.Duplicates = FindDuplicates(photos, duplicateDistance);
  report.Photos = std::move(photos);
  return report;
}

Result<LibraryReport> CheckLibrary(const Engine& engine, JobListener& job) {
  const tmosaicproject& p = engine.Project;
  if (engine.MainBitmap.Empty())
    return Status::Error("The library check needs a main picture; load one first.");
  if (p.CellsAcross < 1 || p.CellsAcross > kMapSide || p.CellsDown < 1 || p.CellsDown > kMapSide)
    return Status::Error(Format("The library check needs 1 to %d cells across and down, not %d x %d.",
                                kMapSide, p.CellsAcross, p.CellsDown));
  job.SetJobText("Current Job : Library Check");
  job.SetProgress(0);

  // The cells as Make grid samples them, on a scratch engine so that the
  // grid of a mosaic on show stays as it is.
  std::vector<CellColor> cells;
  try {
    auto scratch = std::make_unique<Engine>();
    scratch->Project = p;
    scratch->MainBitmap.Assign(engine.MainBitmap);
    scratch->MakeGrid();
    const Bitmap24& grid = scratch->GridBitmap;
    if (grid.Width() < 2 * p.CellsAcross || grid.Height() < 2 * p.CellsDown)
      return Status::Error("Out of memory sampling the main picture's cells.");
    cells.reserve(size_t(p.CellsAcross) * size_t(p.CellsDown));
    for (int y = 0; y < p.CellsDown; ++y)
      for (int x = 0; x < p.CellsAcross; ++x) {
        CellColor c;
        for (int q = 0; q < 4; ++q) {
          const uint8_t* s = grid.PixelAddress(2 * x + (q & 1), 2 * y + (q >> 1));
          c.Blue += s[0] / 4.0f;
          c.Green += s[1] / 4.0f;
          c.Red += s[2] / 4.0f;
        }
        cells.push_back(c);
      }
  } catch (const std::bad_alloc&) {
    return Status::Error("Out of memory sampling the main picture's cells.");
  }

  const CellPicList& list = engine.PicList;
  const int count = std::min(list.Count(), kLibraryTableSize);
  std::vector<CheckedPhoto> photos(static_cast<size_t>(count));
  std::unique_ptr<SummaryCache> cache;
  std::vector<SummaryKey> keys;
  if (!engine.SummaryCacheFolder().empty()) {
    cache = std::make_unique<SummaryCache>(engine.SummaryCacheFolder());
    std::string warning;
    cache->Load(&warning);
    if (!warning.empty()) job.Warning(warning);
    keys.resize(size_t(count));
  }
  const uint32_t settings =
      SummarySettings(p.CellWidth, p.CellHeight, p.CropCell, p.MonoCell, engine.UprightPictures(),
                      engine.UsePreviews());
  std::vector<int> toRead;
  for (int k = 0; k < count; ++k) {
    CheckedPhoto& photo = photos[size_t(k)];
    photo.Path = list[k];
    if (cache) {
      SummaryKey& key = keys[size_t(k)];
      key.path = list[k];
      key.settings = settings;
      if (!StatSummaryKey(key)) {
        key.path.clear();
      } else if (cache->Find(key, photo.Signature)) {
        photo.Readable = true;
        continue;
      }
    }
    toRead.push_back(k);
  }

  std::atomic<int> done{0};
  std::atomic<bool> stop{false};
  const int total = static_cast<int>(toRead.size());
  ParallelFor(engine.ThreadCount(), total, [&](int worker, int i) {
    if (stop.load(std::memory_order_relaxed)) return;
    CheckedPhoto& photo = photos[size_t(toRead[size_t(i)])];
    Status st = engine.SummarizeLibraryPicture(toRead[size_t(i)], photo.Signature);
    photo.Readable = st.ok();
    if (!st.ok()) photo.Problem = st.message();
    const int finished = done.fetch_add(1, std::memory_order_relaxed) + 1;
    // Only the calling thread may report: the window's events run there.
    if (worker == 0) {
      job.SetProgress(finished * 100 / std::max(total, 1));
      job.ProcessEvents();
      if (job.CancelRequested()) stop = true;
    }
  });
  if (stop) {
    job.SetProgress(0);
    job.SetJobText(kJobCancelledText);
    return Status::Error(kJobCancelled);
  }

  if (cache) {
    for (int k : toRead)
      if (photos[size_t(k)].Readable && !keys[size_t(k)].path.empty())
        cache->Add(keys[size_t(k)], photos[size_t(k)].Signature);
    if (cache->Changed())
      if (Status saved = cache->Save(); !saved.ok())
        job.Warning("The summary cache was not saved: " + saved.message());
  }

  const RepeatRules rules{p.MinRepeatRadius, p.LimitRepeat && !p.RepeatLimitSuspended, p.MaxRepeatTimes};
  LibraryReport report = AnalyseLibrary(cells, p.CellsAcross, p.CellsDown, std::move(photos), rules);
  job.SetProgress(100);
  return report;
}

std::vector<std::string> LibraryReportLines(const LibraryReport& r) {
  std::vector<std::string> lines;
  auto fmt = [](float v) { return Format("%.1f", static_cast<double>(v)); };
  lines.push_back(Format("Library check: %d x %d cells, %s (%d readable)", r.CellsAcross, r.CellsDown,
                         Photos(r.PhotoCount, "").c_str(), r.ReadablePhotos));
  if (r.MeanNearestError >= 0)
    lines.push_back("Mean colour error of the nearest photo per cell (CIE76): " + fmt(r.MeanNearestError));
  lines.push_back("");
  lines.push_back("Colour families (cells, swatch, photos of the family, nearest-photo error):");
  for (const ColorFamily& f : r.Families) {
    lines.push_back(Format("  %-14s %6d %-5s  #%02X%02X%02X  %5d %-6s  error %s", f.Name.c_str(), f.Cells,
                           f.Cells == 1 ? "cell" : "cells", RedOf(f.Swatch), GreenOf(f.Swatch),
                           BlueOf(f.Swatch), f.Photos, f.Photos == 1 ? "photo" : "photos",
                           f.NearestError < 0 ? "-" : fmt(f.NearestError).c_str()));
    lines.push_back("    " + f.Sentence);
  }
  lines.push_back("");
  if (r.Duplicates.empty()) {
    lines.push_back("Near-duplicate photos: none");
  } else {
    lines.push_back(Format("Near-duplicate photos: %zu %s; they look like repeats on the mosaic",
                           r.Duplicates.size(), r.Duplicates.size() == 1 ? "group" : "groups"));
    for (size_t g = 0; g < r.Duplicates.size(); ++g) {
      const DuplicateGroup& d = r.Duplicates[g];
      lines.push_back(
          Format("  Group %zu (%zu photos, within %s):", g + 1, d.Photos.size(), fmt(d.Distance).c_str()));
      for (int k : d.Photos) lines.push_back("    " + EchoPath(r.Photos[size_t(k)].Path));
    }
  }
  if (!r.Unreadable.empty()) {
    lines.push_back("");
    lines.push_back(Format("Photos that could not be read: %zu", r.Unreadable.size()));
    for (int k : r.Unreadable) {
      const CheckedPhoto& photo = r.Photos[size_t(k)];
      // The reader's messages mostly name the file already.
      const std::string& why = photo.Problem;
      if (!photo.Path.empty() && why.find(photo.Path) != std::string::npos)
        lines.push_back("  " + EchoPath(why));
      else
        lines.push_back("  " + EchoPath(photo.Path.empty() ? Format("(line %d)", k + 1) : photo.Path) + ": " +
                        why);
    }
  }
  return lines;
}

Status SaveLibraryReportText(const LibraryReport& report, const std::string& path) {
  std::string text;
  for (const std::string& line : LibraryReportLines(report)) text += line + "\r\n";
  return WriteFileAtomically(
      path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace velmora
