// The "other vendor" phone I/O library: the same exports as the one the
// library links; the phone answers at once, is in test mode and reaches idle.
// It knows nothing of the simulated station.
#include "dwdio.h"

namespace {
constexpr uint8_t kDone = 1;
uint32_t nextHandle = 0x5100;
}  // namespace

extern "C" {

uint8_t DWD_CALL DWD_set_com_port(int32_t, uint32_t *handle) {
  if (handle != nullptr) *handle = ++nextHandle;
  return kDone;
}
uint8_t DWD_CALL DWD_set_eep_cfg_filename(const char *, uint32_t) { return kDone; }
uint8_t DWD_CALL DWD_set_baud_rate(int32_t, uint32_t) { return kDone; }
uint8_t DWD_CALL DWD_set_DTR(int32_t, uint32_t) { return kDone; }
uint8_t DWD_CALL DWD_set_RTS(int32_t, uint32_t) { return kDone; }
uint8_t DWD_CALL DWD_set_v24_mode(int32_t, uint32_t) { return kDone; }
uint8_t DWD_CALL DWD_check_comm_link(uint32_t) { return kDone; }
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
