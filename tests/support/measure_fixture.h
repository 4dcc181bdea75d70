// The fixture of the measurement step tests: a tester initialised with a call
// up (tester_fixture.h), the three measurement steps, and how many result
// entries a step wrote.
#pragma once

#include <string>

#include "support/tester_fixture.h"

namespace vorn_test {

class MeasureTest : public TesterTest {
 protected:
  int32_t spectrum(int32_t n = 1) {
    return Vorn_CMU200_OBTOutputRFSpectrum(n, host.values, host.names, host.errorText);
  }
  int32_t power(int32_t n = 1) { return Vorn_CMU200_OBTPowervsTime(n, host.values, host.names, host.errorText); }
  int32_t rx(int32_t n = 1) { return Vorn_CMU200_OBTRXLevelandQuality(n, host.values, host.names, host.errorText); }
  std::string sig() const { return Handle(vorn::testerState.sigSession); }
  // Entries written from 1 upward without a gap.
  int written() const {
    int n = 0;
    while (n + 1 <= VORN_CMU200_RESULT_COUNT && host.values[n + 1] != HostBuffers::kUntouched) ++n;
    return n;
  }
};

// One injected failure: the operation, at its nth call, and the label expected.
struct FailureCase {
  const char *op;
  int nth;
  const char *label;
};

}  // namespace vorn_test
