#include "library/CacheFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <utility>

#include "imaging/Interrupt.h"

namespace velmora {

CacheDir::~CacheDir() { Close(); }

CacheDir::CacheDir(CacheDir&& other) noexcept
    : path_(std::move(other.path_)),
      fd_(std::exchange(other.fd_, -1)),
      state_(std::exchange(other.state_, State::Closed)),
      reason_(std::move(other.reason_)) {}

CacheDir& CacheDir::operator=(CacheDir&& other) noexcept {
  if (this != &other) {
    Close();
    path_ = std::move(other.path_);
    fd_ = std::exchange(other.fd_, -1);
    state_ = std::exchange(other.state_, State::Closed);
    reason_ = std::move(other.reason_);
  }
  return *this;
}

void CacheDir::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  state_ = State::Closed;
}

CacheDir::State CacheDir::Open(const std::string& path, bool create) {
  Close();
  path_ = path;
  reason_.clear();
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const size_t slash = trimmed.rfind('/');
  const std::string parent = slash == std::string::npos ? std::string(".")
                             : slash == 0               ? std::string("/")
                                                        : trimmed.substr(0, slash);
  const std::string name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") {
    reason_ = "not a folder of its own";
    return state_ = State::Failed;
  }
  // The folders above are the user's choice (XDG_CACHE_HOME may well lead
  // through a link to another disk); only the cache's own folder is held to
  // the rules.
  if (create) {
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
  }
  const int parentFd = ::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (parentFd < 0) {
    reason_ = std::strerror(errno);
    return state_ = errno == ENOENT && !create ? State::Missing : State::Failed;
  }
  const State s = Finish(create, name, parentFd);
  ::close(parentFd);
  return s;
}

CacheDir::State CacheDir::OpenChild(const CacheDir& parent, const std::string& name, bool create) {
  Close();
  path_ = parent.PathOf(name);
  reason_.clear();
  if (!parent.IsOpen()) {
    reason_ = "its folder is not open";
    return state_ = State::Failed;
  }
  return Finish(create, name, parent.Fd());
}

CacheDir::State CacheDir::Finish(bool create, const std::string& name, int parentFd) {
  if (create && ::mkdirat(parentFd, name.c_str(), 0700) != 0 && errno != EEXIST) {
    reason_ = std::strerror(errno);
    return state_ = State::Failed;
  }
  const int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    struct stat st {};
    if (::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
      reason_ = "it is a symbolic link";
      return state_ = State::Unsafe;
    }
    reason_ = std::strerror(error);
    return state_ = error == ENOENT ? State::Missing : State::Failed;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    reason_ = std::strerror(errno);
    ::close(fd);
    return state_ = State::Failed;
  }
  // Whoever else may write in the folder may plant links and files under the
  // caches' names.
  if (st.st_uid != ::geteuid())
    reason_ = "it belongs to another user";
  else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    reason_ = Format("other users may write in it, mode %03o", unsigned(st.st_mode & 0777));
  if (!reason_.empty()) {
    ::close(fd);
    return state_ = State::Unsafe;
  }
  fd_ = fd;
  return state_ = State::Open;
}

std::string CacheDir::UnsafeWarning() const {
  return Format("The cache folder %s is not used (%s); the program runs without it.", path_.c_str(),
                reason_.c_str());
}

bool FirstWarningAbout(const std::string& folder) {
  // The one piece of state the caches share across a run: which unsafe
  // folders were told already.
  static std::mutex mutex;
  static std::set<std::string> told;
  std::lock_guard<std::mutex> lock(mutex);
  return told.insert(folder).second;
}

