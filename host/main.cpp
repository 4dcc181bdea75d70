// vorn-host: plays the station's host test sequencer. Loads the library by its
// file, resolves each step of a plan by its plain export name, provides the
// data container, finds out whose equipment libraries came with the library,
// runs the steps on that station and reports: once, or unit after unit in a
// production session. The simulated station is loaded (vorn_simulation) only
// when the equipment libraries are the project's stand-ins.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "Vorn_CMU200.h"
#include "alldata/container.h"
#include "os.h"
#include "options.h"
#include "plan.h"
#include "real_station.h"
#include "report.h"
#include "run.h"
#include "session.h"
#include "simulation.h"

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

// A failed write of a record after the steps ran: the run happened, so this
// is not "could not start".
constexpr int kRecordFailed = 1;

template <typename F>
F Resolve(const DynamicLibrary &library, const std::string &name) {
  // dlsym and GetProcAddress hand back an untyped address; the export's type
  // is the one the library's header declares.
  return reinterpret_cast<F>(library.symbol(name.c_str()));
}

// The simulated station, from vorn_simulation beside vorn-host; null, with
// the reason in error, when it cannot be loaded.
std::unique_ptr<Simulation> LoadSimulation(DynamicLibrary &library, std::string &error) {
  const std::string file = DynamicLibrary::besideExecutable(DynamicLibrary::fileName("vorn_simulation").c_str());
  if (!library.open(file, error)) {
    error = "cannot load the simulated station " + file + ": " + error;
    return nullptr;
  }
  const auto create = Resolve<VornHostNewSimulation>(library, "VornHost_NewSimulation");
  if (create == nullptr) {
    error = file + " does not export VornHost_NewSimulation";
    return nullptr;
  }
  return std::unique_ptr<Simulation>(create(stdin, stderr));
}

// The options that change the simulated station, by name, when given.
std::string SimulationOptions(const Options &o) {
  std::string text;
  if (o.fast) text += "--fast";
  if (!o.faults.empty()) text += std::string(text.empty() ? "" : ", ") + "--fault";
  if (!o.scenarios.empty()) text += std::string(text.empty() ? "" : ", ") + "--scenario";
  return text;
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
  // Declared first, so that the simulation goes before its code is unloaded.
  DynamicLibrary simulationLibrary;
  std::unique_ptr<Simulation> simulation;
  if (o.listScenarios) {
    simulation = LoadSimulation(simulationLibrary, error);
    if (simulation == nullptr) return CannotStart(error);
    std::fputs(simulation->scenarioList().c_str(), stdout);
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

  std::unique_ptr<SerialList> serialList;
  if (!o.serials.empty()) {
    serialList = std::make_unique<SerialList>(o.serials, problems);
    for (const std::string &p : problems) std::fprintf(stderr, "vorn-host: %s\n", p.c_str());
    if (!problems.empty()) return kCannotStart;
  }

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

  // The station is the one whose equipment libraries the library brought.
  const EquipmentFound found = FindEquipment();
  if (!found.problem().empty()) return CannotStart(found.problem());
  std::vector<std::string> faults;
  RealStation realStation;
  Equipment *equipment = &realStation;
  if (found.simulated()) {
    simulation = LoadSimulation(simulationLibrary, error);
    if (simulation == nullptr) return CannotStart(error);
    if (!simulation->setUp(o.fast, o.scenarios, o.faults, faults, error)) return CannotStart(error);
    equipment = simulation.get();
  } else if (!SimulationOptions(o).empty()) {
    return CannotStart(SimulationOptions(o) + ": only on the simulated station; the equipment libraries " +
                       "loaded are not the project's stand-ins");
  }

  // Opened last, so that a run that cannot start leaves an earlier record be:
  // a single run's record replaces the file only when it is whole; a
  // session's lines are appended, one run at a time on a file.
  ReplacingFile record;
  AppendLog lines;
  if (!o.json.empty()) {
    const bool opened = o.session() ? lines.open(o.json, error) : record.prepare(o.json, error);
    if (!opened) return CannotStart(o.json + ": cannot write the JSON record: " + error);
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
  setting.simulated = found.simulated();
  setting.virtualClock = o.fast;
  setting.scenarios = o.scenarios;
  setting.faults = faults;

  alldata::SetParameterFile(o.parameters);
  CatchStopRequests();
  ConsoleProgress progress(stderr);
  RunOptions runOptions;
  runOptions.keepGoing = o.keepGoing;
  runOptions.equipment = equipment;
  runOptions.stopRequests = StopRequests;

  if (o.session()) {
    SessionInfo info;
    info.id = NewUuid();
    info.station = setting.station;
    info.host = MachineName();
    info.library = libraryFile;
    info.version = versionText;
    info.plan = o.plan;
    info.parameters = o.parameters;
    info.simulated = setting.simulated;
    info.started = UtcNow();
    GeneratedUnits generated(o.units);
    PromptedUnits prompted(*equipment, stderr);
    UnitSource &units = serialList ? static_cast<UnitSource &>(*serialList)
                        : o.serialPrompt ? static_cast<UnitSource &>(prompted)
                                         : static_cast<UnitSource &>(generated);
    JsonLinesSink json(lines, setting);
    SessionTable table(std::cout, setting);
    std::vector<RecordSink *> sinks;
    if (!o.json.empty()) sinks.push_back(&json);
    sinks.push_back(&table);
    SessionOptions sessionOptions;
    sessionOptions.run = runOptions;
    sessionOptions.retest = o.retest;
    const SessionResult result =
        RunSession(plan, functions, info, units, sinks, sessionOptions, o.quiet ? nullptr : &progress, stderr);
    return result.recordFailed ? kRecordFailed : result.tally.exitStatus();
  }

  const RunRecord run = RunPlan(plan, functions, runOptions, o.quiet ? nullptr : &progress);

  if (!o.quiet) std::cout << "\n";  // apart from the progress above it on a terminal
  WriteTable(std::cout, setting, run);
  std::cout.flush();
  if (!o.json.empty()) {
    std::ostringstream text;
    WriteJson(text, setting, run);
    if (!record.commit(text.str(), error)) {
      std::fprintf(stderr, "vorn-host: %s: writing the JSON record failed after the run: %s\n", o.json.c_str(),
                   error.c_str());
      return kRecordFailed;
    }
  }
  return run.exitStatus();
}
