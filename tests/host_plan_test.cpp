// Plan files of the host runner: good and bad lines, limits.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/plan.h"

namespace {

using vorn_host::Limit;
using vorn_host::ParsePlan;
using vorn_host::Plan;

Plan Parse(const std::string &text, std::vector<std::string> &errors) { return ParsePlan(text, "t.plan", errors); }

TEST(HostPlan, GoodLines) {
  const struct {
    const char *line;
    const char *exportName;
    int32_t number;
    std::vector<std::string> limits;  // as Limit::text() gives them, entry first
  } cases[] = {
      {"DcInit 1", "Vorn_CMU200_DcInit", 1, {}},
      {"Vorn_CMU200_MobInit 2 1=1", "Vorn_CMU200_MobInit", 2, {"1:1"}},
      {"  obtinit\t-3   ", "Vorn_CMU200_OBTInit", -3, {}},
      {"VORN_CMU200_OBTPOWERVSTIME +12 1=28..36 5=1", "Vorn_CMU200_OBTPowervsTime", 12, {"1:28..36", "5:1"}},
      {"OBTRXLevelandQuality 7 1=-60.. 2=..-20.5 # receiver",
       "Vorn_CMU200_OBTRXLevelandQuality",
       7,
       {"1:-60..", "2:..-20.5"}},
      {"OBTOutputRFSpectrum 8 30=-1e2..0 ; spectrum", "Vorn_CMU200_OBTOutputRFSpectrum", 8, {"30:-100..0"}},
      {"MobClose 2147483647\r", "Vorn_CMU200_MobClose", 2147483647, {}},
      {"OBTOutputRFSpectrum 6 1-2=..1.5 29-30=..-24 4=-30",
       "Vorn_CMU200_OBTOutputRFSpectrum",
       6,
       {"1:..1.5", "2:..1.5", "29:..-24", "30:..-24", "4:-30"}},
  };
  for (const auto &c : cases) {
    std::vector<std::string> errors;
    const Plan plan = Parse(c.line, errors);
    ASSERT_TRUE(errors.empty()) << c.line << ": " << errors.front();
    ASSERT_EQ(plan.steps.size(), 1u) << c.line;
    EXPECT_EQ(plan.steps[0].exportName, c.exportName);
    EXPECT_EQ(plan.steps[0].number, c.number) << c.line;
    std::vector<std::string> limits;
    for (const Limit &l : plan.steps[0].limits) limits.push_back(std::to_string(l.entry) + ":" + l.text());
    EXPECT_EQ(limits, c.limits) << c.line;
  }
}

TEST(HostPlan, EveryStepOfTheLibraryIsKnown) {
  std::string text;
  for (const std::string &name : vorn_host::StepExports()) text += name.substr(12) + " 1\n";
  std::vector<std::string> errors;
  const Plan plan = Parse(text, errors);
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(plan.steps.size(), 13u);
}

TEST(HostPlan, BadLinesNameFileLineAndProblem) {
  const struct {
    const char *line;
    const char *problem;
  } cases[] = {
      {"Foo 1", "unknown step \"Foo\""},
      {"Vorn_CMU200_GetVersion 1", "unknown step \"Vorn_CMU200_GetVersion\""},
      {"Vorn_CMU200_ 1", "unknown step"},
      {"DcInit", "DcInit needs its step number"},
      {"DcInit 1=1", "step number \"1=1\" is not a 32-bit integer"},
      {"DcInit 2147483648", "is not a 32-bit integer"},
      {"DcInit 1.5", "is not a 32-bit integer"},
      {"DcInit 1 x", "expected a limit"},
      {"DcInit 1 0=1", "the entry must be a number from 1 to 30"},
      {"DcInit 1 31=1", "the entry must be a number from 1 to 30"},
      {"DcInit 1 a=1", "the entry must be a number from 1 to 30"},
      {"DcInit 1 29-31=1", "or a range of them such as 7-22"},
      {"DcInit 1 5-3=1", "or a range of them such as 7-22"},
      {"DcInit 1 -3=1", "or a range of them such as 7-22"},
      {"DcInit 1 3-=1", "or a range of them such as 7-22"},
      {"DcInit 1 1=", "\"\" is not a number"},
      {"DcInit 1 1=..", "give at least one bound"},
      {"DcInit 1 1=abc", "\"abc\" is not a number"},
      {"DcInit 1 1=1..x", "\"x\" is not a number"},
      {"DcInit 1 1=nan", "is not a number"},
      {"DcInit 1 1=inf..", "is not a number"},
      {"DcInit 1 1=1,5", "is not a number"},
      {"DcInit 1 1=36..28", "the low bound is above the high one"},
      {"DcInit 1 1=1 1=2", "entry 1 has two limits"},
      {"DcInit 1 1-5=1 4=2", "entry 4 has two limits"},
  };
  for (const auto &c : cases) {
    std::vector<std::string> errors;
    Parse(std::string("# first line\n") + c.line + "\n", errors);
    ASSERT_EQ(errors.size(), 1u) << c.line;
    EXPECT_EQ(errors[0].rfind("t.plan:2: ", 0), 0u) << errors[0];
    EXPECT_NE(errors[0].find(c.problem), std::string::npos) << errors[0];
  }
}

TEST(HostPlan, EveryBadLineIsReported) {
  std::vector<std::string> errors;
  const Plan plan = Parse("DcInit 1\nFoo 2\n\n  ; only a comment\nMobInit\nOBTInit 3 # fine\n", errors);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].rfind("t.plan:2:", 0), 0u);
  EXPECT_EQ(errors[1].rfind("t.plan:5:", 0), 0u);
  ASSERT_EQ(plan.steps.size(), 2u);
  EXPECT_EQ(plan.steps[1].line, 6);
}

