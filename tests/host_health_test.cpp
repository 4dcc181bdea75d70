// The station's health through vorn-host, as a station engineer runs it on
// the simulated station: the golden unit finds the cables' drift and the
// calibration corrects it in place; a production session does not start on
// a station whose verification failed, is missing or is stale; a slow drift
// raises its alarm before the first FAIL; failures in a row stop the station
// until a technician acknowledges. And the comparison's refusals on texts
// made by hand.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "core/golden.h"
#include "outputs/health/watch.h"
#include "outputs/results/database.h"
#include "support/host_run.h"

namespace {

const std::string kExamples = VORN_EXAMPLES_DIR;
const std::string kCalibration = kExamples + "/calibration.plan";
const std::string kTypical = kExamples + "/typical.plan";
const std::string kGolden = kExamples + "/golden-unit.ini";

// A station's folder: its parameter file (CR LF, a comment after one value),
// its settings, its results database and its state files beside it.
struct Station {
  std::string dir = vorn_test::TempDir();
  std::string name;

  explicit Station(std::string stationName, const std::string &settings = "") : name(std::move(stationName)) {
    std::string text = vorn_test::ReadText(kExamples + "/station.ini");
    std::string crlf;
    for (const char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::string key = "DCS1800_Low_CH=1.1";
    crlf.replace(crlf.find(key), key.size(), key + "   // 1710.2 MHz");
    std::ofstream(params(), std::ios::binary) << crlf;
    std::ofstream(dir + "/settings.ini") << settings;
  }
  ~Station() { vorn_test::RemoveTempDir(dir); }
  std::string params() const { return dir + "/station.ini"; }
  vorn_test::HostRun run(const std::string &args) const {
    return vorn_test::RunHost("--fast --quiet --station " + name + " --settings " + dir + "/settings.ini --db " + dir +
                              "/results.sqlite --params " + params() + " " + args);
  }
  // One column of a query on the station's results, each row's.
  std::vector<std::string> query(const std::string &sql) const {
    std::string error;
    std::unique_ptr<vorn_results::Database> db = vorn_results::OpenSqlite(dir + "/results.sqlite", error);
    std::vector<std::string> rows;
    EXPECT_TRUE(db && db->query(
                          sql, {},
                          [&](const vorn_results::Row &r) {
                            rows.push_back(r[0].value_or("NULL"));
                            return true;
                          },
                          error))
        << error;
    return rows;
  }
};

std::vector<std::string> Lines(const std::string &text, const std::string &end) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t next = text.find(end, at);
    lines.push_back(text.substr(at, next == std::string::npos ? std::string::npos : next - at));
    at = next == std::string::npos ? text.size() : next + end.size();
  }
  return lines;
}

double ValueOf(const std::string &line) { return std::stod(line.substr(line.find('=') + 1)); }

bool DriftedKey(const std::string &key) { return key.rfind("DCS", 0) == 0 || key.rfind("PCS", 0) == 0; }

