// vorn-results: the results database from the command line, over a station's
// SQLite file or the line's PostgreSQL server.
#include <cstdio>
#include <iostream>
#include <string>

#include "outputs/results/sink.h"
#include "tools/results/queries.h"

namespace {

using namespace vorn_results;

constexpr int kCannotRun = 2;

const char *kUsage =
    "usage: vorn-results [--db PATH|postgresql://...] COMMAND\n"
    "\n"
    "  export --csv       one row per unit attempt, a column per limited result (Export[entry])\n"
    "  units --serial S   every attempt of one phone\n"
    "  summary            units, first-pass yield and final yield per station and day\n"
    "  forward            record what sessions kept beside --db's file or spool (a\n"
    "                     locked or full disk); for a server, send it the spooled\n"
    "                     units that belong to it (those of other servers stay)\n"
    "\n"
    "  --db TARGET        the SQLite file or the PostgreSQL server (default: results.sqlite)\n"
    "  --spool FILE       the spool that forward sends on (default: results-spool.sqlite)\n"
    "\n"
    "Exit status: 0 done, 1 the database failed, 2 a bad command line.\n";

int Usage(const std::string &why) {
  std::fprintf(stderr, "vorn-results: %s\n\n%s", why.c_str(), kUsage);
  return kCannotRun;
}

int Failed(const std::string &why) {
  std::fprintf(stderr, "vorn-results: %s\n", why.c_str());
  return 1;
}

// forward: what it recorded and sent, and what stays where, with the count
// and the address of every other server's units.
int Forwarded(const std::string &db, const std::string &spool) {
  ForwardReport report;
  std::string error;
  const bool ok = ForwardKept(db, spool, report, error);
  for (const std::string &note : report.notes) std::printf("%s\n", note.c_str());
  const std::string store = IsServerTarget(db) ? spool : db;
  if (report.recovered > 0) std::printf("recorded %zu records kept beside %s\n", report.recovered, store.c_str());
  if (IsServerTarget(db))
    std::printf("forwarded %zu units; %zu wait in %s\n", report.forwarded, report.left, spool.c_str());
  for (const auto &[server, count] : report.elsewhere) {
    if (server.empty()) {
      std::printf("kept: %zu units of an older vorn-host that did not say for which server\n", count);
    } else {
      std::printf("kept for another server: %zu units for %s\n", count, server.c_str());
    }
  }
  if (!IsServerTarget(db) && report.recovered == 0 && ok) std::printf("no records were kept beside %s\n", db.c_str());
  return ok ? 0 : Failed(error);
}

}  // namespace

int main(int argc, char **argv) {
  std::string db = kDefaultDatabase;
  std::string spool = kSpoolFile;
  std::string command;
  std::string serial;
  bool csv = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string &into) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return false;
      into = argv[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--db" || arg == "--spool" || arg == "--serial") {
      if (!value(arg == "--db" ? db : arg == "--spool" ? spool : serial)) return Usage(arg + " needs a value");
    } else if (arg == "--csv") {
      csv = true;
    } else if (arg.rfind("-", 0) == 0) {
      return Usage("unknown option " + arg);
    } else if (!command.empty()) {
      return Usage("one command at a time: " + command + " and " + arg);
    } else {
      command = arg;
    }
  }
  if (command.empty()) return Usage("no command given");
  if (command == "export" && !csv) return Usage("export needs --csv (the one format it writes)");
  if (command == "units" && serial.empty()) return Usage("units needs --serial S");
  std::string why;
  if (command == "forward" && IsServerTarget(db) && ServerAddress(db, why).empty()) return Usage("--db: " + why);
  if (command != "export" && command != "units" && command != "summary" && command != "forward") {
    return Usage("unknown command " + command);
  }

  std::string error;
  if (command == "forward") return Forwarded(db, spool);
  // A file that is not there is a mistake, not a new empty database.
  std::FILE *probe = IsServerTarget(db) ? nullptr : std::fopen(db.c_str(), "rb");
  if (!IsServerTarget(db) && probe == nullptr) return Usage(db + ": no such results file");
  if (probe != nullptr) std::fclose(probe);
  std::unique_ptr<Store> store = Store::Open(db, false, error);
  if (!store) return Failed(error);
  bool ok = false;
  if (command == "export") ok = ExportCsv(*store, std::cout, error);
  if (command == "units") ok = ListUnits(*store, serial, std::cout, error);
  if (command == "summary") ok = Summary(*store, std::cout, error);
  return ok ? 0 : Failed(error);
}
