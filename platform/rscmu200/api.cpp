// Entry points of the CMU200 base system driver stand-in (rscmu200_32). The
// simulated tester (station/tester.h) does the work.
#include <cstring>
#include <string>

#include "rscmu.h"
#include "station/station.h"

namespace {

station::Tester &Model() { return station::station().tester; }

int32_t FaultStatus(const station::Entry &call) { return static_cast<int32_t>(call.faultStatus()); }

// Copies an answer into a caller's buffer of size characters, always terminated.
void CopyOut(const std::string &text, char *out, std::size_t size) {
  if (out == nullptr || size == 0) return;
  const std::size_t length = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(out, text.data(), length);
  out[length] = '\0';
}

constexpr std::size_t kAnswerSize = 256;  // the option text and query response buffers

}  // namespace

extern "C" int32_t RSCMU_CALL RSCMU_Init_Base(int32_t *base, int32_t a, int32_t b, int32_t gpibAddress, int32_t c,
                                              int32_t d, char *msg) {
  (void)msg;
  station::Entry call("RSCMU_Init_Base",
                      {station::arg(a), station::arg(b), station::arg(gpibAddress), station::arg(c), station::arg(d)});
  if (call.faulted()) {
    if (base != nullptr) *base = 0;  // a driver that failed hands back no session
    return call.result(FaultStatus(call));
  }
  return call.result(Model().initBase(gpibAddress, base));
}

extern "C" int32_t RSCMU_CALL RSCMU_Close_Base(int32_t base, char *msg) {
  (void)msg;
  station::Entry call("RSCMU_Close_Base", {station::arg(base)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(Model().closeBase(base));
}

extern "C" int32_t RSCMU_CALL RSCMU_Base_SystRemAddrSec(int32_t base, int32_t secondaryAddress, int32_t functionGroup,
                                                        char *msg) {
  (void)msg;
  station::Entry call("RSCMU_Base_SystRemAddrSec",
                      {station::arg(base), station::arg(secondaryAddress), station::arg(functionGroup)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(Model().bindSecondary(base, secondaryAddress, functionGroup));
}

extern "C" int32_t RSCMU_CALL RSCMU_Base_RemTraceDisplay(int32_t base, int32_t on, char *msg) {
  (void)msg;
  station::Entry call("RSCMU_Base_RemTraceDisplay", {station::arg(base), station::arg(on)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(Model().setTraceDisplay(base, on != 0));
}

extern "C" int32_t RSCMU_CALL RSCMU_Base_SystOptInf(int32_t base, char *optionText, char *msg) {
  (void)msg;
  station::Entry call("RSCMU_Base_SystOptInf", {station::arg(base)});
  if (call.faulted()) return call.result(FaultStatus(call));
  std::string text;
  const int32_t status = Model().options(base, optionText == nullptr ? nullptr : &text);
  if (status == station::kTesterOk) CopyOut(text, optionText, kAnswerSize);
  return call.result(status);
}

extern "C" int32_t RSCMU_CALL RSCMU_Base_ConfUserCorrLossTablLine(int32_t base, int32_t line, int32_t f1, double v1,
                                                                  int32_t f2, double v2, int32_t f3, double v3,
                                                                  int32_t f4, double v4, int32_t f5, double v5,
                                                                  char *msg) {
  (void)msg;
  using station::arg;
  station::Entry call("RSCMU_Base_ConfUserCorrLossTablLine", {arg(base), arg(line), arg(f1), arg(v1), arg(f2), arg(v2),
                                                              arg(f3), arg(v3), arg(f4), arg(v4), arg(f5), arg(v5)});
  if (call.faulted()) return call.result(FaultStatus(call));
  station::Tester::LossLine values;
  values.pairs = {{f1, v1}, {f2, v2}, {f3, v3}, {f4, v4}, {f5, v5}};
  return call.result(Model().setLossLine(base, line, std::move(values)));
}

extern "C" int32_t RSCMU_CALL RSCMU_Base_ConfUserCorrLossTabl(int32_t base, char *b1, char *b2, char *b3, char *b4,
                                                              char *b5, char *b6, char *b7, char *b8, char *b9,
                                                              char *b10, char *msg) {
  (void)msg;
  station::Entry call("RSCMU_Base_ConfUserCorrLossTabl", {station::arg(base)});
  if (call.faulted()) return call.result(FaultStatus(call));
  char *const buffers[] = {b1, b2, b3, b4, b5, b6, b7, b8, b9, b10};
  for (char *buffer : buffers) {
    if (buffer == nullptr) return call.result(station::kErrorParameter);
  }
  return call.result(Model().checkBase(base));
}

extern "C" int32_t RSCMU_CALL RSCMU_Base_ConfUserCorrLossTablEnab(int32_t base, int32_t on, char *msg) {
  (void)msg;
  station::Entry call("RSCMU_Base_ConfUserCorrLossTablEnab", {station::arg(base), station::arg(on)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(Model().enableLossTable(base, on != 0));
}

extern "C" int32_t RSCMU_CALL RSCMU_Query(int32_t session, const char *query, char *response, int32_t p, char *msg) {
  (void)msg;
  station::Entry call("RSCMU_Query", {station::arg(session), station::arg(query), station::arg(p)});
  if (call.faulted()) return call.result(FaultStatus(call));
  if (query == nullptr || response == nullptr) return call.result(station::kErrorParameter);
  std::string answer;
  const int32_t status = Model().query(session, query, &answer);
  if (status == station::kTesterOk) CopyOut(answer, response, kAnswerSize);
  return call.result(status);
}

extern "C" int32_t RSCMU_CALL RSCMU_SetTimeoutAttribute(int32_t session, int32_t timeout, char *msg) {
  (void)msg;
  station::Entry call("RSCMU_SetTimeoutAttribute", {station::arg(session), station::arg(timeout)});
  if (call.faulted()) return call.result(FaultStatus(call));
  return call.result(Model().setTimeout(session, timeout));
}

// vorn-host asks each equipment library for this: answered, it is the
// project's stand-in, with the simulated station behind it.
extern "C" int32_t VornStandIn_rscmu200_32(void) { return 1; }
