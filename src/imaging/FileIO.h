// The one way files are opened, read and saved.
//
// Reading: only a regular file (or a symbolic link to one) is opened, and
// without blocking, so a named pipe or a device given as a picture, list,
// options file or project is refused at once instead of hanging the program.
// Whole files are read in bounded chunks into memory that is committed only
// as the bytes arrive: the holes of a sparse file cost neither memory nor
// reading time, whatever length the file claims.
//
// Saving: the new content goes to TARGET.tmp-PID beside the target (beside
// the file a symbolic link points to, so the link stays a link), and is
// renamed over the target only once it is complete and flushed; a failed save
// never destroys the previous file. A target the user may not write is not
// replaced. Several files saved together are all written before any is
// renamed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imaging/Status.h"

namespace velmora {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` for reading when it is a regular file or a symbolic link to
// one; anything else (folder, named pipe, device, socket) is refused without
// waiting, and the message names the file. `size` receives the file's length
// as it was when opened.
Result<FilePtr> OpenFileForReading(const std::string& path, uint64_t* size = nullptr);

// The bytes of a whole file, read-only.
class FileBytes {
public:
  FileBytes() = default;
  FileBytes(FileBytes&& other) noexcept;
  FileBytes& operator=(FileBytes&& other) noexcept;
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  ~FileBytes();

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const uint8_t* begin() const { return data_; }
  const uint8_t* end() const { return data_ + size_; }
  std::span<const uint8_t> span() const { return {data_, size_}; }
  operator std::span<const uint8_t>() const { return span(); }

private:
  friend Result<FileBytes> ReadFileBytes(const std::string& path, uint64_t maxBytes);
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t mapped_ = 0;
  bool onHeap_ = false;  // a small file's bytes, from new[]
};

// Reads the whole file at `path`, refusing one longer than `maxBytes`. The
// memory is reserved for the file's length but committed only for the bytes
// the file really stores; a file that shrinks meanwhile gives what is there.
Result<FileBytes> ReadFileBytes(const std::string& path, uint64_t maxBytes);

// Reads up to `size` bytes (fewer only at the end of the file); false after
// a read error, with errno set.
bool ReadUpTo(std::FILE* file, void* data, size_t size, size_t& got);

// A file being saved. Open creates the temporary file; the content is
// written through Stream(); Complete flushes it to the disk; Commit renames
// it over the target. Destroyed before Commit, it removes the temporary file.
class PendingFile {
public:
  PendingFile() = default;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile();

  // Refuses a target the user may not write, follows a symbolic link to the
  // file it names, removes temporaries of the same target left by programs
  // that no longer run, and creates this program's temporary file.
  Status Open(const std::string& path);
  std::FILE* Stream() const { return stream_; }
  const std::string& Path() const { return path_; }
  const std::string& TempPath() const { return temp_; }
  Status Complete();
  Status Commit();
  bool Completed() const { return completed_; }
  // Removes the temporary file (nothing once committed).
  void Discard();

private:
  std::string path_;    // as the user named it, for messages
  std::string target_;  // the file really replaced (a link's target)
  std::string temp_;
  std::FILE* stream_ = nullptr;
  int tempSlot_ = -1;
  bool completed_ = false;
  bool committed_ = false;
};

// Renames every completed file over its target: the files saved together by
// one job change together, after all of them were written. Stops at the
// first failed rename (the files not yet renamed are then discarded).
Status CommitAll(std::span<PendingFile* const> files);

// `write` fills the open temporary file; a failed Status (or a failed stdio
// write) leaves the target untouched and removes the temporary file.
Status WriteFileAtomically(const std::string& path, const std::function<Status(std::FILE*)>& write);
Status WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes);

// Writes all of `bytes` to `file`; the message names `path` on failure.
Status WriteAll(std::FILE* file, std::span<const uint8_t> bytes, const std::string& path);

// Whether a save may replace `path` (or the file its link names): refused
// for a folder, a device and the like, and for a file without write
// permission. A save checks this itself; a long job asks before it starts.
Status CheckReplaceable(const std::string& path);

// The file a symbolic link finally names (`path` itself when it is not a
// link); relative links are taken from the link's folder.
std::string FollowLinks(const std::string& path);

// Removes TARGET.tmp-PID files beside `target` whose process no longer runs.
void RemoveStaleTemporaries(const std::string& target);

}  // namespace velmora
