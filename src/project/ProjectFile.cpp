// Saving and loading project files. The save streams each part straight into
// the temporary file; the load reads part by part, each allocation bounded by
// the bytes the file really has, into fresh objects that replace the engine's
// only when the whole file has been read and checked.
#include "project/ProjectFile.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/FileIO.h"
#include "imaging/PictureLimits.h"
#include "imaging/formats/BmpCodec.h"
#include "library/ImageListFile.h"

namespace velmora {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

Status Refuse(const std::string& path, const std::string& reason) {
  return Status::Error(Format("Cannot open project file \"%s\": %s.", path.c_str(), reason.c_str()));
}

// Reads exactly `size` bytes; a short read is a damaged (truncated) file.
Status ReadExactly(std::FILE* file, void* data, size_t size, const std::string& path, const char* part) {
  if (size == 0) return Status::Ok();
  if (std::fread(data, 1, size, file) == size) return Status::Ok();
  if (std::ferror(file)) return Refuse(path, Format("reading %s failed (%s)", part, std::strerror(errno)));
  return Refuse(path, Format("the file ends inside %s", part));
}

Status CheckRecord(const tmosaicproject& p, uint64_t fileSize, const std::string& path) {
  if (p.MainImageDataSize < 0)
    return Refuse(path, Format("the main picture part has a negative length (%d)", p.MainImageDataSize));
  if (p.ImageListDataSize < 0)
    return Refuse(path, Format("the picture list part has a negative length (%d)", p.ImageListDataSize));
  const uint64_t needed = ProjectFileSize(uint64_t(p.MainImageDataSize), uint64_t(p.ImageListDataSize));
  if (fileSize < needed)
    return Refuse(path, Format("the file has %llu bytes, fewer than the %llu its record describes",
                               (unsigned long long)fileSize, (unsigned long long)needed));

  // The cell map has 800 columns and 800 rows.
  if (p.CellsAcross < 1 || p.CellsAcross > kMapSide)
    return Refuse(path, Format("the number of cells across (%d) is outside 1..%d", p.CellsAcross, kMapSide));
  if (p.CellsDown < 1 || p.CellsDown > kMapSide)
    return Refuse(path, Format("the number of cells down (%d) is outside 1..%d", p.CellsDown, kMapSide));
  if (p.CellWidth < 1 || p.CellHeight < 1)
    return Refuse(path, Format("the cell size %d x %d is not a picture size", p.CellWidth, p.CellHeight));
  if (int64_t(p.FinalWidth) != int64_t(p.CellsAcross) * p.CellWidth ||
      int64_t(p.FinalHeight) != int64_t(p.CellsDown) * p.CellHeight)
    return Refuse(
        path, Format("the final size %d x %d does not match %d x %d cells of %d x %d pixels", p.FinalWidth,
                     p.FinalHeight, p.CellsAcross, p.CellsDown, p.CellWidth, p.CellHeight));
  // The mosaic is rendered at the final size, so it must be a picture the
  // program is willing to allocate.
  if (p.FinalWidth > kMaxPictureSide || p.FinalHeight > kMaxPictureSide ||
      int64_t(p.FinalWidth) * p.FinalHeight > kMaxPicturePixels)
    return Refuse(path, Format("the final size %d x %d is larger than the picture limit of %lld pixels",
                               p.FinalWidth, p.FinalHeight, (long long)kMaxPicturePixels));
  if (p.RenderMode != kRenderSelf && p.RenderMode != kRenderStandard)
    return Refuse(path,
                  Format("the render mode %d is neither 1 (self mosaic) nor 2 (standard)", p.RenderMode));
  if (p.StitchMode < kStitchLoom || p.StitchMode > kStitchBrick)
    return Refuse(path, Format("the stitch mode %d is outside 1..3", p.StitchMode));
  return Status::Ok();
}

Status ReadMainPicture(std::FILE* file, size_t size, const std::string& path, TBitmap32& out) {
  if (size == 0) return Status::Ok();  // an empty part is an empty picture
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(size);
  } catch (const std::bad_alloc&) {
    return Refuse(path, Format("out of memory for a main picture part of %zu bytes", size));
  }
  VELMORA_TRY(ReadExactly(file, bytes.data(), size, path, "the main picture part"));
  DecodedPicture decoded;
  const Status status = DecodeBmp(bytes, DecodeHints{}, decoded);
  if (!status.ok())
    return Refuse(path, "the main picture part is not a Windows bitmap (" + status.message() + ")");
  out.TakePixels(decoded.bitmap);
  return Status::Ok();
}

Status ReadPicList(std::FILE* file, size_t size, const std::string& path, std::vector<std::string>& out) {
  ImageListParser parser;
  std::array<uint8_t, 65536> chunk;
  while (size > 0) {
    const size_t n = size < chunk.size() ? size : chunk.size();
    VELMORA_TRY(ReadExactly(file, chunk.data(), n, path, "the picture list part"));
    parser.Feed({chunk.data(), n});
    size -= n;
  }
  out = parser.Finish();
  return Status::Ok();
}

template <size_t Bytes, typename Table>
Status ReadTable(std::FILE* file, const std::string& path, const char* part, Table& table) {
  std::vector<uint8_t> bytes(Bytes);
  VELMORA_TRY(ReadExactly(file, bytes.data(), Bytes, path, part));
  table.ReadBytes(std::span<const uint8_t, Bytes>(bytes.data(), Bytes));
  return Status::Ok();
}

