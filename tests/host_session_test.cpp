// Production sessions: serials, the cleanup section, stop requests, retests,
// the phones' deviations, the JSON Lines file, and a long session's memory.
#include <dirent.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "core/options.h"
#include "core/record_json.h"
#include "core/session.h"
#include "os/os.h"
#include "outputs/registry.h"
#include "station/simulation.h"
#include "support/host_run.h"
#include "support/station_test.h"
#include "support/steps.h"
#include "visa/sessions.h"

namespace {

using nlohmann::json;
using vorn_host::Verdict;

int32_t Passes(int32_t, double *values, Vorn_CMU200_ResultName *, char *) {
  values[1] = 1.0;
  return 0;
}
int32_t Errs(int32_t, double *, Vorn_CMU200_ResultName *, char *errorText) {
  std::strcpy(errorText, "no answer");
  return -1;
}
int stopRequests = 0;
int stopRequestsInStep = 0;
// Passes, and meanwhile the operator asks to stop stopRequestsInStep times.
int32_t PassesWhileStopped(int32_t step, double *values, Vorn_CMU200_ResultName *names, char *text) {
  stopRequests = stopRequestsInStep;
  return Passes(step, values, names, text);
}
// Fails, and meanwhile the operator asks to stop stopRequestsInStep times.
int32_t ErrsWhileStopped(int32_t step, double *values, Vorn_CMU200_ResultName *names, char *text) {
  stopRequests = stopRequestsInStep;
  return Errs(step, values, names, text);
}

vorn_host::Plan ParsedPlan(const std::string &text) {
  std::vector<std::string> errors;
  vorn_host::Plan plan = vorn_host::ParsePlan(text, "t.plan", errors);
  EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0]);
  return plan;
}

TEST(HostSession, SerialsAreCheckedAndFilesNameTheLine) {
  const struct {
    std::string serial;
    bool good;
  } cases[] = {
      {"SIM-000001", true},    {"A", true},       {std::string(64, 'x'), true},
      {"~!#$%", true},         {"", false},       {std::string(65, 'x'), false},
      {"AB 12", false},        {"AB\t12", false}, {"AB\x1b[2J", false},
      {"L\xc3\xadnea", false}, {"AB\x7f", false},
  };
  for (const auto &c : cases) EXPECT_EQ(vorn_host::SerialProblem(c.serial).empty(), c.good) << c.serial;
  EXPECT_EQ(vorn_host::SerialProblem("a\x1b"
                                     "b"),
            "serial \"a\\x1bb\" holds a blank or a character that is not printable ASCII");

  const std::string dir = vorn_test::TempDir();
  std::ofstream(dir + "/serials") << "P-1\r\n\nP 2\nP-3";
  std::vector<std::string> problems;
  vorn_host::SerialList list(dir + "/serials", problems);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].rfind(dir + "/serials:3: serial \"P 2\"", 0), 0u) << problems[0];
  std::string many;
  for (int i = 0; i < 23; ++i) many += "x y\n";
  std::ofstream(dir + "/bad") << many;
  problems.clear();
  vorn_host::SerialList bad(dir + "/bad", problems);
  ASSERT_EQ(problems.size(), 21u);  // 20 named, then how many more
  EXPECT_EQ(problems[20], dir + "/bad: 3 more lines hold no serial");
  vorn_test::RemoveTempDir(dir);
}

