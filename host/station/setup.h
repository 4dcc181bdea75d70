// Everything vorn-host loads and checks before the first step: the plan, the
// parameter file, the serials, the library and its steps, whose equipment
// libraries came with it, and on the project's stand-ins the simulated
// station. A run that cannot start is found here, with every reason.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/options.h"
#include "core/plan.h"
#include "core/record.h"
#include "core/run.h"
#include "core/session.h"
#include "os/inputs.h"
#include "os/os.h"
#include "station/real_station.h"
#include "station/simulation.h"

namespace vorn_host {

// Why real equipment does not take --units: its made-up serials name no phone.
std::string GeneratedUnitsRefusal();

class StationSetup {
 public:
  explicit StationSetup(std::FILE *messages = stderr) : messages_(messages) {}

  // False, with the reason in error, when the run cannot start; warnings
  // (a step without its section) go to the messages.
  bool load(const Options &options, std::string &error);
  // Only the plan, the parameter file (when given) and the serials: what the
  // supervisor of several sockets reads, whose workers load the rest.
  bool loadInputs(const Options &options, std::string &error);

  const Plan &plan() const { return plan_; }
  const std::vector<StepFunction> &functions() const { return functions_; }
  Equipment &equipment() { return simulation_ ? static_cast<Equipment &>(*simulation_) : real_; }
  bool simulated() const { return simulation_ != nullptr; }
  // The inputs and every file the process has mapped: no output may name one.
  std::vector<InputFile> &files() { return files_; }

  // The session the options ask for, as its record says it.
  std::shared_ptr<SessionRecord> session(const Options &options) const;
  // The units the terminal's options name (the single run's one unit when none).
  std::unique_ptr<UnitSource> units(const Options &options);

  // --scenario list and --fault list: the simulation's own, loaded for them.
  bool listOf(bool scenarios, std::string &text, std::string &error);

 private:
  bool readInputs(const Options &options, std::string &error);
  bool readSerials(const Options &options, std::string &error);
  bool checkLevels(const Options &options, std::string &error);
  bool loadLibrary(const Options &options, std::string &error);
  bool findEquipment(const Options &options, std::string &error);
  bool loadSimulation(std::string &error);

  std::FILE *messages_;
  // Declared first, so that the simulation goes before its code is unloaded.
  DynamicLibrary simulationLibrary_;
  std::unique_ptr<Simulation> simulation_;
  RealStation real_;
  DynamicLibrary library_;
  Plan plan_;
  std::vector<StepFunction> functions_;
  std::vector<InputFile> files_;
  std::unique_ptr<SerialList> serials_;
  std::string libraryFile_;
  std::string parameterPath_;  // whole, as the library is handed it
  std::string version_;
  std::vector<std::string> faultsApplied_;
};

}  // namespace vorn_host
