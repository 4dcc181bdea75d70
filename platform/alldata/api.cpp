// The host data container stand-in (AllData): the parameter file path the host
// sets and the mobile link handle the mobile steps store and fetch.
#include <cstring>
#include <optional>
#include <string>

#include "alldata/container.h"
#include "alldata.h"
#include "station/station.h"

namespace {

struct Container {
  std::string path;
  std::optional<uint32_t> mobileHandle;
};

Container &container() {
  static Container instance;
  return instance;
}

constexpr std::size_t kPathSize = 512;

}  // namespace

namespace alldata {

void SetParameterFile(const std::string &path) { container().path = path; }
void Clear() { container() = Container(); }

}  // namespace alldata

extern "C" int32_t ALLDATA_CALL dcGet_ParaFileName(char *path, char *errorText) {
  (void)errorText;
  station::Entry call("dcGet_ParaFileName", {});
  if (call.faulted()) return call.result(static_cast<int32_t>(call.faultStatus()));
  if (path == nullptr) return call.result(1);
  const std::string &stored = container().path;
  const std::size_t length = std::min(stored.size(), kPathSize - 1);
  std::memcpy(path, stored.data(), length);
  path[length] = '\0';
  return call.result(stored.empty() ? 1 : 0);
}

extern "C" int32_t ALLDATA_CALL dcGet_hMobile(uint32_t *handle, char *errorText) {
  station::Entry call("dcGet_hMobile", {});
  const char *problem = nullptr;
  int32_t status = 1;
  if (call.faulted() && call.faultStatus() != 0) {
    problem = "AllData: mobile handle not available";
    status = static_cast<int32_t>(call.faultStatus());
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
  station::Entry call("dcSet_hMobile", {station::arg(handle)});
  if (call.faulted()) return call.result(static_cast<int32_t>(call.faultStatus()));
  container().mobileHandle = handle;
  return call.result(0);
}
