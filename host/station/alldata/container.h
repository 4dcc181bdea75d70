// The host's data container (AllData), as vorn-host provides it: the parameter
// file path the host sets and the mobile link handle the mobile steps store
// and fetch. It stands on nothing but itself; a watcher may see its calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace alldata {

// The parameter file path that dcGet_ParaFileName hands out.
void SetParameterFile(const std::string &path);
// Forgets the path and the mobile link handle (the watcher stays).
void Clear();

// Who sees each of the container's calls: begin with the operation's name and
// its inputs as text, before the call is answered; true, with a status, makes
// the call fail with that status. end with the status the call returns. The
// simulated station journals and fault-scripts the calls through it.
struct Watcher {
  bool (*begin)(const char *operation, const std::vector<std::string> &args, int64_t *status) = nullptr;
  void (*end)(int64_t status) = nullptr;
};
// Both null: no one watches.
void Watch(Watcher watcher);

}  // namespace alldata
