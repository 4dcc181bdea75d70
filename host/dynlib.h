// The one place the runner touches the platform's loader: opening the library
// by its file and finding an export by its plain name. dynlib_posix.cpp does
// it with dlopen and dlsym; a Windows build gives the same three functions
// with LoadLibraryA and GetProcAddress.
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

}  // namespace vorn_host
