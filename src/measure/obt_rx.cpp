// Receive level and quality: the traffic channel set to the cell power, then
// the phone's receiver report.
#include "Vorn_CMU200.h"
#include "frame/step.h"
#include "measure/call_name.h"
#include "outside/rscmu.h"
#include "outside/winapi.h"
#include "tester/fails.h"
#include "tester/tester_state.h"
#include "tester/tester_step.h"

namespace {

constexpr uint32_t kSettleMs = 1500;  // the call settles at the new level

// "Delay" in milliseconds; a negative value means no wait, not a wait of 49 days.
uint32_t DelayMs(int32_t delay) { return delay < 0 ? 0u : static_cast<uint32_t>(delay); }

}  // namespace

extern "C" VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_OBTRXLevelandQuality(int32_t number, double *values,
                                                                                     Vorn_CMU200_ResultName *names,
                                                                                     char *errorText) {
  using vorn::tester::fails;
  vorn::Step step(number, values, names, errorText);
  const vorn::TesterState &t = vorn::testerState;
  const int32_t sig = t.sigSession;
  vorn::DriverMessage msg;
  const double cellPower = step.ReadFloat("CellPower", -100.0f);
  if (fails(step, RSCMU_GSM_Sig_ProcBssTchLevUtim(sig, cellPower, msg), "RSCMU_GSM_Sig_ProcBssTchLevUtim"))
    return step.failed();
  if (fails(step, vorn::QueryComplete(sig, msg), "RSCMU_Query")) return step.failed();
  Sleep(kSettleMs);
  int32_t rxLevel = 0;
  if (fails(step, RSCMU_GSM_Sig_SensRrepRxl(sig, &rxLevel, msg), "RSCMU_GSM_Sig_SensRrepRxl")) return step.failed();
  if (fails(step, vorn::QueryComplete(sig, msg), "RSCMU_Query")) return step.failed();
  Sleep(DelayMs(step.ReadInt("Delay", 100)));
  int32_t rxQuality = 0;
  if (fails(step, RSCMU_GSM_Sig_SensRrepRxq(sig, &rxQuality, msg), "RSCMU_GSM_Sig_SensRrepRxq")) return step.failed();

  step.setValue(1, static_cast<double>(rxLevel));
  step.setValue(2, static_cast<double>(rxQuality));
  vorn::NameTheCall(step, t);
  return step.succeeded();
}