TEST(HostSession, SessionOptions) {
  const struct {
    std::vector<const char *> args;
    const char *error;  // empty: accepted
  } cases[] = {
      {{"--units", "3", "--retest=2"}, ""},
      {{"--serial-prompt"}, ""},
      {{"--units", "0"}, "--units takes a whole number from 1 to 1000000, not \"0\""},
      {{"--units", "+3"}, "--units takes a whole number"},
      {{"--units", "3x"}, "--units takes a whole number"},
      {{"--retest", "101", "--units", "1"}, "--retest takes a whole number from 0 to 100"},
      {{"--units", "3", "--serials", "s.txt"}, "name the units one way"},
      {{"--retest", "1"}, "--retest needs a session"},
  };
  for (const auto &c : cases) {
    std::vector<const char *> args = {"vorn-host", "--params", "s.ini", "t.plan"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    vorn_host::Options o;
    std::string error;
    vorn_host::CommandLine line = vorn_host::HostCommandLine();
    const bool parsed = vorn_host::ReadHostCommandLine(static_cast<int>(args.size()), args.data(), line, o, error);
    EXPECT_EQ(parsed, *c.error == '\0') << c.args[0] << " " << error;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    if (parsed) {
      EXPECT_TRUE(o.session()) << c.args[0];
    }
  }
}

TEST(HostSession, ThePromptAsksAgainUntilASerialOrAnEmptyLine) {
  std::FILE *answers = std::tmpfile();
  std::FILE *questions = std::tmpfile();
  std::fputs("P-1\r\nbad serial\nP-2\n\nP-3\n", answers);
  std::rewind(answers);
  vorn_host::SimulatedStation simulation(answers, questions);
  vorn_host::PromptedUnits units(simulation, questions);
  std::vector<std::string> serials;
  for (std::string serial; units.next(serial);) serials.push_back(serial);
  EXPECT_EQ(serials, (std::vector<std::string>{"P-1", "P-2"}));
  std::fclose(answers);
  std::fclose(questions);
}

TEST(HostSession, PlansEndWithOneCleanupSection) {
  const vorn_host::Plan plan = ParsedPlan("DcInit 1\nCleanup:\nMobClose 14\n");
  ASSERT_EQ(plan.steps.size(), 2u);
  EXPECT_FALSE(plan.steps[0].cleanup);
  EXPECT_TRUE(plan.steps[1].cleanup);
  std::vector<std::string> errors;
  vorn_host::ParsePlan("DcInit 1\ncleanup:\nMobReset 13\ncleanup:\nMobClose 14\n", "t.plan", errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "t.plan:4: a second cleanup section (the first is on line 2)");
}

// The cleanup runs after an ERROR and after one stop, not after a second.
// A stopped run is judged by its test steps: the cleanup's findings (a link
// never opened, nothing to close) leave it NOT RUN; an ERROR of a test step
// that ran still counts, and without a stop the cleanup's ERROR is the run's.
TEST(HostSession, CleanupRunsWhateverHappenedBefore) {
  const vorn_host::Plan plan = ParsedPlan("DcInit 1\nMobInit 2\nOBTInit 3\ncleanup:\nMobReset 13\nMobClose 14\n");
  const Verdict P = Verdict::kPass, E = Verdict::kError, N = Verdict::kNotRun;
  const struct {
    vorn_host::StepFunction first;
    vorn_host::StepFunction second;
    vorn_host::StepFunction cleanup;
    int stops;
    Verdict verdict;
    std::vector<Verdict> steps;
  } cases[] = {
      {Passes, Errs, Passes, 0, E, {P, E, N, P, P}},
      {Passes, PassesWhileStopped, Passes, 1, N, {P, P, N, P, P}},
      {Passes, PassesWhileStopped, Passes, 2, N, {P, P, N, N, N}},
      {PassesWhileStopped, Passes, Errs, 1, N, {P, N, N, E, E}},  // a stop in the first step
      {ErrsWhileStopped, Passes, Errs, 1, E, {E, N, N, E, E}},
      {Passes, Passes, Errs, 0, E, {P, P, P, E, E}},
  };
  for (const auto &c : cases) {
    vorn_host::RunOptions options;
    options.stopRequests = [] { return stopRequests; };
    stopRequests = 0;
    stopRequestsInStep = c.stops;
    const vorn_host::RunRecord run = RunPlan(plan, {c.first, c.second, Passes, c.cleanup, c.cleanup}, options, nullptr);
    std::vector<Verdict> steps;
    for (const auto &s : run.steps) steps.push_back(s.verdict);
    EXPECT_EQ(steps, c.steps) << c.stops;
    EXPECT_EQ(run.verdict, c.verdict) << c.stops;
    EXPECT_EQ(run.stopped, c.stops > 0);
    EXPECT_EQ(run.exitStatus(), 1);
  }
}

class Attempts : public vorn_host::Subscriber {
 public:
  vorn_host::Delivery attemptFinished(const vorn_host::UnitRecord &u) override {
    seen.push_back(u.serial + "/" + std::to_string(u.index) + "/" + std::to_string(u.attempt));
    return vorn_host::Delivery::delivered();
  }
  std::vector<std::string> seen;
};

TEST(HostSession, AUnitThatDidNotPassIsRetestedUpToTheCount) {
  for (int retest : {0, 2}) {
    auto info = std::make_shared<vorn_host::SessionRecord>();
    vorn_host::GeneratedUnits units(2);
    Attempts attempts;
    vorn_host::Bus bus;
    bus.subscribe(attempts);
    vorn_host::SessionOptions options;
    options.retest = retest;
    // Every attempt misses the limit: each unit is tested 1 + retest times.
    const vorn_host::Plan failing = ParsedPlan("DcInit 1 1=2\n");
    const auto result = RunSession(failing, {Passes}, info, units, bus, options);
    std::vector<std::string> wanted;
    for (const char *unit : {"SIM-000001/1/", "SIM-000002/2/"}) {
      for (int a = 1; a <= 1 + retest; ++a) wanted.push_back(unit + std::to_string(a));
    }
    EXPECT_EQ(attempts.seen, wanted);
    EXPECT_EQ(result.tally.fail, 2);
    EXPECT_EQ(result.tally.attempts, 2 * (1 + retest));
    EXPECT_EQ(result.tally.retests, 2 * retest);
    EXPECT_EQ(result.tally.exitStatus(), 1);

    vorn_host::GeneratedUnits again(2);
    Attempts passing;
    vorn_host::Bus passingBus;
    passingBus.subscribe(passing);
    const auto passed = RunSession(ParsedPlan("DcInit 1 1=1\n"), {Passes}, info, again, passingBus, options);
    EXPECT_EQ(passing.seen.size(), 2u);
    EXPECT_EQ(passed.tally.exitStatus(), 0);
    EXPECT_EQ(passed.tally.firstPassYield(), 100.0);
  }
}

TEST(HostSession, EachSerialGivesItsOwnPhone) {
  using Phone = station::Phone;
  int marginal = 0;
  std::set<int> kinds;  // which deviation a marginal phone has
  const int phones = 4000;
  for (int i = 0; i < phones; ++i) {
    const std::string serial = "SIM-" + std::to_string(i);
    const Phone::Deviations d = Phone::DeviationsFor(serial, false);
    const Phone::Deviations again = Phone::DeviationsFor(serial, false);
    ASSERT_EQ(d.powerDb, again.powerDb);
    ASSERT_LE(std::fabs(d.powerDb), 0.8);
    ASSERT_LE(std::fabs(d.timingBits), 0.4);
    ASSERT_LE(std::fabs(d.spectrumDb), 1.0);
    ASSERT_LE(std::fabs(d.rxLevelDb), 1.0);
    const Phone::Deviations m = Phone::DeviationsFor(serial, true);
    const double out[] = {std::fabs(m.powerDb) / 4, std::fabs(m.timingBits) / 1.2, m.spectrumDb / 4,
                          std::fabs(m.rxLevelDb) / 3};
    int far = 0;
    for (int k = 0; k < 4; ++k) {
      if (out[k] >= 1.0) kinds.insert(k), ++far;
    }
    marginal += far;
  }
  EXPECT_GT(marginal, phones * 3 / 100);
  EXPECT_LT(marginal, phones * 7 / 100);
  EXPECT_EQ(kinds.size(), 4u);
  EXPECT_EQ(Phone::DeviationsFor("", true).powerDb, 0.0);  // the single run's phone is nominal
}

TEST(HostSession, OneWriterOfAJsonLinesFileAtATime) {
  const std::string dir = vorn_test::TempDir();
  const std::string path = dir + "/r.jsonl";
  std::ofstream(path) << "{\"whole\": 1}\n{\"cut";  // an earlier writer died in a line
  std::string error;
  {
    vorn_host::AppendLog first;
    ASSERT_TRUE(first.open(path, error)) << error;
    vorn_host::AppendLog second;
    EXPECT_FALSE(second.open(path, error));
    EXPECT_EQ(error, "another run is writing to it");
    ASSERT_TRUE(first.append("{\"next\": 2}\n", error)) << error;
  }
  EXPECT_EQ(vorn_test::ReadText(path), "{\"whole\": 1}\n{\"cut\n{\"next\": 2}\n");
  vorn_host::AppendLog later;  // free again once the first is closed
  EXPECT_TRUE(later.open(path, error)) << error;
  vorn_test::RemoveTempDir(dir);
}

// The whole typical plan, handovers included: every nominal phone passes, and
// marginal phones miss limits of several kinds, each record naming them.
TEST(HostSession, MarginalPhonesGiveAYieldWithASpread) {
  const std::string examples = VORN_EXAMPLES_DIR;
  const std::string dir = vorn_test::TempDir();
  const std::string plan = examples + "/typical.plan";
  const std::string common = "--fast --quiet --no-db --units 1000 --params " + examples + "/station.ini --json " + dir;
  const vorn_test::HostRun nominal = vorn_test::RunHost(common + "/n.jsonl " + plan);
  EXPECT_EQ(nominal.status, 0) << nominal.out;
  EXPECT_NE(nominal.out.find("1000 units: 1000 PASS"), std::string::npos) << nominal.out;

  const vorn_test::HostRun marginal = vorn_test::RunHost("--scenario marginal-phones " + common + "/m.jsonl " + plan);
  EXPECT_EQ(marginal.status, 1);
  const std::size_t at = marginal.out.find("first-pass yield ");
  ASSERT_NE(at, std::string::npos) << marginal.out;
  const double yield = std::stod(marginal.out.substr(at + 17));
  EXPECT_GE(yield, 90.0);
  EXPECT_LE(yield, 99.0);
  std::set<std::string> missed;  // step and entry of every limit missed
  std::istringstream lines(vorn_test::ReadText(dir + "/m.jsonl"));
  for (std::string line; std::getline(lines, line);) {
    const json j = json::parse(line);
    if (j["verdict"] == "PASS") continue;
    EXPECT_EQ(j["verdict"], "FAIL") << line;
    std::size_t misses = 0;
    for (const json &step : j["steps"]) {
      for (const json &miss : step["misses"]) {
        ++misses;
        const std::string text = miss;  // "entry 4 = 1.52, outside -1..1"
        missed.insert(step["export"].get<std::string>() + " " + text.substr(0, text.find(' ', 6)));
      }
    }
    EXPECT_GT(misses, 0u) << line;
  }
  for (const char *kind : {"Vorn_CMU200_OBTPowervsTime entry 1", "Vorn_CMU200_OBTPowervsTime entry 4",
                           "Vorn_CMU200_OBTOutputRFSpectrum entry 3", "Vorn_CMU200_OBTRXLevelandQuality entry 1"}) {
    EXPECT_EQ(missed.count(kind), 1u) << kind;
  }
  vorn_test::RemoveTempDir(dir);
}

// A record that cannot be written after the steps ran: its own message, exit
// status 1, and no further unit tested without its record.
TEST(HostSession, AFailedRecordWriteEndsTheSessionWithStatusOne) {
  const std::string examples = VORN_EXAMPLES_DIR;
  const vorn_test::HostRun r = vorn_test::RunHost("--fast --quiet --units 3 --json /dev/full --params " + examples +
                                                  "/station.ini " + examples + "/typical.plan");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("writing the JSON line of unit 1 failed"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("unit 2 SIM-000002"), std::string::npos) << r.err;
}

// Runs vorn-host, its input a pipe that gives input and then nothing more,
// and asks it to stop: once its standard error shows the text awaited (within
// 30 s), if any, and then after the given time.
vorn_test::HostRun StoppedHost(const std::string &args, const std::string &input, useconds_t after, int signal = SIGINT,
                               const std::string &awaited = "") {
  const std::string dir = vorn_test::TempDir();
  int in[2];
  if (pipe(in) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    close(in[1]);
    const std::string command =
        "exec " + std::string(VORN_HOST_FILE) + " " + args + " >" + dir + "/out 2>" + dir + "/err";
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  close(in[0]);
  if (write(in[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) return {};
  for (int i = 0; i < 3000 && !awaited.empty(); ++i) {
    if (vorn_test::ReadText(dir + "/err").find(awaited) != std::string::npos) break;
    usleep(10000);
  }
  usleep(after);
  kill(pid, signal);
  int raw = 0;
  waitpid(pid, &raw, 0);
  close(in[1]);
  vorn_test::HostRun r;
  if (WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
  r.out = vorn_test::ReadText(dir + "/out");
  r.err = vorn_test::ReadText(dir + "/err");
  vorn_test::RemoveTempDir(dir);
  return r;
}

// SIGTERM (the single run) and Ctrl-C (the session) in the first step, in
// real time: the step finishes, the cleanup runs, each record is whole and
// says what was not run.
TEST(HostSession, CtrlCInRealTimeRunsTheCleanupAndKeepsTheRecords) {
  const std::string examples = VORN_EXAMPLES_DIR;
  const std::string dir = vorn_test::TempDir();
  const std::string common = "--quiet --params " + examples + "/station.ini " + examples + "/typical.plan";
  const std::string single = dir + "/run.json";
  std::ofstream(single) << "{\"earlier\": true}\n";
  const vorn_test::HostRun one = StoppedHost("--json " + single + " " + common, "", 300000, SIGTERM);
  EXPECT_EQ(one.status, 1) << one.err;
  EXPECT_NE(one.out.find("; stopped by the operator\n"), std::string::npos) << one.out;
  const std::string lines = dir + "/session.jsonl";
  const vorn_test::HostRun session = StoppedHost("--units 3 --json " + lines + " " + common, "", 300000);
  // The untested phone is counted as stopped, not as an ERROR of the line.
  EXPECT_NE(session.out.find("Session: 0 units: 0 PASS, 0 FAIL, 0 ERROR, 1 stopped;"), std::string::npos)
      << session.out;
  EXPECT_NE(session.out.find("; stopped by the operator\n"), std::string::npos) << session.out;

  const std::string lineText = vorn_test::ReadText(lines);
  ASSERT_EQ(std::count(lineText.begin(), lineText.end(), '\n'), 1) << lineText;
  for (const json &j : {json::parse(vorn_test::ReadText(single)), json::parse(lineText)}) {
    // Stopped before the phone was tested: whatever its cleanup found (no
    // link to close), the unit was not run.
    EXPECT_EQ(j["verdict"], "NOT RUN");
    EXPECT_EQ(j["stopped"], true);
    const json &steps = j["steps"];
    ASSERT_EQ(steps.size(), 21u);
    EXPECT_EQ(steps[0]["verdict"], "PASS");  // the step that was running
    EXPECT_EQ(steps[1]["verdict"], "NOT RUN");
    for (std::size_t i = 18; i < 21; ++i) {
      EXPECT_EQ(steps[i]["cleanup"], true);
      EXPECT_NE(steps[i]["verdict"], "NOT RUN") << i;  // ran, whatever it found
    }
  }
  vorn_test::RemoveTempDir(dir);
}

// A stop at the serial prompt ends the session with its summary; a stop is
// no failure of its own.
TEST(HostSession, AStopAtThePromptEndsTheSession) {
  const std::string examples = VORN_EXAMPLES_DIR;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    const vorn_test::HostRun r = StoppedHost(
        "--fast --quiet --no-db --serial-prompt --params " + examples + "/station.ini " + examples + "/typical.plan",
        "P-1\n", 100000, signal, "Serial of unit 2 (empty line ends the session): ");
    EXPECT_EQ(r.status, 0) << signal << r.err;
    EXPECT_NE(r.err.find("Serial of unit 2 (empty line ends the session): "), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("Session: 1 unit: 1 PASS, 0 FAIL, 0 ERROR; first-pass yield 100.0 %"), std::string::npos)
        << signal << r.out;
    EXPECT_NE(r.out.find("stopped by the operator"), std::string::npos) << signal << r.out;
  }
}

std::size_t ResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stoul(line.substr(6));
  }
  return 0;
}

std::size_t OpenFds() {
  std::size_t n = 0;
  DIR *dir = opendir("/proc/self/fd");
  while (dir != nullptr && readdir(dir) != nullptr) ++n;
  if (dir != nullptr) closedir(dir);
  return n;
}

class Sampler : public vorn_host::Subscriber {
 public:
  vorn_host::Delivery attemptFinished(const vorn_host::UnitRecord &u) override {
    if (u.index == 100 || u.index == 1000) samples.push_back({ResidentKb(), OpenFds()});
    return vorn_host::Delivery::delivered();
  }
  std::vector<std::pair<std::size_t, std::size_t>> samples;
};

// Each attempt's record as a JSON line, as the JSON output appends it.
class JsonLines : public vorn_host::Subscriber {
 public:
  vorn_host::Delivery attemptFinished(const vorn_host::UnitRecord &u) override {
    std::string error;
    const bool written = log.append(vorn_host::JsonText(vorn_host::RecordJson(u)) + "\n", error);
    return written ? vorn_host::Delivery::delivered() : vorn_host::Delivery::lost(error);
  }
  vorn_host::AppendLog log;
};

class HostLongSession : public vorn_test::StationTest {};

// The typical plan for 1000 units in one process, each with a JSON line.
TEST_F(HostLongSession, MemoryAndDescriptorsStayFlat) {
  writeParameters(vorn_test::TypicalParameters());
  std::ostringstream plan;
  for (const vorn_test::RunStep &s : vorn_test::TypicalRun()) plan << s.step->name << " " << s.number << "\n";
  const vorn_host::Plan parsed = ParsedPlan(plan.str() + "cleanup:\nMobClose 99\n");
  std::vector<vorn_host::StepFunction> functions;
  for (const vorn_host::PlanStep &step : parsed.steps) functions.push_back(vorn_test::FindStep(step.shortName())->run);

  const std::string dir = vorn_test::TempDir();
  JsonLines lines;
  std::string error;
  ASSERT_TRUE(lines.log.open(dir + "/r.jsonl", error)) << error;
  Sampler sampler;
  vorn_host::SimulatedStation simulation;
  vorn_host::SessionOptions options;
  options.run.equipment = &simulation;
  options.run.keepGoing = true;
  auto info = std::make_shared<vorn_host::SessionRecord>();
  vorn_host::GeneratedUnits units(1000);
  vorn_host::Bus bus;
  bus.subscribe(lines);
  bus.subscribe(sampler);
  const std::size_t visaBefore = visa::sessions().openCount();
  const auto result = RunSession(parsed, functions, info, units, bus, options);
  EXPECT_EQ(result.tally.units, 1000);
  EXPECT_EQ(result.tally.pass, 1000);
  EXPECT_LE(visa::sessions().openCount(), visaBefore) << "VISA sessions left open";
  ASSERT_EQ(sampler.samples.size(), 2u);
  // Flat to the page once nothing of a unit is kept: a leak of 150 bytes a
  // unit (the measurements of freed tester sessions) shows as 130 kB here.
  EXPECT_LE(sampler.samples[1].first, sampler.samples[0].first + 64) << "kB resident";
  EXPECT_EQ(sampler.samples[1].second, sampler.samples[0].second) << "open descriptors";
  vorn_test::RemoveTempDir(dir);
}

// What the station looks like after each attempt: the unit's verdict, the
// verdicts of its cleanup steps, and whether a link still holds the port.
class AfterEachUnit : public vorn_host::Subscriber {
 public:
  struct Seen {
    Verdict verdict;
    std::string firstError;
    std::vector<Verdict> cleanup;
    bool portHeld;
  };
  vorn_host::Delivery attemptFinished(const vorn_host::UnitRecord &u) override {
    Seen seen{u.run.verdict, "", {}, station::station().phone.portHeld(3)};
    for (const vorn_host::StepRecord &s : u.run.steps) {
      if (s.step.cleanup) seen.cleanup.push_back(s.verdict);
      if (seen.firstError.empty() && s.verdict == Verdict::kError) seen.firstError = s.text;
    }
    units.push_back(seen);
    return vorn_host::Delivery::delivered();
  }
  std::vector<Seen> units;
};

// Every tenth phone never answers: its link set-up fails, the cleanup runs,
// the port is free again, and the next phone passes.
TEST_F(HostLongSession, APhoneThatNeverAnswersLeavesNoPortHeld) {
  const std::string examples = VORN_EXAMPLES_DIR;
  writeParameters(vorn_test::ReadText(examples + "/station.ini"));
  std::vector<std::string> errors;
  const vorn_host::Plan plan =
      vorn_host::ParsePlan(vorn_test::ReadText(examples + "/typical.plan"), "typical.plan", errors);
  ASSERT_TRUE(errors.empty());
  std::vector<vorn_host::StepFunction> functions;
  for (const vorn_host::PlanStep &step : plan.steps) functions.push_back(vorn_test::FindStep(step.shortName())->run);

  vorn_host::SimulatedStation simulation;
  std::vector<std::string> applied;
  std::string error;
  ASSERT_TRUE(simulation.setUp(true, {"silent-phones"}, {}, applied, error)) << error;
  vorn_host::SessionOptions options;
  options.run.equipment = &simulation;
  auto info = std::make_shared<vorn_host::SessionRecord>();
  vorn_host::GeneratedUnits units(200);
  AfterEachUnit seen;
  vorn_host::Bus bus;
  bus.subscribe(seen);
  const std::size_t visaBefore = visa::sessions().openCount();
  const auto result = RunSession(plan, functions, info, units, bus, options);
  EXPECT_EQ(result.tally.pass, 180);
  EXPECT_EQ(result.tally.error, 20);
  ASSERT_EQ(seen.units.size(), 200u);
  for (std::size_t i = 0; i < seen.units.size(); ++i) {
    const AfterEachUnit::Seen &u = seen.units[i];
    const bool silent = (i + 1) % 10 == 0;
    EXPECT_EQ(u.verdict, silent ? Verdict::kError : Verdict::kPass) << "unit " << i + 1 << ": " << u.firstError;
    if (silent) {
      EXPECT_EQ(u.firstError.rfind("DWD_check_comm_link Failed!", 0), 0u) << u.firstError;
    }
    ASSERT_EQ(u.cleanup.size(), 3u);
    for (Verdict v : u.cleanup) EXPECT_NE(v, Verdict::kNotRun) << "unit " << i + 1;
    EXPECT_FALSE(u.portHeld) << "unit " << i + 1;
  }
  EXPECT_LE(visa::sessions().openCount(), visaBefore) << "VISA sessions left open";
}

// A unit that stops with an ERROR in the middle of the plan: the cleanup
// frees the phone's port for the next one. Without a cleanup section the
// link stays open and every later unit's link set-up finds the port in use.
TEST(HostSession, TheCleanupKeepsASessionGoingAfterAnError) {
  const std::string examples = VORN_EXAMPLES_DIR;
  const std::string typical = vorn_test::ReadText(examples + "/typical.plan");
  const std::string dir = vorn_test::TempDir();
  std::string withoutCleanup = typical;
  withoutCleanup.erase(withoutCleanup.find("cleanup:"), std::strlen("cleanup:"));
  std::ofstream(dir + "/plain.plan") << withoutCleanup;
  const struct {
    std::string plan;
    std::vector<std::string> verdicts;
    const char *third;  // how unit 3 begins to fail, if it does
  } cases[] = {
      {examples + "/typical.plan", {"PASS", "ERROR", "PASS", "PASS"}, ""},
      {dir + "/plain.plan", {"PASS", "ERROR", "ERROR", "ERROR"}, "DWD_set_com_port Failed! DWD Error:COM3 is in use"},
  };
  for (const auto &c : cases) {
    // The third handover of the session is unit 2's first.
    const vorn_test::HostRun r =
        vorn_test::RunHost("--fast --quiet --no-db --units 4 --fault RSCMU_GSM_Sig_HandOver=-1@3 --params " + examples +
                           "/station.ini --json " + dir + "/r.jsonl " + c.plan);
    EXPECT_EQ(r.status, 1) << r.err;
    std::vector<std::string> verdicts;
    std::istringstream lines(vorn_test::ReadText(dir + "/r.jsonl"));
    for (std::string line; std::getline(lines, line);) {
      const json j = json::parse(line);
      verdicts.push_back(j["verdict"]);
      if (j["unit"]["index"] != 3 || *c.third == '\0') continue;
      std::string first;
      for (const json &step : j["steps"]) {
        if (step["verdict"] == "ERROR" && first.empty()) first = step["text"];
      }
      EXPECT_EQ(first.rfind(c.third, 0), 0u) << first;
    }
    EXPECT_EQ(verdicts, c.verdicts) << c.plan;
    std::remove((dir + "/r.jsonl").c_str());
  }
  vorn_test::RemoveTempDir(dir);
}

// What the operator is told after each kind of verdict: the retests left,
// and whose step the first ERROR was.
TEST(HostSession, TheNextActionFollowsTheVerdict) {
  using vorn_host::NextStep;
  const auto step = [](const char *name, Verdict v) {
    vorn_host::StepRecord s;
    s.step.exportName = std::string("Vorn_CMU200_") + name;
    s.verdict = v;
    return s;
  };
  const Verdict P = Verdict::kPass, F = Verdict::kFail, E = Verdict::kError, N = Verdict::kNotRun;
  const struct {
    Verdict verdict;
    std::vector<vorn_host::StepRecord> steps;
    int attempt;
    int retest;
    NextStep next;
  } cases[] = {
      {P, {step("DcInit", P)}, 1, 1, NextStep::kNone},
      {F, {step("OBTPowervsTime", F)}, 1, 1, NextStep::kRetest},
      {F, {step("OBTPowervsTime", F)}, 2, 1, NextStep::kRepair},
      {F, {step("OBTPowervsTime", F)}, 1, 0, NextStep::kRepair},
      {E, {step("DcInit", P), step("MobInit", E), step("OBTInit", E)}, 1, 1, NextStep::kPhoneLink},
      {E, {step("MakeCall", E)}, 3, 1, NextStep::kPhoneLink},
      {E, {step("MobClose", E)}, 1, 0, NextStep::kPhoneLink},
      {E, {step("OBTInit", E), step("MobReset", E)}, 1, 1, NextStep::kEquipment},
      {E, {step("DcInit", E)}, 1, 1, NextStep::kEquipment},
      {N, {step("DcInit", P), step("MobInit", N)}, 1, 1, NextStep::kStopped},
  };
  vorn_host::NextActions words;
  for (const auto &c : cases) {
    vorn_host::UnitRecord u;
    u.attempt = c.attempt;
    u.run.verdict = c.verdict;
    u.run.steps = c.steps;
    EXPECT_EQ(vorn_host::NextStepOf(u, c.retest), c.next)
        << VerdictText(c.verdict) << " " << c.steps.back().step.exportName;
  }
  EXPECT_EQ(vorn_host::NextStepText(words, NextStep::kStopped), "Not finished: test again");
  EXPECT_EQ(vorn_host::NextStepText(words, NextStep::kNone), "");
}

// A session's tally of units rescanned from an earlier session of the day:
// no unit of this session, and no verdict taken from a count it never had.
TEST(HostSession, UnitsFromAnEarlierSessionAreNoUnitsOfThisOne) {
  const Verdict P = Verdict::kPass, F = Verdict::kFail, N = Verdict::kNotRun;
  using vorn_host::Prior;
  const struct {
    const char *unit;
    Prior prior;
    Verdict verdict;
  } attempts[] = {
      {"here", Prior::kNone, F},       {"here", Prior::kFail, P},  // this session's, retested
      {"before", Prior::kFail, P},                                 // failed earlier today
      {"stopped", Prior::kStopped, P},                             // stopped before its verdict earlier
      {"new", Prior::kNone, N},                                    // stopped here
  };
  vorn_host::SessionTally counted;
  for (const auto &a : attempts) {
    vorn_host::UnitRecord u;
    u.unitId = a.unit;
    u.prior = a.prior;
    u.run.verdict = a.verdict;
    counted.add(u);
  }
  const vorn_host::Tally &t = counted.tally;
  EXPECT_EQ(t.attempts, 5);
  EXPECT_EQ(t.units, 2);
  EXPECT_EQ(t.firstPass, 1);
  EXPECT_EQ(t.pass, 2);
  EXPECT_EQ(t.fail, 0);
  EXPECT_EQ(t.retests, 2);
  EXPECT_EQ(t.stopped, 1);
}

// Runs vorn-host in dir with answers on its standard input (a scanner types
// a line and Enter), the results in dir's results.sqlite.
vorn_test::HostRun Scanned(const std::string &dir, const std::string &args, const std::string &answers) {
  std::ofstream(dir + "/answers") << answers;
  const std::string command = "cd " + dir + " && " + VORN_HOST_FILE + " " + args + " <answers >out 2>err";
  const int raw = std::system(command.c_str());
  vorn_test::HostRun r;
  if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
  r.out = vorn_test::ReadText(dir + "/out");
  r.err = vorn_test::ReadText(dir + "/err");
  return r;
}

// Each line of a JSON Lines file as "serial attempt prior verdict", and the unit ids by serial.
std::vector<std::string> RecordedAttempts(const std::string &path,
                                          std::map<std::string, std::set<std::string>> &units) {
  std::vector<std::string> seen;
  std::istringstream lines(vorn_test::ReadText(path));
  for (std::string line; std::getline(lines, line);) {
    const json j = json::parse(line);
    const json &u = j["unit"];
    seen.push_back(u["serial"].get<std::string>() + " " + std::to_string(u["attempt"].get<int>()) + " " +
                   u["prior"].get<std::string>() + " " + j["verdict"].get<std::string>());
    units[u["serial"]].insert(u["id"].get<std::string>());
  }
  return seen;
}

// The terminal's prompt under the station's rules, over two sessions of one
// day on one results file: a serial off the pattern is refused with the
// pattern shown; a failed serial scanned again is its unit's next attempt,
// and past its retests the repair tray's, in this session and the next; a
// serial that passed today is tested again only on a yes.
TEST(HostSession, ScannedSerialsFollowTheStationsRulesAcrossSessions) {
  const std::string examples = VORN_EXAMPLES_DIR;
  const std::string dir = vorn_test::TempDir();
  std::ofstream(dir + "/settings.ini") << "[Scanning]\nSerialPattern=MARG-[0-9]{2}\n";
  const std::string common = "--fast --quiet --serial-prompt --retest 1 --scenario marginal-phones --settings " + dir +
                             "/settings.ini --params " + examples + "/station.ini ";
  const std::string plan = " " + examples + "/typical.plan";
  const vorn_test::HostRun first = Scanned(dir, common + "--json " + dir + "/1.jsonl" + plan,
                                           "XYZ-1\nMARG-09\nMARG-09\nMARG-09\nMARG-01\nMARG-01\n\n\n");
  EXPECT_EQ(first.status, 1) << first.err;
  EXPECT_NE(first.err.find("XYZ-1 not taken: the station's serials match MARG-[0-9]{2}"), std::string::npos)
      << first.err;
  EXPECT_NE(first.err.find("  Next: Retest once\n"), std::string::npos) << first.err;
  EXPECT_NE(first.err.find("  Next: Repair tray\n"), std::string::npos) << first.err;
  EXPECT_NE(first.err.find("MARG-09 not taken: it failed attempt 2 of 2 allowed; Repair tray"), std::string::npos)
      << first.err;
  EXPECT_NE(first.err.find("MARG-01 passed today at "), std::string::npos) << first.err;
  std::map<std::string, std::set<std::string>> units;
  EXPECT_EQ(RecordedAttempts(dir + "/1.jsonl", units),
            (std::vector<std::string>{"MARG-09 1 none FAIL", "MARG-09 2 FAIL FAIL", "MARG-01 1 none PASS"}));
  EXPECT_NE(first.out.find("Session: 2 units: 1 PASS, 1 FAIL, 0 ERROR, 1 retest;"), std::string::npos) << first.out;

  const vorn_test::HostRun second =
      Scanned(dir, common + "--json " + dir + "/2.jsonl" + plan, "MARG-09\nMARG-01\ny\n\n");
  EXPECT_NE(second.err.find("MARG-09 not taken: it failed attempt 2 of 2 allowed"), std::string::npos) << second.err;
  EXPECT_EQ(RecordedAttempts(dir + "/2.jsonl", units), (std::vector<std::string>{"MARG-01 2 PASS PASS"}));
  for (const auto &[serial, ids] : units) EXPECT_EQ(ids.size(), 1u) << serial << ": one unit, whatever the session";
  vorn_test::RemoveTempDir(dir);
}

// A unit stopped before its verdict is not finished: its next scan, in the
// next session, is the same attempt of the same unit, after a stop.
TEST(HostSession, AStoppedUnitIsTestedAgainAsItsSameAttempt) {
  const std::string examples = VORN_EXAMPLES_DIR;
  const std::string dir = vorn_test::TempDir();
  const std::string common = "--serial-prompt --db " + dir + "/results.sqlite --params " + examples + "/station.ini ";
  const vorn_test::HostRun stopped = StoppedHost(common + "--json " + dir + "/1.jsonl " + examples + "/typical.plan",
                                                 "STOP-1\n", 300000, SIGINT, "[ 1/21] DcInit");
  EXPECT_NE(stopped.err.find("unit 1 STOP-1: NOT RUN"), std::string::npos) << stopped.err;
  EXPECT_NE(stopped.err.find("  Next: Not finished: test again\n"), std::string::npos) << stopped.err;
  const vorn_test::HostRun again = Scanned(
      dir, "--fast --quiet " + common + "--json " + dir + "/2.jsonl " + examples + "/typical.plan", "STOP-1\n\n");
  EXPECT_EQ(again.status, 0) << again.err;
  std::map<std::string, std::set<std::string>> units;
  EXPECT_EQ(RecordedAttempts(dir + "/1.jsonl", units), (std::vector<std::string>{"STOP-1 1 none NOT RUN"}));
  EXPECT_EQ(RecordedAttempts(dir + "/2.jsonl", units), (std::vector<std::string>{"STOP-1 1 stopped PASS"}));
  EXPECT_EQ(units["STOP-1"].size(), 1u);
  // Counted once, as a unit that passed at its first attempt with a verdict.
  EXPECT_NE(again.out.find("Session: 1 unit: 1 PASS, 0 FAIL, 0 ERROR; first-pass yield 100.0 %"), std::string::npos)
      << again.out;
  vorn_test::RemoveTempDir(dir);
}

}  // namespace
