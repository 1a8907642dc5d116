// Undo and redo of the hand edits, and the engine put back after a cancelled
// job: random edits of every kind undone to the original bytes and redone to
// the edited ones, the bounds of the history, and a cancel in the mapping
// table and in the render.
#include <gtest/gtest.h>

#include "support/EngineTestSupport.h"
#include "engine/EditHistory.h"
#include "engine/EngineSnapshot.h"
#include "engine/PickCell.h"

namespace velmora {
namespace {

using testing::Uniform;

// 8 x 6 cells of 12 x 10 pixels in `stitch`, a four-colour main picture and
// six flat library pictures.
void SetUpSmallMosaic(Engine& e, const testing::ScratchDir& dir, int stitch) {
  testing::SetGrid(e, 8, 6, 12, 10);
  e.Project.StitchMode = stitch;
  e.Project.MinRepeatRadius = 1;
  e.MainBitmap = Uniform(64, 48, Color32(200, 30, 30));
  e.MainBitmap.FillRect(TRect{32, 0, 64, 24}, Color32(30, 200, 30));
  e.MainBitmap.FillRect(TRect{0, 24, 32, 48}, Color32(30, 30, 200));
  const TColor32 pictures[6] = {Color32(180, 40, 50),  Color32(50, 170, 40), Color32(40, 60, 190),
                                Color32(210, 200, 60), Color32(0, 0, 0),     Color32(255, 255, 255)};
  for (TColor32 c : pictures) testing::AddPicture(e, dir, Uniform(24, 30, c));
  e.Rng.SetSeed(99);
}

void MakeSmallMosaic(Engine& e, const testing::ScratchDir& dir, int stitch) {
  SetUpSmallMosaic(e, dir, stitch);
  ASSERT_TRUE(e.CreateMosaic().ok());
}

// Everything an edit may touch, as bytes.
struct EngineBytes {
  std::vector<TColor32> mosaic;
  std::vector<uint8_t> map = std::vector<uint8_t>(kCellMapBytes);
  std::vector<uint8_t> library = std::vector<uint8_t>(kLibraryTableBytes);
  explicit EngineBytes(const Engine& e)
      : mosaic(e.MosaicBitmap.Pixels().begin(), e.MosaicBitmap.Pixels().end()) {
    e.Map.WriteBytes(std::span<uint8_t, kCellMapBytes>(map));
    e.Library.WriteBytes(std::span<uint8_t, kLibraryTableBytes>(library));
  }
  bool operator==(const EngineBytes&) const = default;
};

// One random hand edit of each kind in turn, recorded as the windows do.
void RandomEdit(Engine& e, EditHistory& history, RandomGenerator& rng, int kind) {
  const int x = rng.Random(e.Project.CellsAcross);
  const int y = rng.Random(e.Project.CellsDown);
  if (kind == 0) {  // Edit I
    auto pending = history.Begin(e, "Edit I", {CellPos{x, y}}, EditHistory::CellRects(e, x, y));
    const int k = e.ChoosePicture(x, y, e.SampleCell(x, y), 1);
    if (k >= 0) e.FillCell(x, y, k);
    ASSERT_TRUE(e.RenderCell(x, y).ok());
    history.Commit(e, std::move(pending));
  } else if (kind == 1) {  // an Edit II apply
    PickChoice choice{
        x, y, rng.Random(e.PicList.Count()), rng.Random(21), rng.Random(2) == 1, rng.Random(2) == 1};
    auto pending = history.Begin(e, "Pick Cell", {CellPos{x, y}}, EditHistory::CellRects(e, x, y));
    ASSERT_TRUE(ApplyPickedPicture(e, choice, e.SampleCell(x, y)).ok());
    history.Commit(e, std::move(pending));
  } else {  // a pen stroke
    const int l = rng.Random(e.Project.FinalWidth), t = rng.Random(e.Project.FinalHeight);
    const TRect r{l, t, std::min(l + 1 + rng.Random(40), e.Project.FinalWidth - 1),
                  std::min(t + 1 + rng.Random(30), e.Project.FinalHeight - 1)};
    auto pending = history.Begin(e, "Pen Stroke", {}, {r});
    ASSERT_TRUE(e.PenStroke(r.Left, r.Top, r.Right, r.Bottom).ok());
    history.Commit(e, std::move(pending));
  }
}

TEST(EditHistory, RandomEditsUndoneGiveTheOriginalBytesAndRedoneTheEditedOnes) {
  for (int stitch : {kStitchLoom, kStitchPeyote, kStitchBrick}) {
    testing::ScratchDir dir;
    Engine e;
    MakeSmallMosaic(e, dir, stitch);
    const EngineBytes original(e);
    EditHistory history;
    RandomGenerator rng;
    rng.SetSeed(static_cast<uint32_t>(stitch));
    for (int i = 0; i < 30; ++i) RandomEdit(e, history, rng, i % 3);
    const EngineBytes edited(e);
    ASSERT_FALSE(edited == original);
    const size_t steps = history.Count();
    EXPECT_GE(steps, 20u) << "stitch " << stitch;  // a few edits may change nothing

    std::vector<TRect> changed;
    while (history.CanUndo()) ASSERT_TRUE(history.Undo(e, &changed));
    EXPECT_TRUE(EngineBytes(e) == original) << "stitch " << stitch;
    EXPECT_FALSE(changed.empty());
    while (history.CanRedo()) ASSERT_TRUE(history.Redo(e));
    EXPECT_TRUE(EngineBytes(e) == edited) << "stitch " << stitch;

    // Undo two, edit again: the two can no longer be redone.
    ASSERT_TRUE(history.Undo(e) && history.Undo(e));
    EXPECT_EQ(history.RedoName(), "Pick Cell");
    RandomEdit(e, history, rng, 2);
    EXPECT_FALSE(history.CanRedo());
    EXPECT_EQ(history.UndoName(), "Pen Stroke");
    EXPECT_EQ(history.Count(), steps - 1);
  }
}

TEST(EditHistory, KeepsWithinItsBoundsDroppingTheOldestFirst) {
  testing::ScratchDir dir;
  Engine e;
  MakeSmallMosaic(e, dir, kStitchLoom);
  const struct {
    size_t maxBytes, maxSteps, expectSteps;
  } bounds[] = {
      {EditHistory::kDefaultMaxBytes, 3, 3},  // by steps
      {16 * 1024, 500, 0},                    // by bytes: fewer than all 12 fit
  };
  for (const auto& b : bounds) {
    EditHistory history(b.maxBytes, b.maxSteps);
    RandomGenerator rng;
    rng.SetSeed(5);
    for (int i = 0; i < 12; ++i) RandomEdit(e, history, rng, 2);
    if (b.expectSteps) {
      EXPECT_EQ(history.Count(), b.expectSteps);
    }
    EXPECT_LE(history.Bytes(), b.maxBytes);
    EXPECT_LE(history.Count(), b.maxSteps);
    EXPECT_LT(history.Count(), 12u);
  }
  // A stroke whose pixels pass the bound cannot be kept, nor can the steps
  // before it: they would put back pixels it drew over.
  EditHistory small(4 * 1024);
  RandomGenerator rng;
  rng.SetSeed(8);
  RandomEdit(e, small, rng, 0);
  ASSERT_TRUE(small.CanUndo());
  auto pending = small.Begin(e, "Pen Stroke", {}, {e.MosaicBitmap.BoundsRect()});
  ASSERT_TRUE(e.PenStroke(0, 0, 95, 59).ok());
  small.Commit(e, std::move(pending));
  EXPECT_FALSE(small.CanUndo());
  // A new mosaic of another size: the old steps are refused and dropped.
  RandomEdit(e, small, rng, 0);
  ASSERT_TRUE(small.CanUndo());
  ASSERT_TRUE(e.MosaicBitmap.SetSize(10, 10).ok());
  EXPECT_FALSE(small.Undo(e));
  EXPECT_EQ(small.Count(), 0u);
}

// Stops the job at its n-th progress report.
struct CancelAt : testing::JobRecorder {
  std::string job;
  int after = 0;
  std::string current;
  void SetJobText(std::string_view text) override {
    current = text;
    JobRecorder::SetJobText(text);
  }
  bool CancelRequested() override { return current == job && --after < 0; }
};

TEST(CancelledJob, StopsAtTheNextReportAndTheSnapshotPutsBackTheStateBefore) {
  const char* jobs[] = {"Current Job : Mosaic Mapping Table", "Current Job : OutPut Final Mosaic Picture",
                        "Current Job : Cell Pic Lib"};
  for (const char* job : jobs) {
    testing::ScratchDir dir;
    Engine e;
    MakeSmallMosaic(e, dir, kStitchPeyote);
    const EngineBytes before(e);
    const tmosaicproject project = e.Project;
    EngineSnapshot snapshot;
    snapshot.Capture(e);
    // The next project: more cells, another layout.
    testing::SetGrid(e, 10, 10, 8, 8);
    e.Project.StitchMode = kStitchBrick;
    CancelAt cancel;
    cancel.job = job;
    cancel.after = 5;
    e.SetListener(&cancel);
    const Status status = e.CreateMosaic();
    EXPECT_EQ(status.message(), kJobCancelled) << job;
    EXPECT_TRUE(e.JobCancelled());
    EXPECT_EQ(cancel.texts.back(), "Current Job : Cancelled") << job;
    EXPECT_EQ(cancel.progress.back(), 0);
    // Stopped soon after it was asked: the job did not run to its end.
    EXPECT_EQ(std::count(cancel.texts.begin(), cancel.texts.end(), std::string(job)), 1);
    EXPECT_EQ(cancel.texts.end()[-2], job);

    snapshot.Restore(e);
    EXPECT_TRUE(EngineBytes(e) == before) << job;
    EXPECT_EQ(e.Project.CellsAcross, project.CellsAcross);
    EXPECT_EQ(e.Project.StitchMode, kStitchPeyote);
    EXPECT_EQ(e.MosaicState, 2);
    // The next job runs to its end again.
    e.SetListener(nullptr);
    EXPECT_TRUE(e.CreateMosaic().ok());
    EXPECT_FALSE(e.JobCancelled());
  }
  // Nothing shown before: the view is empty again.
  Engine e;
  EngineSnapshot snapshot;
  snapshot.Capture(e);
  testing::ScratchDir dir;
  CancelAt cancel;
  cancel.job = "Current Job : OutPut Final Mosaic Picture";
  e.SetListener(&cancel);
  SetUpSmallMosaic(e, dir, kStitchLoom);
  EXPECT_EQ(e.CreateMosaic().message(), kJobCancelled);
  EXPECT_FALSE(e.MosaicBitmap.Empty());  // the render had begun
  snapshot.Restore(e);
  EXPECT_TRUE(e.MosaicBitmap.Empty());
  EXPECT_EQ(e.MosaicState, 0);
}

}  // namespace
}  // namespace velmora
