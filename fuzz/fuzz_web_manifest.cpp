// libFuzzer target for the web export's list of its own files. Whatever the
// bytes, every path kept stays inside the folder (relative, no empty, "." or
// ".." part), and the kept paths written as a list read back the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "output/WebExportFolder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora;
  const std::vector<std::string> paths =
      ParseWebManifest(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const std::string& p : paths) {
    if (p.empty() || p.front() == '/' || p.back() == '/' || p.find('\0') != std::string::npos)
      __builtin_trap();
    const std::string framed = "/" + p + "/";
    for (const char* bad : {"//", "/./", "/../"})
      if (framed.find(bad) != std::string::npos) __builtin_trap();
  }
  if (!paths.empty() && ParseWebManifest(WebManifestText(paths)) != paths) __builtin_trap();
  return 0;
}
