// The measurement steps on a call on the simulated tester: what they send,
// where each fetched value goes, and what a failure leaves.
#include <cmath>
#include <string>
#include <vector>

#include "station/measurement.h"
#include "support/tester_fixture.h"

namespace {

using vorn_test::HostBuffers;

class MeasureTest : public vorn_test::TesterTest {
 protected:
  int32_t spectrum(int32_t n = 1) {
    return Vorn_CMU200_OBTOutputRFSpectrum(n, host.values, host.names, host.errorText);
  }
  int32_t power(int32_t n = 1) {
    return Vorn_CMU200_OBTPowervsTime(n, host.values, host.names, host.errorText);
  }
  int32_t rx(int32_t n = 1) {
    return Vorn_CMU200_OBTRXLevelandQuality(n, host.values, host.names, host.errorText);
  }
  std::string sig() const { return vorn_test::Handle(vorn::testerState.sigSession); }
  int written() const {
    int n = 0;
    while (n + 1 <= VORN_CMU200_RESULT_COUNT && host.values[n + 1] != HostBuffers::kUntouched) ++n;
    return n;
  }
};

const char *const kDefaultNames[30] = {
    "-0.10MHZ Modulation Spectrum", "+0.10MHZ Modulation Spectrum",
    "-0.20MHZ Modulation Spectrum", "+0.20MHZ Modulation Spectrum",
    "-0.25MHZ Modulation Spectrum", "+0.25MHZ Modulation Spectrum",
    "-0.40MHZ Modulation Spectrum", "+0.40MHZ Modulation Spectrum",
    "-0.60MHZ Modulation Spectrum", "+0.60MHZ Modulation Spectrum",
    "-0.80MHZ Modulation Spectrum", "+0.80MHZ Modulation Spectrum",
    "-1.00MHZ Modulation Spectrum", "+1.00MHZ Modulation Spectrum",
    "-1.20MHZ Modulation Spectrum", "+1.20MHZ Modulation Spectrum",
    "-1.40MHZ Modulation Spectrum", "+1.40MHZ Modulation Spectrum",
    "-1.60MHZ Modulation Spectrum", "+1.60MHZ Modulation Spectrum",
    "-1.80MHZ Modulation Spectrum", "+1.80MHZ Modulation Spectrum",
    "-0.40MHZ Switching Spectrum",  "+0.40MHZ Switching Spectrum",
    "-0.60MHZ Switching Spectrum",  "+0.60MHZ Switching Spectrum",
    "-1.20MHZ Switching Spectrum",  "+1.20MHZ Switching Spectrum",
    "-1.80MHZ Switching Spectrum",  "+1.80MHZ Switching Spectrum",
};

TEST_F(MeasureTest, SpectrumWithEveryOffsetOn) {
  initialisedWithCall();
  ASSERT_EQ(spectrum(), 0) << host.error();
  ASSERT_EQ(written(), 30);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(host.name(i + 1), kDefaultNames[i]);
  EXPECT_EQ(host.values[0], HostBuffers::kUntouched);
  EXPECT_EQ(host.names[0][0], '#');

  // Each value is the offset's own: modulation relative to the carrier,
  // switching absolute, lower and upper side near each other.
  for (int p = 0; p < 11; ++p) {
    EXPECT_NEAR(host.values[1 + 2 * p], station::kModulationDb[p], 0.5) << kDefaultNames[2 * p];
    EXPECT_NEAR(host.values[2 + 2 * p], station::kModulationDb[p], 0.8) << kDefaultNames[2 * p + 1];
    EXPECT_NE(host.values[1 + 2 * p], host.values[2 + 2 * p]);
  }
  for (int q = 0; q < 4; ++q) {
    EXPECT_NEAR(host.values[23 + 2 * q], station::kSwitchingDbm[q], 0.5);
    EXPECT_NEAR(host.values[24 + 2 * q], station::kSwitchingDbm[q], 0.9);
  }
  // The carrier reference at indices 11 and 27 is never a result.
  for (int i = 1; i <= 30; ++i) EXPECT_LT(host.values[i], 10.0) << i;

  std::vector<std::string> expected;
  for (int p = 1; p <= 11; ++p) {
    expected.push_back("RSCMU_GSM_Sig_ConfSpecModContMpo(" + sig() + ", " + std::to_string(p) + ", 1) = 0");
  }
  expected.push_back("RSCMU_GSM_Sig_ConfSpecModCont(" + sig() + ", 1, 10) = 0");
  expected.push_back("RSCMU_GSM_Sig_ConfSpecModContRep(" + sig() + ", 1, 0, 0) = 0");
  expected.push_back("RSCMU_GSM_Sig_ConfSpecMSwContRep(" + sig() + ", 1, 0, 0) = 0");
  for (int q = 1; q <= 4; ++q) {
    expected.push_back("RSCMU_GSM_Sig_ConfSpecSwitContMpo(" + sig() + ", " + std::to_string(q) + ", 1) = 0");
  }
  expected.push_back("RSCMU_GSM_Sig_ConfSpecSwitCont(" + sig() + ", 1, 10) = 0");
  expected.push_back("RSCMU_GSM_Sig_ConfSpecSwitContRep(" + sig() + ", 1, 0, 0) = 0");
  expected.push_back("RSCMU_GSM_Sig_InitSpecMSw(" + sig() + ") = 0");
  expected.push_back("RSCMU_GSM_Sig_FetcArrSpecMSw(" + sig() + ") = 0");
  EXPECT_EQ(calls(), expected);
}

TEST_F(MeasureTest, OffsetsSwitchedOffLeaveNoGap) {
  std::string allOff = "[1]\n";
  for (const char *name : kDefaultNames) {
    if (name[0] != '-') continue;
    const std::string text(name + 1);
    const bool modulation = text.find("Modulation") != std::string::npos;
    allOff += std::string(modulation ? "Mod +/-" : "Swit +/-") + text.substr(0, 7) + " Enable=0\n";
  }
  const struct {
    const char *name;
    std::string file;
    std::vector<std::string> names;
  } cases[] = {
      {"all off", allOff, {}},
      {"only switching 1.80 (its key absent)",
       allOff.substr(0, allOff.find("Swit +/-1.80MHZ Enable=0")),
       {"-1.80MHZ Switching Spectrum", "+1.80MHZ Switching Spectrum"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    freshRun();
    writeParameters(c.file);
    initialisedWithCall();
    ASSERT_EQ(spectrum(), 0) << host.error();
    ASSERT_EQ(written(), static_cast<int>(c.names.size()));
    for (std::size_t i = 0; i < c.names.size(); ++i) EXPECT_EQ(host.name(static_cast<int>(i) + 1), c.names[i]);
    EXPECT_EQ(st().journal.count("RSCMU_GSM_Sig_FetcArrSpecMSw"), 1u);
  }

  // Two offsets on among the modulation ones, one of them by the value 5.
  freshRun();
  std::string two = allOff;
  two.replace(two.find("Mod +/-0.25MHZ Enable=0"), 23, "Mod +/-0.25MHZ Enable=5");
  two.replace(two.find("Mod +/-1.80MHZ Enable=0"), 23, "Mod +/-1.80MHZ Enable=1");
  writeParameters(two);
  initialisedWithCall();
  ASSERT_EQ(spectrum(), 0) << host.error();
  ASSERT_EQ(written(), 4);
  EXPECT_EQ(host.name(1), "-0.25MHZ Modulation Spectrum");
  EXPECT_EQ(host.name(2), "+0.25MHZ Modulation Spectrum");
  EXPECT_EQ(host.name(3), "-1.80MHZ Modulation Spectrum");
  EXPECT_EQ(host.name(4), "+1.80MHZ Modulation Spectrum");
  EXPECT_NEAR(host.values[1], station::kModulationDb[2], 0.5);
  EXPECT_NEAR(host.values[3], station::kModulationDb[10], 0.5);
  EXPECT_EQ(st().journal.of("RSCMU_GSM_Sig_ConfSpecModContMpo").at(2).args.at(2), "5");
}

struct FailureCase {
  const char *op;
  int nth;
  const char *label;
};

TEST_F(MeasureTest, EachSpectrumFailureNamesItsOperation) {
  const FailureCase cases[] = {
      {"RSCMU_GSM_Sig_ConfSpecModContMpo", 4, "RSCMU_GSM_Sig_ConfSpecModContMpo"},
      {"RSCMU_GSM_Sig_ConfSpecModCont", 1, "RSCMU_GSM_Sig_ConfSpecModCont"},
      {"RSCMU_GSM_Sig_ConfSpecModContRep", 1, "RSCMU_GSM_Sig_ConfSpecModContRep"},
      {"RSCMU_GSM_Sig_ConfSpecMSwContRep", 1, "RSCMU_GSM_Sig_ConfSpecMSwContRep"},
      {"RSCMU_GSM_Sig_ConfSpecSwitContMpo", 2, "RSCMU_GSM_Sig_ConfSpecSwitContMpo"},
      {"RSCMU_GSM_Sig_ConfSpecSwitCont", 1, "RSCMU_GSM_Sig_ConfSpecSwitCont"},
      {"RSCMU_GSM_Sig_ConfSpecSwitContRep", 1, "RSCMU_GSM_Sig_ConfSpecSwitContRep"},
      {"RSCMU_GSM_Sig_InitSpecMSw", 1, "RSCMU_GSM_Sig_InitSpecMSw"},
      {"RSCMU_GSM_Sig_FetcArrSpecMSw", 1, "RSCMU_GSM_Sig_FetcArrSpecMSw"},
  };
  for (const FailureCase &c : cases) {
    SCOPED_TRACE(c.op);
    freshRun();
    initialisedWithCall();
    st().faults.add(c.op, -1, c.nth);
    EXPECT_EQ(spectrum(), -1);
    EXPECT_EQ(host.error(), std::string(c.label) + " Failed! CMU200 Error:");
    EXPECT_EQ(lastCall().op, c.op);  // nothing after the failing call
    EXPECT_EQ(lastCall().number, c.nth);
    EXPECT_TRUE(host.resultsUntouched());
  }
}

TEST_F(MeasureTest, PowerVersusTime) {
  initialisedWithCall();
  vorn::testerState.channel = 62;
  vorn::testerState.txLevel = 5;
  ASSERT_EQ(power(), 0) << host.error();
  EXPECT_EQ(calls(), (std::vector<std::string>{
                         "RSCMU_GSM_Sig_ConfPowMprContRep(" + sig() + ", 1, 0, 0) = 0",
                         "RSCMU_GSM_Sig_ConfPowMprCont(" + sig() + ", 0, 10) = 0",
                         "RSCMU_GSM_Sig_InitPowMpr(" + sig() + ") = 0",
                         "RSCMU_GSM_Sig_FetcPowMpr(" + sig() + ", 1) = 0",
                     }));
  EXPECT_NEAR(host.values[1], 33.0, 0.3);                    // EGSM at level 5
  EXPECT_NEAR(host.values[2], host.values[1], 0.15);         // argument 10: the useful part
  EXPECT_GT(host.values[3], host.values[1] + 0.4);           // argument 9: the peak
  EXPECT_LT(std::fabs(host.values[4]), 0.3);                 // argument 11: timing
  EXPECT_EQ(host.values[5], 1.0);
  EXPECT_EQ(host.values[6], HostBuffers::kUntouched);
  EXPECT_EQ(host.name(1), "Band=EGSM;Chan=62;TXLevel=5");
  EXPECT_EQ(host.names[2][0], '#');
}

TEST_F(MeasureTest, PowerFollowsTheCommandedLevel) {
  initialisedWithCall();
  const struct {
    int level;
    double dbm;
  } cases[] = {{5, 33.0}, {10, 23.0}, {19, 5.0}};
  for (const auto &c : cases) {
    writeParameters("[1]\nTXLevel=" + std::to_string(c.level) + "\n");
    ASSERT_EQ(changeTxLevel(), 0) << host.error();
    ASSERT_EQ(power(), 0) << host.error();
    EXPECT_NEAR(host.values[1], c.dbm, 0.3) << c.level;
    EXPECT_EQ(host.name(1), "Band=EGSM;Chan=20;TXLevel=" + std::to_string(c.level));
  }
}

TEST_F(MeasureTest, TemplateFlagIsAFindingNotAFailure) {
  const struct {
    int32_t flag;
    double value;
  } cases[] = {{0, 1.0}, {1, 0.0}, {-1, 0.0}, {7, 0.0}};
  for (const auto &c : cases) {
    freshRun();
    initialisedWithCall();
    st().measurement.templateFlag = c.flag;
    EXPECT_EQ(power(), 0);
    EXPECT_EQ(host.values[5], c.value) << c.flag;
  }
}

TEST_F(MeasureTest, AFetchThatFillsNothingReadsAsInsideTheTemplateWithZeroValues) {
  initialisedWithCall();
  st().faults.add("RSCMU_GSM_Sig_FetcPowMpr", 0);  // succeeds without touching an output
  ASSERT_EQ(power(), 0) << host.error();
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(host.values[i], 0.0) << i;
  EXPECT_EQ(host.values[5], 1.0);  // the flag was preset to 0
  EXPECT_EQ(host.name(1), "Band=EGSM;Chan=20;TXLevel=0");
}

TEST_F(MeasureTest, EachPowerFailureNamesItsOperation) {
  const char *const ops[] = {"RSCMU_GSM_Sig_ConfPowMprContRep", "RSCMU_GSM_Sig_ConfPowMprCont",
                             "RSCMU_GSM_Sig_InitPowMpr", "RSCMU_GSM_Sig_FetcPowMpr"};
  for (const char *op : ops) {
    SCOPED_TRACE(op);
    freshRun();
    initialisedWithCall();
    st().faults.add(op, -1073807339);
    EXPECT_EQ(power(), -1);
    EXPECT_EQ(host.error(), std::string(op) + " Failed! CMU200 Error:");
    EXPECT_EQ(lastCall().op, op);
    EXPECT_TRUE(host.resultsUntouched());
  }
}

TEST_F(MeasureTest, NoMeasurementWithoutACall) {
  ASSERT_EQ(init(), 0) << host.error();
  host = HostBuffers();
  EXPECT_EQ(power(), -1);
  EXPECT_EQ(host.error(), "RSCMU_GSM_Sig_InitPowMpr Failed! CMU200 Error:");
  EXPECT_EQ(rx(), -1);
  EXPECT_EQ(host.error(), "RSCMU_GSM_Sig_ProcBssTchLevUtim Failed! CMU200 Error:");
  EXPECT_TRUE(host.resultsUntouched());
}

TEST_F(MeasureTest, ReceiveLevelAndQuality) {
  const struct {
    const char *file;
    const char *level;   // as the tester is told
    double rxLevel;
    double rxQuality;
    std::vector<uint32_t> waits;
  } cases[] = {
      {"", "-100", 11.0, 0.0, {1500, 100}},
      {"[1]\nCellPower=-85.5\nDelay=0\n", "-85.5", 25.0, 0.0, {1500, 0}},
      {"[1]\nCellPower=-40\nDelay=250\n", "-40", 63.0, 0.0, {1500, 250}},
      {"[1]\nCellPower=-108\n", "-108", 3.0, 7.0, {1500, 100}},
      {"[1]\nDelay=-5\n", "-100", 11.0, 0.0, {1500, 0}},  // a negative delay waits not at all
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.file);
    freshRun();
    initialisedWithCall();
    writeParameters(c.file);
    ASSERT_EQ(rx(), 0) << host.error();
    EXPECT_EQ(calls(), (std::vector<std::string>{
                           "RSCMU_GSM_Sig_ProcBssTchLevUtim(" + sig() + ", " + c.level + ") = 0",
                           "RSCMU_Query(" + sig() + ", *OPC?, 1) = 0",
                           "Sleep(1500) = 0",
                           "RSCMU_GSM_Sig_SensRrepRxl(" + sig() + ") = 0",
                           "RSCMU_Query(" + sig() + ", *OPC?, 1) = 0",
                           "Sleep(" + std::to_string(c.waits[1]) + ") = 0",
                           "RSCMU_GSM_Sig_SensRrepRxq(" + sig() + ") = 0",
                       }));
    EXPECT_EQ(host.values[1], c.rxLevel);
    EXPECT_EQ(host.values[2], c.rxQuality);
    EXPECT_EQ(waits(), c.waits);
    EXPECT_EQ(host.name(1), "Band=EGSM;Chan=20;TXLevel=0");
  }
}

TEST_F(MeasureTest, EachReceiveFailureNamesItsOperation) {
  const struct {
    FailureCase failure;
    std::size_t waits;  // made before the failure
  } cases[] = {
      {{"RSCMU_GSM_Sig_ProcBssTchLevUtim", 1, "RSCMU_GSM_Sig_ProcBssTchLevUtim"}, 0},
      {{"RSCMU_Query", 1, "RSCMU_Query"}, 0},
      {{"RSCMU_GSM_Sig_SensRrepRxl", 1, "RSCMU_GSM_Sig_SensRrepRxl"}, 1},
      {{"RSCMU_Query", 2, "RSCMU_Query"}, 1},
      {{"RSCMU_GSM_Sig_SensRrepRxq", 1, "RSCMU_GSM_Sig_SensRrepRxq"}, 2},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.failure.op) + " #" + std::to_string(c.failure.nth));
    freshRun();
    initialisedWithCall();
    st().faults.add(c.failure.op, -1, c.failure.nth);
    EXPECT_EQ(rx(), -1);
    EXPECT_EQ(host.error(), std::string(c.failure.label) + " Failed! CMU200 Error:");
    EXPECT_EQ(lastCall().op, c.failure.op);
    EXPECT_EQ(waits().size(), c.waits);
    EXPECT_TRUE(host.resultsUntouched());  // a level already read is not written either
  }
  // A refused cell power leaves the traffic level where it was.
  freshRun();
  initialisedWithCall();
  writeParameters("[1]\nCellPower=not a number\n");  // reads as 0.0: above the generator's range
  EXPECT_EQ(rx(), -1);
  EXPECT_EQ(host.error(), "RSCMU_GSM_Sig_ProcBssTchLevUtim Failed! CMU200 Error:");
  EXPECT_EQ(st().tester.call.trafficLevelDbm, -85.0);
}