TEST(HostHealth, TheGoldenUnitFindsTheCableDriftAndTheCalibrationCorrectsItInPlace) {
  const Station s("drift");
  const vorn_test::HostRun found = s.run("--scenario cable-drift --verify " + kGolden + " " + kCalibration);
  EXPECT_EQ(found.status, 1) << found.err;
  for (const std::string &line : Lines(found.out, "\n")) {
    if (line.find(" MHz  ") == std::string::npos) continue;
    const bool drifted = line.find("DCS 1800") != std::string::npos || line.find("PCS 1900") != std::string::npos;
    EXPECT_EQ(line.substr(line.size() - 4), drifted ? "FAIL" : "PASS") << line;
  }

  const std::string before = vorn_test::ReadText(s.params());
  const vorn_test::HostRun calibrated = s.run("--scenario cable-drift --calibrate " + kGolden + " " + kCalibration);
  EXPECT_EQ(calibrated.status, 0) << calibrated.out << calibrated.err;
  const std::string after = vorn_test::ReadText(s.params());
  // Only the six values of the drifted lines changed; every other byte stayed, CR LF and the comment too.
  const std::vector<std::string> old = Lines(before, "\r\n"), now = Lines(after, "\r\n");
  ASSERT_EQ(old.size(), now.size());
  double sum = 0;
  int changed = 0;
  for (std::size_t i = 0; i < old.size(); ++i) {
    if (old[i] == now[i]) continue;
    const std::string key = old[i].substr(0, old[i].find('='));
    ASSERT_TRUE(DriftedKey(key)) << now[i];
    ASSERT_EQ(now[i].substr(0, key.size() + 1), key + "=");
    // The drift, within 0.1 dB: the mean of eight readings, written to 0.01 dB.
    const double change = ValueOf(now[i]) - ValueOf(old[i]);
    EXPECT_NEAR(change, 1.5, 0.1) << now[i];
    sum += change;
    ++changed;
  }
  EXPECT_EQ(changed, 6);
  EXPECT_NEAR(sum / changed, 1.5, 0.1) << "the mean change of the drifted lines";
  EXPECT_NE(after.find("   // 1710.2 MHz\r\n"), std::string::npos);
  std::string backup;
  for (const auto &f : std::filesystem::directory_iterator(s.dir)) {
    if (f.path().extension() == ".bak") backup = f.path().string();
  }
  ASSERT_FALSE(backup.empty()) << "no backup beside the parameter file";
  EXPECT_EQ(vorn_test::ReadText(backup), before);

  const vorn_test::HostRun verified = s.run("--scenario cable-drift --verify " + kGolden + " " + kCalibration);
  EXPECT_EQ(verified.status, 0) << verified.out;
  // Three verifications (failed, after the calibration, again), one calibration of six corrected lines.
  EXPECT_EQ(s.query("SELECT verdict FROM verification ORDER BY at, calibration_uuid IS NULL DESC"),
            (std::vector<std::string>{"FAIL", "PASS", "PASS"}));
  EXPECT_EQ(s.query("SELECT count(*) FROM calibration_line WHERE corrected = 1"), std::vector<std::string>{"6"});
  EXPECT_EQ(s.query("SELECT DISTINCT s.mode FROM unit u JOIN session s ON s.id = u.session_id ORDER BY s.mode"),
            (std::vector<std::string>{"calibration", "verification"}));
}

TEST(HostHealth, AChangeBeyondThreeDecibelsIsRefusedAndTheFileLeftAsItWas) {
  const Station s("cable");
  std::string text = vorn_test::ReadText(s.params());
  text.replace(text.find("DCS1800_Low_CH=1.1"), 18, "DCS1800_Low_CH=-3.0");  // 4.1 dB below the fixture's loss
  std::ofstream(s.params(), std::ios::binary) << text;
  const vorn_test::HostRun r = s.run("--calibrate " + kGolden + " " + kCalibration);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("check the cable at 1710.2 MHz, DCS 1800 low channel"), std::string::npos) << r.out;
  EXPECT_EQ(vorn_test::ReadText(s.params()), text);
  for (const auto &f : std::filesystem::directory_iterator(s.dir)) EXPECT_NE(f.path().extension(), ".bak");
  EXPECT_EQ(s.query("SELECT written FROM calibration"), std::vector<std::string>{"0"});
}

TEST(HostHealth, AProductionSessionNeedsAGoodAndRecentVerification) {
  const Station s("gate", "[Health]\nVerificationHours=1\n");
  const std::string session = "--units 1 " + kTypical;
  struct Step {
    const char *what;
    std::string args;
    int status;
    const char *said;  // on standard error
  };
  const Step steps[] = {
      {"no verification yet", session, 2, "has no verification on record"},
      {"a single run is no production session", kTypical, 0, ""},
      {"an engineer's trial neither", "--engineering " + session, 0, ""},
      {"a failed verification", "--scenario cable-drift --verify " + kGolden + " " + kCalibration, 1, ""},
      {"after it", session, 2, "failed at"},
      {"started anyway", "--no-health-check --json " + s.dir + "/unchecked.jsonl " + session, 0, ""},
      {"a good verification", "--verify " + kGolden + " " + kCalibration, 0, ""},
      {"right after it", session, 0, ""},
  };
  for (const Step &step : steps) {
    const vorn_test::HostRun r = s.run(step.args);
    EXPECT_EQ(r.status, step.status) << step.what << "\n" << r.err;
    EXPECT_NE(r.err.find(step.said), std::string::npos) << step.what << "\n" << r.err;
  }
  const nlohmann::json unit = nlohmann::json::parse(vorn_test::ReadText(s.dir + "/unchecked.jsonl"));
  EXPECT_EQ(unit["session"]["healthCheckSkipped"], true);
  EXPECT_EQ(s.query("SELECT sum(health_check_skipped) FROM session"), std::vector<std::string>{"1"});
  // A window of about a second makes the good verification stale.
  std::ofstream(s.dir + "/settings.ini") << "[Health]\nVerificationHours=0.0003\n";
  sleep(2);
  const vorn_test::HostRun stale = s.run(session);
  EXPECT_EQ(stale.status, 2);
  EXPECT_NE(stale.err.find("longer ago than the"), std::string::npos) << stale.err;
}

