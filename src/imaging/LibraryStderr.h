// The chatter of a library opened with dlopen, kept off the terminal. A
// decoder's failure is reported once, as the program's own message naming
// the file; some libraries print their own lines before it and offer no way
// to stop them (libjxl prints a line for every failed check when built
// without NDEBUG, as Debian builds it). Sending fd 2 elsewhere around a call
// would swallow every other thread's messages and the progress bar with
// them; swapping the process's stderr would change what all code writes to.
// Instead the library's own reference to stderr, one slot of its global
// offset table, is pointed at a filtering stream: only what that library
// writes through stderr is affected.
#pragma once

#include <string>
#include <vector>

namespace velmora {

// After this, what the library loaded as `handle` writes to stderr passes
// through a filter: a write holding one of `keep` (the library's last words
// before it aborts, say) goes on to fd 2, any other is dropped. Call it once,
// before the library's functions run (from LazyLibrary's bind). False when
// the library's reference to stderr was not found; it then writes as before.
bool FilterLibraryStderr(void* handle, std::vector<std::string> keep);

}  // namespace velmora
