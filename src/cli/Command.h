// The commands of velmora-cli. Each command lives in its own file and
// registers itself with a static CommandRegistrar, so a new command is one
// new file and nothing else changes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora::cli {

using Args = std::vector<std::string>;

struct Command {
  std::string_view name;
  std::string_view summary;      // one line for the tool's --help
  std::string_view usage;        // the command's own --help text
  int (*run)(const Args& args);  // args after the command name; returns the exit status
};

std::vector<Command>& Commands();

struct CommandRegistrar {
  explicit CommandRegistrar(const Command& command) { Commands().push_back(command); }
};

// Prints "velmora-cli: <message>" on stderr and returns 1.
int Fail(std::string_view message);
// A job stopped by Ctrl+C or SIGTERM: says so (nothing was saved) and returns 128 + the signal, the
// shell's code for an interrupted command.
int Cancelled();
// True when args hold -h or --help.
bool WantsHelp(const Args& args);
// The folder of the running program (where images/ and Defaultopt.opt lie).
std::string ProgramFolder();

}  // namespace velmora::cli
