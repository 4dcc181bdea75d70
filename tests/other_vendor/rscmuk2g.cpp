// The "other vendor" CMU200 GSM signalling driver: the same exports as the
// driver the library links, every call a success, and measurements of a
// good phone: its nominal power for the band and the level in use, a burst
// inside the template, a spectrum well inside the GSM masks, RXLEV 11 and
// RXQUAL 0. It knows nothing of the simulated station.
#include <map>

#include "rscmu.h"

namespace {

constexpr int32_t kDcsBandCode = 2;
constexpr int32_t kPcsBandCode = 3;
constexpr int32_t kSignallingOn = 2;  // the signalling state of a cell on

std::map<int32_t, int32_t> bandOfSession;
int32_t nextSession = 0x3100;
int32_t powerControlLevel = 5;

double NominalPowerDbm(int32_t session) {
  const auto it = bandOfSession.find(session);
  const int32_t band = it == bandOfSession.end() ? 1 : it->second;
  const bool high = band == kDcsBandCode || band == kPcsBandCode;
  return (high ? 30.0 : 43.0) - 2.0 * powerControlLevel;
}

// Lower offsets below the carrier at index 11 and above it; switching at 27.
constexpr double kModulationDb[11] = {0.2, -34.0, -37.0, -66.0, -68.0, -69.0, -70.0, -71.0, -72.0, -72.5, -73.0};
constexpr double kSwitchingDbm[4] = {-25.0, -28.0, -30.0, -32.0};

}  // namespace

extern "C" {

int32_t RSCMU_CALL RSCMU_Init_GSM_Sig(int32_t, int32_t *sig, int32_t bandCode, char *) {
  const int32_t session = ++nextSession;
  bandOfSession[session] = bandCode;
  if (sig != nullptr) *sig = session;
  return 0;
}
int32_t RSCMU_CALL RSCMU_GSM_Sig_HandOver(int32_t, int32_t, char *) { return 0; }

int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwNSup(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwSmodTraf(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwSmodBits(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwIdenMcc(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwIdenMnc(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwSystBandInd(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_Inp(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_Outp(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssCchMode(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssCchChan(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssPdatMslMtim(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssTchTim(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssMslLmod(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfMssCchPcl(int32_t, int32_t level, char *) {
  powerControlLevel = level;
  return 0;
}
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfHandTarg(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ProcSignAct(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ProcSignTchChan(int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ProcSignMsPcl(int32_t, int32_t level, char *) {
  powerControlLevel = level;
  return 0;
}

int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssCchLevAbs(int32_t, double, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssTchLevUtim(int32_t, double, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfRxqContAgct(int32_t, double, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ProcBssTchLevUtim(int32_t, double, char *) { return 0; }

int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssMslSconfInd(int32_t, int32_t, double, int32_t, double, int32_t, double, int32_t,
                                                    double, int32_t, double, int32_t, double, int32_t, double, int32_t,
                                                    double, char *) {
  return 0;
}
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfMssMslSconf(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                                 int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                                 int32_t, char *) {
  return 0;
}

int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecModCont(int32_t, int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecSwitCont(int32_t, int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecModContMpo(int32_t, int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecSwitContMpo(int32_t, int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfPowMprCont(int32_t, int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecModContRep(int32_t, int32_t, int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecSwitContRep(int32_t, int32_t, int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecMSwContRep(int32_t, int32_t, int32_t, int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfPowMprContRep(int32_t, int32_t, int32_t, int32_t, char *) { return 0; }

int32_t RSCMU_CALL RSCMU_GSM_Sig_InitSpecMSw(int32_t, char *) { return 0; }
int32_t RSCMU_CALL RSCMU_GSM_Sig_InitPowMpr(int32_t, char *) { return 0; }

int32_t RSCMU_CALL RSCMU_GSM_Sig_FetcArrSpecMSw(int32_t sig, double *values, char *) {
  if (values == nullptr) return 0;
  constexpr int kModulationCentre = 11;
  constexpr int kSwitchingCentre = 27;
  values[kModulationCentre] = 0.0;
  values[kSwitchingCentre] = NominalPowerDbm(sig);
  for (int p = 1; p <= 11; ++p) values[kModulationCentre - p] = values[kModulationCentre + p] = kModulationDb[p - 1];
  for (int p = 1; p <= 4; ++p) values[kSwitchingCentre - p] = values[kSwitchingCentre + p] = kSwitchingDbm[p - 1];
  return 0;
}

int32_t RSCMU_CALL RSCMU_GSM_Sig_FetcPowMpr(int32_t sig, int32_t, double *average, double *a4, int32_t *a5, double *a6,
                                            double *a7, int32_t *templateFlag, double *a9, double *a10,
                                            double *timingError, double *a12, char *) {
  const double nominal = NominalPowerDbm(sig) + 0.1;
  const struct {
    double *out;
    double value;
  } results[] = {{average, nominal},  {a4, nominal},        {a6, nominal - 0.2}, {a7, nominal + 0.2},
                 {a9, nominal + 0.3}, {a10, nominal - 0.3}, {timingError, 0.05}, {a12, 0.0}};
  for (const auto &r : results) {
    if (r.out != nullptr) *r.out = r.value;
  }
  if (a5 != nullptr) *a5 = 0;
  if (templateFlag != nullptr) *templateFlag = 0;  // inside the template
  return 0;
}

int32_t RSCMU_CALL RSCMU_GSM_Sig_SensSignStat(int32_t, int32_t *state, char *) {
  if (state != nullptr) *state = kSignallingOn;
  return 0;
}
int32_t RSCMU_CALL RSCMU_GSM_Sig_SensRrepRxl(int32_t, int32_t *rxLevel, char *) {
  if (rxLevel != nullptr) *rxLevel = 11;
  return 0;
}
int32_t RSCMU_CALL RSCMU_GSM_Sig_SensRrepRxq(int32_t, int32_t *rxQuality, char *) {
  if (rxQuality != nullptr) *rxQuality = 0;
  return 0;
}

}  // extern "C"
