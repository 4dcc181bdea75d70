// Band handover: opens the target band's signalling session the first time
// the band is wanted, then hands the call over from the current session to it.
#include "Vorn_CMU200.h"
#include "frame/step.h"
#include "outside/rscmu.h"
#include "outside/winapi.h"
#include "tester/fails.h"
#include "tester/tester_state.h"
#include "tester/tester_step.h"

namespace {

constexpr int32_t kSessionTimeoutMs = 20000;
constexpr int32_t kPcsBandCode = 3;
constexpr uint32_t kPcsSettleMs = 3000;  // the 1900 target needs time before the command

// A band's own session: a fresh secondary address bound to its signalling
// function, the session, the network settings and the connectors. True when
// an operation failed (the text is written).
bool SetUpBandFails(vorn::Step &step, vorn::TesterState &t, const vorn::BandInfo &band, char *msg) {
  using vorn::tester::failsCoded;
  if (failsCoded(step, RSCMU_Base_SystRemAddrSec(t.baseSession, t.nextSecondaryAddress, band.functionGroup, msg),
                 "RSCMU_Base_SystRemAddrSec"))
    return true;
  t.nextSecondaryAddress = vorn::NextSecondaryAddress(t.nextSecondaryAddress);
  // Only a session that opened enters the table: a failed open leaves the band
  // without a session, so the next handover to it sets it up again.
  int32_t opened = vorn::kNoSession;
  if (failsCoded(step, RSCMU_Init_GSM_Sig(t.baseSession, &opened, band.bandCode, msg), "RSCMU_Init_GSM_Sig"))
    return true;
  const int32_t target = t.bandSessions[band.bandCode] = opened;
  if (failsCoded(step, vorn::QueryComplete(target, msg), "RSCMU_Query")) return true;
  if (vorn::AnyFails(step, failsCoded, target, vorn::kNetworkSettings, msg)) return true;
  if (failsCoded(step, RSCMU_SetTimeoutAttribute(target, kSessionTimeoutMs, msg), "RSCMU_SetTimeoutAttribute"))
    return true;
  if (failsCoded(step, RSCMU_GSM_Sig_Inp(target, t.rfPortIndex, msg), "RSCMU_GSM_Sig_Inp")) return true;
  if (failsCoded(step, RSCMU_GSM_Sig_Outp(target, t.rfPortIndex, msg), "RSCMU_GSM_Sig_Outp")) return true;
  return false;
}

}  // namespace

extern "C" VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_OBTHandOver(int32_t number, double *values,
                                                                            Vorn_CMU200_ResultName *names,
                                                                            char *errorText) {
  using vorn::tester::failsCoded;
  vorn::Step step(number, values, names, errorText);
  vorn::TesterState &t = vorn::testerState;
  vorn::DriverMessage msg;

  const vorn::BandInfo *band = vorn::FindBand(step.ReadInt("Band", 900));
  if (band == nullptr) return step.fail("Band Not Support!");
  if (t.bandSessions[band->bandCode] == vorn::kNoSession && SetUpBandFails(step, t, *band, msg)) return step.failed();

  const int32_t current = t.sigSession;
  const int32_t target = t.bandSessions[band->bandCode];
  if (band->bandIndicator != vorn::kNoBandIndicator &&
      failsCoded(step, RSCMU_GSM_Sig_ConfNetwSystBandInd(current, band->bandIndicator, msg),
                 "RSCMU_GSM_Sig_ConfNetwSystBandInd"))
    return step.failed();
  if (failsCoded(step, RSCMU_GSM_Sig_ConfHandTarg(current, band->handoverTarget, msg), "RSCMU_GSM_Sig_ConfHandTarg"))
    return step.failed();
  if (failsCoded(step, vorn::QueryComplete(target, msg), "RSCMU_Query")) return step.failed();
  if (band->bandCode == kPcsBandCode) Sleep(kPcsSettleMs);
  if (failsCoded(step, RSCMU_GSM_Sig_HandOver(current, target, msg), "RSCMU_GSM_Sig_HandOver")) return step.failed();
  t.sigSession = target;
  if (failsCoded(step, vorn::QueryComplete(t.sigSession, msg), "RSCMU_Query")) return step.failed();
  int32_t state = 0;
  if (failsCoded(step, RSCMU_GSM_Sig_SensSignStat(t.sigSession, &state, msg), "RSCMU_GSM_Sig_SensSignStat"))
    return step.failed();

  step.setValue(1, 1.0);
  vorn::SetBandLabel(t, *band);
  step.setName(1, "Band=%s;Chan=%d;TXLevel=%d", t.bandLabel, static_cast<int>(t.channel), static_cast<int>(t.txLevel));
  return step.succeeded();
}
