// The project file (.vm6): the whole working state of an open mosaic, so it can
// be reopened without preparing the library or assigning cells again. Layout:
// RecordLength (uint32, 144), the 144-byte project record, the main picture
// as a 32-bit Windows bitmap (MainImageDataSize bytes), the library list as
// image-list text (ImageListDataSize bytes), LibraryTable whole, CellMap whole.
// No magic number, version or checksum in these parts; blocks of our own may
// follow them (ProjectExtension.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/ProjectRecord.h"
#include "engine/Tables.h"
#include "imaging/Bitmap32.h"
#include "imaging/FileIO.h"
#include "imaging/Status.h"
#include "project/ProjectExtension.h"

namespace velmora {

inline constexpr uint32_t kProjectRecordLength = 144;
// RecordLength, the record and the two whole tables: every project file has
// at least these 14,635,156 bytes besides its picture and list.
inline constexpr uint64_t kProjectFixedBytes = 4 + kRecordSize + kLibraryTableBytes + kCellMapBytes;

// The largest cell side a project may have, as the wizard and the flags allow:
// it bounds the width of a mosaic row, and so of a band, to 800 x 640 pixels.
inline constexpr int kMaxCellSide = 640;

// 14,635,156 + M + L.
constexpr uint64_t ProjectFileSize(uint64_t mainImageBytes, uint64_t listBytes) {
  return kProjectFixedBytes + mainImageBytes + listBytes;
}

// Writes the open project to exactly `path` (no extension is added), through a
// temporary file, so a failed save keeps an existing file. The record is
// written with the lengths of the two parts as they are written; the engine's
// own Project is not changed. An empty main picture is stored as an empty
// part (MainImageDataSize 0), which reads back as an empty picture.
// `extensions`, when there are any, follow the cell map (ProjectExtension.h).
Status SaveProjectFile(const Engine& engine, const std::string& path,
                       const std::vector<ExtensionBlock>& extensions = {});
// The first half of SaveProjectFile: `file` is opened on `path` and the
// project written into it and completed, but not yet put in place, so that
// it can be committed together with the picture it belongs to.
Status PrepareProjectFile(const Engine& engine, const std::string& path, PendingFile& file,
                          const std::vector<ExtensionBlock>& extensions = {});

// Everything a project file holds, read into fresh objects. MainImageFile is
// empty: the file stores the picture, not its name, and an empty name keeps
// the wizard's reloads from the picture file inert.
struct ProjectFileContent {
  tmosaicproject Project;
  TBitmap32 MainBitmap;
  std::vector<std::string> PicList;
  LibraryTable Library;
  CellMap Map;
  ExtensionArea Extensions;
};

// Reads and checks a whole project file into `out`, which is of use only when
// the read succeeds (a failed read may leave it partly filled). Refused with
// a message: a file too short for the layout its record gives, a RecordLength
// other than 144, a negative part length, cell counts outside 1..800, cell
// sizes outside 1..640, final sizes that are not the cell counts times the
// cell sizes, a render or stitch mode the program does not know, an option
// field outside its range (OptionRanges), a picture part that is not a
// Windows bitmap, a list part of more than 65535 lines, and bytes after the
// CellMap that are not an extension area (a file must be exactly as long as
// its record says, or carry extension blocks after that). The final size is
// not limited: a mosaic larger than memory is rendered in bands into a file
// (see ProjectSize.h for the in-memory limit).
//
// A file whose first bytes are no project record at all (too short to hold
// one, or another record length: a picture, a text file, an empty file) is
// refused in words instead, NotAProjectMessage; a file with a project's
// record that is damaged further on keeps the message saying what is wrong.
Status ReadProjectFile(const std::string& path, ProjectFileContent& out);

// "NAME is not a Velmora project. " (NAME the file's name without its
// folder) followed by `reason`, the technical cause: the command line says
// it whole, the desktop keeps the reason for its "Details".
std::string NotAProjectMessage(const std::string& path, const std::string& reason);
// Splits a message made by NotAProjectMessage into its words and its reason;
// false for any other message.
bool SplitNotAProject(const std::string& message, std::string& words, std::string& reason);

// ReadProjectFile, then the content replaces Project, MainBitmap, PicList,
// Library and Map of the engine; on any failure the engine is untouched.
// OptionSet and everything else stay as they are. The mosaic still has to be
// rebuilt with Engine::ReopenProject (OpenProject does both). The file's
// extension blocks (and warnings about damaged ones) go to `extensions`.
Status LoadProjectFile(Engine& engine, const std::string& path, ExtensionArea* extensions = nullptr);

// LoadProjectFile followed by Engine::ReopenProject (grid and render only),
// the mosaic held whole in memory: a project too large for that is refused
// first (CheckProjectCanBeShown), leaving the engine untouched.
Status OpenProject(Engine& engine, const std::string& path, ExtensionArea* extensions = nullptr);

}  // namespace velmora
