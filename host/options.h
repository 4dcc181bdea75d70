// The runner's command line, and the named fault scenarios of the simulated
// station that it offers.
#pragma once

#include <string>
#include <vector>

#include "station/station.h"

namespace vorn_host {

struct Options {
  std::string parameters;  // --params FILE
  std::string plan;        // the one plain argument
  std::string library;     // --library FILE; empty: the built one beside vorn-host
  std::string json;        // --json FILE
  std::string station;     // --station NAME; empty: the machine's host name
  bool fast = false;       // --fast: the station's waits on the virtual clock
  bool keepGoing = false;  // --keep-going: run on after an ERROR
  bool quiet = false;      // --quiet: no progress
  bool help = false;       // --help
  bool listScenarios = false;           // --scenario list
  std::vector<std::string> faults;      // --fault OP=STATUS[@N[+]], in order
  std::vector<std::string> scenarios;   // --scenario NAME, in order

  // The results database (see MakeDatabaseSink in results/sink.h).
  std::string db;            // --db PATH|postgresql://...; empty: the default
  bool noDb = false;         // --no-db
  std::string operatorName;  // --operator NAME
};

// False, with the reason in error, on a command line that cannot be run.
bool ParseOptions(int argc, const char *const *argv, Options &options, std::string &error);
std::string Usage();

// A way the simulated station goes wrong: fault script texts, shown in the
// table and the record, and what it changes in the equipment models.
struct Scenario {
  const char *name;
  const char *what;
  std::vector<std::string> faults;
  void (*setUp)(station::Station &station) = nullptr;
};
const std::vector<Scenario> &Scenarios();
const Scenario *FindScenario(const std::string &name);

}  // namespace vorn_host
