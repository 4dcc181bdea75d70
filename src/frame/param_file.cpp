#include "frame/param_file.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "outside/winapi.h"

namespace vorn {

void ParamFile::Open(const char *path) {
  std::memset(path_, 0, sizeof path_);
  if (path == nullptr) return;
  const std::size_t length = strnlen(path, kPathSize);
  if (length == kPathSize) return;  // unterminated: hold nothing rather than a cut path
  std::memcpy(path_, path, length);
}

int32_t ParamFile::ReadInt(const char *section, const char *key, int32_t def) const {
  return static_cast<int32_t>(GetPrivateProfileIntA(section, key, def, path_));
}

double ParamFile::ReadFloat(const char *section, const char *key, float def) const {
  char defaultText[256];
  FormatFixed6(static_cast<double>(def), defaultText, sizeof defaultText);
  char value[kValueSize] = {};
  GetPrivateProfileStringA(section, key, defaultText, value, sizeof value, path_);
  return ParseReal(value);
}

ParamText ParamFile::ReadString(const char *section, const char *key, const char *def) const {
  ParamText result;
  GetPrivateProfileStringA(section, key, def, result.text, sizeof result.text, path_);
  result.text[kValueSize - 1] = '\0';
  if (char *cut = std::strstr(result.text, "//")) *cut = '\0';
  if (char *cut = std::strstr(result.text, "/*")) *cut = '\0';
  std::size_t length = std::strlen(result.text);
  if (result.text[0] == ' ' || result.text[0] == '\t') {
    std::memmove(result.text, result.text + 1, length);  // moves the terminator too
    --length;
  }
  while (length > 0 && (result.text[length - 1] == ' ' || result.text[length - 1] == '\t')) {
    result.text[--length] = '\0';
  }
  return result;
}

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double ParseReal(const char *text) {
  if (text == nullptr) return 0.0;
  const char *p = text;
  while (IsSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  // Only a decimal real counts: digits or a point followed by a digit.
  if (!(IsDigit(*p) || (*p == '.' && IsDigit(p[1])))) return negative ? -0.0 : 0.0;
  const char *end = p + std::strlen(p);
  double value = 0.0;
  const auto [last, error] = std::from_chars(p, end, value, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    // Like atof: too large gives infinity, too small gives zero.
    const char *e = p;
    while (e < last && *e != 'e' && *e != 'E') ++e;
    const bool tiny = e + 1 < last && e[1] == '-';
    value = tiny ? 0.0 : HUGE_VAL;
  } else if (error != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

void FormatFixed6(double value, char *out, std::size_t size) {
  if (size == 0) return;
  const auto [last, error] = std::to_chars(out, out + size - 1, value, std::chars_format::fixed, 6);
  if (error != std::errc()) {
    out[0] = '\0';
    return;
  }
  *last = '\0';
}

}  // namespace vorn
