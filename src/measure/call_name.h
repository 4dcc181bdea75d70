// The description of the call that the measurements give their first result.
#pragma once

#include "frame/step.h"
#include "tester/tester_state.h"

namespace vorn {

// names[1] = "Band=%s;Chan=%d;TXLevel=%d" from the tester state as it stands now.
inline void NameTheCall(Step &step, const TesterState &t) {
  step.setName(1, "Band=%s;Chan=%d;TXLevel=%d", t.bandLabel, static_cast<int>(t.channel), static_cast<int>(t.txLevel));
}

}  // namespace vorn
