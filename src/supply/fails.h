// Did a VISA call succeed: the helper the supply step stops through, in the
// supply failure form.
#pragma once

#include "frame/step.h"
#include "outside/visa.h"

namespace vorn::supply {

// Success for VISA is VI_SUCCESS alone: warnings count as failures too.
inline bool fails(Step &step, ViStatus status, const char *label) {
  if (status == VI_SUCCESS) return false;
  step.writeSupplyFailure(label);
  return true;
}

}  // namespace vorn::supply
