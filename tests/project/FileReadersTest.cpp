// Every reader of the program's files against what a user or an attacker
// may put in their place: a named pipe must be refused at once (not wait for
// a writer), and a length in a header must not be allocated before the
// bytes it promises are there.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>

#include "library/SummaryCache.h"
#include "imaging/PictureReader.h"
#include "library/ImageListFile.h"
#include "project/DefaultOptionsFile.h"
#include "project/ProjectFile.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::ScratchFolder;

// Runs `read` on a thread; should it still wait after a while, the pipe is
// opened for writing and closed, which ends the wait, and "(hung)" returned.
std::string MessageWithoutWaiting(const std::string& fifo, const std::function<std::string()>& read) {
  auto result = std::async(std::launch::async, read);
  if (result.wait_for(std::chrono::seconds(10)) == std::future_status::ready) return result.get();
  const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  if (fd >= 0) ::close(fd);
  result.wait();
  return "(hung)";
}

TEST(FileReaders, NamedPipesAreRefusedAtOnceWithTheirName) {
  ScratchFolder dir;
  const auto fifo = [&](const std::string& name) {
    EXPECT_EQ(::mkfifo((dir / name).c_str(), 0600), 0);
    return dir / name;
  };
  const std::string refused = "\". Not a regular file (a named pipe)";

  const std::string list = fifo("f.IL2");
  EXPECT_EQ(MessageWithoutWaiting(list,
                                  [&] {
                                    CellPicList pictures;
                                    return ReadImageListFile(list, pictures).message();
                                  }),
            "Cannot open file \"" + list + refused);

  const std::string options = fifo("f.opt");
  EXPECT_EQ(MessageWithoutWaiting(options,
                                  [&] {
                                    tmosaicproject o;
                                    return ReadOptionsFile(options, o).message();
                                  }),
            "Cannot open file \"" + options + refused);

  const std::string project = fifo("f.vm6");
  EXPECT_EQ(MessageWithoutWaiting(project,
                                  [&] {
                                    auto content = std::make_unique<ProjectFileContent>();
                                    return ReadProjectFile(project, *content).message();
                                  }),
            "Cannot open file \"" + project + refused);

  const std::string picture = fifo("f.jpg");
  EXPECT_EQ(MessageWithoutWaiting(picture, [&] { return ReadPicture(picture).message(); }),
            "Cannot open file \"" + picture + refused);

  // The summary cache is set aside with a warning naming it, and rebuilt.
  const std::string cache = fifo(SummaryCache::kFileName);
  EXPECT_EQ(MessageWithoutWaiting(cache,
                                  [&] {
                                    SummaryCache summaries(dir.str());
                                    std::string warning;
                                    summaries.Load(&warning);
                                    return warning;
                                  }),
            "The summary cache " + cache + " could not be used (not a regular file); it is rebuilt.");
}

// A project file whose record promises a main picture part of almost 2 GB,
// made sparse: 148 bytes on disk. `head` is what the part starts with.
std::string SparseProject(const ScratchFolder& dir, const std::string& name, const std::string& head) {
  tmosaicproject record = DefaultProject();
  record.MainImageDataSize = 2000000000;
  const std::string path = dir / name;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const uint8_t length[4] = {kProjectRecordLength, 0, 0, 0};
  const auto bytes = WriteRecord(record);
  EXPECT_EQ(::write(fd, length, 4), 4);
  EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  EXPECT_EQ(::write(fd, head.data(), head.size()), ssize_t(head.size()));
  EXPECT_EQ(::ftruncate(fd, off_t(ProjectFileSize(uint64_t(record.MainImageDataSize), 0))), 0);
  ::close(fd);
  return path;
}

// The read happens in a child limited to 512 MiB of address space: a reader
// that believed the record would run out of memory instead of refusing.
// AddressSanitizer reserves terabytes of shadow address space, so its build
// runs the read without the limit (the release build checks the bound).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLimitAddressSpace = false;
#else
constexpr bool kLimitAddressSpace = true;
#endif

std::string MessageInSmallMemory(const std::function<std::string()>& read) {
  int out[2];
  if (::pipe(out) != 0) return "(no pipe)";
  const pid_t pid = ::fork();
  if (pid == 0) {
    const rlimit limit{size_t(512) << 20, size_t(512) << 20};
    if (kLimitAddressSpace) ::setrlimit(RLIMIT_AS, &limit);
    const std::string message = read();
    (void)::write(out[1], message.data(), message.size());
    ::_exit(0);
  }
  ::close(out[1]);
  std::string message;
  char buffer[512];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) message.append(buffer, size_t(n));
  ::close(out[0]);
  ::waitpid(pid, nullptr, 0);
  return message;
}

TEST(FileReaders, ASparseProjectIsRefusedByWhatItHoldsNotByItsLength) {
  ScratchFolder dir;
  // A bitmap header that claims 60000 x 60000 pixels of 32 bits.
  std::string huge(30, '\0');
  huge[0] = 'B', huge[1] = 'M', huge[14] = 40;
  for (int at : {18, 22}) huge[at] = char(60000 & 0xFF), huge[at + 1] = char(60000 >> 8);
  huge[26] = 1, huge[28] = 32;

  const struct {
    std::string name, head, reason;
  } cases[] = {
      {"holes.vm6", "", "the main picture part is not a Windows bitmap"},
      {"huge.vm6", huge,
       "the main picture part is a bitmap of 60000 x 60000 pixels, over the picture limit of 268435456 "
       "pixels"},
  };
  for (const auto& c : cases) {
    const std::string path = SparseProject(dir, c.name, c.head);
    EXPECT_EQ(MessageInSmallMemory([&] {
                auto content = std::make_unique<ProjectFileContent>();
                return ReadProjectFile(path, *content).message();
              }),
              "Cannot open project file \"" + path + "\": " + c.reason + ".");
  }
}

}  // namespace
}  // namespace velmora
