// Tester initialisation: its driver calls in order, every failure label, and
// what it leaves in the tester state and on the simulated tester.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/journal_file.h"
#include "support/tester_fixture.h"

namespace {

using vorn_test::Handle;

class TesterInitTest : public vorn_test::TesterTest {};

TEST_F(TesterInitTest, EmptyFileOpensTheTesterAndSetsUpAnEgsmCell) {
  ASSERT_EQ(init(), 0) << host.error();
  const vorn::TesterState &t = state();
  EXPECT_TRUE(vorn_test::MatchesJournalFile(calls(), "tester_init_egsm_defaults.txt",
                                            {{"base", Handle(t.baseSession)}, {"sig", Handle(t.sigSession)}}));
  EXPECT_EQ(host.values[1], 1.0);
  EXPECT_EQ(host.values[2], vorn_test::HostBuffers::kUntouched);
  EXPECT_EQ(host.name(1), vorn_test::HostBuffers().name(1));

  EXPECT_STREQ(t.bandLabel, "EGSM");
  EXPECT_EQ(t.channel, 20);
  EXPECT_EQ(t.rfPortIndex, 0);
  EXPECT_EQ(t.bandSessions[1], t.sigSession);
  for (int code = 0; code < vorn::kBandSlots; ++code) {
    if (code != 1) {
      EXPECT_EQ(t.bandSessions[code], vorn::kNoSession) << code;
    }
  }
  EXPECT_EQ(t.nextSecondaryAddress, 2);
  EXPECT_EQ(t.txLevel, 0);

  // The tester broadcasts the cell the phone will camp on.
  const station::Tester &tester = st().tester;
  const auto cell = tester.broadcast();
  ASSERT_TRUE(cell.has_value());
  EXPECT_EQ(cell->bandCode, 1);
  EXPECT_EQ(cell->bcch, 20);
  // At the phone: -85 dBm less the fixture's loss at the BCCH's 939.0 MHz
  // (0.809 dB, between 914.8 and 1710.2 MHz) plus the empty file's 1.0 dB.
  EXPECT_NEAR(cell->levelDbm, -85.0 - 0.8091 + 1.0, 0.0005);
  int32_t signalling = -1;
  EXPECT_EQ(tester.signallingState(t.sigSession, &signalling), station::kTesterOk);
  EXPECT_EQ(signalling, static_cast<int32_t>(station::Signalling::On));
  const station::Tester::Base &base = tester.bases.at(t.baseSession);
  EXPECT_TRUE(base.lossTableEnabled);
  EXPECT_EQ(base.lossLines.size(), 12u);
  EXPECT_EQ(base.secondaryToGroup.at(1), 7);
}

TEST_F(TesterInitTest, SettingsComeFromTheStepSectionAndTheAttenuationSection) {
  writeParameters(
      "[1]\nBand=900\n"
      "[4]\nBand=1800\nRF port=2\nBCCH=600\nBCCH_Power=-60\nGPIB=20\n"
      "[Attenuation]\n"
      "GSM850_Low_CH=0.5\nGSM850_Mid_CH=0.5\nGSM850_High_CH=0.5\nGSM900_Low_CH=0.5\n"
      "GSM900_Mid_CH=0.5\nGSM900_High_CH=0.5\nDCS1800_Low_CH=0.5\nDCS1800_Mid_CH=0.5\n"
      "DCS1800_High_CH=0.5\nPCS1900_Low_CH=0.5\nPCS1900_Mid_CH=0.5\nPCS1900_High_CH=0.5\n");
  ASSERT_EQ(init(4), 0) << host.error();
  const vorn::TesterState &t = state();
  EXPECT_TRUE(vorn_test::MatchesJournalFile(calls(), "tester_init_dcs_configured.txt",
                                            {{"base", Handle(t.baseSession)}, {"sig", Handle(t.sigSession)}}));
  EXPECT_STREQ(t.bandLabel, "DCS");
  EXPECT_EQ(t.channel, 600);
  EXPECT_EQ(t.rfPortIndex, 1);
  EXPECT_EQ(t.bandSessions[2], t.sigSession);
  EXPECT_EQ(t.bandSessions[1], vorn::kNoSession);
}

TEST_F(TesterInitTest, PathLossValuesReachTheDriverInSinglePrecision) {
  writeParameters(
      "[Attenuation]\nGSM850_Low_CH=1.3\nGSM900_Mid_CH=0.5\nDCS1800_High_CH=-2.25dB\n"
      "PCS1900_High_CH=\n");
  ASSERT_EQ(init(), 0) << host.error();
  const std::vector<station::Call> lines = st().journal.of("RSCMU_Base_ConfUserCorrLossTablLine");
  ASSERT_EQ(lines.size(), 12u);
  const struct {
    int line;
    const char *value;
  } cases[] = {{1, "1.2999999523162842"}, {2, "1"}, {5, "0.5"}, {9, "-2.25"}, {12, "0"}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.line);
    const station::Call &line = lines.at(c.line - 1);
    EXPECT_EQ(line.args.at(1), std::to_string(c.line));
    EXPECT_EQ(line.args.at(5), c.value);  // the value, sent twice
    EXPECT_EQ(line.args.at(7), c.value);
  }
}

