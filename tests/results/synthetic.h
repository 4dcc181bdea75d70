// Unit records of the typical plan's shape, made up without the station:
// every step of the plan, a value within (or, for a failing unit, outside)
// each limit, and a name on the first entry of the measuring steps.
#pragma once

#include <random>
#include <string>

#include "core/plan.h"
#include "core/record.h"

namespace vorn_results_test {

vorn_host::Plan TypicalPlan();  // examples/typical.plan
vorn_host::SessionRecord SyntheticSession(const std::string &station);
// passed false: the first power measurement misses its limit. The unit's id
// follows from its serial; an attempt after the first follows a failure.
vorn_host::UnitRecord SyntheticUnit(const vorn_host::Plan &plan, int unit, int attempt, bool passed,
                                    std::mt19937 &random);

}  // namespace vorn_results_test
