// The host runner's verdicts, buffers, progress, table and JSON record, with
// steps of the test's own in place of the library's.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>

#include "core/record_json.h"
#include "core/run.h"
#include "os/text.h"
#include "outputs/console/table.h"
#include "outputs/registry.h"
#include "station/simulation.h"
#include "support/station_test.h"

namespace {

using vorn_host::RunPlan;
using vorn_host::RunRecord;
using vorn_host::StepFunction;
using vorn_host::Verdict;

int32_t lastNumber = 0;

// Writes entry 1 = 32.5 named after the step number, and entry 2 = -1.
int32_t Measures(int32_t step, double *values, Vorn_CMU200_ResultName *names, char *) {
  lastNumber = step;
  values[1] = 32.5;
  std::snprintf(names[1], sizeof names[1], "Band=EGSM;Chan=%d;TXLevel=5", static_cast<int>(step));
  values[2] = -1.0;
  return 0;
}
int32_t Fails(int32_t, double *values, Vorn_CMU200_ResultName *, char *errorText) {
  values[1] = 7.0;  // a result written on failure is not reported
  std::strcpy(errorText, "RSCMU_Init_Base Failed! CMU200 Error:");
  return -1;
}
int32_t FailsSilently(int32_t, double *, Vorn_CMU200_ResultName *, char *) { return -1; }
int32_t Waits(int32_t, double *values, Vorn_CMU200_ResultName *, char *) {
  station::station().clock.wait(100);
  station::station().clock.wait(1500);
  station::station().clock.wait(3000);
  values[1] = 1.0;
  return 0;
}
// Fills every buffer to the last character the host promises.
int32_t FillsEverything(int32_t, double *values, Vorn_CMU200_ResultName *names, char *errorText) {
  for (int i = 1; i < VORN_CMU200_RESULT_COUNT; ++i) {
    values[i] = i;
    std::memset(names[i], 'n', VORN_CMU200_RESULT_NAME_SIZE - 1);
    names[i][VORN_CMU200_RESULT_NAME_SIZE - 1] = '\0';
  }
  std::memset(errorText, 'e', VORN_CMU200_ERROR_TEXT_SIZE - 1);
  errorText[VORN_CMU200_ERROR_TEXT_SIZE - 1] = '\0';
  return 0;
}
int32_t WritesEntryZero(int32_t, double *values, Vorn_CMU200_ResultName *, char *) {
  values[0] = 1.0;
  return 0;
}
int32_t WritesPastTheEntries(int32_t, double *values, Vorn_CMU200_ResultName *, char *) {
  values[VORN_CMU200_RESULT_COUNT] = 1.0;
  return 0;
}
int32_t LeavesANameOpen(int32_t, double *, Vorn_CMU200_ResultName *names, char *) {
  std::memset(names[3], 'x', VORN_CMU200_RESULT_NAME_SIZE);
  return 0;
}
int32_t OverrunsTheErrorText(int32_t, double *, Vorn_CMU200_ResultName *, char *errorText) {
  std::memset(errorText, 'e', VORN_CMU200_ERROR_TEXT_SIZE + 1);
  errorText[VORN_CMU200_ERROR_TEXT_SIZE + 1] = '\0';
  return -1;
}
int32_t ReturnsFive(int32_t, double *, Vorn_CMU200_ResultName *, char *) { return 5; }
// Passes when it finds the host's buffers fresh, not what the last step left.
int32_t ChecksFreshBuffers(int32_t, double *values, Vorn_CMU200_ResultName *names, char *errorText) {
  const bool fresh = values[1] != 32.5 && std::strncmp(names[1], "Band=", 5) != 0 && errorText[0] == '\0';
  values[1] = fresh ? 1.0 : 0.0;
  return 0;
}

class HostRunTest : public vorn_test::StationTest {
 protected:
  // Plans from text, each line's export given the function in the same place.
  RunRecord run(const std::string &text, std::vector<StepFunction> functions, bool keepGoing = false,
                vorn_host::Subscriber *events = nullptr) {
    std::vector<std::string> errors;
    plan = vorn_host::ParsePlan(text, "t.plan", errors);
    EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0]);
    vorn_host::RunOptions options;
    options.keepGoing = keepGoing;
    options.equipment = &simulation;
    return RunPlan(plan, functions, options, events);
  }
  // The console output as vorn-host opens it, its messages to out.
  std::unique_ptr<vorn_host::Output> Console(std::FILE *out) {
    const char *argv[] = {"vorn-host", "--params", "s.ini", "t.plan"};
    line = vorn_host::HostCommandLine();
    vorn_host::Options o;
    std::string error;
    EXPECT_TRUE(vorn_host::ReadHostCommandLine(4, argv, line, o, error)) << error;
    vorn_host::OutputSetup setup{line, session, plan, files, false, out};
    for (const vorn_host::OutputModule &m : vorn_host::OutputModules()) {
      if (std::string(m.name) == "console") return m.open(setup, error);
    }
    return nullptr;
  }
  vorn_host::CommandLine line;
  vorn_host::SessionRecord session;
  std::vector<vorn_host::InputFile> files;
  vorn_host::Plan plan;
  vorn_host::SimulatedStation simulation;
};

