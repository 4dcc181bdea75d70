// Emergency call origination: the phone's test mode on the cell's broadcast
// channel, the wait for idle, and the emergency call the tester's cell takes.
#include "mobile/fails.h"
#include "outside/alldata.h"
#include "outside/winapi.h"

namespace {

using vorn::Step;
using vorn::mobile::fails;

constexpr int32_t kTestMode = 1;
constexpr int kIdleAttempts = 20;
constexpr uint32_t kIdlePollMs = 200;
constexpr uint32_t kCallSetUpMs = 2000;

}  // namespace

extern "C" VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_MakeCall(int32_t number, double *values,
                                                                         Vorn_CMU200_ResultName *names,
                                                                         char *errorText) {
  Step step(number, values, names, errorText);
  const int32_t bcch = step.ReadInt("BCCH", 20);
  uint32_t handle = 0;
  if (dcGet_hMobile(&handle, step.errorText()) != 0) return step.failed();  // the container's text stands

  if (fails(step, DWD_set_test_mode(kTestMode, bcch, handle), "DWD_set_test_mode")) return step.failed();
  uint8_t idle = 0;
  for (int attempt = 0; attempt < kIdleAttempts; ++attempt) {
    if (fails(step, DWD_dut_in_idle(&idle, handle), "DWD_dut_in_idle")) return step.failed();
    if (idle == 1) break;
    Sleep(kIdlePollMs);
  }
  if (idle != 1) {
    step.setValue(1, 0.0);  // a finding, not a failure: the phone never reported idle
    return step.succeeded();
  }
  if (fails(step, DWD_setup_emergency_call(handle), "DWD_setup_emergency_call")) return step.failed();
  Sleep(kCallSetUpMs);
  step.setValue(1, 1.0);
  return step.succeeded();
}
