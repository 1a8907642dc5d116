// The caches in a folder someone else prepared: links planted under their
// names are never written through (the files they point to keep their bytes,
// and those they name are not made), a folder others could fill is not used
// and told once, and the temporaries of programs that stopped are removed
// and, while they are there, counted.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "library/RenditionCache.h"
#include "library/SummaryCache.h"
#include "support/EngineTestSupport.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;
using testing::WriteWholeFile;

constexpr uint32_t kSettings = 7;
const char kPrecious[] = "bytes the caches must never touch";

std::string Pid(pid_t pid) { return std::to_string(static_cast<long>(pid)); }

// A number no process has: past the largest the kernel hands out.
pid_t NumberBeyondPidMax() {
  long max = 4194304;
  std::ifstream("/proc/sys/kernel/pid_max") >> max;
  return static_cast<pid_t>(max + 1);
}

// The number of a child that has ended and been waited for.
pid_t ReapedChild() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

SummaryKey KeyOf(int i) { return SummaryKey{"/photos/" + std::to_string(i) + ".jpg", 10, 20, kSettings}; }

// A cache folder in a scratch folder of the test's own, with a file the
// caches must leave alone and the name of one they must not make.
struct Planted {
  testing::ScratchDir scratch;
  std::string folder = scratch.File("velmora");
  std::string renditions = folder + "/" + RenditionCache::kFolderName;
  std::string victim = scratch.File("victim");
  std::string absent = scratch.File("absent");

  Planted() {
    fs::create_directory(folder);
    fs::permissions(folder, fs::perms::owner_all);
    WriteWholeFile(victim, kPrecious);
  }
  void Untouched() const {
    EXPECT_EQ(ReadWholeFile(victim), kPrecious);
    EXPECT_FALSE(fs::exists(fs::symlink_status(absent)));
  }
};

// Both caches saved, opened again and read back; the warnings they gave.
// `onDisk`: whether what was kept is found by the next program.
std::vector<std::string> Workout(const std::string& folder, bool onDisk) {
  std::vector<std::string> warnings;
  const TBitmap32 picture = testing::Uniform(6, 4, Color32(9, 8, 7));
  const ColorSignature signature = testing::FlatSignature(1, 2, 3);
  for (int run = 0; run < 2; ++run) {
    SummaryCache summaries(folder);
    std::string warning;
    summaries.Load(&warning);
    if (!warning.empty()) warnings.push_back(warning);
    RenditionCache renditions(folder, uint64_t(1) << 30, kSettings);
    for (std::string& w : renditions.TakeWarnings()) warnings.push_back(std::move(w));
    ColorSignature found;
    TBitmap32 out;
    if (run == 1) {
      EXPECT_EQ(summaries.Find(KeyOf(0), found), onDisk);
      EXPECT_EQ(renditions.Find(KeyOf(0), out, nullptr), onDisk);
      continue;
    }
    summaries.Add(KeyOf(0), signature);
    EXPECT_TRUE(summaries.Save().ok());
    EXPECT_TRUE(renditions.Store(KeyOf(0), picture).ok());
    EXPECT_TRUE(renditions.Commit().ok());
    EXPECT_TRUE(renditions.Settle().ok());
  }
  return warnings;
}

// A link planted under a cache file's name, pointing at a file of the test
// or at a name nothing has: warned about where it stood for a cache, never
// followed, and the caches work on.
TEST(CacheSafety, LinksUnderTheCachesNamesAreNeverWrittenThrough) {
  const std::string pid = Pid(::getpid());
  const std::string pack = Format("%08x-1-1-1", kSettings) + RenditionCache::kExtension;
  struct Case {
    const char* what;
    std::string name;  // in the cache folder
    bool warned;
  };
  const Case cases[] = {
      {"summary cache", SummaryCache::kFileName, true},
      {"its lock", std::string(SummaryCache::kFileName) + ".lock", false},
      {"its temporary", std::string(SummaryCache::kFileName) + ".tmp-" + pid, false},
      {"a pack", "renditions/" + pack, true},
      {"a pack's temporary, this program's", "renditions/" + pack + ".tmp-" + pid, false},
      {"a pack's temporary, a stopped program's", "renditions/" + pack + ".tmp-" + Pid(NumberBeyondPidMax()),
       false},
  };
  for (const Case& c : cases) {
    for (bool toVictim : {true, false}) {
      SCOPED_TRACE(::testing::Message() << c.what << (toVictim ? ", to a file" : ", to no file"));
      Planted p;
      fs::create_directory(p.renditions);
      fs::permissions(p.renditions, fs::perms::owner_all);
      fs::create_symlink(toVictim ? p.victim : p.absent, p.folder + "/" + c.name);
      const std::vector<std::string> warnings = Workout(p.folder, true);
      ASSERT_EQ(warnings.size(), c.warned ? 1u : 0u);
      if (c.warned) {
        EXPECT_NE(warnings[0].find("symbolic link"), std::string::npos) << warnings[0];
      }
      p.Untouched();
      // Clearing removes names, never what they point to.
      fs::create_symlink(p.victim, p.folder + "/renditions/planted" + RenditionCache::kExtension);
      EXPECT_TRUE(SummaryCache::Clear(p.folder).ok());
      EXPECT_TRUE(RenditionCache::Clear(p.folder).ok());
      p.Untouched();
    }
  }
}

