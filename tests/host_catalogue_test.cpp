// The measurement catalogue: every entry of the typical run named, the
// setting read and carried to the spectrum, failures in words, and every
// failure text of the sweep found in the table built from docs/failures.md.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/catalogue.h"
#include "core/record_json.h"
#include "support/failure_cases.h"
#include "support/host_run.h"
#include "support/station_test.h"
#include "support/steps.h"
#include "tester/tester_state.h"

namespace {

using nlohmann::json;
using vorn_host::EntryResult;
using vorn_host::FailureLines;
using vorn_host::Limit;
using vorn_host::RunRecord;
using vorn_host::StepRecord;
using vorn_host::Verdict;

Limit Bounds(int entry, std::optional<double> low, std::optional<double> high) { return {entry, low, high}; }

EntryResult Entry(int entry, std::optional<double> value, std::optional<std::string> name = std::nullopt,
                  std::optional<Limit> limit = std::nullopt) {
  EntryResult e;
  e.entry = entry;
  e.value = value;
  e.name = std::move(name);
  e.limit = limit;
  e.passed = !limit || (value && limit->accepts(*value));
  return e;
}

// A step of a run as the run loop records it: FAIL when an entry missed.
StepRecord Step(const std::string &step, int line, std::vector<EntryResult> entries, Verdict verdict = Verdict::kPass,
                const std::string &text = "") {
  StepRecord r;
  r.step.exportName = "Vorn_CMU200_" + step;
  r.step.line = line;
  r.entries = std::move(entries);
  r.verdict = verdict;
  r.text = text;
  for (const EntryResult &e : r.entries) {
    if (!e.passed) r.verdict = Verdict::kFail;
  }
  return r;
}

RunRecord RunOf(std::vector<StepRecord> steps) {
  RunRecord run;
  run.steps = std::move(steps);
  return run;
}

// A run whose power level was set first, so that its settings show the level.
RunRecord Levelled(std::vector<StepRecord> steps) {
  steps.insert(steps.begin(), Step("OBTChangeTXLevel", 1, {Entry(1, 1.0)}));
  return RunOf(std::move(steps));
}

std::vector<std::string> Lines(const RunRecord &run) {
  std::vector<std::string> lines;
  for (const vorn_host::FailureLine &f : FailureLines(run)) lines.push_back(f.line());
  return lines;
}

// The spectrum step's entries as the library names them, every offset on:
// each entry's value from value(name).
std::vector<EntryResult> Spectrum(const std::function<double(const std::string &)> &value, const Limit &modulation,
                                  const Limit &switching) {
  const struct {
    std::vector<const char *> offsets;
    const char *kind;
    const Limit &limit;
  } kinds[] = {
      {{"0.10", "0.20", "0.25", "0.40", "0.60", "0.80", "1.00", "1.20", "1.40", "1.60", "1.80"},
       "Modulation",
       modulation},
      {{"0.40", "0.60", "1.20", "1.80"}, "Switching", switching},
  };
  std::vector<EntryResult> entries;
  for (const auto &k : kinds) {
    for (const char *offset : k.offsets) {
      for (const char *side : {"-", "+"}) {
        const std::string name = std::string(side) + offset + "MHZ " + k.kind + " Spectrum";
        const int n = static_cast<int>(entries.size()) + 1;
        entries.push_back(Entry(n, value(name), name, Bounds(n, k.limit.low, k.limit.high)));
      }
    }
  }
  return entries;
}

TEST(Catalogue, SettingsAreReadFromTheLibrarysNames) {
  const struct {
    const char *name;
    const char *setting;  // "" for none
  } cases[] = {
      {"Band=EGSM;Chan=20;TXLevel=5", "E-GSM 900 ch 20 PCL 5"},
      {"Band=GSM850;Chan=128;TXLevel=19", "GSM 850 ch 128 PCL 19"},
      {"Band=DCS;Chan=512;TXLevel=0", "DCS 1800 ch 512 PCL 0"},
      {"Band=PCS;Chan=661;TXLevel=5", "PCS 1900 ch 661 PCL 5"},
      {"Band=X;Chan=1;TXLevel=2", "X ch 1 PCL 2"},  // a label the host does not know, as it is
      {"COM3, 115200, ULC2", ""},
      {"-0.20MHZ Modulation Spectrum", ""},
      {"Band=EGSM;Chan=20", ""},
      {"Band=EGSM;Chan=2x;TXLevel=5", ""},
      {"Band=;Chan=20;TXLevel=5", ""},
      {"Band=EGSM;Chan=20;TXLevel=5;More=1", ""},
      {"", ""},
  };
  for (const auto &c : cases) {
    const std::optional<vorn_host::Setting> s = vorn_host::SettingOf(c.name);
    EXPECT_EQ(s ? s->text() : "", c.setting) << c.name;
  }
  // The labels the library itself writes, each in words.
  const struct {
    int32_t band;
    const char *words;
  } bands[] = {{850, "GSM 850"}, {900, "E-GSM 900"}, {1800, "DCS 1800"}, {1900, "PCS 1900"}};
  for (const auto &b : bands) {
    const vorn::BandInfo *info = vorn::FindBand(b.band);
    ASSERT_NE(info, nullptr) << b.band;
    EXPECT_EQ(vorn_host::BandText(info->label), b.words);
  }
}

TEST(Catalogue, AStepThatNamesNoSettingTakesTheOneInForce) {
  const std::string egsm = "Band=EGSM;Chan=20;TXLevel=5", pcs = "Band=PCS;Chan=62;TXLevel=10";
  const RunRecord run = RunOf({
      Step("OBTInit", 1, {Entry(1, 1.0)}),
      Step("OBTOutputRFSpectrum", 2, {}),  // nothing named yet
      Step("OBTPowervsTime", 3, {Entry(1, 33.0, egsm)}),
      Step("OBTOutputRFSpectrum", 4, {}),
      Step("OBTPowervsTime", 5, {}, Verdict::kError, "RSCMU_GSM_Sig_FetcPowMpr Failed! CMU200 Error:"),
      Step("OBTOutputRFSpectrum", 6, {}),  // an ERROR that named nothing moved nothing
      Step("OBTChangeTCH", 7, {Entry(1, 1.0)}),
      Step("OBTOutputRFSpectrum", 8, {}),  // the channel moved: no setting is known
      Step("OBTChangeTXLevel", 9, {}, Verdict::kError, "RSCMU_Query Failed! CMU200 Error:"),
      Step("OBTPowervsTime", 10, {Entry(1, 33.0, egsm)}),  // no level set yet in this run
      Step("OBTChangeTXLevel", 11, {Entry(1, 1.0)}),
      Step("OBTHandOver", 12, {Entry(1, 1.0, pcs)}),
      Step("OBTOutputRFSpectrum", 13, {}, Verdict::kNotRun),
      Step("OBTOutputRFSpectrum", 14, {}),
      Step("OBTEndCall", 15, {Entry(1, 1.0)}),
      Step("OBTOutputRFSpectrum", 16, {}),
      Step("OBTInit", 17, {Entry(1, 1.0)}),  // the phone back at the cell's own level
      Step("OBTPowervsTime", 18, {Entry(1, 33.0, pcs)}),
  });
  const std::vector<std::string> wanted = {"",
                                           "",
                                           "E-GSM 900 ch 20",
                                           "E-GSM 900 ch 20",
                                           "",
                                           "E-GSM 900 ch 20",
                                           "",
                                           "",
                                           "",
                                           "E-GSM 900 ch 20",
                                           "",
                                           "PCS 1900 ch 62 PCL 10",
                                           "",
                                           "PCS 1900 ch 62 PCL 10",
                                           "",
                                           "",
                                           "",
                                           "PCS 1900 ch 62"};
  std::vector<std::string> got;
  for (const auto &s : vorn_host::Settings(run)) got.push_back(s ? s->text() : "");
  EXPECT_EQ(got, wanted);
}

TEST(Catalogue, MissedLimitsInWords) {
  const std::string egsm20 = "Band=EGSM;Chan=20;TXLevel=5", egsm62 = "Band=EGSM;Chan=62;TXLevel=10",
                    pcs = "Band=PCS;Chan=661;TXLevel=5";
  const Limit rxlev = Bounds(1, 9.0, 13.0), power = Bounds(1, 6.0, 14.0);
  const struct {
    const char *what;
    RunRecord run;
    std::vector<std::string> lines;
  } cases[] = {
      {"one miss on three plan lines is one line",
       Levelled({Step("OBTRXLevelandQuality", 7, {Entry(1, 15.0, egsm20, rxlev)}),
                 Step("OBTRXLevelandQuality", 12, {Entry(1, 16.0, egsm62, rxlev)}),
                 Step("OBTRXLevelandQuality", 23, {Entry(1, 15.0, pcs, rxlev)})}),
       {"RXLEV on 3 plan lines (E-GSM 900 ch 20 PCL 5, E-GSM 900 ch 62 PCL 10, PCS 1900 ch 661 PCL 5): 15 to 16, "
        "limit 9 to 13"}},
      {"a value to a sensible precision, with its unit",
       Levelled({Step("OBTPowervsTime", 20, {Entry(1, 14.46764681, pcs, power)})}),
       {"Burst power, PCS 1900 ch 661 PCL 5: 14.5 dBm, limit 6 to 14 dBm"}},
      {"as many decimals as show the miss",
       Levelled(
           {Step("OBTPowervsTime", 20, {Entry(1, 14.04, pcs, power), Entry(4, -1.0004, pcs, Bounds(4, -1.0, 1.0))})}),
       {"Burst power, PCS 1900 ch 661 PCL 5: 14.04 dBm, limit 6 to 14 dBm",
        "Burst timing error, PCS 1900 ch 661 PCL 5: -1.0004 bits, limit -1 to 1 bits"}},
      {"open limits",
       Levelled({Step("OBTRXLevelandQuality", 7,
                      {Entry(1, 8.0, egsm20, Bounds(1, 9.0, {})), Entry(2, 5.0, std::nullopt, Bounds(2, {}, 3.0))})}),
       {"RXLEV, E-GSM 900 ch 20 PCL 5: 8, limit at least 9", "RXQUAL, E-GSM 900 ch 20 PCL 5: 5, limit at most 3"}},
      {"the same measurement under other limits: a line each",
       Levelled({Step("OBTPowervsTime", 5, {Entry(1, 37.0, egsm20, Bounds(1, 30.0, 36.0))}),
                 Step("OBTPowervsTime", 10, {Entry(1, 27.0, egsm62, Bounds(1, 20.0, 26.0))})}),
       {"Burst power, E-GSM 900 ch 20 PCL 5: 37 dBm, limit 30 to 36 dBm",
        "Burst power, E-GSM 900 ch 62 PCL 10: 27 dBm, limit 20 to 26 dBm"}},
      {"findings",
       Levelled({Step("MakeCall", 4, {Entry(1, 0.0, std::nullopt, Bounds(1, 1.0, 1.0))}),
                 Step("OBTPowervsTime", 5, {Entry(5, 0.0, std::nullopt, Bounds(5, 1.0, 1.0))}),
                 Step("MobClose", 30, {Entry(1, 0.0, std::nullopt, Bounds(1, 1.0, 1.0))})}),
       {"Call started: no, expected yes", "Burst inside the template: no, expected yes",
        "Link close result: 0, limit 1 (1 = closed)"}},
      {"not written, not a number, and an entry the catalogue does not know",
       Levelled({Step("OBTPowervsTime", 5, {Entry(1, std::nullopt, std::nullopt, Bounds(1, 30.0, 36.0))}),
                 Step("OBTPowervsTime", 6, {Entry(1, std::nan(""), egsm20, Bounds(1, 30.0, 36.0))}),
                 Step("OBTPowervsTime", 7, {Entry(9, 1.0, std::nullopt, Bounds(9, 2.0, {}))})}),
       {"Burst power on 2 plan lines (plan line 5, E-GSM 900 ch 20 PCL 5): not a number; not written, "
        "limit 30 to 36 dBm",
        "Power versus time entry 9: 1, limit at least 2"}},
  };
  for (const auto &c : cases) EXPECT_EQ(Lines(c.run), c.lines) << c.what;
}

TEST(Catalogue, ASpectrumFailureIsSummedUpPerKind) {
  const auto value = [](const std::string &name) {
    if (name == "-0.20MHZ Modulation Spectrum") return -56.9;  // 3.1 dB over, the worst
    if (name == "+0.20MHZ Modulation Spectrum") return -58.0;
    if (name == "+0.40MHZ Modulation Spectrum") return -59.5;
    if (name == "-1.80MHZ Modulation Spectrum") return -59.0;
    if (name == "+0.40MHZ Switching Spectrum") return -20.0;
    return name.find("Modulation") != std::string::npos ? -70.0 : -30.0;
  };
  const RunRecord run = Levelled({
      Step("OBTPowervsTime", 5, {Entry(1, 33.0, "Band=EGSM;Chan=20;TXLevel=5")}),
      Step("OBTOutputRFSpectrum", 6, Spectrum(value, Bounds(0, {}, -60.0), Bounds(0, {}, -21.0))),
  });
  EXPECT_EQ(Lines(run),
            (std::vector<std::string>{
                "Spectrum due to modulation, E-GSM 900 ch 20 PCL 5: 4 of 22 offsets over the mask "
                "(worst +3.1 dB at -200 kHz)",
                "Spectrum due to switching at +400 kHz, E-GSM 900 ch 20 PCL 5: -20 dBm, limit at most -21 dBm",
            }));
}

TEST(Catalogue, AnErrorSaysWhatItMeansAndWhatToCheck) {
  const struct {
    const char *step;
    const char *text;
    const char *label;  // "" when no row answers
  } cases[] = {
      {"OBTInit", "RSCMU_Init_Base Failed! CMU200 Error:", "RSCMU_Init_Base"},
      {"OBTInit", "RSCMU_Base_ConfUserCorrLossTablEnabl Failed! CMU200 Error:", "RSCMU_Base_ConfUserCorrLossTablEnabl"},
      {"OBTInit", "Band Not Support!", "Band Not Support!"},
      {"OBTHandOver", "CMU200 Error: -1073807339. RSCMU_GSM_Sig_HandOver Failed! ", "RSCMU_GSM_Sig_HandOver"},
      {"Vorn_CMU200_MobInit", "DWD_set_com_port Failed! DWD Error:COM3 is in use", "DWD_set_com_port"},
      {"MobInit", "DWD_check_comm_link Failed! ErrMsg:no answer", "DWD_check_comm_link Failed! ErrMsg:"},
      {"MobInit", "DWD_check_for_ptest Fail to Switch!!!", "DWD_check_for_ptest Fail to Switch!!!"},
      {"DcInit", "GPIBDcInit Failed!", "GPIB"},
      {"DcInit", "DC_Output_OnDcInit Failed!", "DC_Output_On"},
      {"OBTHandOver", "RSCMU_GSM_Sig_HandOver Failed! CMU200 Error:", "RSCMU_GSM_Sig_HandOver"},
      {"OBTInit", "RSCMU_GSM_Sig_HandOver Failed! CMU200 Error:", ""},  // not a failure of that step
      {"OBTInit", "RSCMU_Init_Base Failed! CMU200 Error: and more", ""},
      {"MakeCall", "AllData: mobile handle not available", ""},
      {"DcInit", "host: the step returned 5, which is neither 0 nor -1", ""},
  };
  for (const auto &c : cases) {
    const std::optional<vorn_host::FailureAdvice> advice = vorn_host::AdviceFor(c.step, c.text);
    EXPECT_EQ(advice ? advice->label : "", c.label) << c.step << ": " << c.text;
  }

  // The same failure on two plan lines (--keep-going), one line with its check.
  const std::string text = "CMU200 Error: -1. RSCMU_GSM_Sig_HandOver Failed! ";
  const RunRecord run =
      RunOf({Step("OBTHandOver", 10, {}, Verdict::kError, text), Step("OBTHandOver", 11, {}, Verdict::kError, text)});
  const std::vector<vorn_host::FailureLine> lines = FailureLines(run);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(
      lines[0].text,
      "Band handover on 2 plan lines (plan line 10, plan line 11): the tester could not move the call (" + text + ")");
  EXPECT_EQ(lines[0].check,
            "a call is up (the emergency call step returned value 1.0); the phone supports the target band; the RF "
            "cable and path-loss values (the phone must hear the new band)");
}

// Every label the failure sweep makes a step write finds its row of the
// table built from docs/failures.md: a new failure text without its row
// fails here.
class CatalogueSweep : public vorn_test::StationTest {};

TEST_F(CatalogueSweep, EveryFailureOfTheSweepFindsItsRow) {
  writeParameters(vorn_test::TypicalParameters());
  const std::vector<vorn_test::FailureCase> cases = vorn_test::FailureCases(parameterPath());
  ASSERT_GT(cases.size(), 50u);
  for (const vorn_test::FailureCase &c : cases) {
    if (c.label.empty()) continue;  // the container's own text
    const std::string step = vorn_test::TypicalRun()[c.at].step->name;
    const std::optional<vorn_host::FailureAdvice> advice = vorn_host::AdviceFor(step, vorn_test::ExpectedText(c));
    ASSERT_TRUE(advice) << step << ": no row for " << vorn_test::ExpectedText(c);
    EXPECT_EQ(advice->label, c.label) << step;
    EXPECT_FALSE(advice->check.empty()) << step << " " << c.label;
  }
}

// vorn-host runs of the typical plan: its record names every entry, and the
// console says what failed in words.
class CatalogueHost : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = vorn_test::TempDir(); }
  void TearDown() override { vorn_test::RemoveTempDir(dir_); }

  const std::string examples_ = VORN_EXAMPLES_DIR;
  std::string dir_;
};