// Whatever follows the cell map; CheckRecord made sure the file is at least
// as long as its record says, so the rest is fileSize - position.
Status ReadExtensions(std::FILE* file, uint64_t fileSize, const std::string& path, ExtensionArea& out) {
  const long position = std::ftell(file);
  if (position < 0) return Refuse(path, Format("cannot tell the read position (%s)", std::strerror(errno)));
  const uint64_t rest = fileSize - uint64_t(position);
  if (rest == 0) return Status::Ok();
  if (rest > kMaxExtensionAreaBytes)
    return Refuse(path,
                  Format("the file has %llu bytes more than its record describes", (unsigned long long)rest));
  std::vector<uint8_t> bytes;
  // Read in chunks, so a file that shrinks under us costs no more than it has.
  std::array<uint8_t, 65536> chunk;
  uint64_t left = rest;
  while (left > 0) {
    const size_t n = left < chunk.size() ? size_t(left) : chunk.size();
    VELMORA_TRY(ReadExactly(file, chunk.data(), n, path, "the extension area"));
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + n);
    left -= n;
  }
  return DecodeExtensionArea(bytes, path, out);
}

}  // namespace

Status SaveProjectFile(const Engine& engine, const std::string& path,
                       const std::vector<ExtensionBlock>& extensions) {
  VELMORA_TRY(CheckStorableList(engine.PicList));
  const TBitmap32& picture = engine.MainBitmap;
  uint32_t mainBytes = 0;
  if (!picture.Empty()) {
    const Result<uint32_t> bmpBytes = Bmp32FileBytes(picture.Width(), picture.Height());
    if (!bmpBytes) return bmpBytes.status();
    mainBytes = *bmpBytes;
  }
  const size_t listBytes = ImageListTextSize(engine.PicList);
  // Both lengths are stored as int32.
  if (mainBytes > uint32_t(INT32_MAX))
    return Status::Error(Format("The main picture of %d x %d pixels is too large for a project file.",
                                picture.Width(), picture.Height()));
  if (listBytes > size_t(INT32_MAX)) return Status::Error("The picture list is too long for a project file.");

  tmosaicproject record = engine.Project;
  record.MainImageDataSize = static_cast<int32_t>(mainBytes);
  record.ImageListDataSize = static_cast<int32_t>(listBytes);

  return WriteFileAtomically(path, [&](std::FILE* file) {
    const uint8_t recordLength[4] = {kProjectRecordLength & 0xFF, 0, 0, 0};
    VELMORA_TRY(WriteAll(file, recordLength, path));
    VELMORA_TRY(WriteAll(file, WriteRecord(record), path));
    if (mainBytes > 0) VELMORA_TRY(WriteBmp32(picture, file, path));
    VELMORA_TRY(WriteAll(file, ImageListText(engine.PicList), path));

    std::vector<uint8_t> table(kLibraryTableBytes);
    engine.Library.WriteBytes(std::span<uint8_t, kLibraryTableBytes>(table.data(), kLibraryTableBytes));
    VELMORA_TRY(WriteAll(file, table, path));
    table.assign(kCellMapBytes, 0);
    engine.Map.WriteBytes(std::span<uint8_t, kCellMapBytes>(table.data(), kCellMapBytes));
    VELMORA_TRY(WriteAll(file, table, path));
    return WriteAll(file, EncodeExtensionArea(extensions), path);
  });
}

Status ReadProjectFile(const std::string& path, ProjectFileContent& out) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) return Status::Error(Format("Cannot open file \"%s\". %s", path.c_str(), std::strerror(errno)));
  struct stat info {};
  if (::fstat(::fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode))
    return Refuse(path, "it is not a regular file");
  const uint64_t fileSize = uint64_t(info.st_size);

  uint8_t head[4 + kRecordSize];
  VELMORA_TRY(ReadExactly(file.get(), head, sizeof head, path, "the project record"));
  const uint32_t recordLength =
      uint32_t(head[0]) | uint32_t(head[1]) << 8 | uint32_t(head[2]) << 16 | uint32_t(head[3]) << 24;
  if (recordLength != kProjectRecordLength)
    return Refuse(path, Format("its record length is %u, not %u", recordLength, kProjectRecordLength));

  tmosaicproject project;
  project.MainImageFile.clear();
  ReadRecord(std::span<const uint8_t, kRecordSize>(head + 4, kRecordSize), project);
  VELMORA_TRY(CheckRecord(project, fileSize, path));

  TBitmap32 picture;
  VELMORA_TRY(ReadMainPicture(file.get(), size_t(project.MainImageDataSize), path, picture));
  std::vector<std::string> names;
  VELMORA_TRY(ReadPicList(file.get(), size_t(project.ImageListDataSize), path, names));
  VELMORA_TRY(ReadTable<kLibraryTableBytes>(file.get(), path, "the library table", out.Library));
  VELMORA_TRY(ReadTable<kCellMapBytes>(file.get(), path, "the cell map", out.Map));
  VELMORA_TRY(ReadExtensions(file.get(), fileSize, path, out.Extensions));

  out.Project = std::move(project);
  out.MainBitmap.TakePixels(picture);
  out.PicList = std::move(names);
  return Status::Ok();
}

Status LoadProjectFile(Engine& engine, const std::string& path, ExtensionArea* extensions) {
  auto content = std::make_unique<ProjectFileContent>();
  VELMORA_TRY(ReadProjectFile(path, *content));
  if (extensions) *extensions = std::move(content->Extensions);
  engine.Project = std::move(content->Project);
  engine.MainBitmap.TakePixels(content->MainBitmap);
  engine.PicList.Assign(std::move(content->PicList));
  engine.Library = std::move(content->Library);
  engine.Map = std::move(content->Map);
  return Status::Ok();
}

}  // namespace velmora
