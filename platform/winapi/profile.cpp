#include "winapi/profile.h"

#include <cstdio>
#include <cstring>

namespace winapi {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

std::optional<std::string> FindValue(std::string_view contents, std::string_view section,
                                     std::string_view key) {
  if (contents.size() >= 3 && contents.compare(0, 3, "\xEF\xBB\xBF") == 0) contents.remove_prefix(3);
  section = Trim(section);
  key = Trim(key);
  // Lines before the first section header form a section with the empty
  // name, the first of that name (so a later "[]" is never read).
  enum { Before, Inside, After } where = section.empty() ? Inside : Before;
  std::size_t start = 0;
  while (start <= contents.size() && where != After) {
    std::size_t end = contents.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = contents.size();
    const std::string_view line = Trim(contents.substr(start, end - start));
    start = end + 1;
    if (line.empty()) continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      if (close == std::string_view::npos) continue;
      const bool match = SameName(Trim(line.substr(1, close - 1)), section);
      if (where == Inside) where = After;
      else if (match) where = Inside;
      continue;
    }
    if (where != Inside) continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      if (SameName(line, key)) return std::nullopt;  // a key without a value
      continue;
    }
    if (SameName(Trim(line.substr(0, eq)), key)) {
      return std::string(Unquote(Trim(line.substr(eq + 1))));
    }
  }
  return std::nullopt;
}

std::optional<std::string> ReadFile(const char *path) {
  if (path == nullptr || path[0] == '\0') return std::nullopt;
  std::FILE *file = std::fopen(path, "rb");
  if (file == nullptr) return std::nullopt;
  std::string contents;
  char chunk[8192];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) contents.append(chunk, got);
  std::fclose(file);
  return contents;
}

uint32_t CopyOut(std::string_view value, char *out, uint32_t size) {
  if (out == nullptr || size == 0) return 0;
  // A NUL inside the value ends it, as it would in the Windows buffer.
  value = value.substr(0, std::min(value.find('\0'), value.size()));
  const std::size_t length = std::min<std::size_t>(value.size(), size - 1);
  std::memcpy(out, value.data(), length);
  out[length] = '\0';
  return static_cast<uint32_t>(length);
}

uint32_t ParseProfileInt(std::string_view value) {
  std::size_t i = 0;
  while (i < value.size() && (IsBlank(value[i]) || value[i] == '\r' || value[i] == '\n')) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  // Windows' string-to-integer conversion: "0x", "0o" and "0b" (lower case
  // only) switch to hexadecimal, octal and binary.
  uint32_t base = 10;
  if (i + 1 < value.size() && value[i] == '0') {
    const char prefix = value[i + 1];
    base = prefix == 'x' ? 16 : prefix == 'o' ? 8 : prefix == 'b' ? 2 : 10;
    if (base != 10) i += 2;
  }
  uint32_t result = 0;
  for (; i < value.size(); ++i) {
    const char c = value[i];
    const uint32_t digit = c >= '0' && c <= '9'   ? static_cast<uint32_t>(c - '0')
                           : c >= 'a' && c <= 'f' ? static_cast<uint32_t>(c - 'a' + 10)
                           : c >= 'A' && c <= 'F' ? static_cast<uint32_t>(c - 'A' + 10)
                                                  : 99u;
    if (digit >= base) break;
    result = result * base + digit;
  }
  return negative ? 0u - result : result;
}

}  // namespace winapi