TEST_F(TesterInitTest, EveryFailureNamesItsOperationAndStopsThere) {
  const struct {
    const char *op;
    int64_t nth;
    const char *label;
  } cases[] = {
      {"RSCMU_Init_Base", 1, "RSCMU_Init_Base"},
      {"RSCMU_Base_RemTraceDisplay", 1, "RSCMU_Base_RemTraceDisplay"},
      {"RSCMU_Base_SystOptInf", 1, "RSCMU_Base_SystOptInf"},
      {"RSCMU_Base_ConfUserCorrLossTablLine", 1, "RSCMU_Base_ConfUserCorrLossTablLine"},
      {"RSCMU_Base_ConfUserCorrLossTablLine", 7, "RSCMU_Base_ConfUserCorrLossTablLine"},
      {"RSCMU_Base_ConfUserCorrLossTablLine", 12, "RSCMU_Base_ConfUserCorrLossTablLine"},
      {"RSCMU_Base_ConfUserCorrLossTabl", 1, "RSCMU_Base_ConfUserCorrLossTabl"},
      {"RSCMU_Base_ConfUserCorrLossTablEnab", 1, "RSCMU_Base_ConfUserCorrLossTablEnabl"},
      {"RSCMU_Base_SystRemAddrSec", 1, "RSCMU_Base_SystRemAddrSec"},
      {"RSCMU_Init_GSM_Sig", 1, "RSCMU_Init_GSM_Sig"},
      {"RSCMU_GSM_Sig_ConfNetwNSup", 1, "RSCMU_GSM_Sig_ConfNetwNSup"},
      {"RSCMU_GSM_Sig_ConfNetwSmodTraf", 1, "RSCMU_GSM_Sig_ConfNetwSmodTraf"},
      {"RSCMU_GSM_Sig_ConfNetwSmodBits", 1, "RSCMU_GSM_Sig_ConfNetwSmodBits"},
      {"RSCMU_GSM_Sig_ConfNetwIdenMcc", 1, "RSCMU_GSM_Sig_ConfNetwIdenMcc"},
      {"RSCMU_GSM_Sig_ConfNetwIdenMnc", 1, "RSCMU_GSM_Sig_ConfNetwIdenMnc"},
      {"RSCMU_SetTimeoutAttribute", 1, "RSCMU_SetTimeoutAttribute"},
      {"RSCMU_GSM_Sig_Inp", 1, "RSCMU_GSM_Sig_Inp"},
      {"RSCMU_GSM_Sig_Outp", 1, "RSCMU_GSM_Sig_Outp"},
      {"RSCMU_Query", 1, "RSCMU_Query"},
      {"RSCMU_GSM_Sig_ConfBssCchMode", 1, "RSCMU_GSM_Sig_ConfBssCchMode"},
      {"RSCMU_GSM_Sig_ConfBssCchChan", 1, "RSCMU_GSM_Sig_ConfBssCchChan"},
      {"RSCMU_GSM_Sig_ConfBssCchLevAbs", 1, "RSCMU_GSM_Sig_ConfBssCchLevAbs"},
      {"RSCMU_GSM_Sig_ConfBssPdatMslMtim", 1, "RSCMU_GSM_Sig_ConfBssPdatMslMtim"},
      {"RSCMU_GSM_Sig_ConfBssTchTim", 1, "RSCMU_GSM_Sig_ConfBssTchTim"},
      {"RSCMU_GSM_Sig_ConfBssMslLmod", 1, "RSCMU_GSM_Sig_ConfBssMslLmod"},
      {"RSCMU_GSM_Sig_ConfBssTchLevUtim", 1, "RSCMU_GSM_Sig_ConfBssTchLevUtim"},
      {"RSCMU_GSM_Sig_ConfMssCchPcl", 1, "RSCMU_GSM_Sig_ConfMssCchPcl"},
      {"RSCMU_GSM_Sig_ConfBssMslSconfInd", 1, "RSCMU_GSM_Sig_ConfBssMslSconfInd"},
      {"RSCMU_GSM_Sig_ConfMssMslSconf", 1, "RSCMU_GSM_Sig_ConfMssMslSconf"},
      {"RSCMU_GSM_Sig_ConfRxqContAgct", 1, "RSCMU_GSM_Sig_ConfRxqContAgct"},
      {"RSCMU_GSM_Sig_ProcSignAct", 1, "RSCMU_GSM_Sig_ProcSignAct"},
      {"RSCMU_Query", 2, "RSCMU_Query"},
      {"RSCMU_GSM_Sig_SensSignStat", 1, "RSCMU_GSM_Sig_SensSignStat"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.op) + " #" + std::to_string(c.nth));
    freshRun();
    st().faults.add(c.op, -1, c.nth);
    EXPECT_EQ(init(), -1);
    EXPECT_EQ(host.error(), std::string(c.label) + " Failed! CMU200 Error:");
    EXPECT_TRUE(host.resultsUntouched());
    EXPECT_EQ(lastCall().op, c.op);
    EXPECT_TRUE(lastCall().faulted);
    EXPECT_EQ(lastCall().number, c.nth);
    EXPECT_STREQ(state().bandLabel, "");  // label and channel only on success
    EXPECT_EQ(state().channel, 0);
  }
}

