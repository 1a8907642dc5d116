#include "output/FreeSpace.h"

#include <sys/statvfs.h>

#include "imaging/PathText.h"

namespace velmora {
namespace {

// 1234567890 as "1,234,567,890 bytes (1.1 GiB)".
std::string BytesText(uint64_t bytes) {
  std::string digits = std::to_string(bytes);
  for (int at = int(digits.size()) - 3; at > 0; at -= 3) digits.insert(size_t(at), ",");
  return Format("%s bytes (%.1f GiB)", digits.c_str(), double(bytes) / double(uint64_t(1) << 30));
}

}  // namespace

std::optional<uint64_t> FreeBytesFor(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  struct statvfs fs {};
  if (::statvfs(folder.c_str(), &fs) != 0) return std::nullopt;
  return uint64_t(fs.f_bavail) * uint64_t(fs.f_frsize);
}

Status CheckFreeSpace(const std::string& path, uint64_t needed, SizeBound bound,
                      std::optional<uint64_t> available) {
  if (!available || needed <= *available) return Status::Ok();
  const char* how = bound == SizeBound::Exact ? "needs" : "may need up to its uncompressed size of";
  const char* note =
      bound == SizeBound::Exact
          ? ""
          : " Compression usually makes the file smaller, but by how much is not known before it is "
            "written.";
  return Status::Error(
      Format("Not enough disk space for \"%s\": the picture %s %s, and its file system has %s "
             "free.%s",
             EchoPath(path).c_str(), how, BytesText(needed).c_str(), BytesText(*available).c_str(), note));
}

}  // namespace velmora
