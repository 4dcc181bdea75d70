// The Western Electric rules, on sequences worked by hand: centre 10, sigma 1.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "plots/rules.h"

namespace vp = vorn_plots;

namespace {

using Rule = vp::ControlRule;

TEST(ControlRules, EachRuleOnTheSideItBreaks) {
  const struct {
    const char *what;
    std::vector<double> values;
    std::vector<vp::RuleBreach> broken;  // at the last point
  } cases[] = {
      {"within 1 sigma", {10.2, 9.5, 10.9, 9.1}, {}},
      {"one point beyond 3 sigma", {10, 6.9}, {{Rule::kBeyond3Sigma, -1}}},
      {"exactly 3 sigma is not beyond", {10, 13.0}, {}},
      {"2 of 3 beyond 2 sigma, above", {12.5, 10, 12.1}, {{Rule::kTwoOfThree2Sigma, 1}}},
      {"2 beyond 2 sigma on opposite sides", {12.5, 10, 7.5}, {}},
      {"4 of 5 beyond 1 sigma, below", {8.5, 8.9, 10.5, 8.8, 8.7}, {{Rule::kFourOfFive1Sigma, -1}}},
      {"8 in a row above", {10.1, 10.2, 10.1, 10.3, 10.1, 10.2, 10.4, 10.1}, {{Rule::kEightOnOneSide, 1}}},
      {"7 in a row is not 8", {9, 10.1, 10.2, 10.1, 10.3, 10.1, 10.2, 10.4}, {}},
      {"one on the centre breaks the run", {10.1, 10.2, 10.1, 10.0, 10.1, 10.2, 10.4, 10.1}, {}},
      {"several at once",
       {11.5, 11.6, 11.7, 11.8, 11.2, 12.5, 11.1, 13.5},
       {{Rule::kBeyond3Sigma, 1},
        {Rule::kTwoOfThree2Sigma, 1},
        {Rule::kFourOfFive1Sigma, 1},
        {Rule::kEightOnOneSide, 1}}},
      {"a point that is no number", {10, 10, NAN}, {}},
  };
  for (const auto &c : cases) {
    const std::vector<vp::RuleBreach> got = vp::RulesBroken(c.values, c.values.size() - 1, 10.0, 1.0);
    ASSERT_EQ(got.size(), c.broken.size()) << c.what;
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].rule, c.broken[i].rule) << c.what;
      EXPECT_EQ(got[i].side, c.broken[i].side) << c.what;
    }
  }
  EXPECT_TRUE(vp::RulesBroken({20.0}, 0, 10.0, 0.0).empty()) << "no spread, no rule";
}

// A slow drift upwards is told once per rule, when the rule starts to break.
TEST(ControlRules, ARuleIsToldWhenItStartsToBreak) {
  std::vector<double> values;
  std::vector<std::pair<std::size_t, Rule>> told;
  for (int i = 0; i < 20; ++i) {
    values.push_back(10.05 + 0.01 * i);  // above the centre, within 1 sigma
    for (const vp::RuleBreach &b : vp::NewlyBroken(values, 10.0, 1.0)) told.emplace_back(values.size(), b.rule);
  }
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].first, 8u);
  EXPECT_EQ(told[0].second, Rule::kEightOnOneSide);
  EXPECT_STREQ(vp::ControlRuleText(Rule::kEightOnOneSide), "8 in a row on one side of the centre");
}

}  // namespace
