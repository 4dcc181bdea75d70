#include "plots/rules.h"

#include <cmath>

namespace vorn_plots {

namespace {

// How many of the `count` points ending at last lie beyond `sigmas` on side.
int Beyond(const std::vector<double> &values, std::size_t last, std::size_t count, double centre, double sigma,
           double sigmas, int side) {
  int n = 0;
  for (std::size_t k = 0; k < count; ++k) {
    const double d = (values[last - k] - centre) * side;
    n += std::isfinite(d) && d > sigmas * sigma ? 1 : 0;
  }
  return n;
}

}  // namespace

const char *ControlRuleText(ControlRule rule) {
  switch (rule) {
    case ControlRule::kBeyond3Sigma: return "one point beyond 3 sigma";
    case ControlRule::kTwoOfThree2Sigma: return "2 of 3 beyond 2 sigma on one side";
    case ControlRule::kFourOfFive1Sigma: return "4 of 5 beyond 1 sigma on one side";
    case ControlRule::kEightOnOneSide: return "8 in a row on one side of the centre";
  }
  return "";
}

std::vector<RuleBreach> RulesBroken(const std::vector<double> &values, std::size_t last, double centre, double sigma) {
  std::vector<RuleBreach> broken;
  if (last >= values.size() || !(sigma > 0) || !std::isfinite(sigma) || !std::isfinite(values[last])) return broken;
  const struct {
    ControlRule rule;
    std::size_t window;
    int needed;
    double sigmas;
  } rules[] = {
      {ControlRule::kBeyond3Sigma, 1, 1, 3.0},
      {ControlRule::kTwoOfThree2Sigma, 3, 2, 2.0},
      {ControlRule::kFourOfFive1Sigma, 5, 4, 1.0},
      {ControlRule::kEightOnOneSide, 8, 8, 0.0},
  };
  for (const auto &r : rules) {
    if (last + 1 < r.window) continue;
    for (const int side : {1, -1}) {
      if (Beyond(values, last, r.window, centre, sigma, r.sigmas, side) < r.needed) continue;
      broken.push_back({r.rule, side});
      break;
    }
  }
  return broken;
}

std::vector<RuleBreach> NewlyBroken(const std::vector<double> &values, double centre, double sigma) {
  if (values.empty()) return {};
  const std::vector<RuleBreach> now = RulesBroken(values, values.size() - 1, centre, sigma);
  if (values.size() < 2) return now;
  const std::vector<RuleBreach> before = RulesBroken(values, values.size() - 2, centre, sigma);
  std::vector<RuleBreach> fresh;
  for (const RuleBreach &b : now) {
    bool told = false;
    for (const RuleBreach &p : before) told = told || (p.rule == b.rule && p.side == b.side);
    if (!told) fresh.push_back(b);
  }
  return fresh;
}

}  // namespace vorn_plots
