// Entry points of the VISA stand-in (VISA32): the five operations of the
// standard VISA C interface that the library uses.
#include <string>

#include "station/station.h"
#include "visa.h"
#include "visa/sessions.h"
#include "visa/status.h"

namespace {

ViStatus FaultStatus(const station::Entry &call) { return static_cast<ViStatus>(call.faultStatus()); }

// The bytes of a write as the journal keeps them.
std::string Text(const unsigned char *buffer, ViUInt32 count) {
  if (buffer == nullptr) return station::arg(static_cast<const char *>(nullptr));
  return std::string(reinterpret_cast<const char *>(buffer), count);
}

}  // namespace

extern "C" ViStatus VISA_CALL viOpenDefaultRM(ViSession *resourceManager) {
  station::Entry call("viOpenDefaultRM", {});
  if (resourceManager != nullptr) *resourceManager = VI_NULL;
  if (call.faulted()) return call.result(FaultStatus(call));
  if (resourceManager == nullptr) return call.result(VI_ERROR_USER_BUF);
  *resourceManager = visa::sessions().openResourceManager();
  return call.result(VI_SUCCESS);
}

extern "C" ViStatus VISA_CALL viOpen(ViSession resourceManager, const char *resource, ViAccessMode mode,
                                     ViUInt32 openTimeout, ViSession *instrument) {
  station::Entry call(
      "viOpen", {station::arg(resourceManager), station::arg(resource), station::arg(mode), station::arg(openTimeout)});
  if (instrument != nullptr) *instrument = VI_NULL;
  if (call.faulted()) return call.result(FaultStatus(call));
  if (instrument == nullptr) return call.result(VI_ERROR_USER_BUF);
  return call.result(visa::sessions().open(resourceManager, resource, mode, *instrument));
}

extern "C" ViStatus VISA_CALL viClear(ViSession instrument) {
  station::Entry call("viClear", {station::arg(instrument)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(visa::sessions().clear(instrument));
}

extern "C" ViStatus VISA_CALL viWrite(ViSession instrument, const unsigned char *buffer, ViUInt32 count,
                                      ViUInt32 *written) {
  station::Entry call("viWrite", {station::arg(instrument), Text(buffer, count), station::arg(count)});
  if (written != nullptr) *written = 0;  // a caller may pass no count (VI_NULL)
  if (call.faulted()) return call.result(FaultStatus(call));
  const ViStatus status = visa::sessions().write(instrument, buffer, count);
  if (status == VI_SUCCESS && written != nullptr) *written = count;
  return call.result(status);
}

extern "C" ViStatus VISA_CALL viClose(ViObject object) {
  station::Entry call("viClose", {station::arg(object)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(visa::sessions().close(object));
}

// vorn-host asks each equipment library for this: answered, it is the
// project's stand-in, with the simulated station behind it.
extern "C" int32_t VornStandIn_VISA32(void) { return 1; }
