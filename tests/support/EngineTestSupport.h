// Helpers for the engine tests: a scratch folder, flat pictures, a job
// recorder and a read counter.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "imaging/PictureOps.h"
#include "imaging/formats/BmpCodec.h"

namespace velmora::testing {

class ScratchDir {
public:
  ScratchDir() {
    char name[] = "/tmp/velmora-engine-XXXXXX";
    path_ = mkdtemp(name) ? name : "/tmp";
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
  std::string path_;
};

inline TBitmap32 Uniform(int w, int h, TColor32 c) {
  TBitmap32 b(w, h);
  b.Fill(c);
  return b;
}

// Writes `picture` as a BMP named `name` in `dir` and appends it to the list.
inline void AddPicture(Engine& e, const ScratchDir& dir, const TBitmap32& picture) {
  const std::string path = dir.File(std::to_string(e.PicList.Count()) + ".bmp");
  (void)WriteBmpFile(picture, path);
  e.PicList.Append(path);
}

inline std::vector<std::string> SamplePhotos(size_t count = 1000) {
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(VELMORA_SAMPLE_IMAGES))
    if (entry.path().extension() == ".jpg") paths.push_back(entry.path().string());
  std::sort(paths.begin(), paths.end());
  if (paths.size() > count) paths.resize(count);
  return paths;
}

struct JobRecorder : JobListener {
  std::vector<std::string> texts;
  std::vector<int> progress;
  int events = 0;
  std::vector<std::string> warnings;
  std::vector<std::string> details;
  void SetJobText(std::string_view text) override { texts.emplace_back(text); }
  void SetJobDetail(std::string_view detail) override { details.emplace_back(detail); }
  void Warning(std::string_view message) override { warnings.emplace_back(message); }
  void SetProgress(int percent) override { progress.push_back(percent); }
  void ProcessEvents() override { ++events; }
};

// Counts the reads of every path; safe on the engine's worker threads.
struct ReadCounter {
  std::mutex mutex;
  std::map<std::string, int> reads;
  Engine::PictureLoader Loader() {
    return [this](TBitmap32& target, const std::string& path, const DecodeHints& hints) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        ++reads[path];
      }
      return LoadPictureFile(target, path, hints);
    };
  }
};

inline void SetGrid(Engine& engine, int cols, int rows, int cw, int ch) {
  engine.Project.CellsAcross = cols;
  engine.Project.CellsDown = rows;
  engine.Project.CellWidth = cw;
  engine.Project.CellHeight = ch;
  ComputeDerivedSizes(engine.Project);
}

inline ColorSignature FlatSignature(uint8_t b, uint8_t g, uint8_t r) {
  ColorSignature s;
  for (SigColor& c : s.Slot) c = SigColor{b, g, r, GreyOf(r, g, b)};
  return s;
}

inline bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() &&
         std::equal(a.Pixels().begin(), a.Pixels().end(), b.Pixels().begin());
}

}  // namespace velmora::testing
