// vorn-host's command line, and what it does before any step runs: every
// problem it can find stops it with exit status 2 and a text naming the cause.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/options.h"
#include "outputs/registry.h"
#include "station/simulation.h"
#include "station/station.h"
#include "support/host_run.h"

namespace {

using vorn_host::Options;

vorn_host::CommandLine parsed;

bool Parse(std::vector<const char *> args, Options &o, std::string &error) {
  args.insert(args.begin(), "vorn-host");
  parsed = vorn_host::HostCommandLine();
  return vorn_host::ReadHostCommandLine(static_cast<int>(args.size()), args.data(), parsed, o, error);
}

TEST(HostOptions, GoodCommandLines) {
  Options o;
  std::string error;
  ASSERT_TRUE(Parse({"--params", "s.ini", "--fast", "--json=r.json", "--keep-going", "--fault", "RSCMU_Init_Base=-1@2+",
                     "--scenario", "phone-off", "--station", "line 3", "t.plan"},
                    o, error))
      << error;
  EXPECT_EQ(o.parameters, "s.ini");
  EXPECT_EQ(o.plan, "t.plan");
  EXPECT_EQ(parsed.text("--json"), "r.json");
  EXPECT_EQ(o.station, "line 3");
  EXPECT_TRUE(o.fast);
  EXPECT_TRUE(o.keepGoing);
  EXPECT_FALSE(parsed.has("--quiet"));
  EXPECT_EQ(o.faults, std::vector<std::string>{"RSCMU_Init_Base=-1@2+"});
  EXPECT_EQ(o.scenarios, std::vector<std::string>{"phone-off"});
  EXPECT_TRUE(o.library.empty());

  Options help;
  EXPECT_TRUE(Parse({"--help"}, help, error));  // needs neither plan nor parameters
  EXPECT_TRUE(help.help);
}

TEST(HostOptions, BadCommandLines) {
  const struct {
    std::vector<const char *> args;
    const char *error;
  } cases[] = {
      {{"--params", "s.ini"}, "no plan file given"},
      {{"--params", "s.ini", ""}, "no plan file given"},
      {{"t.plan"}, "no parameter file given (--params FILE)"},
      {{"--params"}, "--params needs a value"},
      {{"--params=", "t.plan"}, "--params needs a value"},
      {{"--params", "s.ini", "--fast=yes", "t.plan"}, "--fast takes no value"},
      {{"--params", "s.ini", "--slow", "t.plan"}, "unknown option --slow"},
      {{"--params", "s.ini", "a.plan", "b.plan"}, "one plan at a time: a.plan and b.plan"},
  };
  for (const auto &c : cases) {
    Options o;
    std::string error;
    EXPECT_FALSE(Parse(c.args, o, error)) << c.error;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
}

TEST(HostOptions, EveryScenarioIsAValidFaultScript) {
  for (const vorn_host::Scenario &s : vorn_host::Scenarios()) {
    station::FaultScript script;
    for (const std::string &text : s.faults) EXPECT_TRUE(script.addText(text)) << s.name << ": " << text;
    EXPECT_TRUE(!s.faults.empty() || s.setUp != nullptr) << s.name;
  }
}

class HostCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = vorn_test::TempDir();
    params = dir_ + "/station.ini";
    plan = dir_ + "/t.plan";
    std::ofstream(params) << "[1]\n";
    std::ofstream(plan) << "DcInit 1\n";
  }
  void TearDown() override { vorn_test::RemoveTempDir(dir_); }
  std::string dir_;
  std::string params;
  std::string plan;
};

TEST_F(HostCliTest, ProblemsBeforeTheFirstStepStopTheRun) {
  const std::string badPlan = dir_ + "/bad.plan";
  std::ofstream(badPlan) << "DcInit 1\nOBTInit three\n";
  const struct {
    std::string args;
    std::string says;
  } cases[] = {
      {"--params " + params + " " + badPlan, badPlan + ":2: step number \"three\" is not a 32-bit integer"},
      {"--params " + params + " " + dir_ + "/none.plan", dir_ + "/none.plan: cannot read the plan file"},
      {"--params " + dir_ + "/none.ini " + plan, dir_ + "/none.ini: cannot read the parameter file"},
      {"--params " + params + " --json " + dir_ + "/no/such/dir/r.json " + plan, "cannot write the JSON record"},
      {"--params " + params + " --fault RSCMU_Init_Base " + plan, "malformed fault \"RSCMU_Init_Base\""},
      {"--params " + params + " --scenario meteor " + plan, "unknown scenario \"meteor\""},
      {"--params " + params + " --library " + dir_ + "/none.so " + plan,
       "cannot load the library " + dir_ + "/none.so"},
      // A library that is not this one lacks its exports.
      {"--params " + params + " --library " + vorn_test::BuiltFile("libAllData.so") + " " + plan,
       "does not export Vorn_CMU200_GetVersion"},
      {"--params " + params, "no plan file given"},
  };
  for (const auto &c : cases) {
    const vorn_test::HostRun r = vorn_test::RunHost(c.args);
    EXPECT_EQ(r.status, 2) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_EQ(r.out.find("No  Step"), std::string::npos) << "no table: " << c.args;
  }
}

TEST_F(HostCliTest, HelpAndScenarioList) {
  const vorn_test::HostRun help = vorn_test::RunHost("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: vorn-host --params FILE [options] PLAN"), std::string::npos);
  const vorn_test::HostRun list = vorn_test::RunHost("--scenario list");
  EXPECT_EQ(list.status, 0);
  for (const vorn_host::Scenario &s : vorn_host::Scenarios()) {
    EXPECT_NE(list.out.find(s.name), std::string::npos) << s.name;
  }
}

}  // namespace
