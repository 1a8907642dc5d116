#include "imaging/FileIO.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <utility>

#include "imaging/Interrupt.h"
#include "imaging/PathText.h"

namespace velmora {
namespace {

std::string ErrnoText() { return std::strerror(errno); }

Status OpenError(const std::string& path, const std::string& reason) {
  return Status::Error(Format("Cannot open file \"%s\". %s", EchoPath(path).c_str(), reason.c_str()));
}

// Why a file that is not a regular file cannot be read, in words.
std::string NotRegularReason(mode_t mode) {
  if (S_ISDIR(mode)) return std::strerror(EISDIR);
  if (S_ISFIFO(mode)) return "Not a regular file (a named pipe)";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "Not a regular file (a device)";
  if (S_ISSOCK(mode)) return "Not a regular file (a socket)";
  return "Not a regular file";
}

// Reads are done in pieces of this size, so that no single read or
// allocation follows a length the file merely claims.
constexpr size_t kChunkBytes = size_t(1) << 20;
// Files up to this size are read into the heap in one go rather than mapped.
constexpr uint64_t kSmallFileBytes = uint64_t(1) << 20;

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// ---- reading ----

Result<FilePtr> OpenFileForReading(const std::string& path, uint64_t* size) {
  // Looked at before it is opened, so that a device is never opened at all;
  // the check is repeated on the open file, as the name may have been
  // replaced in between.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return OpenError(path, ErrnoText());
  if (!S_ISREG(st.st_mode)) return OpenError(path, NotRegularReason(st.st_mode));
  // O_NONBLOCK: a named pipe swapped in after the stat cannot make open() wait.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return OpenError(path, ErrnoText());
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const std::string reason = S_ISREG(st.st_mode) ? ErrnoText() : NotRegularReason(st.st_mode);
    ::close(fd);
    return OpenError(path, reason);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) {
    const std::string reason = ErrnoText();
    ::close(fd);
    return OpenError(path, reason);
  }
  if (size != nullptr) *size = static_cast<uint64_t>(st.st_size);
  return FilePtr(file);
}

bool ReadUpTo(std::FILE* file, void* data, size_t size, size_t& got) {
  got = 0;
  auto* out = static_cast<uint8_t*>(data);
  while (got < size) {
    const size_t n = std::fread(out + got, 1, std::min(size - got, kChunkBytes), file);
    got += n;
    if (n == 0) {
      if (std::ferror(file) == 0) return true;  // the end of the file
      if (errno == EINTR) {
        std::clearerr(file);
        continue;
      }
      return false;
    }
  }
  return true;
}

FileBytes::FileBytes(FileBytes&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)),
      onHeap_(std::exchange(other.onHeap_, false)) {}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
  if (this != &other) {
    if (mapped_ != 0) ::munmap(data_, mapped_);
    if (onHeap_) delete[] data_;
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, 0);
    onHeap_ = std::exchange(other.onHeap_, false);
  }
  return *this;
}

FileBytes::~FileBytes() {
  if (mapped_ != 0) ::munmap(data_, mapped_);
  if (onHeap_) delete[] data_;
}

