// vorn-results-feeder: a session of synthetic units through DatabaseSink, for
// the tests that need whole processes (killed, several at once, a server
// going away). Each attempt's UUID is appended to --log once the sink holds it.
//   vorn-results-feeder --db TARGET --spool FILE --log FILE [--units N]
//                       [--station NAME] [--pace-ms M] [--session-file FILE]
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "os/os.h"
#include "outputs/results/sink.h"
#include "synthetic.h"

int main(int argc, char **argv) {
  std::string db, spool = "results-spool.sqlite", log, station = "feeder", sessionFile;
  long units = 1;
  int paceMs = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    const char *value = argv[i + 1];
    if (arg == "--db")
      db = value;
    else if (arg == "--spool")
      spool = value;
    else if (arg == "--log")
      log = value;
    else if (arg == "--units")
      units = std::stol(value);
    else if (arg == "--station")
      station = value;
    else if (arg == "--pace-ms")
      paceMs = std::stoi(value);
    else if (arg == "--session-file")
      sessionFile = value;
    else
      return std::fprintf(stderr, "feeder: unknown option %s\n", arg.c_str()), 2;
  }
  std::string error;
  std::unique_ptr<vorn_results::DatabaseSink> sink = vorn_results::DatabaseSink::Open(db, spool, error);
  if (!sink) return std::fprintf(stderr, "feeder: %s\n", error.c_str()), 2;
  // Written straight to the file: what is logged survives a kill -9.
  const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (logFd < 0) return std::fprintf(stderr, "feeder: cannot write %s\n", log.c_str()), 2;

  vorn_host::SessionRecord session = vorn_results_test::SyntheticSession(station);
  if (!sessionFile.empty()) {
    FILE *f = std::fopen(sessionFile.c_str(), "w");
    if (f == nullptr) return 2;
    std::fprintf(f, "%s\n", session.id.c_str());
    std::fclose(f);
  }
  if (!sink->sessionStarted(session, error)) std::fprintf(stderr, "feeder: %s\n", error.c_str());
  const vorn_host::Plan plan = vorn_results_test::TypicalPlan();
  const auto shared = std::make_shared<const vorn_host::SessionRecord>(session);
  std::mt19937 random(static_cast<unsigned>(getpid()));
  int status = 0;
  for (long n = 1; n <= units; ++n) {
    vorn_host::UnitRecord unit = vorn_results_test::SyntheticUnit(plan, static_cast<int>(n), 1, true, random);
    unit.session = shared;
    if (!sink->attemptFinished(unit, error)) std::fprintf(stderr, "feeder: %s\n", error.c_str());
    if (sink->lastKept()) {
      const std::string line = unit.uuid + "\n";
      if (write(logFd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) status = 1;
    } else {
      status = 1;
    }
    if (paceMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(paceMs));
  }
  session.ended = vorn_host::UtcNow();
  if (!sink->sessionEnded(session, error)) {
    std::fprintf(stderr, "feeder: %s\n", error.c_str());
    status = 1;
  }
  close(logFd);
  return status;
}