TEST_F(TesterInitTest, BandTableIsResetOnlyAfterTheTwelfthLine) {
  const struct {
    const char *op;
    int64_t nth;
    bool reset;
  } cases[] = {
      {"RSCMU_Base_ConfUserCorrLossTablLine", 7, false},
      {"RSCMU_Base_ConfUserCorrLossTablLine", 12, false},
      {"RSCMU_Base_ConfUserCorrLossTabl", 1, true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.op) + " #" + std::to_string(c.nth));
    freshRun();
    for (int32_t &session : state().bandSessions) session = 77;
    st().faults.add(c.op, -1, c.nth);
    ASSERT_EQ(init(), -1);
    for (int code = 0; code < vorn::kBandSlots; ++code) {
      EXPECT_EQ(state().bandSessions[code], c.reset ? vorn::kNoSession : 77) << code;
    }
  }
}

TEST_F(TesterInitTest, UnsupportedBandFailsAfterTheTableIsEnabled) {
  for (const char *band : {"1850", "0", "-900"}) {
    SCOPED_TRACE(band);
    freshRun();
    writeParameters(std::string("[1]\nBand=") + band + "\n");
    ASSERT_EQ(init(), -1);
    EXPECT_EQ(host.error(), "Band Not Support!");
    EXPECT_EQ(lastCall().op, "RSCMU_Base_ConfUserCorrLossTablEnab");
    for (const int32_t session : state().bandSessions) EXPECT_EQ(session, vorn::kNoSession);
    EXPECT_TRUE(st().tester.bases.at(state().baseSession).lossTableEnabled);
    EXPECT_TRUE(st().tester.sessions.empty());
  }
}

TEST_F(TesterInitTest, AFailedCellSetUpKeepsTheNewSessionButNotTheLabelOrChannel) {
  ASSERT_EQ(init(), 0);
  writeParameters("[1]\nBand=1900\nBCCH=600\n");
  st().faults.add("RSCMU_GSM_Sig_Outp", -1, 2);
  ASSERT_EQ(init(), -1);
  const vorn::TesterState &t = state();
  EXPECT_EQ(t.bandSessions[3], t.sigSession);
  EXPECT_EQ(t.bandSessions[1], vorn::kNoSession);  // the earlier run's session is dropped
  EXPECT_STREQ(t.bandLabel, "EGSM");
  EXPECT_EQ(t.channel, 20);
}

