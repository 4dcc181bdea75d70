// The results database as one of vorn-host's outputs: every attempt, a
// single run's too, in results.sqlite in the working folder (--db FILE), or
// on the line's PostgreSQL server through the local spool (--db
// postgresql://...); --no-db records none. A file or server the session may
// not write (read-only, damaged, refused, malformed) stops it before the
// first step. The session's summary ends with
// the command that makes its line report.
#include <libpq-fe.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>

#include "core/health_json.h"
#include "os/os.h"
#include "outputs/output.h"
#include "outputs/results/report_command.h"
#include "outputs/results/sink.h"

namespace vorn_host {

namespace {

using vorn_results::Database;
using vorn_results::Row;

// Which of two attempts of a serial came later: by its start, then its
// number; a stopped attempt comes before the same attempt with a verdict
// (the records' times are whole seconds).
bool Later(const LastAttempt &a, const LastAttempt &b) {
  if (a.started != b.started) return a.started > b.started;
  if (a.attempt != b.attempt) return a.attempt > b.attempt;
  return a.verdict != Verdict::kNotRun && b.verdict == Verdict::kNotRun;
}

// The serial's latest attempt since the moment, in one database.
bool LatestIn(Database &db, const std::string &serial, const std::string &since, std::optional<LastAttempt> &last,
              std::string &error) {
  return db.query(
      "SELECT unit_id, attempt, prior, verdict, started FROM unit WHERE serial = $1 AND started >= $2"
      " ORDER BY started DESC, attempt DESC, stopped ASC LIMIT 1",
      {serial, since},
      [&](const Row &r) {
        LastAttempt a;
        a.unitId = r[0].value_or("");
        a.attempt = std::atoi(r[1].value_or("1").c_str());
        a.prior = PriorOf(r[2].value_or("none")).value_or(Prior::kNone);
        a.verdict = VerdictOf(r[3].value_or("")).value_or(Verdict::kNotRun);
        a.started = r[4].value_or("");
        if (!last || Later(a, *last)) last = a;
        return false;
      },
      error);
}

// What earlier sessions recorded of a serial, read through connections of
// its own: the results file; for a server, the spool (the units not sent on
// yet, the newest) and the server, which is not asked again for a while
// after it did not answer, so that a scan never waits long for it.
class Earlier : public SerialHistory {
 public:
  explicit Earlier(std::string target) : target_(std::move(target)) {}

  bool latest(const std::string &serial, const std::string &since, std::optional<LastAttempt> &last,
              std::string &error) override {
    std::lock_guard<std::mutex> lock(mutex_);
    last.reset();
    const bool server = vorn_results::IsServerTarget(target_);
    if (!local_) local_ = vorn_results::OpenSqlite(server ? vorn_results::kSpoolFile : target_, error);
    if (!local_ || !LatestIn(*local_, serial, since, last, error)) return false;
    if (!server) return true;
    std::string why;
    if (!server_ && std::chrono::steady_clock::now() >= retry_) server_ = connect(why);
    if (server_ && LatestIn(*server_, serial, since, last, why)) return true;
    server_.reset();
    retry_ = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    error = "the results server: " + why;
    return last.has_value();  // what the spool holds is newer than anything sent on
  }

 private:
  std::unique_ptr<Database> connect(std::string &error) const {
    vorn_results::ServerLimits limits;
    limits.connect = std::chrono::seconds(2);
    limits.exchange = std::chrono::seconds(3);
    limits.statement = std::chrono::seconds(2);
    vorn_results::ServerProblem problem = vorn_results::ServerProblem::kNone;
    return vorn_results::ConnectPostgres(target_, limits, problem, error);
  }

  std::string target_;
  std::mutex mutex_;
  std::unique_ptr<Database> local_;
  std::unique_ptr<Database> server_;
  std::chrono::steady_clock::time_point retry_;
};

class Results : public Output, public Subscriber {
 public:
  Results(std::unique_ptr<vorn_results::DatabaseSink> sink, const std::string &target)
      : sink_(std::move(sink)), earlier_(target) {}
  Subscriber &subscriber() override { return *this; }
  SerialHistory *history() override { return &earlier_; }

