// Render mosaic and Render cell. Cells are drawn grouped by picture, in the
// order each picture is first used, so every distinct picture is read once
// per render. Pictures are prepared on all threads a window at a time (the
// window bounds the memory they hold), then the window's cells are finished
// and placed, also on all threads: no two cells share a mosaic pixel, so the
// picture is the same whatever the thread count. Progress is reported from
// the calling thread, cell by cell in drawing order, after every slice of a
// few hundred cells; a cancel is also heard between pictures being prepared.
//
// A prepared picture is brought down to about twice the cell's size before
// its cells are drawn: the tint, the mirror and the overlay then work on a
// few thousand pixels instead of the library picture's full size. Render
// mosaic and Render cell share that preparation, so a redrawn cell, or the
// render of a reopened project, gives the same pixels as the first render.
//
// With a cache folder the prepared pictures are also kept there as
// renditions (see RenditionCache.h): a later render at the same cell size
// reads them instead of decoding, and Prepare library makes them as it
// decodes when the decode is the one the renderer would do.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/CellLayout.h"
#include "library/CellPictures.h"
#include "engine/Engine.h"
#include "imaging/Parallel.h"
#include "library/RenditionCache.h"
#include "library/SummaryCache.h"
#include "imaging/CellOverlay.h"
#include "imaging/ColorTransfer.h"
#include "imaging/PathText.h"
#include "imaging/PictureOps.h"

