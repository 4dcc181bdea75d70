// The parameter file readers on arbitrary file contents, sections, keys,
// defaults and buffer sizes.
//
// Input: the fuzzer's bytes through FuzzedDataProvider: section, key and
// default as backslash-ended strings from the front, the buffer size and the
// two number defaults from the back, and what is left as the file's contents.
//
// What must hold, whatever the input:
// - GetPrivateProfileStringA writes nothing past the buffer's size (each
//   buffer is a heap block of exactly that size, so AddressSanitizer sees a
//   byte too far), always terminates it, and returns the length it copied;
// - ParamFile::ReadString stays inside its 255 characters, never holds "//"
//   or "/*" and never ends in a blank or a tab;
// - ReadInt and ReadFloat never trap (UndefinedBehaviorSanitizer), and the
//   number conversions stay inside their buffers;
// - the stand-in's fast section search finds exactly what a plain walk over
//   every line of the file finds.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "frame/param_file.h"
#include "os/ini.h"
#include "outside/winapi.h"
#include "winapi/profile.h"

namespace {

std::string gPath;

void Check(bool condition, const char *what) {
  if (condition) return;
  std::fprintf(stderr, "profile_fuzz: %s\n", what);
  std::abort();
}

void WriteFile(const std::string &contents) {
  std::FILE *file = std::fopen(gPath.c_str(), "wb");
  Check(file != nullptr, "cannot write the parameter file");
  std::fwrite(contents.data(), 1, contents.size(), file);
  std::fclose(file);
}

// The string read with a buffer of exactly size characters.
void CheckStringRead(const std::string &section, const std::string &key, const std::string &def, uint32_t size) {
  std::unique_ptr<char[]> out(new char[size]);
  std::memset(out.get(), 'x', size);
  const uint32_t copied =
      GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), out.get(), size, gPath.c_str());
  if (size == 0) {
    Check(copied == 0, "a zero-size buffer was given characters");
    return;
  }
  Check(copied < size, "the copied length reaches the buffer's size");
  Check(out[copied] == '\0', "the buffer is not terminated behind the copied text");
  Check(std::strlen(out.get()) == copied, "the copied length is not the text's length");
}

// ReadString's own rules, applied to the raw value as the Windows call gives it.
std::string ExpectedString(const std::string &section, const std::string &key, const std::string &def) {
  char raw[vorn::kValueSize];
  GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), raw, sizeof raw, gPath.c_str());
  std::string text = raw;
  text = text.substr(0, text.find("//"));
  text = text.substr(0, text.find("/*"));
  if (!text.empty() && (text[0] == ' ' || text[0] == '\t')) text.erase(0, 1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
  return text;
}

void CheckParamFile(const std::string &section, const std::string &key, const std::string &def, int32_t intDefault,
                    float floatDefault) {
  vorn::ParamFile file;
  file.Open(gPath.c_str());

  const vorn::ParamText text = file.ReadString(section.c_str(), key.c_str(), def.c_str());
  const void *end = std::memchr(text.text, '\0', sizeof text.text);
  Check(end != nullptr, "ReadString's text is not terminated inside its buffer");
  const std::string value = text.c_str();
  Check(value.find("//") == std::string::npos, "ReadString returned \"//\"");
  Check(value.find("/*") == std::string::npos, "ReadString returned \"/*\"");
  Check(value.empty() || (value.back() != ' ' && value.back() != '\t'), "ReadString left a trailing blank");
  Check(value == ExpectedString(section, key, def), "ReadString differs from its rules");

  const int32_t number = file.ReadInt(section.c_str(), key.c_str(), intDefault);
  Check(number == static_cast<int32_t>(GetPrivateProfileIntA(section.c_str(), key.c_str(), intDefault, gPath.c_str())),
        "ReadInt differs from the Windows call");
  const double real = file.ReadFloat(section.c_str(), key.c_str(), floatDefault);
  (void)real;  // any value will do, a trap will not
}

void CheckNumberText(const std::string &text, double value, uint32_t size) {
  (void)vorn::ParseReal(text.c_str());
  std::unique_ptr<char[]> out(new char[size]);
  vorn::FormatFixed6(value, out.get(), size);
  if (size > 0) Check(std::memchr(out.get(), '\0', size) != nullptr, "FormatFixed6 unterminated");
}

// The profile rules of winapi/profile.h applied the slow, obvious way: the
// host's own reader, which reads every line into sections first.
std::optional<std::string> WalkEveryLine(std::string_view contents, std::string_view section, std::string_view key) {
  return vorn_host::IniText(contents).value(section, key);
}

void CheckSectionSearch(const std::string &contents, const std::string &section, const std::string &key) {
  Check(winapi::FindValue(contents, section, key) == WalkEveryLine(contents, section, key),
        "FindValue differs from a walk over every line");
  // The same lines at another place in the stretches the search takes at once.
  const std::string shifted = std::string(1 + contents.size() % 31, '\n') + contents;
  Check(winapi::FindValue(shifted, section, key) == WalkEveryLine(shifted, section, key),
        "FindValue differs from a walk over every line, behind blank lines");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  gPath = "/tmp/vorn-profile-fuzz-" + std::to_string(getpid()) + ".ini";
  std::atexit([] { std::remove(gPath.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  const uint32_t bufferSize = in.ConsumeIntegralInRange<uint32_t>(0, 300);
  const int32_t intDefault = in.ConsumeIntegral<int32_t>();
  const uint64_t realBits = in.ConsumeIntegral<uint64_t>();
  double real;
  std::memcpy(&real, &realBits, sizeof real);  // every double: NaN, infinities, subnormals
  const uint32_t floatBits = in.ConsumeIntegral<uint32_t>();
  float floatDefault;
  std::memcpy(&floatDefault, &floatBits, sizeof floatDefault);
  const std::string section = in.ConsumeRandomLengthString(80);
  const std::string key = in.ConsumeRandomLengthString(80);
  const std::string def = in.ConsumeRandomLengthString(400);
  const std::string contents = in.ConsumeRemainingBytesAsString();

  CheckSectionSearch(contents, section, key);
  WriteFile(contents);
  CheckStringRead(section, key, def, bufferSize);
  CheckParamFile(section, key, def, intDefault, floatDefault);
  CheckNumberText(contents, real, bufferSize);
  return 0;
}
