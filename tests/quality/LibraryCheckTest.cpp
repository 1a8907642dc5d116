// The library check: colour families, their nearest-photo errors and advice,
// near-duplicate photos, and the check run on an engine's real files.
#include <gtest/gtest.h>

#include <fstream>
#include <numeric>
#include <set>

#include "support/EngineTestSupport.h"
#include "quality/LibraryCheck.h"
#include "imaging/ColorLab.h"

namespace velmora {
namespace {

using testing::AddPicture;
using testing::FlatSignature;
using testing::ScratchDir;
using testing::Uniform;

struct Rgb {
  uint8_t r, g, b;
};

CheckedPhoto Photo(Rgb c, const std::string& name = "p.jpg") {
  CheckedPhoto p;
  p.Path = name;
  p.Signature = FlatSignature(c.b, c.g, c.r);
  p.Readable = true;
  return p;
}

std::vector<CellColor> CellsOf(const std::vector<std::pair<Rgb, int>>& runs) {
  std::vector<CellColor> cells;
  for (const auto& [c, n] : runs)
    for (int i = 0; i < n; ++i) cells.push_back(CellColor{float(c.r), float(c.g), float(c.b)});
  return cells;
}

const ColorFamily* FamilyNamed(const LibraryReport& r, const std::string& name) {
  for (const ColorFamily& f : r.Families)
    if (f.Name == name) return &f;
  return nullptr;
}

constexpr Rgb kNavy{20, 40, 110};   // dark blue
constexpr Rgb kSky{90, 130, 200};   // blue
constexpr Rgb kSand{200, 140, 80};  // orange
constexpr Rgb kLeaf{60, 150, 50};   // green

TEST(LibraryCheckFamilies, ColoursFallIntoTheirNamedFamilies) {
  const struct {
    Rgb colour;
    const char* family;
  } cases[] = {
      {{0, 0, 0}, "black"},           {{128, 128, 128}, "grey"},
      {{255, 255, 255}, "white"},     {{60, 60, 64}, "dark grey"},
      {{255, 0, 0}, "red"},           {{0, 0, 255}, "dark blue"},
      {{90, 130, 200}, "blue"},       {{170, 200, 240}, "light blue"},
      {{0, 128, 0}, "green"},         {{255, 255, 0}, "light yellow"},
      {{120, 60, 10}, "brown"},       {{255, 140, 0}, "orange"},
      {{128, 0, 128}, "dark purple"}, {{255, 180, 190}, "pink"},
      {{0, 128, 128}, "teal"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FamilyName(FamilyOf(c.colour.r, c.colour.g, c.colour.b)), c.family)
        << int(c.colour.r) << "," << int(c.colour.g) << "," << int(c.colour.b);
  // Every family has its own name.
  std::set<std::string> names;
  for (int id = 0; id < FamilyCount(); ++id) names.insert(FamilyName(id));
  EXPECT_EQ(int(names.size()), FamilyCount());
}

TEST(LibraryCheckAnalysis, ReportsWhatTheLibraryLacksAndCountsEveryCell) {
  const struct {
    const char* name;
    std::vector<std::pair<Rgb, int>> cells;
    std::vector<Rgb> photos;
    const char* lacking;  // family expected far off (nullptr: none)
    const char* served;   // family expected close
  } cases[] = {
      {"library without blue",
       {{kNavy, 300}, {kSand, 200}},
       {kSand, {210, 150, 90}, {128, 128, 128}},
       "dark blue",
       "orange"},
      {"library without green", {{kLeaf, 50}, {kSky, 70}}, {kSky, kNavy}, "green", "blue"},
      {"library with everything",
       {{kLeaf, 10}, {kSky, 10}, {kSand, 10}},
       {kLeaf, kSky, kSand},
       nullptr,
       "green"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<CellColor> cells = CellsOf(c.cells);
    std::vector<CheckedPhoto> photos;
    for (Rgb p : c.photos) photos.push_back(Photo(p));
    const LibraryReport r = AnalyseLibrary(cells, int(cells.size()), 1, photos, RepeatRules{});

    int counted = 0;
    for (const ColorFamily& f : r.Families) counted += f.Cells;
    EXPECT_EQ(counted, int(cells.size()));
    for (size_t i = 1; i < r.Families.size(); ++i) EXPECT_GE(r.Families[i - 1].Cells, r.Families[i].Cells);

    if (c.lacking) {
      const ColorFamily* f = FamilyNamed(r, c.lacking);
      ASSERT_NE(f, nullptr);
      EXPECT_GT(f->NearestError, kFarError);
      EXPECT_NE(f->Sentence.find("far off"), std::string::npos) << f->Sentence;
      EXPECT_GT(f->MorePhotos, 0);
    }
    const ColorFamily* served = FamilyNamed(r, c.served);
    ASSERT_NE(served, nullptr);
    EXPECT_LE(served->NearestError, kCloseError);
  }
}

TEST(LibraryCheckAnalysis, SwatchIsTheMeanOfTheFamilysCells) {
  const std::vector<CellColor> cells = {{20, 40, 100}, {30, 40, 120}};
  const LibraryReport r = AnalyseLibrary(cells, 2, 1, {}, RepeatRules{});
  ASSERT_EQ(r.Families.size(), 1u);
  EXPECT_EQ(r.Families[0].Swatch, Color32(25, 40, 110));
  EXPECT_LT(r.Families[0].NearestError, 0) << "no photos, no error";
  EXPECT_LT(r.MeanNearestError, 0);
}

TEST(LibraryCheckAdvice, PhotosNeededFollowTheRepeatRules) {
  const struct {
    int cells;
    RepeatRules rules;
    int needed;
  } cases[] = {
      {0, {4, false, 0}, 0},    {1, {4, false, 0}, 1},   {25, {4, false, 0}, 25},
      {312, {4, false, 0}, 24}, {312, {1, false, 0}, 4}, {312, {1, true, 2}, 156},
      {312, {0, false, 0}, 1},  {10, {1, true, 1}, 10},  {409600, {100, false, 0}, 9991},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PhotosNeeded(c.cells, c.rules), c.needed)
        << c.cells << " cells, radius " << c.rules.Radius << ", cap " << c.rules.MaxRepeatTimes;
}

TEST(LibraryCheckAdvice, SentencesSayHowFarOffAndHowManyMore) {
  auto family = [](int cells, float error, int more) {
    ColorFamily f;
    f.Name = "dark blue";
    f.Cells = cells;
    f.NearestError = error;
    f.MorePhotos = more;
    return f;
  };
  const struct {
    ColorFamily family;
    const char* sentence;
  } cases[] = {
      {family(312, 25, 40),
       "312 cells are dark blue; your nearest photo is far off: about 40 more dark blue photos "
       "would help"},
      {family(312, 9, 1),
       "312 cells are dark blue; your nearest photo is somewhat off: about 1 more dark blue photo "
       "would help"},
      {family(1, 30, 0),
       "1 cell is dark blue; your nearest photo is far off: photos closer to this colour would help"},
      {family(50, 2, 0), "50 cells are dark blue; your photos match them well"},
      {family(50, 2, 7),
       "50 cells are dark blue; your nearest photo is close, but about 7 more dark blue photos would "
       "let them repeat less"},
      {family(50, -1, 25),
       "50 cells are dark blue; the library has no photo to show them: about 25 dark blue photos "
       "would help"},
  };
  for (const auto& c : cases) EXPECT_EQ(FamilySentence(c.family), c.sentence);
}

TEST(LibraryCheckDuplicates, FlagsSameScenePhotosOnly) {
  ColorSignature split = FlatSignature(30, 90, 200);
  split.Slot[sigTopLeft] = SigColor{200, 120, 40, 0};
  ColorSignature nearSplit = split;
  nearSplit.Slot[sigBottomRight].Red += 2;
  const struct {
    const char* name;
    std::vector<ColorSignature> photos;
    std::vector<std::vector<int>> groups;
  } cases[] = {
      {"exact pair among distinct photos",
       {FlatSignature(200, 10, 10), split, FlatSignature(10, 200, 10), split, FlatSignature(10, 10, 200)},
       {{1, 3}}},
      {"a burst of three", {nearSplit, FlatSignature(0, 0, 0), split, nearSplit}, {{0, 2, 3}}},
      {"distinct photos", {FlatSignature(200, 10, 10), FlatSignature(10, 200, 10), split}, {}},
      {"mirrored quadrants are different photos",
       {split,
        [&] {
          ColorSignature m = split;
          std::swap(m.Slot[sigTopLeft], m.Slot[sigTopRight]);
          return m;
        }()},
       {}},
      {"two pairs", {split, FlatSignature(90, 90, 90), split, FlatSignature(90, 90, 91)}, {{0, 2}, {1, 3}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<CheckedPhoto> photos;
    for (const ColorSignature& s : c.photos) {
      CheckedPhoto p;
      p.Signature = s;
      p.Readable = true;
      photos.push_back(p);
    }
    const LibraryReport r = AnalyseLibrary({}, 0, 0, photos, RepeatRules{});
    std::vector<std::vector<int>> groups;
    for (const DuplicateGroup& g : r.Duplicates) {
      groups.push_back(g.Photos);
      EXPECT_LE(g.Distance, kDuplicateDistance);
    }
    EXPECT_EQ(groups, c.groups);
  }
  EXPECT_EQ(SummaryDistance(split, split), 0.0f);
  EXPECT_GT(SummaryDistance(split, FlatSignature(30, 90, 200)), kDuplicateDistance);
}

TEST(LibraryCheckDuplicates, UnreadablePhotosAreNeitherDuplicatesNorMatched) {
  std::vector<CheckedPhoto> photos = {Photo(kSky), Photo(kSky), Photo(kNavy)};
  photos[1].Readable = false;
  photos[1].Problem = "cannot read";
  const std::vector<CellColor> cells = CellsOf({{kNavy, 4}});
  const LibraryReport r = AnalyseLibrary(cells, 2, 2, photos, RepeatRules{});
  EXPECT_TRUE(r.Duplicates.empty());
  EXPECT_EQ(r.Unreadable, std::vector<int>{1});
  EXPECT_EQ(r.ReadablePhotos, 2);
  EXPECT_EQ(r.PhotoCount, 3);
}

// An engine with a main picture: the left half navy, the right half sand.
struct CheckFixture {
  ScratchDir dir;
  Engine e;
  CheckFixture() {
    testing::SetGrid(e, 8, 6, 16, 16);
    e.MainBitmap = Uniform(80, 60, Color32(kSand.r, kSand.g, kSand.b));
    e.MainBitmap.FillRect(TRect{0, 0, 40, 60}, Color32(kNavy.r, kNavy.g, kNavy.b));
    e.SetThreadCount(2);
  }
  void Add(Rgb c) { AddPicture(e, dir, Uniform(24, 24, Color32(c.r, c.g, c.b))); }
};

TEST(LibraryCheckRun, ChecksTheEnginesFilesAndNamesUnreadablePhotos) {
  CheckFixture f;
  f.Add(kSand);
  f.Add(kSand);  // an exact duplicate of the first
  std::ofstream(f.dir.File("broken.jpg")) << "not a picture";
  f.e.PicList.Append(f.dir.File("broken.jpg"));
  f.e.PicList.Append(f.dir.File("missing.bmp"));
  f.Add(kLeaf);
  f.e.MakeGrid();
  const Bitmap24 gridBefore = f.e.GridBitmap;

  testing::JobRecorder job;
  Result<LibraryReport> r = CheckLibrary(f.e, job);
  ASSERT_TRUE(r.ok()) << r.message();
  EXPECT_EQ(r->CellsAcross * r->CellsDown, 48);
  int counted = 0;
  for (const ColorFamily& fam : r->Families) counted += fam.Cells;
  EXPECT_EQ(counted, 48);
  const ColorFamily* navy = FamilyNamed(*r, "dark blue");
  ASSERT_NE(navy, nullptr);
  EXPECT_EQ(navy->Cells, 24);
  EXPECT_GT(navy->NearestError, kFarError);
  EXPECT_LE(FamilyNamed(*r, "orange")->NearestError, kCloseError);
  ASSERT_EQ(r->Duplicates.size(), 1u);
  EXPECT_EQ(r->Duplicates[0].Photos, (std::vector<int>{0, 1}));
  EXPECT_EQ(r->Unreadable, (std::vector<int>{2, 3}));

  std::string text;
  for (const std::string& line : LibraryReportLines(*r)) text += line + "\n";
  EXPECT_NE(text.find("broken.jpg"), std::string::npos) << text;
  EXPECT_NE(text.find("missing.bmp"), std::string::npos) << text;
  EXPECT_NE(text.find("24 cells are dark blue; your nearest photo is far off"), std::string::npos) << text;

  EXPECT_EQ(job.texts.front(), "Current Job : Library Check");
  EXPECT_EQ(job.progress.back(), 100);
  EXPECT_TRUE(
      std::equal(gridBefore.Bytes().begin(), gridBefore.Bytes().end(), f.e.GridBitmap.Bytes().begin()))
      << "the engine's grid stays as it was";
}

TEST(LibraryCheckRun, TakesSummariesFromTheCacheAndGivesThemAsPrepareLibraryDoes) {
  CheckFixture f;
  f.Add(kSand);
  f.Add(kSky);
  f.e.SetSummaryCacheFolder(f.dir.File("cache"));
  testing::ReadCounter counter;
  f.e.SetPictureLoader(counter.Loader());
  testing::JobRecorder job;
  ASSERT_TRUE(CheckLibrary(f.e, job).ok());
  EXPECT_EQ(counter.reads.size(), 2u);

  counter.reads.clear();
  Result<LibraryReport> again = CheckLibrary(f.e, job);
  ASSERT_TRUE(again.ok());
  EXPECT_TRUE(counter.reads.empty()) << "the second check reads no picture";
  ASSERT_TRUE(f.e.PrepareLibrary().ok());
  for (int k = 0; k < 2; ++k) EXPECT_EQ(again->Photos[size_t(k)].Signature, f.e.Library[k].Signature);
}

TEST(LibraryCheckRun, HostileInputsGiveAReportOrAClearRefusal) {
  {
    CheckFixture f;  // empty library: every family says so
    testing::JobRecorder job;
    Result<LibraryReport> r = CheckLibrary(f.e, job);
    ASSERT_TRUE(r.ok()) << r.message();
    ASSERT_FALSE(r->Families.empty());
    for (const ColorFamily& fam : r->Families)
      EXPECT_NE(fam.Sentence.find("the library has no photo"), std::string::npos);
  }
  {
    CheckFixture f;
    f.e.MainBitmap = TBitmap32();
    testing::JobRecorder job;
    Result<LibraryReport> r = CheckLibrary(f.e, job);
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.message().find("main picture"), std::string::npos);
  }
  {
    CheckFixture f;
    testing::SetGrid(f.e, 0, 5, 16, 16);
    testing::JobRecorder job;
    EXPECT_FALSE(CheckLibrary(f.e, job).ok());
  }
  {
    CheckFixture f;
    f.Add(kSand);
    struct Cancelling : testing::JobRecorder {
      bool CancelRequested() override { return true; }
    } job;
    Result<LibraryReport> r = CheckLibrary(f.e, job);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.message(), kJobCancelled);
  }
}

TEST(LibraryCheckRun, TextReportIsSavedWithCrLfAndKeepsTheOldFileOnFailure) {
  CheckFixture f;
  f.Add(kSand);
  testing::JobRecorder job;
  Result<LibraryReport> r = CheckLibrary(f.e, job);
  ASSERT_TRUE(r.ok());
  const std::string path = f.dir.File("report.txt");
  ASSERT_TRUE(SaveLibraryReportText(*r, path).ok());
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text.rfind("Library check: 8 x 6 cells, 1 photo (1 readable)\r\n", 0), 0u) << text;
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_FALSE(SaveLibraryReportText(*r, f.dir.File("no-such-folder/report.txt")).ok());
}

}  // namespace
}  // namespace velmora
