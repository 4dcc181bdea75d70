// Paths as the user types them, the same on every system.
#include <filesystem>

#include "os/os.h"

namespace vorn_host {

std::string ToolCommand(const std::string &name) {
  namespace fs = std::filesystem;
  const fs::path file = DynamicLibrary::besideExecutable(ExecutableFile(name).c_str());
  std::error_code error;
  const fs::path here = fs::current_path(error);
  const fs::path relative = error ? fs::path() : file.lexically_relative(here);
  if (relative.empty() || *relative.begin() == "..") return file.string();
  // A bare name would be looked for on the PATH.
  if (!relative.has_parent_path()) return (fs::path(".") / relative).string();
  return relative.string();
}

}  // namespace vorn_host