TEST_F(CatalogueHost, TheTypicalRunsRecordNamesEveryEntry) {
  const vorn_test::HostRun r = vorn_test::RunHost("--fast --quiet --params " + examples_ + "/station.ini --json " +
                                                  dir_ + "/run.json " + examples_ + "/typical.plan");
  ASSERT_EQ(r.status, 0) << r.err;
  const json written = json::parse(vorn_test::ReadText(dir_ + "/run.json"));
  std::size_t limited = 0;
  for (const json &step : written["steps"]) {
    for (const json &result : step["results"]) {
      EXPECT_TRUE(result.contains("measurement")) << step["export"] << " entry " << result["entry"] << " is unnamed";
      EXPECT_TRUE(result["unit"].is_string()) << step["export"] << " entry " << result["entry"];
    }
    limited += step["limits"].size();
  }
  EXPECT_GT(limited, 50u);
  // Entries of each kind as the record gives them: the spectrum in the
  // setting of the step before it, the level once the run has set it (the
  // typical plan sets it before its first measurement).
  const struct {
    std::size_t step, result;
    const char *measurement, *unit;
  } entries[] = {
      {3, 0, "Call started", ""},
      {5, 0, "Burst power, E-GSM 900 ch 20 PCL 5", "dBm"},
      {5, 3, "Burst timing error, E-GSM 900 ch 20 PCL 5", "bits"},
      {5, 4, "Burst inside the template, E-GSM 900 ch 20 PCL 5", ""},
      {6, 2, "Spectrum due to modulation at -200 kHz, E-GSM 900 ch 20 PCL 5", "dB"},
      {6, 22, "Spectrum due to switching at -400 kHz, E-GSM 900 ch 20 PCL 5", "dBm"},
      {7, 1, "RXQUAL, E-GSM 900 ch 20 PCL 5", ""},
      {10, 0, "Burst power, E-GSM 900 ch 62 PCL 10", "dBm"},
      {13, 0, "Burst power, DCS 1800 ch 62 PCL 10", "dBm"},
      {16, 29, "Spectrum due to switching at +1800 kHz, PCS 1900 ch 62 PCL 10", "dBm"},
      {17, 0, "RXLEV, PCS 1900 ch 62 PCL 10", ""},
      {20, 0, "Link close result", ""},
  };
  for (const auto &e : entries) {
    const json &result = written["steps"][e.step]["results"][e.result];
    EXPECT_EQ(result["measurement"], e.measurement) << result;
    EXPECT_EQ(result["unit"], e.unit) << result;
  }

  // Read back without them (an older record), the record writes them again.
  json older = written;
  for (json &step : older["steps"]) {
    for (json &result : step["results"]) {
      result.erase("measurement");
      result.erase("unit");
    }
  }
  vorn_host::UnitRecord unit;
  std::string error;
  ASSERT_TRUE(vorn_host::RecordFromJson(older, unit, error)) << error;
  EXPECT_EQ(json::parse(vorn_host::JsonText(vorn_host::RecordJson(unit))), written);
}