TEST(HostHealth, ASlowDriftRaisesItsAlarmBeforeTheFirstFail) {
  const Station s("trend");
  const vorn_test::HostRun r = s.run("--scenario power-drift --units 90 " + kTypical);
  EXPECT_EQ(r.status, 1) << "the drift ends in failures";
  const std::size_t alarm =
      r.err.find("Process alarm: Burst power, DCS 1800 ch 62 PCL 10: 8 in a row on one side of the centre (above");
  const std::size_t fail = r.err.find(": FAIL;");
  ASSERT_NE(alarm, std::string::npos) << r.err;
  ASSERT_NE(fail, std::string::npos);
  EXPECT_LT(alarm, fail);
  EXPECT_GE(std::stoi(s.query("SELECT count(*) FROM alarm WHERE rule LIKE '8 in a row%'")[0]), 1);
  EXPECT_EQ(s.query("SELECT count(*) FROM unit"), std::vector<std::string>{"90"}) << "alarms do not stop the station";
}

TEST(HostHealth, FailuresInARowStopTheStationUntilATechnicianAcknowledges) {
  const Station s("stops", "[Health]\nAcknowledgeCode=4711\n");
  const vorn_test::HostRun stopped = s.run("--scenario handover-refused --lock-after 3 --units 6 " + kTypical);
  EXPECT_EQ(stopped.status, 1);
  EXPECT_NE(stopped.err.find("Station stopped: 3 failures in a row on band handover (ERROR). Call the technician"),
            std::string::npos)
      << stopped.err;
  EXPECT_NE(stopped.err.find("nobody is here to acknowledge it"), std::string::npos);
  EXPECT_EQ(s.query("SELECT count(*) FROM unit"), std::vector<std::string>{"3"}) << "no unit after the stop";

  const struct {
    std::string args;
    int status;
    const char *said;
  } after[] = {
      {"--units 1 " + kTypical, 2, "stopped itself at"},
      {"--acknowledge 1234", 2, "not the technician's code"},
      {"--acknowledge 4711 --operator Ana", 0, ""},
      {"--units 1 " + kTypical, 0, "the station's stop is acknowledged (Ana, second terminal)"},
      {"--acknowledge 4711", 2, "has not stopped itself"},
  };
  for (const auto &a : after) {
    const vorn_test::HostRun r = s.run(a.args);
    EXPECT_EQ(r.status, a.status) << a.args << "\n" << r.err;
    EXPECT_NE(r.err.find(a.said), std::string::npos) << a.args << "\n" << r.err;
  }
  EXPECT_EQ(s.query("SELECT count(*) FROM station_lock s JOIN acknowledgement a ON a.lock_uuid = s.uuid"),
            std::vector<std::string>{"1"});
  const std::string page = s.dir + "/line.html";
  const std::string report = vorn_test::BuiltFile("vorn-report") + " line --db " + s.dir + "/results.sqlite -o " + page;
  ASSERT_EQ(std::system((report + " >/dev/null").c_str()), 0);
  const std::string html = vorn_test::ReadText(page);
  EXPECT_NE(html.find("3 failures in a row on band handover (ERROR)"), std::string::npos);
  EXPECT_NE(html.find("acknowledged"), std::string::npos);
}

// On a station of several sockets a stop holds every socket: only a unit
// already in another socket ends after it.
TEST(HostHealth, AStopHoldsEverySocket) {
  const Station s("sockets");
  const vorn_test::HostRun r = s.run("--sockets 2 --scenario handover-refused --lock-after 3 --units 8 " + kTypical);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Station stopped: 3 failures in a row"), std::string::npos) << r.err;
  EXPECT_LE(std::stoi(s.query("SELECT count(*) FROM unit")[0]), 4);
  EXPECT_EQ(s.run("--sockets 2 --units 1 " + kTypical).status, 2) << "the stop outlives its session";
}

