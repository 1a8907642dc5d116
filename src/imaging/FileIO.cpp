#include "imaging/FileIO.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace velmora {
namespace {

std::string ErrnoText() { return std::strerror(errno); }

}  // namespace

Status WriteAll(std::FILE* file, std::span<const uint8_t> bytes, const std::string& path) {
  if (bytes.empty()) return Status::Ok();
  if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
    return Status::Error(Format("Cannot write file \"%s\". %s", path.c_str(), ErrnoText().c_str()));
  return Status::Ok();
}

Status WriteFileAtomically(const std::string& path, const std::function<Status(std::FILE*)>& write) {
  // The temporary name carries the process id so two programs saving the same
  // file do not write into each other's temporary file.
  const std::string temp = path + ".tmp-" + std::to_string(::getpid());
  std::FILE* file = std::fopen(temp.c_str(), "wb");
  if (!file) return Status::Error(Format("Cannot create file \"%s\". %s", path.c_str(), ErrnoText().c_str()));

  Status status = write(file);
  if (status.ok() && std::fflush(file) != 0)
    status = Status::Error(Format("Cannot write file \"%s\". %s", path.c_str(), ErrnoText().c_str()));
  if (status.ok() && ::fsync(::fileno(file)) != 0 && errno != EINVAL)
    status = Status::Error(Format("Cannot write file \"%s\". %s", path.c_str(), ErrnoText().c_str()));
  if (std::fclose(file) != 0 && status.ok())
    status = Status::Error(Format("Cannot write file \"%s\". %s", path.c_str(), ErrnoText().c_str()));
  if (status.ok() && std::rename(temp.c_str(), path.c_str()) != 0)
    status = Status::Error(Format("Cannot create file \"%s\". %s", path.c_str(), ErrnoText().c_str()));
  if (!status.ok()) std::remove(temp.c_str());
  return status;
}

Status WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
  return WriteFileAtomically(path, [&](std::FILE* file) { return WriteAll(file, bytes, path); });
}

}  // namespace velmora
