#include "core/options.h"

#include <cstring>
#include <stdexcept>

namespace vorn_host {

std::string Usage() {
  return "usage: vorn-host --params FILE [options] PLAN\n"
         "\n"
         "Runs the steps of PLAN, one a line, through the Vorn_CMU200 library on the\n"
         "station whose equipment libraries it loads (the simulated one behind the\n"
         "project's stand-ins, or real equipment), and prints a results table.\n"
         "\n"
         "  --params FILE        the parameter file the steps read (required)\n"
         "  --library FILE       the library to load (default: libVorn_CMU200.so beside vorn-host)\n"
         "  --fast               the station's waits on the virtual clock: no real pauses\n"
         "                       (--fast, --fault and --scenario: only on the simulated station)\n"
         "  --keep-going         run on after a step ERROR (default: stop at the first)\n"
         "  --json FILE          also write the results as a JSON record\n"
         "  --station NAME       the station's name in the table and the record\n"
         "  --fault OP=STATUS[@N[+]]\n"
         "                       make outside operation OP return STATUS at its Nth call\n"
         "                       (default 1st), or from its Nth call on with +; repeatable;\n"
         "                       --fault list shows the operations\n"
         "  --scenario NAME      a named station fault; --scenario list shows them\n"
         "  --db PATH|postgresql://...\n"
         "                       record the units in this SQLite file or PostgreSQL server\n"
         "                       (a session's default: results.sqlite in the working folder)\n"
         "  --no-db              record no units in a database\n"
         "  --operator NAME      the operator, kept with the session's record\n"
         "  --quiet              no progress while running\n"
         "  --strict             a step number without a section in the parameter file\n"
         "                       stops the run (default: a warning)\n"
         "\n"
         "A production session runs the plan once for each unit, named by one of:\n"
         "  --units N            N units with the serials SIM-000001, SIM-000002, ...\n"
         "  --serials FILE       the serials in FILE, one a line\n"
         "  --serial-prompt      each unit's serial asked for at the terminal; an empty\n"
         "                       line or the end of input ends the session\n"
         "  --serve [HOST:]PORT  each unit's serial scanned on the operator's web page at\n"
         "                       http://HOST:PORT/ (HOST 127.0.0.1 unless given; PORT 0:\n"
         "                       any free port, as printed); Stop or Ctrl-C ends it\n"
         "  --retest N           test a unit that did not pass again, up to N more times\n"
         "In a session --json FILE appends a JSON line per attempt.\n"
         "  --help               this text\n"
         "\n"
         "Exit status: 0 when every step and every limit passed (in a session: every\n"
         "unit tested passed), 1 when the run did not pass or its record could not be\n"
         "written, 2 when it could not start (command line, plan, parameter file, library).\n"
         "docs/host-input.md says what the host refuses before it starts.\n";
}

bool ParseOptions(int argc, const char *const *argv, Options &o, std::string &error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool inlineValue = false;
    const std::size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.resize(eq);
      inlineValue = true;
    }
    auto take = [&](std::string &into) {
      if (!inlineValue) {
        if (i + 1 >= argc) {
          error = arg + " needs a value";
          return false;
        }
        value = argv[++i];
      }
      if (value.empty()) {
        error = arg + " needs a value";
        return false;
      }
      into = value;
      return true;
    };
    // A whole number from low to high.
    auto count = [&](int &into, int low, int high) {
      std::string text;
      if (!take(text)) return false;
      std::size_t used = 0;
      long long n = -1;
      try {
        n = std::stoll(text, &used);
      } catch (const std::exception &) {
        used = 0;
      }
      if (used != text.size() || text[0] == '+' || text[0] == '-' || n < low || n > high) {
        error = arg + " takes a whole number from " + std::to_string(low) + " to " + std::to_string(high) + ", not \"" +
                text + "\"";
        return false;
      }
      into = static_cast<int>(n);
      return true;
    };
    // An option of one value given twice is a mistake, not a choice.
    auto takeOnce = [&](std::string &into) {
      if (!into.empty()) {
        error = arg + " given twice";
        return false;
      }
      return take(into);
    };
    auto flag = [&](bool &into) {
      if (inlineValue) {
        error = arg + " takes no value";
        return false;
      }
      into = true;
      return true;
    };
    std::string item;
    bool ok = true;
    if (arg == "--params") {
      ok = takeOnce(o.parameters);
    } else if (arg == "--library") {
      ok = takeOnce(o.library);
    } else if (arg == "--json") {
      ok = takeOnce(o.json);
    } else if (arg == "--station") {
      ok = takeOnce(o.station);
    } else if (arg == "--fault") {
      ok = take(item);
      // The texts name the simulation's operations: checked once it is loaded.
      if (ok && item == "list") {
        o.listFaults = true;
      } else if (ok) {
        o.faults.push_back(item);
      }
    } else if (arg == "--scenario") {
      ok = take(item);
      // The names are the simulation's: checked once it is loaded.
      if (ok && item == "list") {
        o.listScenarios = true;
      } else if (ok) {
        o.scenarios.push_back(item);
      }
    } else if (arg == "--units") {
      ok = count(o.units, 1, 1000000);
    } else if (arg == "--serials") {
      ok = takeOnce(o.serials);
    } else if (arg == "--serial-prompt") {
      ok = flag(o.serialPrompt);
    } else if (arg == "--serve") {
      ok = takeOnce(o.serve);
    } else if (arg == "--retest") {
      ok = count(o.retest, 0, 100);
    } else if (arg == "--db") {  // the results database
      ok = takeOnce(o.db);
    } else if (arg == "--no-db") {
      ok = flag(o.noDb);
    } else if (arg == "--operator") {
      ok = takeOnce(o.operatorName);
    } else if (arg == "--fast") {
      ok = flag(o.fast);
    } else if (arg == "--keep-going") {
      ok = flag(o.keepGoing);
    } else if (arg == "--quiet") {
      ok = flag(o.quiet);
    } else if (arg == "--strict") {
      ok = flag(o.strict);
    } else if (arg == "--help" || arg == "-h") {
      ok = flag(o.help);
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg;
      ok = false;
    } else if (!o.plan.empty()) {
      error = "one plan at a time: " + o.plan + " and " + arg;
      ok = false;
    } else {
      o.plan = arg;
    }
    if (!ok) return false;
  }
  if (o.help || o.listScenarios || o.listFaults) return true;
  if (o.noDb && !o.db.empty()) {
    error = "--db and --no-db contradict each other";
    return false;
  }
  if (o.plan.empty()) {
    error = "no plan file given";
    return false;
  }
  if ((o.units > 0) + !o.serials.empty() + o.serialPrompt + !o.serve.empty() > 1) {
    error = "name the units one way: --units, --serials, --serial-prompt or --serve";
    return false;
  }
  if (o.retest > 0 && !o.session()) {
    error = "--retest needs a session (--units, --serials, --serial-prompt or --serve)";
    return false;
  }
  if (o.parameters.empty()) {
    error = "no parameter file given (--params FILE)";
    return false;
  }
  return true;
}

}  // namespace vorn_host
