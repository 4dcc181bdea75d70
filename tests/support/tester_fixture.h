// The fixture of the tester step tests: a fresh station and a freshly loaded
// module's tester state, the five steps, and the journal of the tester calls.
#pragma once

#include <string>
#include <vector>

#include "support/station_test.h"
#include "tester/tester_state.h"

namespace vorn_test {

class TesterTest : public StationTest {
 protected:
  void SetUp() override {
    StationTest::SetUp();
    vorn::testerState = vorn::TesterState{};
  }

  vorn::TesterState &state() { return vorn::testerState; }

  // A fresh station, a freshly loaded module, an empty parameter file and
  // freshly marked buffers: one case of a table-driven test.
  void freshRun() {
    st().reset();
    vorn::testerState = vorn::TesterState{};
    writeParameters("");
    host = HostBuffers();
  }

  int32_t init(int32_t number = 1) { return Vorn_CMU200_OBTInit(number, host.values, host.names, host.errorText); }
  int32_t handOver(int32_t number = 1) {
    return Vorn_CMU200_OBTHandOver(number, host.values, host.names, host.errorText);
  }
  int32_t changeTch(int32_t number = 1) {
    return Vorn_CMU200_OBTChangeTCH(number, host.values, host.names, host.errorText);
  }
  int32_t changeTxLevel(int32_t number = 1) {
    return Vorn_CMU200_OBTChangeTXLevel(number, host.values, host.names, host.errorText);
  }
  int32_t endCall(int32_t number = 1) {
    return Vorn_CMU200_OBTEndCall(number, host.values, host.names, host.errorText);
  }

  // The phone camps on the cell and its emergency call is taken.
  void callUp() {
    st().tester.phoneCamped();
    ASSERT_TRUE(st().tester.emergencyCallOriginated());
  }

  // A tester initialised on its defaults with a call up, the journal cleared,
  // and the host's buffers marked afresh.
  void initialisedWithCall() {
    ASSERT_EQ(init(), 0) << host.error();
    callUp();
    st().journal.clear();
    host = HostBuffers();
  }

  // "op(args) = status" of every call but the container's, waits included.
  std::vector<std::string> calls() const {
    std::vector<std::string> out;
    for (const station::Call &call : station::station().journal.calls()) {
      if (call.op != "dcGet_ParaFileName") out.push_back(call.text(true));
    }
    return out;
  }

  // The last call made, which a failure must be.
  const station::Call &lastCall() const { return station::station().journal.calls().back(); }
};

inline std::string Handle(int32_t handle) { return station::arg(handle); }

}  // namespace vorn_test
