// The runner's operating system calls on Windows, twin of os_posix.cpp.
#include <windows.h>

#include <ctime>

#include "os.h"

namespace vorn_host {

namespace {

std::string LastErrorText() {
  const DWORD code = GetLastError();
  char text[512] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 code, 0, text, sizeof text, nullptr);
  std::string reason(text, n);
  while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' '))
    reason.pop_back();
  return "error " + std::to_string(code) + (reason.empty() ? "" : ": " + reason);
}

}  // namespace

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

bool DynamicLibrary::open(const std::string &path, std::string &error) {
  // The library's own folder is searched for the DLLs it imports, as on a
  // station where the equipment DLLs lie beside it.
  handle_ = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (handle_ == nullptr) error = LastErrorText();
  return handle_ != nullptr;
}

void *DynamicLibrary::symbol(const char *name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string DynamicLibrary::besideExecutable(const char *fileName) {
  char self[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  if (n == 0 || n >= sizeof self) return fileName;
  std::string dir(self, n);
  dir.erase(dir.find_last_of("\\/") + 1);
  return dir + fileName;
}

const char *DynamicLibrary::defaultFileName() { return "Vorn_CMU200.dll"; }

std::string MachineName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size) || name[0] == '\0') return "station";
  return name;
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_s(&utc, &now);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace vorn_host
