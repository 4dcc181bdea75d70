// An INI text read by the Windows profile rules, the ones the library's
// parameter file is read by (platform/winapi/profile.h lists them all): the
// host's one reader of a parameter file's sections, of the station's
// settings and of a golden unit's file, and the reference the tests and the
// fuzz targets hold the profile stand-in to.
//
//   a UTF-8 byte order mark is skipped; lines end at LF or CR
//   "[name]" opens a section, the name ending at the first ']'; blanks around
//   names, keys and values are ignored; names and keys match in any case
//   "key=value", the key ending at the first '='; a line without '=' has no value
//   no comment syntax; a value in matching double or single quotes loses them
//   the first section of a name is the one read, and in it the first key;
//   lines before the first section line are the section with the empty name
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorn_host {

class IniText {
 public:
  explicit IniText(std::string_view text);

  // The section names, in the order of the text, as written (trimmed).
  std::vector<std::string> sections() const;
  // The value of key in the first section of that name; none when the
  // section or the key is missing, or the key's line holds no '='.
  std::optional<std::string> value(std::string_view section, std::string_view key) const;
  // The key lines with a value of the first section of that name, in order
  // (a key given twice: its first).
  std::vector<std::pair<std::string, std::string>> entries(std::string_view section) const;

 private:
  struct Key {
    std::string name;
    std::optional<std::string> value;
  };
  struct Section {
    std::string name;
    std::vector<Key> keys;
  };
  const Section *find(std::string_view section) const;

  std::vector<Section> sections_;
};

// Names equal in any case (ASCII), as section and key names are.
bool SameIniName(std::string_view a, std::string_view b);

// The text with new values for some keys of a section, found by the rules
// above (the first section of the name, in it the first line of each key):
// only the bytes of each value as value() reads it change (what lies inside
// its quotes, without the blanks around it); the keys, the other lines,
// comments and line ends stay byte for byte. The keys that have no value
// there (no such section, no such key, or its first line holds no '=') are
// put in missing, and their new values are left out.
std::string WithIniValues(std::string_view text, std::string_view section,
                          const std::vector<std::pair<std::string, std::string>> &values,
                          std::vector<std::string> &missing);

}  // namespace vorn_host
