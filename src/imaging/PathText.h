// Paths as messages show them. A path comes from a list file, a folder or a
// project and may be any length (one damaged list line can be megabytes), so
// a message echoes at most kEchoedPathBytes of it: its start and its end,
// which are the parts that tell files apart. A file name may also hold any
// byte but '/' and NUL; one holding an escape sequence would colour or move
// the user's terminal when a message names it, so control characters are
// shown escaped. Only the text shown changes: paths stay byte strings.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

inline constexpr size_t kEchoedPathBytes = 240;

// `text` with every control character written out: TAB, LF and CR as \t, \n
// and \r, the other C0 controls, DEL, the C1 controls (U+0080..U+009F, which
// terminals obey as well) and every byte that is not part of valid UTF-8 as
// \xHH. Valid UTF-8 is kept as it is. A backslash stays a backslash: lists
// made on Windows hold paths full of them.
std::string EscapeControls(std::string_view text);

// The path shortened to its start and end when longer than
// kEchoedPathBytes, with its control characters escaped.
std::string EchoPath(std::string_view path);

}  // namespace velmora
