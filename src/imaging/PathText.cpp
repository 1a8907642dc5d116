// Escaping and shortening paths for messages.
#include "imaging/PathText.h"

#include <cstdint>

namespace velmora {
namespace {

bool IsContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// The length of the valid UTF-8 sequence at the start of `s` (RFC 3629: no
// overlong forms, no surrogates, nothing past U+10FFFF), or 0.
size_t Utf8Length(std::string_view s) {
  const auto at = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
  const uint8_t lead = at(0);
  size_t length = 0;
  uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < length || at(1) < low || at(1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (!IsContinuation(at(i))) return 0;
  return length;
}

void AppendHex(std::string& out, uint8_t b) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += "\\x";
  out += kDigits[b >> 4];
  out += kDigits[b & 15];
}

}  // namespace

std::string EscapeControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<uint8_t>(text[i]);
    if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    if (b == '\t' || b == '\n' || b == '\r') {
      out += b == '\t' ? "\\t" : b == '\n' ? "\\n" : "\\r";
      ++i;
      continue;
    }
    const size_t length = b >= 0x80 ? Utf8Length(text.substr(i)) : 0;
    // U+0080..U+009F, encoded C2 80..C2 9F, are controls too.
    const bool c1 = length == 2 && b == 0xC2 && static_cast<uint8_t>(text[i + 1]) <= 0x9F;
    if (length == 0 || c1) {
      for (size_t k = 0; k < (c1 ? 2u : 1u); ++k) AppendHex(out, static_cast<uint8_t>(text[i + k]));
      i += c1 ? 2 : 1;
      continue;
    }
    out.append(text.substr(i, length));
    i += length;
  }
  return out;
}

std::string EchoPath(std::string_view path) {
  if (path.size() <= kEchoedPathBytes) return EscapeControls(path);
  constexpr std::string_view kGap = " ... ";
  const size_t keep = (kEchoedPathBytes - kGap.size()) / 2;
  // The cuts move onto character boundaries (by at most three bytes), so the
  // ends kept do not start or stop inside a UTF-8 character.
  size_t headEnd = keep, tailStart = path.size() - keep;
  for (int step = 0; step < 3 && IsContinuation(static_cast<uint8_t>(path[headEnd])); ++step) --headEnd;
  for (int step = 0; step < 3 && IsContinuation(static_cast<uint8_t>(path[tailStart])); ++step) ++tailStart;
  std::string out = EscapeControls(path.substr(0, headEnd));
  out.append(kGap);
  out += '(';
  out += std::to_string(tailStart - headEnd);
  out += " bytes left out)";
  out.append(kGap);
  out += EscapeControls(path.substr(tailStart));
  return out;
}

}  // namespace velmora
