// vorn-host: plays the station's host test sequencer. Reads its command line,
// loads the station (the plan, the parameter file, the library and the
// equipment behind it), opens the outputs the options name and runs the
// session: a single run of the plan, or unit after unit. The outputs hear the
// session on its bus (outputs/registry.cpp lists them); this file knows none.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/bus.h"
#include "core/options.h"
#include "core/session.h"
#include "os/os.h"
#include "os/text.h"
#include "outputs/registry.h"
#include "station/setup.h"

namespace {

using namespace vorn_host;

constexpr int kDidNotPass = 1;
constexpr int kCannotStart = 2;

int CannotStart(const std::string &why) {
  // Messages name paths and quote plans: no control byte reaches the terminal.
  std::fprintf(stderr, "vorn-host: %s\n", TerminalText(why).c_str());
  return kCannotStart;
}

// --help, --scenario list and --fault list: answered, nothing run.
bool Answered(const CommandLine &line, const Options &o, int &status) {
  if (!o.help && !o.listScenarios && !o.listFaults) return false;
  status = 0;
  if (o.help) {
    std::fputs(Usage(line).c_str(), stdout);
    return true;
  }
  StationSetup station;
  std::string text, error;
  if (!station.listOf(o.listScenarios, text, error)) {
    status = CannotStart(error);
    return true;
  }
  std::fputs(text.c_str(), stdout);
  return true;
}

// The run's exit status: a single run passes when its unit did; a session
// when every unit with a verdict passed. A lost record never passes.
int ExitStatus(const SessionResult &result, bool single) {
  if (result.recordLost) return kDidNotPass;
  if (single) return result.lastVerdict == Verdict::kPass ? 0 : kDidNotPass;
  return result.tally.exitStatus();
}

}  // namespace

int main(int argc, char **argv) {
  // Before any file is opened: a closed 1 or 2 would be the next file's.
  MakeStandardDescriptorsValid();
  IgnoreBrokenPipe();
  CommandLine line = HostCommandLine();
  Options o;
  std::string error;
  if (!ReadHostCommandLine(argc, argv, line, o, error)) return RefuseCommandLine("vorn-host", error, Usage(line));
  int status = 0;
  if (Answered(line, o, status)) return status;

  // Everything that can stop the run is found before the first step.
  StationSetup station;
  if (!station.load(o, error)) return CannotStart(error);
  const std::shared_ptr<SessionRecord> session = station.session(o);
  Bus bus;
  std::vector<std::unique_ptr<Output>> outputs;
  OutputSetup setup{line, *session, station.plan(), station.files(), !station.simulated(), stderr};
  if (!OpenOutputs(setup, bus, outputs, error)) return CannotStart(error);

  Desk *desk = nullptr;
  for (const std::unique_ptr<Output> &output : outputs) desk = desk != nullptr ? desk : output->desk();
  std::unique_ptr<UnitSource> terminalUnits = station.units(o);
  CatchStopRequests();
  SessionOptions options;
  options.run.keepGoing = o.keepGoing;
  options.run.equipment = &station.equipment();
  options.run.stopRequests = [desk] { return StopRequests() + (desk != nullptr && desk->stopRequested() ? 1 : 0); };
  options.retest = o.retest;
  options.operatorName = o.operatorName;
  if (desk != nullptr) options.answerPrompt = [desk](const std::string &text) { return desk->answerPrompt(text); };
  UnitSource &units = desk != nullptr ? desk->units() : *terminalUnits;
  const SessionResult result = RunSession(station.plan(), station.functions(), session, units, bus, options);
  return ExitStatus(result, session->single);
}
