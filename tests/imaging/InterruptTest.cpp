// The interrupt handler, exercised in a child process so the test program's
// own signal dispositions stay as they are.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "imaging/Interrupt.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::ScratchFolder;
using testing::WriteWholeFile;

// Runs `body` in a forked child; returns its wait status.
template <typename Body>
int InChild(Body body) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(body());
  int status = 0;
  ::waitpid(child, &status, 0);
  return status;
}

TEST(Interrupt, FirstSignalSetsTheFlagRemovesTemporariesAndEndsChildGroups) {
  ScratchFolder dir;
  const std::string kept = dir / "kept.tmp-1";
  const std::string removed = dir / "removed.tmp-1";
  const int status = InChild([&] {
    InstallInterruptHandlers();
    WriteWholeFile(kept, "k");
    WriteWholeFile(removed, "r");
    const int keptSlot = RegisterTemporaryFile(kept);
    RegisterTemporaryFile(removed);
    UnregisterTemporaryFile(keptSlot);
    // A grandchild in a group of its own, as the renderer starts Ghostscript.
    const pid_t sleeper = ::fork();
    if (sleeper == 0) {
      // As after exec: the handler is not inherited.
      ::signal(SIGTERM, SIG_DFL);
      ::setpgid(0, 0);
      for (;;) ::pause();
      ::_exit(0);
    }
    ::setpgid(sleeper, sleeper);
    RegisterChildProcessGroup(sleeper);
    if (InterruptRequested()) return 10;
    ::raise(SIGTERM);
    if (!InterruptRequested() || InterruptSignal() != SIGTERM) return 11;
    int sleeperStatus = 0;
    if (::waitpid(sleeper, &sleeperStatus, 0) != sleeper || !WIFSIGNALED(sleeperStatus)) return 12;
    if (std::filesystem::exists(removed) || !std::filesystem::exists(kept)) return 13;
    ::raise(SIGINT);  // the second signal ends the process
    return 14;
  });
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit code " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGINT);
}

TEST(Interrupt, RequestAndClearWithoutASignal) {
  const int status = InChild([] {
    RequestInterrupt();
    if (!InterruptRequested() || InterruptSignal() != 0) return 1;
    ClearInterrupt();
    return InterruptRequested() ? 2 : 0;
  });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace velmora