TEST_F(TesterInitTest, ReinitialisationOpensAFreshBaseAndKeepsCounterAndLevel) {
  ASSERT_EQ(init(), 0);
  const int32_t firstBase = state().baseSession;
  state().nextSecondaryAddress = 5;
  state().txLevel = 12;
  ASSERT_EQ(init(), 0);
  EXPECT_NE(state().baseSession, firstBase);
  EXPECT_EQ(state().nextSecondaryAddress, 5);
  EXPECT_EQ(state().txLevel, 12);
  // Initialisation binds its band to secondary address 1 every time.
  const std::vector<station::Call> binds = st().journal.of("RSCMU_Base_SystRemAddrSec");
  ASSERT_EQ(binds.size(), 2u);
  EXPECT_EQ(binds[1].args.at(1), "1");
}

TEST_F(TesterInitTest, RfPortIndexIsHeldAtThe32BitRange) {
  const struct {
    const char *value;
    int32_t index;
  } cases[] = {
      {"2", 1},
      {"0", -1},
      {"2147483647", 2147483646},
      {"-2147483647", INT32_MIN},
      {"-2147483648", INT32_MIN},  // no index below it
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value);
    freshRun();
    writeParameters(std::string("[1]\nRF port=") + c.value + "\n");
    init();
    EXPECT_EQ(state().rfPortIndex, c.index);
    EXPECT_EQ(st().journal.of("RSCMU_GSM_Sig_Inp").at(0).args.at(1), std::to_string(c.index));
  }
}

TEST_F(TesterInitTest, TheTesterRefusesWhatItCannotDo) {
  const struct {
    const char *parameters;
    const char *label;
    int32_t status;
  } cases[] = {
      // no instrument at that GPIB address
      {"[1]\nGPIB=7\n", "RSCMU_Init_Base", station::kErrorNoInstrument},
      // connector index -1
      {"[1]\nRF port=0\n", "RSCMU_GSM_Sig_Inp", station::kErrorParameter},
      // channel 20 is not a DCS channel
      {"[1]\nBand=1800\n", "RSCMU_GSM_Sig_ConfBssCchChan", station::kErrorParameter},
      // beyond the generator's range
      {"[1]\nBCCH_Power=0\n", "RSCMU_GSM_Sig_ConfBssCchLevAbs", station::kErrorParameter},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.parameters);
    freshRun();
    writeParameters(c.parameters);
    ASSERT_EQ(init(), -1);
    EXPECT_EQ(host.error(), std::string(c.label) + " Failed! CMU200 Error:");
    EXPECT_EQ(lastCall().op, c.label);
    EXPECT_EQ(lastCall().status, c.status);
    EXPECT_FALSE(lastCall().faulted);
  }
}

TEST_F(TesterInitTest, BandTableAndLabels) {
  const struct {
    int32_t key;
    int32_t group, code, target, indicator;
    const char *label;
  } rows[] = {{850, 5, 4, 4, vorn::kNoBandIndicator, "GSM850"},
              {900, 7, 1, 3, vorn::kNoBandIndicator, "EGSM"},
              {1800, 11, 2, 1, 0, "DCS"},
              {1900, 15, 3, 2, 1, "PCS"}};
  for (const auto &r : rows) {
    SCOPED_TRACE(r.key);
    const vorn::BandInfo *band = vorn::FindBand(r.key);
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(band->functionGroup, r.group);
    EXPECT_EQ(band->bandCode, r.code);
    EXPECT_EQ(band->handoverTarget, r.target);
    EXPECT_EQ(band->bandIndicator, r.indicator);
    EXPECT_STREQ(band->label, r.label);
    EXPECT_LT(std::strlen(band->label), vorn::kBandLabelSize);
    // The simulated tester agrees on which function group serves the band.
    EXPECT_EQ(station::FunctionGroupOfBand(r.code), r.group);
  }
  for (const int32_t key : {0, 1850, 1, -1, 18000}) EXPECT_EQ(vorn::FindBand(key), nullptr) << key;
}

}  // namespace
