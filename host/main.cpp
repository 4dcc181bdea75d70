// vorn-host: plays the station's host test sequencer. Reads its command line,
// loads the station (the plan, the parameter file, the library and the
// equipment behind it), opens the outputs the options name and runs the
// session: a single run of the plan, or unit after unit; with --sockets,
// several phones at once, one worker per socket; or the golden unit's runs
// (station/golden_run.h). The outputs hear the session on its bus
// (outputs/registry.cpp lists them); this file knows none of them.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/bus.h"
#include "core/gate.h"
#include "core/options.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/sockets.h"
#include "os/os.h"
#include "os/text.h"
#include "outputs/registry.h"
#include "station/golden_run.h"
#include "station/setup.h"
#include "station/sockets_setup.h"

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

// The operator's Stops: the terminal's, and the page's once the outputs have given its desk.
std::function<int()> Stops(Desk *const &desk) {
  return [&desk] { return StopRequests() + (desk != nullptr && desk->stopRequested() ? 1 : 0); };
}

// One process: the single run, or a session unit after unit.
int RunHere(const CommandLine &line, const Options &o) {
  StationSetup station;
  StationSettings settings;
  std::string error;
  if (!ReadStationSettings(o.settings, settings, error) || !station.load(o, error)) return CannotStart(error);
  DefaultsFor(station.simulated(), settings);
  const std::shared_ptr<SessionRecord> session = station.session(o);
  Bus bus;
  StationHealth health;
  std::vector<std::unique_ptr<Output>> outputs;
  OutputSetup setup{line, *session, station.plan(), station.files(), !station.simulated(), stderr, &settings, &health};
  if (!OpenOutputs(setup, bus, outputs, error)) return CannotStart(error);
  Desk *desk = DeskOf(outputs);
  Scans scans(settings, o.retest, HistoryOf(outputs), bus);
  std::unique_ptr<UnitSource> terminalUnits = station.units(o);
  o.worker.empty() ? CatchStopRequests() : IgnoreTerminalStops();
  SessionOptions options;
  options.run.keepGoing = o.keepGoing;
  options.run.equipment = &station.equipment();
  options.run.stopRequests = Stops(desk);
  options.run.socket = o.worker;
  options.retest = o.retest;
  options.operatorName = o.operatorName;
  if (desk != nullptr) options.answerPrompt = [desk](const std::string &text) { return desk->answerPrompt("", text); };
  options.held = health.held();
  GatedUnits units(desk != nullptr ? desk->units() : *terminalUnits, health, Stops(desk), stdin, stderr);
  units.consult(scans);
  const SessionResult result = RunSession(station.plan(), station.functions(), session, units, bus, options);
  if (result.recordLost) return kDidNotPass;
  if (session->single) return result.lastVerdict == Verdict::kPass ? 0 : kDidNotPass;
  return result.tally.exitStatus();
}

// A station of several sockets: this process supervises, one worker each.
int RunSockets(const CommandLine &line, const Options &o) {
  StationSetup inputs;
  StationSettings settings;
  std::vector<SocketSetting> sockets;
  std::string error;
  if (!ReadStationSettings(o.settings, settings, error) || !inputs.loadInputs(o, error) ||
      !SocketsOf(o, sockets, inputs.files(), error)) {
    return CannotStart(error);
  }
  CatchStopRequests();
  StationHealth health;
  Desk *desk = nullptr;  // the page's, once the outputs are open: its Stop and its panels' prompts
  SupervisorOptions supervised{sockets,     WorkerArguments(o), o.retest,     o.operatorName,
                               Stops(desk), AnswersAt(desk),    health.held()};
  Supervisor supervisor(supervised);
  if (!supervisor.start(error)) return CannotStart(error);
  if (SocketCount(o) > 0 && !supervisor.found().simulated) {
    return CannotStart("--sockets " + o.sockets + ": a real station names its sockets in a file (NAME PARAMETER-FILE " +
                       "a line), each socket with its own fixture");
  }
  if (o.units > 0 && !supervisor.found().simulated) return CannotStart(GeneratedUnitsRefusal());
  const std::shared_ptr<SessionRecord> session = StationSession(o, supervisor.found(), sockets);
  DefaultsFor(session->simulated, settings);
  Bus bus;
  std::vector<std::unique_ptr<Output>> outputs;
  OutputSetup setup{line, *session, inputs.plan(), inputs.files(), !session->simulated, stderr, &settings, &health};
  if (!OpenOutputs(setup, bus, outputs, error)) return CannotStart(error);
  std::unique_ptr<UnitSource> terminalUnits = inputs.units(o);
  desk = DeskOf(outputs);
  Scans scans(settings, o.retest, HistoryOf(outputs), bus);
  GatedUnits units(desk != nullptr ? desk->units() : *terminalUnits, health, Stops(desk), stdin, stderr);
  units.consult(scans);
  const SupervisorResult result = supervisor.run(inputs.plan(), session, units, bus);
  return result.recordLost ? kDidNotPass : result.tally.exitStatus();
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
  if (o.golden() || !o.acknowledge.empty()) return o.golden() ? RunGoldenUnit(line, o) : Acknowledge(line, o);
  return o.sockets.empty() ? RunHere(line, o) : RunSockets(line, o);
}
