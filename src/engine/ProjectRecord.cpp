#include "engine/ProjectRecord.h"

#include <cstring>

#include "imaging/LittleEndian.h"

namespace velmora {
namespace {

void PutI32(uint8_t* base, size_t offset, int32_t v) { StoreI32LE(base + offset, v); }
int32_t GetI32(const uint8_t* base, size_t offset) { return LoadI32LE(base + offset); }
void PutF64(uint8_t* base, size_t offset, double v) { StoreF64LE(base + offset, v); }
double GetF64(const uint8_t* base, size_t offset) { return LoadF64LE(base + offset); }

// The option fields at their record offsets; `base` points at byte 0 of the
// record (the option block is cut out of a whole record).
void PutOptions(uint8_t* base, const tmosaicproject& p) {
  PutI32(base, 76, p.RandomizeLevel);
  PutI32(base, 80, p.ColorEnhance);
  base[84] = p.UseAllPhotos;
  base[85] = p.CropCell;
  base[86] = p.MonoCell;
  base[87] = p.AllowHFlip;
  base[88] = p.AllowVFlip;
  PutI32(base, 92, p.MinRepeatRadius);
  base[96] = p.LimitRepeat;
  PutI32(base, 100, p.MaxRepeatTimes);
  base[104] = p.RepeatLimitSuspended;
  PutI32(base, 108, p.BorderSize);
  PutI32(base, 112, p.BorderColor);
  PutI32(base, 116, p.AlphaMain);
  PutI32(base, 120, p.AlphaPen);
  base[124] = p.ResampleKernel;
  PutI32(base, 128, p.JpegQuality);
  base[132] = p.JpegProgressive;
}

void GetOptions(const uint8_t* base, tmosaicproject& p) {
  p.RandomizeLevel = GetI32(base, 76);
  p.ColorEnhance = GetI32(base, 80);
  p.UseAllPhotos = base[84] != 0;
  p.CropCell = base[85] != 0;
  p.MonoCell = base[86] != 0;
  p.AllowHFlip = base[87] != 0;
  p.AllowVFlip = base[88] != 0;
  p.MinRepeatRadius = GetI32(base, 92);
  p.LimitRepeat = base[96] != 0;
  p.MaxRepeatTimes = GetI32(base, 100);
  p.RepeatLimitSuspended = base[104] != 0;
  p.BorderSize = GetI32(base, 108);
  p.BorderColor = GetI32(base, 112);
  p.AlphaMain = GetI32(base, 116);
  p.AlphaPen = GetI32(base, 120);
  p.ResampleKernel = base[124];
  p.JpegQuality = GetI32(base, 128);
  p.JpegProgressive = base[132] != 0;
}

}  // namespace

tmosaicproject DefaultProject() {
  tmosaicproject p;
  ComputeDerivedSizes(p);
  return p;
}

void ComputeDerivedSizes(tmosaicproject& p) {
  p.FinalWidth = p.CellsAcross * p.CellWidth;
  p.FinalHeight = p.CellsDown * p.CellHeight;
  const int dpi = p.Dpi != 0 ? p.Dpi : 1;
  p.WidthInch = (static_cast<int64_t>(p.FinalWidth) * 100 / dpi) * 0.01;
  p.HeightInch = (static_cast<int64_t>(p.FinalHeight) * 100 / dpi) * 0.01;
  p.WidthCm = (static_cast<int64_t>(p.FinalWidth) * 254 / dpi) * 0.01;
  p.HeightCm = (static_cast<int64_t>(p.FinalHeight) * 254 / dpi) * 0.01;
}

std::array<uint8_t, kRecordSize> WriteRecord(const tmosaicproject& p) {
  std::array<uint8_t, kRecordSize> b{};
  uint8_t* d = b.data();
  // Bytes 0..3 held a string reference in memory; it means nothing on disk.
  d[4] = p.CropMainImage;
  PutI32(d, 8, p.FinalWidth);
  PutI32(d, 12, p.FinalHeight);
  PutF64(d, 16, p.WidthInch);
  PutF64(d, 24, p.HeightInch);
  PutF64(d, 32, p.WidthCm);
  PutF64(d, 40, p.HeightCm);
  PutI32(d, 48, p.Dpi);
  PutI32(d, 52, p.CellsAcross);
  PutI32(d, 56, p.CellsDown);
  PutI32(d, 60, p.CellWidth);
  PutI32(d, 64, p.CellHeight);
  PutI32(d, 68, p.RenderMode);
  PutI32(d, 72, p.StitchMode);
  PutOptions(d, p);
  PutI32(d, 136, p.MainImageDataSize);
  PutI32(d, 140, p.ImageListDataSize);
  return b;
}

void ReadRecord(std::span<const uint8_t, kRecordSize> bytes, tmosaicproject& p) {
  const uint8_t* s = bytes.data();
  p.CropMainImage = s[4] != 0;
  p.FinalWidth = GetI32(s, 8);
  p.FinalHeight = GetI32(s, 12);
  p.WidthInch = GetF64(s, 16);
  p.HeightInch = GetF64(s, 24);
  p.WidthCm = GetF64(s, 32);
  p.HeightCm = GetF64(s, 40);
  p.Dpi = GetI32(s, 48);
  p.CellsAcross = GetI32(s, 52);
  p.CellsDown = GetI32(s, 56);
  p.CellWidth = GetI32(s, 60);
  p.CellHeight = GetI32(s, 64);
  p.RenderMode = GetI32(s, 68);
  p.StitchMode = GetI32(s, 72);
  GetOptions(s, p);
  p.MainImageDataSize = GetI32(s, 136);
  p.ImageListDataSize = GetI32(s, 140);
}

std::array<uint8_t, kOptionBlockSize> WriteOptionBlock(const tmosaicproject& options) {
  const auto record = WriteRecord(options);
  std::array<uint8_t, kOptionBlockSize> block{};
  std::memcpy(block.data(), record.data() + kOptionBlockOffset, kOptionBlockSize);
  return block;
}

void ReadOptionBlock(std::span<const uint8_t, kOptionBlockSize> bytes, tmosaicproject& options) {
  std::array<uint8_t, kRecordSize> record{};
  std::memcpy(record.data() + kOptionBlockOffset, bytes.data(), kOptionBlockSize);
  GetOptions(record.data(), options);
}

void CopyOptions(const tmosaicproject& from, tmosaicproject& to) {
  to.RandomizeLevel = from.RandomizeLevel;
  to.ColorEnhance = from.ColorEnhance;
  to.UseAllPhotos = from.UseAllPhotos;
  to.CropCell = from.CropCell;
  to.MonoCell = from.MonoCell;
  to.AllowHFlip = from.AllowHFlip;
  to.AllowVFlip = from.AllowVFlip;
  to.MinRepeatRadius = from.MinRepeatRadius;
  to.LimitRepeat = from.LimitRepeat;
  to.MaxRepeatTimes = from.MaxRepeatTimes;
  to.RepeatLimitSuspended = from.RepeatLimitSuspended;
  to.BorderSize = from.BorderSize;
  to.BorderColor = from.BorderColor;
  to.AlphaMain = from.AlphaMain;
  to.AlphaPen = from.AlphaPen;
  to.ResampleKernel = from.ResampleKernel;
  to.JpegQuality = from.JpegQuality;
  to.JpegProgressive = from.JpegProgressive;
}

}  // namespace velmora
