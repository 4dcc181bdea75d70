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
#include <optional>
#include <sstream>

#include "Vorn_CMU200.h"
#include "station/alldata/container.h"
#include "os/inputs.h"
#include "core/options.h"
#include "os/os.h"
#include "core/plan.h"
#include "station/real_station.h"
#include "outputs/console/report.h"
#include "core/run.h"
#include "core/session.h"
#include "os/sha256.h"
#include "station/simulation.h"
#include "os/text.h"
#if defined(VORN_HOST_RESULTS)
#include "tools/report/report_command.h"
#include "outputs/results/sink.h"
#endif
#if defined(VORN_HOST_WEB)
#include "outputs/web/serve.h"
#include "outputs/web/server.h"
#endif

namespace {

using namespace vorn_host;

constexpr int kCannotStart = 2;
// The container hands the path out in a buffer of 512 characters.
constexpr std::size_t kLongestPath = 511;

using VersionFunction = int32_t(VORN_CMU200_CALL *)(char *buffer);

constexpr int kDidNotPass = 1;

// Messages name paths and quote plans: no control byte reaches the terminal.
void Say(const std::string &text) { std::fprintf(stderr, "vorn-host: %s\n", TerminalText(text).c_str()); }

int CannotStart(const std::string &why) {
  Say(why);
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

// What the records say of the session: where, with what, by whom.
SessionInfo SessionOf(const Options &o, const RunSetting &setting) {
  SessionInfo session;
  session.id = NewUuid();
  session.station = setting.station;
  session.host = MachineName();
  session.library = setting.library;
  session.version = setting.version;
  session.plan = setting.plan;
  session.planSha256 = vorn_host::Sha256File(setting.plan);
  session.parameters = setting.parameters;
  session.parametersSha256 = vorn_host::Sha256File(setting.parameters);
  session.operatorName = o.operatorName;
  session.simulated = setting.simulated;
  session.started = UtcNow();
  return session;
}

#if defined(VORN_HOST_RESULTS)
// The results database as one of the session's outputs. An attempt the
// database kept (in the file, or in the spool while the server is away) is
// no lost record: the notice is said on the progress line and the session
// goes on.
class ResultsOutput : public RecordSink {
 public:
  explicit ResultsOutput(std::unique_ptr<vorn_results::DatabaseSink> sink) : sink_(std::move(sink)) {}
  bool sessionStarted(const SessionInfo &session, std::string &error) override {
    return sink_->sessionStarted(session, error);
  }
  bool attemptFinished(const SessionInfo &session, const UnitRecord &unit, std::string &error) override {
    if (sink_->attemptFinished(session, unit, error)) return true;
    if (!sink_->lastKept()) return false;
    Say(error);
    return true;
  }
  // Units still waiting for the server at the end are kept in the spool: said,
  // and no lost record.
  bool sessionEnded(const SessionInfo &session, std::string &error) override {
    if (sink_->sessionEnded(session, error)) return true;
    if (sink_->pending() == 0) return false;
    Say(error);
    return true;
  }
  const std::string &target() const { return sink_->target(); }

 private:
  std::unique_ptr<vorn_results::DatabaseSink> sink_;
};
#else
// This build keeps no results database.
class ResultsOutput : public RecordSink {
 public:
  bool attemptFinished(const SessionInfo &, const UnitRecord &, std::string &) override { return true; }
};
#endif

// A single run with --db: recorded as a session of one unit without a serial.
void RecordSingleRun(RecordSink &output, SessionInfo session, const RunRecord &run) {
  session.started = run.started;
  UnitRecord unit;
  unit.uuid = NewUuid();
  unit.unit = 1;
  unit.run = run;
  std::string error;
  if (!output.sessionStarted(session, error)) Say(error);
  if (!output.attemptFinished(session, unit, error)) Say(error);
  session.ended = UtcNow();
  if (!output.sessionEnded(session, error)) Say(error);
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
  // Before any file is opened: a closed 1 or 2 would be the next file's.
  MakeStandardDescriptorsValid();
  IgnoreBrokenPipe();
  Options o;
  std::string error;
  if (!ParseOptions(argc, argv, o, error)) {
    std::fprintf(stderr, "vorn-host: %s\n\n%s", TerminalText(error).c_str(), Usage().c_str());
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
  if (o.listFaults) {
    simulation = LoadSimulation(simulationLibrary, error);
    if (simulation == nullptr) return CannotStart(error);
    std::fputs(simulation->operationList().c_str(), stdout);
    return 0;
  }
#if defined(VORN_HOST_WEB)
  web::ServeAddress serveAddress;
  if (!o.serve.empty() && !web::ParseServeAddress(o.serve, serveAddress, error)) return CannotStart(error);
#else
  if (!o.serve.empty()) return CannotStart("--serve: this vorn-host is built without the operator's web page");
#endif

  // Everything that can stop the run is found before the first step.
  std::vector<std::string> problems;
  const Plan plan = ReadPlan(o.plan, problems);
  for (const std::string &p : problems) Say(p);
  if (!problems.empty()) return kCannotStart;

  std::vector<InputFile> inputs(2);
  std::string parameterText;
  if (!CheckInput(o.plan, "plan file", kLargestTextInput, true, inputs[0], error)) return CannotStart(error);
  if (!ReadTextInput(o.parameters, "parameter file", false, inputs[1], parameterText, error)) {
    return CannotStart(error);
  }
  if (o.parameters.size() > kLongestPath) {
    return CannotStart(o.parameters + ": the parameter file's path is longer than " + std::to_string(kLongestPath) +
                       " characters");
  }
  // A step whose section is missing runs on the library's defaults.
  const std::vector<std::string> unsectioned = StepsWithoutSection(plan, parameterText, o.parameters);
  for (std::size_t i = 0; i < unsectioned.size() && i < kShownBadLines; ++i) {
    Say((o.strict ? "" : "warning: ") + unsectioned[i] + (o.strict ? "" : ": it runs on defaults"));
  }
  if (unsectioned.size() > kShownBadLines) {
    Say(std::to_string(unsectioned.size() - kShownBadLines) + " more steps without a section");
  }
  if (o.strict && !unsectioned.empty()) return CannotStart("--strict: every step needs its section");

  std::unique_ptr<SerialList> serialList;
  if (!o.serials.empty()) {
    serialList = std::make_unique<SerialList>(o.serials, problems);
    for (const std::string &p : problems) std::fprintf(stderr, "vorn-host: %s\n", p.c_str());
    if (!problems.empty()) return kCannotStart;
  }

  const std::string libraryFile =
      o.library.empty() ? DynamicLibrary::besideExecutable(DynamicLibrary::defaultFileName()) : o.library;
  inputs.emplace_back();
  if (!CheckInput(libraryFile, "library", kLargestLibrary, false, inputs.back(), error)) {
    return CannotStart("cannot load the library " + error);
  }
  DynamicLibrary library;
  if (!library.open(libraryFile, error)) return CannotStart("cannot load the library " + libraryFile + ": " + error);
  const auto version = Resolve<VersionFunction>(library, "Vorn_CMU200_GetVersion");
  if (version == nullptr) return CannotStart(libraryFile + " does not export Vorn_CMU200_GetVersion");
  std::vector<StepFunction> functions;
  for (const PlanStep &step : plan.steps) {
    functions.push_back(Resolve<StepFunction>(library, step.exportName));
    if (functions.back() == nullptr) {
      problems.push_back(o.plan + ":" + std::to_string(step.line) + ": " + libraryFile + " does not export " +
                         step.exportName);
    }
  }
  for (const std::string &p : problems) Say(p);
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

  // No output may name an input, the library or a file the host has mapped.
  for (const InputFile &mapped : MappedFiles()) inputs.push_back(mapped);
  if (!o.db.empty() && o.db.rfind("postgresql:", 0) != 0) {
    const std::string clash = OutputClash(o.db, "results database", inputs);
    if (!clash.empty()) return CannotStart(clash);
  }
  // The results database, or null when the run records none.
  std::unique_ptr<ResultsOutput> database;
#if defined(VORN_HOST_RESULTS)
  std::unique_ptr<vorn_results::DatabaseSink> sink = vorn_results::MakeDatabaseSink(o, o.session(), error);
  if (!sink && !error.empty()) return CannotStart(error);
  if (sink) database = std::make_unique<ResultsOutput>(std::move(sink));
#else
  if (!o.db.empty()) return CannotStart("--db: this vorn-host is built without the results database");
#endif
  if (!o.json.empty()) {
    const std::string clash = OutputClash(o.json, "JSON record", inputs);
    if (!clash.empty()) return CannotStart(clash);
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
    SessionInfo info = SessionOf(o, setting);
#if defined(VORN_HOST_WEB)
    // The page's session: started and stopped on the page, its units scanned
    // there; the steps still run here, on this thread.
    web::Screen screen;
    screen.setPlan(plan);
    screen.setInterrupted([] { return StopRequests() > 0; });
    web::WebServer server(screen);
    web::ScreenEquipment screenEquipment(*equipment, screen);
    web::ScannedUnits scanned(screen);
    web::SpectrumSink spectrum(screen);
    web::BothProgress bothProgress(o.quiet ? nullptr : &progress, screen);
    if (!o.serve.empty()) {
      if (!server.start(serveAddress, error)) return CannotStart(error);
      const std::string host =
          serveAddress.host.find(':') != std::string::npos ? "[" + serveAddress.host + "]" : serveAddress.host;
      std::fprintf(stderr, "vorn-host: the operator's screen is at http://%s:%d/\n", host.c_str(), server.port());
      if (!serveAddress.loopback()) {
        std::fprintf(stderr,
                     "vorn-host: %s is not this machine's loopback address: the page is reachable from the "
                     "network, and anyone who reaches it can start and stop units\n",
                     serveAddress.host.c_str());
      }
      runOptions.equipment = &screenEquipment;
      runOptions.stopRequests = [&screen] { return StopRequests() + (screen.stopRequested() ? 1 : 0); };
    }
    // A real station's prompts are its library's message boxes, on this
    // thread: the page says when one is open.
    MarkStepThread();
    std::optional<web::StationPromptWatch> stationPrompts;
    if (!o.serve.empty() && !found.simulated()) stationPrompts.emplace(screen, OpenMessageBox);
#endif
    GeneratedUnits generated(o.units);
    PromptedUnits prompted(*equipment, stderr);
    UnitSource *units = serialList       ? static_cast<UnitSource *>(serialList.get())
                        : o.serialPrompt ? static_cast<UnitSource *>(&prompted)
                                         : static_cast<UnitSource *>(&generated);
    Progress *shown = o.quiet ? nullptr : &progress;
    JsonLinesSink json(lines, setting);
    SessionTable table(std::cout, setting);
    std::vector<RecordSink *> sinks;
    if (!o.json.empty()) sinks.push_back(&json);
    if (database) sinks.push_back(database.get());
    sinks.push_back(&table);
#if defined(VORN_HOST_WEB)
    if (!o.serve.empty()) {
      units = &scanned;
      shown = &bothProgress;
      sinks.push_back(&spectrum);
      sinks.push_back(&screen);
    }
#endif
    SessionOptions sessionOptions;
    sessionOptions.run = runOptions;
    sessionOptions.retest = o.retest;
    const SessionResult result = RunSession(plan, functions, info, *units, sinks, sessionOptions, shown, stderr);
    // The line report of this session, when its attempts went to a database.
#if defined(VORN_HOST_RESULTS)
    if (database && result.tally.attempts > 0 && !result.recordFailed) {
      std::cout << "Line report: "
                << vorn_reports::LineReportCommand(database->target(), info.station, info.started, info.ended) << "\n";
      std::cout.flush();
    }
#endif
    return result.recordFailed ? kRecordFailed : result.tally.exitStatus();
  }

  const RunRecord run = RunPlan(plan, functions, runOptions, o.quiet ? nullptr : &progress);

  if (!o.quiet) std::cout << "\n";  // apart from the progress above it on a terminal
  WriteTable(std::cout, setting, run);
  std::cout.flush();
  // A table lost (a closed pipe, a full disk) is said, and the run does not pass.
  const bool tableWritten = static_cast<bool>(std::cout);
  if (!tableWritten) Say("writing the results table to standard output failed");
  if (database) RecordSingleRun(*database, SessionOf(o, setting), run);
  if (!o.json.empty()) {
    std::ostringstream text;
    WriteJson(text, setting, run);
    if (!record.commit(text.str(), error)) {
      std::fprintf(stderr, "vorn-host: %s: writing the JSON record failed after the run: %s\n", o.json.c_str(),
                   error.c_str());
      return kRecordFailed;
    }
  }
  return tableWritten ? run.exitStatus() : kDidNotPass;
}
