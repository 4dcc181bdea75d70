// The host's data container (AllData): the three functions the library
// imports, over the path the host sets and the handle the mobile steps keep.
#include "station/alldata/container.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "alldata.h"

namespace {

struct Container {
  std::string path;
  std::optional<uint32_t> mobileHandle;
};

Container &container() {
  static Container instance;
  return instance;
}

alldata::Watcher watcher;

constexpr std::size_t kPathSize = 512;

// One call as the watcher sees it: its fault, if any, and the status returned.
class Watched {
 public:
  Watched(const char *operation, std::vector<std::string> args) {
    int64_t status = 0;
    if (watcher.begin != nullptr && watcher.begin(operation, args, &status)) fault_ = status;
  }
  bool faulted() const { return fault_.has_value(); }
  int32_t faultStatus() const { return static_cast<int32_t>(fault_.value_or(0)); }
  int32_t result(int32_t status) const {
    if (watcher.end != nullptr) watcher.end(status);
    return status;
  }

 private:
  std::optional<int64_t> fault_;
};

}  // namespace

namespace alldata {

void SetParameterFile(const std::string &path) { container().path = path; }
void Clear() { container() = Container(); }
void Watch(Watcher w) { watcher = w; }

}  // namespace alldata

extern "C" int32_t ALLDATA_CALL dcGet_ParaFileName(char *path, char *errorText) {
  (void)errorText;
  const Watched call("dcGet_ParaFileName", {});
  if (call.faulted()) return call.result(call.faultStatus());
  if (path == nullptr) return call.result(1);
  const std::string &stored = container().path;
  const std::size_t length = std::min(stored.size(), kPathSize - 1);
  std::memcpy(path, stored.data(), length);
  path[length] = '\0';
  return call.result(stored.empty() ? 1 : 0);
}

extern "C" int32_t ALLDATA_CALL dcGet_hMobile(uint32_t *handle, char *errorText) {
  const Watched call("dcGet_hMobile", {});
  const char *problem = nullptr;
  int32_t status = 1;
  if (call.faulted() && call.faultStatus() != 0) {
    problem = "AllData: mobile handle not available";
    status = call.faultStatus();
  } else if (!container().mobileHandle) {
    problem = "AllData: no mobile handle stored";
  }
  if (problem != nullptr) {
    if (errorText != nullptr) std::strcpy(errorText, problem);
    return call.result(status);
  }
  if (handle != nullptr) *handle = *container().mobileHandle;
  return call.result(0);
}

extern "C" int32_t ALLDATA_CALL dcSet_hMobile(uint32_t handle, char *errorText) {
  (void)errorText;
  const Watched call("dcSet_hMobile", {std::to_string(handle)});
  if (call.faulted()) return call.result(call.faultStatus());
  container().mobileHandle = handle;
  return call.result(0);
}
