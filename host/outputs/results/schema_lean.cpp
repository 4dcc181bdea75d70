// Version 6: lean rows. An attempt's steps and results were keyed by its
// UUID's text and each result carried its export and name; now the plan's
// steps and measurements are kept once (plan_step, measurement) and an
// attempt's rows name them by integer ids, keyed by the attempt's integer id.
// The views step and result show the rows as they were.
//
// The rows are copied into the new tables one table per transaction (a
// station's file of 100 000 attempts holds some ten million results), each
// step done again after a crash only if its table is not there: a table is
// made and filled in the same transaction. The old tables are dropped and the
// version set in the last.
#include <functional>
#include <string>
#include <vector>

#include "outputs/results/measurements.h"
#include "outputs/results/schema.h"

namespace vorn_results {

namespace {

// The engine's words: {ID} a self-numbering key, {SMALL_ID} one of a small
// table, {STEP_KEY} and {RESULT_KEY} the clauses that key a table in SQLite
// (PostgreSQL keeps an attempt's rows in the order they came and finds them
// by a B-tree of the attempt id alone, which stores each id once for all its
// rows), {SAME} equality that holds for two NULLs.
std::string ForEngine(std::string sql, Engine engine, const std::string &newUnits = "",
                      const std::string &newAttempts = "") {
  const bool sqlite = engine == Engine::kSqlite;
  const std::vector<std::pair<std::string, std::string>> words = {
      {"{NEW_UNITS}", newUnits},
      {"{NEW_ATTEMPTS}", newAttempts},
      {"{ID}", sqlite ? "INTEGER PRIMARY KEY" : "BIGSERIAL PRIMARY KEY"},
      {"{SMALL_ID}", sqlite ? "INTEGER PRIMARY KEY" : "SERIAL PRIMARY KEY"},
      {"{STEP_KEY}", sqlite ? ", PRIMARY KEY (attempt_id, step_index)) WITHOUT ROWID" : ")"},
      {"{RESULT_KEY}", sqlite ? ", PRIMARY KEY (attempt_id, step_index, measurement_id)) WITHOUT ROWID" : ")"},
      {"{SAME}", sqlite ? "IS" : "IS NOT DISTINCT FROM"},
  };
  for (const auto &[key, text] : words) {
    for (std::size_t at; (at = sql.find(key)) != std::string::npos;) sql.replace(at, key.size(), text);
  }
  return sql;
}

constexpr const char *kPlanSteps = R"(
CREATE TABLE plan_step (
  id {SMALL_ID},
  key TEXT NOT NULL UNIQUE,
  export TEXT NOT NULL,
  plan_line INTEGER NOT NULL,
  number INTEGER NOT NULL,
  cleanup SMALLINT NOT NULL,
  limits TEXT NOT NULL);
CREATE TABLE measurement (
  id {SMALL_ID},
  key TEXT NOT NULL UNIQUE,
  export TEXT NOT NULL,
  plan_line INTEGER NOT NULL,
  entry SMALLINT NOT NULL,
  name TEXT,
  low DOUBLE PRECISION,
  high DOUBLE PRECISION,
  unit TEXT);
CREATE INDEX measurement_line ON measurement (export, plan_line, entry);
)";

// Attempts in their order: a unit's rows come together, in the order of its ids.
constexpr const char *kUnits = R"(
CREATE TABLE unit_v6 (
  id {ID},
  uuid TEXT NOT NULL UNIQUE,
  session_id TEXT NOT NULL REFERENCES session (id),
  unit_id TEXT NOT NULL,
  serial TEXT NOT NULL,
  unit_index INTEGER NOT NULL,
  attempt INTEGER NOT NULL,
  prior TEXT NOT NULL,
  first_attempt SMALLINT NOT NULL,
  started TEXT NOT NULL,
  seconds DOUBLE PRECISION NOT NULL,
  waited_ms BIGINT NOT NULL,
  verdict TEXT NOT NULL,
  stopped SMALLINT NOT NULL,
  socket TEXT,
  operator TEXT);
)";
constexpr const char *kCopyUnits = R"(
INSERT INTO unit_v6 (uuid, session_id, unit_id, serial, unit_index, attempt, prior, first_attempt, started, seconds,
  waited_ms, verdict, stopped, socket, operator)
SELECT uuid, session_id, unit_id, serial, unit_index, attempt, prior, first_attempt, started, seconds, waited_ms,
  verdict, stopped, socket, operator FROM unit {NEW_UNITS} ORDER BY started, session_id, unit_index, attempt, uuid;
)";

