// The "other vendor" CMU200 base system driver: the same exports as the
// driver the library links, every call a success, the queries answered as a
// tester that has finished each command. It knows nothing of the simulated
// station: vorn-host is to take it for real equipment.
#include <cstring>

#include "rscmu.h"

namespace {
int32_t nextBase = 0x2A00;
}  // namespace

extern "C" {

int32_t RSCMU_CALL RSCMU_Init_Base(int32_t *base, int32_t, int32_t, int32_t, int32_t, int32_t, char *) {
  if (base != nullptr) *base = ++nextBase;
  return 0;
}
int32_t RSCMU_CALL RSCMU_Close_Base(int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_Base_SystRemAddrSec(int32_t, int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_Base_RemTraceDisplay(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_Base_SystOptInf(int32_t, char *optionText, char *) {
  if (optionText != nullptr) std::strcpy(optionText, "K21,K22,K23,K24,B21");
  return 0;
}
int32_t RSCMU_CALL RSCMU_Base_ConfUserCorrLossTablLine(int32_t, int32_t, int32_t, double, int32_t, double, int32_t,
                                                       double, int32_t, double, int32_t, double, char *) {
  return 0;
}
int32_t RSCMU_CALL RSCMU_Base_ConfUserCorrLossTabl(int32_t, char *, char *, char *, char *, char *, char *, char *,
                                                   char *, char *, char *, char *) {
  return 0;
}
int32_t RSCMU_CALL RSCMU_Base_ConfUserCorrLossTablEnab(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_Query(int32_t, const char *query, char *response, int32_t, char *) {
  if (response == nullptr) return 0;
  // "*OPC?": every command is complete.
  std::strcpy(response, query != nullptr && std::strcmp(query, "*OPC?") == 0 ? "1" : "0");
  return 0;
}
int32_t RSCMU_CALL RSCMU_SetTimeoutAttribute(int32_t, int32_t, char *) { return 0; }

}  // extern "C"
