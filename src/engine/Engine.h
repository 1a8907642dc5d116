// The mosaic engine: the one object that holds the current project, the option
// set, the fixed tables, the bitmaps, the library list, the view state and the
// random generator, with every mosaic-making operation on them. It is created
// once (in main, or by a test) and handed by reference to whoever needs it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "engine/BlockMap.h"
#include "engine/CellMask.h"
#include "engine/DetailGrid.h"
#include "engine/PhotoShapes.h"
#include "imaging/Job.h"
#include "engine/ProjectRecord.h"
#include "imaging/Random.h"
#include "engine/Tables.h"
#include "imaging/Bitmap24.h"
#include "imaging/Bitmap32.h"
#include "imaging/ColorSignature.h"
#include "imaging/MemoryBudget.h"
#include "imaging/PictureReader.h"
#include "imaging/Status.h"
#include "library/CellPicList.h"
#include "library/SubjectCrop.h"

namespace velmora {

struct PenStrokeEntry;
class RenditionCache;
struct CellPlacement;
class SignatureLanes;
class DetailLanes;
struct SummaryKey;

// What Compare gives: the distance of the chosen orientation and its mirrors.
struct Comparison {
  int32_t Distance = 0;
  bool HFlip = false;
  bool VFlip = false;
};

struct CellPos {
  int X = -1;
  int Y = -1;
};

class Engine {
public:
  Engine();

  // ---- state (the engine's program-wide records, tables and bitmaps) ----
  tmosaicproject Project = DefaultProject();
  tmosaicproject OptionSet = DefaultProject();  // only the option fields are used
  LibraryTable Library;
  CellMap Map;
  DrawnFlags Drawn;
  Bitmap24 GridBitmap;
  TBitmap32 MainBitmap;
  TBitmap32 MosaicBitmap;
  TBitmap32 CellBuffer;
  CellPicList PicList;
  int32_t MosaicState = 0;  // 0 nothing, 1 plain picture, 2 mosaic present
  int32_t ViewOriginX = 0;
  int32_t ViewOriginY = 0;
  TRect ViewRect;
  RandomGenerator Rng;
  // The matching choices of the project (used by the assignment) and of the
  // next project (the user's settings), as Project and OptionSet are; and the
  // tables detail matching works on (DetailMatch.h).
  MatchOptions Matching;
  MatchOptions MatchingSet;
  DetailTables Details;
  // Tiles of several sizes (BlockMap.h): the block sides the assignment may
  // merge calm areas into (none by default), and the blocks of the current
  // mosaic, kept from the assignment to the render (empty: the plain grid).
  BlockSizing Sizing;
  BlockMap Blocks;
  // Tiles that keep the photo (PhotoShapes.h): off by default; on, the
  // assignment adds blocks of the photos' shapes after the calm ones and
  // places on every tile only photos of its shape.
  AspectShapes Aspects;
  // Where library photos are cut to their cells' shape (SubjectCrop.h),
  // with CropCell: in the middle by default.
  CropBy CropMode = CropBy::Centre;
  // Where library photo k's subject is, for the crop by CropMode: as Prepare
  // library found it, else as the summary cache keeps it; nullptr for the
  // centre crop, and when neither knows (the caller then looks at the photo).
  const SubjectBox* KnownSubject(int k, SubjectBox& slot) const;
  // The tile sizes the next project takes (the user's settings).
  BlockSizing SizingSet;
  // Whether the next project's tiles keep the photo (the user's settings).
  bool KeepShapesSet = false;
  // Tiles of any shape (CellMask.h): rectangles by default; shaped, every
  // tile is masked after its photo is drawn and the gaps get the gap fill.
  // MasksSet is the next project's choice (the user's settings).
  TileMasking Masks;
  TileMasking MasksSet;
  // The block map belongs to this grid, so every cell of a block holds the
  // block's entry and a hand edit of one of them changes them all.
  bool BlocksApply() const;
  // Blocks are drawn as one picture (a library mosaic on the plain grid).
  bool BlocksDrawn() const;
  // The tile cell (x, y) is part of: its block, or the cell alone.
  TileBlock TileAt(int x, int y) const;
  // Its cells in reading order, the first cell first.
  std::vector<CellPos> TileCells(int x, int y) const;
  // `cells` with every cell of a block replaced by all the block's cells,
  // each cell once, in the order first met.
  std::vector<CellPos> ExpandToTiles(const std::vector<CellPos>& cells) const;
  // The first cell's entry copied to the tile's other cells.
  void SpreadTileEntry(const TileBlock& tile);
  // Draws the tile again: a drawn block once, otherwise cell by cell.
  Status RenderTile(const TileBlock& tile);