TEST_F(HostRunTest, LimitsGiveTheVerdict) {
  const struct {
    const char *limits;
    Verdict verdict;
    const char *miss;
  } cases[] = {
      {"", Verdict::kPass, nullptr},
      {"1=28..36 2=-1", Verdict::kPass, nullptr},
      {"1=32.5", Verdict::kPass, nullptr},
      {"1=..32.4", Verdict::kFail, "entry 1 = 32.5, outside ..32.4"},
      {"2=0..", Verdict::kFail, "entry 2 = -1, outside 0.."},
      {"3=1", Verdict::kFail, "entry 3 not written (limit 1)"},
  };
  for (const auto &c : cases) {
    const RunRecord r = run(std::string("OBTPowervsTime 11 ") + c.limits, {Measures});
    ASSERT_EQ(r.steps.size(), 1u);
    EXPECT_EQ(r.steps[0].verdict, c.verdict) << c.limits;
    EXPECT_EQ(r.verdict, c.verdict) << c.limits;
    EXPECT_EQ(r.exitStatus(), c.verdict == Verdict::kPass ? 0 : 1) << c.limits;
    if (c.miss != nullptr) {
      ASSERT_EQ(r.steps[0].misses.size(), 1u) << c.limits;
      EXPECT_EQ(r.steps[0].misses[0], c.miss);
    } else {
      EXPECT_TRUE(r.steps[0].misses.empty()) << c.limits;
    }
  }
  EXPECT_EQ(lastNumber, 11);
}

TEST_F(HostRunTest, EntriesWrittenWithNamesAndLimits) {
  const RunRecord r = run("OBTPowervsTime 62 2=-5..5 4=1", {Measures});
  const auto &entries = r.steps[0].entries;
  ASSERT_EQ(entries.size(), 3u);  // 1 and 2 written, 4 limited but not written
  EXPECT_EQ(entries[0].entry, 1);
  EXPECT_EQ(entries[0].value, 32.5);
  EXPECT_EQ(entries[0].name, "Band=EGSM;Chan=62;TXLevel=5");
  EXPECT_FALSE(entries[0].limit);
  EXPECT_EQ(entries[1].entry, 2);
  EXPECT_FALSE(entries[1].name);
  EXPECT_TRUE(entries[1].passed);
  EXPECT_EQ(entries[2].entry, 4);
  EXPECT_FALSE(entries[2].value);
  EXPECT_FALSE(entries[2].passed);
}

TEST_F(HostRunTest, StopsAtTheFirstErrorUnlessKeepGoing) {
  const std::string text = "DcInit 1 1=99\nOBTInit 2\nOBTPowervsTime 3\n";
  const RunRecord stopped = run(text, {Measures, Fails, Measures});
  ASSERT_EQ(stopped.steps.size(), 3u);
  EXPECT_EQ(stopped.steps[0].verdict, Verdict::kFail);
  EXPECT_EQ(stopped.steps[1].verdict, Verdict::kError);
  EXPECT_EQ(stopped.steps[1].returned, -1);
  EXPECT_EQ(stopped.steps[1].text, "RSCMU_Init_Base Failed! CMU200 Error:");
  EXPECT_TRUE(stopped.steps[1].entries.empty());
  EXPECT_EQ(stopped.steps[2].verdict, Verdict::kNotRun);
  EXPECT_EQ(stopped.verdict, Verdict::kError);  // an ERROR outweighs a FAIL
  EXPECT_EQ(stopped.exitStatus(), 1);

  lastNumber = 0;
  const RunRecord onward = run(text, {Measures, Fails, Measures}, true);
  EXPECT_EQ(onward.steps[2].verdict, Verdict::kPass);
  EXPECT_EQ(lastNumber, 3);
  EXPECT_EQ(onward.verdict, Verdict::kError);
  EXPECT_EQ(onward.count(Verdict::kNotRun), 0);
}