namespace velmora {
namespace {

// Prepared pictures held at once: as many as fit a working-size budget,
// enough to keep every thread busy, never more than a few hundred.
int WindowSize(int cw, int ch, int threads) {
  constexpr int64_t kBudgetBytes = int64_t(192) << 20;
  const int64_t perPicture =
      std::max<int64_t>(1, int64_t(cw) * ch * 16 * 2);  // 2cw x 2ch x 4 bytes, aspect slack
  return static_cast<int>(std::clamp<int64_t>(kBudgetBytes / perPicture, 2 * int64_t(threads), 256));
}

// Fills the picture with one colour, rows shared among the threads.
void FillRows(TBitmap32& picture, TColor32 color, int threads) {
  constexpr int kRowsPerTask = 64;
  const int tasks = (picture.Height() + kRowsPerTask - 1) / kRowsPerTask;
  ParallelFor(threads, tasks, [&](int, int t) {
    const int end = std::min(picture.Height(), (t + 1) * kRowsPerTask);
    for (int y = t * kRowsPerTask; y < end; ++y)
      std::fill_n(picture.ScanLine(y), picture.Width(), color);
  });
}

// Cells finished per hand-out in the parallel draw, and hand-outs per thread
// between two reports of the calling thread.
constexpr int kCellsPerTask = 16;
constexpr int kTasksPerSlice = 4;

struct CellAt {
  int X;
  int Y;
};

// Warnings of one render shown at most: a cache folder that cannot be
// written would otherwise give one per picture.
constexpr int kMaxRenditionWarnings = 5;

void ReportWarnings(JobListener& job, const std::vector<std::string>& warnings, int& shown) {
  for (const std::string& w : warnings)
    if (!w.empty() && shown < kMaxRenditionWarnings) {
      job.Warning(w);
      ++shown;
    }
}

// Completes the rendition pack of a render, and lets go of the renditions
// held in memory for it, however the render ends.
struct CommitAfter {
  RenditionCache* cache;
  JobListener& job;
  ~CommitAfter() {
    if (!cache) return;
    Status s = cache->Commit();
    if (Status released = cache->ReleaseHeld(); s.ok()) s = released;
    if (!s.ok()) job.Warning("The renditions were not kept: " + s.message());
  }
};

// Blocks are drawn on the plain grid of a library mosaic whose block map
// was made for this grid; otherwise every cell is drawn as a cell.
bool DrawsBlocks(const Engine& engine) { return engine.BlocksDrawn(); }

}  // namespace

bool Engine::BlocksApply() const {
  return !Blocks.Empty() && Blocks.CellsAcross() == Project.CellsAcross && Blocks.CellsDown() == Project.CellsDown;
}

bool Engine::BlocksDrawn() const {
  return BlocksApply() && Project.RenderMode != kRenderSelf && Project.StitchMode == kStitchLoom;
}

TileBlock Engine::TileAt(int x, int y) const {
  if (const int i = BlocksApply() ? Blocks.BlockAt(x, y) : -1; i >= 0) return Blocks.Blocks()[static_cast<size_t>(i)];
  return TileBlock{x, y, 1, 1};
}

std::vector<CellPos> Engine::TileCells(int x, int y) const {
  const TileBlock t = TileAt(x, y);
  std::vector<CellPos> cells;
  for (int cy = t.Y; cy < t.Y + t.Height; ++cy)
    for (int cx = t.X; cx < t.X + t.Width; ++cx) cells.push_back(CellPos{cx, cy});
  return cells;
}

std::vector<CellPos> Engine::ExpandToTiles(const std::vector<CellPos>& cells) const {
  if (!BlocksApply()) return cells;
  std::vector<CellPos> out;
  std::vector<int> seen;  // blocks already given
  for (const CellPos& c : cells) {
    const int i = Blocks.BlockAt(c.X, c.Y);
    if (i < 0) {
      out.push_back(c);
      continue;
    }
    if (std::find(seen.begin(), seen.end(), i) != seen.end()) continue;
    seen.push_back(i);
    const std::vector<CellPos> all = TileCells(c.X, c.Y);
    out.insert(out.end(), all.begin(), all.end());
  }
  return out;
}

void Engine::SpreadTileEntry(const TileBlock& tile) {
  if (tile.X < 0 || tile.Y < 0 || tile.X + tile.Width > kMapSide || tile.Y + tile.Height > kMapSide) return;
  const CellMapEntry first = Map.At(tile.X, tile.Y);
  for (int y = tile.Y; y < tile.Y + tile.Height; ++y)
    for (int x = tile.X; x < tile.X + tile.Width; ++x) Map.At(x, y) = first;
}

Status Engine::RenderTile(const TileBlock& tile) {
  if (BlocksDrawn() && (tile.Width > 1 || tile.Height > 1) && TileAt(tile.X, tile.Y) == tile)
    return RenderCell(tile.X, tile.Y);
  Status first = Status::Ok();
  for (int y = tile.Y; y < tile.Y + tile.Height; ++y)
    for (int x = tile.X; x < tile.X + tile.Width; ++x)
      if (Status s = RenderCell(x, y); !s.ok() && first.ok()) first = s;
  return first;
}

RenditionCache* Engine::Renditions() const {
  if (renditionCap_ == 0) return nullptr;
  const uint32_t settings = SummaryWord();
  const std::string folder =
      cacheFolder_.empty() ? std::string() : cacheFolder_ + "/" + RenditionCache::kFolderName;
  if (!renditions_ || renditions_->Folder() != folder || renditions_->Cap() != renditionCap_ ||
      renditions_->Settings() != settings) {
    renditions_.reset();  // its pack is completed first
    renditions_ = std::make_shared<RenditionCache>(cacheFolder_, renditionCap_, settings);
  } else if (Status s = renditions_->SettleIfWritten(); !s.ok()) {
    // The pack the last job left to be written behind it
    listener_->Warning("The renditions were not kept: " + s.message());
  }
  for (const std::string& w : renditions_->TakeWarnings()) listener_->Warning(w);
  return renditions_.get();
}

void Engine::FinishCacheWrites() {
  if (renditions_)
    if (Status s = renditions_->Settle(); !s.ok()) listener_->Warning("The renditions were not kept: " + s.message());
}

bool Engine::CacheKeyOf(int k, SummaryKey& key) const {
  key.path = PicList[k];
  key.settings = SummaryWord();
  return !key.path.empty() && StatSummaryKey(key);
}

void Engine::SetMainForOverlay() {
  MainBitmap.ResetAlpha(static_cast<uint8_t>(ClampByte(Project.AlphaMain)));
  MainBitmap.DrawMode = dmBlend;
  MainBitmap.CombineMode = cmBlend;
  MainBitmap.StretchFilter = sfSpline;
}

Status Engine::PrepareCellPicture(int picIndex, TBitmap32& out, const RenditionCache* renditions,
                                  std::string* warning, int spanW, int spanH) const {
  const int cw = Project.CellWidth * spanW;
  const int ch = Project.CellHeight * spanH;
  const bool self = Project.RenderMode == kRenderSelf;
  if (!self && (picIndex < 0 || picIndex >= PicList.Count()))
    return Status::Error(
        Format("The cell map shows library picture %d, but the image list holds %d pictures.", picIndex,
               PicList.Count()));
  try {
    MemoryScope scope(budget_.get());
    if (self) {
      PrepareForRender(MainBitmap, out, cw, ch, Project.CropCell, Project.MonoCell);
      return Status::Ok();
    }
    SummaryKey key;
    const bool keyed = renditions != nullptr && CacheKeyOf(picIndex, key);
    if (keyed && renditions->Find(key, out, warning)) return Status::Ok();
    VELMORA_TRY(LoadLibraryPicture(out, picIndex, RenderDecodeHints(cw, ch, Project.CropCell)));
    SubjectBox slot;
    const SubjectBox* subject = KnownSubject(picIndex, slot);
    if (subject == nullptr && Project.CropCell && CropMode != CropBy::Centre) {
      // Not prepared in this run nor in the cache: found on this decode.
      slot = FindSubject(out, cw, ch, CropMode, nullptr);
      subject = &slot;
    }
    PrepareForRender(out, out, cw, ch, Project.CropCell, Project.MonoCell, subject);
    if (keyed)
      if (Status s = renditions->Store(key, out); !s.ok() && warning)
        *warning = "The rendition was not kept: " + s.message();
  } catch (const std::bad_alloc&) {
    return Status::Error(self ? std::string("Out of memory preparing the main picture for its cells")
                              : EchoPath(PicList[picIndex]) +
                                    ": Out of memory preparing the picture for its cells");
  }
  return Status::Ok();
}

void Engine::StartMasks(bool fresh) {
  if (!Masks.On()) {
    masks_.reset();
    return;
  }
  if (!fresh && masks_ && masks_->Masking() == Masks) return;
  masks_ = std::make_shared<MaskRender>(Masks, MainBitmap, Project.FinalWidth, Project.FinalHeight,
                                        Project.CellsAcross, threads_);
}

namespace {

// A hexagon on a layout with shifted rows or columns is a honeycomb.
bool IsHoneycomb(const TileMasking& masks, const tmosaicproject& p, const TileBlock* block) {
  return masks.Shape == MaskShape::kHexagon && block == nullptr &&
         (p.StitchMode == kStitchPeyote || p.StitchMode == kStitchBrick);
}

}  // namespace

int Engine::MaskReach() const {
  if (!masks_) return 0;
  return Project.BorderSize +
         (IsHoneycomb(Masks, Project, nullptr) && Project.StitchMode == kStitchPeyote
              ? HoneycombOverhang(true, Project.CellWidth, Project.CellHeight)
              : 0);
}

// The tile is drawn once at the size of its whole rectangle (or honeycomb
// hexagon), then each piece blends it in at its own place: a split cell's
// pieces are the two ends of one tile, the part past the mosaic's edge
// left out.
void Engine::PlaceShaped(const TBitmap32& buffer, const CellPlacement& place, const TileBlock* block,
                         TBitmap32& target, int top) {
  MaskRender& masks = *masks_;
  const int cw = Project.CellWidth;
  const int ch = Project.CellHeight;
  const int b = Project.BorderSize;
  const int vw = (block != nullptr ? block->Width : 1) * cw - b;
  const int vh = (block != nullptr ? block->Height : 1) * ch - b;
  const bool honey = IsHoneycomb(Masks, Project, block);
  const bool pointy = Project.StitchMode == kStitchPeyote;
  const int over = honey ? HoneycombOverhang(pointy, cw, ch) : 0;
  const int ew = honey ? (pointy ? cw : cw + 2 * over) : vw;
  const int eh = honey ? (pointy ? ch + 2 * over : ch) : vh;
  if (ew <= 0 || eh <= 0 || buffer.Empty()) return;
  const std::vector<uint8_t>& coverage =
      honey ? masks.Honeycomb(pointy, cw, ch, std::max(0.75, b / 2.0)) : masks.Coverage(ew, eh);
  thread_local TBitmap32 tile;
  if (!tile.SetSizeForOverwrite(ew, eh).ok()) return;
  // The photo cropped around its centre to the tile's aspect (the honeycomb
  // hexagon is taller or wider than the cell the picture was made for).
  TRect source = buffer.BoundsRect();
  if (honey) {
    const int64_t pw = buffer.Width(), ph = buffer.Height();
    if (pw * eh > ph * ew) {
      const int w = int(std::max<int64_t>(1, ph * ew / eh));
      source.Left = int((pw - w) / 2);
      source.Right = source.Left + w;
    } else {
      const int h = int(std::max<int64_t>(1, pw * eh / ew));
      source.Top = int((ph - h) / 2);
      source.Bottom = source.Top + h;
    }
  }
  if (buffer.DrawMode == dmBlend) tile.Fill(Color32(0, 0, 0));
  (void)buffer.DrawTo(tile, tile.BoundsRect(), source);
  const TRect mosaic{0, 0, Project.FinalWidth, Project.FinalHeight};
  for (int i = 0; i < place.Count; ++i) {
    const TRect& t = place.Pieces[size_t(i)].Target;
    const TRect& s = place.Pieces[size_t(i)].Source;
    // The piece's own rectangle within its whole tile: the right (bottom)
    // end of a tile whose source starts past the picture's left (top).
    const int left = s.Left > 0 ? t.Right - vw : t.Left;
    const int vtop = s.Top > 0 ? t.Bottom - vh : t.Top;
    if (honey)
      BlendMasked(tile, coverage, pointy ? left : left - over, pointy ? vtop - over : vtop, mosaic, masks, false,
                  target, top);
    else
      BlendMasked(tile, coverage, left, vtop, t, masks, true, target, top);
  }
}

void Engine::FinishAndPlace(const TBitmap32& prepared, int x, int y, TBitmap32& buffer, TBitmap32& target,
                            int top, const TileBlock* block) {
  const CellMapEntry& e = Map.At(x, y);
  const int enhance = Project.ColorEnhance;
  // The main picture's own cell area, unshifted in every layout.
  TRect mainRect =
      MainCellRect(x, y, MainBitmap.Width(), MainBitmap.Height(), Project.CellsAcross, Project.CellsDown);
  if (block != nullptr) {
    const TRect last = MainCellRect(x + block->Width - 1, y + block->Height - 1, MainBitmap.Width(),
                                    MainBitmap.Height(), Project.CellsAcross, Project.CellsDown);
    mainRect.Right = last.Right;
    mainRect.Bottom = last.Bottom;
  }
  const int alphaMain = ClampByte(Project.AlphaMain);
  // The copy into the buffer, the recolouring and the mirror in one pass;
  // alpha becomes 255.
  if (Matching.Transfer) {
    // The picture's statistics moved to those of the main picture under the
    // cell, its spread raised against what the overlay below takes away.
    const ColorStats tile = StatsOf(prepared);
    const ColorStats cell = StatsOf(MainBitmap, mainRect);
    const float spread = TransferSpreadFactor(tile.Spread, cell.Spread, float(255 - alphaMain) / 255.0f);
    TransferAndFlip(prepared, buffer, tile, cell, spread, enhance, e.HFlip, e.VFlip);
  } else {
    AdjustAndFlip(prepared, buffer, TintOffset(e.DeltaRed, enhance), TintOffset(e.DeltaGreen, enhance),
                  TintOffset(e.DeltaBlue, enhance), e.HFlip, e.VFlip);
  }

  // The main picture's cell area over the whole buffer at AlphaMain
  // (MainBitmap's alpha was set for the render), the buffer made opaque as
  // it goes.
  if (alphaMain != 0 && !mainRect.IsEmpty() && !buffer.Empty()) {
    // the rectangle lies inside MainBitmap
    (void)DrawOverlayOpaque(MainBitmap, mainRect, buffer, static_cast<uint8_t>(alphaMain));
  } else {
    buffer.ResetAlpha(255);
  }
  buffer.CombineMode = cmBlend;
  buffer.StretchFilter = StretchFilterOf(Project.ResampleKernel);
  // Every filter but the draft filter's block average gives an opaque
  // picture opaque pixels, which a blend would only copy: they are copied
  // outright. Block means can come out at 254 and stay blended.
  buffer.DrawMode = buffer.StretchFilter == sfDraft ? dmBlend : dmOpaque;
  const CellPlacement place = block != nullptr ? PlaceBlockPicture(*block, buffer.Width(), buffer.Height(), Project)
                                               : PlaceCellPicture(x, y, buffer.Width(), buffer.Height(), Project);
  if (masks_) {
    PlaceShaped(buffer, place, block, target, top);
    return;
  }
  const bool whole = top == 0 && target.Height() >= Project.FinalHeight;
  for (int i = 0; i < place.Count; ++i) {
    TRect t = place.Pieces[i].Target;
    if (whole || (t.Top >= top && t.Bottom <= top + target.Height())) {
      t.Top -= top;
      t.Bottom -= top;
      (void)buffer.DrawTo(target, t, place.Pieces[i].Source);  // sources lie inside
    } else {
      PlacePieceAcrossBand(buffer, t, place.Pieces[i].Source, target, top);
    }
  }
}

// A piece that a band cuts: the draft filter's block average starts its
// blocks at the first row drawn, so a piece clipped by the band would get
// other blocks than in the whole mosaic. It is drawn whole into a bitmap of
// its own, whose edges are the mosaic's edges where the whole render clips
// it, over the border colour the whole render finds there, and the band's
// rows are copied out.
void Engine::PlacePieceAcrossBand(const TBitmap32& buffer, const TRect& piece, const TRect& source,
                                  TBitmap32& target, int top) const {
  const int clipTop = std::max(piece.Top, 0);
  const int clipBottom = std::min(piece.Bottom, Project.FinalHeight);
  const int from = std::max(clipTop, top);
  const int to = std::min(clipBottom, top + target.Height());
  const int left = std::max(piece.Left, 0);
  const int right = std::min(piece.Right, target.Width());
  if (from >= to || left >= right) return;
  TBitmap32 pixels;
  if (!pixels.SetSize(right - left, clipBottom - clipTop).ok()) return;
  pixels.Fill(Color32FromBgrInt(Project.BorderColor));
  TRect t = piece;
  t.Left -= left;
  t.Right -= left;
  t.Top -= clipTop;
  t.Bottom -= clipTop;
  (void)buffer.DrawTo(pixels, t, source);
  for (int row = from; row < to; ++row)
    std::copy_n(pixels.ScanLine(row - clipTop), right - left, target.ScanLine(row - top) + left);
}

Status Engine::RenderMosaic() {
  JobListener& job = Listener();
  job.SetJobText("Current Job : OutPut Final Mosaic Picture");
  job.SetProgress(0);
  cancelled_ = false;
  if (!GridFitsTables()) return GridError();
  const int cols = Project.CellsAcross;
  const int rows = Project.CellsDown;
  const int cells = cols * rows;

  // The border colour goes straight into fresh memory, on every thread: for
  // a poster, touching its pages the first time is a good part of the render.
  VELMORA_TRY(MosaicBitmap.SetSizeForOverwrite(Project.FinalWidth, Project.FinalHeight));
  StartMasks(true);
  if (masks_)
    masks_->FillGap(MosaicBitmap, 0, threads_);
  else
    FillRows(MosaicBitmap, Color32FromBgrInt(Project.BorderColor), threads_);
  Drawn.Clear(cols, rows);
  SetMainForOverlay();

  // Group the assigned cells by picture, pictures in order of first use
  // (rows from the top, columns from the left), each group's cells in the
  // same order. In self-mosaic mode every cell shows the main picture.
  const bool self = Project.RenderMode == kRenderSelf;
  // The cells of blocks are drawn after the others, a block at a time.
  const bool blocks = DrawsBlocks(*this);
  std::vector<int> groupPicture;
  std::vector<int> cellGroup(static_cast<size_t>(cells), -1);
  {
    std::vector<int> groupOfIndex(kLibraryTableSize, -1);
    std::unordered_map<int, int> groupOfOther;  // indices no list can hold
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < cols; ++x) {
        const CellMapEntry& e = Map.At(x, y);
        if (!e.Assigned || (blocks && Blocks.BlockAt(x, y) >= 0)) continue;
        const int pic = self ? -1 : int(e.PicIndex);
        int* slot = nullptr;
        if (pic >= 0 && pic < kLibraryTableSize) {
          slot = &groupOfIndex[static_cast<size_t>(pic)];
        } else {
          slot = &groupOfOther.try_emplace(pic, -1).first->second;
        }
        if (*slot < 0) {
          *slot = static_cast<int>(groupPicture.size());
          groupPicture.push_back(pic);
        }
        cellGroup[static_cast<size_t>(y) * cols + x] = *slot;
      }
  }
  const int groups = static_cast<int>(groupPicture.size());
  std::vector<int> groupStart(static_cast<size_t>(groups) + 1, 0);
  for (int g : cellGroup)
    if (g >= 0) ++groupStart[static_cast<size_t>(g) + 1];
  for (int g = 0; g < groups; ++g) groupStart[g + 1] += groupStart[g];
  std::vector<CellAt> order(static_cast<size_t>(groupStart[groups]));
  {
    std::vector<int> fill(groupStart.begin(), groupStart.end() - 1);
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < cols; ++x) {
        const int g = cellGroup[static_cast<size_t>(y) * cols + x];
        if (g >= 0) order[static_cast<size_t>(fill[g]++)] = CellAt{x, y};
      }
  }
  cellGroup = {};

  const int threads = threads_;
  const int window = WindowSize(Project.CellWidth, Project.CellHeight, threads);
  std::vector<TBitmap32> buffers(static_cast<size_t>(threads));
  RenditionCache* const renditions = self ? nullptr : Renditions();
  const CommitAfter commit{renditions, job};
  int warned = 0;
  int drawn = 0;
  for (int first = 0; first < groups; first += window) {
    const int n = std::min(window, groups - first);
    std::vector<TBitmap32> prepared(static_cast<size_t>(n));
    std::vector<Status> results(static_cast<size_t>(n));
    std::vector<std::string> warnings(static_cast<size_t>(n));
    // A cancel is heard between pictures: the calling thread asks the
    // listener, the others stop at the flag it leaves.
    std::atomic<bool> stop{false};
    ParallelFor(threads, n, [&](int worker, int i) {
      if (worker == 0 && CancelPolled()) stop.store(true, std::memory_order_relaxed);
      if (stop.load(std::memory_order_relaxed)) return;
      results[static_cast<size_t>(i)] =
          PrepareCellPicture(groupPicture[first + i], prepared[static_cast<size_t>(i)], renditions,
                             &warnings[static_cast<size_t>(i)]);
    });
    if (stop.load() || CancelPolled()) return CancelledJob();
    ReportWarnings(job, warnings, warned);
    // Cells up to the first picture that failed are drawn, as when the
    // pictures are read one after another.
    int usable = 0;
    while (usable < n && results[static_cast<size_t>(usable)].ok()) ++usable;

    // The window's cells a slice at a time, each slice shared among the
    // threads; between slices the calling thread reports the cells drawn,
    // so the gauge moves and a cancel is heard while a large window draws.
    // No two cells share a pixel: the slices change nothing in the picture.
    const int cellBegin = groupStart[first];
    const int cellEnd = groupStart[first + usable];
    const int slice = kCellsPerTask * kTasksPerSlice * std::max(1, threads);
    for (int from = cellBegin; from < cellEnd; from += slice) {
      const int to = std::min(cellEnd, from + slice);
      const int tasks = (to - from + kCellsPerTask - 1) / kCellsPerTask;
      ParallelFor(threads, tasks, [&](int worker, int t) {
        TBitmap32& buffer = worker == 0 ? CellBuffer : buffers[static_cast<size_t>(worker)];
        const int end = std::min(to, from + (t + 1) * kCellsPerTask);
        const int begin = from + t * kCellsPerTask;
        int g = static_cast<int>(std::upper_bound(groupStart.begin() + first, groupStart.begin() + first + usable,
                                                  begin) -
                                 groupStart.begin()) -
                1;
        for (int c = begin; c < end; ++c) {
          while (groupStart[g + 1] <= c) ++g;
          const CellAt at = order[static_cast<size_t>(c)];
          FinishAndPlace(prepared[static_cast<size_t>(g - first)], at.X, at.Y, buffer, MosaicBitmap, 0);
        }
      });
      for (int c = from; c < to; ++c) {
        Drawn.Set(order[static_cast<size_t>(c)].X, order[static_cast<size_t>(c)].Y, true);
        ++drawn;
        job.SetProgress(static_cast<int>(int64_t(drawn) * 100 / cells));
        job.ProcessEvents();
        if (CancelPolled()) return CancelledJob();
      }
    }
    if (usable < n) return results[static_cast<size_t>(usable)];
  }
  if (blocks) VELMORA_TRY(RenderBlocks(MosaicBitmap, 0, nullptr));

  MosaicState = 2;
  job.SetProgress(0);
  job.SetJobText("Current Job : Mosaic Created");
  return Status::Ok();
}

