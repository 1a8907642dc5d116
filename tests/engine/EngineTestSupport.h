// Helpers for the engine tests: a scratch folder, small BMP fixtures written
// into it, a job recorder, and an engine set up for a given grid.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "imaging/PictureOps.h"

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

// A 24-bit bottom-up Windows bitmap of the picture (alpha dropped).
inline void WriteBmp24(const std::string& path, const TBitmap32& picture) {
  const int w = picture.Width();
  const int h = picture.Height();
  const int stride = (w * 3 + 3) & ~3;
  std::vector<uint8_t> bytes(54 + static_cast<size_t>(stride) * h, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put32(2, static_cast<uint32_t>(bytes.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(w));
  put32(22, static_cast<uint32_t>(h));
  bytes[26] = 1;
  bytes[28] = 24;
  put32(34, static_cast<uint32_t>(stride) * h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = bytes.data() + 54 + static_cast<size_t>(h - 1 - y) * stride;
    for (int x = 0; x < w; ++x) {
      const TColor32 c = picture.Pixel(x, y);
      row[x * 3] = BlueOf(c);
      row[x * 3 + 1] = GreenOf(c);
      row[x * 3 + 2] = RedOf(c);
    }
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline TBitmap32 Uniform(int w, int h, TColor32 c) {
  TBitmap32 b(w, h);
  b.Fill(c);
  return b;
}

// Every job text and percentage, in order.
struct JobRecorder : JobListener {
  std::vector<std::string> texts;
  std::vector<int> progress;
  int events = 0;
  void SetJobText(std::string_view text) override { texts.emplace_back(text); }
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

// An engine with the given grid and cell size, derived sizes computed.
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

}  // namespace velmora::testing
