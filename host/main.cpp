// vorn-host: plays the station's host test sequencer. Loads the library by its
// file, resolves each step of a plan by its plain export name, provides the
// data container, runs the steps on the simulated station and reports.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>

#include "Vorn_CMU200.h"
#include "alldata/container.h"
#include "os.h"
#include "options.h"
#include "plan.h"
#include "report.h"
#include "results/sha256.h"
#include "results/sink.h"
#include "run.h"
#include "station/station.h"

namespace {

using namespace vorn_host;

constexpr int kCannotStart = 2;
// The container hands the path out in a buffer of 512 characters.
constexpr std::size_t kLongestPath = 511;

using VersionFunction = int32_t(VORN_CMU200_CALL *)(char *buffer);

int CannotStart(const std::string &why) {
  std::fprintf(stderr, "vorn-host: %s\n", why.c_str());
  return kCannotStart;
}

// The station's faults: the scenarios' changes to the equipment and fault
// texts, then the --fault texts; faults gets every text in the script.
bool SetUpStation(const Options &o, std::vector<std::string> &faults, std::string &error) {
  station::Station &st = station::station();
  st.clock.setVirtual(o.fast);
  for (const std::string &name : o.scenarios) {
    const Scenario &scenario = *FindScenario(name);
    if (scenario.setUp != nullptr) scenario.setUp(st);
    for (const std::string &text : scenario.faults) faults.push_back(text);
  }
  for (const std::string &text : o.faults) faults.push_back(text);
  for (const std::string &text : faults) {
    if (!st.faults.addText(text)) {
      error = "malformed fault \"" + text + "\" (OP=STATUS, OP=STATUS@N or OP=STATUS@N+)";
      return false;
    }
  }
  return true;
}

template <typename F>
F Resolve(const DynamicLibrary &library, const std::string &name) {
  // dlsym and GetProcAddress hand back an untyped address; the export's type
  // is the one the library's header declares.
  return reinterpret_cast<F>(library.symbol(name.c_str()));
}

// Results database hook for a single run: recorded as a session of one unit,
// and only when --db names a database. (A production session hands its
// records to the sink from its own loop.)
void RecordSingleRun(vorn_results::DatabaseSink &sink, const Options &o, const RunSetting &setting,
                     const RunRecord &run) {
  SessionInfo session;
  session.id = vorn_results::RandomUuid();
  session.station = setting.station;
  session.host = MachineName();
  session.library = setting.library;
  session.version = setting.version;
  session.plan = setting.plan;
  session.planSha256 = vorn_results::Sha256File(setting.plan);
  session.parameters = setting.parameters;
  session.parametersSha256 = vorn_results::Sha256File(setting.parameters);
  session.operatorName = o.operatorName;
  session.simulated = setting.simulated;
  session.started = run.started;
  UnitRecord unit;
  unit.uuid = vorn_results::RandomUuid();
  unit.unit = 1;
  unit.run = run;
  std::string error;
  if (!sink.sessionStarted(session, error)) std::fprintf(stderr, "vorn-host: %s\n", error.c_str());
  if (!sink.attemptFinished(session, unit, error)) std::fprintf(stderr, "vorn-host: %s\n", error.c_str());
  session.ended = UtcNow();
  if (!sink.sessionEnded(session, error)) std::fprintf(stderr, "vorn-host: %s\n", error.c_str());
}

}  // namespace

int main(int argc, char **argv) {
  Options o;
  std::string error;
  if (!ParseOptions(argc, argv, o, error)) {
    std::fprintf(stderr, "vorn-host: %s\n\n%s", error.c_str(), Usage().c_str());
    return kCannotStart;
  }
  if (o.help) {
    std::fputs(Usage().c_str(), stdout);
    return 0;
  }
  if (o.listScenarios) {
    for (const Scenario &s : Scenarios()) std::printf("%-18s %s\n", s.name, s.what);
    return 0;
  }

  // Everything that can stop the run is found before the first step.
  std::vector<std::string> problems;
  const Plan plan = ReadPlan(o.plan, problems);
  for (const std::string &p : problems) std::fprintf(stderr, "vorn-host: %s\n", p.c_str());
  if (!problems.empty()) return kCannotStart;

  if (!std::ifstream(o.parameters)) return CannotStart(o.parameters + ": cannot read the parameter file");
  if (o.parameters.size() > kLongestPath) {
    return CannotStart(o.parameters + ": the parameter file's path is longer than " +
                       std::to_string(kLongestPath) + " characters");
  }

  std::vector<std::string> faults;
  if (!SetUpStation(o, faults, error)) return CannotStart(error);

  const std::string libraryFile =
      o.library.empty() ? DynamicLibrary::besideExecutable(DynamicLibrary::defaultFileName()) : o.library;
  DynamicLibrary library;
  if (!library.open(libraryFile, error)) return CannotStart("cannot load the library " + libraryFile + ": " + error);
  const auto version = Resolve<VersionFunction>(library, "Vorn_CMU200_GetVersion");
  if (version == nullptr) return CannotStart(libraryFile + " does not export Vorn_CMU200_GetVersion");
  std::vector<StepFunction> functions;
  for (const PlanStep &step : plan.steps) {
    functions.push_back(Resolve<StepFunction>(library, step.exportName));
    if (functions.back() == nullptr) {
      problems.push_back(o.plan + ":" + std::to_string(step.line) + ": " + libraryFile +
                         " does not export " + step.exportName);
    }
  }
  for (const std::string &p : problems) std::fprintf(stderr, "vorn-host: %s\n", p.c_str());
  if (!problems.empty()) return kCannotStart;

  // Results database hook: the sink, or null when the run records no database.
  std::unique_ptr<vorn_results::DatabaseSink> results = vorn_results::MakeDatabaseSink(o, false, error);
  if (!results && !error.empty()) return CannotStart(error);

  // Opened last, so that a run that cannot start leaves an earlier record be.
  std::unique_ptr<std::ofstream> json;
  if (!o.json.empty()) {
    json = std::make_unique<std::ofstream>(o.json, std::ios::binary | std::ios::trunc);
    if (!*json) return CannotStart(o.json + ": cannot write the JSON record");
  }

  char versionText[16] = {};
  version(versionText);
  versionText[sizeof versionText - 1] = '\0';

  RunSetting setting;
  setting.station = o.station.empty() ? MachineName() : o.station;
  setting.library = libraryFile;
  setting.version = versionText;
  setting.parameters = o.parameters;
  setting.plan = o.plan;
  setting.virtualClock = o.fast;
  setting.scenarios = o.scenarios;
  setting.faults = faults;

  alldata::SetParameterFile(o.parameters);
  ConsoleProgress progress(stderr);
  RunOptions runOptions;
  runOptions.keepGoing = o.keepGoing;
  const RunRecord run = RunPlan(plan, functions, runOptions, o.quiet ? nullptr : &progress);

  if (!o.quiet) std::cout << "\n";  // apart from the progress above it on a terminal
  WriteTable(std::cout, setting, run);
  std::cout.flush();
  if (results) RecordSingleRun(*results, o, setting, run);  // results database hook
  if (json) {
    WriteJson(*json, setting, run);
    json->close();
    if (!*json) return CannotStart(o.json + ": writing the JSON record failed");
  }
  return run.exitStatus();
}
