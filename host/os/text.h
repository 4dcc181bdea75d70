// Texts from outside (plans, parameter files, names and error texts from the
// library) on their way to the terminal and into messages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorn_host {

// The length of the well-formed UTF-8 sequence at text[i] (1 to 4), or 0
// when the byte there does not start one: a stray continuation byte, an
// overlong form, a surrogate, a code point past U+10FFFF or a cut sequence.
std::size_t Utf8Length(std::string_view text, std::size_t i);

// The text as a terminal may show it: valid UTF-8 as it stands; control
// bytes (C0, DEL, and the C1 code points), and bytes that are not UTF-8,
// as \xHH escapes, so no ESC ever reaches the terminal.
std::string TerminalText(std::string_view text);

// A piece of a bad line for a message: at most kExcerptLength characters of
// it, with "..." when cut, shown as TerminalText.
inline constexpr std::size_t kExcerptLength = 80;
std::string Excerpt(std::string_view text);

}  // namespace vorn_host
