// The Western Electric rules over a measurement's values in the order they
// were measured: which rules the newest points break, given the process's
// centre and sigma. A pure function: the live process alarms and the
// control charts read the same rules.
#pragma once

#include <cstddef>
#include <vector>

namespace vorn_plots {

enum class ControlRule {
  kBeyond3Sigma,      // one point beyond 3 sigma
  kTwoOfThree2Sigma,  // 2 of the last 3 beyond 2 sigma, on one side
  kFourOfFive1Sigma,  // 4 of the last 5 beyond 1 sigma, on one side
  kEightOnOneSide,    // the last 8 on one side of the centre
};

// "one point beyond 3 sigma", "2 of 3 beyond 2 sigma on one side", ...
const char *ControlRuleText(ControlRule rule);

struct RuleBreach {
  ControlRule rule;
  int side = 0;  // +1 above the centre, -1 below
};

// The rules the window of points ending at values[last] breaks (each rule
// once, on the side it breaks it). None with a sigma that is not above zero,
// or for a point that is not finite.
std::vector<RuleBreach> RulesBroken(const std::vector<double> &values, std::size_t last, double centre, double sigma);

// The rules the newest point starts to break: broken at the last point and
// not at the one before (so a run of 8 is told once, not again at 9, 10, ...).
std::vector<RuleBreach> NewlyBroken(const std::vector<double> &values, double centre, double sigma);

}  // namespace vorn_plots
