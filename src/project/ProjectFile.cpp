// Saving and loading project files. The save streams each part straight into
// the temporary file; the load reads part by part, each allocation bounded by
// the bytes the file really has, into fresh objects that replace the engine's
// only when the whole file has been read and checked.
#include "project/ProjectFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/FileIO.h"
#include "imaging/PathText.h"
#include "imaging/PictureLimits.h"
#include "imaging/formats/BmpCodec.h"
#include "library/CellPicList.h"
#include "library/ImageListFile.h"
#include "project/OptionRanges.h"

namespace velmora {
namespace {

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
  if (p.CellWidth < 1 || p.CellHeight < 1 || p.CellWidth > kMaxCellSide || p.CellHeight > kMaxCellSide)
    return Refuse(path, Format("the cell size %d x %d is outside 1..%d pixels a side", p.CellWidth,
                               p.CellHeight, kMaxCellSide));
  if (int64_t(p.FinalWidth) != int64_t(p.CellsAcross) * p.CellWidth ||
      int64_t(p.FinalHeight) != int64_t(p.CellsDown) * p.CellHeight)
    return Refuse(
        path, Format("the final size %d x %d does not match %d x %d cells of %d x %d pixels", p.FinalWidth,
                     p.FinalHeight, p.CellsAcross, p.CellsDown, p.CellWidth, p.CellHeight));
  // No limit on the final size here: a poster larger than any picture the
  // program holds in memory is rendered in bands into its file. Showing one
  // is what CheckProjectCanBeShown refuses.
  if (p.RenderMode != kRenderSelf && p.RenderMode != kRenderStandard)
    return Refuse(path,
                  Format("the render mode %d is neither 1 (self mosaic) nor 2 (standard)", p.RenderMode));
  if (p.StitchMode < kStitchLoom || p.StitchMode > kStitchBrick)
    return Refuse(path, Format("the stitch mode %d is outside 1..3", p.StitchMode));
  if (const std::string why = OptionOutOfRange(p); !why.empty()) return Refuse(path, why);
  return Status::Ok();
}

Status ReadMainPicture(std::FILE* file, size_t size, const std::string& path, TBitmap32& out) {
  if (size == 0) return Status::Ok();  // an empty part is an empty picture
  // The part's length is only what the record claims: the bitmap's own
  // header is looked at first, and the rest is taken in chunks as it
  // arrives, so a damaged length costs no more than the bytes really there.
  constexpr size_t kHeadBytes = 30;  // file header, info header size, size, planes, bit count
  std::vector<uint8_t> bytes(std::min(size, kHeadBytes));
  VELMORA_TRY(ReadExactly(file, bytes.data(), bytes.size(), path, "the main picture part"));
  if (bytes.size() < kHeadBytes || bytes[0] != 'B' || bytes[1] != 'M')
    return Refuse(path, "the main picture part is not a Windows bitmap");
  const auto le32 = [&](size_t at) {
    return int32_t(uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
                   uint32_t(bytes[at + 3]) << 24);
  };
  if (le32(14) >= 40) {
    const int64_t w = std::abs(int64_t(le32(18))), h = std::abs(int64_t(le32(22)));
    if (w > kMaxPictureSide || h > kMaxPictureSide || w * h > kMaxPicturePixels)
      return Refuse(path, Format("the main picture part is a bitmap of %lld x %lld pixels, over the "
                                 "picture limit of %lld pixels",
                                 (long long)w, (long long)h, (long long)kMaxPicturePixels));
  }
  constexpr size_t kChunk = size_t(1) << 20;
  try {
    while (bytes.size() < size) {
      const size_t at = bytes.size();
      const size_t n = std::min(size - at, kChunk);
      bytes.resize(at + n);
      VELMORA_TRY(ReadExactly(file, bytes.data() + at, n, path, "the main picture part"));
    }
  } catch (const std::bad_alloc&) {
    return Refuse(path, Format("out of memory for a main picture part of %zu bytes", size));
  }
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
  if (parser.Overflowed())
    return Refuse(path, Format("the picture list part holds more than %d names, more than a library can hold",
                               MaxLibraryPictures));
  out = parser.Finish();
  return Status::Ok();
}

// Streams a table in chunks of whole records, so a read holds a few hundred
// kilobytes of it rather than a second copy of all 12.8 MB.
template <typename Table>
Status ReadTable(std::FILE* file, const std::string& path, const char* part, size_t bytes, size_t entryBytes,
                 Table& table) {
  constexpr size_t kChunkEntries = 8192;
  std::vector<uint8_t> chunk(kChunkEntries * entryBytes);
  for (size_t first = 0; first * entryBytes < bytes; first += kChunkEntries) {
    const size_t n = std::min(chunk.size(), bytes - first * entryBytes);
    VELMORA_TRY(ReadExactly(file, chunk.data(), n, path, part));
    table.ReadBytes(first, std::span<const uint8_t>(chunk.data(), n));
  }
  return Status::Ok();
}

// Whatever follows the cell map; CheckRecord made sure the file is at least
// as long as its record says, so the rest is fileSize - position. Only the
// first kMaxExtensionAreaBytes of it are read, however long the rest is.
Status ReadExtensions(std::FILE* file, uint64_t fileSize, const std::string& path, ExtensionArea& out) {
  const long position = std::ftell(file);
  if (position < 0) return Refuse(path, Format("cannot tell the read position (%s)", std::strerror(errno)));
  const uint64_t rest = fileSize - uint64_t(position);
  if (rest == 0) return Status::Ok();
  // The magic first: damaged part lengths are refused without reading on.
  std::vector<uint8_t> bytes(rest < sizeof kExtensionMagic ? size_t(rest) : sizeof kExtensionMagic);
  VELMORA_TRY(ReadExactly(file, bytes.data(), bytes.size(), path, "the extension area"));
  if (bytes.size() < sizeof kExtensionMagic || std::memcmp(bytes.data(), kExtensionMagic, bytes.size()) != 0)
    return Refuse(
        path, Format("the file has %llu bytes more than its record describes; its part lengths are damaged",
                     (unsigned long long)rest));
  // Then in chunks, so a file that shrinks under us costs no more than it has.
  std::array<uint8_t, 65536> chunk;
  uint64_t left = std::min(rest, kMaxExtensionAreaBytes) - bytes.size();
  while (left > 0) {
    const size_t n = left < chunk.size() ? size_t(left) : chunk.size();
    VELMORA_TRY(ReadExactly(file, chunk.data(), n, path, "the extension area"));
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + n);
    left -= n;
  }
  return DecodeExtensionArea(bytes, path, out, rest);
}

}  // namespace

