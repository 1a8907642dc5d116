#include "project/ProjectSize.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "imaging/LittleEndian.h"
#include "imaging/PathText.h"
#include "imaging/PictureLimits.h"

namespace velmora {
namespace {

// The path as one shell word, so the suggested command can be pasted as it is.
std::string ShellWord(const std::string& text) {
  if (!text.empty() && text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                                              "_-./+,:@%") == std::string::npos)
    return text;
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Beside the project, with its extension replaced by .tif.
std::string PosterPathFor(const std::string& projectPath) {
  const size_t slash = projectPath.find_last_of('/');
  const size_t dot = projectPath.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? projectPath.substr(0, dot) : projectPath) + ".tif";
}

}  // namespace

Status ReadProjectRecord(const std::string& path, tmosaicproject& out) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    return Status::Error(Format("Cannot open file \"%s\". %s", EchoPath(path).c_str(), std::strerror(errno)));
  uint8_t head[4 + kRecordSize];
  struct stat info {};
  size_t got = 0;
  const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  while (regular && got < sizeof head) {
    const ssize_t n = ::read(fd, head + got, sizeof head - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += size_t(n);
  }
  ::close(fd);
  const auto refuse = [&](const char* why) {
    return Status::Error(Format("Cannot open project file \"%s\": %s.", EchoPath(path).c_str(), why));
  };
  if (!regular) return refuse("it is not a regular file");
  if (got < sizeof head) return refuse("the file ends inside the project record");
  if (LoadI32LE(head) != int32_t(kRecordSize)) return refuse("its record length is not 144");
  ReadRecord(std::span<const uint8_t, kRecordSize>(head + 4, kRecordSize), out);
  return Status::Ok();
}

bool FitsInMemory(const tmosaicproject& p) {
  return p.FinalWidth > 0 && p.FinalHeight > 0 && p.FinalWidth <= kMaxPictureSide &&
         p.FinalHeight <= kMaxPictureSide && int64_t(p.FinalWidth) * p.FinalHeight <= kMaxPicturePixels;
}

std::string TooLargeToShowMessage(const std::string& path, const tmosaicproject& p) {
  return Format(
      "The project \"%s\" makes a mosaic of %d x %d pixels, larger than the %lld pixels this program "
      "can show; render it into a picture file with: velmora-cli render %s --out %s",
      EchoPath(path).c_str(), p.FinalWidth, p.FinalHeight, (long long)kMaxPicturePixels,
      ShellWord(path).c_str(), ShellWord(PosterPathFor(path)).c_str());
}

Status CheckProjectCanBeShown(const std::string& path) {
  tmosaicproject record;
  if (!ReadProjectRecord(path, record).ok()) return Status::Ok();
  // Sizes the full read would refuse as damaged are its business.
  if (record.FinalWidth <= 0 || record.FinalHeight <= 0 || FitsInMemory(record)) return Status::Ok();
  return Status::Error(TooLargeToShowMessage(path, record));
}

}  // namespace velmora
