#include "project/ProjectPicture.h"

#include <algorithm>
#include <cstring>

#include "project/ProjectSize.h"

namespace velmora {

Status ReopenProjectPicture(Engine& engine, PenLog& log, const std::string& path,
                            std::vector<std::string>& warnings) {
  VELMORA_TRY(engine.ReopenProject());
  if (!log.Replays()) return Status::Ok();
  const Status replay = ReplayPenLog(engine, log, path);
  if (replay.ok() || engine.JobCancelled()) return replay;
  warnings.push_back(replay.message() + "; the pen strokes were left out.");
  log = PenLog{};
  // What was painted before the failing part goes too.
  return engine.ReopenProject();
}

Status ReopenProjectPictureInBands(Engine& engine, PenLog& log, const std::string& path,
                                   std::vector<std::string>& warnings, int bandRows,
                                   const Engine::BandSink& sink) {
  if (log.Replays() && !FitsInMemory(engine.Project)) {
    warnings.push_back(path +
                       ": the mosaic is too large to be held whole, as painting its pen strokes again "
                       "needs; the pen strokes were left out.");
    log = PenLog{};
  }
  if (!log.Replays()) return engine.ReopenProjectInBands(bandRows, sink);
  VELMORA_TRY(ReopenProjectPicture(engine, log, path, warnings));
  const TBitmap32& mosaic = engine.MosaicBitmap;
  const int height = mosaic.Height();
  bandRows = std::clamp(bandRows, 1, std::max(height, 1));
  TBitmap32 band;
  for (int top = 0; top < height; top += bandRows) {
    const int rows = std::min(bandRows, height - top);
    VELMORA_TRY(band.SetSizeForOverwrite(mosaic.Width(), rows));
    for (int y = 0; y < rows; ++y)
      std::memcpy(band.ScanLine(y), mosaic.ScanLine(top + y), size_t(mosaic.Width()) * sizeof(TColor32));
    VELMORA_TRY(sink(band, rows));
  }
  return Status::Ok();
}

}  // namespace velmora
