// The mobile steps on the simulated phone: link and test-mode entry, the
// emergency call's idle wait, reset and close.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "outside/alldata.h"
#include "outside/dwdio.h"
#include "support/journal_file.h"
#include "support/station_test.h"

namespace {

using Texts = std::vector<std::string>;
using Mode = station::Phone::Mode;

class MobileTest : public vorn_test::StationTest {
 protected:
  void SetUp() override {
    StationTest::SetUp();
    writeParameters("[1]\nComPort=COM3\n");
  }

  station::Phone &phone() { return st().phone; }
  Texts calls() const { return station::station().journal.texts(); }
  int32_t mobInit() { return Vorn_CMU200_MobInit(1, host.values, host.names, host.errorText); }

  // A switched-on phone in test mode on COM3, its link stored; a clean journal.
  void openLink() {
    phone().setSwitchedOn(true);
    phone().setMode(Mode::Test);
    ASSERT_EQ(mobInit(), 0) << host.error();
    st().journal.clear();
    host = vorn_test::HostBuffers();
  }

  // A cell of the tester on air, as the tester's initialisation leaves it.
  void cellOnAir(int bandCode, int bcch, double levelDbm = -85.0) {
    station::Tester &t = st().tester;
    int32_t base = 0;
    int32_t sig = 0;
    ASSERT_EQ(t.initBase(t.gpibAddress, &base), station::kTesterOk);
    ASSERT_EQ(t.bindSecondary(base, 1, station::FunctionGroupOfBand(bandCode)), station::kTesterOk);
    ASSERT_EQ(t.initSig(base, &sig, bandCode), station::kTesterOk);
    ASSERT_EQ(t.configure(sig, "ConfBssCchChan", {double(bcch)}), station::kTesterOk);
    ASSERT_EQ(t.configure(sig, "ConfBssCchLevAbs", {levelDbm}), station::kTesterOk);
    ASSERT_EQ(t.signallingAction(sig, 1), station::kTesterOk);
  }
  int32_t makeCall() { return Vorn_CMU200_MakeCall(1, host.values, host.names, host.errorText); }

