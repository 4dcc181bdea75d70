// vorn-host run on the simulated station: exit status, the table, the JSON
// record, the fault options, and the typical station run of the examples.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <string>

#include "station/measurement.h"
#include "station/tester.h"
#include "support/host_run.h"

namespace {

using nlohmann::json;

class HostStationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = vorn_test::TempDir();
    record = dir_ + "/run.json";
  }
  void TearDown() override { vorn_test::RemoveTempDir(dir_); }

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
  EXPECT_NE(r.err.find("[1/1] DcInit, step 1: waiting on the equipment 1.0 s ... PASS"), std::string::npos) << r.err;

  const json j = recorded();
  EXPECT_EQ(j["session"]["station"], "line3");
  EXPECT_EQ(j["session"]["parameters"], params);
  EXPECT_EQ(j["session"]["plan"], plan);
  EXPECT_EQ(j["session"]["single"], true);
  EXPECT_EQ(j["verdict"], "PASS");
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
  EXPECT_EQ(recorded()["session"]["faults"], json::array({"viClear=-1"}));
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

TEST_F(HostStationTest, TesterScenariosInTheTypicalRun) {
  const std::string examples = VORN_EXAMPLES_DIR;
  const std::string refused =
      "CMU200 Error: " + std::to_string(station::kErrorHandoverTarget) + ". RSCMU_GSM_Sig_HandOver Failed! ";
  const struct {
    const char *scenario;
    std::size_t index;  // the first step that does not pass
    const char *verdict;
    std::string text;
  } cases[] = {
      {"tester-absent", 2, "ERROR", "RSCMU_Init_Base Failed! CMU200 Error:"},
      {"handover-refused", 12, "ERROR", refused},
      {"phone-without-egsm", 3, "FAIL", ""},
  };
  for (const auto &c : cases) {
    const vorn_test::HostRun r = host(std::string("--scenario ") + c.scenario + " --params " + examples +
                                      "/station.ini " + examples + "/typical.plan");
    EXPECT_EQ(r.status, 1) << c.scenario;
    const json j = recorded();
    for (std::size_t i = 0; i < c.index; ++i) EXPECT_EQ(j["steps"][i]["verdict"], "PASS") << c.scenario << i;
    EXPECT_EQ(j["steps"][c.index]["verdict"], c.verdict) << c.scenario;
    EXPECT_EQ(j["steps"][c.index]["text"], c.text) << c.scenario;
    EXPECT_EQ(j["verdict"], "ERROR") << c.scenario;  // every scenario ends in a step that fails
  }
  // The phone that never camps: MakeCall's finding is the limit it misses.
  EXPECT_EQ(recorded()["steps"][3]["misses"], json::array({"entry 1 = 0, outside 1"}));
}