Status Engine::RenderCell(int x, int y) {
  if (!GridFitsTables() || x < 0 || y < 0 || x >= Project.CellsAcross || y >= Project.CellsDown)
    return Status::Ok();
  const CellMapEntry& e = Map.At(x, y);
  if (!e.Assigned) return Status::Ok();
  // MainBitmap's alpha is set before a self-mosaic cell copies it, as in the
  // full render.
  SetMainForOverlay();
  StartMasks(false);
  TBitmap32 prepared;
  if (const int i = DrawsBlocks(*this) ? Blocks.BlockAt(x, y) : -1; i >= 0) {
    // A cell of a block: the whole block again, over the border colour.
    const TileBlock b = Blocks.Blocks()[static_cast<size_t>(i)];
    VELMORA_TRY(PrepareCellPicture(Map.At(b.X, b.Y).PicIndex, prepared, nullptr, nullptr, b.Width, b.Height));
    if (!masks_)
      MosaicBitmap.FillRect(PlaceBlockPicture(b, 1, 1, Project).Pieces[0].Target,
                          Color32FromBgrInt(Project.BorderColor));
    FinishAndPlace(prepared, b.X, b.Y, CellBuffer, MosaicBitmap, 0, &b);
    return Status::Ok();
  }
  const RenditionCache* renditions = Project.RenderMode == kRenderSelf ? nullptr : Renditions();
  std::string warning;
  VELMORA_TRY(PrepareCellPicture(e.PicIndex, prepared, renditions, &warning));
  if (!warning.empty()) Listener().Warning(warning);
  // The draft filter blends its cells (their block means can come out at
  // 254): over the border colour, as in the whole render, and not over what
  // the cell showed before, so that a redrawn cell is the render's pixels
  // whatever lay under it, and a reopened project shows it the same.
  // A shaped tile writes its whole rectangle itself, gap included.
  const CellPlacement place = PlaceCellPicture(x, y, 1, 1, Project);
  for (int i = 0; i < (masks_ ? 0 : place.Count); ++i)
    MosaicBitmap.FillRect(place.Pieces[static_cast<size_t>(i)].Target,
                          Color32FromBgrInt(Project.BorderColor));
  FinishAndPlace(prepared, x, y, CellBuffer, MosaicBitmap, 0);
  return Status::Ok();
}

