#include "station/setup.h"

#include <filesystem>

#include "Vorn_CMU200.h"
#include "os/sha256.h"
#include "os/text.h"
#include "station/alldata/container.h"

namespace vorn_host {

namespace {

// The container hands the path out in a buffer of 512 characters.
constexpr std::size_t kLongestPath = 511;

using VersionFunction = int32_t(VORN_CMU200_CALL *)(char *buffer);

template <typename F>
F Resolve(const DynamicLibrary &library, const std::string &name) {
  // dlsym and GetProcAddress hand back an untyped address; the export's type
  // is the one the library's header declares.
  return reinterpret_cast<F>(library.symbol(name.c_str()));
}

std::string Lines(const std::vector<std::string> &problems) {
  std::string text;
  for (const std::string &p : problems) text += (text.empty() ? "" : "\nvorn-host: ") + p;
  return text;
}

// The options that change the simulated station, by name, when given.
std::string SimulationOptions(const Options &o) {
  std::string text;
  if (o.fast) text += "--fast";
  if (!o.faults.empty()) text += std::string(text.empty() ? "" : ", ") + "--fault";
  if (!o.scenarios.empty()) text += std::string(text.empty() ? "" : ", ") + "--scenario";
  return text;
}

// The library's waits move the simulated station's virtual clock only when
// they are the Windows API stand-in's Sleep, which the library links on
// Linux; on Windows they are kernel32's own, which the station never sees.
bool WaitsOnStationClock() {
  bool loaded = false;
  return LoadedLibrarySymbol("vorn_winapi", "Sleep", loaded) != nullptr;
}

}  // namespace

std::string GeneratedUnitsRefusal() {
  return "--units: real equipment tests real phones, not SIM-000001, SIM-000002, ...; name them with --serials "
         "FILE, --serial-prompt or the operator's page (--serve)";
}

bool StationSetup::load(const Options &o, std::string &error) {
  return readInputs(o, error) && loadLibrary(o, error) && findEquipment(o, error);
}

bool StationSetup::loadInputs(const Options &o, std::string &error) { return readInputs(o, error); }

// The plan, the parameter file (with a warning for each step it has no
// section for) and the serials, each checked as an input.
bool StationSetup::readInputs(const Options &o, std::string &error) {
  std::vector<std::string> problems;
  plan_ = ReadPlan(o.plan, problems);
  if (!problems.empty()) {
    error = Lines(problems);
    return false;
  }
  InputFile planFile, parameterFile;
  std::string parameterText;
  if (!CheckInput(o.plan, "plan file", kLargestTextInput, true, planFile, error)) return false;
  files_ = {planFile};
  if (o.parameters.empty()) return readSerials(o, error);  // each socket names its own
  if (!ReadTextInput(o.parameters, "parameter file", false, parameterFile, parameterText, error)) return false;
  files_.push_back(parameterFile);
  // The library is handed the whole path: Windows' profile functions look
  // for a bare file name in the Windows folder, not the working one.
  std::error_code whole;
  parameterPath_ = std::filesystem::absolute(o.parameters, whole).string();
  if (whole) parameterPath_ = o.parameters;
  if (parameterPath_.size() > kLongestPath) {
    error =
        parameterPath_ + ": the parameter file's path is longer than " + std::to_string(kLongestPath) + " characters";
    return false;
  }
  // A step whose section is missing runs on the library's defaults (said
  // once: by the supervisor, not by each socket's worker).
  const std::vector<std::string> unsectioned =
      o.worker.empty() ? StepsWithoutSection(plan_, parameterText, o.parameters) : std::vector<std::string>();
  for (std::size_t i = 0; i < unsectioned.size() && i < kShownBadLines; ++i) {
    std::fprintf(messages_, "vorn-host: %s%s%s\n", o.strict ? "" : "warning: ", TerminalText(unsectioned[i]).c_str(),
                 o.strict ? "" : ": it runs on defaults");
  }
  if (unsectioned.size() > kShownBadLines) {
    std::fprintf(messages_, "vorn-host: %zu more steps without a section\n", unsectioned.size() - kShownBadLines);
  }
  if (o.strict && !unsectioned.empty()) {
    error = "--strict: every step needs its section";
    return false;
  }
  return checkLevels(o, error) && readSerials(o, error);
}

// Names that would carry the previous unit's power level: said (by the
// supervisor, not each worker), and refused with --strict.
bool StationSetup::checkLevels(const Options &o, std::string &error) {
  const std::vector<std::string> early = o.worker.empty() ? NamedBeforeALevel(plan_) : std::vector<std::string>();
  for (std::size_t i = 0; i < early.size() && i < kShownBadLines; ++i) {
    std::fprintf(messages_, "vorn-host: %s%s\n", o.strict ? "" : "warning: ", TerminalText(early[i]).c_str());
  }
  if (!o.strict || early.empty()) return true;
  error = "--strict: a plan sets the power level before it measures";
  return false;
}

bool StationSetup::readSerials(const Options &o, std::string &error) {
  if (o.serials.empty()) return true;
  std::vector<std::string> problems;
  InputFile serialsFile;
  if (!CheckInput(o.serials, "serials file", kLargestTextInput, false, serialsFile, error)) return false;
  files_.push_back(serialsFile);
  serials_ = std::make_unique<SerialList>(o.serials, problems);
  error = Lines(problems);
  return problems.empty();
}

// The library by its file, its version and an export for every plan line.
bool StationSetup::loadLibrary(const Options &o, std::string &error) {
  libraryFile_ = o.library.empty() ? DynamicLibrary::besideExecutable(DynamicLibrary::defaultFileName()) : o.library;
  files_.emplace_back();
  if (!CheckInput(libraryFile_, "library", kLargestLibrary, false, files_.back(), error)) {
    error = "cannot load the library " + error;
    return false;
  }
  if (!library_.open(libraryFile_, error)) {
    error = "cannot load the library " + libraryFile_ + ": " + error;
    return false;
  }
  const auto version = Resolve<VersionFunction>(library_, "Vorn_CMU200_GetVersion");
  if (version == nullptr) {
    error = libraryFile_ + " does not export Vorn_CMU200_GetVersion";
    return false;
  }
  std::vector<std::string> problems;
  for (const PlanStep &step : plan_.steps) {
    functions_.push_back(Resolve<StepFunction>(library_, step.exportName));
    if (functions_.back() != nullptr) continue;
    problems.push_back(o.plan + ":" + std::to_string(step.line) + ": " + libraryFile_ + " does not export " +
                       step.exportName);
  }
  error = Lines(problems);
  if (!problems.empty()) return false;
  char versionText[16] = {};
  version(versionText);
  versionText[sizeof versionText - 1] = '\0';
  version_ = versionText;
  alldata::SetParameterFile(parameterPath_);
  return true;
}

// The station is the one whose equipment libraries the library brought.
bool StationSetup::findEquipment(const Options &o, std::string &error) {
  const EquipmentFound found = FindEquipment();
  error = found.problem();
  if (!error.empty()) return false;
  if (found.simulated()) {
    if (o.fast && !WaitsOnStationClock()) {
      error =
          "--fast: the library waits with the system's own Sleep (kernel32's on Windows), which the simulated "
          "station's virtual clock cannot see: its phone would never seem to answer; run it without --fast";
      return false;
    }
    if (!loadSimulation(error)) return false;
    if (!simulation_->setUp(o.fast, o.scenarios, o.faults, faultsApplied_, error)) return false;
  } else if (!SimulationOptions(o).empty()) {
    error = SimulationOptions(o) + ": only on the simulated station; the equipment libraries loaded are not the " +
            "project's stand-ins";
    return false;
  } else if (o.units > 0) {
    error = GeneratedUnitsRefusal();
    return false;
  }
  for (const InputFile &mapped : MappedFiles()) files_.push_back(mapped);
  return true;
}

// The simulated station, from vorn_simulation beside vorn-host.
bool StationSetup::loadSimulation(std::string &error) {
  if (simulation_) return true;
  const std::string file = DynamicLibrary::besideExecutable(DynamicLibrary::fileName("vorn_simulation").c_str());
  if (!simulationLibrary_.open(file, error)) {
    error = "cannot load the simulated station " + file + ": " + error;
    return false;
  }
  const auto create = Resolve<VornHostNewSimulation>(simulationLibrary_, "VornHost_NewSimulation");
  if (create == nullptr) {
    error = file + " does not export VornHost_NewSimulation";
    return false;
  }
  simulation_.reset(create(stdin, stderr));
  return true;
}

bool StationSetup::listOf(bool scenarios, std::string &text, std::string &error) {
  if (!loadSimulation(error)) return false;
  text = scenarios ? simulation_->scenarioList() : simulation_->operationList();
  return true;
}

std::shared_ptr<SessionRecord> StationSetup::session(const Options &o) const {
  auto s = std::make_shared<SessionRecord>();
  s->id = NewUuid();
  s->station = o.station.empty() ? MachineName() : o.station;
  s->host = MachineName();
  s->library = libraryFile_;
  s->version = version_;
  s->plan = o.plan;
  s->planSha256 = Sha256File(o.plan);
  s->parameters = o.parameters;
  s->parametersSha256 = Sha256File(o.parameters);
  s->operatorName = o.operatorName;
  s->simulated = simulated();
  s->virtualClock = o.fast;
  s->scenarios = o.scenarios;
  s->faults = faultsApplied_;
  s->faultInjected = !o.faults.empty();
  for (const std::string &name : o.scenarios) {
    s->faultInjected = s->faultInjected || (simulation_ && simulation_->breaksStation(name));
  }
  s->mode = o.engineering ? SessionMode::kEngineering : SessionMode::kProduction;
  if (o.golden()) s->mode = o.verify.empty() ? SessionMode::kCalibration : SessionMode::kVerification;
  s->healthCheckSkipped = o.noHealthCheck && o.session() && !o.engineering;
  s->single = !o.session();
  s->started = UtcNow();
  return s;
}

std::unique_ptr<UnitSource> StationSetup::units(const Options &o) {
  if (serials_) return std::move(serials_);
  if (o.units > 0) return std::make_unique<GeneratedUnits>(o.units);
  if (o.serialPrompt && library_.loaded()) return std::make_unique<PromptedUnits>(equipment(), messages_);
  if (o.serialPrompt) {
    return std::make_unique<PromptedUnits>(
        [this](const std::string &q, std::string &a) { return AskAtTerminal(stdin, messages_, q, a); }, messages_);
  }
  return std::make_unique<SingleUnit>();
}

}  // namespace vorn_host