TEST_F(HostRunTest, EachStepGetsFreshBuffers) {
  const RunRecord r = run("OBTPowervsTime 1\nOBTInit 2\nDcInit 3 1=1\n", {Measures, Fails, ChecksFreshBuffers}, true);
  EXPECT_EQ(r.steps[2].verdict, Verdict::kPass);
}

TEST_F(HostRunTest, BuffersHoldWhatTheHostPromises) {
  const RunRecord r = run("OBTOutputRFSpectrum 1 30=30\n", {FillsEverything});
  EXPECT_EQ(r.steps[0].verdict, Verdict::kPass) << r.steps[0].text;
  EXPECT_EQ(r.steps[0].entries.size(), 30u);
  EXPECT_EQ(r.steps[0].entries[29].name->size(), 199u);
}

TEST_F(HostRunTest, ContractBreachesAreErrors) {
  const struct {
    StepFunction function;
    const char *text;
  } cases[] = {
      {WritesEntryZero, "host: the step wrote entry 0, which is the host's"},
      {WritesPastTheEntries, "host: the step wrote past the 31 result entries"},
      {LeavesANameOpen, "host: result name 3 is not terminated within 200 characters"},
      {OverrunsTheErrorText, "host: the error text is not terminated within 512 characters"},
      {ReturnsFive, "host: the step returned 5, which is neither 0 nor -1"},
      {FailsSilently, "(the step gave no error text)"},
  };
  for (const auto &c : cases) {
    const RunRecord r = run("DcInit 1\n", {c.function});
    EXPECT_EQ(r.steps[0].verdict, Verdict::kError) << c.text;
    EXPECT_EQ(r.steps[0].text, c.text);
  }
}

TEST_F(HostRunTest, ProgressShowsTheStepAndItsLongWaits) {
  char *text = nullptr;
  std::size_t size = 0;
  std::FILE *out = open_memstream(&text, &size);
  const std::unique_ptr<vorn_host::Output> console = Console(out);
  const RunRecord r = run("DcInit 1\nOBTInit 2\n", {Waits, Measures}, false, &console->subscriber());
  std::fclose(out);
  const std::string shown(text, size);
  std::free(text);
  // The 100 ms pause is too short to show.
  EXPECT_EQ(shown,
            "[1/2] DcInit, step 1: waiting on the equipment 1.5 s, 3.0 s ... PASS (0.00 s)\n"
            "[2/2] OBTInit, step 2 ... PASS (0.00 s)\n");
  EXPECT_EQ(r.steps[0].waitedMs, 4600u);
  EXPECT_EQ(r.waitedMs, 4600u);
  EXPECT_LT(r.seconds, 1.0);  // the virtual clock
}

std::shared_ptr<vorn_host::SessionRecord> Setting() {
  auto s = std::make_shared<vorn_host::SessionRecord>();
  s->station = "line 3";
  s->library = "/x/libVorn_CMU200.so";
  s->version = "1.04";
  s->parameters = "station.ini";
  s->plan = "t.plan";
  s->virtualClock = true;
  s->scenarios = {"phone-off"};
  s->faults = {"RSCMU_Init_Base=-1@1"};
  s->faultInjected = true;
  s->single = true;
  return s;
}

// The run's record in its JSON form, as the single run's --json file holds it.
nlohmann::json RecordOf(const RunRecord &run) {
  vorn_host::UnitRecord unit;
  unit.session = Setting();
  unit.uuid = "u-1";
  unit.unitId = "u-1";
  unit.index = 1;
  unit.run = run;
  return nlohmann::json::parse(vorn_host::JsonText(vorn_host::RecordJson(unit), true));
}

