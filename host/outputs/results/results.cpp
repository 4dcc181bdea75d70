// The results database as one of vorn-host's outputs: every attempt, a
// single run's too, in results.sqlite in the working folder (--db FILE), or
// on the line's PostgreSQL server through the local spool (--db
// postgresql://...); --no-db records none. The session's summary ends with
// the command that makes its line report.
#include <cstdio>
#include <iostream>

#include "core/health_json.h"
#include "os/os.h"
#include "outputs/output.h"
#include "outputs/results/report_command.h"
#include "outputs/results/sink.h"

namespace vorn_host {

namespace {

class Results : public Output, public Subscriber {
 public:
  explicit Results(std::unique_ptr<vorn_results::DatabaseSink> sink) : sink_(std::move(sink)) {}
  Subscriber &subscriber() override { return *this; }

  Delivery sessionStarted(const SessionRecord &session) override {
    std::string error;
    if (sink_->sessionStarted(session, error)) return Delivery::delivered();
    return sink_->serverTarget() ? Delivery::notice(error) : Delivery::lost(error);
  }
  // An attempt the database kept (in the file, or in the spool while the
  // server is away) is no lost record: the notice is said and the session goes on.
  Delivery attemptFinished(const UnitRecord &unit) override {
    std::string error;
    if (sink_->attemptFinished(unit, error)) {
      ++recorded_;
      return Delivery::delivered();
    }
    if (sink_->lastKept()) {
      ++recorded_;
      return Delivery::notice(error);
    }
    return Delivery::lost(error);
  }
  Delivery verified(const VerificationRecord &r) override { return health(kVerificationKind, HealthJson(r)); }
  Delivery calibrated(const CalibrationRecord &r) override { return health(kCalibrationKind, HealthJson(r)); }
  Delivery alarmed(const AlarmRecord &r) override { return health(kAlarmKind, HealthJson(r)); }
  Delivery locked(const LockRecord &r) override { return health(kLockKind, HealthJson(r)); }
  Delivery acknowledged(const AcknowledgementRecord &r) override { return health(kAcknowledgementKind, HealthJson(r)); }
  // Units still waiting for the server at the end are kept in the spool: said,
  // and no lost record.
  Delivery sessionEnded(const SessionEnd &end) override {
    std::string error;
    const bool ended = sink_->sessionEnded(*end.session, error);
    if (recorded_ > 0 && !end.recordLost && !end.session->single) {
      std::cout << "Line report: "
                << vorn_reports::LineReportCommand(ToolCommand("vorn-report"), sink_->target(), end.session->station,
                                                   end.session->started, end.session->ended)
                << "\n";
      std::cout.flush();
    }
    if (ended) return Delivery::delivered();
    return sink_->pending() > 0 ? Delivery::notice(error) : Delivery::lost(error);
  }

 private:
  // Kept in the file, or in the spool while the server is away, as an attempt is.
  Delivery health(const char *kind, const nlohmann::ordered_json &record) {
    std::string error;
    if (sink_->health(kind, nlohmann::json(record), error)) return Delivery::delivered();
    return sink_->lastKept() ? Delivery::notice(error) : Delivery::lost(error);
  }

  std::unique_ptr<vorn_results::DatabaseSink> sink_;
  int recorded_ = 0;
};

void AddOptions(CommandLine &line) {
  line.value("--db", "PATH|postgresql://...",
             "record every attempt in this SQLite file or PostgreSQL server\n(default: results.sqlite in the working "
             "folder)")
      .flag("--no-db", "record no attempt in a database");
}

std::unique_ptr<Output> Open(OutputSetup &setup, std::string &error) {
  const CommandLine &o = setup.options;
  if (o.has("--no-db") && o.has("--db")) {
    error = "--db and --no-db contradict each other";
    return nullptr;
  }
  if (o.has("--no-db")) return nullptr;
  const std::string target = o.has("--db") ? o.text("--db") : vorn_results::kDefaultDatabase;
  if (!vorn_results::IsServerTarget(target)) {
    error = ClaimOutput(setup, target, "results database");
    if (!error.empty()) return nullptr;
  }
  std::unique_ptr<vorn_results::DatabaseSink> sink =
      vorn_results::DatabaseSink::Open(target, vorn_results::kSpoolFile, error);
  if (!sink) return nullptr;
  return std::make_unique<Results>(std::move(sink));
}

}  // namespace

OutputModule ResultsOutput() { return {"results", AddOptions, nullptr, Open}; }

}  // namespace vorn_host
