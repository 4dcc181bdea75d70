// The results store over either engine: the rows of a session and of each
// unit attempt, written one attempt per transaction and keyed by the
// attempt's UUID, so writing an attempt twice stores it once. An attempt's
// steps and results are kept lean: keyed by its integer id, each naming its
// plan step and measurement by theirs (outputs/results/measurements.h).
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/record.h"
#include "core/run.h"
#include "outputs/results/database.h"
#include "outputs/results/measurements.h"
#include "outputs/results/rollups.h"

namespace vorn_results {

struct ResultRow {
  int entry = 0;
  std::optional<double> value;
  std::optional<std::string> name;
  std::optional<double> low;  // the limit's bounds; neither: no limit
  std::optional<double> high;
  bool passed = true;

  bool limited() const { return low || high; }
  bool operator==(const ResultRow &) const;
};

struct StepRow {
  int index = 0;  // in the run, from 1
  int planLine = 0;
  bool cleanup = false;
  std::string limits;      // the plan line's limits, "1=30..36 4=-1..1"
  std::string exportName;  // "OBTPowervsTime", as the plan names it without the prefix
  int number = 0;
  std::string verdict;  // "PASS", "FAIL", "ERROR", "NOT RUN"
  int64_t returned = 0;
  std::string text;
  double seconds = 0.0;
  uint64_t waitedMs = 0;
  std::vector<ResultRow> results;

  bool operator==(const StepRow &) const;
};

struct UnitRow {
  std::string uuid;
  std::string sessionId;
  std::string unitId;  // the same for every attempt at the unit
  std::string serial;
  int unit = 0;
  int attempt = 1;
  std::string prior = "none";  // where the unit stood before the attempt
  std::string started;
  double seconds = 0.0;
  uint64_t waitedMs = 0;
  std::string verdict;
  bool stopped = false;
  bool firstAttempt = true;
  std::string socket;
  std::string operatorName;
  std::vector<StepRow> steps;

  bool operator==(const UnitRow &) const;
};

UnitRow ToRow(const vorn_host::UnitRecord &unit);
// The same for a record of this session, whichever session it rides with.
UnitRow ToRow(const vorn_host::SessionRecord &session, const vorn_host::UnitRecord &unit);
// The record back from its rows, with its session's.
vorn_host::UnitRecord ToRecord(const UnitRow &row, std::shared_ptr<const vorn_host::SessionRecord> session);

class Store {
 public:
  // Opens a SQLite file or a server (postgresql://...) and migrates it.
  // outbox: also queue every write in the outbox table, as the spool does.
  static std::unique_ptr<Store> Open(const std::string &target, bool outbox, std::string &error);
  // The same over a database already open.
  static std::unique_ptr<Store> Over(std::unique_ptr<Database> db, bool outbox, std::string &error);

  // The station's row and the session's; writing it again updates its end.
  bool putSession(const vorn_host::SessionRecord &session, std::string &error);
  // The attempt in one transaction. stored: false when its UUID was there already.
  bool putUnit(const UnitRow &unit, bool &stored, std::string &error);
  // Many attempts in one transaction, for a bulk load: all or none are
  // written; stored counts those whose UUID was new.
  bool putUnits(const std::vector<UnitRow> &units, int64_t &stored, std::string &error);

  // A record of the station's health in its JSON form (core/health_json.h),
  // of its kind ("verification", "calibration", "alarm", "lock",
  // "acknowledgement"), in one transaction. stored: false when its uuid was
  // there already. A spool only queues it for the server.
  bool putHealth(const std::string &kind, const nlohmann::json &record, bool &stored, std::string &error);
  // The spool's health records waiting for the server, oldest first.
  struct QueuedHealth {
    int64_t seq = 0;
    std::string kind;
    std::string record;  // its JSON text
    std::string server;  // the server and database it belongs to, as the spool records it
  };
  bool healthOutbox(std::vector<QueuedHealth> &queued, std::string &error);
  bool dequeueHealth(int64_t seq, std::string &error);

  // found: false when there is no such row.
  bool getSession(const std::string &id, vorn_host::SessionRecord &session, bool &found, std::string &error);
  bool getUnit(const std::string &uuid, UnitRow &unit, bool &found, std::string &error);
  // Removes an attempt and its outbox entry (once the server holds it).
  bool removeUnit(const std::string &uuid, std::string &error);

  // The server (its ServerAddress) the writes after this are queued for.
  void spoolFor(const std::string &server) { server_ = server; }

  // The outbox, oldest first: kind "session" or "unit", the key, and the
  // server it waits for (empty: spooled by a host that did not say).
  struct Queued {
    std::string kind;
    std::string key;
    std::string server;
    std::string seq;  // its place: an entry queued again gets a new one
  };
  bool outbox(std::vector<Queued> &queued, std::string &error);
  // Removes the entry, unless it has been queued again since it was read.
  bool dequeue(const Queued &item, std::string &error);

  Database &db() { return *db_; }
  // Whether each attempt's sums go into the rollups (outputs/results/rollups.h),
  // named as waiting in its transaction and folded in with those of others:
  // yes, but in the spool, whose units go on to a server that keeps them.
  // (The benchmark measures what they cost.) removeUnit takes no unit out of
  // them: it is the spool's.
  void keepRollups(bool keep) { rollups_ = keep; }

 private:
  explicit Store(std::unique_ptr<Database> db, bool outbox) : db_(std::move(db)), outbox_(outbox), rollups_(!outbox) {}
  bool transaction(const std::function<bool(std::string &)> &body, std::string &error);
  bool insertUnit(const UnitRow &unit, bool &stored, std::string &error);
  bool insertRuns(const std::string &attemptId, const UnitRow &unit, std::string &error);
  bool scopeOf(const std::string &sessionId, int64_t &scope, std::string &error);
  bool rollUp(const UnitRow &unit, AttemptFacts &facts, std::map<int64_t, BinFrame> &frames, std::string &error);
  bool foldWhenDue(std::string &error);
  bool fold(std::string &error);
  bool foldRows(const std::set<int64_t> &ids, std::map<int64_t, Rollup> &rollups, std::string &error);
  bool getSteps(const std::string &attemptId, UnitRow &unit, std::string &error);
  bool getResults(const std::string &attemptId, UnitRow &unit, std::string &error);
  bool insertHealth(const std::string &kind, const nlohmann::json &record, bool &stored, std::string &error);

  std::unique_ptr<Database> db_;
  bool outbox_;
  bool rollups_;
  std::string server_;
  std::map<std::string, int64_t> scopes_, newScopes_;  // each session's rollup scope
  RowIds ids_;                                         // of the plan steps and measurements, kept between attempts
  // The attempts this store named as waiting for the rollups, with what the
  // fold needs of each; those of the transaction under way apart, until it commits.
  struct Pending {
    int64_t scope = 0;
    AttemptFacts facts;
    std::map<int64_t, BinFrame> frames;  // of its measurements
  };
  std::vector<Pending> pending_, newPending_;
  bool folded_ = false;  // in the transaction under way
};

}  // namespace vorn_results
