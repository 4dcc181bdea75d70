// vorn-report: a unit's page or a line's page, as one self-contained HTML
// file, from the results database.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/command_line.h"
#include "os/inputs.h"
#include "os/os.h"
#include "os/text.h"
#include "outputs/results/database.h"
#include "outputs/results/report_command.h"
#include "outputs/results/store.h"
#include "tools/common/filter.h"
#include "tools/report/pages.h"

namespace fs = std::filesystem;
using namespace vorn_reports;
using vorn_host::CommandLine;
using vorn_host::TerminalText;

namespace {

constexpr const char *kTool = "vorn-report";
constexpr int kCannotRun = 2;

CommandLine Options() {
  CommandLine line;
  line.value("-o", "FILE", "the page to write (required)")
      .value("--db", "DB", "a SQLite file (default results.sqlite) or postgresql://...")
      .note("")
      .note("unit:")
      .number("--attempt", "N", 1, 1000000, "the serial's Nth attempt (default: its latest)")
      .value("--attempt-id", "UUID", "the attempt of that UUID, in place of a SERIAL")
      .note("")
      .note("line:");
  AddFilterOptions(line);
  line.note("").flag("--help", "this text");
  return line;
}

std::string Usage(const CommandLine &line) {
  return "usage: vorn-report unit SERIAL [--attempt N] [--db DB] -o FILE\n"
         "       vorn-report unit --attempt-id UUID [--db DB] -o FILE\n"
         "       vorn-report line [--since T] [--until T] [--station S] [--plan P] [--include-faults]\n"
         "                        [--include-engineering] [--include-golden] [--db DB] -o FILE\n"
         "\n" +
         line.describe() +
         "\n"
         "Exit status: 0 written, 2 a bad command line, an unknown unit or a database that\n"
         "cannot be read; nothing is written then.\n";
}

// The options of the other command, if one was given.
std::string Misplaced(const CommandLine &line, const std::string &mode) {
  const std::vector<std::string> unit = {"--attempt", "--attempt-id"};
  const std::vector<std::string> lineOnly = {
      "--since", "--until", "--station", "--plan", "--include-faults", "--include-engineering", "--include-golden"};
  for (const std::string &o : mode == "unit" ? lineOnly : unit) {
    if (line.has(o)) return o + " is for vorn-report " + (mode == "unit" ? "line" : "unit");
  }
  return "";
}

// Written beside the target and renamed over it: never a half page.
bool WriteFile(const fs::path &path, const std::string &text, std::string &error) {
  vorn_host::ReplacingFile file;
  if (file.prepare(path.string(), error) && file.commit(text, error)) return true;
  error = path.string() + ": " + error;
  return false;
}

// A command a page shows for pasting anywhere: whole paths.
std::string Whole(const std::string &path) {
  std::error_code ec;
  const fs::path whole = fs::absolute(path, ec);
  return ec ? path : whole.lexically_normal().string();
}
std::string ShownDb(const std::string &db) { return vorn_results::IsServerTarget(db) ? ShownTarget(db) : Whole(db); }
std::string ToolPath(const std::string &name) {
  return vorn_host::DynamicLibrary::besideExecutable(vorn_host::ExecutableFile(name).c_str());
}

std::string AttemptsCommand(const std::string &db, const std::string &serial) {
  return CommandText({ToolPath("vorn-results"), "--db", ShownDb(db), "units", "--serial", serial});
}

std::string LineCommand(const std::string &db, const LineFilter &f, const std::string &output) {
  std::vector<std::string> words = {ToolPath(kTool), "line", "--db", ShownDb(db)};
  for (const auto &[option, value] : {std::pair<const char *, std::string>{"--since", f.since},
                                      {"--until", f.until},
                                      {"--station", f.station},
                                      {"--plan", f.plan}}) {
    if (!value.empty()) words.insert(words.end(), {option, value});
  }
  if (f.includeFaults) words.push_back("--include-faults");
  if (f.includeEngineering) words.push_back("--include-engineering");
  if (f.includeGolden) words.push_back("--include-golden");
  words.insert(words.end(), {"-o", Whole(output)});
  return CommandText(words);
}

// The file checks of the host: a readable regular file, never overwritten.
std::string CheckFiles(const std::string &db, const std::string &output, const fs::path &unitsDir, bool line) {
  if (vorn_results::IsServerTarget(db)) return "";
  vorn_host::InputFile database;
  std::string error;
  if (!vorn_host::CheckInput(db, "results database", UINT64_MAX, true, database, error)) return error;
  std::string clash = vorn_host::OutputClash(output, "page", {database});
  if (clash.empty() && line) clash = vorn_host::OutputClash(unitsDir.string(), "unit pages' folder", {database});
  return clash;
}

int Failed(const std::string &why) {
  std::fprintf(stderr, "%s: %s\n", kTool, TerminalText(why).c_str());
  return kCannotRun;
}

int UnitCommand(const Source &source, const CommandLine &o, const std::string &db, const std::string &serial) {
  UnitView unit;
  std::string error;
  const bool found = o.has("--attempt-id")
                         ? ReadAttempt(source, o.text("--attempt-id"), unit, error)
                         : ReadUnit(source, serial, static_cast<int>(o.number("--attempt")), unit, error);
  const std::string output = o.text("-o");
  if (!found || !WriteFile(output, UnitPage(unit, AttemptsCommand(db, unit.serial)), error)) return Failed(error);
  std::printf("%s\n", TerminalText(output + ": unit " + unit.serial + " attempt " + std::to_string(unit.attempt) +
                                   ", " + unit.verdict)
                          .c_str());
  return 0;
}

int LineCommandRun(const Source &source, const LineFilter &filter, const std::string &db, const std::string &output,
                   const fs::path &unitsDir) {
  LineView line;
  std::string error;
  if (!ReadLine(source, filter, line, error)) return Failed(error);
  // A page for each failing attempt listed, and each of the slowest.
  std::vector<std::string> pages;
  for (const FailedUnit &f : line.failedUnits) pages.push_back(f.uuid);
  for (const SlowUnit &s : line.slowest) pages.push_back(s.uuid);
  if (!pages.empty()) {
    std::error_code ec;
    fs::create_directories(unitsDir, ec);
    if (ec) return Failed(unitsDir.string() + ": " + ec.message());
  }
  for (const std::string &uuid : pages) {
    UnitView unit;
    if (!ReadAttempt(source, uuid, unit, error) ||
        !WriteFile(unitsDir / UnitPageName(uuid), UnitPage(unit, AttemptsCommand(db, unit.serial)), error)) {
      return Failed(error);
    }
  }
  const std::string page = LinePage(line, unitsDir.filename().string(), LineCommand(db, filter, output));
  if (!WriteFile(output, page, error)) return Failed(error);
  std::printf("%s\n", TerminalText(output + ": " + std::to_string(line.tally.units) + " units, " +
                                   std::to_string(line.tally.attempts) + " attempts, " +
                                   std::to_string(line.failedUnits.size()) + " failing attempts listed in " +
                                   unitsDir.string() + "/")
                          .c_str());
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  vorn_host::MakeStandardDescriptorsValid();
  CommandLine o = Options();
  int status = 0;
  if (!vorn_host::ParseToolCommandLine(o, argc, argv, kTool, Usage, status)) return status;
  std::string error;
  const std::vector<std::string> &args = o.arguments();
  const std::string mode = args.empty() ? "" : args[0];
  LineFilter filter;
  if (mode != "unit" && mode != "line") {
    error = mode.empty() ? "unit or line?" : "unknown command \"" + mode + "\"";
  } else if (const std::string misplaced = Misplaced(o, mode); !misplaced.empty()) {
    error = misplaced;
  } else if (mode == "unit" && o.has("--attempt-id") && (args.size() > 1 || o.has("--attempt"))) {
    error = "--attempt-id names the attempt: no SERIAL or --attempt beside it";
  } else if (mode == "unit" && !o.has("--attempt-id") && args.size() != 2) {
    error = args.size() < 2 ? "unit needs a SERIAL or --attempt-id UUID" : "one unit at a time";
  } else if (mode == "line" && args.size() > 1) {
    error = "line takes no plain argument, not \"" + args[1] + "\"";
  } else if (!o.has("-o")) {
    error = "-o FILE is missing";
  } else if (mode == "line") {
    ReadFilter(o, filter, error);
  }
  if (!error.empty()) return vorn_host::RefuseCommandLine(kTool, error, Usage(o));

  const std::string db = o.has("--db") ? o.text("--db") : "results.sqlite";
  const std::string output = o.text("-o");
  const fs::path out(output);
  const fs::path unitsDir = out.parent_path() / (out.stem().string() + "-units");
  error = CheckFiles(db, output, unitsDir, mode == "line");
  if (!error.empty()) return vorn_host::RefuseCommandLine(kTool, error, Usage(o));
  std::unique_ptr<vorn_results::Store> store = vorn_results::Store::Open(db, false, error);
  if (!store) return Failed(ShownDb(db) + ": " + error);
  const Source source{*store, {}};
  return mode == "unit" ? UnitCommand(source, o, db, mode == "unit" && args.size() > 1 ? args[1] : "")
                        : LineCommandRun(source, filter, db, output, unitsDir);
}
