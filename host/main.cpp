// vorn-host: plays the station's host test sequencer. Loads the library by its
// file, resolves each step of a plan by its plain export name, provides the
// data container, runs the steps on the simulated station and reports.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>

#include "Vorn_CMU200.h"
#include "faults.h"
#include "inputs.h"
#include "alldata/container.h"
#include "os.h"
#include "options.h"
#include "plan.h"
#include "report.h"
#include "run.h"
#include "station/station.h"
#include "text.h"

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
    error = FaultProblem(text);
    if (!error.empty() || !st.faults.addText(text)) return false;
  }
  return true;
}

template <typename F>
F Resolve(const DynamicLibrary &library, const std::string &name) {
  // dlsym and GetProcAddress hand back an untyped address; the export's type
  // is the one the library's header declares.
  return reinterpret_cast<F>(library.symbol(name.c_str()));
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
  if (o.listScenarios) {
    for (const Scenario &s : Scenarios()) std::printf("%-18s %s\n", s.name, s.what);
    return 0;
  }
  if (o.listFaults) {
    std::fputs(OperationList().c_str(), stdout);
    return 0;
  }

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
    return CannotStart(o.parameters + ": the parameter file's path is longer than " +
                       std::to_string(kLongestPath) + " characters");
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

  std::vector<std::string> faults;
  if (!SetUpStation(o, faults, error)) return CannotStart(error);

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
      problems.push_back(o.plan + ":" + std::to_string(step.line) + ": " + libraryFile +
                         " does not export " + step.exportName);
    }
  }
  for (const std::string &p : problems) Say(p);
  if (!problems.empty()) return kCannotStart;

  // No output may name an input, the library or a file the host has mapped.
  for (const InputFile &mapped : MappedFiles()) inputs.push_back(mapped);
  if (!o.json.empty()) {
    const std::string clash = OutputClash(o.json, "JSON record", inputs);
    if (!clash.empty()) return CannotStart(clash);
  }

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
  // A table lost (a closed pipe, a full disk) is said, and the run does not pass.
  const bool tableWritten = static_cast<bool>(std::cout);
  if (!tableWritten) Say("writing the results table to standard output failed");
  if (json) {
    WriteJson(*json, setting, run);
    json->close();
    if (!*json) return CannotStart(o.json + ": writing the JSON record failed");
  }
  return tableWritten ? run.exitStatus() : kDidNotPass;
}
