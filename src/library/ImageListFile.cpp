// Reading and writing image list files, and the default list beside the program.
#include "library/ImageListFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "imaging/FileIO.h"
#include "imaging/PathText.h"
#include "library/ProgramFolders.h"
#include "library/PictureFileScan.h"

namespace velmora {

namespace {

constexpr uint8_t kByteOrderMark[3] = {0xEF, 0xBB, 0xBF};

bool IsControl(uint8_t c) { return (c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F; }

}  // namespace

bool ImageListParser::SkipsMark(uint8_t c) {
  if (markSeen_ < 0) return false;
  if (c == kByteOrderMark[markSeen_]) {
    if (++markSeen_ == 3) markSeen_ = -1;
    return true;
  }
  // Not a mark after all: what looked like its start begins the first line.
  line_.append(kByteOrderMark, kByteOrderMark + markSeen_);
  markSeen_ = -1;
  return false;
}

void ImageListParser::EndText(uint64_t nulAt) {
  done_ = true;
  if (entries_.empty() || controlSeen_) {
    notText_ = true;
    notTextAt_ = controlSeen_ ? controlAt_ : nulAt;
    notTextByte_ = controlSeen_ ? controlByte_ : 0;
  }
}

bool ImageListParser::Feed(std::span<const uint8_t> bytes) {
  for (const uint8_t c : bytes) {
    if (done_) return false;
    const uint64_t at = offset_++;
    if (SkipsMark(c)) continue;
    if (full_) {
      // Only a NUL or the LF that completes the last line's CR LF may follow
      // a full list; anything else starts a line the library cannot hold.
      if (c == '\n' && afterCR_) {
        afterCR_ = false;
        continue;
      }
      if (c != 0) overflowed_ = true;
      if (c == 0) EndText(at);
      done_ = true;
      return false;
    }
    if (c == 0) {
      EndText(at);
      return false;
    }
    // The LF of a CR LF pair: the CR already ended the line.
    if (c == '\n' && afterCR_) {
      afterCR_ = false;
      continue;
    }
    afterCR_ = c == '\r';
    if (c == '\r' || c == '\n') {
      EndLine();
      continue;
    }
    if (!controlSeen_ && IsControl(c)) {
      controlSeen_ = true;
      controlAt_ = at;
      controlByte_ = c;
    }
    line_.push_back(static_cast<char>(c));
  }
  return !done_;
}

void ImageListParser::EndLine() {
  entries_.push_back(std::move(line_));
  line_.clear();
  if (entries_.size() >= static_cast<size_t>(MaxLibraryPictures)) full_ = true;
}

std::vector<std::string> ImageListParser::Finish() {
  // A text of only the start of a mark: those bytes are its line.
  if (markSeen_ > 0) line_.append(kByteOrderMark, kByteOrderMark + markSeen_);
  markSeen_ = -1;
  // Only a non-empty tail is a line: a terminator at the very end (or just
  // before a NUL) adds nothing.
  if (!full_ && !line_.empty()) EndLine();
  done_ = true;
  line_.clear();
  return std::move(entries_);
}

std::vector<std::string> ParseImageListText(std::span<const uint8_t> text) {
  ImageListParser parser;
  parser.Feed(text);
  return parser.Finish();
}

Status TooManyPictures(const char* source, const std::string& path, size_t count) {
  const std::string held =
      count > 0 ? std::to_string(count) : "more than " + std::to_string(MaxLibraryPictures);
  return Status::Error(Format("The %s %s holds %s pictures; at most %d can be used", source,
                              EchoPath(path).c_str(), held.c_str(), MaxLibraryPictures));
}

Status CheckStorableList(const CellPicList& list) {
  for (int k = 0; k < list.Count(); ++k) {
    if (list[k].find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
      return Status::Error(
          Format("Library picture %d (\"%s\") holds a line break or NUL character and cannot "
                 "be stored in an image list.",
                 k + 1, EchoPath(list[k]).c_str()));
  }
  return Status::Ok();
}

size_t ImageListTextSize(const CellPicList& list) {
  size_t size = 0;
  for (const std::string& path : list.Paths()) size += path.size() + 2;
  return size;
}

std::vector<uint8_t> ImageListText(const CellPicList& list) {
  std::vector<uint8_t> text;
  text.reserve(ImageListTextSize(list));
  for (const std::string& path : list.Paths()) {
    text.insert(text.end(), path.begin(), path.end());
    text.push_back('\r');
    text.push_back('\n');
  }
  return text;
}

Status ReadImageListFile(const std::string& path, CellPicList& list) {
  Result<FilePtr> file = OpenFileForReading(path);
  if (!file) return file.status();

  ImageListParser parser;
  std::vector<uint8_t> chunk(65536);
  while (true) {
    size_t n = 0;
    if (!ReadUpTo(file->get(), chunk.data(), chunk.size(), n))
      return Status::Error(
          Format("Cannot read file \"%s\". %s", EchoPath(path).c_str(), std::strerror(errno)));
    if (n > 0 && !parser.Feed({chunk.data(), n})) break;
    if (n < chunk.size()) break;
  }
  if (parser.NotText())
    return Status::Error(
        Format("\"%s\" is not an image list: it holds binary data (byte 0x%02X at offset %llu).",
               EchoPath(path).c_str(), unsigned(parser.NotTextByte()),
               static_cast<unsigned long long>(parser.NotTextAt())));
  if (parser.Overflowed()) return TooManyPictures("image list file", path, 0);
  list.Assign(parser.Finish());
  list.SetSource(path);
  return Status::Ok();
}

Status WriteImageListFile(const std::string& path, const CellPicList& list) {
  VELMORA_TRY(CheckStorableList(list));
  return WriteFileAtomically(path, [&](std::FILE* file) {
    static constexpr uint8_t kLineEnd[2] = {'\r', '\n'};
    for (const std::string& entry : list.Paths()) {
      VELMORA_TRY(WriteAll(file, {reinterpret_cast<const uint8_t*>(entry.data()), entry.size()}, path));
      VELMORA_TRY(WriteAll(file, kLineEnd, path));
    }
    return Status::Ok();
  });
}

std::string DefaultImageListPath(const std::string& programFolder) {
  return LocateProgramFolders(programFolder).settings + "/" + kDefaultImageListName;
}

std::string ImagesFolderPath(const std::string& programFolder) {
  return LocateProgramFolders(programFolder).data + "/" + kImagesFolderName;
}

Status LoadDefaultImageList(CellPicList& list, const std::string& programFolder) {
  const std::string path = SettingsFileToRead(LocateProgramFolders(programFolder), kDefaultImageListName);
  struct stat info {};
  const bool missing = ::stat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
  if (!missing) return ReadImageListFile(path, list);
  return RestoreDefaultImageList(list, programFolder);
}

Status RestoreDefaultImageList(CellPicList& list, const std::string& programFolder) {
  list.Assign(ListFolderPicturesSorted(ImagesFolderPath(programFolder)));
  return SetDefaultImageList(list, programFolder);
}

Status SetDefaultImageList(const CellPicList& list, const std::string& programFolder) {
  VELMORA_TRY(MakeSettingsFolder(LocateProgramFolders(programFolder)));
  return WriteImageListFile(DefaultImageListPath(programFolder), list);
}

}  // namespace velmora