Result<FileBytes> ReadFileBytes(const std::string& path, uint64_t maxBytes) {
  uint64_t length = 0;
  Result<FilePtr> file = OpenFileForReading(path, &length);
  if (!file) return file.status();
  if (length > maxBytes)
    return OpenError(
        path, Format("The file of %llu bytes is larger than the limit of %llu bytes",
                     static_cast<unsigned long long>(length), static_cast<unsigned long long>(maxBytes)));
  FileBytes bytes;
  if (length == 0) return bytes;

  const int fd = ::fileno(file->get());
  // A small file, as library photos mostly are, in one read into the heap:
  // mapping and unmapping costs more than its bytes, and unmapping makes
  // every other thread of the program flush its address cache.
  if (length <= kSmallFileBytes) {
    bytes.data_ = new (std::nothrow) uint8_t[static_cast<size_t>(length)];
    if (bytes.data_ == nullptr) return OpenError(path, "Out of memory");
    bytes.onHeap_ = true;
    size_t got = 0;
    while (got < length) {
      const ssize_t n =
          ::pread(fd, bytes.data_ + got, static_cast<size_t>(length) - got, static_cast<off_t>(got));
      if (n < 0) {
        if (errno == EINTR) continue;
        return Status::Error(
            Format("Cannot read file \"%s\". %s", EchoPath(path).c_str(), ErrnoText().c_str()));
      }
      if (n == 0) break;  // shrank since it was opened
      got += static_cast<size_t>(n);
    }
    bytes.size_ = got;
    return bytes;
  }

  // Address space for the whole length, but pages only for what is written
  // into it: the kernel backs untouched pages of an anonymous mapping with
  // its shared zero page, which is exactly what a hole reads as.
  void* map = ::mmap(nullptr, static_cast<size_t>(length), PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (map == MAP_FAILED) return OpenError(path, "Out of memory");
  bytes.data_ = static_cast<uint8_t*>(map);
  bytes.mapped_ = static_cast<size_t>(length);

  const auto end = static_cast<off_t>(length);
  off_t have = 0;  // the bytes known to be there
  off_t at = 0;
  while (at < end) {
    // The next stretch of stored data; where the file system cannot tell,
    // all of the rest is taken as data.
    off_t data = ::lseek(fd, at, SEEK_DATA);
    if (data < 0) {
      if (errno == ENXIO) {  // only a hole is left
        have = end;
        break;
      }
      data = at;
    }
    if (data >= end) {
      have = end;
      break;
    }
    off_t hole = ::lseek(fd, data, SEEK_HOLE);
    if (hole < 0 || hole > end) hole = end;
    have = data;
    while (have < hole) {
      const size_t want = static_cast<size_t>(std::min<off_t>(hole - have, off_t(kChunkBytes)));
      const ssize_t n = ::pread(fd, bytes.data_ + have, want, have);
      if (n < 0) {
        if (errno == EINTR) continue;
        return Status::Error(
            Format("Cannot read file \"%s\". %s", EchoPath(path).c_str(), ErrnoText().c_str()));
      }
      if (n == 0) break;  // shrank since it was opened
      have += n;
    }
    if (have < hole) break;
    at = hole;
  }
  bytes.size_ = static_cast<size_t>(have);
  ::mprotect(map, bytes.mapped_, PROT_READ);
  return bytes;
}

// ---- saving ----

std::string FollowLinks(const std::string& path) {
  std::string current = path;
  // As many hops as the kernel allows before it calls a loop a loop.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n <= 0 || size_t(n) >= target.size()) return current;
    target.resize(size_t(n));
    current = target[0] == '/' ? target : FolderOf(current) + "/" + target;
  }
  return current;
}

void RemoveStaleTemporaries(const std::string& target) {
  const std::string folder = FolderOf(target);
  const std::string prefix = BaseName(target) + ".tmp-";
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    const long pid = std::stol(digits);
    if (pid <= 0 || pid == ::getpid()) continue;
    // A process of that number that still runs (even one we may not signal)
    // may be writing it; only a number nobody has is known to be stale.
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    const std::string stale = folder + "/" + name;
    struct stat st {};
    if (::lstat(stale.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(stale.c_str());
  }
  ::closedir(dir);
}

Status CheckReplaceable(const std::string& path) {
  const std::string target = FollowLinks(path);
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) return Status::Ok();  // a new file
  if (!S_ISREG(st.st_mode))
    return Status::Error(Format("Cannot create file \"%s\". %s", EchoPath(path).c_str(),
                                S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "Not a regular file"));
  // The rename would replace a file whatever its mode: the mode is asked
  // about here, as the user would expect from writing into it. No write
  // permission bit at all counts even for a user whom the system would let
  // write anyway.
  if ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)
    return Status::Error(Format("\"%s\" is read-only; it was not replaced.", EchoPath(path).c_str()));
  return Status::Ok();
}

PendingFile::~PendingFile() { Discard(); }

