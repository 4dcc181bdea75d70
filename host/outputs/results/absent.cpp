// The results database in vorn-host built without it (VORN_RESULTS_DATABASE
// off, or a Windows build without SQLite and libpq): --db is refused, with why.
#include "outputs/output.h"

namespace vorn_host {

namespace {

void AddOptions(CommandLine &line) {
  line.value("--db", "PATH|postgresql://...", "the results database (not in this build of vorn-host)")
      .flag("--no-db", "record no attempt in a database");
}

std::unique_ptr<Output> Open(OutputSetup &setup, std::string &error) {
  if (setup.options.has("--db")) error = "--db: this vorn-host is built without the results database";
  return nullptr;
}

}  // namespace

OutputModule ResultsOutput() { return {"results", AddOptions, nullptr, Open}; }

}  // namespace vorn_host