TEST_F(HostRunTest, TableShowsStepsValuesLimitsAndTheRunsVerdict) {
  const RunRecord r = run("OBTPowervsTime 11 1=28..36 2=0..\nOBTInit 2\nDcInit 3\n", {Measures, Fails, Measures});
  std::ostringstream out;
  vorn_host::WriteTable(out, *Setting(), r);
  const std::string table = out.str();
  for (const char *expected : {
           "Vorn_CMU200 1.04 on the simulated station line 3, virtual clock",
           "  1    11  OBTPowervsTime           FAIL       0.00 s",
           "            [ 1]         32.5  28..36 ok         Band=EGSM;Chan=11;TXLevel=5     burst power (dBm)\n",
           "            [ 2]           -1  0.. FAIL                                          useful part power (dBm)\n",
           "            FAIL: entry 2 = -1, outside 0..",
           "  2     2  OBTInit                  ERROR      0.00 s\n"
           "            RSCMU_Init_Base Failed! CMU200 Error:\n",
           "  3     3  DcInit                   NOT RUN\n",
           "scenarios phone-off\nfaults RSCMU_Init_Base=-1@1\n",
           "Run: ERROR (1 FAIL, 1 ERROR, 1 not run)",
           "exit status 1",
       }) {
    EXPECT_NE(table.find(expected), std::string::npos) << "missing: " << expected << "\n" << table;
  }
}

TEST_F(HostRunTest, JsonRecordHoldsTheWholeRun) {
  const RunRecord r = run("OBTPowervsTime 11 1=28..36 2=0..\nOBTInit 2\nDcInit 3\n", {Measures, Fails, Measures});
  const nlohmann::json j = RecordOf(r);
  EXPECT_EQ(j["format"], "vorn-unit-record/1");
  EXPECT_EQ(j["session"]["station"], "line 3");
  EXPECT_EQ(j["session"]["clock"], "virtual");
  EXPECT_EQ(j["session"]["version"], "1.04");
  EXPECT_EQ(j["session"]["scenarios"], nlohmann::json::array({"phone-off"}));
  EXPECT_EQ(j["session"]["faults"], nlohmann::json::array({"RSCMU_Init_Base=-1@1"}));
  EXPECT_EQ(j["session"]["faultInjected"], true);
  EXPECT_EQ(j["session"]["plan"], "t.plan");
  EXPECT_EQ(j["unit"]["index"], 1);
  EXPECT_EQ(j["unit"]["firstAttempt"], true);
  EXPECT_EQ(j["started"], r.started);
  EXPECT_EQ(j["verdict"], "ERROR");
  EXPECT_EQ(j["stopped"], false);
  ASSERT_EQ(j["steps"].size(), 3u);

  const auto &s1 = j["steps"][0];
  EXPECT_EQ(s1["export"], "Vorn_CMU200_OBTPowervsTime");
  EXPECT_EQ(s1["step"], 11);
  EXPECT_EQ(s1["line"], 1);
  EXPECT_EQ(s1["verdict"], "FAIL");
  EXPECT_EQ(s1["returned"], 0);
  EXPECT_EQ(s1["limits"], nlohmann::json::parse(R"([{"entry":1,"low":28,"high":36},{"entry":2,"low":0,"high":null}])"));
  EXPECT_EQ(s1["misses"], nlohmann::json::array({"entry 2 = -1, outside 0.."}));
  ASSERT_EQ(s1["results"].size(), 2u);
  EXPECT_EQ(s1["results"][0]["value"], 32.5);
  EXPECT_EQ(s1["results"][0]["name"], "Band=EGSM;Chan=11;TXLevel=5");
  EXPECT_EQ(s1["results"][0]["passed"], true);
  EXPECT_TRUE(s1["results"][1]["name"].is_null());
  EXPECT_EQ(s1["results"][1]["passed"], false);
  EXPECT_TRUE(s1["durationMs"].is_number());

  const auto &s2 = j["steps"][1];
  EXPECT_EQ(s2["verdict"], "ERROR");
  EXPECT_EQ(s2["returned"], -1);
  EXPECT_EQ(s2["text"], "RSCMU_Init_Base Failed! CMU200 Error:");
  EXPECT_TRUE(s2["results"].empty());
  EXPECT_EQ(j["steps"][2]["verdict"], "NOT RUN");
  EXPECT_FALSE(j["steps"][2].contains("returned"));
}

// Texts escaped as JSON wants them, the one rule for bytes that are not
// UTF-8 (each the Latin-1 character of its value), and every bit of a number.
TEST(HostJson, TextsAndNumbersStayValid) {
  EXPECT_EQ(vorn_host::JsonText(nlohmann::json(vorn_host::JsonSafe("a\"b\\c\nd\x01\xe9"))),
            "\"a\\\"b\\\\c\\nd\\u0001\xc3\xa9\"");
  for (double value : {1.2999999523162842, -85.0, 0.1 + 0.2}) {
    const std::string text = vorn_host::JsonText(nlohmann::json(value));
    EXPECT_EQ(nlohmann::json::parse(text).get<double>(), value) << text;
  }
}

