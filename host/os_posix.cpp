#include <dlfcn.h>
#include <unistd.h>

#include <ctime>

#include "os.h"

namespace vorn_host {

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

bool DynamicLibrary::open(const std::string &path, std::string &error) {
  // A bare file name would send dlopen searching the system's folders.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char *reason = dlerror();
    error = reason != nullptr ? reason : "unknown loader error";
  }
  return handle_ != nullptr;
}

void *DynamicLibrary::symbol(const char *name) const {
  return handle_ == nullptr ? nullptr : dlsym(handle_, name);
}

std::string DynamicLibrary::besideExecutable(const char *fileName) {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return fileName;
  std::string dir(self, static_cast<std::size_t>(n));
  dir.erase(dir.find_last_of('/') + 1);
  return dir + fileName;
}

const char *DynamicLibrary::defaultFileName() { return "libVorn_CMU200.so"; }

std::string MachineName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "station";
  return name;
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace vorn_host
