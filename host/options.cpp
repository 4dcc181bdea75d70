#include "options.h"

#include <cstring>

namespace vorn_host {

namespace {

std::string Status(int64_t status) { return std::to_string(status); }

// A GPIB address where nothing of the station listens.
constexpr int32_t kEmptyAddress = 30;

}  // namespace

std::string Usage() {
  return "usage: vorn-host --params FILE [options] PLAN\n"
         "\n"
         "Runs the steps of PLAN, one a line, through the Vorn_CMU200 library on the\n"
         "simulated station, and prints a results table.\n"
         "\n"
         "  --params FILE        the parameter file the steps read (required)\n"
         "  --library FILE       the library to load (default: libVorn_CMU200.so beside vorn-host)\n"
         "  --fast               the station's waits on the virtual clock: no real pauses\n"
         "  --keep-going         run on after a step ERROR (default: stop at the first)\n"
         "  --json FILE          also write the results as a JSON record\n"
         "  --station NAME       the station's name in the table and the record\n"
         "  --fault OP=STATUS[@N[+]]\n"
         "                       make outside operation OP return STATUS at its Nth call\n"
         "                       (default 1st), or from its Nth call on with +; repeatable\n"
         "  --scenario NAME      a named station fault; --scenario list shows them\n"
         "  --db PATH|postgresql://...\n"
         "                       record the units in this SQLite file or PostgreSQL server\n"
         "                       (a session's default: results.sqlite in the working folder)\n"
         "  --no-db              record no units in a database\n"
         "  --operator NAME      the operator, kept with the session's record\n"
         "  --quiet              no progress while running\n"
         "  --help               this text\n"
         "\n"
         "Exit status: 0 when every step and every limit passed, 1 when the run did not\n"
         "pass, 2 when it could not start (command line, plan, parameter file, library).\n";
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
      ok = take(o.parameters);
    } else if (arg == "--library") {
      ok = take(o.library);
    } else if (arg == "--json") {
      ok = take(o.json);
    } else if (arg == "--station") {
      ok = take(o.station);
    } else if (arg == "--fault") {
      ok = take(item);
      if (ok) o.faults.push_back(item);
    } else if (arg == "--scenario") {
      ok = take(item);
      if (ok && item == "list") {
        o.listScenarios = true;
      } else if (ok && FindScenario(item) == nullptr) {
        error = "unknown scenario \"" + item + "\" (--scenario list shows them)";
        ok = false;
      } else if (ok) {
        o.scenarios.push_back(item);
      }
    } else if (arg == "--db") {  // the results database
      ok = take(o.db);
    } else if (arg == "--no-db") {
      ok = flag(o.noDb);
    } else if (arg == "--operator") {
      ok = take(o.operatorName);
    } else if (arg == "--fast") {
      ok = flag(o.fast);
    } else if (arg == "--keep-going") {
      ok = flag(o.keepGoing);
    } else if (arg == "--quiet") {
      ok = flag(o.quiet);
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
  if (o.help || o.listScenarios) return true;
  if (o.noDb && !o.db.empty()) {
    error = "--db and --no-db contradict each other";
    return false;
  }
  if (o.plan.empty()) {
    error = "no plan file given";
    return false;
  }
  if (o.parameters.empty()) {
    error = "no parameter file given (--params FILE)";
    return false;
  }
  return true;
}

const std::vector<Scenario> &Scenarios() {
  static const std::vector<Scenario> list = {
      {"supply-absent", "no supply answers at its GPIB address", {},
       [](station::Station &st) { st.supply.setGpibAddress(kEmptyAddress); }},
      {"tester-absent", "no tester answers at its GPIB address", {},
       [](station::Station &st) { st.tester.gpibAddress = kEmptyAddress; }},
      {"no-com-port", "the station computer has only COM1 and COM2", {},
       [](station::Station &st) { st.phone.setPorts({1, 2}); }},
      {"phone-off", "the phone stays off: neither the supply nor the operator starts it", {},
       [](station::Station &st) { st.phone.setStaysOff(true); }},
      {"phone-normal-mode", "the phone restarts in normal mode whatever it is asked for", {},
       [](station::Station &st) { st.phone.setStaysInNormalMode(true); }},
      {"phone-without-egsm", "the phone lacks the EGSM band: it never camps on the EGSM cell", {},
       [](station::Station &st) { st.phone.setBands({2, 3, 4}); }},
      {"handover-refused", "the tester refuses every handover",
       {"RSCMU_GSM_Sig_HandOver=" + Status(station::kErrorHandoverTarget) + "@1+"}},
  };
  return list;
}

const Scenario *FindScenario(const std::string &name) {
  for (const Scenario &s : Scenarios()) {
    if (name == s.name) return &s;
  }
  return nullptr;
}

}  // namespace vorn_host