int32_t WritesInfinity(int32_t, double *values, Vorn_CMU200_ResultName *, char *) {
  values[1] = std::numeric_limits<double>::infinity();
  values[2] = -std::numeric_limits<double>::infinity();
  values[3] = std::numeric_limits<double>::quiet_NaN();
  values[4] = 2.0;
  return 0;
}

TEST_F(HostRunTest, ValuesThatAreNotFiniteNeverPass) {
  const struct {
    const char *limit;
    int entry;
  } cases[] = {{"1=0..", 1}, {"1=..1e308", 1}, {"2=..0", 2}, {"2=-1e308..", 2}, {"3=..5", 3}, {"3=0..", 3}};
  for (const auto &c : cases) {
    const RunRecord r = run(std::string("OBTPowervsTime 1 4=2 ") + c.limit, {WritesInfinity});
    EXPECT_EQ(r.steps[0].verdict, Verdict::kFail) << c.limit;
    ASSERT_EQ(r.steps[0].misses.size(), 1u) << c.limit;
    EXPECT_NE(r.steps[0].misses[0].find("not a finite number"), std::string::npos) << r.steps[0].misses[0];
  }
  // Told apart from "not written" (null) in the record.
  const RunRecord r = run("OBTPowervsTime 1 1=0.. 5=1\n", {WritesInfinity});
  const nlohmann::json results = RecordOf(r)["steps"][0]["results"];
  ASSERT_EQ(results.size(), 5u);
  EXPECT_EQ(results[0]["value"], "Infinity");
  EXPECT_EQ(results[1]["value"], "-Infinity");
  EXPECT_EQ(results[2]["value"], "NaN");
  EXPECT_EQ(results[3]["value"], 2.0);
  EXPECT_TRUE(results[4]["value"].is_null());
}

TEST(HostJson, Utf8RoundTripsAndOnlyStrayBytesAreEscaped) {
  const struct {
    std::string text;
    std::string reads;  // what a JSON reader gets back
  } cases[] = {
      {"L\xc3\xadnea-\xe2\x82\xac", "L\xc3\xadnea-\xe2\x82\xac"},  // "Línea-€" as it is
      {"\xf0\x9f\x93\xb1 ok", "\xf0\x9f\x93\xb1 ok"},              // four bytes
      {"caf\xe9", "caf\xc3\xa9"},                                  // a stray Latin-1 byte: U+00E9
      {"\xc0\xaf", "\xc3\x80\xc2\xaf"},                            // overlong: each byte alone
      {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"},                // a surrogate
      {"\xe2\x82", "\xc3\xa2\xc2\x82"},                            // cut at the end
      {"\xe2\x82(", "\xc3\xa2\xc2\x82("},                          // cut in the middle
  };
  for (const auto &c : cases) {
    const std::string json = vorn_host::JsonText(nlohmann::json(vorn_host::JsonSafe(c.text)));
    EXPECT_EQ(nlohmann::json::parse(json).get<std::string>(), c.reads) << json;
  }
  EXPECT_EQ(vorn_host::JsonText(nlohmann::json("L\xc3\xadnea")), "\"L\xc3\xadnea\"");  // no \u escape for UTF-8
}

TEST(HostText, TerminalTextEscapesControlsOnly) {
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"\x1b[31mred", "\\x1b[31mred"},
      {"a\tb\r\n\x7f", "a\\x09b\\x0d\\x0a\\x7f"},
      {"L\xc3\xadnea-\xe2\x82\xac", "L\xc3\xadnea-\xe2\x82\xac"},
      {"\xc2\x9b"
       "2J",
       "\\xc2\\x9b2J"},  // C1 CSI, UTF-8 encoded
      {"\x9b"
       "2J\xff",
       "\\x9b2J\\xff"},
  };
  for (const auto &c : cases) EXPECT_EQ(vorn_host::TerminalText(c.text), c.shown);
  EXPECT_EQ(vorn_host::Excerpt(std::string(200, 'x')), std::string(80, 'x') + "...");
  // Cut between characters, not inside one.
  EXPECT_EQ(vorn_host::Excerpt(std::string(79, 'x') + "\xe2\x82\xac\xe2\x82\xac"),
            std::string(79, 'x') + "\xe2\x82\xac...");
}

}  // namespace