// What keeps a path-loss table from being corrected, before any file is written.
TEST(HostHealth, ACorrectionIsRefusedWithTheLineItCannotMake) {
  vorn_host::VerificationRecord v;
  v.tolerance = 0.5;
  for (const char *key : vorn_host::kPathLossKeys) {
    vorn_host::VerificationLine l;
    l.key = key;
    l.frequencyMhz = 1000;
    l.reference = 10.0;
    l.reading = 9.0;
    v.lines.push_back(l);
  }
  std::string table = "[Attenuation]\n";
  for (const char *key : vorn_host::kPathLossKeys) table += std::string(key) + "=1.0\n";
  const struct {
    std::string text;
    std::optional<double> reading;
    const char *refused;  // empty: corrected
  } cases[] = {
      {table, 9.0, ""},
      {table, std::nullopt, "the golden unit was not read at 1000.0 MHz, GSM 850 low channel"},
      {table, 6.5, "a change of +3.50 dB is not drift: check the cable at 1000.0 MHz, GSM 850 low channel"},
      {"[Attenuation]\nGSM850_Mid_CH=1\n", 9.0, "[Attenuation] GSM850_Low_CH is missing"},
      {"[Attenuation]\nGSM850_Low_CH=dB\n", 9.0, "[Attenuation] GSM850_Low_CH=dB begins with no number"},
  };
  for (const auto &c : cases) {
    v.lines[0].reading = c.reading;
    v.lines[0].deviation = c.reading ? std::optional<double>(*c.reading - 10.0) : std::nullopt;
    const vorn_host::CalibrationRecord cal = vorn_host::Corrections(v, c.text);
    EXPECT_EQ(cal.refused.substr(0, std::string(c.refused).size()), c.refused) << cal.refused;
    if (*c.refused == '\0') {
      EXPECT_EQ(*cal.lines[0].newValue, 2.0);
    }
  }
}

// The verdicts that stop the station, on attempts made by hand: a burst
// power of DCS 1800 that misses its limit, or a pass.
vorn_host::UnitRecord Attempt(char verdict, int index) {
  vorn_host::UnitRecord u;
  u.index = index;
  vorn_host::StepRecord power;
  power.step.exportName = "Vorn_CMU200_OBTPowervsTime";
  power.verdict = verdict == 'F' ? vorn_host::Verdict::kFail : vorn_host::Verdict::kPass;
  vorn_host::EntryResult e;
  e.entry = 1;
  e.value = verdict == 'F' ? 15.0 : 10.0;
  e.name = "Band=DCS;Chan=512;TXLevel=10";
  e.limit = vorn_host::Limit{1, 6.0, 14.0};
  e.passed = verdict != 'F';
  power.entries.push_back(e);
  u.run.steps.push_back(power);
  u.run.verdict = power.verdict;
  return u;
}

TEST(HostHealth, TheWatchStopsAfterFailuresInARowOrAFirstPassYieldTooLow) {
  const struct {
    int lockAfter;
    double yieldBelow;
    std::string verdicts;
    int stopsAt;  // the attempt, from 1; 0: never
    const char *reason;
  } cases[] = {
      {3, 0, "PFFPFFF", 7, "3 failures in a row on burst power (DCS 1800)"},
      {3, 0, "FFPFFPFF", 0, ""},
      {0, 80, "PPPPFPPPPFPPPPFPPPPF", 0, ""},  // 80 % is not below 80 %
      {0, 80, "PPPPFPPPPFPPPFFPPPPF", 20, "first-pass yield 75 % over the last 20 units, below 80 %"},
      {0, 80, "FFFFFFFFFFFFFFFFFFF", 0, ""},  // 19 units: no full window yet
  };
  for (const auto &c : cases) {
    vorn_host::ProcessWatch watch({}, {c.lockAfter, c.yieldBelow, "Call the technician"});
    int stoppedAt = 0;
    std::string reason;
    for (std::size_t i = 0; i < c.verdicts.size() && stoppedAt == 0; ++i) {
      if (const auto stop = watch.stop(Attempt(c.verdicts[i], static_cast<int>(i) + 1))) {
        stoppedAt = static_cast<int>(i) + 1;
        reason = stop->reason;
      }
    }
    EXPECT_EQ(stoppedAt, c.stopsAt) << c.verdicts;
    EXPECT_EQ(reason, c.reason) << c.verdicts;
  }
}

