// The image list file (.IL2) and the default library beside the program. A
// list file is the paths of CellPicList as 8-bit text, one per line, each
// ended by CR LF; the same text is the list part of a project file. Paths are
// byte strings and are kept exactly as they are, in both directions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/Status.h"
#include "library/CellPicList.h"

namespace velmora {

inline constexpr const char* kDefaultImageListName = "DefaultImgList.IL2";
inline constexpr const char* kImagesFolderName = "images";

// Splits list text into entries, a chunk at a time, so a file never has to be
// held whole. A UTF-8 byte-order mark at the very start is no part of the
// first line. A line ends at CR, LF or the pair CR LF (LF followed by CR is
// two breaks); a NUL byte ends the text; the last line needs no terminator
// and a terminator at the very end adds no empty entry. At most
// MaxLibraryPictures entries are taken, all a library can hold and index; a
// line after them marks the text as too long (Overflowed), and the reader
// that owns the text refuses it rather than quietly dropping pictures.
class ImageListParser {
public:
  // Returns false once nothing more will be taken (NUL met, or a line past
  // the limit).
  bool Feed(std::span<const uint8_t> bytes);
  // Takes the unterminated last line and hands over the entries.
  std::vector<std::string> Finish();
  bool Done() const { return done_; }
  bool Overflowed() const { return overflowed_; }
  // The text is binary, not a list: its NUL came inside the first line (a
  // picture, a UTF-16 text, a file of zeros), or after control characters
  // other than tab. Paths may hold such characters, so without a NUL they
  // are taken as they are. NotTextAt is the offset of the first byte that
  // gave it away, NotTextByte that byte.
  bool NotText() const { return notText_; }
  uint64_t NotTextAt() const { return notTextAt_; }
  uint8_t NotTextByte() const { return notTextByte_; }

private:
  bool SkipsMark(uint8_t c);
  void EndText(uint64_t nulAt);
  void EndLine();
  std::vector<std::string> entries_;
  std::string line_;
  uint64_t offset_ = 0;  // of the next byte fed
  int markSeen_ = 0;     // bytes of a byte-order mark met at the start; -1 once past it
  bool afterCR_ = false;
  bool full_ = false;
  bool done_ = false;
  bool overflowed_ = false;
  bool controlSeen_ = false;
  uint64_t controlAt_ = 0;
  uint8_t controlByte_ = 0;
  bool notText_ = false;
  uint64_t notTextAt_ = 0;
  uint8_t notTextByte_ = 0;
};

// The first MaxLibraryPictures entries of the text (see ImageListParser).
std::vector<std::string> ParseImageListText(std::span<const uint8_t> text);

// The refusal of a library source (an image list file, a folder) that holds
// more pictures than a library can: `count` pictures, or more than
// MaxLibraryPictures when `count` is 0 (a list is not read past the limit).
Status TooManyPictures(const char* source, const std::string& path, size_t count);

// The list as stored: every entry followed by CR LF; an empty list is no
// bytes at all. An entry holding CR, LF or NUL cannot be stored (it would read
// back as other entries and move every later library index), so such a list is
// refused with a message naming the entry.
Status CheckStorableList(const CellPicList& list);
size_t ImageListTextSize(const CellPicList& list);
std::vector<uint8_t> ImageListText(const CellPicList& list);

// Replaces `list` with the file's lines. The list is untouched when the file
// cannot be read, is binary (ImageListParser::NotText) or holds more than
// MaxLibraryPictures lines.
Status ReadImageListFile(const std::string& path, CellPicList& list);
// Writes the list through a temporary file, so a failed write keeps the old file.
Status WriteImageListFile(const std::string& path, const CellPicList& list);

// ProgramFolder + "/DefaultImgList.IL2" and ProgramFolder + "/images" for a
// copy in its build folder; for an installed one the list is the user's
// (settings folder) and the images are the shipped ones (data folder), see
// library/ProgramFolders.h. Reading prefers the user's list when present.
std::string DefaultImageListPath(const std::string& programFolder);
std::string ImagesFolderPath(const std::string& programFolder);

// Start-up: reads the default list when it exists; otherwise rebuilds it from
// the images folder (RestoreDefaultImageList), which also writes the file.
Status LoadDefaultImageList(CellPicList& list, const std::string& programFolder);

// The images folder's own *.bmp and *.jpg files (case ignored, hidden files
// and subfolders left out), sorted by name without regard to case, become the
// list, which then replaces the default list file. No images folder gives an
// empty list and an empty file. The list is rebuilt even when the write fails.
Status RestoreDefaultImageList(CellPicList& list, const std::string& programFolder);

// Writes the list as the default list; asking first is the caller's business.
Status SetDefaultImageList(const CellPicList& list, const std::string& programFolder);

}  // namespace velmora
