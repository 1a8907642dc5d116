// The caches' folder and the files in it, reached without following links.
//
// The program writes its caches as whatever user runs it, root included, in a
// folder anyone who can write there could have prepared. So a cache folder is
// opened once as a folder (its last step never through a symbolic link) and
// every file in it is opened, created, renamed and removed relative to that
// open folder, never through a link: a link planted under a cache's name is a
// damaged entry, and the file it points to is never read, written or made. A
// folder that belongs to another user, or that other users may write, is not
// used at all: the program warns once and runs without the cache.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <vector>

#include "imaging/Status.h"

namespace velmora {

class CacheDir {
public:
  enum class State {
    Closed,   // not opened yet
    Open,     // usable
    Missing,  // not there (and not to be made)
    Unsafe,   // a link, or a folder others could fill: not to be used
    Failed,   // cannot be opened or made (no permission, a file in its place)
  };

  CacheDir() = default;
  ~CacheDir();
  CacheDir(CacheDir&& other) noexcept;
  CacheDir& operator=(CacheDir&& other) noexcept;
  CacheDir(const CacheDir&) = delete;
  CacheDir& operator=(const CacheDir&) = delete;

  // Opens the folder `path`. With `create`, a missing folder is made (its
  // parents as the user's own folders, itself readable by the user only).
  State Open(const std::string& path, bool create);
  // Opens the folder `name` inside the open folder `parent` the same way.
  State OpenChild(const CacheDir& parent, const std::string& name, bool create);

  State state() const { return state_; }
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  const std::string& Path() const { return path_; }
  std::string PathOf(std::string_view name) const { return path_ + "/" + std::string(name); }
  // Why the folder is Unsafe or Failed, as a clause ("it is a symbolic link").
  const std::string& Reason() const { return reason_; }
  // The warning for an Unsafe folder.
  std::string UnsafeWarning() const;

private:
  State Finish(bool create, const std::string& name, int parentFd);
  void Close();

  std::string path_;
  int fd_ = -1;
  State state_ = State::Closed;
  std::string reason_;
};

// True the first time it is asked about `folder` in this process: an unsafe
// cache folder is told once per run, not by every job and cache that meets it.
bool FirstWarningAbout(const std::string& folder);

// Opens the regular file `name` of `dir` (flags as for open: O_RDONLY,
// O_RDWR | O_CREAT...), never through a link. -1 when it cannot be, with
// errno set (ELOOP for a link, EINVAL for anything not a regular file).
int OpenFileIn(const CacheDir& dir, const std::string& name, int flags);

// The clause a failed OpenFileIn's errno stands for.
std::string OpenFailure(int error);

// Whether `name` is a temporary file's (NAME.tmp-PID).
bool IsTemporaryName(std::string_view name);

// Whether `name` is a temporary file (NAME.tmp-PID) of a process that no
// longer runs. A number some process has, even one we may not signal, may be
// writing it still.
bool TemporaryOfDeadProcess(std::string_view name);

// Removes the temporaries of `name` (NAME.tmp-PID) in `dir` whose programs
// no longer run.
void RemoveDeadTemporaries(const CacheDir& dir, const std::string& name);

// The entries of `dir` (not "." and ".."), as they are, links not followed.
struct CacheEntry {
  std::string name;
  struct stat st {};
};
std::vector<CacheEntry> ListEntries(const CacheDir& dir);

// Removes the entry `name` of `dir` and, when it is a folder, everything in
// it (links are removed, never followed). No error when it is not there.
Status RemoveTree(const CacheDir& dir, const std::string& name);

// A file of a cache folder being written: a temporary file NAME.tmp-PID made
// new (a link or an old file under that name is removed first), renamed over
// NAME when complete. Destroyed before Commit, it removes the temporary file.
class CacheTempFile {
public:
  CacheTempFile() = default;
  ~CacheTempFile();
  CacheTempFile(const CacheTempFile&) = delete;
  CacheTempFile& operator=(const CacheTempFile&) = delete;

  // Also removes the temporaries of NAME left by programs that no longer run.
  Status Create(const CacheDir& dir, const std::string& name);
  int Fd() const { return fd_; }
  const std::string& TempPath() const { return tempPath_; }
  Status Write(const void* data, size_t bytes);
  // Closes the file (flushed to the disk first with `sync`) and renames it
  // over NAME; a link under NAME is replaced, not followed.
  Status Commit(bool sync);
  // The errno a failed Commit stopped at (ENOENT: the temporary file was
  // removed under it); 0 after one that succeeded.
  int CommitError() const { return commitError_; }
  void Discard();

private:
  int dirFd_ = -1;  // borrowed from the CacheDir, which outlives this file
  std::string name_, tempName_, tempPath_, path_;
  int fd_ = -1;
  int slot_ = -1;  // the interrupt handler's record of the file
  bool created_ = false;
  int commitError_ = 0;
};

}  // namespace velmora