// The columns in an order that leaves PostgreSQL no padding between them. A
// step returns a 32-bit value, and waits less than 24 days.
constexpr const char *kSteps = R"(
CREATE TABLE run_step (
  attempt_id BIGINT NOT NULL REFERENCES unit_v6 (id),
  seconds DOUBLE PRECISION NOT NULL,
  returned INTEGER NOT NULL,
  waited_ms INTEGER NOT NULL,
  plan_step_id INTEGER NOT NULL REFERENCES plan_step (id),
  step_index SMALLINT NOT NULL,
  verdict TEXT NOT NULL,
  text TEXT NOT NULL{STEP_KEY};
)";
constexpr const char *kCopySteps = R"(
INSERT INTO run_step (attempt_id, seconds, returned, waited_ms, plan_step_id, step_index, verdict, text)
SELECT u.id, s.seconds, s.returned, s.waited_ms, p.id, s.step_index, s.verdict, s.text
FROM unit_v6 u JOIN step s ON s.unit_uuid = u.uuid
JOIN plan_step p ON p.export = s.export AND p.plan_line = s.plan_line AND p.number = s.number
  AND p.cleanup = s.cleanup AND p.limits = s.limits
{NEW_ATTEMPTS} ORDER BY u.id, s.step_index;
)";

constexpr const char *kResults = R"(
CREATE TABLE run_result (
  attempt_id BIGINT NOT NULL REFERENCES unit_v6 (id),
  value DOUBLE PRECISION,
  measurement_id INTEGER NOT NULL REFERENCES measurement (id),
  step_index SMALLINT NOT NULL,
  passed SMALLINT NOT NULL{RESULT_KEY};
)";
constexpr const char *kCopyResults = R"(
INSERT INTO run_result (attempt_id, value, measurement_id, step_index, passed)
SELECT u.id, r.value, m.id, r.step_index, r.passed
FROM unit_v6 u JOIN step s ON s.unit_uuid = u.uuid
JOIN result r ON r.unit_uuid = s.unit_uuid AND r.step_index = s.step_index
JOIN measurement m ON m.export = s.export AND m.plan_line = s.plan_line AND m.entry = r.entry
  AND m.name {SAME} r.name AND m.low {SAME} r.low AND m.high {SAME} r.high
{NEW_ATTEMPTS} ORDER BY u.id;
)";

// The old tables go; the views show the new rows as they were.
constexpr const char *kSwap = R"(
DROP TABLE result;
DROP TABLE step;
DROP TABLE unit;
ALTER TABLE unit_v6 RENAME TO unit;
CREATE INDEX unit_serial ON unit (serial);
CREATE INDEX unit_started ON unit (started);
CREATE INDEX unit_unit ON unit (unit_id);
CREATE VIEW step AS
SELECT u.uuid AS unit_uuid, s.step_index, p.plan_line, p.export, p.number, s.verdict, s.returned, s.text, s.seconds,
  s.waited_ms, p.cleanup, p.limits, s.attempt_id, s.plan_step_id
FROM run_step s JOIN unit u ON u.id = s.attempt_id JOIN plan_step p ON p.id = s.plan_step_id;
CREATE VIEW result AS
SELECT u.uuid AS unit_uuid, r.step_index, m.entry, m.export, r.value, m.name, m.low, m.high, r.passed, r.attempt_id,
  r.measurement_id
FROM run_result r JOIN unit u ON u.id = r.attempt_id JOIN measurement m ON m.id = r.measurement_id;
)";

constexpr const char *kServerIndexes = R"(
CREATE INDEX run_step_attempt ON run_step (attempt_id);
CREATE INDEX run_result_attempt ON run_result (attempt_id);
)";

bool HasTable(Database &db, const std::string &name, bool &has, std::string &error) {
  has = false;
  const std::string sql = db.engine() == Engine::kSqlite
                              ? "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = $1"
                              : "SELECT count(*) FROM information_schema.tables WHERE table_schema = current_schema()"
                                " AND table_name = $1";
  return db.query(
      sql, {name},
      [&](const Row &r) {
        has = r[0].value_or("0") != "0";
        return true;
      },
      error);
}

// One step in one transaction, unless its table is there: then it was done.
bool Step(Database &db, const std::string &table, const std::function<bool(std::string &)> &body, std::string &error) {
  bool done = false;
  if (!db.exec(db.beginWrite(), error)) return false;
  if (HasTable(db, table, done, error) && (done || body(error)) && db.exec("COMMIT", error)) return true;
  std::string ignored;
  db.exec("ROLLBACK", ignored);
  error = "migration to schema version 6, " + table + ": " + error;
  return false;
}