Status PendingFile::Open(const std::string& path) {
  Discard();
  path_ = path;
  target_ = FollowLinks(path);
  completed_ = committed_ = false;

  VELMORA_TRY(CheckReplaceable(path));
  struct stat st {};
  const bool replaces = ::stat(target_.c_str(), &st) == 0;

  RemoveStaleTemporaries(target_);
  // The temporary name carries the process id so two programs saving the same
  // file do not write into each other's temporary file.
  temp_ = target_ + ".tmp-" + std::to_string(::getpid());
  const int fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) {
    const std::string reason = ErrnoText();
    temp_.clear();
    return Status::Error(Format("Cannot create file \"%s\". %s", EchoPath(path).c_str(), reason.c_str()));
  }
  // From here a signal that ends the program removes the file with it.
  tempSlot_ = RegisterTemporaryFile(temp_);
  if (replaces) ::fchmod(fd, st.st_mode & 0777);  // the replaced file keeps its mode
  stream_ = ::fdopen(fd, "wb");
  if (stream_ == nullptr) {
    const std::string reason = ErrnoText();
    ::close(fd);
    Discard();
    return Status::Error(Format("Cannot create file \"%s\". %s", EchoPath(path).c_str(), reason.c_str()));
  }
  return Status::Ok();
}

Status PendingFile::Complete() {
  if (completed_) return Status::Ok();
  if (stream_ == nullptr) return Status::Error(Format("Cannot write file \"%s\".", EchoPath(path_).c_str()));
  Status status;
  // A file finished after the user asked the program to stop is not put in
  // place (the signal may have removed it already).
  if (InterruptRequested())
    status =
        Status::Error(Format("\"%s\" was not saved: the program was interrupted.", EchoPath(path_).c_str()));
  if (status.ok() && (std::fflush(stream_) != 0 || std::ferror(stream_) != 0))
    status =
        Status::Error(Format("Cannot write file \"%s\". %s", EchoPath(path_).c_str(), ErrnoText().c_str()));
  if (status.ok() && ::fsync(::fileno(stream_)) != 0 && errno != EINVAL)
    status =
        Status::Error(Format("Cannot write file \"%s\". %s", EchoPath(path_).c_str(), ErrnoText().c_str()));
  if (std::fclose(stream_) != 0 && status.ok())
    status =
        Status::Error(Format("Cannot write file \"%s\". %s", EchoPath(path_).c_str(), ErrnoText().c_str()));
  stream_ = nullptr;
  if (!status.ok()) {
    Discard();
    return status;
  }
  completed_ = true;
  return status;
}

Status PendingFile::Commit() {
  VELMORA_TRY(Complete());
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
    const std::string reason = ErrnoText();
    Discard();
    return Status::Error(Format("Cannot create file \"%s\". %s", EchoPath(path_).c_str(), reason.c_str()));
  }
  committed_ = true;
  temp_.clear();
  UnregisterTemporaryFile(std::exchange(tempSlot_, -1));
  return Status::Ok();
}

void PendingFile::Discard() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
  if (tempSlot_ >= 0) UnregisterTemporaryFile(std::exchange(tempSlot_, -1));
  temp_.clear();
  completed_ = false;
}

Status CommitAll(std::span<PendingFile* const> files) {
  for (PendingFile* file : files)
    if (!file->Completed())
      return Status::Error(Format("Cannot write file \"%s\".", EchoPath(file->Path()).c_str()));
  for (PendingFile* file : files) {
    if (Status s = file->Commit(); !s.ok()) {
      for (PendingFile* rest : files) rest->Discard();
      return s;
    }
  }
  return Status::Ok();
}

Status WriteAll(std::FILE* file, std::span<const uint8_t> bytes, const std::string& path) {
  if (bytes.empty()) return Status::Ok();
  if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
    return Status::Error(Format("Cannot write file \"%s\". %s", EchoPath(path).c_str(), ErrnoText().c_str()));
  return Status::Ok();
}

Status WriteFileAtomically(const std::string& path, const std::function<Status(std::FILE*)>& write) {
  PendingFile file;
  VELMORA_TRY(file.Open(path));
  VELMORA_TRY(write(file.Stream()));
  return file.Commit();
}

Status WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
  return WriteFileAtomically(path, [&](std::FILE* file) { return WriteAll(file, bytes, path); });
}

}  // namespace velmora
