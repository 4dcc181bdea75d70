// The Windows profile (INI) reader of the Windows API stand-in.
//
// The rules, all of them here, as the Windows functions apply them:
// - The file is read as bytes; a UTF-8 byte order mark at its start is skipped.
//   Lines end at LF or CR (so CRLF works); a missing final newline is fine.
// - Blanks (space, tab, and the other ASCII white space) around section names,
//   keys and values are ignored.
// - "[name]" opens a section; the name ends at the first ']'. Section and key
//   names match without regard to case (ASCII).
// - "key=value" is a key line; the key ends at the first '='. A line without
//   '=' holds no value: reading it gives the default.
// - No comment syntax: ';' and '#' are ordinary characters.
// - A value enclosed in matching double or single quotes loses them.
// - The first section of a name is the one read, and in it the first key.
//   Lines before the first section header are the section with the empty
//   name (so a later "[]" is never read).
// - A missing file, section or key gives the default; the default loses its
//   trailing spaces (not tabs).
// - String reads copy at most size-1 characters and always terminate.
// - Integer reads: a missing or empty value gives the default; otherwise
//   leading blanks, an optional sign, then digits: decimal, or hexadecimal,
//   octal or binary after "0x", "0o" or "0b" (lower case only; "0X1F" is 0);
//   0 when there are none, with the wrap-around of a 32-bit unsigned
//   conversion.
// - Not reproduced: Windows guesses a file's encoding from its bytes, and a
//   NUL byte early in a file can make it read the file as UTF-16, so that
//   nothing is found; the stand-in reads every file as ANSI bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winapi {

// The value of key in section of the file's text, quotes removed; nothing
// when the section or key is missing or the key line holds no '='.
std::optional<std::string> FindValue(std::string_view contents, std::string_view section, std::string_view key);

// The whole file, read into buffer (which is reused and only grows), or
// nothing when it cannot be read.
std::optional<std::string_view> ReadFile(const char *path, std::string &buffer);

// GetPrivateProfileStringA's copy rule: returns the number of characters copied.
uint32_t CopyOut(std::string_view value, char *out, uint32_t size);

// GetPrivateProfileIntA's conversion of a non-empty value.
uint32_t ParseProfileInt(std::string_view value);

// A record of the profile reads, for the documents' check: which section and
// key each read asked for, with which default, by which function. Off until
// turned on; turning it on or off empties it.
struct ProfileRead {
  enum class Reader { Int, String };
  std::string section;
  std::string key;
  std::string def;  // as the caller gave it; an integer default in decimal
  Reader reader;
};
void RecordReads(bool on);
// The reads since the last call (or since the record was turned on).
std::vector<ProfileRead> TakeReads();
void Record(const char *section, const char *key, std::string def, ProfileRead::Reader reader);

}  // namespace winapi