// A cache folder that is a link, that others may write in or that belongs
// to another user is not used: one warning for the whole run, nothing
// written there, and the job goes on without the cache.
TEST(CacheSafety, AFolderOthersCouldFillIsNotUsedAndToldOnce) {
  struct Case {
    const char* what;
    std::function<void(Planted&)> prepare;
    const char* reason;
    bool summariesKept;  // the summary cache's own folder is fine
  };
  const Case cases[] = {
      {"cache folder is a link",
       [](Planted& p) {
         fs::remove(p.folder);
         fs::create_directory(p.scratch.File("elsewhere"));
         fs::permissions(p.scratch.File("elsewhere"), fs::perms::owner_all);
         fs::create_symlink(p.scratch.File("elsewhere"), p.folder);
       },
       "symbolic link", false},
      {"cache folder writable by all", [](Planted& p) { fs::permissions(p.folder, fs::perms::all); },
       "other users may write", false},
      {"cache folder writable by its group",
       [](Planted& p) { fs::permissions(p.folder, fs::perms::owner_all | fs::perms::group_write); },
       "other users may write", false},
      {"renditions folder writable by all",
       [](Planted& p) {
         fs::create_directory(p.renditions);
         fs::permissions(p.renditions, fs::perms::all);
       },
       "other users may write", true},
      {"renditions folder is a link",
       [](Planted& p) {
         fs::create_directory(p.scratch.File("elsewhere"));
         fs::permissions(p.scratch.File("elsewhere"), fs::perms::owner_all);
         fs::create_symlink(p.scratch.File("elsewhere"), p.renditions);
       },
       "symbolic link", true},
      {"cache folder of another user",
       [](Planted& p) { ASSERT_EQ(::chown(p.folder.c_str(), 65534, 65534), 0); }, "another user", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (std::string(c.reason) == "another user" && ::geteuid() != 0) {
      continue;  // only root can give a folder away
    }
    Planted p;
    c.prepare(p);
    // What is in the folders that are not to be used, before and after.
    const auto listing = [&] {
      std::vector<std::string> names;
      for (const std::string& folder : {p.scratch.File("elsewhere"), c.summariesKept ? "" : p.folder})
        if (!folder.empty() && fs::is_directory(folder))
          for (const auto& e : fs::recursive_directory_iterator(folder)) names.push_back(e.path().string());
      return names;
    };
    const std::vector<std::string> before = listing();
    std::vector<std::string> warnings;
    {
      // The summaries' Load and Save and the renditions' own opening.
      SummaryCache summaries(p.folder);
      std::string warning;
      summaries.Load(&warning);
      if (!warning.empty()) warnings.push_back(warning);
      summaries.Add(KeyOf(0), testing::FlatSignature(1, 2, 3));
      EXPECT_TRUE(summaries.Save().ok());
      for (int i = 0; i < 2; ++i) {
        RenditionCache renditions(p.folder, uint64_t(1) << 30, kSettings);
        for (std::string& w : renditions.TakeWarnings()) warnings.push_back(std::move(w));
        EXPECT_TRUE(renditions.Store(KeyOf(0), testing::Uniform(4, 4, Color32(1, 1, 1))).ok());
        TBitmap32 out;
        EXPECT_TRUE(renditions.Find(KeyOf(0), out, nullptr));  // held in memory all the same
        EXPECT_TRUE(renditions.Commit().ok());
      }
      SummaryCache again(p.folder);
      warning.clear();
      again.Load(&warning);
      if (!warning.empty()) warnings.push_back(warning);
      ColorSignature found;
      EXPECT_EQ(again.Find(KeyOf(0), found), c.summariesKept);
    }
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(c.reason), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find("not used"), std::string::npos) << warnings[0];
    EXPECT_EQ(listing(), before);
    EXPECT_EQ(RenditionCache::Measure(p.folder).bytes, 0u);
  }
}