  // The handle the container holds, or 0.
  uint32_t storedHandle() {
    uint32_t handle = 0;
    char text[VORN_CMU200_ERROR_TEXT_SIZE] = {};
    return dcGet_hMobile(&handle, text) == 0 ? handle : 0;
  }
};

// ---- Link and test-mode entry ----

TEST_F(MobileTest, LinkToAnAnsweringPhoneInTestMode) {
  phone().setSwitchedOn(true);
  phone().setMode(Mode::Test);
  ASSERT_EQ(mobInit(), 0) << host.error();
  EXPECT_TRUE(vorn_test::MatchesJournalFile(calls(), "mobile_link_in_test_mode.txt", {}));
  EXPECT_EQ(host.values[1], 1.0);
  EXPECT_EQ(host.name(1), "COM3, 115200, ULC2");
  EXPECT_EQ(host.error(), "host text");
  EXPECT_EQ(storedHandle(), 1u);
}

TEST_F(MobileTest, ComPortNotBeginningWithComFailsBeforeAnyLibraryCall) {
  for (const char *file : {"[1]\n", "[1]\nComPort=\n", "[1]\nComPort=com3\n", "[1]\nComPort=PORT3\n"}) {
    SCOPED_TRACE(file);
    writeParameters(file);
    st().journal.clear();
    EXPECT_EQ(mobInit(), -1);
    EXPECT_EQ(host.error(), "Parameter Format mismatch!");
    EXPECT_EQ(calls(), Texts{"dcGet_ParaFileName()"});
    EXPECT_TRUE(host.resultsUntouched());
  }
}

TEST_F(MobileTest, PortNumberIsReadLikeAtoi) {
  phone().setSwitchedOn(true);
  phone().setMode(Mode::Test);
  phone().setPorts({0, 3, 7, 12, 2147483647});
  const struct {
    const char *value;
    const char *opened;
    const char *name;
  } cases[] = {
      {"COM3 // the fixture's port", "DWD_set_com_port(3)", "COM3, 115200, ULC2"},
      {"COM12x", "DWD_set_com_port(12)", "COM12, 115200, ULC2"},
      {"COM 7", "DWD_set_com_port(7)", "COM7, 115200, ULC2"},
      {"COM", "DWD_set_com_port(0)", "COM0, 115200, ULC2"},
      // held to 32 bits rather than overflowing
      {"COM99999999999", "DWD_set_com_port(2147483647)", "COM2147483647, 115200, ULC2"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value);
    writeParameters(std::string("[1]\nComPort=") + c.value + "\n");
    st().journal.clear();
    ASSERT_EQ(mobInit(), 0) << host.error();
    EXPECT_EQ(st().journal.of("DWD_set_com_port").at(0).text(), c.opened);
    EXPECT_EQ(host.name(1), c.name);
  }
}

TEST_F(MobileTest, PortThatDoesNotExist) {
  writeParameters("[1]\nComPort=COM9\n");
  EXPECT_EQ(mobInit(), -1);
  EXPECT_EQ(host.error(), "DWD_set_com_port Failed! DWD Error:COM9 does not exist on this computer");
  EXPECT_EQ(calls(), (Texts{"dcGet_ParaFileName()", "DWD_set_com_port(9)", "DWD_get_last_error()"}));
  EXPECT_TRUE(host.resultsUntouched());
  EXPECT_EQ(storedHandle(), 0u);
}

TEST_F(MobileTest, PhoneAnsweringOnlyAtTheThirdCheckStillGetsTheSecondRun) {
  phone().setSwitchedOn(true);
  phone().setMode(Mode::Test);
  st().faults.add("DWD_check_comm_link", 0, 1);
  st().faults.add("DWD_check_comm_link", 0, 2);
  ASSERT_EQ(mobInit(), 0) << host.error();
  EXPECT_EQ(equipmentOps(),
            (Texts{"DWD_set_com_port", "DWD_set_eep_cfg_filename", "DWD_set_baud_rate", "DWD_set_DTR", "DWD_set_RTS",
                   "DWD_set_v24_mode", "DWD_set_v24_mode", "DWD_check_comm_link", "DWD_check_comm_link",
                   "DWD_check_comm_link", "DWD_set_v24_mode", "DWD_check_comm_link", "DWD_check_for_ptest"}));
  EXPECT_EQ(waits(), (std::vector<uint32_t>{100, 100, 100}));
  EXPECT_EQ(phone().acknowledgements(), 0);
}

TEST_F(MobileTest, PhoneThatIsOffIsSwitchedOnByTheOperator) {
  phone().setMode(Mode::Test);
  ASSERT_EQ(mobInit(), 0) << host.error();
  EXPECT_TRUE(vorn_test::MatchesJournalFile(calls(), "mobile_link_operator_switches_on.txt", {}));
  EXPECT_EQ(host.values[1], 1.0);
}

TEST_F(MobileTest, PhoneThatStaysOff) {
  phone().setStaysOff(true);
  EXPECT_EQ(mobInit(), -1);
  EXPECT_EQ(host.error(), "DWD_check_comm_link Failed! ErrMsg:COM3: no answer from the phone");
  EXPECT_EQ(st().journal.count("DWD_check_comm_link"), 7u);
  EXPECT_EQ(st().journal.count("MessageBoxA"), 1u);
  EXPECT_EQ(st().journal.count("DWD_check_for_ptest"), 0u);
  EXPECT_TRUE(host.resultsUntouched());
  EXPECT_EQ(storedHandle(), 0u);
  EXPECT_EQ(equipmentOps().back(), "DWD_close_com_port");
  EXPECT_EQ(st().journal.of("DWD_close_com_port").at(0).text(), "DWD_close_com_port(1)");
}

TEST_F(MobileTest, PhoneInNormalModeIsSwitchedByAReset) {
  phone().setSwitchedOn(true);
  ASSERT_EQ(mobInit(), 0) << host.error();
  EXPECT_TRUE(vorn_test::MatchesJournalFile(calls(), "mobile_link_reset_into_test_mode.txt", {}));
  EXPECT_EQ(st().clock.nowMs(), 3400u);
  EXPECT_EQ(phone().mode(), Mode::Test);
  EXPECT_EQ(host.name(1), "COM3, 115200, ULC2");
}

TEST_F(MobileTest, SwitchIntoTestModeThatFails) {
  const struct {
    const char *name;
    void (*arrange)(station::Station &);
    const char *error;
    std::size_t checks;
  } cases[] = {
      {"stays in normal mode", [](station::Station &s) { s.phone.setStaysInNormalMode(true); },
       "DWD_check_for_ptest Fail to Switch!!!", 2},
      // the reset's status is not looked at: only the second query shows it
      {"reset refused", [](station::Station &s) { s.faults.add("DWD_sw_reset", 0); },
       "DWD_check_for_ptest Fail to Switch!!!", 2},
      {"no answer after the reset", [](station::Station &s) { s.faults.add("DWD_check_comm_link", 0, 2, true); },
       "DWD_check_comm_link Failed! ErrMsg:DWD_check_comm_link: status 0 (scripted fault)", 5},
      {"first query fails", [](station::Station &s) { s.faults.add("DWD_check_for_ptest", 0, 1); },
       "DWD_check_for_ptest Failed! DWD Error:DWD_check_for_ptest: status 0 (scripted fault)", 1},
      {"second query fails", [](station::Station &s) { s.faults.add("DWD_check_for_ptest", 0, 2); },
       "DWD_check_for_ptest Failed! DWD Error:DWD_check_for_ptest: status 0 (scripted fault)", 2},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    st().reset();
    host = vorn_test::HostBuffers();
    phone().setSwitchedOn(true);
    c.arrange(st());
    EXPECT_EQ(mobInit(), -1);
    EXPECT_EQ(host.error(), c.error);
    EXPECT_EQ(st().journal.count("DWD_check_comm_link"), c.checks);
    EXPECT_EQ(st().journal.count("MessageBoxA"), 0u);  // never a prompt after the reset
    EXPECT_EQ(st().journal.count("dcSet_hMobile"), 0u);
    EXPECT_TRUE(host.resultsUntouched());
    // The link it opened is closed last, once the failure text has its last error.
    const Texts ops = equipmentOps();
    EXPECT_EQ(ops.back(), "DWD_close_com_port");
    EXPECT_EQ(st().journal.count("DWD_close_com_port"), 1u);
    EXPECT_FALSE(phone().linkOpen(1));
  }
}

TEST_F(MobileTest, LineSetUpAndContainerStatusesAreNotLookedAt) {
  phone().setSwitchedOn(true);
  phone().setMode(Mode::Test);
  for (const char *op : {"DWD_set_eep_cfg_filename", "DWD_set_baud_rate", "DWD_set_DTR", "DWD_set_RTS",
                         "DWD_set_v24_mode", "dcSet_hMobile"}) {
    st().faults.add(op, 0, 1, true);
  }
  EXPECT_EQ(mobInit(), 0) << host.error();
  EXPECT_EQ(host.values[1], 1.0);
  EXPECT_EQ(st().journal.count("DWD_get_last_error"), 0u);
}

TEST_F(MobileTest, LongPrefixIsBoundedToItsNameEntry) {
  phone().setSwitchedOn(true);
  phone().setMode(Mode::Test);
  const std::string prefix(254, 'p');
  writeParameters("[1]\nComPort=COM3\nPrefix=" + prefix + "\n");
  ASSERT_EQ(mobInit(), 0) << host.error();
  EXPECT_EQ(std::strlen(host.names[1]), VORN_CMU200_RESULT_NAME_SIZE - 1u);
  EXPECT_EQ(host.name(1), ("COM3, 115200, " + prefix).substr(0, VORN_CMU200_RESULT_NAME_SIZE - 1));
  EXPECT_EQ(host.names[2][0], '#');
  EXPECT_EQ(st().journal.of("DWD_set_eep_cfg_filename").at(0).args.at(0), prefix);  // in full
}

TEST_F(MobileTest, SecondLinkNeedsThePortFreeAndThenReplacesTheStoredHandle) {
  openLink();
  EXPECT_EQ(mobInit(), -1);  // the first link still holds COM3
  EXPECT_EQ(host.error(), "DWD_set_com_port Failed! DWD Error:COM3 is in use by another link");
  EXPECT_EQ(storedHandle(), 1u);
  EXPECT_EQ(st().journal.count("DWD_close_com_port"), 0u);  // a failed open closes nothing
  ASSERT_EQ(DWD_close_com_port(1), 1);
  ASSERT_EQ(mobInit(), 0) << host.error();
  EXPECT_EQ(storedHandle(), 2u);
}

TEST_F(MobileTest, FailedSetUpFreesThePortForTheNextLink) {
  const struct {
    const char *name;
    void (*arrange)(station::Phone &);
  } cases[] = {
      {"a phone that never answers", [](station::Phone &p) { p.setStaysOff(true); }},
      {"a phone that will not switch", [](station::Phone &p) { p.setStaysInNormalMode(true); }},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    st().reset();
    phone().setSwitchedOn(true);
    c.arrange(phone());
    ASSERT_EQ(mobInit(), -1);
    EXPECT_FALSE(phone().portHeld(3));
    // The next phone on the same port.
    phone().reset();
    phone().setSwitchedOn(true);
    phone().setMode(Mode::Test);
    host = vorn_test::HostBuffers();
    EXPECT_EQ(mobInit(), 0) << host.error();
    EXPECT_TRUE(phone().portHeld(3));
  }
}

// ---- Emergency call: the channel and the idle wait ----

TEST_F(MobileTest, CallChannelDefaultsTo20) {
  openLink();
  for (const auto &[file, expected] : {std::pair{"[1]\n", "DWD_set_test_mode(1, 20, 1)"},
                                       std::pair{"[1]\nBCCH=62\n", "DWD_set_test_mode(1, 62, 1)"}}) {
    writeParameters(file);
    st().journal.clear();
    makeCall();
    EXPECT_EQ(st().journal.of("DWD_set_test_mode").at(0).text(), expected);
  }
}

TEST_F(MobileTest, CallOnTheTestersCell) {
  openLink();
  cellOnAir(1, 20);
  ASSERT_EQ(makeCall(), 0) << host.error();
  EXPECT_EQ(calls(), (Texts{"dcGet_ParaFileName()", "dcGet_hMobile()", "DWD_set_test_mode(1, 20, 1)",
                            "DWD_dut_in_idle(1)", "Sleep(200)", "DWD_dut_in_idle(1)", "Sleep(200)",
                            "DWD_dut_in_idle(1)", "DWD_setup_emergency_call(1)", "Sleep(2000)"}));
  EXPECT_EQ(host.values[1], 1.0);
  EXPECT_EQ(host.error(), "host text");
  EXPECT_EQ(st().tester.signalling, station::Signalling::CallEstablished);
}

TEST_F(MobileTest, IdleAtTheFirstOrTheTwentiethQuery) {
  for (const int queries : {1, 20}) {
    SCOPED_TRACE(queries);
    st().reset();
    host = vorn_test::HostBuffers();
    openLink();
    cellOnAir(1, 20);
    phone().setQueriesToIdle(queries);
    ASSERT_EQ(makeCall(), 0) << host.error();
    std::vector<uint32_t> expected(queries - 1, 200);
    expected.push_back(2000);
    EXPECT_EQ(waits(), expected);
    EXPECT_EQ(st().journal.count("DWD_dut_in_idle"), std::size_t(queries));
    EXPECT_EQ(host.values[1], 1.0);
  }
}

TEST_F(MobileTest, CellsThePhoneDoesNotCampOn) {
  const struct {
    const char *name;
    int bandCode;
    int cellBcch;
    double levelDbm;
    const char *file;
  } cases[] = {
      {"another channel", 1, 30, -85.0, "[1]\n"},
      {"a band the phone lacks", 2, 512, -85.0, "[1]\nBCCH=512\n"},
      {"too weak", 1, 20, -110.0, "[1]\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    st().reset();
    host = vorn_test::HostBuffers();
    writeParameters("[1]\nComPort=COM3\n");
    openLink();
    phone().setBands({1, 4});
    cellOnAir(c.bandCode, c.cellBcch, c.levelDbm);
    writeParameters(c.file);
    EXPECT_EQ(makeCall(), 0);
    EXPECT_EQ(host.values[1], 0.0);
    EXPECT_EQ(st().journal.count("DWD_dut_in_idle"), 20u);
    EXPECT_EQ(st().tester.signalling, station::Signalling::On);
  }
}

TEST_F(MobileTest, EmergencyCallThatFails) {
  openLink();
  cellOnAir(1, 20);
  st().faults.add("DWD_setup_emergency_call", 0);
  EXPECT_EQ(makeCall(), -1);
  EXPECT_EQ(host.error(),
            "DWD_setup_emergency_call Failed! DWD Error:DWD_setup_emergency_call: status 0 (scripted fault)");
  EXPECT_EQ(st().journal.count("Sleep"), 2u);  // the idle wait's, not the call's
  EXPECT_TRUE(host.resultsUntouched());
}

TEST_F(MobileTest, PhoneThatNeverReportsIdleIsAFinding) {
  openLink();  // no cell on the air
  EXPECT_EQ(makeCall(), 0);
  EXPECT_EQ(host.values[1], 0.0);
  EXPECT_EQ(host.error(), "host text");
  EXPECT_EQ(st().journal.count("DWD_dut_in_idle"), 20u);
  EXPECT_EQ(waits(), std::vector<uint32_t>(20, 200));
  EXPECT_EQ(st().journal.count("DWD_setup_emergency_call"), 0u);
}

TEST_F(MobileTest, FailingIdleQueryStopsTheWait) {
  openLink();
  st().faults.add("DWD_dut_in_idle", 0, 5);
  EXPECT_EQ(makeCall(), -1);
  EXPECT_EQ(host.error(), "DWD_dut_in_idle Failed! DWD Error:DWD_dut_in_idle: status 0 (scripted fault)");
  EXPECT_EQ(st().journal.count("DWD_dut_in_idle"), 5u);
  EXPECT_EQ(waits(), std::vector<uint32_t>(4, 200));
  EXPECT_EQ(st().journal.count("DWD_setup_emergency_call"), 0u);
  EXPECT_TRUE(host.resultsUntouched());
}

TEST_F(MobileTest, TestModeRefusedByAPhoneInNormalMode) {
  openLink();
  phone().setMode(Mode::Normal);
  EXPECT_EQ(makeCall(), -1);
  EXPECT_EQ(host.error(), "DWD_set_test_mode Failed! DWD Error:COM3: the phone is not in test mode");
  EXPECT_EQ(st().journal.count("DWD_dut_in_idle"), 0u);
  EXPECT_TRUE(host.resultsUntouched());
}

TEST_F(MobileTest, CallReachedThroughTesterInitialisation) {
  const struct {
    const char *file;  // [1] the phone's link and call, [2] the tester
    double value;
    station::Signalling after;
  } cases[] = {
      {"[1]\nComPort=COM3\n[2]\n", 1.0, station::Signalling::CallEstablished},
      {"[1]\nComPort=COM3\nBCCH=600\n[2]\nBand=1800\nBCCH=600\n", 1.0, station::Signalling::CallEstablished},
      // the phone listens on another channel than the cell's
      {"[1]\nComPort=COM3\nBCCH=30\n[2]\n", 0.0, station::Signalling::On},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.file);
    st().reset();
    host = vorn_test::HostBuffers();
    writeParameters(c.file);
    ASSERT_EQ(mobInit(), 0) << host.error();  // switched on by the operator, then into test mode
    ASSERT_EQ(Vorn_CMU200_OBTInit(2, host.values, host.names, host.errorText), 0) << host.error();
    ASSERT_EQ(makeCall(), 0) << host.error();
    EXPECT_EQ(host.values[1], c.value);
    EXPECT_EQ(st().tester.signalling, c.after);
  }
}

// ---- Reset and close ----

TEST_F(MobileTest, ResetWithAndWithoutSwitchToNormal) {
  const struct {
    const char *file;
    Texts expected;
    Mode after;
  } cases[] = {
      {"[1]\n", {"dcGet_ParaFileName()", "dcGet_hMobile()", "DWD_sw_reset(1)"}, Mode::Test},
      {"[1]\nSwitchToNormal=1\n",
       {"dcGet_ParaFileName()", "dcGet_hMobile()", "DWD_set_serial_interface_mode(0, 1)", "DWD_sw_reset(1)"},
       Mode::Normal},
      {"[1]\nSwitchToNormal=-1\n",
       {"dcGet_ParaFileName()", "dcGet_hMobile()", "DWD_set_serial_interface_mode(0, 1)", "DWD_sw_reset(1)"},
       Mode::Normal},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.file);
    st().reset();
    writeParameters("[1]\nComPort=COM3\n");
    openLink();
    writeParameters(c.file);
    EXPECT_EQ(Vorn_CMU200_MobReset(1, host.values, host.names, host.errorText), 0) << host.error();
    EXPECT_EQ(calls(), c.expected);
    EXPECT_EQ(host.values[1], 1.0);
    EXPECT_EQ(phone().mode(), c.after);
    EXPECT_TRUE(phone().linkOpen(1));  // the reset leaves the link open
  }
}

