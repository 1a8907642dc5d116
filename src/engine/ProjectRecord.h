// tmosaicproject: the settings record of a project, with the sizes derived from
// them. Its 144-byte stored form is what project files hold verbatim, and its
// bytes 76..135 (the option block) are the whole of Defaultopt.opt. The stored
// form is written and read field by field at fixed offsets, little-endian, with
// zero padding; the in-memory struct is free of that layout.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "imaging/Status.h"

namespace velmora {

struct tmosaicproject {
  std::string MainImageFile;  // not stored: offset 0 holds four zero bytes
  bool CropMainImage = false;
  int32_t FinalWidth = 1536;
  int32_t FinalHeight = 1536;
  double WidthInch = 21.33;
  double HeightInch = 21.33;
  double WidthCm = 54.18;
  double HeightCm = 54.18;
  int32_t Dpi = 72;
  int32_t CellsAcross = 48;
  int32_t CellsDown = 48;
  int32_t CellWidth = 32;
  int32_t CellHeight = 32;
  int32_t RenderMode = 2;  // 1 self mosaic, 2 standard render
  int32_t StitchMode = 1;  // 1 loom, 2 peyote, 3 brick

  // The option fields (stored at 76..135).
  int32_t RandomizeLevel = 20;
  int32_t ColorEnhance = 50;
  bool UseAllPhotos = true;
  bool CropCell = true;
  bool MonoCell = false;
  bool AllowHFlip = true;
  bool AllowVFlip = false;
  int32_t MinRepeatRadius = 4;
  bool LimitRepeat = false;
  int32_t MaxRepeatTimes = 10;
  bool RepeatLimitSuspended = false;
  int32_t BorderSize = 0;
  int32_t BorderColor = 0;  // 0x00BBGGRR
  int32_t AlphaMain = 51;
  int32_t AlphaPen = 205;
  uint8_t ResampleKernel = 4;  // a TStretchFilter value
  int32_t JpegQuality = 75;
  bool JpegProgressive = false;

  int32_t MainImageDataSize = 0;
  int32_t ImageListDataSize = 0;
};

constexpr size_t kRecordSize = 144;
constexpr size_t kOptionBlockOffset = 76;
constexpr size_t kOptionBlockSize = 60;

constexpr int32_t kRenderSelf = 1;
constexpr int32_t kRenderStandard = 2;
constexpr int32_t kStitchLoom = 1;
constexpr int32_t kStitchPeyote = 2;
constexpr int32_t kStitchBrick = 3;

// A record with every field at its built-in default (the wizard's and the
// Options dialog's control defaults) and the derived sizes computed.
tmosaicproject DefaultProject();

// FinalWidth/FinalHeight and the four print sizes from the cell counts, the
// cell size and Dpi; the divisions truncate before the multiplication by 0.01.
void ComputeDerivedSizes(tmosaicproject& project);

std::array<uint8_t, kRecordSize> WriteRecord(const tmosaicproject& project);
// Reads the 144 stored bytes; MainImageFile is left as it is. A boolean byte
// other than 0 reads as true.
void ReadRecord(std::span<const uint8_t, kRecordSize> bytes, tmosaicproject& project);

std::array<uint8_t, kOptionBlockSize> WriteOptionBlock(const tmosaicproject& options);
void ReadOptionBlock(std::span<const uint8_t, kOptionBlockSize> bytes, tmosaicproject& options);

// Copies the option fields RandomizeLevel..JpegProgressive, each with its own
// width; nothing else is touched.
void CopyOptions(const tmosaicproject& from, tmosaicproject& to);

}  // namespace velmora