  // Progress goes here; never null (a silent listener by default).
  void SetListener(JobListener* listener);
  JobListener& Listener() { return *listener_; }
  // The last job stopped because its listener asked it to; its Status then
  // carries kJobCancelled. What it had changed is left as it was when it
  // stopped: a caller that wants the state before it keeps an EngineSnapshot.
  bool JobCancelled() const { return cancelled_; }

  // Worker threads for decoding library pictures and drawing cells (results
  // never depend on it). Defaults to the machine's hardware threads.
  void SetThreadCount(int threads) { threads_ = threads < 1 ? 1 : threads; }
  int ThreadCount() const { return threads_; }

  // JPEG and TIFF pictures carrying an orientation tag (main picture and
  // library alike) are turned upright as they are read; off, they are used
  // as stored. On by default.
  void SetUprightPictures(bool on) { upright_ = on; }
  bool UprightPictures() const { return upright_; }
  // Library photos read from the small copy their camera embedded when it
  // serves the cells (see DecodeHints::usePreviews); on by default.
  void SetUsePreviews(bool on) { previews_ = on; }
  bool UsePreviews() const { return previews_; }

  // The folder of the persistent summary cache of Prepare library (see
  // SummaryCache.h); empty, the default, keeps no cache. The programs set it
  // to DefaultCacheFolder().
  void SetSummaryCacheFolder(std::string folder) { cacheFolder_ = std::move(folder); }
  const std::string& SummaryCacheFolder() const { return cacheFolder_; }
  // The most the rendition cache, kept in the same folder, may take on disk
  // (see RenditionCache.h); 0 keeps no renditions.
  static constexpr uint64_t kDefaultRenditionCacheBytes = uint64_t(1024) << 20;
  void SetRenditionCacheBytes(uint64_t bytes) { renditionCap_ = bytes; }
  uint64_t RenditionCacheBytes() const { return renditionCap_; }
  // A job leaves the renditions it made to be written behind it, while the
  // program goes on; this waits until they are, and warns through the
  // listener when they could not be. A program that reports to its user
  // calls it before it ends (the engine's end waits as well, silently).
  void FinishCacheWrites();

  // The bytes in flight that library preparation and rendering share among
  // their threads: a thread waits for room rather than decoding past it, so
  // the peak does not grow with the thread count (see MemoryBudget.h).
  void SetMemoryBudget(int64_t bytes) { budget_ = std::make_shared<MemoryBudget>(bytes); }
  MemoryBudget& Budget() const { return *budget_; }

  // How the engine reads picture files: LoadPictureFile, unless a tool or a
  // test puts a counting or caching loader in its place. It is called from
  // worker threads, so a replacement must be safe to call concurrently.
  using PictureLoader =
      std::function<Status(TBitmap32& target, const std::string& path, const DecodeHints& hints)>;
  void SetPictureLoader(PictureLoader loader);