// The band render keeps prepared pictures from band to band within this
// budget (a picture is needed by every band its cells touch); beyond it the
// ones the next band does not need are dropped and read again later.
constexpr int64_t kBandPictureBudget = int64_t(256) << 20;

Status Engine::RenderMosaicBands(int bandRows, const BandSink& sink) {
  JobListener& job = Listener();
  job.SetJobText("Current Job : OutPut Final Mosaic Picture");
  job.SetProgress(0);
  cancelled_ = false;
  if (!GridFitsTables()) return GridError();
  const int cols = Project.CellsAcross;
  const int rows = Project.CellsDown;
  const int width = Project.FinalWidth;
  const int height = Project.FinalHeight;
  if (width <= 0 || height <= 0) return Status::Error("The mosaic has no pixels to render.");
  bandRows = std::clamp(bandRows, 1, height);
  Drawn.Clear(cols, rows);
  SetMainForOverlay();
  StartMasks(true);
  const int reach = MaskReach();
  const bool self = Project.RenderMode == kRenderSelf;
  // The cells of blocks are drawn after the others in each band (their
  // span stays empty here), a block at a time.
  const bool blocks = DrawsBlocks(*this);
  std::vector<TBitmap32> keptBlocks;
  auto inBlock = [&](int x, int y) { return blocks && Blocks.BlockAt(x, y) >= 0; };

  // The rows each assigned cell covers, from its placement's target pieces.
  struct Span {
    int top, bottom;
  };
  std::vector<Span> spans(static_cast<size_t>(cols) * rows, Span{0, 0});
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < cols; ++x) {
      if (!Map.At(x, y).Assigned || inBlock(x, y)) continue;
      const CellPlacement place = PlaceCellPicture(x, y, 1, 1, Project);
      Span s{INT32_MAX, INT32_MIN};
      for (int i = 0; i < place.Count; ++i) {
        s.top = std::min(s.top, place.Pieces[i].Target.Top);
        s.bottom = std::max(s.bottom, place.Pieces[i].Target.Bottom);
      }
      if (place.Count > 0) spans[static_cast<size_t>(y) * cols + x] = Span{s.top - reach, s.bottom + reach};
    }

  // The last row a picture's cells reach: it is kept for the bands below
  // while that row lies below the band being drawn.
  std::map<int, int> lastRow;  // by picture index (-1: the main picture)
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < cols; ++x) {
      if (!Map.At(x, y).Assigned || inBlock(x, y)) continue;
      int& last = lastRow.try_emplace(self ? -1 : int(Map.At(x, y).PicIndex), INT32_MIN).first->second;
      last = std::max(last, spans[static_cast<size_t>(y) * cols + x].bottom);
    }

  const int threads = threads_;
  const size_t window = static_cast<size_t>(WindowSize(Project.CellWidth, Project.CellHeight, threads));
  std::vector<TBitmap32> buffers(static_cast<size_t>(threads));
  std::map<int, TBitmap32> prepared;  // by picture index (-1: the main picture)
  // Pictures no later band needs lend their memory to the next ones: fresh
  // memory costs a page fault per page, more than reading a rendition.
  std::vector<TBitmap32> spare;
  int64_t preparedBytes = 0;
  RenditionCache* const renditions = self ? nullptr : Renditions();
  const CommitAfter commit{renditions, job};
  int warned = 0;
  TBitmap32 band;
  const TColor32 border = Color32FromBgrInt(Project.BorderColor);
  for (int top = 0; top < height; top += bandRows) {
    const int h = std::min(bandRows, height - top);
    // Bands after the first reuse its memory: one thread fills them.
    VELMORA_TRY(band.SetSizeForOverwrite(width, h));
    if (masks_)
      masks_->FillGap(band, top, threads);
    else
      band.Fill(border);

    // The band's cells, grouped by picture in order of first use.
    std::vector<int> pictures;
    std::map<int, std::vector<CellAt>> byPicture;
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < cols; ++x) {
        const Span s = spans[static_cast<size_t>(y) * cols + x];
        if (s.bottom <= top || s.top >= top + h) continue;
        const int pic = self ? -1 : int(Map.At(x, y).PicIndex);
        auto [it, added] = byPicture.try_emplace(pic);
        if (added) pictures.push_back(pic);
        it->second.push_back(CellAt{x, y});
      }

    // Drop what this band does not need when the kept pictures and the
    // band's missing ones would pass the budget.
    size_t missingInBand = 0;
    for (int pic : pictures) missingInBand += prepared.count(pic) == 0 ? 1 : 0;
    const int64_t perPicture = int64_t(Project.CellWidth) * Project.CellHeight * 16 * 2;
    if (preparedBytes + int64_t(missingInBand) * perPicture > kBandPictureBudget) {
      for (auto it = prepared.begin(); it != prepared.end();) {
        if (byPicture.count(it->first) == 0) {
          preparedBytes -= int64_t(it->second.Pixels().size()) * 4;
          it = prepared.erase(it);
        } else {
          ++it;
        }
      }
    }

    // The band's pictures a window at a time: prepare what is missing, draw
    // their cells, then let go of those no later band needs.
    for (size_t first = 0; first < pictures.size(); first += window) {
      const size_t last = std::min(pictures.size(), first + window);
      std::vector<int> missing;
      for (size_t i = first; i < last; ++i)
        if (prepared.count(pictures[i]) == 0) missing.push_back(pictures[i]);
      std::vector<TBitmap32> fresh(missing.size());
      for (TBitmap32& f : fresh) {
        if (spare.empty()) break;
        f = std::move(spare.back());
        spare.pop_back();
      }
      std::vector<Status> results(missing.size());
      std::vector<std::string> warnings(missing.size());
      ParallelFor(threads, static_cast<int>(missing.size()), [&](int, int i) {
        results[static_cast<size_t>(i)] =
            PrepareCellPicture(missing[static_cast<size_t>(i)], fresh[static_cast<size_t>(i)], renditions,
                               &warnings[static_cast<size_t>(i)]);
      });
      ReportWarnings(job, warnings, warned);
      for (size_t i = 0; i < missing.size(); ++i) {
        if (!results[i].ok()) return results[i];
        preparedBytes += int64_t(fresh[i].Pixels().size()) * 4;
        prepared.emplace(missing[i], std::move(fresh[i]));
      }

      std::vector<CellAt> cells;
      for (size_t i = first; i < last; ++i)
        for (const CellAt& c : byPicture[pictures[i]]) cells.push_back(c);
      const int tasks = (static_cast<int>(cells.size()) + kCellsPerTask - 1) / kCellsPerTask;
      ParallelFor(threads, tasks, [&](int worker, int t) {
        TBitmap32& buffer = worker == 0 ? CellBuffer : buffers[static_cast<size_t>(worker)];
        const int end = std::min(static_cast<int>(cells.size()), (t + 1) * kCellsPerTask);
        for (int c = t * kCellsPerTask; c < end; ++c) {
          const CellAt at = cells[static_cast<size_t>(c)];
          const int pic = self ? -1 : int(Map.At(at.X, at.Y).PicIndex);
          FinishAndPlace(prepared.at(pic), at.X, at.Y, buffer, band, top);
        }
      });
      for (const CellAt& c : cells) Drawn.Set(c.X, c.Y, true);

      for (size_t i = first; i < last; ++i) {
        if (lastRow[pictures[i]] > top + h) continue;
        const auto it = prepared.find(pictures[i]);
        preparedBytes -= int64_t(it->second.Pixels().size()) * 4;
        if (spare.size() < window) spare.push_back(std::move(it->second));
        prepared.erase(it);
      }
      job.ProcessEvents();
      if (CancelPolled()) return CancelledJob();
    }
    if (blocks) VELMORA_TRY(RenderBlocks(band, top, &keptBlocks));
    VELMORA_TRY(sink(band, h));
    job.SetProgress(static_cast<int>(int64_t(top + h) * 100 / height));
    job.ProcessEvents();
    if (CancelPolled()) return CancelledJob();
  }
  job.SetProgress(0);
  job.SetJobText("Current Job : Mosaic Created");
  return Status::Ok();
}

