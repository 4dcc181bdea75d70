// Power versus time: one power measurement on the call, five values and the
// call's description.
#include "Vorn_CMU200.h"
#include "frame/step.h"
#include "measure/call_name.h"
#include "outside/rscmu.h"
#include "tester/fails.h"
#include "tester/tester_state.h"
#include "tester/tester_step.h"

extern "C" VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_OBTPowervsTime(int32_t number, double *values,
                                                                               Vorn_CMU200_ResultName *names,
                                                                               char *errorText) {
  using vorn::tester::fails;
  vorn::Step step(number, values, names, errorText);
  const vorn::TesterState &t = vorn::testerState;
  const int32_t sig = t.sigSession;
  vorn::DriverMessage msg;
  if (fails(step, RSCMU_GSM_Sig_ConfPowMprContRep(sig, 1, 0, 0, msg), "RSCMU_GSM_Sig_ConfPowMprContRep"))
    return step.failed();
  if (fails(step, RSCMU_GSM_Sig_ConfPowMprCont(sig, 0, 10, msg), "RSCMU_GSM_Sig_ConfPowMprCont")) return step.failed();
  if (fails(step, RSCMU_GSM_Sig_InitPowMpr(sig, msg), "RSCMU_GSM_Sig_InitPowMpr")) return step.failed();

  // Preset, so a fetch that reports success without filling an output hands
  // back 0.0 rather than whatever the stack held; the flag's 0 then counts as
  // inside the template.
  double a3 = 0.0, a4 = 0.0, a6 = 0.0, a7 = 0.0, a9 = 0.0, a10 = 0.0, a11 = 0.0, a12 = 0.0;
  int32_t a5 = 0;
  int32_t templateFlag = 0;
  if (fails(step, RSCMU_GSM_Sig_FetcPowMpr(sig, 1, &a3, &a4, &a5, &a6, &a7, &templateFlag, &a9, &a10, &a11, &a12, msg),
            "RSCMU_GSM_Sig_FetcPowMpr"))
    return step.failed();

  step.setValue(1, a3);
  step.setValue(2, a10);  // arguments 9 and 10 land crosswise
  step.setValue(3, a9);
  step.setValue(4, a11);
  step.setValue(5, templateFlag == 0 ? 1.0 : 0.0);
  vorn::NameTheCall(step, t);
  return step.succeeded();
}
