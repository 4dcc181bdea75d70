#include "core/options.h"

#include "os/os.h"

namespace vorn_host {

void AddCoreOptions(CommandLine &line) {
  line.value("--params", "FILE", "the parameter file the steps read (required)")
      .value("--library", "FILE",
             std::string("the library to load (default: ") + DynamicLibrary::defaultFileName() + " beside vorn-host)")
      .flag("--fast",
            "the station's waits on the virtual clock: no real pauses\n"
            "(--fast, --fault and --scenario: only on the simulated station;\n"
            "--fast not on Windows, whose own Sleep the library calls)")
      .flag("--keep-going", "run on after a step ERROR (default: stop at the first)")
      .value("--station", "NAME", "the station's name in the table and the records")
      .list("--fault", "OP=STATUS[@N[+]]",
            "make outside operation OP return STATUS at its Nth call\n"
            "(default 1st), or from its Nth call on with +; repeatable;\n"
            "--fault list shows the operations")
      .list("--scenario", "NAME", "a named station condition; --scenario list shows them")
      .value("--operator", "NAME", "who tests: kept with every attempt's record")
      .value("--settings", "FILE",
             "the station's settings (default: station-settings.ini in the\n"
             "working folder, when it has one)")
      .flag("--engineering", "an engineer's trial: its units are marked and left out\nof the yield and the line report")
      .flag("--strict",
            "a step number without a section in the parameter file\n"
            "stops the run (default: a warning)")
      .flag("--help", "this text")
      .note("")
      .note("A production session runs the plan once for each unit, named by one of:")
      .number("--units", "N", 1, 1000000,
              "N units with the serials SIM-000001, SIM-000002, ...\n(only on the simulated station)")
      .value("--serials", "FILE", "the serials in FILE, one a line")
      .flag("--serial-prompt",
            "each unit's serial asked for at the terminal; an empty\n"
            "line or the end of input ends the session")
      .number("--retest", "N", 0, 100, "test a unit that did not pass again, up to N more times")
      .value("--sockets", "FILE|N",
             "several phones at once, one process per test socket: FILE names\n"
             "each socket and its parameter file (NAME FILE a line); N, on the\n"
             "simulated station, N sockets on --params")
      .note("")
      .note("The station's health (docs/station-health.md):")
      .value("--verify", "GOLDEN-FILE",
             "run the plan (the calibration plan) on the golden unit and compare\n"
             "each burst power with its reference; exit 0 when every line is\n"
             "within the tolerance")
      .value("--calibrate", "GOLDEN-FILE",
             "the same run, then the parameter file's [Attenuation] corrected\n"
             "(the old file kept beside it) and verified again")
      .flag("--no-health-check",
            "start a production session whatever the station's last\n"
            "verification: its units are marked")
      .value("--acknowledge", "CODE", "lift the stop of a station that stopped itself (the technician's code)");
}

constexpr int kMostSockets = 16;

int SocketCount(const Options &o) {
  if (o.sockets.empty() || o.sockets.size() > 3 || o.sockets.find_first_not_of("0123456789") != std::string::npos)
    return 0;
  return std::stoi(o.sockets);
}

bool ReadOptions(const CommandLine &line, const std::vector<std::string> &unitOptions, Options &o, std::string &error) {
  o.parameters = line.text("--params");
  o.library = line.text("--library");
  o.station = line.text("--station");
  o.fast = line.has("--fast");
  o.keepGoing = line.has("--keep-going");
  o.strict = line.has("--strict");
  o.help = line.has("--help");
  // The texts name the simulation's faults and scenarios: checked once it is loaded.
  for (const std::string &f : line.texts("--fault")) {
    if (f == "list") o.listFaults = true;
    if (f != "list") o.faults.push_back(f);
  }
  for (const std::string &s : line.texts("--scenario")) {
    if (s == "list") o.listScenarios = true;
    if (s != "list") o.scenarios.push_back(s);
  }
  o.units = static_cast<int>(line.number("--units"));
  o.serials = line.text("--serials");
  o.serialPrompt = line.has("--serial-prompt");
  o.unitsByOutput = !unitOptions.empty();
  o.retest = static_cast<int>(line.number("--retest"));
  o.operatorName = line.text("--operator");
  o.engineering = line.has("--engineering");
  o.sockets = line.text("--sockets");
  o.worker = line.text("--worker");
  o.settings = line.text("--settings");
  o.verify = line.text("--verify");
  o.calibrate = line.text("--calibrate");
  o.noHealthCheck = line.has("--no-health-check");
  o.acknowledge = line.text("--acknowledge");
  if (o.help || o.listScenarios || o.listFaults || !o.acknowledge.empty()) return true;
  const std::vector<std::string> &plain = line.arguments();
  if (plain.size() > 1) {
    error = "one plan at a time: " + plain[0] + " and " + plain[1];
    return false;
  }
  if (plain.empty() || plain[0].empty()) {
    error = "no plan file given";
    return false;
  }
  o.plan = plain[0];
  std::string ways = "--units, --serials, --serial-prompt";
  for (const std::string &u : unitOptions) ways += ", " + u;
  const std::size_t comma = ways.rfind(", ");
  ways.replace(comma, 2, " or ");
  if ((o.units > 0) + !o.serials.empty() + o.serialPrompt + unitOptions.size() > 1) {
    error = "name the units one way: " + ways;
    return false;
  }
  if (o.golden() && (o.session() || !o.sockets.empty() || o.engineering || o.noHealthCheck || o.retest > 0 ||
                     (!o.verify.empty() && !o.calibrate.empty()))) {
    error = "--verify and --calibrate run the golden unit alone: not with each other, " + ways +
            ", --sockets, --retest, --engineering or --no-health-check";
    return false;
  }
  if (o.retest > 0 && !o.session()) {
    error = "--retest needs a session (" + ways + ")";
    return false;
  }
  const bool number = !o.sockets.empty() && o.sockets.find_first_not_of("0123456789") == std::string::npos;
  if (number && (o.sockets.size() > 2 || SocketCount(o) < 1 || SocketCount(o) > kMostSockets)) {
    error = "--sockets takes a sockets file or a number from 1 to " + std::to_string(kMostSockets) + ", not \"" +
            o.sockets + "\"";
    return false;
  }
  if (!o.sockets.empty() && !o.session()) {
    error = "--sockets needs a session (" + ways + ")";
    return false;
  }
  // A sockets file names each socket's parameter file.
  if (o.parameters.empty() && (o.sockets.empty() || SocketCount(o) > 0)) {
    error = "no parameter file given (--params FILE)";
    return false;
  }
  return true;
}

std::string Usage(const CommandLine &line) {
  return "usage: vorn-host --params FILE [options] PLAN\n"
         "\n"
         "Runs the steps of PLAN, one a line, through the Vorn_CMU200 library on the\n"
         "station whose equipment libraries it loads (the simulated one behind the\n"
         "project's stand-ins, or real equipment), and prints a results table.\n"
         "\n" +
         line.describe() +
         "\n"
         "Exit status: 0 when every step and every limit passed (in a session: every\n"
         "unit tested passed), 1 when the run did not pass or its record could not be\n"
         "written, 2 when it could not start (command line, plan, parameter file, library).\n"
         "docs/host-input.md says what the host refuses before it starts.\n";
}

}  // namespace vorn_host
