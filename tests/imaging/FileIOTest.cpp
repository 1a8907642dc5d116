// The file layer: what it opens for reading, what a whole-file read costs
// for a sparse file, and how a save treats read-only files, symbolic links,
// files saved together and the temporaries of programs that died mid-save.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/FileIO.h"
#include "imaging/Interrupt.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;
using testing::WriteWholeFile;

class FileIO : public ::testing::Test {
protected:
  std::string P(const std::string& name) const { return scratch_ / name; }
  Status Save(const std::string& path, const std::string& text) {
    return WriteFileAtomically(path, {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  }
  // The names in the scratch folder, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(scratch_.path())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  testing::ScratchFolder scratch_;
};

TEST_F(FileIO, OnlyRegularFilesAreOpenedAndNothingWaits) {
  WriteWholeFile(P("plain.IL2"), "a.jpg\r\n");
  fs::create_symlink(P("plain.IL2"), P("link.IL2"));
  ASSERT_EQ(::mkfifo(P("pipe.IL2").c_str(), 0600), 0);
  fs::create_symlink(P("pipe.IL2"), P("link-to-pipe.IL2"));
  fs::create_directory(P("folder.IL2"));
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = P("socket.IL2");
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  const struct {
    std::string path;
    std::string error;  // empty: opened
  } cases[] = {
      {P("plain.IL2"), ""},
      {P("link.IL2"), ""},
      {P("pipe.IL2"), "Not a regular file (a named pipe)"},
      {P("link-to-pipe.IL2"), "Not a regular file (a named pipe)"},
      {P("folder.IL2"), "Is a directory"},
      {socketPath, "Not a regular file (a socket)"},
      {"/dev/null", "Not a regular file (a device)"},
      {P("absent.IL2"), "No such file or directory"},
  };
  for (const auto& c : cases) {
    uint64_t size = 99;
    Result<FilePtr> file = OpenFileForReading(c.path, &size);
    if (c.error.empty()) {
      EXPECT_TRUE(file.ok()) << c.path << ": " << file.message();
      EXPECT_EQ(size, 7u);
    } else {
      EXPECT_EQ(file.message(), "Cannot open file \"" + c.path + "\". " + c.error);
    }
  }
  ::close(sock);
}

TEST_F(FileIO, WholeFileReadsKeepEveryByte) {
  // Small files (read into the heap) and large ones (mapped, in chunks),
  // around the sizes where the ways part.
  for (size_t size : {size_t(1), size_t(6854), size_t(1) << 20, (size_t(1) << 20) + 1, size_t(3 << 20 | 17)}) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7 + (i >> 12));
    WriteWholeFile(P("data.bin"), bytes);
    Result<FileBytes> got = ReadFileBytes(P("data.bin"), bytes.size());
    ASSERT_TRUE(got.ok()) << got.message();
    FileBytes moved = std::move(*got);  // the bytes go with the object
    EXPECT_EQ(std::string(moved.begin(), moved.end()), bytes) << size;
  }

  WriteWholeFile(P("empty.bin"), "");
  Result<FileBytes> empty = ReadFileBytes(P("empty.bin"), 10);
  ASSERT_TRUE(empty.ok());
  EXPECT_TRUE(empty->empty());

  EXPECT_EQ(ReadFileBytes(P("data.bin"), 1000).message(),
            "Cannot open file \"" + P("data.bin") + "\". The file of " + std::to_string(3 << 20 | 17) +
                " bytes is larger than the limit of 1000 bytes");
}

