// A small mosaic to edit by hand, and random hand edits of every kind made
// as the windows make them (one undoable step each, written into the pen
// log the project keeps).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/BlockMap.h"
#include "engine/EditHistory.h"
#include "engine/PickCell.h"
#include "engine/RepickCells.h"
#include "support/EngineTestSupport.h"

namespace velmora::testing {

// 8 x 6 cells of 12 x 10 pixels in `stitch`, a four-colour main picture and
// six flat library pictures.
inline void SetUpSmallMosaic(Engine& e, const ScratchDir& dir, int stitch) {
  SetGrid(e, 8, 6, 12, 10);
  e.Project.StitchMode = stitch;
  e.Project.MinRepeatRadius = 1;
  e.MainBitmap = Uniform(64, 48, Color32(200, 30, 30));
  e.MainBitmap.FillRect(TRect{32, 0, 64, 24}, Color32(30, 200, 30));
  e.MainBitmap.FillRect(TRect{0, 24, 32, 48}, Color32(30, 30, 200));
  const TColor32 pictures[6] = {Color32(180, 40, 50),  Color32(50, 170, 40), Color32(40, 60, 190),
                                Color32(210, 200, 60), Color32(0, 0, 0),     Color32(255, 255, 255)};
  for (TColor32 c : pictures) AddPicture(e, dir, Uniform(24, 30, c));
  e.Rng.SetSeed(99);
}

// A library of flat photos in many colours and a main picture with a calm
// left half and a busy right half, merged into tiles of 1, 2 and 4 cells.
inline void SetUpBlockMosaic(Engine& e, const ScratchDir& dir, int threads) {
  SetGrid(e, 12, 8, 14, 11);
  e.Project.BorderSize = 2;
  e.Project.AlphaMain = 60;
  e.Project.AllowVFlip = true;
  ComputeDerivedSizes(e.Project);
  e.SetThreadCount(threads);
  e.MainBitmap = Uniform(120, 80, Color32(40, 90, 160));
  for (int y = 0; y < 80; y += 4)
    for (int x = 60; x < 120; x += 4) e.MainBitmap.FillRect(TRect{x, y, x + 2, y + 2}, Color32(250, 240, 20));
  for (int k = 0; k < 24; ++k) {
    TBitmap32 photo = Uniform(30, 24, Color32(uint8_t(k * 10), uint8_t(255 - k * 9), uint8_t(k * 37 % 256)));
    photo.FillRect(TRect{0, 0, 15, 12}, Color32(uint8_t(k * 5), 60, 90));
    AddPicture(e, dir, photo);
  }
  ASSERT_TRUE(ParseBlockSides("1,2,4", e.Sizing).ok());
  e.Rng.SetSeed(77);
}

enum HandEditKind { kEditOne, kPickCell, kPenStroke, kRepick, kHandEditKinds };

// One random edit of `kind`. Edit I and the re-pick run the windows' own
// code (RepickCells); a pick-cell apply chooses any picture, slider and
// mirror; a stroke covers a random rectangle with the current options.
inline void RandomHandEdit(Engine& e, EditHistory& history, PenLog* log, RandomGenerator& rng, int kind) {
  const int x = rng.Random(e.Project.CellsAcross);
  const int y = rng.Random(e.Project.CellsDown);
  Status status = Status::Ok();
  if (kind == kEditOne) {
    status = history.Record(e, log, "Edit I", {CellPos{x, y}}, EditHistory::CellRects(e, x, y), [&] {
      return RepickCells(e, {CellPos{x, y}});
    });
  } else if (kind == kPickCell) {
    const PickChoice choice{
        x, y, rng.Random(e.PicList.Count()), rng.Random(21), rng.Random(2) == 1, rng.Random(2) == 1};
    const ColorSignature cell = e.SampleCell(x, y);
    status = history.Record(e, log, "Pick Cell", {CellPos{x, y}}, EditHistory::CellRects(e, x, y),
                            [&] { return ApplyPickedPicture(e, choice, cell); });
  } else if (kind == kPenStroke) {
    const int l = rng.Random(e.Project.FinalWidth), t = rng.Random(e.Project.FinalHeight);
    const TRect r{l, t, std::min(l + 1 + rng.Random(40), e.Project.FinalWidth - 1),
                  std::min(t + 1 + rng.Random(30), e.Project.FinalHeight - 1)};
    PenStrokeEntry painted;
    status = history.Record(
        e, log, "Pen Stroke", {}, {r},
        [&] { return e.PenStroke(r.Left, r.Top, r.Right, r.Bottom, &painted); }, &painted);
  } else {
    // A few distinct cells, as the worst ones would be.
    std::vector<CellPos> cells;
    std::vector<TRect> rects;
    for (int n = 1 + rng.Random(5); n > 0; --n) {
      const CellPos c{rng.Random(e.Project.CellsAcross), rng.Random(e.Project.CellsDown)};
      if (std::any_of(cells.begin(), cells.end(), [&](CellPos o) { return o.X == c.X && o.Y == c.Y; }))
        continue;
      cells.push_back(c);
      for (const TRect& r : EditHistory::CellRects(e, c.X, c.Y)) rects.push_back(r);
    }
    status =
        history.Record(e, log, "Re-pick Worst Cells", cells, rects, [&] { return RepickCells(e, cells); });
  }
  ASSERT_TRUE(status.ok()) << status.message();
}

}  // namespace velmora::testing
