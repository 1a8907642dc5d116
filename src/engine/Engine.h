// The mosaic engine: the one object that holds the current project, the option
// set, the fixed tables, the bitmaps, the library list, the view state and the
// random generator, with every mosaic-making operation on them. It is created
// once (in main, or by a test) and handed by reference to whoever needs it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/Job.h"
#include "engine/ProjectRecord.h"
#include "engine/Random.h"
#include "engine/Tables.h"
#include "imaging/Bitmap24.h"
#include "imaging/Bitmap32.h"
#include "imaging/ColorSignature.h"
#include "library/CellPicList.h"

namespace velmora {

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

  // Progress goes here; never null (a silent listener by default).
  void SetListener(JobListener* listener);
  JobListener& Listener() { return *listener_; }

  // Worker threads for decoding library pictures (results never depend on it).
  void SetThreadCount(int threads) { threads_ = threads < 1 ? 1 : threads; }
  int ThreadCount() const { return threads_; }

  // ---- operations (defined in Grid.cpp, LibraryPrep.cpp, Assign.cpp, Render.cpp, Pen.cpp, Creation.cpp) ----
  Status LoadMainPicture();  // MainBitmap from Project.MainImageFile
  void MakeGrid();
  ColorSignature SampleCell(int x, int y) const;
  Status PrepareLibrary();
  static Comparison Compare(const ColorSignature& picture, const ColorSignature& cell, int enhance, bool allowH,
                            bool allowV);
  bool Eligible(int x, int y, int k, int level) const;
  int ChoosePicture(int x, int y, const ColorSignature& cell, int level);
  CellPos PlacePicture(int k);
  void AssignCells();
  void FillCell(int x, int y, int k);
  Status RenderMosaic();
  Status RenderCell(int x, int y);
  void MakePenBasePicture();
  Status PenStroke(int left, int top, int right, int bottom);

  // The creation sequence of "Create Photo Mosaic" (grid, library, assignment,
  // render) and of "Mosaic Pen Mode"; refuses an empty library in standard
  // render mode with the program's message and changes nothing then.
  Status CreateMosaic();
  Status StartPenMode();
  // After a stored project has been read back: grid and render only.
  Status ReopenProject();

private:
  JobListener silent_;
  JobListener* listener_ = &silent_;
  int threads_ = 2;
  int assigned_ = 0;  // cells filled during AssignCells
};

}  // namespace velmora