// A file of 1 GiB that stores 8 KiB: its holes must cost no memory (and no
// reading), however long the file claims to be.
TEST_F(FileIO, HolesOfASparseFileCostNoMemory) {
  const off_t length = off_t(1) << 30;
  {
    const int fd = ::open(P("sparse.jpg").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "HEAD", 4, 0), 4);
    ASSERT_EQ(::pwrite(fd, "MIDDLE", 6, length / 2), 6);
    ASSERT_EQ(::ftruncate(fd, length), 0);
    ::close(fd);
  }
  Result<FileBytes> got = ReadFileBytes(P("sparse.jpg"), uint64_t(2) << 30);
  ASSERT_TRUE(got.ok()) << got.message();
  ASSERT_EQ(got->size(), size_t(length));

  const long page = ::sysconf(_SC_PAGESIZE);
  std::vector<unsigned char> resident((got->size() + page - 1) / page);
  ASSERT_EQ(::mincore(const_cast<uint8_t*>(got->data()), got->size(), resident.data()), 0);
  size_t pages = 0;
  for (unsigned char r : resident) pages += r & 1;
  EXPECT_LE(pages * page, size_t(8) << 20) << "resident bytes of a file storing 8 KiB";

  EXPECT_EQ(std::string(got->begin(), got->begin() + 4), "HEAD");
  EXPECT_EQ(std::string(got->begin() + length / 2, got->begin() + length / 2 + 6), "MIDDLE");
  EXPECT_EQ(got->data()[length / 4], 0);
  EXPECT_EQ(got->data()[length - 1], 0);
}

TEST_F(FileIO, ReadOnlyFilesAreNotReplaced) {
  for (const char* name : {"out.jpg", "project.vm6"}) {
    WriteWholeFile(P(name), "old");
    ASSERT_EQ(::chmod(P(name).c_str(), 0444), 0);
    EXPECT_EQ(Save(P(name), "new").message(), "\"" + P(name) + "\" is read-only; it was not replaced.");
    EXPECT_EQ(ReadWholeFile(P(name)), "old");
    EXPECT_EQ(fs::status(P(name)).permissions(), fs::perms(0444));
  }
  // A writable file keeps its own mode when it is replaced.
  WriteWholeFile(P("private.vm6"), "old");
  ASSERT_EQ(::chmod(P("private.vm6").c_str(), 0600), 0);
  ASSERT_TRUE(Save(P("private.vm6"), "new").ok());
  EXPECT_EQ(ReadWholeFile(P("private.vm6")), "new");
  EXPECT_EQ(fs::status(P("private.vm6")).permissions(), fs::perms(0600));
  EXPECT_EQ(Names(), (std::vector<std::string>{"out.jpg", "private.vm6", "project.vm6"}));
}

TEST_F(FileIO, SavingThroughALinkKeepsTheLink) {
  fs::create_directory(P("real"));
  WriteWholeFile(P("real/poster.jpg"), "old");
  fs::create_symlink("real/poster.jpg", P("relative.jpg"));  // relative to the link's folder
  fs::create_symlink(P("relative.jpg"), P("chain.jpg"));     // a link to a link
  fs::create_symlink("real/new.jpg", P("dangling.jpg"));

  ASSERT_TRUE(Save(P("chain.jpg"), "new").ok());
  EXPECT_TRUE(fs::is_symlink(P("chain.jpg")));
  EXPECT_TRUE(fs::is_symlink(P("relative.jpg")));
  EXPECT_EQ(ReadWholeFile(P("real/poster.jpg")), "new");

  ASSERT_TRUE(Save(P("dangling.jpg"), "created").ok());
  EXPECT_TRUE(fs::is_symlink(P("dangling.jpg")));
  EXPECT_EQ(ReadWholeFile(P("real/new.jpg")), "created");

  // The target's mode is what counts, not the link's.
  ASSERT_EQ(::chmod(P("real/poster.jpg").c_str(), 0444), 0);
  EXPECT_FALSE(Save(P("relative.jpg"), "again").ok());
  EXPECT_EQ(ReadWholeFile(P("real/poster.jpg")), "new");
}

