#include "tester/tester_step.h"

namespace vorn {

int32_t QueryComplete(int32_t session, char *msg) {
  char response[256] = {};
  return RSCMU_Query(session, "*OPC?", response, 1, msg);
}

const Setting kNetworkSettings[5] = {
    {RSCMU_GSM_Sig_ConfNetwNSup, nullptr, 1, "RSCMU_GSM_Sig_ConfNetwNSup"},
    {RSCMU_GSM_Sig_ConfNetwSmodTraf, nullptr, 0, "RSCMU_GSM_Sig_ConfNetwSmodTraf"},
    {RSCMU_GSM_Sig_ConfNetwSmodBits, nullptr, 2, "RSCMU_GSM_Sig_ConfNetwSmodBits"},
    {RSCMU_GSM_Sig_ConfNetwIdenMcc, nullptr, 1, "RSCMU_GSM_Sig_ConfNetwIdenMcc"},
    {RSCMU_GSM_Sig_ConfNetwIdenMnc, nullptr, 1, "RSCMU_GSM_Sig_ConfNetwIdenMnc"},
};

bool AnyFails(Step &step, FailureReport report, int32_t sig, const Setting *settings, std::size_t count, char *msg) {
  for (std::size_t i = 0; i < count; ++i) {
    const Setting &s = settings[i];
    const int32_t status = s.intOperation != nullptr ? s.intOperation(sig, static_cast<int32_t>(s.value), msg)
                                                     : s.realOperation(sig, s.value, msg);
    if (report(step, status, s.label)) return true;
  }
  return false;
}

}  // namespace vorn
