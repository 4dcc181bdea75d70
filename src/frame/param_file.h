// Parameter file access: the Windows profile (INI) file whose path the host's
// container supplies. Every read goes to the file; nothing is cached.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorn {

inline constexpr std::size_t kPathSize = 512;   // the container's path buffer
inline constexpr std::size_t kValueSize = 255;  // a value is read as at most 254 characters

// A text read from the parameter file, owned by the caller.
struct ParamText {
  char text[kValueSize] = {};
  const char *c_str() const { return text; }
};

class ParamFile {
 public:
  // Holds the path in full. A path that is not terminated within kPathSize
  // characters is not held at all (every read then gives its default), so a
  // cut path can never name another file.
  void Open(const char *path);

  // The integer the value begins with (optional sign, digits); a missing key
  // gives def.
  int32_t ReadInt(const char *section, const char *key, int32_t def) const;
  // The longest decimal real the value begins with, read the same under every
  // locale; a missing key gives def, an empty value 0.0.
  double ReadFloat(const char *section, const char *key, float def) const;
  // The value cut at "//" then at "/*", less one leading blank or tab and every
  // trailing one.
  ParamText ReadString(const char *section, const char *key, const char *def) const;

  const char *path() const { return path_; }

 private:
  char path_[kPathSize] = {};
};

// Number conversions of the parameter file, independent of the process locale.
// atof-like: leading white space, optional sign, the longest decimal real.
double ParseReal(const char *text);
// "%f" of value: six decimals, '.' as the decimal point; out holds size characters.
void FormatFixed6(double value, char *out, std::size_t size);

}  // namespace vorn
