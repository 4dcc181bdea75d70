// The rollups against a recomputation from the raw rows, written apart from
// the rollups' own code: every attempt counted where its unit's first attempt
// was, by the tally's rules.
#pragma once

#include <string>

#include "outputs/results/database.h"

namespace vorn_results_test {

// Where the rollup tables and the rows of the attempts folded into them
// first disagree, or "" when they agree on every row (sums within 1e-9 of
// their size).
std::string RollupsDiffer(vorn_results::Database &db);

}  // namespace vorn_results_test
