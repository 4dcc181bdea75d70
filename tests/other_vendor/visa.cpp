// The "other vendor" VISA library: the same exports as the one the library
// links; every resource opens and every write goes out whole, every close succeeds. It knows
// nothing of the simulated station.
#include "visa.h"

namespace {
ViSession nextSession = 0x100;
}  // namespace

extern "C" {

ViStatus VISA_CALL viOpenDefaultRM(ViSession *resourceManager) {
  if (resourceManager != nullptr) *resourceManager = ++nextSession;
  return VI_SUCCESS;
}
ViStatus VISA_CALL viOpen(ViSession, const char *, ViAccessMode, ViUInt32, ViSession *instrument) {
  if (instrument != nullptr) *instrument = ++nextSession;
  return VI_SUCCESS;
}
ViStatus VISA_CALL viClear(ViSession) { return VI_SUCCESS; }
ViStatus VISA_CALL viWrite(ViSession, const unsigned char *, ViUInt32 count, ViUInt32 *written) {
  if (written != nullptr) *written = count;
  return VI_SUCCESS;
}
ViStatus VISA_CALL viClose(ViObject) { return VI_SUCCESS; }

}  // extern "C"