// The README's first command, on the virtual clock: every step PASS, and the
// results the simulated station gives for this plan and parameter file.
TEST_F(HostStationTest, TypicalStationRun) {
  const std::string examples = VORN_EXAMPLES_DIR;
  const vorn_test::HostRun r = host("--params " + examples + "/station.ini " + examples + "/typical.plan");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const json j = recorded();
  const json &steps = j["steps"];
  ASSERT_EQ(steps.size(), 21u);
  for (const json &step : steps) EXPECT_EQ(step["verdict"], "PASS") << step.dump();
  // About fifteen seconds of the station's waits, which the real time run spends.
  EXPECT_GE(j["waitedMs"], 13000);
  EXPECT_LE(j["waitedMs"], 17000);
  EXPECT_LT(j["durationMs"], 1000.0);

  auto name = [&](std::size_t index, std::size_t entry = 0) {
    return steps[index]["results"][entry]["name"].get<std::string>();
  };
  auto value = [&](std::size_t index, std::size_t entry = 0) {
    return steps[index]["results"][entry]["value"].get<double>();
  };
  const std::vector<std::string> order = {"DcInit",
                                          "MobInit",
                                          "OBTInit",
                                          "MakeCall",
                                          "OBTChangeTXLevel",
                                          "OBTPowervsTime",
                                          "OBTOutputRFSpectrum",
                                          "OBTRXLevelandQuality",
                                          "OBTChangeTCH",
                                          "OBTChangeTXLevel",
                                          "OBTPowervsTime",
                                          "OBTRXLevelandQuality",
                                          "OBTHandOver",
                                          "OBTPowervsTime",
                                          "OBTHandOver",
                                          "OBTPowervsTime",
                                          "OBTOutputRFSpectrum",
                                          "OBTRXLevelandQuality",
                                          "OBTEndCall",
                                          "MobReset",
                                          "MobClose"};
  for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(steps[i]["export"], "Vorn_CMU200_" + order[i]) << i;

  EXPECT_EQ(name(1), "COM3, 115200, ULC2");
  EXPECT_EQ(value(3), 1.0);  // the phone reached idle on the cell and called
  // Band, channel and level as each measurement saw them.
  const struct {
    std::size_t index;
    const char *conditions;
  } named[] = {
      {5, "Band=EGSM;Chan=20;TXLevel=5"},   {7, "Band=EGSM;Chan=20;TXLevel=5"},  {10, "Band=EGSM;Chan=62;TXLevel=10"},
      {11, "Band=EGSM;Chan=62;TXLevel=10"}, {12, "Band=DCS;Chan=62;TXLevel=10"}, {13, "Band=DCS;Chan=62;TXLevel=10"},
      {14, "Band=PCS;Chan=62;TXLevel=10"},  {15, "Band=PCS;Chan=62;TXLevel=10"}, {17, "Band=PCS;Chan=62;TXLevel=10"},
  };
  for (const auto &n : named) EXPECT_EQ(name(n.index), n.conditions) << n.index;

  // Power versus time: the phone's nominal power for band and level.
  const struct {
    std::size_t index;
    int bandCode;
    int level;
  } powers[] = {{5, 1, 5}, {10, 1, 10}, {13, 2, 10}, {15, 3, 10}};
  for (const auto &p : powers) {
    const double average = value(p.index, 0);
    EXPECT_NEAR(average, station::NominalPowerDbm(p.bandCode, p.level), 0.25) << p.index;
    EXPECT_NEAR(value(p.index, 1), average, 0.05) << p.index;       // useful part
    EXPECT_NEAR(value(p.index, 2), average + 0.6, 0.1) << p.index;  // peak
    EXPECT_NEAR(value(p.index, 3), 0.0, 0.2) << p.index;            // timing error
    EXPECT_EQ(value(p.index, 4), 1.0) << p.index;                   // inside the template
  }
  // Receive level and quality of the traffic channel at "CellPower" -100 dBm.
  for (std::size_t index : {7u, 11u, 17u}) {
    EXPECT_EQ(value(index, 0), station::RxLevel(-100.0)) << index;
    EXPECT_EQ(value(index, 1), station::RxQuality(-100.0)) << index;
  }

  // Both spectra, all fifteen offsets on: thirty named entries.
  for (std::size_t index : {6u, 16u}) {
    ASSERT_EQ(steps[index]["results"].size(), 30u);
    EXPECT_EQ(name(index, 0), "-0.10MHZ Modulation Spectrum");
    EXPECT_EQ(name(index, 1), "+0.10MHZ Modulation Spectrum");
    EXPECT_EQ(name(index, 21), "+1.80MHZ Modulation Spectrum");
    EXPECT_EQ(name(index, 22), "-0.40MHZ Switching Spectrum");
    EXPECT_EQ(name(index, 29), "+1.80MHZ Switching Spectrum");
    for (int p = 0; p < 11; ++p) {
      EXPECT_NEAR(value(index, 2 * p), station::kModulationDb[p], 0.3) << index << " " << p;
      EXPECT_NEAR(value(index, 2 * p + 1), station::kModulationDb[p] + station::kModulationUpperSideDb, 0.3)
          << index << " " << p;
    }
    for (int q = 0; q < 4; ++q) {
      EXPECT_NEAR(value(index, 22 + 2 * q), station::kSwitchingDbm[q], 0.3) << index << " " << q;
      EXPECT_NEAR(value(index, 23 + 2 * q), station::kSwitchingDbm[q] + station::kSwitchingUpperSideDb, 0.3)
          << index << " " << q;
    }
  }
  EXPECT_EQ(value(20), 1.0);  // the link closed

  for (const char *row : {"  1     1  DcInit                   PASS", " 21    14  MobClose                 PASS",
                          "Run: PASS (21 PASS)", "exit status 0"}) {
    EXPECT_NE(r.out.find(row), std::string::npos) << row << "\n" << r.out;
  }
}

}  // namespace
