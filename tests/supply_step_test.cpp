// The DC supply step: its VISA calls and waits, every failure label, the
// settings it refuses, the sessions it closes, and the simulated supply it powers.
#include <string>
#include <vector>

#include "outside/visa.h"
#include "support/station_test.h"
#include "visa/sessions.h"
#include "visa/status.h"

namespace {

class SupplyStepTest : public vorn_test::StationTest {
 protected:
  int32_t run(int32_t number = 1) { return Vorn_CMU200_DcInit(number, host.values, host.names, host.errorText); }

  // The texts of the commands written, in order.
  std::vector<std::string> writes() const {
    std::vector<std::string> out;
    for (const station::Call &call : station::station().journal.of("viWrite")) out.push_back(call.args.at(1));
    return out;
  }

  // The first argument of the nth call of op (a session number), from 1.
  std::string session(const char *op, std::size_t nth = 1) const {
    return station::station().journal.of(op).at(nth - 1).args.at(0);
  }

  bool namesUntouched() const {
    const vorn_test::HostBuffers fresh;
    for (int i = 0; i <= VORN_CMU200_RESULT_COUNT; ++i) {
      if (host.name(i) != fresh.name(i)) return false;
    }
    return true;
  }
};

TEST_F(SupplyStepTest, EmptySectionSwitchesTheOutputOffSetsItUpAndOn) {
  writeParameters("[2]\nVoltage=3.6\n");
  ASSERT_EQ(run(1), 0);
  const std::string rm = session("viOpen");
  const std::string instrument = session("viClear");
  EXPECT_NE(rm, instrument);
  const std::vector<std::string> expected = {
      "dcGet_ParaFileName() = 0",
      "viOpenDefaultRM() = 0",
      "viOpen(" + rm + ", GPIB0::14::INSTR, 0, 0) = 0",
      "viClear(" + instrument + ") = 0",
      "viWrite(" + instrument + ", OUTP OFF, 8) = 0",
      "Sleep(500) = 0",
      "viWrite(" + instrument + ", VOLT 4, 6) = 0",
      "viWrite(" + instrument + ", CURR 3, 6) = 0",
      "viWrite(" + instrument + ", OUTP ON, 7) = 0",
      "Sleep(1000) = 0",
      "viClose(" + instrument + ") = 0",
      "viClose(" + rm + ") = 0",
  };
  EXPECT_EQ(st().journal.texts(true), expected);
  EXPECT_EQ(host.values[1], 1.0);
  EXPECT_EQ(host.values[2], vorn_test::HostBuffers::kUntouched);
  EXPECT_TRUE(namesUntouched());

  const station::Supply &supply = st().supply;
  EXPECT_TRUE(supply.outputOn());
  EXPECT_DOUBLE_EQ(supply.voltage(), 4.0);
  EXPECT_DOUBLE_EQ(supply.currentLimit(), 3.0);
  EXPECT_TRUE(supply.errors().empty());
  EXPECT_EQ(supply.outputVoltage(), 4.0);  // the phone behind it is powered
}

TEST_F(SupplyStepTest, ResetOtherThanOneKeepsTheOutputOnAndSkipsItsWait) {
  const struct {
    const char *reset;
    bool switchesOff;
  } cases[] = {{"0", false}, {"2", false}, {"-1", false}, {"1", true}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.reset);
    st().reset();
    writeParameters(std::string("[1]\nReset=") + c.reset + "\n");
    ASSERT_EQ(run(), 0);
    std::vector<std::string> expected = {"VOLT 4", "CURR 3", "OUTP ON"};
    std::vector<uint32_t> waits = {1000};
    if (c.switchesOff) {
      expected.insert(expected.begin(), "OUTP OFF");
      waits.insert(waits.begin(), 500);
    }
    EXPECT_EQ(writes(), expected);
    EXPECT_EQ(this->waits(), waits);
  }
}