// Each block is prepared at its own size and drawn by one thread; blocks
// share no pixels, so the picture is the same whatever the thread count.
Status Engine::RenderBlocks(TBitmap32& target, int top, std::vector<TBitmap32>* kept) {
  const std::vector<TileBlock>& all = Blocks.Blocks();
  const int ch = Project.CellHeight;
  const int bottom = top + target.Height();
  std::vector<size_t> due;
  for (size_t i = 0; i < all.size(); ++i)
    if (int64_t(all[i].Y) * ch < bottom && int64_t(all[i].Y + all[i].Height) * ch > top) due.push_back(i);
  if (kept != nullptr && kept->size() != all.size()) kept->resize(all.size());
  const int threads = threads_;
  std::vector<TBitmap32> buffers(static_cast<size_t>(threads));
  std::vector<TBitmap32> local(static_cast<size_t>(threads));
  std::vector<Status> results(due.size());
  ParallelFor(threads, static_cast<int>(due.size()), [&](int worker, int i) {
    const TileBlock& b = all[due[static_cast<size_t>(i)]];
    const CellMapEntry& e = Map.At(b.X, b.Y);
    if (!e.Assigned) return;
    TBitmap32& prepared = kept != nullptr ? (*kept)[due[static_cast<size_t>(i)]] : local[static_cast<size_t>(worker)];
    if (kept == nullptr || prepared.Empty()) {
      results[static_cast<size_t>(i)] = PrepareCellPicture(e.PicIndex, prepared, nullptr, nullptr, b.Width, b.Height);
      if (!results[static_cast<size_t>(i)].ok()) return;
    }
    FinishAndPlace(prepared, b.X, b.Y, buffers[static_cast<size_t>(worker)], target, top, &b);
    // A block that ends in these rows is not needed by a later band.
    if (kept != nullptr && int64_t(b.Y + b.Height) * ch <= bottom) prepared = TBitmap32();
  });
  for (const Status& r : results)
    if (!r.ok()) return r;
  for (size_t i : due)
    for (int y = all[i].Y; y < all[i].Y + all[i].Height; ++y)
      for (int x = all[i].X; x < all[i].X + all[i].Width; ++x) Drawn.Set(x, y, true);
  return Status::Ok();
}

}  // namespace velmora
