// The runner's command line.
#pragma once

#include <string>
#include <vector>

namespace vorn_host {

struct Options {
  std::string parameters;              // --params FILE
  std::string plan;                    // the one plain argument
  std::string library;                 // --library FILE; empty: the built one beside vorn-host
  std::string json;                    // --json FILE
  std::string station;                 // --station NAME; empty: the machine's host name
  bool fast = false;                   // --fast: the station's waits on the virtual clock
  bool keepGoing = false;              // --keep-going: run on after an ERROR
  bool quiet = false;                  // --quiet: no progress
  bool strict = false;                 // --strict: a step number without its section stops the run
  bool help = false;                   // --help
  bool listScenarios = false;          // --scenario list
  bool listFaults = false;             // --fault list
  std::vector<std::string> faults;     // --fault OP=STATUS[@N[+]], in order
  std::vector<std::string> scenarios;  // --scenario NAME, in order
  // A production session: the units by one of these three.
  int units = 0;              // --units N: SIM-000001 ... SIM-00000N
  std::string serials;        // --serials FILE: one serial a line
  bool serialPrompt = false;  // --serial-prompt: asked at the terminal
  int retest = 0;             // --retest N: a unit that did not pass, again up to N times
  std::string serve;          // --serve [HOST:]PORT: scanned on the operator's web page

  bool session() const { return units > 0 || !serials.empty() || serialPrompt || !serve.empty(); }

  // The results database (see MakeDatabaseSink in results/sink.h).
  std::string db;            // --db PATH|postgresql://...; empty: the default
  bool noDb = false;         // --no-db
  std::string operatorName;  // --operator NAME
};

// False, with the reason in error, on a command line that cannot be run.
bool ParseOptions(int argc, const char *const *argv, Options &options, std::string &error);
std::string Usage();

}  // namespace vorn_host