TEST_F(SupplyStepTest, SettingsComeFromTheStepSectionAsTheyAreWritten) {
  st().supply.setGpibAddress(5);
  writeParameters(
      "[1]\nVoltage=4.4\n"
      "[7]\nGPIB=gpib0::5::instr\nVoltage=3.8 // phone nominal\nCurrent=2500mA\n");
  ASSERT_EQ(run(7), 0);
  ASSERT_EQ(st().journal.count("viOpen"), 1u);
  EXPECT_EQ(st().journal.of("viOpen")[0].args[1], "gpib0::5::instr");
  EXPECT_EQ(writes(), (std::vector<std::string>{"OUTP OFF", "VOLT 3.8", "CURR 2500mA", "OUTP ON"}));
  EXPECT_EQ(st().journal.of("viWrite")[1].args[2], "8");  // comment and blank cut
  EXPECT_EQ(st().supply.outputVoltage(), 3.8);
  EXPECT_DOUBLE_EQ(st().supply.currentLimit(), 2.5);
}

TEST_F(SupplyStepTest, EveryFailureNamesItsOperationAndStopsThere) {
  const struct {
    const char *op;
    int64_t nth;
    int64_t status;
    const char *reset;
    const char *label;
    std::size_t writes;  // commands written, the refused one included
  } cases[] = {
      {"viOpenDefaultRM", 1, VI_ERROR_SYSTEM_ERROR, "1", "viOpenDefaultRM", 0},
      {"viOpen", 1, VI_ERROR_RSRC_NFOUND, "1", "GPIB", 0},
      {"viOpen", 1, 0x3FFF007D, "1", "GPIB", 0},  // a success code with a warning is no success here
      {"viClear", 1, VI_ERROR_TMO, "1", "viClear", 0},
      {"viWrite", 1, VI_ERROR_IO, "1", "DC_Output_Off", 1},
      {"viWrite", 2, VI_ERROR_TMO, "1", "DC_Voltage_4V", 2},
      {"viWrite", 3, VI_ERROR_IO, "1", "DC_Current_3A", 3},
      {"viWrite", 4, VI_ERROR_NLISTENERS, "1", "DC_Output_On", 4},
      {"viWrite", 1, VI_ERROR_IO, "0", "DC_Voltage_4V", 1},
      {"viWrite", 2, VI_ERROR_IO, "0", "DC_Current_3A", 2},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.op) + " at " + std::to_string(c.nth) + ", Reset " + c.reset);
    st().reset();
    host = vorn_test::HostBuffers();
    writeParameters(std::string("[1]\nReset=") + c.reset + "\n");
    st().faults.add(c.op, c.status, c.nth);
    const std::size_t openBefore = visa::sessions().openCount();
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(host.error(), std::string(c.label) + "DcInit Failed!");
    EXPECT_TRUE(host.resultsUntouched());
    // Nothing after the failing call but closing the resource manager, once it
    // is open, which closes its instrument session with it.
    const bool managerOpen = std::string(c.op) != "viOpenDefaultRM";
    const std::vector<std::string> ops = equipmentOps();
    ASSERT_GE(ops.size(), managerOpen ? 2u : 1u);
    EXPECT_EQ(ops[ops.size() - (managerOpen ? 2 : 1)], c.op);
    EXPECT_EQ(st().journal.count("viClose"), managerOpen ? 1u : 0u);
    if (managerOpen) {
      EXPECT_EQ(session("viClose"), session("viOpen"));
    }
    EXPECT_EQ(visa::sessions().openCount(), openBefore);
    EXPECT_EQ(st().journal.count("viWrite"), c.writes);
    EXPECT_FALSE(st().supply.outputOn());  // "OUTP ON" only after everything before it
    const bool offWaited = std::string(c.reset) == "1" && c.writes >= 2;
    EXPECT_EQ(waits(), offWaited ? std::vector<uint32_t>{500} : std::vector<uint32_t>{});
  }
}

TEST_F(SupplyStepTest, ResourceThatCannotBeOpenedFailsAsGpib) {
  const struct {
    const char *resource;
    ViStatus status;
  } cases[] = {
      {"GPIB0::7::INSTR", VI_ERROR_RSRC_NFOUND},  // nothing at that address
      {"GPIB1::14::INSTR", VI_ERROR_INTF_NUM_NCONFIG},
      {"COM3", VI_ERROR_INV_RSRC_NAME},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.resource);
    st().reset();
    writeParameters(std::string("[1]\nGPIB=") + c.resource + "\n");
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(host.error(), "GPIBDcInit Failed!");
    ASSERT_EQ(st().journal.count("viOpen"), 1u);
    EXPECT_EQ(st().journal.of("viOpen")[0].status, c.status);
    EXPECT_EQ(equipmentOps(), (std::vector<std::string>{"viOpenDefaultRM", "viOpen", "viClose"}));
  }
}

