// Mobile reset and close: the software reset that ends the phone's part of a
// run (optionally back into normal mode) and the close of its link.
#include "mobile/fails.h"
#include "outside/alldata.h"

namespace {

using vorn::Step;
using vorn::mobile::fails;

constexpr int32_t kRestartInNormalMode = 0;  // serial interface mode before a reset into normal mode

}  // namespace

extern "C" VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_MobReset(int32_t number, double *values,
                                                                         Vorn_CMU200_ResultName *names,
                                                                         char *errorText) {
  Step step(number, values, names, errorText);
  uint32_t handle = 0;
  if (dcGet_hMobile(&handle, step.errorText()) != 0) return step.failed();  // the container's text stands
  if (step.ReadInt("SwitchToNormal", 0) != 0 &&
      fails(step, DWD_set_serial_interface_mode(kRestartInNormalMode, handle), "DWD_set_serial_interface_mode")) {
    return step.failed();
  }
  if (fails(step, DWD_sw_reset(handle), "DWD_sw_reset")) return step.failed();
  step.setValue(1, 1.0);
  return step.succeeded();
}

extern "C" VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_MobClose(int32_t, double *values,
                                                                         Vorn_CMU200_ResultName *names,
                                                                         char *errorText) {
  Step step(vorn::NoParameters{}, values, names, errorText);
  uint32_t handle = 0;
  if (dcGet_hMobile(&handle, step.errorText()) != 0) return step.failed();  // the container's text stands
  // Whatever the close reports is handed to the host as a number, not a failure.
  step.setValue(1, DWD_close_com_port(handle));
  return step.succeeded();
}
