// The "other vendor" phone I/O library: the same exports as the one the
// library links; the phone answers at once, is in test mode and reaches idle.
// With VORN_OTHER_VENDOR_PHONE=off-until-prompt in the environment it is off
// when a link comes up and the first three checks find nothing, so that the
// library asks its operator to turn it on; it answers from the next check, as
// a phone switched on while the prompt was open. It knows nothing of the
// simulated station.
#include "dwdio.h"

#include <cstdlib>
#include <cstring>

namespace {
constexpr uint8_t kDone = 1;
constexpr uint8_t kNoAnswer = 0;
constexpr int kChecksWhileOff = 3;
uint32_t nextHandle = 0x5100;
int checksUnanswered = 0;

bool OffUntilPrompt() {
  const char *mode = std::getenv("VORN_OTHER_VENDOR_PHONE");
  return mode != nullptr && std::strcmp(mode, "off-until-prompt") == 0;
}
}  // namespace

extern "C" {

uint8_t DWD_CALL DWD_set_com_port(int32_t, uint32_t *handle) {
  if (handle != nullptr) *handle = ++nextHandle;
  checksUnanswered = OffUntilPrompt() ? kChecksWhileOff : 0;
  return kDone;
}
uint8_t DWD_CALL DWD_set_eep_cfg_filename(const char *, uint32_t) { return kDone; }
uint8_t DWD_CALL DWD_set_baud_rate(int32_t, uint32_t) { return kDone; }
uint8_t DWD_CALL DWD_set_DTR(int32_t, uint32_t) { return kDone; }
uint8_t DWD_CALL DWD_set_RTS(int32_t, uint32_t) { return kDone; }
uint8_t DWD_CALL DWD_set_v24_mode(int32_t, uint32_t) { return kDone; }
uint8_t DWD_CALL DWD_check_comm_link(uint32_t) {
  if (checksUnanswered == 0) return kDone;
  --checksUnanswered;
  return kNoAnswer;
}
uint8_t DWD_CALL DWD_check_for_ptest(uint8_t *inTestMode, uint32_t) {
  if (inTestMode != nullptr) *inTestMode = 1;
  return kDone;
}
uint8_t DWD_CALL DWD_set_serial_interface_mode(int32_t, uint32_t) { return kDone; }
uint8_t DWD_CALL DWD_sw_reset(uint32_t) { return kDone; }
uint8_t DWD_CALL DWD_set_test_mode(int32_t, int32_t, uint32_t) { return kDone; }
uint8_t DWD_CALL DWD_dut_in_idle(uint8_t *idle, uint32_t) {
  if (idle != nullptr) *idle = 1;
  return kDone;
}
uint8_t DWD_CALL DWD_setup_emergency_call(uint32_t) { return kDone; }
uint8_t DWD_CALL DWD_close_com_port(uint32_t) { return kDone; }
const char *DWD_CALL DWD_get_last_error(void) { return "no error"; }

}  // extern "C"