TEST_F(SupplyStepTest, SettingTooLongOrEmptyIsRefusedBeforeAnyVisaCall) {
  const std::string twenty = "4.000000000000000000";  // 20 characters
  const std::string nineteen = twenty.substr(0, 19);
  const struct {
    std::string keys;
    const char *label;  // nullptr: accepted, and sent as it is
    std::string voltage = "4";
    std::string current = "3";
  } cases[] = {
      {"Voltage=" + twenty, "DC_Voltage_4V"},
      {"Current=" + twenty, "DC_Current_3A"},
      {"Voltage=" + twenty + "\nCurrent=" + twenty, "DC_Voltage_4V"},
      {"Voltage=" + std::string(200, '9'), "DC_Voltage_4V"},
      {"Voltage=" + nineteen + "\nCurrent=" + nineteen, nullptr, nineteen, nineteen},
      // An empty setting would leave the supply at its earlier setpoint.
      {"Voltage=", "DC_Voltage_4V"},
      {"Voltage=   ", "DC_Voltage_4V"},
      {"Voltage=\" \t \"", "DC_Voltage_4V"},
      {"Current=", "DC_Current_3A"},
      {"Current=\"  \"", "DC_Current_3A"},
      // Anything else is the supply's to judge.
      {"Voltage=3.8V\nCurrent=MAX", nullptr, "3.8V", "MAX"},
      {"Voltage=\"  4\"", nullptr, " 4"},  // the reader drops one leading blank, the step none
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.keys);
    st().reset();
    host = vorn_test::HostBuffers();
    writeParameters("[1]\n" + c.keys + "\n");
    if (c.label == nullptr) {
      EXPECT_EQ(run(), 0);
      EXPECT_EQ(writes(), (std::vector<std::string>{"OUTP OFF", "VOLT " + c.voltage, "CURR " + c.current, "OUTP ON"}));
      continue;
    }
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(host.error(), std::string(c.label) + "DcInit Failed!");
    EXPECT_TRUE(equipmentOps().empty());
    EXPECT_TRUE(host.resultsUntouched());
  }
}

TEST_F(SupplyStepTest, EachCallOpensItsOwnPairAndClosesItBeforeReturning) {
  const std::size_t openBefore = visa::sessions().openCount();
  ASSERT_EQ(run(), 0);
  ASSERT_EQ(run(), 0);
  EXPECT_EQ(st().journal.count("viOpenDefaultRM"), 2u);
  EXPECT_NE(session("viOpen", 1), session("viOpen", 2));
  EXPECT_NE(session("viClear", 1), session("viClear", 2));
  // The instrument session first, then its resource manager.
  EXPECT_EQ(session("viClose", 1), session("viClear", 1));
  EXPECT_EQ(session("viClose", 2), session("viOpen", 1));
  EXPECT_EQ(visa::sessions().openCount(), openBefore);
  // The first call's instrument session is gone; the output stays as set.
  const ViSession first = static_cast<ViSession>(std::stoul(session("viClear", 1)));
  const unsigned char command[] = "OUTP OFF";
  ViUInt32 written = 0;
  EXPECT_EQ(viWrite(first, command, 8, &written), VI_ERROR_INV_OBJECT);
  EXPECT_TRUE(st().supply.outputOn());
}

TEST_F(SupplyStepTest, SettingsTheSupplyRefusesStillSucceedAndReachItsErrorQueue) {
  const struct {
    const char *keys;
    int error;
    double voltage;
    double current;
  } cases[] = {
      {"Voltage=abc", -104, 0.0, 3.0},
      {"Voltage=4 V olts", -102, 0.0, 3.0},
      {"Voltage=48", -222, 0.0, 3.0},
      {"Current=3 V", -131, 4.0, 0.1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.keys);
    st().reset();
    writeParameters(std::string("[1]\n") + c.keys + "\n");
    EXPECT_EQ(run(), 0);  // success means only that VISA took each write
    const station::Supply &supply = st().supply;
    ASSERT_EQ(supply.errors().size(), 1u);
    EXPECT_EQ(supply.errors().front().code, c.error);
    EXPECT_DOUBLE_EQ(supply.voltage(), c.voltage);
    EXPECT_DOUBLE_EQ(supply.currentLimit(), c.current);
    EXPECT_TRUE(supply.outputOn());
  }
}

}  // namespace
