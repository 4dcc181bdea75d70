// Mobile link and test-mode entry: opens the serial link to the phone, makes
// sure the phone answers (asking the operator to switch it on if it does
// not), brings it into test mode and stores the link handle for the later
// mobile steps.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "mobile/fails.h"
#include "outside/alldata.h"
#include "outside/winapi.h"

namespace {

using vorn::Step;
using vorn::mobile::fails;

constexpr uint32_t kLineSettleMs = 100;
constexpr uint32_t kRestartMs = 3000;
constexpr int32_t kV24Mode = 0;
constexpr int32_t kRestartInTestMode = 2;  // serial interface mode before a reset into test mode

// The number behind "COM", read as atoi reads it (blanks, a sign, digits, 0
// for none), held to 32 bits instead of overflowing.
int32_t PortNumber(const char *text) {
  const long value = std::strtol(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// V.24 mode, then the line's settling time. The status is not looked at: the
// link checks that follow show a line that is not set up.
void SettleLine(uint32_t handle) {
  DWD_set_v24_mode(kV24Mode, handle);
  Sleep(kLineSettleMs);
}

// A run of up to `checks` link checks, back to back, ending at the first the
// phone answers.
bool Answers(uint32_t handle, int checks) {
  for (int i = 0; i < checks; ++i) {
    if (DWD_check_comm_link(handle) != 0) return true;
  }
  return false;
}

// Writes the text of a link that no check got an answer on.
bool NoAnswer(Step &step) {
  step.writeText("DWD_check_comm_link Failed! ErrMsg:", DWD_get_last_error());
  return true;
}

struct Line {
  int32_t baud;
  int32_t dtr;
  int32_t rts;
  vorn::ParamText prefix;
};

// Everything after the port opened: the line set-up, the phone's answer and
// its test mode. True when the link did not come up (the text is written).
bool BringUpFails(Step &step, uint32_t handle, const Line &line) {
  // The line set-up's statuses are not looked at: the checks show a bad line.
  DWD_set_eep_cfg_filename(line.prefix.c_str(), handle);
  DWD_set_baud_rate(line.baud, handle);
  DWD_set_DTR(line.dtr, handle);
  DWD_set_RTS(line.rts, handle);
  SettleLine(handle);
  SettleLine(handle);

  if (!Answers(handle, 2)) {
    if (!Answers(handle, 1)) {
      MessageBoxA(nullptr, "Turn on phone!", "Information", vorn::kMessageBoxOk);  // result not looked at
    }
    SettleLine(handle);
    if (!Answers(handle, 4)) return NoAnswer(step);
  }

  uint8_t inTestMode = 0;
  if (fails(step, DWD_check_for_ptest(&inTestMode, handle), "DWD_check_for_ptest")) return true;
  if (inTestMode == 1) return false;
  // The mode change's and the reset's statuses are not looked at: the
  // checks after the restart show whether the switch worked.
  DWD_set_serial_interface_mode(kRestartInTestMode, handle);
  DWD_sw_reset(handle);
  Sleep(kRestartMs);
  SettleLine(handle);
  SettleLine(handle);
  if (!Answers(handle, 4)) return NoAnswer(step);
  if (fails(step, DWD_check_for_ptest(&inTestMode, handle), "DWD_check_for_ptest")) return true;
  if (inTestMode != 1) {
    step.writeText("DWD_check_for_ptest Fail to Switch!!!");
    return true;
  }
  return false;
}

}  // namespace

extern "C" VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_MobInit(int32_t number, double *values,
                                                                        Vorn_CMU200_ResultName *names,
                                                                        char *errorText) {
  Step step(number, values, names, errorText);
  const vorn::ParamText comPort = step.ReadString("ComPort", "");
  if (std::strncmp(comPort.c_str(), "COM", 3) != 0) return step.fail("Parameter Format mismatch!");
  const int32_t port = PortNumber(comPort.c_str() + 3);
  Line line;
  line.baud = step.ReadInt("BaudRate", 115200);
  line.dtr = step.ReadInt("DTR", 0);
  line.rts = step.ReadInt("RTS", 1);
  line.prefix = step.ReadString("Prefix", "ULC2");

  uint32_t handle = 0;
  if (fails(step, DWD_set_com_port(port, &handle), "DWD_set_com_port")) return step.failed();
  // A link that did not come up is closed again, after its failure text read
  // the last error: a serial port is exclusive, and the next phone needs it.
  if (BringUpFails(step, handle, line)) {
    DWD_close_com_port(handle);  // status not looked at
    return step.failed();
  }

  dcSet_hMobile(handle, step.errorText());  // result not looked at
  step.setValue(1, 1.0);
  // Bounded to its 200-character entry: a long prefix is cut, terminated.
  step.setName(1, "COM%d, %d, %s", port, line.baud, line.prefix.c_str());
  return step.succeeded();
}
