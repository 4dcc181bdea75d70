// vorn-report: a unit's page or a line's page, as one self-contained HTML
// file, from the results database.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "outputs/results/database.h"
#include "os/inputs.h"
#include "os/os.h"
#include "tools/report/pages.h"
#include "outputs/results/store.h"

namespace fs = std::filesystem;
using namespace vorn_reports;

namespace {

constexpr const char *kUsage =
    "usage: vorn-report unit SERIAL [--attempt N] [--db DB] -o FILE\n"
    "       vorn-report line [--since T] [--until T] [--station S] [--plan P] [--db DB] -o FILE\n"
    "  DB: a SQLite file (default results.sqlite) or postgresql://...\n"
    "  T: UTC time as the database holds it, for example 2024-05-01T08:00:00Z\n";

int Bad(const std::string &message) {
  std::fprintf(stderr, "vorn-report: %s\n%s", message.c_str(), kUsage);
  return 2;
}

// Written beside the target and renamed over it: never a half page.
bool WriteFile(const fs::path &path, const std::string &text, std::string &error) {
  vorn_host::ReplacingFile file;
  if (file.prepare(path.string(), error) && file.commit(text, error)) return true;
  error = path.string() + ": " + error;
  return false;
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Bad("unit or line?");
  const std::string mode = args[0];
  if (mode != "unit" && mode != "line") return Bad("unknown command \"" + mode + "\"");
  std::string serial, db = "results.sqlite", output;
  int attempt = 0;
  LineFilter filter;
  std::size_t i = 1;
  if (mode == "unit") {
    if (args.size() < 2 || args[1].empty() || args[1][0] == '-') return Bad("unit needs a SERIAL");
    serial = args[1];
    i = 2;
  }
  for (; i < args.size(); ++i) {
    const std::string &a = args[i];
    if (i + 1 >= args.size()) return Bad(a + " needs a value, or is not an option");
    const std::string &v = args[++i];
    if (a == "-o") {
      output = v;
    } else if (a == "--db") {
      db = v;
    } else if (mode == "unit" && a == "--attempt") {
      try {
        std::size_t used = 0;
        attempt = std::stoi(v, &used);
        if (used != v.size() || attempt < 1) throw std::invalid_argument(v);
      } catch (const std::exception &) {
        return Bad("--attempt needs a whole number from 1, not \"" + v + "\"");
      }
    } else if (mode == "line" && a == "--since") {
      filter.since = v;
    } else if (mode == "line" && a == "--until") {
      filter.until = v;
    } else if (mode == "line" && a == "--station") {
      filter.station = v;
    } else if (mode == "line" && a == "--plan") {
      filter.plan = v;
    } else {
      return Bad("unknown option \"" + a + "\" for " + mode);
    }
  }
  if (output.empty()) return Bad("-o FILE is missing");
  const fs::path out(output);
  const fs::path unitsDir = out.parent_path() / (out.stem().string() + "-units");
  std::string error;
  if (!vorn_results::IsServerTarget(db)) {
    // The same checks as the host's: a readable regular file, never overwritten.
    vorn_host::InputFile database;
    if (!vorn_host::CheckInput(db, "results database", UINT64_MAX, true, database, error)) return Bad(error);
    std::string clash = vorn_host::OutputClash(output, "page", {database});
    if (clash.empty() && mode == "line")
      clash = vorn_host::OutputClash(unitsDir.string(), "unit pages' folder", {database});
    if (!clash.empty()) return Bad(clash);
  }

  std::unique_ptr<vorn_results::Store> store = vorn_results::Store::Open(db, false, error);
  if (!store) return Bad(db + ": " + error);
  const Source source{*store};

  if (mode == "unit") {
    UnitView unit;
    if (!ReadUnit(source, serial, attempt, unit, error)) return Bad(error);
    if (!WriteFile(out, UnitPage(unit), error)) return Bad(error);
    std::printf("%s: unit %s attempt %d, %s\n", output.c_str(), unit.serial.c_str(), unit.attempt,
                unit.verdict.c_str());
    return 0;
  }
  LineView line;
  if (!ReadLine(source, filter, line, error)) return Bad(error);
  if (!line.failedUnits.empty()) {
    std::error_code ec;
    fs::create_directories(unitsDir, ec);
    if (ec) return Bad(unitsDir.string() + ": " + ec.message());
    for (const FailedUnit &f : line.failedUnits) {
      UnitView unit;
      if (!ReadUnit(source, f.serial, f.attempt, unit, error) ||
          !WriteFile(unitsDir / UnitPageName(f.serial, f.attempt), UnitPage(unit), error)) {
        return Bad(error);
      }
    }
  }
  if (!WriteFile(out, LinePage(line, unitsDir.filename().string()), error)) return Bad(error);
  std::printf("%s: %lld units, %lld attempts, %zu failing attempts listed in %s/\n", output.c_str(),
              static_cast<long long>(line.units), static_cast<long long>(line.attempts), line.failedUnits.size(),
              unitsDir.string().c_str());
  return 0;
}
