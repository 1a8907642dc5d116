// Runs a program as a child with its arguments passed as they are (no shell,
// so names may hold any byte) and collects its exit status and output.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/ScratchFolder.h"

namespace velmora::testing {

struct ChildRun {
  int status = -1;  // the exit status; -1 when it did not exit normally
  std::string out;
  std::string err;
};

// `env` entries ("NAME=value") are added to the test's own environment,
// before its entries of the same name. The output goes through files in
// `scratch`, so a chatty child cannot block on a full pipe.
inline ChildRun RunChild(const std::vector<std::string>& argv, const ScratchFolder& scratch,
                         const std::vector<std::string>& env = {}) {
  const std::string outPath = scratch / "child-stdout", errPath = scratch / "child-stderr";
  // Everything the child needs is made before the fork: between fork and
  // exec it may only make system calls.
  std::vector<char*> args, vars;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // The first of two entries of a name counts: the added ones go first.
  for (const std::string& e : env) vars.push_back(const_cast<char*>(e.c_str()));
  for (char** e = environ; *e != nullptr; ++e) vars.push_back(*e);
  vars.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(127);
    ::execve(args[0], args.data(), vars.data());
    ::_exit(127);
  }
  ChildRun run;
  int raw = 0;
  if (pid < 0 || ::waitpid(pid, &raw, 0) != pid) return run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = ReadWholeFile(outPath);
  run.err = ReadWholeFile(errPath);
  return run;
}

}  // namespace velmora::testing
