// Entry points of the CMU200 GSM signalling driver stand-in (rscmuk2g_32) for
// the measurements: spectrum and power configuration, initiation and fetch,
// and the phone's receiver report. The simulated measurements
// (station/measurement.h) do the work on the call the simulated tester carries,
// which they find on the station as every model finds the others.
#include <string>
#include <vector>

#include "rscmu.h"
#include "station/station.h"

namespace {

constexpr char kPrefix[] = "RSCMU_GSM_Sig_";

station::Station &S() { return station::station(); }

int32_t FaultStatus(const station::Entry &call) { return static_cast<int32_t>(call.faultStatus()); }

// A measurement configuration: journalled under its full name, kept under the
// name without the driver prefix.
int32_t Configure(const char *op, int32_t sig, std::vector<int32_t> values) {
  std::vector<std::string> texts{station::arg(sig)};
  for (const int32_t v : values) texts.push_back(station::arg(v));
  station::Entry call(op, std::move(texts));
  if (call.faulted()) return call.result(FaultStatus(call));
  const std::string name = std::string(op).substr(sizeof kPrefix - 1);
  return call.result(S().measurement.configure(sig, name, std::move(values)));
}

}  // namespace

extern "C" {

int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecModCont(int32_t sig, int32_t a, int32_t b, char *) {
  return Configure("RSCMU_GSM_Sig_ConfSpecModCont", sig, {a, b});
}
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecSwitCont(int32_t sig, int32_t a, int32_t b, char *) {
  return Configure("RSCMU_GSM_Sig_ConfSpecSwitCont", sig, {a, b});
}
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecModContMpo(int32_t sig, int32_t a, int32_t b, char *) {
  return Configure("RSCMU_GSM_Sig_ConfSpecModContMpo", sig, {a, b});
}
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecSwitContMpo(int32_t sig, int32_t a, int32_t b, char *) {
  return Configure("RSCMU_GSM_Sig_ConfSpecSwitContMpo", sig, {a, b});
}
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfPowMprCont(int32_t sig, int32_t a, int32_t b, char *) {
  return Configure("RSCMU_GSM_Sig_ConfPowMprCont", sig, {a, b});
}
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecModContRep(int32_t sig, int32_t a, int32_t b, int32_t c, char *) {
  return Configure("RSCMU_GSM_Sig_ConfSpecModContRep", sig, {a, b, c});
}
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecSwitContRep(int32_t sig, int32_t a, int32_t b, int32_t c, char *) {
  return Configure("RSCMU_GSM_Sig_ConfSpecSwitContRep", sig, {a, b, c});
}
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecMSwContRep(int32_t sig, int32_t a, int32_t b, int32_t c, char *) {
  return Configure("RSCMU_GSM_Sig_ConfSpecMSwContRep", sig, {a, b, c});
}
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfPowMprContRep(int32_t sig, int32_t a, int32_t b, int32_t c, char *) {
  return Configure("RSCMU_GSM_Sig_ConfPowMprContRep", sig, {a, b, c});
}

int32_t RSCMU_CALL RSCMU_GSM_Sig_InitSpecMSw(int32_t sig, char *) {
  station::Entry call("RSCMU_GSM_Sig_InitSpecMSw", {station::arg(sig)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(S().measurement.initiateSpectrum(sig));
}

int32_t RSCMU_CALL RSCMU_GSM_Sig_InitPowMpr(int32_t sig, char *) {
  station::Entry call("RSCMU_GSM_Sig_InitPowMpr", {station::arg(sig)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(S().measurement.initiatePower(sig));
}

int32_t RSCMU_CALL RSCMU_GSM_Sig_FetcArrSpecMSw(int32_t sig, double *values, char *) {
  station::Entry call("RSCMU_GSM_Sig_FetcArrSpecMSw", {station::arg(sig)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(S().measurement.fetchSpectrum(sig, values));
}

int32_t RSCMU_CALL RSCMU_GSM_Sig_FetcPowMpr(int32_t sig, int32_t p, double *a3, double *a4, int32_t *a5, double *a6,
                                            double *a7, int32_t *a8, double *a9, double *a10, double *a11, double *a12,
                                            char *) {
  station::Entry call("RSCMU_GSM_Sig_FetcPowMpr", {station::arg(sig), station::arg(p)});
  if (call.faulted()) return call.result(FaultStatus(call));
  if (p != 1) return call.result(station::kErrorParameter);
  station::PowerResult r;
  const int32_t status = S().measurement.fetchPower(sig, r);
  if (status != station::kTesterOk) return call.result(status);
  const auto put = [](auto *out, auto value) {
    if (out != nullptr) *out = value;
  };
  put(a3, r.averagePower);
  put(a4, r.currentPower);
  put(a5, r.statisticCount);
  put(a6, r.minimumPower);
  put(a7, r.maximumPower);
  put(a8, r.templateFlag);
  put(a9, r.peakPower);
  put(a10, r.usefulPartPower);
  put(a11, r.timingAdvance);
  put(a12, r.frequencyError);
  return call.result(status);
}

int32_t RSCMU_CALL RSCMU_GSM_Sig_SensRrepRxl(int32_t sig, int32_t *rxLevel, char *) {
  station::Entry call("RSCMU_GSM_Sig_SensRrepRxl", {station::arg(sig)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(S().measurement.rxLevel(sig, rxLevel));
}

int32_t RSCMU_CALL RSCMU_GSM_Sig_SensRrepRxq(int32_t sig, int32_t *rxQuality, char *) {
  station::Entry call("RSCMU_GSM_Sig_SensRrepRxq", {station::arg(sig)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(S().measurement.rxQuality(sig, rxQuality));
}

}  // extern "C"