// Every plan step and measurement the old rows of the attempts newAttempts
// selects name ("" every one), with its key.
bool AddPlanSteps(Database &db, const std::string &newAttempts, std::string &error) {
  RowIds ids(false);  // version 6's measurements have no bins yet
  std::vector<PlanStepKey> steps;
  std::vector<MeasurementKey> measurements;
  const std::string units = newAttempts.empty() ? "" : " JOIN unit_v6 u ON u.uuid = s.unit_uuid " + newAttempts;
  const bool read =
      db.query(
          "SELECT DISTINCT s.export, s.plan_line, s.number, s.cleanup, s.limits FROM step s" + units, {},
          [&](const Row &r) {
            steps.push_back({r[0].value_or(""), std::stoi(r[1].value_or("0")), std::stoi(r[2].value_or("0")),
                             r[3].value_or("0") != "0", r[4].value_or("")});
            return true;
          },
          error) &&
      db.query(
          "SELECT DISTINCT s.export, s.plan_line, r.entry, r.name, r.low, r.high FROM step s"
          " JOIN result r ON r.unit_uuid = s.unit_uuid AND r.step_index = s.step_index" +
              units,
          {},
          [&](const Row &r) {
            measurements.push_back({r[0].value_or(""), std::stoi(r[1].value_or("0")), std::stoi(r[2].value_or("0")),
                                    r[3], ParseNumber(r[4]), ParseNumber(r[5])});
            return true;
          },
          error);
  if (!read) return false;
  int64_t id = 0;
  for (const PlanStepKey &k : steps) {
    if (!ids.planStep(db, k, id, error)) return false;
  }
  for (const MeasurementKey &k : measurements) {
    BinFrame frame;
    if (!ids.measurement(db, k, std::nullopt, id, frame, error)) return false;
  }
  return true;
}

// The attempts an older host wrote while the tables were copied (a server
// shared by several stations): copied as well, under a lock that keeps
// further ones out until the old tables are gone.
bool CatchUp(Database &db, std::string &error) {
  if (db.engine() == Engine::kPostgres && !db.exec("LOCK TABLE unit, step, result IN EXCLUSIVE MODE", error)) {
    return false;
  }
  std::string last = "0";
  if (!db.query(
          "SELECT coalesce(max(id), 0) FROM unit_v6", {},
          [&](const Row &r) {
            last = r[0].value_or("0");
            return true;
          },
          error)) {
    return false;
  }
  const std::string newAttempts = "WHERE u.id > " + std::to_string(std::stoll(last));
  const Engine e = db.engine();
  return db.exec(ForEngine(kCopyUnits, e, "WHERE uuid NOT IN (SELECT uuid FROM unit_v6)"), error) &&
         AddPlanSteps(db, newAttempts, error) && db.exec(ForEngine(kCopySteps, e, "", newAttempts), error) &&
         db.exec(ForEngine(kCopyResults, e, "", newAttempts), error);
}

}  // namespace

bool MigrateToLeanRows(Database &db, std::string &error) {
  const bool sqlite = db.engine() == Engine::kSqlite;
  // The old tables are dropped whole: no row of them is checked against another.
  if (sqlite && !db.exec("PRAGMA foreign_keys=OFF", error)) return false;
  const auto exec = [&db](const char *create, const char *copy) {
    return [&db, create, copy](std::string &e) {
      return db.exec(ForEngine(create, db.engine()), e) &&
             (copy == nullptr || db.exec(ForEngine(copy, db.engine()), e));
    };
  };
  const auto planSteps = [&db](std::string &e) {
    return db.exec(ForEngine(kPlanSteps, db.engine()), e) && AddPlanSteps(db, "", e);
  };
  bool ok = Step(db, "measurement", planSteps, error) && Step(db, "unit_v6", exec(kUnits, kCopyUnits), error) &&
            Step(db, "run_step", exec(kSteps, kCopySteps), error) &&
            Step(db, "run_result", exec(kResults, kCopyResults), error);
  ok = ok && MigrateInOne(
                 db, 6,
                 [&](std::string &e) {
                   return CatchUp(db, e) && db.exec(ForEngine(kSwap, db.engine()), e) &&
                          (sqlite || db.exec(kServerIndexes, e));
                 },
                 error);
  std::string ignored;
  if (sqlite && !db.exec("PRAGMA foreign_keys=ON", ok ? error : ignored)) return false;
  return ok;
}

}  // namespace vorn_results
