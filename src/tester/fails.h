// Did a tester driver call succeed: the helper every tester and measurement
// step stops through, in the two failure forms that name a driver operation.
#pragma once

#include <cstdint>

#include "frame/step.h"

namespace vorn::tester {

// Driver success is status 0. On failure writes the tester form
// (label + " Failed! CMU200 Error:").
inline bool fails(Step &step, int32_t status, const char *label) {
  if (status == 0) return false;
  step.writeTesterFailure(label);
  return true;
}

// The same in the tester coded form, which carries the status
// ("CMU200 Error: <status>. " + label + " Failed! "), as the handover reports.
inline bool failsCoded(Step &step, int32_t status, const char *label) {
  if (status == 0) return false;
  step.writeTesterCodedFailure(status, label);
  return true;
}

}  // namespace vorn::tester