// Temporaries whose program is gone are removed by the next program that
// opens the folder; one of a program that runs (this one) stays.
TEST(CacheSafety, TemporariesOfStoppedProgramsGoAndThoseOfRunningOnesStay) {
  const std::string pack = Format("%08x-5-5-5", kSettings) + RenditionCache::kExtension;
  const std::string summaries = SummaryCache::kFileName;
  struct Case {
    const char* what;
    std::string name;  // in the cache folder
    bool stays;
  };
  const Case cases[] = {
      {"pack, beyond pid_max", "renditions/" + pack + ".tmp-" + Pid(NumberBeyondPidMax()), false},
      {"pack, reaped child", "renditions/" + pack + ".tmp-" + Pid(ReapedChild()), false},
      {"pack, this program", "renditions/" + pack + ".tmp-" + Pid(::getpid()), true},
      {"pack, of another settings word, stopped",
       "renditions/00000999-1-1-1.vrp.tmp-" + Pid(NumberBeyondPidMax()), false},
      {"summaries, beyond pid_max", summaries + ".tmp-" + Pid(NumberBeyondPidMax()), false},
      {"summaries, reaped child", summaries + ".tmp-" + Pid(ReapedChild()), false},
      {"not a temporary", "renditions/notes.tmp-x", true},
  };
  Planted p;
  fs::create_directory(p.renditions);
  fs::permissions(p.renditions, fs::perms::owner_all);
  for (const Case& c : cases) WriteWholeFile(p.folder + "/" + c.name, std::string(1000, 'x'));
  // Everything there counts, temporaries too.
  EXPECT_EQ(RenditionCache::Measure(p.folder).bytes, 5000u);
  EXPECT_TRUE(Workout(p.folder, true).empty());
  for (const Case& c : cases) EXPECT_EQ(fs::exists(p.folder + "/" + c.name), c.stays) << c.what;
}

// The cap counts the temporary of a program still writing its pack: when it
// and the packs pass the cap, the least recently used pack goes.
TEST(CacheSafety, TheCapCountsTemporaries) {
  const TBitmap32 picture = testing::Uniform(32, 32, Color32(1, 2, 3));
  const uint64_t each = RenditionCache::EncodePack(kSettings, {{KeyOf(0), picture}}).size();
  for (bool withTemporary : {false, true}) {
    SCOPED_TRACE(withTemporary);
    Planted p;
    const uint64_t cap = 3 * each;
    {
      RenditionCache first(p.folder, cap, kSettings);
      ASSERT_TRUE(first.Store(KeyOf(0), picture).ok());
    }
    // The first pack, used long ago.
    for (const auto& e : fs::directory_iterator(p.renditions)) {
      const timespec old[2] = {{0, UTIME_OMIT}, {1000, 0}};
      ASSERT_EQ(::utimensat(AT_FDCWD, e.path().c_str(), old, 0), 0);
    }
    const std::string temporary = p.renditions + "/" + Format("%08x-9-9-9", kSettings) +
                                  RenditionCache::kExtension + ".tmp-" + Pid(::getpid());
    if (withTemporary) WriteWholeFile(temporary, std::string(each + each / 2, 't'));
    EXPECT_EQ(RenditionCache::Measure(p.folder).bytes, each + (withTemporary ? each + each / 2 : 0));
    {
      RenditionCache second(p.folder, cap, kSettings);
      ASSERT_TRUE(second.Store(KeyOf(1), picture).ok());
    }
    RenditionCache third(p.folder, cap, kSettings);
    TBitmap32 out;
    EXPECT_EQ(third.Find(KeyOf(0), out, nullptr), !withTemporary);
    EXPECT_TRUE(third.Find(KeyOf(1), out, nullptr));
    EXPECT_LE(RenditionCache::Measure(p.folder).bytes, cap);
    EXPECT_EQ(fs::exists(temporary), withTemporary);
  }
}

}  // namespace
}  // namespace velmora
