// The station's own history of a plan's measurements, from its results
// database: the baselines the live process alarms judge a session's values by.
#pragma once

#include <string>

#include "outputs/health/watch.h"

namespace vorn_host {

// The latest attempts the baselines are taken over.
inline constexpr int kHistoryAttempts = 1000;

// The centre and sigma of each limited measurement of the plan (by its
// SHA-256) over the station's latest production attempts, faults left out.
// target: the --db value (empty: the default file). False, with why, when
// the database cannot be read (the session then makes its own baselines).
bool ReadBaselines(const std::string &target, const std::string &station, const std::string &planSha256,
                   Baselines &baselines, std::string &error);

}  // namespace vorn_host
