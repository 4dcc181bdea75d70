#include "os/text.h"

#include <cstdint>
#include <cstdio>

namespace vorn_host {

namespace {

bool Continuation(std::string_view text, std::size_t i) {
  return i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
}

void AppendEscape(std::string &out, unsigned char byte) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\x%02x", byte);
  out += escape;
}

}  // namespace

std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  uint32_t point = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    point = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    point = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    point = lead & 0x07u;
  } else {
    return 0;  // a continuation byte, C0, C1 (overlong) or F5 and above
  }
  for (std::size_t k = 1; k < length; ++k) {
    if (!Continuation(text, i + k)) return 0;
    point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
  }
  const bool overlong = (length == 3 && point < 0x800) || (length == 4 && point < 0x10000);
  const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
  if (overlong || surrogate || point > 0x10FFFF) return 0;
  return length;
}

std::string TerminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = Utf8Length(text, i);
    const bool c1 = length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (length == 0 || c1 || byte < 0x20 || byte == 0x7F) {
      AppendEscape(out, byte);
      ++i;
      continue;
    }
    out.append(text, i, length);
    i += length;
  }
  return out;
}

std::string Excerpt(std::string_view text) {
  // Cut at a character's start, never inside a UTF-8 sequence.
  std::size_t end = 0;
  std::size_t characters = 0;
  while (end < text.size() && characters < kExcerptLength) {
    const std::size_t length = Utf8Length(text, end);
    end += length == 0 ? 1 : length;
    ++characters;
  }
  return TerminalText(text.substr(0, end)) + (end < text.size() ? "..." : "");
}

}  // namespace vorn_host