TEST_F(FileIO, FilesSavedTogetherChangeOnlyWhenAllAreComplete) {
  WriteWholeFile(P("out.jpg"), "old picture");
  WriteWholeFile(P("out.vm6"), "old project");
  {
    PendingFile picture, project;
    ASSERT_TRUE(picture.Open(P("out.jpg")).ok());
    ASSERT_TRUE(WriteAll(picture.Stream(), {reinterpret_cast<const uint8_t*>("new"), 3}, P("out.jpg")).ok());
    ASSERT_TRUE(picture.Complete().ok());
    ASSERT_TRUE(project.Open(P("out.vm6")).ok());
    // The project is never completed (its writing failed): nothing changes.
    PendingFile* both[] = {&picture, &project};
    EXPECT_FALSE(CommitAll(both).ok());
    EXPECT_EQ(ReadWholeFile(P("out.jpg")), "old picture");
    EXPECT_EQ(ReadWholeFile(P("out.vm6")), "old project");
  }
  EXPECT_EQ(Names(), (std::vector<std::string>{"out.jpg", "out.vm6"}));  // no temporaries left

  PendingFile picture, project;
  for (auto [file, path] : {std::pair{&picture, P("out.jpg")}, std::pair{&project, P("out.vm6")}}) {
    ASSERT_TRUE(file->Open(path).ok());
    ASSERT_TRUE(WriteAll(file->Stream(), {reinterpret_cast<const uint8_t*>("new"), 3}, path).ok());
    ASSERT_TRUE(file->Complete().ok());
    EXPECT_EQ(ReadWholeFile(path).substr(0, 3), "old");  // complete, but not yet in place
  }
  PendingFile* both[] = {&picture, &project};
  ASSERT_TRUE(CommitAll(both).ok());
  EXPECT_EQ(ReadWholeFile(P("out.jpg")), "new");
  EXPECT_EQ(ReadWholeFile(P("out.vm6")), "new");
  EXPECT_EQ(Names(), (std::vector<std::string>{"out.jpg", "out.vm6"}));
}

// A child that starts saving `path` with the program's signal handlers in
// place, tells the parent through a pipe that its temporary file exists, and
// waits for a signal.
pid_t StartSaveAndWait(const std::string& path) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    InstallInterruptHandlers();
    PendingFile file;
    if (file.Open(path).ok()) {
      std::fputs("half of a picture", file.Stream());
      std::fflush(file.Stream());
    }
    (void)::write(ready[1], "x", 1);
    while (!InterruptRequested()) ::pause();
    ::_exit(0);  // as the program ends after the signal, without finishing the save
  }
  char c;
  (void)::read(ready[0], &c, 1);
  ::close(ready[0]);
  ::close(ready[1]);
  return pid;
}

TEST_F(FileIO, ASaveStoppedBySignalLeavesNoTemporary) {
  for (int signal : {SIGINT, SIGTERM}) {
    WriteWholeFile(P("poster.jpg"), "old");
    const pid_t child = StartSaveAndWait(P("poster.jpg"));
    ASSERT_GT(child, 0);
    const std::string temp = P("poster.jpg.tmp-" + std::to_string(child));
    ASSERT_TRUE(fs::exists(temp));
    ::kill(child, signal);
    ::waitpid(child, nullptr, 0);
    EXPECT_FALSE(fs::exists(temp)) << "signal " << signal;
    EXPECT_EQ(ReadWholeFile(P("poster.jpg")), "old");
  }
}

TEST_F(FileIO, TemporariesOfKilledSavesAreRemovedByTheNextSave) {
  WriteWholeFile(P("poster.jpg"), "old");
  const pid_t killed = StartSaveAndWait(P("poster.jpg"));
  ASSERT_GT(killed, 0);
  const std::string stale = P("poster.jpg.tmp-" + std::to_string(killed));
  ASSERT_TRUE(fs::exists(stale));
  ::kill(killed, SIGKILL);
  ::waitpid(killed, nullptr, 0);
  ASSERT_TRUE(fs::exists(stale));  // nothing could remove it

  // A save in progress of a running program, and another target's temporary,
  // are left alone.
  const pid_t running = StartSaveAndWait(P("poster.jpg"));
  ASSERT_GT(running, 0);
  WriteWholeFile(P("other.jpg.tmp-" + std::to_string(killed)), "x");

  ASSERT_TRUE(Save(P("poster.jpg"), "new").ok());
  EXPECT_EQ(ReadWholeFile(P("poster.jpg")), "new");
  EXPECT_EQ(Names(), (std::vector<std::string>{"other.jpg.tmp-" + std::to_string(killed), "poster.jpg",
                                               "poster.jpg.tmp-" + std::to_string(running)}));
  ::kill(running, SIGKILL);
  ::waitpid(running, nullptr, 0);
}

}  // namespace
}  // namespace velmora
