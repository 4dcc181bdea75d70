// vorn-host run on the simulated station: exit status, the table, the JSON
// record, the fault options, and the typical station run of the examples.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <string>

#include "support/host_run.h"

namespace {

using nlohmann::json;

class HostStationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = vorn_test::TempDir();
    record = dir_ + "/run.json";
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string file(const std::string &name, const std::string &text) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << text;
    return path;
  }
  // Runs vorn-host on the virtual clock with a JSON record.
  vorn_test::HostRun host(const std::string &args) {
    return vorn_test::RunHost("--fast --json " + record + " " + args);
  }
  json recorded() const { return json::parse(vorn_test::ReadText(record)); }

  std::string dir_;
  std::string record;
};

TEST_F(HostStationTest, PassingRunExitsZeroWithItsRecord) {
  const std::string params = file("s.ini", "[1]\nVoltage=3.8\nReset=0\n");
  const std::string plan = file("t.plan", "DcInit 1 1=1\n");
  const vorn_test::HostRun r = host("--station line3 --params " + params + " " + plan);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("  1     1  DcInit                   PASS"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Run: PASS (1 PASS)"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("[1/1] DcInit, step 1: waiting on the equipment 1.0 s ... PASS"), std::string::npos)
      << r.err;

  const json j = recorded();
  EXPECT_EQ(j["station"]["name"], "line3");
  EXPECT_EQ(j["station"]["parameters"], params);
  EXPECT_EQ(j["plan"], plan);
  EXPECT_EQ(j["verdict"], "PASS");
  EXPECT_EQ(j["exitStatus"], 0);
  EXPECT_EQ(j["waitedMs"], 1000);  // no "OUTP OFF" pause with Reset=0
  EXPECT_EQ(j["steps"][0]["results"][0]["value"], 1.0);
}

TEST_F(HostStationTest, LimitMissedExitsOne) {
  const std::string params = file("s.ini", "[1]\n");
  const vorn_test::HostRun r = host("--params " + params + " " + file("t.plan", "DcInit 1 1=2..\n"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("FAIL: entry 1 = 1, outside 2.."), std::string::npos) << r.out;
  EXPECT_EQ(recorded()["verdict"], "FAIL");
}

TEST_F(HostStationTest, FaultsShowWhatEachFailureLooksLike) {
  const std::string params = file("s.ini", "[1]\n");
  const std::string plan = file("t.plan", "DcInit 1\nDcInit 1\n");
  const struct {
    std::string options;
    std::string text;
    const char *second;  // the second step's verdict
  } cases[] = {
      {"--scenario supply-absent", "GPIBDcInit Failed!", "NOT RUN"},
      {"--scenario supply-absent --keep-going", "GPIBDcInit Failed!", "ERROR"},
      // the second write, the voltage, of the first call only
      {"--fault viWrite=-1@2", "DC_Voltage_4VDcInit Failed!", "NOT RUN"},
      {"--fault viWrite=-1@2 --keep-going", "DC_Voltage_4VDcInit Failed!", "PASS"},
  };
  for (const auto &c : cases) {
    const vorn_test::HostRun r = host(c.options + " --params " + params + " " + plan);
    EXPECT_EQ(r.status, 1) << c.options;
    const json j = recorded();
    EXPECT_EQ(j["steps"][0]["verdict"], "ERROR") << c.options;
    EXPECT_EQ(j["steps"][0]["returned"], -1) << c.options;
    EXPECT_EQ(j["steps"][0]["text"], c.text) << c.options;
    EXPECT_EQ(j["steps"][1]["verdict"], c.second) << c.options;
    EXPECT_NE(r.out.find("            " + c.text + "\n"), std::string::npos) << r.out;
  }
  const vorn_test::HostRun r = host("--scenario supply-absent --fault viClear=-1 --params " + params + " " + plan);
  EXPECT_NE(r.out.find("scenarios supply-absent\nfaults viClear=-1\n"), std::string::npos) << r.out;
  EXPECT_EQ(recorded()["station"]["faults"], json::array({"viClear=-1"}));
}

TEST_F(HostStationTest, PhoneScenarios) {
  const std::string params = file("s.ini", "[1]\n[2]\nComPort=COM3\n");
  const std::string plan = file("t.plan", "DcInit 1\nMobInit 2 1=1\n");
  const struct {
    const char *scenario;
    const char *text;
  } cases[] = {
      {"no-com-port", "DWD_set_com_port Failed! DWD Error:COM3 does not exist on this computer"},
      {"phone-off", "DWD_check_comm_link Failed! ErrMsg:COM3: no answer from the phone"},
      {"phone-normal-mode", "DWD_check_for_ptest Fail to Switch!!!"},
  };
  for (const auto &c : cases) {
    const vorn_test::HostRun r = host(std::string("--scenario ") + c.scenario + " --params " + params + " " + plan);
    EXPECT_EQ(r.status, 1) << c.scenario;
    const json j = recorded();
    EXPECT_EQ(j["steps"][0]["verdict"], "PASS") << c.scenario;
    EXPECT_EQ(j["steps"][1]["verdict"], "ERROR") << c.scenario;
    EXPECT_EQ(j["steps"][1]["text"], c.text) << c.scenario;
  }
  // Without a scenario the phone, fed by the supply, comes up in test mode.
  const vorn_test::HostRun r = host("--params " + params + " " + plan);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(recorded()["steps"][1]["results"][0]["name"], "COM3, 115200, ULC2");
}

}  // namespace