  // ---- operations (Grid.cpp, LibraryPrep.cpp, Assign.cpp, Render.cpp, Pen.cpp, Creation.cpp) ----
  // Each long step reports its job text and percentages to Listener(). MakeGrid,
  // PrepareLibrary, AssignCells and RenderMosaic can also be run (and timed) one
  // by one, in that order.
  Status LoadMainPicture();  // MainBitmap from Project.MainImageFile
  void MakeGrid();
  // The signature of cell (x, y) from its four GridBitmap samples; all zero for
  // a cell outside the grid.
  ColorSignature SampleCell(int x, int y) const;
  // Fails with the picture reader's message for the first unreadable picture
  // in list order; the entries before it are written.
  Status PrepareLibrary();
  // The summary Prepare library takes of picture k, read afresh (no cache);
  // safe on worker threads. For checks that go on past unreadable pictures.
  Status SummarizeLibraryPicture(int k, ColorSignature& out) const;
  static Comparison Compare(const ColorSignature& picture, const ColorSignature& cell, int enhance,
                            bool allowH, bool allowV);
  bool Eligible(int x, int y, int k, int level) const;
  // The picture index for cell (x, y), or -1 when no picture is eligible.
  int ChoosePicture(int x, int y, const ColorSignature& cell, int level);
  // The free eligible cell that matches picture k best; X and Y are -1 when
  // there is none.
  CellPos PlacePicture(int k);
  void AssignCells();
  void FillCell(int x, int y, int k);
  // Fails with the reader's message for the first unreadable picture; the
  // cells drawn before it stay and MosaicState keeps its value.
  Status RenderMosaic();
  Status RenderCell(int x, int y);
  // Render mosaic without holding the whole picture: the mosaic is drawn in
  // horizontal bands of at most bandRows rows (the last one shorter), each
  // handed to `sink` top band first, with the rows of the band bitmap to
  // take. The pixels are those RenderMosaic gives; MosaicBitmap is left
  // alone. Fails with the reader's message for the first unreadable picture,
  // or with the sink's.
  using BandSink = std::function<Status(const TBitmap32& band, int rows)>;
  Status RenderMosaicBands(int bandRows, const BandSink& sink);
  // Fails only when MosaicBitmap cannot be given the final size.
  Status MakePenBasePicture();
  // A stroke before a mosaic exists is ignored; a stroke for which no picture
  // can be chosen (an empty library in standard render) paints nothing. Both
  // return Ok. `record` (when given) receives what a replay needs.
  Status PenStroke(int left, int top, int right, int bottom, PenStrokeEntry* record = nullptr);
  // Paints recorded strokes again, in order: each with its picture,
  // opacities and filter, not the current options' nor a new random choice;
  // no use is counted again. `between` (when given) runs with the number of
  // strokes painted so far before each stroke and after the last, and ends
  // the job when it fails. A job of its own ("Painting Pen Strokes"):
  // progress per stroke, and a cancel between strokes leaves those painted
  // so far.
  Status ReplayPenStrokes(std::span<const PenStrokeEntry> strokes,
                          const std::function<Status(size_t painted)>& between = {});

  // The creation sequence of "Create Photo Mosaic" (grid, library, assignment,
  // render) and of "Mosaic Pen Mode"; refuses an empty library in standard
  // render mode with the program's message and changes nothing then.
  Status CreateMosaic();
  // The refusals of both sequences: an empty library in standard render, a
  // grid the tables cannot hold.
  Status CheckCanCreate() const;
  Status StartPenMode();
  // After a stored project has been read back: grid and render only (and,
  // with detail matching, the detail tables from the summary cache).
  Status ReopenProject();
  // CreateMosaic and ReopenProject with the render in bands (see
  // RenderMosaicBands), for saving posters larger than memory.
  Status CreateMosaicInBands(int bandRows, const BandSink& sink);
  Status ReopenProjectInBands(int bandRows, const BandSink& sink);

private:
  // Cells across and down when they fit the 800 x 800 tables.
  bool GridFitsTables() const;
  int Cells() const { return Project.CellsAcross * Project.CellsDown; }
  Status GridError() const;
  Status LoadPicture(TBitmap32& target, const std::string& path, const DecodeHints& hints) const;
  // After a progress report: whether the listener wants the job stopped
  // (remembered until the next step starts).
  bool CancelPolled();
  // The job's end when it was cancelled: the label says so, the gauge is 0.
  Status CancelledJob();
  // Library picture k read with `hints`; an entry without a name fails
  // naming the list's line it came from.
  Status LoadLibraryPicture(TBitmap32& target, int k, const DecodeHints& hints) const;

  bool RepeatCapAllows(int k) const;
  TRect RepeatSquare(int x, int y) const;
  bool RepeatRadiusFree(int x, int y, int k) const;
  // Choose picture and Place picture with the library's or the grid's
  // summaries laid out for the distance pass (SignatureLanes.h, and
  // DetailLanes.h for detail matching), filled on first need, so that a
  // pass over many cells or pictures lays them out once.
  int ChooseAmong(SignatureLanes& library, DetailLanes& libraryDetails, int x, int y, const ColorSignature& cell,
                  int level);
  CellPos PlaceAmong(SignatureLanes& freeCells, DetailLanes& cellDetails, int k);
  void LoadLibraryLanes(SignatureLanes& lanes) const;
  void LoadCellLanes(SignatureLanes& lanes) const;
  void MarkPicturesNear(int x, int y);
  // Detail matching is on and its tables are those of this library and grid.
  bool DetailReady() const;
  // The detail tables of a reopened project, from the summary cache
  // (DetailRestore.cpp).
  void RestoreDetails();
  // "Ensure Use All Photos" by the assignment solver (FairPlacement.cpp).
  void PlaceEveryPhotoWell(int count);
  // The free cells by the assignment solver under the repeat cap
  // (CappedPlacement.cpp).
  void PlaceUnderUseCap(int count);
  void MainPass(int level);
  void ReportAssigned();

