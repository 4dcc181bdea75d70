// What the runner asks of the operating system, all in one place: loading the
// library by its file and finding an export by its plain name, the folder of
// the running executable, the machine's name and the time of day. os_posix.cpp
// does it with dlopen, dlsym and friends; a Windows build gives the same
// functions in os_windows.cpp with LoadLibraryA, GetProcAddress and the like.
#pragma once

#include <string>

namespace vorn_host {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary &) = delete;
  DynamicLibrary &operator=(const DynamicLibrary &) = delete;

  // False, with the loader's reason in error, when the file cannot be loaded.
  bool open(const std::string &path, std::string &error);
  // The export's address, or null when the library has no such export.
  void *symbol(const char *name) const;

  // The library's usual file beside the running executable.
  static std::string besideExecutable(const char *fileName);
  static const char *defaultFileName();  // "libVorn_CMU200.so", "Vorn_CMU200.dll"

 private:
  void *handle_ = nullptr;
};

// The machine's name, or "station" when it has none.
std::string MachineName();
// The time now, UTC, as "2024-05-01T08:30:00Z".
std::string UtcNow();

}  // namespace vorn_host
