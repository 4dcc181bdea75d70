// vorn-results: the results database from the command line, over a station's
// SQLite file or the line's PostgreSQL server.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "core/command_line.h"
#include "os/inputs.h"
#include "os/text.h"
#include "outputs/results/report_command.h"
#include "outputs/results/sink.h"
#include "tools/common/filter.h"
#include "tools/results/queries.h"

namespace {

using namespace vorn_results;
using vorn_host::CommandLine;

constexpr const char *kTool = "vorn-results";
constexpr int kFailed = 1;

CommandLine Options() {
  CommandLine line;
  line.value("--db", "TARGET", "the SQLite file or the PostgreSQL server (default: results.sqlite)")
      .note("")
      .note("export:")
      .flag("--csv", "CSV, the one format it writes (required)")
      .flag("--long", "one row per result, not per attempt")
      .flag("--raw-cells", "text cells as stored, without the guard against spreadsheet\nformulas")
      .note("")
      .note("units:")
      .value("--serial", "S", "the phone's serial (required)")
      .note("")
      .note("summary:");
  vorn_reports::AddFilterOptions(line);
  line.note("")
      .note("forward:")
      .value("--spool", "FILE", "the spool it sends on (default: results-spool.sqlite)")
      .note("")
      .flag("--help", "this text");
  return line;
}

std::string Usage(const CommandLine &line) {
  return "usage: vorn-results [--db PATH|postgresql://...] COMMAND [options]\n"
         "\n"
         "  export --csv       one row per unit attempt, a column per limited result (Export[entry]);\n"
         "                     with --long one row per result\n"
         "  units --serial S   every attempt of one phone\n"
         "  summary            the tally of the units per station and day\n"
         "  forward            record what sessions kept beside --db's file or spool (a\n"
         "                     locked or full disk); for a server, send it the spooled\n"
         "                     units that belong to it (those of other servers stay)\n"
         "\n" +
         line.describe() +
         "\n"
         "Exit status: 0 done, 1 the database failed, 2 a bad command line.\n";
}

// The options each command takes; any other given is a mistake.
std::string Misplaced(const CommandLine &line, const std::string &command) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> owners = {
      {"export", {"--csv", "--long", "--raw-cells"}},
      {"units", {"--serial"}},
      {"summary",
       {"--since", "--until", "--station", "--plan", "--include-faults", "--include-engineering", "--include-golden"}},
      {"forward", {"--spool"}},
  };
  for (const auto &[owner, options] : owners) {
    for (const std::string &o : options) {
      if (owner != command && line.has(o)) return o + " is for " + owner + ", not " + command;
    }
  }
  return "";
}

// Why the command line cannot run, or "".
std::string Check(const CommandLine &o, const std::string &db, vorn_reports::LineFilter &filter) {
  const std::vector<std::string> &args = o.arguments();
  if (args.empty()) return "no command given";
  const std::string &command = args[0];
  if (args.size() > 1) return "one command at a time: " + command + " and " + args[1];
  if (command != "export" && command != "units" && command != "summary" && command != "forward") {
    return "unknown command " + command;
  }
  std::string error = Misplaced(o, command);
  if (!error.empty()) return error;
  if (command == "export" && !o.has("--csv")) return "export needs --csv (the one format it writes)";
  if (command == "units" && !o.has("--serial")) return "units needs --serial S";
  std::string why;
  if (command == "forward" && IsServerTarget(db) && ServerAddress(db, why).empty()) return "--db: " + why;
  if (command == "summary" && !vorn_reports::ReadFilter(o, filter, error)) return error;
  // A file that is not there is a mistake, not a new empty database.
  vorn_host::InputFile file;
  if (command != "forward" && !IsServerTarget(db) &&
      !vorn_host::CheckInput(db, "results database", UINT64_MAX, true, file, error)) {
    return error;
  }
  return "";
}

int Failed(const std::string &why) {
  std::fprintf(stderr, "%s: %s\n", kTool, vorn_host::TerminalText(why).c_str());
  return kFailed;
}

// The summary's own command, as it was typed, for the hints that add an option.
std::string SummaryCommand(int argc, char **argv) {
  std::vector<std::string> words(argv, argv + argc);
  return vorn_reports::CommandText(words);
}

// forward: what it recorded and sent, and what stays where, with the count
// and the address of every other server's units.
int Forwarded(const std::string &db, const std::string &spool) {
  ForwardReport report;
  std::string error;
  const bool ok = ForwardKept(db, spool, report, error);
  for (const std::string &note : report.notes) std::printf("%s\n", vorn_host::TerminalText(note).c_str());
  const std::string store = vorn_host::TerminalText(IsServerTarget(db) ? spool : db);
  if (report.recovered > 0) std::printf("recorded %zu records kept beside %s\n", report.recovered, store.c_str());
  if (IsServerTarget(db))
    std::printf("forwarded %zu units; %zu wait in %s\n", report.forwarded, report.left,
                vorn_host::TerminalText(spool).c_str());
  for (const auto &[server, count] : report.elsewhere) {
    if (server.empty()) {
      std::printf("kept: %zu units of an older vorn-host that did not say for which server\n", count);
    } else {
      std::printf("kept for another server: %zu units for %s\n", count, vorn_host::TerminalText(server).c_str());
    }
  }
  if (!IsServerTarget(db) && report.recovered == 0 && ok) {
    std::printf("no records were kept beside %s\n", vorn_host::TerminalText(db).c_str());
  }
  return ok ? 0 : Failed(error);
}

}  // namespace

int main(int argc, char **argv) {
  vorn_host::MakeStandardDescriptorsValid();
  CommandLine o = Options();
  int status = 0;
  if (!vorn_host::ParseToolCommandLine(o, argc, argv, kTool, Usage, status)) return status;
  std::string error;
  const std::string db = o.has("--db") ? o.text("--db") : kDefaultDatabase;
  vorn_reports::LineFilter filter;
  error = Check(o, db, filter);
  if (!error.empty()) return vorn_host::RefuseCommandLine(kTool, error, Usage(o));
  const std::string command = o.arguments()[0];
  if (command == "forward") return Forwarded(db, o.has("--spool") ? o.text("--spool") : kSpoolFile);
  std::unique_ptr<Store> store = Store::Open(db, false, error);
  if (!store) return Failed(error);
  bool ok = false;
  const CsvOptions csv{!o.has("--raw-cells")};
  if (command == "export") {
    ok = o.has("--long") ? ExportLong(*store, std::cout, csv, error) : ExportCsv(*store, std::cout, csv, error);
  }
  if (command == "units") ok = ListUnits(*store, o.text("--serial"), std::cout, error);
  if (command == "summary") ok = Summary(*store, filter, SummaryCommand(argc, argv), std::cout, error);
  return ok ? 0 : Failed(error);
}
