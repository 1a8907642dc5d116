// What the project-file fuzz targets share: the input as a project file on a
// memory file. A project file is at least 14.6 MB of fixed tables, far more
// than a fuzzer should mutate or copy per run, so the input is the file's
// head (RecordLength, the record, the picture and list parts) followed by
// table bytes, and the file is left sparse past them: the rest of the tables
// reads as zeros without being written. The reader sees an ordinary regular
// file and streams the tables in chunks, so a run costs the record checks,
// the parts and one pass over the tables.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/LittleEndian.h"
#include "project/ProjectFile.h"

namespace velmora::fuzz {

class MemoryFile {
public:
  MemoryFile()
      : fd_(::memfd_create("fuzz-project", MFD_CLOEXEC)), path_("/proc/self/fd/" + std::to_string(fd_)) {}
  ~MemoryFile() { ::close(fd_); }
  const std::string& path() const { return path_; }

  // The file becomes `head`, then `tail` at `tailAt` (if that lies past the
  // head), zeros in between and up to `length` (never shorter than the
  // bytes written).
  bool Fill(const uint8_t* head, size_t headSize, const uint8_t* tail, size_t tailSize, uint64_t tailAt,
            uint64_t length) {
    if (::ftruncate(fd_, 0) != 0) return false;
    if (headSize > 0 && ::pwrite(fd_, head, headSize, 0) != ssize_t(headSize)) return false;
    if (tailSize > 0 && tailAt >= headSize &&
        ::pwrite(fd_, tail, tailSize, off_t(tailAt)) != ssize_t(tailSize))
      return false;
    uint64_t end = headSize;
    if (tailSize > 0 && tailAt >= headSize) end = tailAt + tailSize;
    return ::ftruncate(fd_, off_t(length > end ? length : end)) == 0;
  }

private:
  int fd_;
  std::string path_;
};

// The head of a project file in `data`: 148 + M + L bytes when the record's
// two lengths are sane and present, else the whole input. The full length
// is what the record describes (or the input's length when it describes
// nothing sane), so the reader's own length checks still see damaged sizes.
struct ProjectInput {
  size_t headSize = 0;
  uint64_t fileLength = 0;
};

inline ProjectInput SplitProjectInput(const uint8_t* data, size_t size) {
  ProjectInput in{size, size};
  if (size < 4 + kRecordSize) return in;
  const int32_t m = LoadI32LE(data + 4 + 136);
  const int32_t l = LoadI32LE(data + 4 + 140);
  if (m < 0 || l < 0) return in;
  const uint64_t head = 4 + kRecordSize + uint64_t(m) + uint64_t(l);
  if (head > size) return in;
  in.headSize = size_t(head);
  in.fileLength = ProjectFileSize(uint64_t(m), uint64_t(l));
  return in;
}

}  // namespace velmora::fuzz
