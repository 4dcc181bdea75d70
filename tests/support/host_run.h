// Runs the built vorn-host as a station engineer would, capturing what it
// prints and its exit status.
#pragma once

#include <string>

namespace vorn_test {

struct HostRun {
  int status = -1;  // the exit status, -1 when it did not exit normally
  std::string out;
  std::string err;
};

// args is appended to the command line as it stands (shell words); the run's
// working folder is a fresh one, removed afterwards, so paths in args are
// whole paths. A run
// that outlasts timeoutSeconds (when given) is killed and gives status -1
// or 124: a hang fails the test instead of stopping the suite.
HostRun RunHost(const std::string &args, int timeoutSeconds = 0);
// A fresh folder under /tmp, and its removal with all it holds (only a
// folder TempDir made is removed).
std::string TempDir();
void RemoveTempDir(const std::string &dir);
// A file of the build beside vorn-host (a library, a stand-in).
std::string BuiltFile(const std::string &name);
std::string ReadText(const std::string &path);

}  // namespace vorn_test
