// Did a phone library call succeed: the helper every mobile step stops
// through, in the mobile failure form.
#pragma once

#include <cstdint>

#include "frame/step.h"
#include "outside/dwdio.h"

namespace vorn::mobile {

// The status of a phone library operation that did what was asked.
inline constexpr uint8_t kDone = 1;

// True when status is not kDone; then writes the mobile form, label followed by
// the library's last error, fetched right after the failing call.
inline bool fails(Step &step, uint8_t status, const char *label) {
  if (status == kDone) return false;
  step.writeMobileFailure(label, DWD_get_last_error());
  return true;
}

}  // namespace vorn::mobile
