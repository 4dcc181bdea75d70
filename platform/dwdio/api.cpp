// Entry points of the phone I/O library stand-in (DWDIO): each journals the
// call, lets the fault script decide its status, and otherwise asks the
// simulated phone (platform/station/phone.cpp).
#include "dwdio.h"
#include "station/station.h"

namespace {

station::Phone &phone() { return station::station().phone; }

// A status the fault script gave the call: the phone is not asked, and the
// last error says the status was scripted.
uint8_t Scripted(station::Entry &call, const char *op) {
  const auto status = static_cast<uint8_t>(call.faultStatus());
  phone().scriptedStatus(op, status);
  return call.result(status);
}

}  // namespace

extern "C" uint8_t DWD_CALL DWD_set_com_port(int32_t port, uint32_t *handle) {
  station::Entry call("DWD_set_com_port", {station::arg(port)});
  if (call.faulted()) return Scripted(call, "DWD_set_com_port");
  uint32_t opened = 0;
  const uint8_t status = phone().openPort(port, opened);
  if (status == station::Phone::kDone && handle != nullptr) *handle = opened;
  return call.result(status);
}

extern "C" uint8_t DWD_CALL DWD_set_eep_cfg_filename(const char *config, uint32_t handle) {
  station::Entry call("DWD_set_eep_cfg_filename", {station::arg(config), station::arg(handle)});
  if (call.faulted()) return Scripted(call, "DWD_set_eep_cfg_filename");
  return call.result(phone().setConfigFile(config, handle));
}

extern "C" uint8_t DWD_CALL DWD_set_baud_rate(int32_t baud, uint32_t handle) {
  station::Entry call("DWD_set_baud_rate", {station::arg(baud), station::arg(handle)});
  if (call.faulted()) return Scripted(call, "DWD_set_baud_rate");
  return call.result(phone().setBaudRate(baud, handle));
}

extern "C" uint8_t DWD_CALL DWD_set_DTR(int32_t level, uint32_t handle) {
  station::Entry call("DWD_set_DTR", {station::arg(level), station::arg(handle)});
  if (call.faulted()) return Scripted(call, "DWD_set_DTR");
  return call.result(phone().setDtr(level, handle));
}

extern "C" uint8_t DWD_CALL DWD_set_RTS(int32_t level, uint32_t handle) {
  station::Entry call("DWD_set_RTS", {station::arg(level), station::arg(handle)});
  if (call.faulted()) return Scripted(call, "DWD_set_RTS");
  return call.result(phone().setRts(level, handle));
}

extern "C" uint8_t DWD_CALL DWD_set_v24_mode(int32_t mode, uint32_t handle) {
  station::Entry call("DWD_set_v24_mode", {station::arg(mode), station::arg(handle)});
  if (call.faulted()) return Scripted(call, "DWD_set_v24_mode");
  return call.result(phone().setV24Mode(mode, handle));
}

extern "C" uint8_t DWD_CALL DWD_check_comm_link(uint32_t handle) {
  station::Entry call("DWD_check_comm_link", {station::arg(handle)});
  if (call.faulted()) return Scripted(call, "DWD_check_comm_link");
  return call.result(phone().checkLink(handle));
}

extern "C" uint8_t DWD_CALL DWD_check_for_ptest(uint8_t *inTestMode, uint32_t handle) {
  station::Entry call("DWD_check_for_ptest", {station::arg(handle)});
  if (call.faulted()) return Scripted(call, "DWD_check_for_ptest");
  uint8_t flag = 0;
  const uint8_t status = phone().queryTestMode(flag, handle);
  if (status == station::Phone::kDone && inTestMode != nullptr) *inTestMode = flag;
  return call.result(status);
}

extern "C" uint8_t DWD_CALL DWD_set_serial_interface_mode(int32_t mode, uint32_t handle) {
  station::Entry call("DWD_set_serial_interface_mode", {station::arg(mode), station::arg(handle)});
  if (call.faulted()) return Scripted(call, "DWD_set_serial_interface_mode");
  return call.result(phone().setSerialInterfaceMode(mode, handle));
}

extern "C" uint8_t DWD_CALL DWD_sw_reset(uint32_t handle) {
  station::Entry call("DWD_sw_reset", {station::arg(handle)});
  if (call.faulted()) return Scripted(call, "DWD_sw_reset");
  return call.result(phone().softwareReset(handle));
}

extern "C" uint8_t DWD_CALL DWD_set_test_mode(int32_t mode, int32_t bcch, uint32_t handle) {
  station::Entry call("DWD_set_test_mode", {station::arg(mode), station::arg(bcch), station::arg(handle)});
  if (call.faulted()) return Scripted(call, "DWD_set_test_mode");
  return call.result(phone().setTestMode(mode, bcch, handle));
}

extern "C" uint8_t DWD_CALL DWD_dut_in_idle(uint8_t *idle, uint32_t handle) {
  station::Entry call("DWD_dut_in_idle", {station::arg(handle)});
  if (call.faulted()) return Scripted(call, "DWD_dut_in_idle");
  uint8_t flag = 0;
  const uint8_t status = phone().queryIdle(flag, handle);
  if (status == station::Phone::kDone && idle != nullptr) *idle = flag;
  return call.result(status);
}

extern "C" uint8_t DWD_CALL DWD_setup_emergency_call(uint32_t handle) {
  station::Entry call("DWD_setup_emergency_call", {station::arg(handle)});
  if (call.faulted()) return Scripted(call, "DWD_setup_emergency_call");
  return call.result(phone().setupEmergencyCall(handle));
}

extern "C" uint8_t DWD_CALL DWD_close_com_port(uint32_t handle) {
  station::Entry call("DWD_close_com_port", {station::arg(handle)});
  if (call.faulted()) return Scripted(call, "DWD_close_com_port");
  return call.result(phone().closePort(handle));
}

// Never null; the text stays valid until the next operation. The fault
// script has no say here: the call hands out a text, not a status.
extern "C" const char *DWD_CALL DWD_get_last_error(void) {
  station::Entry call("DWD_get_last_error", {});
  call.result(0);
  return phone().lastError();
}

// vorn-host asks each equipment library for this: answered, it is the
// project's stand-in, with the simulated station behind it.
extern "C" int32_t VornStandIn_DWDIO(void) { return 1; }
