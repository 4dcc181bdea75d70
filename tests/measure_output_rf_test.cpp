// The output RF spectrum step on a call on the simulated tester: the keys read
// and sent point by point, where each fetched value goes, and what a failure
// leaves.
#include <string>
#include <vector>

#include "station/measurement.h"
#include "support/measure_fixture.h"

namespace {

using vorn_test::FailureCase;
using vorn_test::HostBuffers;

class SpectrumTest : public vorn_test::MeasureTest {
 protected:
  // The array the first spectrum fetch on this call gives: the simulated
  // tester's measurement replayed from its seed.
  std::vector<double> firstSpectrum() {
    station::Measurement replay;
    const int32_t s = vorn::testerState.sigSession;
    std::vector<double> array(32);
    EXPECT_EQ(replay.initiateSpectrum(s), station::kTesterOk);
    EXPECT_EQ(replay.fetchSpectrum(s, array.data()), station::kTesterOk);
    return array;
  }
};

const char *const kDefaultNames[30] = {
    "-0.10MHZ Modulation Spectrum", "+0.10MHZ Modulation Spectrum", "-0.20MHZ Modulation Spectrum",
    "+0.20MHZ Modulation Spectrum", "-0.25MHZ Modulation Spectrum", "+0.25MHZ Modulation Spectrum",
    "-0.40MHZ Modulation Spectrum", "+0.40MHZ Modulation Spectrum", "-0.60MHZ Modulation Spectrum",
    "+0.60MHZ Modulation Spectrum", "-0.80MHZ Modulation Spectrum", "+0.80MHZ Modulation Spectrum",
    "-1.00MHZ Modulation Spectrum", "+1.00MHZ Modulation Spectrum", "-1.20MHZ Modulation Spectrum",
    "+1.20MHZ Modulation Spectrum", "-1.40MHZ Modulation Spectrum", "+1.40MHZ Modulation Spectrum",
    "-1.60MHZ Modulation Spectrum", "+1.60MHZ Modulation Spectrum", "-1.80MHZ Modulation Spectrum",
    "+1.80MHZ Modulation Spectrum", "-0.40MHZ Switching Spectrum",  "+0.40MHZ Switching Spectrum",
    "-0.60MHZ Switching Spectrum",  "+0.60MHZ Switching Spectrum",  "-1.20MHZ Switching Spectrum",
    "+1.20MHZ Switching Spectrum",  "-1.80MHZ Switching Spectrum",  "+1.80MHZ Switching Spectrum",
};
// The array index each default entry comes from, as the tester lays it out.
const int kDefaultIndices[30] = {10, 12, 9,  13, 8,  14, 7,  15, 6,  16, 5,  17, 4,  18, 3,
                                 19, 2,  20, 1,  21, 0,  22, 26, 28, 25, 29, 24, 30, 23, 31};

// The parameter file line that switches off the offset of a default name ("-0.10MHZ ...").
std::string OffLine(const char *name) {
  const std::string text(name + 1);
  const bool modulation = text.find("Modulation") != std::string::npos;
  return std::string(modulation ? "Mod +/-" : "Swit +/-") + text.substr(0, 7) + " Enable=0\n";
}

std::string AllOff() {
  std::string file = "[1]\n";
  for (int i = 0; i < 30; i += 2) file += OffLine(kDefaultNames[i]);
  return file;
}

TEST_F(SpectrumTest, EveryOffsetOnByDefault) {
  writeParameters(vorn_test::FixtureAttenuation());  // switching levels as the phone sends them
  initialisedWithCall();
  ASSERT_EQ(spectrum(), 0) << host.error();
  const std::vector<double> array = firstSpectrum();
  ASSERT_EQ(written(), 30);
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(host.name(i + 1), kDefaultNames[i]);
    EXPECT_EQ(host.values[i + 1], array[kDefaultIndices[i]]) << kDefaultNames[i];
    // The carrier reference at indices 11 and 27 is never a result.
    EXPECT_NE(host.values[i + 1], array[11]);
    EXPECT_NE(host.values[i + 1], array[27]);
  }
  EXPECT_EQ(host.values[0], HostBuffers::kUntouched);
  EXPECT_EQ(host.names[0][0], '#');
  EXPECT_EQ(host.values[31], HostBuffers::kUntouched);

