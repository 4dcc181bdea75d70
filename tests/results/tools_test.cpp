// vorn-results and vorn-report as a user runs them: their command lines,
// the tally they print against the session's own, what they leave out, the
// commands they print for pasting, and the texts they take from the database.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include "outputs/results/store.h"
#include "rollup_check.h"
#include "synthetic.h"

namespace {

namespace fs = std::filesystem;
using vorn_host::SessionRecord;
using vorn_host::UnitRecord;

struct TempDir {
  fs::path path;
  TempDir() {
    char name[] = "/tmp/vorn-tools-XXXXXX";
    path = mkdtemp(name);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string operator/(const std::string &file) const { return (path / file).string(); }
};

std::string ReadText(const std::string &file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Ran {
  int status = -1;
  std::string out, err;
};

// A command line through the shell, in folder, its output and errors kept
// (in the folder, or in keep).
Ran Shell(const std::string &command, const std::string &folder, const std::string &keep = "") {
  const std::string out = (keep.empty() ? folder : keep) + "/.out", err = (keep.empty() ? folder : keep) + "/.err";
  const int raw = std::system(("cd '" + folder + "' && " + command + " >" + out + " 2>" + err).c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(out), ReadText(err)};
}

// The first group of the first match, or "".
std::string Find(const std::string &text, const std::string &pattern) {
  std::smatch m;
  return std::regex_search(text, m, std::regex(pattern)) ? m[1].str() : "";
}

// A tally's line without its rate, which depends on how its hours were taken.
std::string Counts(const std::string &tallyLine) { return tallyLine.substr(0, tallyLine.rfind("; ")); }

// units, PASS, FAIL, ERROR, retests, stopped of a tally's line.
std::vector<long> Numbers(const std::string &tallyLine) {
  std::vector<long> n;
  for (const char *what : {" units?:", " PASS", " FAIL", " ERROR", " retests?[;,]", " stopped"}) {
    const std::string found = Find(tallyLine, std::string("(\\d+)") + what);
    n.push_back(found.empty() ? 0 : std::stol(found));
  }
  return n;
}

const std::string kHost = VORN_HOST_FILE;
const std::string kReport = VORN_REPORT_TOOL;
const std::string kResults = VORN_RESULTS_TOOL;
const std::string kParams = std::string(VORN_EXAMPLES_DIR) + "/station.ini";

// Two sessions of vorn-host into one file: one in real time stopped by the
// operator in its first unit (a plan without cleanup, so the attempt is NOT
// RUN), then one on the virtual clock with marginal phones retested once.
// Each session's line report counts as the session did; the line report
// and vorn-results summary of the whole file count alike, the sum of the two.
TEST(ToolsTally, ASessionsFailRetestAndStopCountAlikeEverywhere) {
  TempDir dir;
  std::ofstream(dir / "short.plan") << "DcInit 1 1=1\nMobInit 2 1=1\n";
  const pid_t stopped = fork();
  if (stopped == 0) {
    if (chdir(dir.path.c_str()) != 0 || !freopen("b.txt", "w", stdout) || !freopen("b.err", "w", stderr)) _exit(127);
    execl(kHost.c_str(), kHost.c_str(), "--quiet", "--units", "2", "--db", "line.sqlite", "--params", kParams.c_str(),
          "short.plan", static_cast<char *>(nullptr));
    _exit(127);
  }
  usleep(500000);  // in the first step, which waits 1.5 s on the station
  kill(stopped, SIGINT);
  int raw = 0;
  waitpid(stopped, &raw, 0);
  ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << ReadText(dir / "b.err");
  sleep(1);  // the next session's units start a second later
  const Ran a = Shell(kHost + " --fast --quiet --units 40 --retest 1 --scenario marginal-phones --db line.sqlite" +
                          " --params " + kParams + " " + VORN_EXAMPLES_DIR + "/typical.plan",
                      dir.path);
  ASSERT_EQ(a.status, 1) << a.err;  // marginal phones fail

  std::vector<long> sum(6, 0);
  for (const std::string &console : {ReadText(dir / "b.txt"), a.out}) {
    const std::string session = Find(console, "Session: ([^\n]*); \\d+ attempts?");
    const std::string command = Find(console, "Line report: ([^\n]*)");
    ASSERT_FALSE(session.empty() || command.empty()) << console;
    ASSERT_EQ(Shell(command, dir.path).status, 0) << command;  // pasted as printed
    const std::string page = ReadText(dir / "line-report.html");
    EXPECT_EQ(Counts(Find(page, "<p class=\"tally\">([^<]*)</p>")), Counts(session)) << command;
    for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += Numbers(session)[i];
  }
  EXPECT_EQ(sum[5], 1) << "the stopped unit";
  EXPECT_GT(sum[4], 0) << "the retests";
  EXPECT_GT(sum[2], 0) << "the failures";

  ASSERT_EQ(Shell(kReport + " line --db line.sqlite -o all.html", dir.path).status, 0);
  const Ran summary = Shell(kResults + " --db line.sqlite summary", dir.path);
  ASSERT_EQ(summary.status, 0) << summary.err;
  const std::string page = ReadText(dir / "all.html");
  const std::string all = Find(page, "<p class=\"tally\">([^<]*)</p>");
  EXPECT_EQ(Find(summary.out, "\nall: ([^\n]*)"), all) << summary.out;
  EXPECT_EQ(Numbers(all), sum) << all;
  // A stopped attempt is no failing attempt: the list holds the FAILs only.
  EXPECT_EQ(Find(page, "(NOT RUN</td>)"), "");
  EXPECT_FALSE(Find(page, "(<td class=\"FAIL\">FAIL</td>)").empty());
  // The rollups the sessions kept are those their rows make again.
  std::string error;
  std::unique_ptr<vorn_results::Database> db = vorn_results::OpenSqlite(dir / "line.sqlite", error);
  ASSERT_TRUE(db) << error;
  EXPECT_EQ(vorn_results_test::RollupsDiffer(*db), "");
  // And the check sees a count that is off by one.
  for (const char *column :
       {"day_measurement SET b07 = b07", "station_hour SET retests = retests", "day_step SET errors = errors"}) {
    ASSERT_TRUE(db->exec(std::string("UPDATE ") + column + " + 1", error)) << error;
    EXPECT_NE(vorn_results_test::RollupsDiffer(*db), "") << column;
    ASSERT_TRUE(db->exec(std::string("UPDATE ") + column + " - 1", error)) << error;
  }
}

// Units of synthetic sessions written straight into a file.
struct Line {
  TempDir dir;
  std::string file = dir / "line.sqlite";
  std::unique_ptr<vorn_results::Store> store;
  std::mt19937 random{11};

  Line() {
    std::string error;
    store = vorn_results::Store::Open(file, false, error);
    EXPECT_TRUE(store) << error;
  }
  SessionRecord session(const std::string &station, bool faults,
                        vorn_host::SessionMode mode = vorn_host::SessionMode::kProduction) {
    SessionRecord s = vorn_results_test::SyntheticSession(station);
    s.faultInjected = faults;
    s.mode = mode;
    std::string error;
    EXPECT_TRUE(store->putSession(s, error)) << error;
    return s;
  }
  UnitRecord unit(const SessionRecord &s, const std::string &serial, bool passed, int index = 1) {
    UnitRecord u = vorn_results_test::SyntheticUnit(vorn_results_test::TypicalPlan(), index, 1, passed, random);
    u.serial = serial;
    u.unitId = vorn_host::NewUuid();
    std::string error;
    bool stored = false;
    EXPECT_TRUE(store->putUnit(vorn_results::ToRow(s, u), stored, error)) << error;
    return u;
  }
};

TEST(ToolsCommandLine, BadLinesAreRefusedWithStatusTwoBeforeAnythingRuns) {
  Line line;
  const SessionRecord s = line.session("line1", false);
  line.unit(s, "S1", true);
  const struct {
    std::string args;
    std::string said;
  } cases[] = {
      {kReport + " line --since zzz -o x.html", "--since takes a UTC time"},
      {kReport + " line --since 2024-02-30 -o x.html", "--since takes a UTC time"},
      {kReport + " line --until 2024-05-01T24:00:00Z -o x.html", "--until takes a UTC time"},
      {kReport + " line --since 2024-05-02 --until 2024-05-01 -o x.html", "comes before --since"},
      {kReport + " line --station a --station b -o x.html", "--station given twice"},
      {kReport + " line --db line.sqlite -o", "-o needs a value"},
      {kReport + " line", "-o FILE is missing"},
      {kReport + " unit S1 --since 2024-05-01 -o x.html", "--since is for vorn-report line"},
      {kReport + " line --attempt 2 -o x.html", "--attempt is for vorn-report unit"},
      {kReport + " unit S1 --attempt-id abc -o x.html", "--attempt-id names the attempt"},
      {kReport + " unit S1 --attempt 0 -o x.html", "--attempt takes a whole number"},
      {kReport + " unit -o x.html", "unit needs a SERIAL"},
      {kReport + " unit S9 -o x.html", "no unit with serial"},
      {kReport + " lines -o x.html", "unknown command"},
      {kReport + " line --db missing.sqlite -o x.html", "missing.sqlite"},
      {kResults + " summary --since 2024-13-01", "--since takes a UTC time"},
      {kResults + " summary --plan a --plan b", "--plan given twice"},
      {kResults + " export", "export needs --csv"},
      {kResults + " export --csv --serial S1", "--serial is for units, not export"},
      {kResults + " units", "units needs --serial"},
      {kResults + " summary --raw-cells", "--raw-cells is for export, not summary"},
      {kResults + " summary export", "one command at a time"},
      {kResults + " --db missing.sqlite summary", "missing.sqlite"},
      {kResults + " summary --bogus", "unknown option --bogus"},
  };
  for (const auto &c : cases) {
    const std::string args = c.args.find("--db") == std::string::npos ? c.args + " --db line.sqlite" : c.args;
    const Ran r = Shell(args, line.dir.path);
    EXPECT_EQ(r.status, 2) << args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << args << "\n" << r.err;
    EXPECT_FALSE(fs::exists(line.dir / "x.html")) << args;
  }
  // Times as the database holds them, and bare dates, are taken.
  for (const std::string period : {"--since 2024-05-01", "--since 2024-05-01T08:00:00Z --until 2030-01-01"}) {
    EXPECT_EQ(Shell(kReport + " line " + period + " --db line.sqlite -o x.html", line.dir.path).status, 0) << period;
    EXPECT_EQ(Shell(kResults + " --db line.sqlite summary " + period, line.dir.path).status, 0) << period;
  }
}

// A cell a spreadsheet would run as a formula starts with a "'" unless
// --raw-cells; numbers, negative ones too, stay as they are.
TEST(ToolsCsv, FormulaCellsAreGuardedNumbersAreNot) {
  Line line;
  const SessionRecord s = line.session("=cmd|' /C calc'!A0", false);
  const std::vector<std::string> serials = {"=1+1", "+1", "-2+3", "@SUM(A1)", "\tX", "\rY", "-12", "S-5"};
  for (std::size_t i = 0; i < serials.size(); ++i) line.unit(s, serials[i], true, static_cast<int>(i) + 1);
  const Ran guarded = Shell(kResults + " --db line.sqlite export --csv", line.dir.path);
  const Ran raw = Shell(kResults + " --db line.sqlite export --csv --raw-cells", line.dir.path);
  ASSERT_EQ(guarded.status, 0) << guarded.err;
  ASSERT_EQ(raw.status, 0) << raw.err;
  const struct {
    std::string guarded, raw;
  } cells[] = {
      {",'=1+1,", ",=1+1,"},
      {",'+1,", ",+1,"},
      {",'-2+3,", ",-2+3,"},
      {",'@SUM(A1),", ",@SUM(A1),"},
      {",'\tX,", ",\tX,"},
      {",\"'\rY\",", ",\"\rY\","},
      {",-12,", ",-12,"},
      {",S-5,", ",S-5,"},
      {",'=cmd|' /C calc'!A0,", ",=cmd|' /C calc'!A0,"},
  };
  for (const auto &c : cells) {
    EXPECT_NE(guarded.out.find(c.guarded), std::string::npos) << c.guarded;
    EXPECT_NE(raw.out.find(c.raw), std::string::npos) << c.raw;
  }
  // The values of the results: negative numbers untouched in both.
  EXPECT_EQ(Find(guarded.out, "(,'-\\d+\\.)"), "");
  EXPECT_FALSE(Find(guarded.out, "(,-\\d+\\.\\d+)").empty());
}

// Pages are named by the attempt's UUID: serials that fold alike, and one
// serial tested in two sessions, each get their own page; every attempt is
// reached by --attempt-id; a serial's control bytes never reach the terminal.
TEST(ToolsPages, EveryAttemptItsOwnPageAndNoControlByteOnTheTerminal) {
  Line line;
  const SessionRecord first = line.session("line1", false), second = line.session("line1", false);
  const std::string escape = "ESC\x1b]0;owned\x07";
  const std::string longest(64, 'L');
  std::vector<UnitRecord> failed;
  int index = 0;
  for (const std::string &serial : std::vector<std::string>{"A/B", "A.B", "A_B", escape, longest}) {
    failed.push_back(line.unit(first, serial, false, ++index));
  }
  failed.push_back(line.unit(second, "A/B", false));
  const Ran made = Shell(kReport + " line --db line.sqlite -o line.html", line.dir.path);
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(made.out.find('\x1b'), std::string::npos);
  std::set<std::string> pages;
  for (const auto &f : fs::directory_iterator(line.dir / "line-units")) pages.insert(f.path().filename().string());
  EXPECT_EQ(pages.size(), failed.size());
  for (const UnitRecord &u : failed) {
    EXPECT_EQ(pages.count(u.uuid + ".html"), 1u) << u.serial;
    const Ran one = Shell(kReport + " unit --attempt-id " + u.uuid + " --db line.sqlite -o one.html", line.dir.path);
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.out.find('\x1b'), std::string::npos);
    EXPECT_NE(ReadText(line.dir / "one.html").find(u.uuid), std::string::npos);
  }
  const std::string escaped = "\"$(printf 'ESC\\033]0;owned\\007')\"";
  const Ran bySerial = Shell(kReport + " unit " + escaped + " --db line.sqlite -o esc.html", line.dir.path);
  EXPECT_EQ(bySerial.status, 0) << bySerial.err;
  EXPECT_EQ(bySerial.out.find('\x1b'), std::string::npos) << bySerial.out;
  EXPECT_NE(bySerial.out.find("\\x1b"), std::string::npos) << bySerial.out;
  const Ran listed = Shell(kResults + " --db line.sqlite units --serial " + escaped, line.dir.path);
  EXPECT_NE(listed.out.find("attempt 1  FAIL"), std::string::npos) << listed.out;
  EXPECT_EQ(listed.out.find('\x1b'), std::string::npos) << listed.out;
}

// Sessions with injected faults, engineering sessions and the golden unit's
// verifications are left out (only production counts) and said to be; the command the note prints, pasted, takes them
// in. So does the unit page's command for every attempt of its phone.
TEST(ToolsLeftOut, FaultsAndTrialsLeftOutAndThePrintedCommandsWork) {
  Line line;
  const SessionRecord production = line.session("line 1", false);
  const SessionRecord faults = line.session("line 1", true);
  const SessionRecord trial = line.session("line 1", false, vorn_host::SessionMode::kEngineering);
  const SessionRecord golden = line.session("line 1", false, vorn_host::SessionMode::kVerification);
  line.unit(production, "P-1", true);
  line.unit(faults, "F-1", false);
  line.unit(faults, "F-2", false, 2);
  line.unit(trial, "E-1", true);
  line.unit(golden, "G-1", true);
  const Ran summary = Shell(kResults + " --db line.sqlite summary --station 'line 1'", line.dir.path);
  ASSERT_EQ(summary.status, 0) << summary.err;
  EXPECT_NE(summary.out.find("\nall: 1 unit: 1 PASS, 0 FAIL"), std::string::npos) << summary.out;
  const std::string faultsNote = "1 session with injected faults left out; ";
  const std::string command = Find(summary.out, faultsNote + "(.*) takes them in");
  ASSERT_FALSE(command.empty()) << summary.out;
  EXPECT_NE(summary.out.find("1 session of engineering trials left out"), std::string::npos) << summary.out;
  const std::string goldenCommand =
      Find(summary.out, "1 session of the golden unit \\(verification, calibration\\) left out; (.*) takes them in");
  ASSERT_FALSE(goldenCommand.empty()) << summary.out;
  const Ran taken = Shell(command, line.dir.path);
  EXPECT_NE(taken.out.find("\nall: 3 units: 1 PASS, 2 FAIL"), std::string::npos) << command << "\n" << taken.out;
  const Ran withGolden = Shell(goldenCommand, line.dir.path);
  EXPECT_NE(withGolden.out.find("\nall: 2 units: 2 PASS, 0 FAIL"), std::string::npos) << withGolden.out;

  ASSERT_EQ(Shell(kReport + " line --db line.sqlite -o line.html", line.dir.path).status, 0);
  const std::string page = ReadText(line.dir / "line.html");
  EXPECT_NE(page.find("The session ran on the simulated station"), std::string::npos) << page.substr(0, 2000);
  const std::string pasted = Find(page, "with injected faults left out: <code>([^<]*)</code>");
  ASSERT_FALSE(pasted.empty()) << page.substr(0, 2000);
  const Ran withFaults = Shell(std::regex_replace(pasted, std::regex("&#39;"), "'"), "/", line.dir.path);
  EXPECT_EQ(withFaults.status, 0) << pasted << withFaults.err;
  EXPECT_NE(ReadText(line.dir / "line.html").find("<td class=\"num\">3</td>"), std::string::npos);

  ASSERT_EQ(Shell(kReport + " unit F-1 --db line.sqlite -o unit.html", line.dir.path).status, 0);
  const std::string hint = Find(ReadText(line.dir / "unit.html"), "Every attempt of this phone: <code>([^<]*)</code>");
  const Ran attempts = Shell(hint, "/", line.dir.path);  // anywhere: the command names whole paths
  EXPECT_EQ(attempts.status, 0) << hint << attempts.err;
  EXPECT_NE(attempts.out.find("attempt 1  FAIL"), std::string::npos) << attempts.out;
}

}  // namespace