TEST_F(CatalogueHost, TheConsoleSaysWhatFailedInWords) {
  // A single run whose burst power misses: the table names the entries, and
  // standard error says what failed.
  std::ofstream(dir_ + "/low.plan") << "DcInit 1\nMobInit 2\nOBTInit 3\nMakeCall 4\nOBTPowervsTime 5 1=..30\n";
  const vorn_test::HostRun single =
      vorn_test::RunHost("--fast --quiet --params " + examples_ + "/station.ini " + dir_ + "/low.plan");
  EXPECT_EQ(single.status, 1) << single.err;
  EXPECT_NE(single.out.find("Band=EGSM;Chan=20;TXLevel=0     burst power (dBm)\n"), std::string::npos) << single.out;
  EXPECT_NE(single.out.find("burst timing error (bits)\n"), std::string::npos) << single.out;
  EXPECT_NE(single.err.find("vorn-host: the run did not pass (FAIL):\n  Burst power, E-GSM 900 ch 20: 3"),
            std::string::npos)
      << single.err;
  EXPECT_NE(single.err.find(" dBm, limit at most 30 dBm\n"), std::string::npos) << single.err;

  // A session whose second unit's handover is refused: the table's first
  // finding in words, and the unit's failure with what to check.
  const vorn_test::HostRun session =
      vorn_test::RunHost("--fast --quiet --no-db --units 2 --fault RSCMU_GSM_Sig_HandOver=-1@3 --params " + examples_ +
                         "/station.ini " + examples_ + "/typical.plan");
  EXPECT_EQ(session.status, 1) << session.err;
  EXPECT_NE(session.out.find("SIM-000002                 1  ERROR    Band handover: the tester could not move the call "
                             "(CMU200 Error: -1. RSCMU_GSM_Sig_HandOver Failed! )"),
            std::string::npos)
      << session.out;
  EXPECT_NE(session.err.find("unit 2 SIM-000002: ERROR; "), std::string::npos) << session.err;
  EXPECT_NE(session.err.find("  Band handover: the tester could not move the call (CMU200 Error: -1. "
                             "RSCMU_GSM_Sig_HandOver Failed! ); check: a call is up"),
            std::string::npos)
      << session.err;
}

}  // namespace