  // Each attempt's record carries its session: a session's row that cannot
  // be written yet is written with the first attempt that can.
  Delivery sessionStarted(const SessionRecord &session) override {
    std::string error;
    if (sink_->sessionStarted(session, error)) return Delivery::delivered();
    return Delivery::notice(error);
  }
  // An attempt the database kept (in the file, in the spool while the server
  // is away, or in the fallback beside them) is no lost record: the notice is
  // said and the session goes on.
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
  // Units still waiting for the server at the end are kept in the spool, and
  // records the file could not take in the fallback: said, and no lost record.
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
    return sink_->lastKept() ? Delivery::notice(error) : Delivery::lost(error);
  }

 private:
  // Kept in the file, or in the spool while the server is away, as an attempt is.
  Delivery health(const char *kind, const nlohmann::ordered_json &record) {
    std::string error;
    if (sink_->health(kind, nlohmann::json(record), error)) return Delivery::delivered();
    return sink_->lastKept() ? Delivery::notice(error) : Delivery::lost(error);
  }

  std::unique_ptr<vorn_results::DatabaseSink> sink_;
  Earlier earlier_;
  int recorded_ = 0;
};

// The sslmode a server target asks for: its address's, else PGSSLMODE's.
// Empty when neither names one; false, with libpq's reason, on an address
// libpq cannot read.
bool AskedSslMode(const std::string &target, std::string &mode, std::string &where, std::string &error) {
  char *message = nullptr;
  PQconninfoOption *options = PQconninfoParse(target.c_str(), &message);
  if (options == nullptr) {
    error = message != nullptr ? message : "cannot read the address";
    while (!error.empty() && error.back() == '\n') error.pop_back();
    PQfreemem(message);
    return false;
  }
  for (const PQconninfoOption *o = options; o->keyword != nullptr; ++o) {
    if (o->val != nullptr && std::strcmp(o->keyword, "sslmode") == 0) mode = o->val;
  }
  PQconninfoFree(options);
  where = "in the address";
  const char *environment = std::getenv("PGSSLMODE");
  if (mode.empty() && environment != nullptr) {
    mode = environment;
    where = "from PGSSLMODE";
  }
  return true;
}

// A libpq built without TLS (the Windows build's) would refuse every
// connection that asks for it: every unit would wait in the spool for a server
// it can never reach. Such a session does not start.
std::string TlsRefusal(const std::string &target) {
  if (PQsslAttribute(nullptr, "library") != nullptr) return "";
  std::string mode, where, error;
  if (!AskedSslMode(target, mode, where, error)) return "--db: " + error;
  if (mode != "require" && mode != "verify-ca" && mode != "verify-full") return "";
  return "--db: sslmode=" + mode + " (" + where + ") asks for an encrypted connection, and this vorn-host is built " +
         "without TLS: the results server would never be reached; on the plant network leave sslmode out " +
         "(or give prefer or disable)";
}

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
  const bool server = vorn_results::IsServerTarget(target);
  error = server ? TlsRefusal(target) : "";
  if (!error.empty()) return nullptr;
  error = ClaimOutput(setup, server ? vorn_results::kSpoolFile : target, server ? "results spool" : "results database");
  if (!error.empty()) return nullptr;
  std::unique_ptr<vorn_results::DatabaseSink> sink =
      vorn_results::DatabaseSink::Open(target, vorn_results::kSpoolFile, error);
  if (!sink) return nullptr;
  // The files it keeps beside the store are claimed too (their names are new).
  const std::vector<std::string> files = sink->files();
  for (std::size_t i = 1; i < files.size() && error.empty(); ++i)
    error = ClaimOutput(setup, files[i], "results fallback");
  if (!error.empty()) return nullptr;
  sink->heedStops(StopRequests);
  return std::make_unique<Results>(std::move(sink), target);
}

}  // namespace

OutputModule ResultsOutput() { return {"results", AddOptions, nullptr, Open}; }

}  // namespace vorn_host
