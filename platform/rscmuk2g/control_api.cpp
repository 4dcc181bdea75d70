// Entry points of the CMU200 GSM signalling driver stand-in (rscmuk2g_32) for
// control: sessions, network and cell configuration, signalling procedures,
// handover and the signalling state. The simulated tester (station/tester.h)
// does the work; the measurement operations are in measure_api.cpp.
#include <string>
#include <vector>

#include "rscmu.h"
#include "station/station.h"

namespace {

constexpr char kPrefix[] = "RSCMU_GSM_Sig_";

station::Tester &Model() { return station::station().tester; }

int32_t FaultStatus(const station::Entry &call) { return static_cast<int32_t>(call.faultStatus()); }

// A configuration operation: journalled under its full name, kept by the
// tester under the name without the driver prefix.
int32_t Configure(const char *op, int32_t sig, std::vector<std::string> texts, std::vector<double> values) {
  texts.insert(texts.begin(), station::arg(sig));
  station::Entry call(op, std::move(texts));
  if (call.faulted()) return call.result(FaultStatus(call));
  const std::string name = std::string(op).substr(sizeof kPrefix - 1);
  return call.result(Model().configure(sig, name, std::move(values)));
}

int32_t ConfigureInt(const char *op, int32_t sig, int32_t v) {
  return Configure(op, sig, {station::arg(v)}, {static_cast<double>(v)});
}

int32_t ConfigureReal(const char *op, int32_t sig, double v) { return Configure(op, sig, {station::arg(v)}, {v}); }

}  // namespace

extern "C" int32_t RSCMU_CALL RSCMU_Init_GSM_Sig(int32_t base, int32_t *sig, int32_t bandCode, char *msg) {
  (void)msg;
  station::Entry call("RSCMU_Init_GSM_Sig", {station::arg(base), station::arg(bandCode)});
  if (call.faulted()) {
    if (sig != nullptr) *sig = 0;  // a driver that failed hands back no session
    return call.result(FaultStatus(call));
  }
  return call.result(Model().initSig(base, sig, bandCode));
}

extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_HandOver(int32_t current, int32_t target, char *msg) {
  (void)msg;
  station::Entry call("RSCMU_GSM_Sig_HandOver", {station::arg(current), station::arg(target)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(Model().handOver(current, target));
}

// ---- Network ----
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwNSup(int32_t sig, int32_t v, char *) {
  return ConfigureInt("RSCMU_GSM_Sig_ConfNetwNSup", sig, v);
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwSmodTraf(int32_t sig, int32_t v, char *) {
  return ConfigureInt("RSCMU_GSM_Sig_ConfNetwSmodTraf", sig, v);
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwSmodBits(int32_t sig, int32_t v, char *) {
  return ConfigureInt("RSCMU_GSM_Sig_ConfNetwSmodBits", sig, v);
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwIdenMcc(int32_t sig, int32_t v, char *) {
  return ConfigureInt("RSCMU_GSM_Sig_ConfNetwIdenMcc", sig, v);
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwIdenMnc(int32_t sig, int32_t v, char *) {
  return ConfigureInt("RSCMU_GSM_Sig_ConfNetwIdenMnc", sig, v);
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwSystBandInd(int32_t sig, int32_t v, char *) {
  return ConfigureInt("RSCMU_GSM_Sig_ConfNetwSystBandInd", sig, v);
}

// ---- Connectors ----
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_Inp(int32_t sig, int32_t v, char *) {
  return ConfigureInt("RSCMU_GSM_Sig_Inp", sig, v);
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_Outp(int32_t sig, int32_t v, char *) {
  return ConfigureInt("RSCMU_GSM_Sig_Outp", sig, v);
}

// ---- The cell, its traffic and the mobile's settings ----
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssCchMode(int32_t sig, int32_t v, char *) {
  return ConfigureInt("RSCMU_GSM_Sig_ConfBssCchMode", sig, v);
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssCchChan(int32_t sig, int32_t v, char *) {
  return ConfigureInt("RSCMU_GSM_Sig_ConfBssCchChan", sig, v);
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssPdatMslMtim(int32_t sig, int32_t v, char *) {
  return ConfigureInt("RSCMU_GSM_Sig_ConfBssPdatMslMtim", sig, v);
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssTchTim(int32_t sig, int32_t v, char *) {
  return ConfigureInt("RSCMU_GSM_Sig_ConfBssTchTim", sig, v);
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssMslLmod(int32_t sig, int32_t v, char *) {
  return ConfigureInt("RSCMU_GSM_Sig_ConfBssMslLmod", sig, v);
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfMssCchPcl(int32_t sig, int32_t v, char *) {
  return ConfigureInt("RSCMU_GSM_Sig_ConfMssCchPcl", sig, v);
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfHandTarg(int32_t sig, int32_t v, char *) {
  return ConfigureInt("RSCMU_GSM_Sig_ConfHandTarg", sig, v);
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssCchLevAbs(int32_t sig, double v, char *) {
  return ConfigureReal("RSCMU_GSM_Sig_ConfBssCchLevAbs", sig, v);
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssTchLevUtim(int32_t sig, double v, char *) {
  return ConfigureReal("RSCMU_GSM_Sig_ConfBssTchLevUtim", sig, v);
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfRxqContAgct(int32_t sig, double v, char *) {
  return ConfigureReal("RSCMU_GSM_Sig_ConfRxqContAgct", sig, v);
}

extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssMslSconfInd(int32_t sig, int32_t f1, double v1, int32_t f2,
                                                               double v2, int32_t f3, double v3, int32_t f4, double v4,
                                                               int32_t f5, double v5, int32_t f6, double v6, int32_t f7,
                                                               double v7, int32_t f8, double v8, char *) {
  using station::arg;
  return Configure("RSCMU_GSM_Sig_ConfBssMslSconfInd", sig,
                   {arg(f1), arg(v1), arg(f2), arg(v2), arg(f3), arg(v3), arg(f4), arg(v4), arg(f5), arg(v5), arg(f6),
                    arg(v6), arg(f7), arg(v7), arg(f8), arg(v8)},
                   {double(f1), v1, double(f2), v2, double(f3), v3, double(f4), v4, double(f5), v5, double(f6), v6,
                    double(f7), v7, double(f8), v8});
}

extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfMssMslSconf(int32_t sig, int32_t f1, int32_t v1, int32_t f2, int32_t v2,
                                                            int32_t f3, int32_t v3, int32_t f4, int32_t v4, int32_t f5,
                                                            int32_t v5, int32_t f6, int32_t v6, int32_t f7, int32_t v7,
                                                            int32_t f8, int32_t v8, char *) {
  using station::arg;
  const int32_t flat[] = {f1, v1, f2, v2, f3, v3, f4, v4, f5, v5, f6, v6, f7, v7, f8, v8};
  std::vector<std::string> texts;
  std::vector<double> values;
  for (const int32_t v : flat) {
    texts.push_back(arg(v));
    values.push_back(v);
  }
  return Configure("RSCMU_GSM_Sig_ConfMssMslSconf", sig, std::move(texts), std::move(values));
}

// ---- Signalling procedures: they act on the cell and the call ----
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ProcSignAct(int32_t sig, int32_t v, char *) {
  station::Entry call("RSCMU_GSM_Sig_ProcSignAct", {station::arg(sig), station::arg(v)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(Model().signallingAction(sig, v));
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ProcSignTchChan(int32_t sig, int32_t v, char *) {
  station::Entry call("RSCMU_GSM_Sig_ProcSignTchChan", {station::arg(sig), station::arg(v)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(Model().setTrafficChannel(sig, v));
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ProcSignMsPcl(int32_t sig, int32_t v, char *) {
  station::Entry call("RSCMU_GSM_Sig_ProcSignMsPcl", {station::arg(sig), station::arg(v)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(Model().setPowerControlLevel(sig, v));
}
extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_ProcBssTchLevUtim(int32_t sig, double v, char *) {
  station::Entry call("RSCMU_GSM_Sig_ProcBssTchLevUtim", {station::arg(sig), station::arg(v)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(Model().setTrafficLevel(sig, v));
}

extern "C" int32_t RSCMU_CALL RSCMU_GSM_Sig_SensSignStat(int32_t sig, int32_t *state, char *) {
  station::Entry call("RSCMU_GSM_Sig_SensSignStat", {station::arg(sig)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(Model().signallingState(sig, state));
}

// vorn-host asks each equipment library for this: answered, it is the
// project's stand-in, with the simulated station behind it.
extern "C" int32_t VornStandIn_rscmuk2g_32(void) { return 1; }