TEST_F(MobileTest, ResetFailures) {
  const struct {
    const char *name;
    const char *faulted;
    const char *error;
    std::size_t resets;
  } cases[] = {
      {"mode change", "DWD_set_serial_interface_mode",
       "DWD_set_serial_interface_mode Failed! DWD Error:DWD_set_serial_interface_mode: status 0 (scripted fault)", 0},
      {"reset", "DWD_sw_reset", "DWD_sw_reset Failed! DWD Error:DWD_sw_reset: status 0 (scripted fault)", 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    st().reset();
    writeParameters("[1]\nComPort=COM3\n");
    openLink();
    writeParameters("[1]\nSwitchToNormal=1\n");
    st().faults.add(c.faulted, 0);
    EXPECT_EQ(Vorn_CMU200_MobReset(1, host.values, host.names, host.errorText), -1);
    EXPECT_EQ(host.error(), c.error);
    EXPECT_EQ(st().journal.count("DWD_sw_reset"), c.resets);
    EXPECT_TRUE(host.resultsUntouched());
  }
}

TEST_F(MobileTest, ResetOfAPhoneThatLostPower) {
  openLink();
  phone().setSwitchedOn(false);
  EXPECT_EQ(Vorn_CMU200_MobReset(1, host.values, host.names, host.errorText), -1);
  EXPECT_EQ(host.error(), "DWD_sw_reset Failed! DWD Error:COM3: no answer from the phone");
}

TEST_F(MobileTest, CloseHandsTheStatusByteToTheHost) {
  const struct {
    std::optional<int64_t> scripted;
    double value;
  } cases[] = {{std::nullopt, 1.0}, {0, 0.0}, {200, 200.0}};
  for (const auto &c : cases) {
    st().reset();
    openLink();
    if (c.scripted) st().faults.add("DWD_close_com_port", *c.scripted);
    EXPECT_EQ(Vorn_CMU200_MobClose(1, host.values, host.names, host.errorText), 0);
    EXPECT_EQ(host.values[1], c.value);
    EXPECT_EQ(host.error(), "host text");
    // no parameter file, no last error
    EXPECT_EQ(calls(), (Texts{"dcGet_hMobile()", "DWD_close_com_port(1)"}));
  }
}

TEST_F(MobileTest, ClosingAClosedLinkReportsZero) {
  openLink();
  ASSERT_EQ(Vorn_CMU200_MobClose(1, host.values, host.names, host.errorText), 0);
  EXPECT_FALSE(phone().linkOpen(1));
  EXPECT_EQ(Vorn_CMU200_MobClose(1, host.values, host.names, host.errorText), 0);
  EXPECT_EQ(host.values[1], 0.0);  // the handle stays stored: the closed link's
}

TEST_F(MobileTest, NoStoredHandle) {
  using StepFn = int32_t(VORN_CMU200_CALL *)(int32_t, double *, Vorn_CMU200_ResultName *, char *);
  for (StepFn step : {Vorn_CMU200_MakeCall, Vorn_CMU200_MobReset, Vorn_CMU200_MobClose}) {
    st().journal.clear();
    host = vorn_test::HostBuffers();
    EXPECT_EQ(step(1, host.values, host.names, host.errorText), -1);
    EXPECT_EQ(host.error(), "AllData: no mobile handle stored");  // only the container's text
    EXPECT_TRUE(equipmentOps().empty());
    EXPECT_TRUE(host.resultsUntouched());
  }
}

}  // namespace
