// Paths as messages show them. A path comes from a list file, a folder or a
// project and may be any length (one damaged list line can be megabytes), so
// a message echoes at most kEchoedPathBytes of it: its start and its end,
// which are the parts that tell files apart.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

inline constexpr size_t kEchoedPathBytes = 240;

inline std::string EchoPath(std::string_view path) {
  if (path.size() <= kEchoedPathBytes) return std::string(path);
  constexpr std::string_view kGap = " ... ";
  const size_t keep = (kEchoedPathBytes - kGap.size()) / 2;
  const size_t cut = path.size() - 2 * keep;
  std::string out;
  out.reserve(kEchoedPathBytes + 40);
  out.append(path.substr(0, keep));
  out.append(kGap);
  out += '(';
  out += std::to_string(cut);
  out += " bytes left out)";
  out.append(kGap);
  out.append(path.substr(path.size() - keep));
  return out;
}

}  // namespace velmora
