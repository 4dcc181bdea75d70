// Entry points of the Windows API stand-in: the profile functions, Sleep and MessageBoxA.
#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define STDIN_FILENO 0
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <string>

#include "station/station.h"
#include "winapi.h"
#include "winapi/profile.h"

// On Windows the profile functions are kernel32's own; only Sleep and
// MessageBoxA are stood in (for the cross-built tests, which assert on them).
#if !defined(_WIN32)
namespace {

std::string DefaultText(const char *def) {
  std::string text = def == nullptr ? "" : def;
  while (!text.empty() && text.back() == ' ') text.pop_back();  // spaces only, not tabs
  return text;
}

std::optional<std::string> Lookup(const char *section, const char *key, const char *file) {
  if (section == nullptr || key == nullptr) return std::nullopt;
  // A buffer of the call's own, not a thread_local one: this library is
  // loaded with dlopen, where a thread_local lives in a block glibc
  // allocates on first use, and GCC 12's LeakSanitizer misreads such a
  // block when it starts 16 bytes into a page: its tracer then crashes at
  // the process's end, a passing run exits 1.
  std::string buffer;
  const std::optional<std::string_view> contents = winapi::ReadFile(file, buffer);
  if (!contents) return std::nullopt;
  return winapi::FindValue(*contents, section, key);
}

}  // namespace

extern "C" uint32_t WINAPI_CALL GetPrivateProfileStringA(const char *section, const char *key, const char *def,
                                                         char *out, uint32_t size, const char *file) {
  winapi::Record(section, key, def == nullptr ? "" : def, winapi::ProfileRead::Reader::String);
  const std::optional<std::string> value = Lookup(section, key, file);
  return winapi::CopyOut(value ? *value : DefaultText(def), out, size);
}

extern "C" uint32_t WINAPI_CALL GetPrivateProfileIntA(const char *section, const char *key, int32_t def,
                                                      const char *file) {
  winapi::Record(section, key, std::to_string(def), winapi::ProfileRead::Reader::Int);
  const std::optional<std::string> value = Lookup(section, key, file);
  if (!value || value->empty() || (*value)[0] == '\0') return static_cast<uint32_t>(def);
  return winapi::ParseProfileInt(*value);
}
#endif

extern "C" void WINAPI_CALL Sleep(uint32_t milliseconds) {
  station::Entry call("Sleep", {station::arg(milliseconds)});
  station::station().clock.wait(milliseconds);
  call.result(0);
}

extern "C" int32_t WINAPI_CALL MessageBoxA(void *owner, const char *text, const char *caption, uint32_t type) {
  station::Entry call("MessageBoxA",
                      {station::arg(owner), station::arg(text), station::arg(caption), station::arg(type)});
  station::Station &st = station::station();
  const std::string_view shown = text == nullptr ? "" : text;
  std::fprintf(stderr, "\n[%s] %s\n", caption == nullptr ? "" : caption, text == nullptr ? "" : text);
  const std::optional<bool> answered = st.operatorPrompt ? st.operatorPrompt(shown) : std::nullopt;
  if (answered.has_value()) {
    std::fprintf(stderr, answered.value() ? "(acknowledged on the operator's screen)\n"
                                          : "(not acknowledged: the operator stopped)\n");
  } else if (isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "Press Enter to acknowledge.\n");
    for (int c = std::getchar(); c != '\n' && c != EOF; c = std::getchar()) {
    }
  } else {
    std::fprintf(stderr, "(no operator answered: acknowledged at once)\n");
  }
  if (answered.value_or(true)) st.operatorAcknowledged(shown);
  constexpr int32_t kIdOk = 1;
  return call.result(call.faulted() ? static_cast<int32_t>(call.faultStatus()) : kIdOk);
}