  // Values a test engineer recognises: modulation relative to the carrier,
  // switching absolute, the two sides near each other but not equal.
  for (int p = 0; p < 11; ++p) {
    EXPECT_NEAR(host.values[1 + 2 * p], station::kModulationDb[p], 0.5) << kDefaultNames[2 * p];
    EXPECT_NEAR(host.values[2 + 2 * p], station::kModulationDb[p], 0.8) << kDefaultNames[2 * p + 1];
    EXPECT_NE(host.values[1 + 2 * p], host.values[2 + 2 * p]);
  }
  for (int q = 0; q < 4; ++q) {
    EXPECT_NEAR(host.values[23 + 2 * q], station::kSwitchingDbm[q], 0.5);
    EXPECT_NEAR(host.values[24 + 2 * q], station::kSwitchingDbm[q], 0.9);
  }

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

TEST_F(SpectrumTest, OffsetsSwitchedOffLeaveNoGap) {
  const std::string allOff = AllOff();
  auto only = [&allOff](std::vector<std::string> on) {
    std::string file = allOff;
    for (const std::string &line : on) file.replace(file.find(line), line.size(), "");
    return file;
  };
  const struct {
    const char *name;
    std::string file;
    std::vector<int> entries;  // the default entries that remain, in order
  } cases[] = {
      {"all off", allOff, {}},
      {"only switching 1.80 (its key absent)", only({OffLine("-1.80MHZ Switching")}), {28, 29}},
      {"modulation 0.25 and 1.80",
       only({OffLine("-0.25MHZ Modulation"), OffLine("-1.80MHZ Modulation")}),
       {4, 5, 20, 21}},
      {"modulation 0.10 and switching 0.40",
       only({OffLine("-0.10MHZ Modulation"), OffLine("-0.40MHZ Switching")}),
       {0, 1, 22, 23}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    freshRun();
    writeParameters(c.file);
    initialisedWithCall();
    ASSERT_EQ(spectrum(), 0) << host.error();
    const std::vector<double> array = firstSpectrum();
    ASSERT_EQ(written(), static_cast<int>(c.entries.size()));
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
      const int n = static_cast<int>(i) + 1;
      EXPECT_EQ(host.name(n), kDefaultNames[c.entries[i]]);
      EXPECT_EQ(host.values[n], array[kDefaultIndices[c.entries[i]]]);
    }
    EXPECT_EQ(host.names[c.entries.size() + 1][0], '#');
    // Switched off or not, every point is configured and the measurement runs.
    EXPECT_EQ(st().journal.count("RSCMU_GSM_Sig_ConfSpecModContMpo"), 11u);
    EXPECT_EQ(st().journal.count("RSCMU_GSM_Sig_ConfSpecSwitContMpo"), 4u);
    EXPECT_EQ(st().journal.count("RSCMU_GSM_Sig_FetcArrSpecMSw"), 1u);
  }
}

TEST_F(SpectrumTest, AKeyReachesTheTesterAsRead) {
  // Any non-zero value switches the offset on and is sent unchanged.
  writeParameters(
      "[1]\nMod +/-0.25MHZ Enable=5\nMod +/-0.40MHZ Enable=-1\n"
      "Swit +/-0.60MHZ Enable=2\nSwit +/-1.20MHZ Enable=0\n");
  initialisedWithCall();
  ASSERT_EQ(spectrum(), 0) << host.error();
  const std::vector<station::Call> mod = st().journal.of("RSCMU_GSM_Sig_ConfSpecModContMpo");
  const std::vector<station::Call> swit = st().journal.of("RSCMU_GSM_Sig_ConfSpecSwitContMpo");
  ASSERT_EQ(mod.size(), 11u);
  ASSERT_EQ(swit.size(), 4u);
  EXPECT_EQ(mod[2].args, (std::vector<std::string>{sig(), "3", "5"}));
  EXPECT_EQ(mod[3].args, (std::vector<std::string>{sig(), "4", "-1"}));
  EXPECT_EQ(swit[1].args, (std::vector<std::string>{sig(), "2", "2"}));
  EXPECT_EQ(swit[2].args, (std::vector<std::string>{sig(), "3", "0"}));
  EXPECT_EQ(written(), 28);  // only switching 1.20 is off
  EXPECT_EQ(host.name(27), "-1.80MHZ Switching Spectrum");
}

TEST_F(SpectrumTest, EachKeyIsReadJustBeforeItsPointIsSent) {
  // The watcher changes the next point's key while the tester takes a point:
  // a step that read every key first would send the values it found at the start.
  initialisedWithCall();
  int modulation = 0;
  int switching = 0;
  st().measurement.setWatcher([&](const std::string &operation) {
    if (operation == "ConfSpecModContMpo" && ++modulation < 11) {
      writeParameters("[1]\nMod +/-" + std::string(kDefaultNames[2 * modulation] + 1).substr(0, 7) +
                      " Enable=" + std::to_string(100 + modulation + 1) + "\n");
    } else if (operation == "ConfSpecMSwContRep" || (operation == "ConfSpecSwitContMpo" && ++switching < 4)) {
      writeParameters("[1]\nSwit +/-" + std::string(kDefaultNames[22 + 2 * switching] + 1).substr(0, 7) +
                      " Enable=" + std::to_string(200 + switching + 1) + "\n");
    }
  });
  ASSERT_EQ(spectrum(), 0) << host.error();
  const std::vector<station::Call> mod = st().journal.of("RSCMU_GSM_Sig_ConfSpecModContMpo");
  const std::vector<station::Call> swit = st().journal.of("RSCMU_GSM_Sig_ConfSpecSwitContMpo");
  ASSERT_EQ(mod.size(), 11u);
  ASSERT_EQ(swit.size(), 4u);
  EXPECT_EQ(mod[0].args.at(2), "1");
  for (int p = 2; p <= 11; ++p) EXPECT_EQ(mod[p - 1].args.at(2), std::to_string(100 + p)) << p;
  for (int q = 1; q <= 4; ++q) EXPECT_EQ(swit[q - 1].args.at(2), std::to_string(200 + q)) << q;
}

TEST_F(SpectrumTest, EachFailureNamesItsOperation) {
  const FailureCase cases[] = {
      {"RSCMU_GSM_Sig_ConfSpecModContMpo", 1, "RSCMU_GSM_Sig_ConfSpecModContMpo"},
      {"RSCMU_GSM_Sig_ConfSpecModContMpo", 4, "RSCMU_GSM_Sig_ConfSpecModContMpo"},
      {"RSCMU_GSM_Sig_ConfSpecModCont", 1, "RSCMU_GSM_Sig_ConfSpecModCont"},
      {"RSCMU_GSM_Sig_ConfSpecModContRep", 1, "RSCMU_GSM_Sig_ConfSpecModContRep"},
      {"RSCMU_GSM_Sig_ConfSpecMSwContRep", 1, "RSCMU_GSM_Sig_ConfSpecMSwContRep"},
      {"RSCMU_GSM_Sig_ConfSpecSwitContMpo", 2, "RSCMU_GSM_Sig_ConfSpecSwitContMpo"},
      {"RSCMU_GSM_Sig_ConfSpecSwitContMpo", 4, "RSCMU_GSM_Sig_ConfSpecSwitContMpo"},
      {"RSCMU_GSM_Sig_ConfSpecSwitCont", 1, "RSCMU_GSM_Sig_ConfSpecSwitCont"},
      {"RSCMU_GSM_Sig_ConfSpecSwitContRep", 1, "RSCMU_GSM_Sig_ConfSpecSwitContRep"},
      {"RSCMU_GSM_Sig_InitSpecMSw", 1, "RSCMU_GSM_Sig_InitSpecMSw"},
      {"RSCMU_GSM_Sig_FetcArrSpecMSw", 1, "RSCMU_GSM_Sig_FetcArrSpecMSw"},
  };
  for (const FailureCase &c : cases) {
    SCOPED_TRACE(std::string(c.op) + " #" + std::to_string(c.nth));
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

TEST_F(SpectrumTest, RepeatableFromRunToRun) {
  initialisedWithCall();
  ASSERT_EQ(spectrum(), 0);
  const HostBuffers first = host;
  freshRun();
  initialisedWithCall();
  ASSERT_EQ(spectrum(), 0);
  for (int i = 1; i <= 30; ++i) EXPECT_EQ(host.values[i], first.values[i]) << i;
}

}  // namespace
