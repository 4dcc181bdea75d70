// The call on the current signalling session: traffic channel, the phone's
// power control level, and call end with the base system closed.
#include "Vorn_CMU200.h"
#include "frame/step.h"
#include "outside/rscmu.h"
#include "tester/fails.h"
#include "tester/tester_state.h"
#include "tester/tester_step.h"

namespace {

constexpr int32_t kEndCall = 4;
constexpr int32_t kSignallingOff = 0;

// A set command, then the completion query; the value is recorded only when both succeeded.
int32_t ChangeCall(int32_t number, double *values, Vorn_CMU200_ResultName *names, char *errorText, const char *key,
                   int32_t def, vorn::IntOperation command, const char *label, int32_t &recorded) {
  using vorn::tester::fails;
  vorn::Step step(number, values, names, errorText);
  const int32_t sig = vorn::testerState.sigSession;
  vorn::DriverMessage msg;
  const int32_t value = step.ReadInt(key, def);
  if (fails(step, command(sig, value, msg), label)) return step.failed();
  if (fails(step, vorn::QueryComplete(sig, msg), "RSCMU_Query")) return step.failed();
  recorded = value;
  step.setValue(1, 1.0);
  return step.succeeded();
}

}  // namespace

extern "C" VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_OBTChangeTCH(int32_t number, double *values,
                                                                             Vorn_CMU200_ResultName *names,
                                                                             char *errorText) {
  return ChangeCall(number, values, names, errorText, "TCH", 32, RSCMU_GSM_Sig_ProcSignTchChan,
                    "RSCMU_GSM_Sig_ProcSignTchChan", vorn::testerState.channel);
}

extern "C" VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_OBTChangeTXLevel(int32_t number, double *values,
                                                                                 Vorn_CMU200_ResultName *names,
                                                                                 char *errorText) {
  return ChangeCall(number, values, names, errorText, "TXLevel", 5, RSCMU_GSM_Sig_ProcSignMsPcl,
                    "RSCMU_GSM_Sig_ProcSignMsPcl", vorn::testerState.txLevel);
}

// Writes no field of the tester state: the handles stay as they are, and only
// the base system is closed.
extern "C" VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_OBTEndCall(int32_t number, double *values,
                                                                           Vorn_CMU200_ResultName *names,
                                                                           char *errorText) {
  using vorn::tester::fails;
  vorn::Step step(number, values, names, errorText);
  const vorn::TesterState &t = vorn::testerState;
  const int32_t sig = t.sigSession;
  vorn::DriverMessage msg;
  int32_t state = 0;
  if (fails(step, RSCMU_GSM_Sig_SensSignStat(sig, &state, msg), "RSCMU_GSM_Sig_SensSignStat")) return step.failed();
  if (fails(step, RSCMU_GSM_Sig_ProcSignAct(sig, kEndCall, msg), "RSCMU_GSM_Sig_ProcSignAct")) return step.failed();
  if (fails(step, RSCMU_GSM_Sig_ProcSignAct(sig, kSignallingOff, msg), "RSCMU_GSM_Sig_ProcSignAct"))
    return step.failed();
  if (fails(step, RSCMU_GSM_Sig_SensSignStat(sig, &state, msg), "RSCMU_GSM_Sig_SensSignStat")) return step.failed();
  if (fails(step, RSCMU_GSM_Sig_SensSignStat(sig, &state, msg), "RSCMU_GSM_Sig_SensSignStat")) return step.failed();
  if (fails(step, RSCMU_Close_Base(t.baseSession, msg), "RSCMU_Close_Base")) return step.failed();
  step.setValue(1, 1.0);
  return step.succeeded();
}
