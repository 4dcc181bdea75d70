// The simulated station as the host sets it up: its named scenarios, the
// fault script, the virtual clock, and a new phone for each unit. The one
// place of the host that knows the station behind the stand-ins; it is built
// as its own library (vorn_simulation), which vorn-host loads only when the
// equipment libraries it found are the stand-ins.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "core/equipment.h"

namespace station {
class Station;
}

namespace vorn_host {

// A way the simulated station goes wrong: fault script texts, shown in the
// table and the record, and what it changes in the equipment models.
struct Scenario {
  const char *name;
  const char *what;
  std::vector<std::string> faults;
  void (*setUp)(station::Station &station) = nullptr;
  // A population of phones or a drifting fixture, as a line sees them, not a
  // broken station: its units count like any others.
  bool population = false;
};
const std::vector<Scenario> &Scenarios();
const Scenario *FindScenario(const std::string &name);

// What vorn-host asks of the simulation it loaded.
class Simulation : public Equipment {
 public:
  // The clock, the scenarios' changes and fault texts, then the texts of
  // faults; faultsApplied gets every text in the script. False, with the
  // reason in error, on an unknown scenario or a malformed fault.
  virtual bool setUp(bool virtualClock, const std::vector<std::string> &scenarios,
                     const std::vector<std::string> &faults, std::vector<std::string> &faultsApplied,
                     std::string &error) = 0;
  // The scenarios, one a line: name and what it does (--scenario list).
  virtual std::string scenarioList() const = 0;
  // The operations a fault may name, one a line (--fault list).
  virtual std::string operationList() const = 0;
  // Whether the scenario breaks the station (a fault rehearsed), rather than
  // being a population the line could meet.
  virtual bool breaksStation(const std::string &scenario) const = 0;
};

class SimulatedStation final : public Simulation {
 public:
  // prompts: where the operator is asked (the terminal's input). The data
  // container's calls are journalled and fault-scripted from here on.
  explicit SimulatedStation(std::FILE *answers = stdin, std::FILE *questions = stderr);

  bool setUp(bool virtualClock, const std::vector<std::string> &scenarios, const std::vector<std::string> &faults,
             std::vector<std::string> &faultsApplied, std::string &error) override;
  std::string scenarioList() const override;
  std::string operationList() const override;
  bool breaksStation(const std::string &scenario) const override;

  uint64_t waitedMs() const override;
  void onWait(std::function<void(uint32_t milliseconds)> listener) override;
  bool askOperator(const std::string &question, std::string &answer) override;
  // Takes the phone out and puts a new one in, with the serial's deviations;
  // the tester and the supply stay as they are. The calls journalled so far
  // are dropped (their counts stay, for the fault script).
  void newUnit(const std::string &serial) override;
  // Hands the MessageBoxA stand-in's prompts to answer.
  void onPrompt(std::function<std::optional<bool>(const std::string &text)> answer) override;

 private:
  std::FILE *answers_;
  std::FILE *questions_;
};

}  // namespace vorn_host

// vorn_simulation's entry point, looked up by this name: a new simulation,
// which the caller deletes.
extern "C" vorn_host::Simulation *VornHost_NewSimulation(std::FILE *answers, std::FILE *questions);
using VornHostNewSimulation = vorn_host::Simulation *(*)(std::FILE *answers, std::FILE *questions);
