// velmora-cli: the photo-mosaic engine from the command line.
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <new>
#include <string>

#include "cli/Command.h"
#include "imaging/Interrupt.h"
#include "imaging/PathText.h"

namespace velmora::cli {

std::vector<Command>& Commands() {
  static std::vector<Command> commands;
  return commands;
}

int Fail(std::string_view message) {
  // The readers show the names they quote escaped; this catches a name that
  // reached a message some other way (a flag's value, say), so no byte of a
  // message can move or colour the terminal.
  std::cerr << "velmora-cli: " << EscapeControls(message) << "\n";
  return 1;
}

// The shell's convention: 128 + the signal that stopped the job (130 for
// Ctrl+C, 143 for SIGTERM).
int Cancelled() {
  std::cerr << "velmora-cli: Cancelled; nothing was saved\n";
  const int signal = velmora::InterruptSignal();
  return 128 + (signal > 0 ? signal : SIGINT);
}

bool WantsHelp(const Args& args) {
  return std::any_of(args.begin(), args.end(),
                     [](const std::string& a) { return a == "-h" || a == "--help"; });
}

std::string ProgramFolder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  return exe.parent_path().string();
}

namespace {

void PrintToolHelp(std::ostream& out) {
  out << "Usage: velmora-cli COMMAND [ARGS...]\n\n"
         "Makes photo mosaics and works with their pictures and project files.\n\n"
         "Commands:\n";
  auto commands = Commands();
  std::sort(commands.begin(), commands.end(),
            [](const Command& a, const Command& b) { return a.name < b.name; });
  for (const Command& c : commands) {
    out << "  " << c.name;
    for (size_t i = c.name.size(); i < 16; ++i) out << ' ';
    out << c.summary << "\n";
  }
  out << "\nRun 'velmora-cli COMMAND --help' for a command's options.\n";
}

}  // namespace
}  // namespace velmora::cli

int main(int argc, char** argv) {
  using namespace velmora::cli;
  velmora::InstallInterruptHandlers();
  if (argc < 2) {
    PrintToolHelp(std::cerr);
    return 2;
  }
  const std::string name = argv[1];
  if (name == "-h" || name == "--help" || name == "help") {
    PrintToolHelp(std::cout);
    return 0;
  }
  for (const Command& c : Commands()) {
    if (c.name != name) continue;
    Args args(argv + 2, argv + argc);
    if (WantsHelp(args)) {
      std::cout << c.usage;
      return 0;
    }
    // Ctrl+C stops a long job at its next progress report; the command then
    // saves nothing.
    velmora::InstallInterruptHandlers();
    try {
      return c.run(args);
    } catch (const std::bad_alloc&) {
      // The readers bound what a file may make them allocate; this is what
      // is left, a job too large for the memory there is (or for ulimit -v).
      // Saves go through temporary files, so nothing half-written is left.
      std::string line = name;
      for (const std::string& a : args) line += " " + a;
      return Fail("not enough memory for '" + line + "'; the command was stopped");
    }
  }
  std::cerr << "velmora-cli: unknown command '" << velmora::EscapeControls(name) << "'\n";
  PrintToolHelp(std::cerr);
  return 2;
}