int OpenFileIn(const CacheDir& dir, const std::string& name, int flags) {
  if (!dir.IsOpen()) {
    errno = EBADF;
    return -1;
  }
  // Without blocking: a named pipe under a cache's name is refused below,
  // not waited on.
  const int fd = ::openat(dir.Fd(), name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

std::string OpenFailure(int error) {
  if (error == ELOOP) return "it is a symbolic link";
  if (error == EINVAL) return "not a regular file";
  return std::strerror(error);
}

namespace {

// The process number of a temporary file's name, or 0.
long TemporaryOwner(std::string_view name) {
  const size_t at = name.rfind(".tmp-");
  if (at == std::string_view::npos) return 0;
  const std::string_view digits = name.substr(at + 5);
  if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos)
    return 0;
  long pid = 0;
  for (char c : digits) pid = pid * 10 + (c - '0');
  return pid;
}

}  // namespace

bool IsTemporaryName(std::string_view name) { return TemporaryOwner(name) > 0; }

bool TemporaryOfDeadProcess(std::string_view name) {
  const long pid = TemporaryOwner(name);
  if (pid <= 0 || pid == ::getpid()) return false;
  return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

void RemoveDeadTemporaries(const CacheDir& dir, const std::string& name) {
  const std::string prefix = name + ".tmp-";
  for (const CacheEntry& e : ListEntries(dir))
    if (e.name.compare(0, prefix.size(), prefix) == 0 && !S_ISDIR(e.st.st_mode) &&
        TemporaryOfDeadProcess(e.name))
      ::unlinkat(dir.Fd(), e.name.c_str(), 0);
}

namespace {

// A listing of its own (not the folder's descriptor, whose position other
// threads' listings would move).
template <class Visit>
void ForEachEntry(int folderFd, Visit&& visit) {
  const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return;
  }
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    visit(entry->d_name);
  }
  ::closedir(dir);
}

// Folders of an earlier layout are a level or two deep; a deeper tree is
// nothing the program made.
constexpr int kMaxDepth = 8;

bool RemoveAt(int folderFd, const char* name, int depth) {
  struct stat st {};
  if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (S_ISDIR(st.st_mode)) {
    if (depth >= kMaxDepth) {
      errno = ELOOP;
      return false;
    }
    const int fd = ::openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = true;
    int error = 0;
    ForEachEntry(fd, [&](const char* child) {
      if (!RemoveAt(fd, child, depth + 1) && ok) {
        ok = false;
        error = errno;
      }
    });
    ::close(fd);
    if (!ok) {
      errno = error;
      return false;
    }
    return ::unlinkat(folderFd, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
  }
  return ::unlinkat(folderFd, name, 0) == 0 || errno == ENOENT;
}

}  // namespace

std::vector<CacheEntry> ListEntries(const CacheDir& dir) {
  std::vector<CacheEntry> entries;
  if (!dir.IsOpen()) return entries;
  ForEachEntry(dir.Fd(), [&](const char* name) {
    CacheEntry e;
    e.name = name;
    if (::fstatat(dir.Fd(), name, &e.st, AT_SYMLINK_NOFOLLOW) == 0) entries.push_back(std::move(e));
  });
  return entries;
}

Status RemoveTree(const CacheDir& dir, const std::string& name) {
  if (!dir.IsOpen()) return Status::Ok();
  if (!RemoveAt(dir.Fd(), name.c_str(), 0))
    return Status::Error(Format("Cannot remove \"%s\". %s", dir.PathOf(name).c_str(), std::strerror(errno)));
  return Status::Ok();
}

CacheTempFile::~CacheTempFile() { Discard(); }

Status CacheTempFile::Create(const CacheDir& dir, const std::string& name) {
  Discard();
  dirFd_ = dir.Fd();
  name_ = name;
  path_ = dir.PathOf(name);
  tempName_ = name + ".tmp-" + std::to_string(::getpid());
  tempPath_ = dir.PathOf(tempName_);
  const int flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  fd_ = dir.IsOpen() ? ::openat(dirFd_, tempName_.c_str(), flags, 0600) : -1;
  // What has this program's name already (a link, a file of a program that
  // had the same number before) is nobody's work in progress but ours.
  if (fd_ < 0 && errno == EEXIST && ::unlinkat(dirFd_, tempName_.c_str(), 0) == 0)
    fd_ = ::openat(dirFd_, tempName_.c_str(), flags, 0600);
  if (fd_ < 0) {
    const int error = dir.IsOpen() ? errno : EBADF;
    return Status::Error(Format("Cannot create \"%s\". %s", tempPath_.c_str(), std::strerror(error)));
  }
  created_ = true;
  // A signal that ends the program removes the file with it.
  slot_ = RegisterTemporaryFile(tempPath_);
  return Status::Ok();
}

Status CacheTempFile::Write(const void* data, size_t bytes) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (bytes > 0) {
    const ssize_t put = ::write(fd_, p, bytes);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0)
      return Status::Error(
          Format("Cannot write \"%s\". %s", path_.c_str(), std::strerror(put < 0 ? errno : ENOSPC)));
    p += put;
    bytes -= static_cast<size_t>(put);
  }
  return Status::Ok();
}

Status CacheTempFile::Commit(bool sync) {
  if (fd_ < 0) return Status::Error(Format("Cannot write \"%s\".", path_.c_str()));
  int error = 0;
  if (sync && ::fsync(fd_) != 0 && errno != EINVAL) error = errno;
  if (::close(std::exchange(fd_, -1)) != 0 && error == 0) error = errno;
  // renameat replaces whatever has the name, a link included, without
  // looking where it points.
  if (error == 0 && ::renameat(dirFd_, tempName_.c_str(), dirFd_, name_.c_str()) != 0) error = errno;
  commitError_ = error;
  if (error != 0) {
    Discard();
    return Status::Error(Format("Cannot write \"%s\". %s", path_.c_str(), std::strerror(error)));
  }
  created_ = false;
  UnregisterTemporaryFile(std::exchange(slot_, -1));
  return Status::Ok();
}

void CacheTempFile::Discard() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  if (created_) ::unlinkat(dirFd_, tempName_.c_str(), 0);
  created_ = false;
  if (slot_ >= 0) UnregisterTemporaryFile(std::exchange(slot_, -1));
}

}  // namespace velmora
