// Ending the process cleanly on Ctrl+C, SIGTERM or a closed terminal. The
// first signal only sets a flag that long jobs poll (so a job stops at its
// next progress report and nothing half-made is saved), removes the
// temporary files of saves in progress and ends the child processes we
// started; a second signal ends the process at once with the default action.
// The handler touches only fixed tables of plain data, so it is safe to run
// at any point of the program.
#pragma once

#include <sys/types.h>

#include <string>

namespace velmora {

// Installs the handler for SIGINT, SIGTERM and SIGHUP. Called once by a
// program's main; tests and library code never need it.
void InstallInterruptHandlers();

bool InterruptRequested();
// The signal that set the flag, or 0 (also 0 after RequestInterrupt).
int InterruptSignal();
// Sets the flag as a signal would, without the clean-up (a Cancel button).
void RequestInterrupt();
void ClearInterrupt();

// A file the handler unlinks: a slot to give back, or -1 when every slot is
// taken (the save goes on; only the clean-up on a signal is lost).
int RegisterTemporaryFile(const std::string& path);
void UnregisterTemporaryFile(int slot);

// A process group the handler sends SIGTERM.
void RegisterChildProcessGroup(pid_t group);
void UnregisterChildProcessGroup(pid_t group);

}  // namespace velmora
