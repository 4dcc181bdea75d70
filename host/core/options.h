// vorn-host's command line: the core's options, read from the one table that
// also holds every output's (outputs/registry.h adds them).
#pragma once

#include <string>
#include <vector>

#include "core/command_line.h"

namespace vorn_host {

struct Options {
  std::string parameters;              // --params FILE
  std::string plan;                    // the one plain argument
  std::string library;                 // --library FILE; empty: the built one beside vorn-host
  std::string station;                 // --station NAME; empty: the machine's host name
  bool fast = false;                   // --fast: the station's waits on the virtual clock
  bool keepGoing = false;              // --keep-going: run on after an ERROR
  bool strict = false;                 // --strict: a step number without its section stops the run
  bool help = false;                   // --help
  bool listScenarios = false;          // --scenario list
  bool listFaults = false;             // --fault list
  std::vector<std::string> faults;     // --fault OP=STATUS[@N[+]], in order
  std::vector<std::string> scenarios;  // --scenario NAME, in order
  // A production session: the units by one of these, or an output's (--serve).
  int units = 0;               // --units N: SIM-000001 ... SIM-00000N
  std::string serials;         // --serials FILE: one serial a line
  bool serialPrompt = false;   // --serial-prompt: asked at the terminal
  bool unitsByOutput = false;  // an output names the units (the operator's page)
  int retest = 0;              // --retest N: a unit that did not pass, again up to N times
  std::string operatorName;    // --operator NAME
  bool engineering = false;    // --engineering: units marked, left out of the yield
  std::string sockets;         // --sockets FILE or N: a worker process per test socket
  std::string worker;          // --worker NAME: this process is one socket's worker
  std::string settings;        // --settings FILE: the station's settings
  // The station's health (docs/station-health.md).
  std::string verify;          // --verify GOLDEN-FILE: the golden unit read against its references
  std::string calibrate;       // --calibrate GOLDEN-FILE: the path loss corrected from its readings
  bool noHealthCheck = false;  // --no-health-check: a production session starts whatever the verification
  std::string acknowledge;     // --acknowledge CODE: a stopped station's stop lifted from a second terminal

  bool session() const { return units > 0 || !serials.empty() || serialPrompt || unitsByOutput; }
  bool golden() const { return !verify.empty() || !calibrate.empty(); }
};

// The core's options, into a command line that the outputs add theirs to.
void AddCoreOptions(CommandLine &line);
// The core's options out of the read command line, with the rules that join
// them; unitOptions: the outputs' options that name the units, as given.
// False, with the reason in error, on a command line that cannot be run.
bool ReadOptions(const CommandLine &line, const std::vector<std::string> &unitOptions, Options &options,
                 std::string &error);
// --sockets N: how many; 0 when it names a sockets file.
int SocketCount(const Options &options);
// The usage text, with the outputs' option lines.
std::string Usage(const CommandLine &line);

}  // namespace vorn_host