Status SaveProjectFile(const Engine& engine, const std::string& path,
                       const std::vector<ExtensionBlock>& extensions) {
  PendingFile file;
  VELMORA_TRY(PrepareProjectFile(engine, path, file, extensions));
  return file.Commit();
}

Status PrepareProjectFile(const Engine& engine, const std::string& path, PendingFile& pending,
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

  VELMORA_TRY(pending.Open(path));
  const Status written = [&](std::FILE* file) {
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
  }(pending.Stream());
  if (!written.ok()) {
    pending.Discard();
    return written;
  }
  return pending.Complete();
}

namespace {

// ReadProjectFile without its care for memory.
Status ReadProjectParts(const std::string& path, ProjectFileContent& out) {
  uint64_t fileSize = 0;
  Result<FilePtr> opened = OpenFileForReading(path, &fileSize);
  if (!opened) return opened.status();
  FilePtr file = std::move(*opened);

  uint8_t head[4 + kRecordSize];
  // Too short for a record, or another record length: not a project at all
  // (a picture, a text file), which is said in words.
  if (fileSize < sizeof head)
    return Status::Error(
        NotAProjectMessage(path, Refuse(path, "the file ends inside the project record").message()));
  VELMORA_TRY(ReadExactly(file.get(), head, sizeof head, path, "the project record"));
  const uint32_t recordLength =
      uint32_t(head[0]) | uint32_t(head[1]) << 8 | uint32_t(head[2]) << 16 | uint32_t(head[3]) << 24;
  if (recordLength != kProjectRecordLength)
    return Status::Error(NotAProjectMessage(
        path, Refuse(path, Format("its record length is %u, not %u", recordLength, kProjectRecordLength))
                  .message()));

  tmosaicproject project;
  project.MainImageFile.clear();
  ReadRecord(std::span<const uint8_t, kRecordSize>(head + 4, kRecordSize), project);
  VELMORA_TRY(CheckRecord(project, fileSize, path));

  TBitmap32 picture;
  VELMORA_TRY(ReadMainPicture(file.get(), size_t(project.MainImageDataSize), path, picture));
  std::vector<std::string> names;
  VELMORA_TRY(ReadPicList(file.get(), size_t(project.ImageListDataSize), path, names));
  VELMORA_TRY(
      ReadTable(file.get(), path, "the library table", kLibraryTableBytes, kLibraryEntryBytes, out.Library));
  VELMORA_TRY(ReadTable(file.get(), path, "the cell map", kCellMapBytes, kCellMapEntryBytes, out.Map));
  VELMORA_TRY(ReadExtensions(file.get(), fileSize, path, out.Extensions));

  out.Project = std::move(project);
  out.MainBitmap.TakePixels(picture);
  out.PicList = std::move(names);
  return Status::Ok();
}

}  // namespace

namespace {
constexpr std::string_view kNotAProject = " is not a Velmora project";
}  // namespace

std::string NotAProjectMessage(const std::string& path, const std::string& reason) {
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return EchoPath(name) + std::string(kNotAProject) + ". " + reason;
}

bool SplitNotAProject(const std::string& message, std::string& words, std::string& reason) {
  const std::string marker = std::string(kNotAProject) + ". ";
  const size_t at = message.find(marker);
  if (at == std::string::npos) return false;
  words = message.substr(0, at + kNotAProject.size());
  reason = message.substr(at + marker.size());
  return true;
}

Status ReadProjectFile(const std::string& path, ProjectFileContent& out) {
  // The reads are bounded by what the file holds; what may still fail is
  // the memory a true project needs (its tables alone are 14 MB).
  try {
    return ReadProjectParts(path, out);
  } catch (const std::bad_alloc&) {
    return Refuse(path, "there is not enough memory to read it");
  }
}

Status LoadProjectFile(Engine& engine, const std::string& path, ExtensionArea* extensions) {
  std::unique_ptr<ProjectFileContent> content;
  try {
    content = std::make_unique<ProjectFileContent>();
  } catch (const std::bad_alloc&) {
    return Refuse(path, "there is not enough memory to read it");
  }
  VELMORA_TRY(ReadProjectFile(path, *content));
  if (extensions) *extensions = std::move(content->Extensions);
  engine.Project = std::move(content->Project);
  engine.MainBitmap.TakePixels(content->MainBitmap);
  engine.PicList.Assign(std::move(content->PicList));
  engine.Library = std::move(content->Library);
  engine.Map = std::move(content->Map);
  // The blocks of the file come with its extras (ProjectExtras.h).
  engine.Blocks = BlockMap();
  // Photo shapes belong to the library of the mosaic that read them.
  engine.Aspects = AspectShapes();
  return Status::Ok();
}

}  // namespace velmora