TEST(MeasurementModel, NominalPowerAndReceiverReport) {
  const struct {
    int band, level;
    double dbm;
  } power[] = {{1, 5, 33}, {1, 6, 31}, {1, 19, 5}, {1, 2, 33}, {4, 12, 19},
               {2, 0, 30}, {2, 15, 0},  {3, 7, 16}, {3, 20, 0}};
  for (const auto &c : power) EXPECT_EQ(station::NominalPowerDbm(c.band, c.level), c.dbm);
  const struct {
    double dbm;
    int32_t level, quality;
  } rx[] = {{-111, 0, 7}, {-110.5, 0, 7}, {-110, 1, 7}, {-100, 11, 0}, {-102, 9, 1},
            {-48, 63, 0}, {-20, 63, 0}};
  for (const auto &c : rx) {
    EXPECT_EQ(station::RxLevel(c.dbm), c.level) << c.dbm;
    EXPECT_EQ(station::RxQuality(c.dbm), c.quality) << c.dbm;
  }
}

TEST_F(MeasureTest, RepeatableFromRunToRun) {
  initialisedWithCall();
  ASSERT_EQ(spectrum(), 0);
  const HostBuffers first = host;
  freshRun();
  initialisedWithCall();
  ASSERT_EQ(spectrum(), 0);
  for (int i = 1; i <= 30; ++i) EXPECT_EQ(host.values[i], first.values[i]);
}

}  // namespace
