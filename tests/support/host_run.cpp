#include "support/host_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vorn_test {

#ifdef VORN_HOST_FILE
HostRun RunHost(const std::string &args, int timeoutSeconds) {
  const std::string dir = TempDir();
  const std::string limit = timeoutSeconds > 0 ? "timeout -k 2 " + std::to_string(timeoutSeconds) + " " : "";
  // In a folder of its own: the results database it keeps by default lands there.
  const std::string command = "cd " + dir + " && " + limit + std::string(VORN_HOST_FILE) + " " + args +
                              " </dev/null >" + dir + "/out 2>" + dir + "/err";
  const int raw = std::system(command.c_str());
  HostRun r;
  if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
  r.out = ReadText(dir + "/out");
  r.err = ReadText(dir + "/err");
  RemoveTempDir(dir);
  return r;
}

std::string BuiltFile(const std::string &name) {
  const std::string host = VORN_HOST_FILE;
  return host.substr(0, host.find_last_of('/') + 1) + name;
}
#endif

constexpr char kTempPrefix[] = "/tmp/vorn-host-";

std::string TempDir() {
  char name[] = "/tmp/vorn-host-XXXXXX";
  const char *made = mkdtemp(name);
  return made == nullptr ? std::string("/tmp") : std::string(made);
}

void RemoveTempDir(const std::string &dir) {
  if (dir.rfind(kTempPrefix, 0) != 0) return;
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}

std::string ReadText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace vorn_test
