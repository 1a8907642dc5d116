// Undo and redo of the hand edits, and the engine put back after a cancelled
// job: random edits of every kind undone to the original bytes and redone to
// the edited ones, the bounds of the history, and a cancel in the mapping
// table and in the render.
#include <gtest/gtest.h>

#include "engine/EditHistory.h"
#include "engine/EngineSnapshot.h"
#include "support/HandEditSupport.h"

namespace velmora {
namespace {

using testing::RandomHandEdit;
using testing::SetUpSmallMosaic;

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

TEST(EditHistory, RandomEditsUndoneGiveTheOriginalBytesAndRedoneTheEditedOnes) {
  for (int stitch : {kStitchLoom, kStitchPeyote, kStitchBrick}) {
    testing::ScratchDir dir;
    Engine e;
    MakeSmallMosaic(e, dir, stitch);
    const EngineBytes original(e);
    EditHistory history;
    PenLog log;
    // The log after each number of steps, which undo and redo give back: a
    // step takes its stroke and its redrawn cells with it.
    std::vector<PenLog> logs{log};
    RandomGenerator rng;
    rng.SetSeed(static_cast<uint32_t>(stitch));
    for (int i = 0; i < 30; ++i) {
      const size_t before = history.Count();
      RandomHandEdit(e, history, &log, rng, i % 3);
      if (history.Count() > before)
        logs.push_back(log);
      else
        EXPECT_EQ(log, logs.back()) << "an edit that changed nothing is not logged";
    }
    const EngineBytes edited(e);
    ASSERT_FALSE(edited == original);
    const size_t steps = history.Count();
    EXPECT_GE(steps, 20u) << "stitch " << stitch;  // a few edits may change nothing
    ASSERT_EQ(logs.size(), steps + 1);
    EXPECT_TRUE(log.AnyRedrawn());  // cells were edited after the first stroke

    std::vector<TRect> changed;
    for (size_t at = steps; history.CanUndo(); --at) {
      ASSERT_TRUE(history.Undo(e, &changed, &log));
      EXPECT_EQ(log, logs[at - 1]) << "stitch " << stitch << ", step " << at;
    }
    EXPECT_TRUE(EngineBytes(e) == original) << "stitch " << stitch;
    EXPECT_FALSE(changed.empty());
    for (size_t at = 0; history.CanRedo(); ++at) {
      ASSERT_TRUE(history.Redo(e, nullptr, &log));
      EXPECT_EQ(log, logs[at + 1]) << "stitch " << stitch << ", step " << at + 1;
    }
    EXPECT_TRUE(EngineBytes(e) == edited) << "stitch " << stitch;

    // Undo two, edit again: the two can no longer be redone.
    ASSERT_TRUE(history.Undo(e) && history.Undo(e));
    EXPECT_EQ(history.RedoName(), "Pick Cell");
    RandomHandEdit(e, history, nullptr, rng, 2);
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
    for (int i = 0; i < 12; ++i) RandomHandEdit(e, history, nullptr, rng, 2);
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
  RandomHandEdit(e, small, nullptr, rng, 0);
  ASSERT_TRUE(small.CanUndo());
  auto pending = small.Begin(e, "Pen Stroke", {}, {e.MosaicBitmap.BoundsRect()});
  ASSERT_TRUE(e.PenStroke(0, 0, 95, 59).ok());
  small.Commit(e, std::move(pending));
  EXPECT_FALSE(small.CanUndo());
  // A new mosaic of another size: the old steps are refused and dropped.
  RandomHandEdit(e, small, nullptr, rng, 0);
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