// A golden unit's file, a parameter file or a state file that cannot be used
// stops the command before anything runs, with every problem named.
TEST(HostHealth, BadInputStopsBeforeAnythingRuns) {
  const Station s("inputs");
  std::string golden = vorn_test::ReadText(kGolden);
  golden.replace(golden.find("Tolerance=0.5"), 13, "Tolerance=-1");
  golden.replace(golden.find("DCS1800_Low_CH=512"), 18, "DCS1800_Low_CH=128");
  golden.replace(golden.find("PCS1900_High_CH=9.70"), 20, "PCS1900_High_CH=");
  std::ofstream(s.dir + "/golden.ini") << golden;
  std::string params = vorn_test::ReadText(s.params());
  params.replace(params.find("GSM850_Mid_CH=0.6"), 17, "; no GSM850 mid");
  std::ofstream(s.params(), std::ios::binary) << params;
  const struct {
    std::string args;
    std::vector<std::string> said;
  } cases[] = {
      {"--verify " + s.dir + "/golden.ini " + kCalibration,
       {"[Golden] Tolerance: not a number of dB above 0", "[Channel] DCS1800_Low_CH: not a channel of DCS 1800",
        "[Reference] PCS1900_High_CH: not a burst power in dBm"}},
      {"--calibrate " + kGolden + " " + kCalibration,
       {"[Attenuation] GSM850_Mid_CH is missing from the parameter file"}},
      {"--verify " + kGolden + " --units 2 " + kCalibration, {"--verify and --calibrate run the golden unit alone"}},
  };
  for (const auto &c : cases) {
    const vorn_test::HostRun r = s.run(c.args);
    EXPECT_EQ(r.status, 2) << c.args << "\n" << r.err;
    for (const std::string &said : c.said) EXPECT_NE(r.err.find(said), std::string::npos) << said << "\n" << r.err;
    EXPECT_EQ(r.out.find("DcInit"), std::string::npos) << "a step ran";
  }
  std::ofstream(s.dir + "/vorn-station-inputs.json") << "{\"format\": \"vorn-station-state/1\"";
  const vorn_test::HostRun corrupt = s.run("--units 1 " + kTypical);
  EXPECT_EQ(corrupt.status, 2);
  EXPECT_NE(corrupt.err.find("the station's state cannot be read"), std::string::npos) << corrupt.err;
}

// Each line's reading is the burst power its band, channel and level name;
// one of another level, or of a step in ERROR, is no reading of it.
TEST(HostHealth, AReadingIsFoundByBandChannelAndLevel) {
  vorn_host::GoldenUnit golden;
  vorn_host::InputFile input;
  std::string error;
  ASSERT_TRUE(vorn_host::ReadGoldenUnit(kGolden, golden, input, error)) << error;
  vorn_host::RunRecord run;
  const struct {
    const char *name;
    double value;
    vorn_host::Verdict verdict;
  } readings[] = {
      {"Band=DCS;Chan=512;TXLevel=10", 9.9, vorn_host::Verdict::kPass},   // DCS low: +0.2
      {"Band=DCS;Chan=699;TXLevel=5", 9.7, vorn_host::Verdict::kPass},    // DCS mid, another level
      {"Band=DCS;Chan=885;TXLevel=10", 9.7, vorn_host::Verdict::kError},  // DCS high, a step in ERROR
      {"Band=PCS;Chan=512;TXLevel=10", 8.9, vorn_host::Verdict::kFail},   // PCS channel 512: no line of the table
      {"Band=PCS;Chan=566;TXLevel=10", 9.0, vorn_host::Verdict::kPass},   // PCS low: -0.7
  };
  for (const auto &r : readings) {
    vorn_host::StepRecord step = Attempt('P', 1).run.steps[0];
    step.verdict = r.verdict;
    step.entries[0].name = r.name;
    step.entries[0].value = r.value;
    run.steps.push_back(step);
  }
  const vorn_host::VerificationRecord v = vorn_host::Compare(golden, run);
  std::map<std::string, std::optional<double>> deviation;
  for (const vorn_host::VerificationLine &l : v.lines) deviation[l.key] = l.deviation;
  EXPECT_NEAR(deviation["DCS1800_Low_CH"].value_or(99), 0.2, 1e-9);
  EXPECT_FALSE(deviation["DCS1800_Mid_CH"]);
  EXPECT_FALSE(deviation["DCS1800_High_CH"]);
  EXPECT_NEAR(deviation["PCS1900_Low_CH"].value_or(99), -0.7, 1e-9);
  EXPECT_NEAR(v.worst.value_or(0), -0.7, 1e-9);
  EXPECT_FALSE(v.passed);
}

}  // namespace