TEST(HostPlan, EmptyAndUnreadablePlansAreErrors) {
  std::vector<std::string> errors;
  Parse("# nothing but comments\n\n", errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "t.plan: the plan has no steps");

  errors.clear();
  vorn_host::ReadPlan("/nonexistent/typical.plan", errors);
  ASSERT_EQ(errors.size(), 1u);
  // The system's reason follows: "...: No such file or directory".
  EXPECT_EQ(errors[0].rfind("/nonexistent/typical.plan: cannot read the plan file: ", 0), 0u) << errors[0];
}

TEST(HostPlan, LimitsIncludeTheirBounds) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  Limit both{1, 28.0, 36.0};
  Limit low{1, -60.0, std::nullopt};
  Limit high{1, std::nullopt, -20.0};
  const struct {
    const Limit &limit;
    double value;
    bool accepted;
  } cases[] = {
      {both, 28.0, true},  {both, 36.0, true}, {both, 27.999, false}, {both, 36.001, false},
      {both, nan, false},  {low, -60.0, true}, {low, 1e9, true},      {low, -60.5, false},
      {high, -20.0, true}, {high, -1e9, true}, {high, -19.9, false},  {high, nan, false},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(c.limit.accepts(c.value), c.accepted) << c.limit.text() << " " << c.value;
  }
}

}  // namespace

namespace {

TEST(HostPlan, LineEndsAndByteOrderMarkReadAlike) {
  const std::string lf = "DcInit 1 1=1\n# comment\nOBTInit 3\n\nMobInit 2 1=0..\n";
  const struct {
    const char *what;
    std::string text;
  } cases[] = {
      {"CR LF", "DcInit 1 1=1\r\n# comment\r\nOBTInit 3\r\n\r\nMobInit 2 1=0..\r\n"},
      {"CR only", "DcInit 1 1=1\r# comment\rOBTInit 3\r\rMobInit 2 1=0..\r"},
      {"byte order mark", "\xEF\xBB\xBF" + lf},
      {"no final newline", lf.substr(0, lf.size() - 1)},
      {"mixed",
       "\xEF\xBB\xBF"
       "DcInit 1 1=1\r\n# comment\rOBTInit 3\n\r\nMobInit 2 1=0.."},
  };
  std::vector<std::string> errors;
  const Plan expected = Parse(lf, errors);
  ASSERT_TRUE(errors.empty());
  for (const auto &c : cases) {
    const Plan plan = Parse(c.text, errors);
    EXPECT_TRUE(errors.empty()) << c.what << ": " << (errors.empty() ? "" : errors[0]);
    ASSERT_EQ(plan.steps.size(), expected.steps.size()) << c.what;
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
      EXPECT_EQ(plan.steps[i].exportName, expected.steps[i].exportName) << c.what;
      EXPECT_EQ(plan.steps[i].line, expected.steps[i].line) << c.what;
      EXPECT_EQ(plan.steps[i].limits.size(), expected.steps[i].limits.size()) << c.what;
    }
    errors.clear();
  }
}

TEST(HostPlan, MessagesStayShortWhateverThePlan) {
  std::vector<std::string> errors;
  Parse("DcInit 1 1=" + std::string(10 << 20, '7') + "x\n", errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_LT(errors[0].size(), 300u) << errors[0].substr(0, 300);
  EXPECT_NE(errors[0].find(std::string(80 - 2, '7') + "...\""), std::string::npos) << errors[0];

  errors.clear();
  std::string many;
  for (int i = 0; i < 100000; ++i) many += "Nope 1\n";
  Parse(many, errors);
  ASSERT_EQ(errors.size(), 21u);
  EXPECT_EQ(errors[19], "t.plan:20: unknown step \"Nope\"");
  EXPECT_EQ(errors[20], "t.plan: 99980 more bad lines");
}

}  // namespace
