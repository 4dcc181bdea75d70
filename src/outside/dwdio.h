// The phone's I/O library (DWDIO): the serial link to the phone under test.
// Statuses are bytes; the link handle is an opaque 32-bit value issued by
// DWD_set_com_port and passed last to every other operation.
#pragma once

#include <cstdint>

#include "callconv.h"

extern "C" {
uint8_t DWD_CALL DWD_set_com_port(int32_t port, uint32_t *handle);
uint8_t DWD_CALL DWD_set_eep_cfg_filename(const char *config, uint32_t handle);
uint8_t DWD_CALL DWD_set_baud_rate(int32_t baud, uint32_t handle);
uint8_t DWD_CALL DWD_set_DTR(int32_t level, uint32_t handle);
uint8_t DWD_CALL DWD_set_RTS(int32_t level, uint32_t handle);
uint8_t DWD_CALL DWD_set_v24_mode(int32_t mode, uint32_t handle);
uint8_t DWD_CALL DWD_check_comm_link(uint32_t handle);
uint8_t DWD_CALL DWD_check_for_ptest(uint8_t *inTestMode, uint32_t handle);
uint8_t DWD_CALL DWD_set_serial_interface_mode(int32_t mode, uint32_t handle);
uint8_t DWD_CALL DWD_sw_reset(uint32_t handle);
uint8_t DWD_CALL DWD_set_test_mode(int32_t mode, int32_t bcch, uint32_t handle);
uint8_t DWD_CALL DWD_dut_in_idle(uint8_t *idle, uint32_t handle);
uint8_t DWD_CALL DWD_setup_emergency_call(uint32_t handle);
uint8_t DWD_CALL DWD_close_com_port(uint32_t handle);
const char *DWD_CALL DWD_get_last_error(void);
}