  // A cell's picture as the renderer uses it, read with the render hints and
  // brought to the working size; in self-mosaic mode from MainBitmap.
  // With `renditions`, the picture comes from that cache when it holds it and
  // goes into it when it did not; `warning` tells of a damaged rendition or
  // one that could not be stored.
  // A block's picture is prepared at the block's size (spanW x spanH cells).
  Status PrepareCellPicture(int picIndex, TBitmap32& out, const RenditionCache* renditions = nullptr,
                            std::string* warning = nullptr, int spanW = 1, int spanH = 1) const;
  // The rendition cache of the summary cache folder for the current cell
  // settings, kept from the preparation to the render so that the render
  // takes the renditions the preparation made in memory; none with a cap
  // of 0. Without a folder it holds this run's renditions in memory only.
  // Its warnings go to the listener.
  RenditionCache* Renditions() const;
  // The key of library picture k's summary and rendition; false when the
  // file cannot be examined (it is then never cached).
  bool CacheKeyOf(int k, SummaryKey& key) const;
  // Draws cell (x, y) into `target`, whose row 0 is mosaic row `top`.
  // With `block`, the block whose first cell (x, y) is, drawn across its cells.
  void FinishAndPlace(const TBitmap32& prepared, int x, int y, TBitmap32& buffer, TBitmap32& target, int top,
                      const TileBlock* block = nullptr);
  // The blocks whose rows meet [top, top + target.Height()) of the mosaic,
  // drawn into `target`; `kept` holds prepared block pictures between bands
  // (by block index), those no later band needs are let go.
  Status RenderBlocks(TBitmap32& target, int top, std::vector<TBitmap32>* kept);
  // The assignment's blocks: merged (with Sizing on), their first cells made
  // to carry them, their other cells taken out (BlockMap.h).
  void StartBlocks();
  // The block's picture, mirrors and tint given to its other cells.
  void FinishBlocks();
  // The masks and gap picture of a render when the tiles are shaped (null
  // for rectangles), made afresh by every whole render and kept for the
  // cells drawn again after it.
  void StartMasks(bool fresh);
  // The shaped tile's pieces of `place` drawn from `buffer` through the mask.
  void PlaceShaped(const TBitmap32& buffer, const CellPlacement& place, const TileBlock* block, TBitmap32& target,
                   int top);
  // Rows a shaped tile may reach above and below its cell's rectangle.
  int MaskReach() const;
  void PlacePieceAcrossBand(const TBitmap32& buffer, const TRect& piece, const TRect& source, TBitmap32& target,
                            int top) const;
  void SetMainForOverlay();
  // A pen stroke with the opacities and filter of `stroke`; its picture is
  // chosen afresh (and stored in it) when `choose`, else taken from it.
  Status PaintPenStroke(PenStrokeEntry& stroke, bool choose);

  // The summary cache's settings word for the project's library photos.
  uint32_t SummaryWord() const;
  struct SubjectTable {
    std::mutex lock;
    uint32_t settings = 0;    // the word the boxes are for
    std::string firstPath;    // and the library they were found in
    int count = 0;
    bool looked = false;      // the summary cache was read for them
    std::vector<SubjectBox> boxes;
    std::vector<char> known;  // per photo
  };
  std::shared_ptr<SubjectTable> subjects_ = std::make_shared<SubjectTable>();
  JobListener silent_;
  JobListener* listener_ = &silent_;
  int threads_ = 2;
  bool upright_ = true;
  bool previews_ = true;
  std::string cacheFolder_;
  uint64_t renditionCap_ = kDefaultRenditionCacheBytes;
  mutable std::shared_ptr<RenditionCache> renditions_;
  std::shared_ptr<MaskRender> masks_;
  PictureLoader loader_;
  std::shared_ptr<MemoryBudget> budget_ = std::make_shared<MemoryBudget>();
  int assigned_ = 0;  // cells filled during AssignCells
  Bitmap24 plainGrid_;  // GridBitmap while the blocks' first cells carry them
  bool cancelled_ = false;

  // Choose picture's repeat-radius test: the pictures shown around the cell
  // are stamped once per call instead of scanning the square per candidate.
  std::vector<uint32_t> nearStamp_;
  uint32_t nearSerial_ = 0;
};

}  // namespace velmora
