#include "outputs/results/schema.h"

#include <algorithm>
#include <vector>

namespace vorn_results {

namespace {

// Version 1: the first schema of the results file. {ID} is the engine's
// self-numbering key.
constexpr const char *kVersion1 = R"(
CREATE TABLE station (
  id {ID},
  name TEXT NOT NULL,
  host TEXT NOT NULL,
  library TEXT NOT NULL,
  version TEXT NOT NULL,
  UNIQUE (name, host, library, version));
CREATE TABLE session (
  id TEXT PRIMARY KEY,
  station_id BIGINT NOT NULL REFERENCES station (id),
  plan TEXT NOT NULL,
  plan_sha256 TEXT NOT NULL,
  parameters TEXT NOT NULL,
  parameters_sha256 TEXT NOT NULL,
  operator TEXT,
  simulated INTEGER NOT NULL,
  started TEXT NOT NULL,
  ended TEXT);
CREATE TABLE unit (
  uuid TEXT PRIMARY KEY,
  session_id TEXT NOT NULL REFERENCES session (id),
  serial TEXT NOT NULL,
  unit_index INTEGER NOT NULL,
  attempt INTEGER NOT NULL,
  started TEXT NOT NULL,
  seconds DOUBLE PRECISION NOT NULL,
  waited_ms BIGINT NOT NULL,
  verdict TEXT NOT NULL);
CREATE INDEX unit_serial ON unit (serial);
CREATE INDEX unit_started ON unit (started);
CREATE TABLE step (
  unit_uuid TEXT NOT NULL REFERENCES unit (uuid),
  step_index INTEGER NOT NULL,
  plan_line INTEGER NOT NULL,
  export TEXT NOT NULL,
  number INTEGER NOT NULL,
  verdict TEXT NOT NULL,
  returned BIGINT NOT NULL,
  text TEXT NOT NULL,
  seconds DOUBLE PRECISION NOT NULL,
  PRIMARY KEY (unit_uuid, step_index));
CREATE TABLE result (
  unit_uuid TEXT NOT NULL,
  step_index INTEGER NOT NULL,
  entry INTEGER NOT NULL,
  value DOUBLE PRECISION,
  name TEXT,
  low DOUBLE PRECISION,
  high DOUBLE PRECISION,
  passed INTEGER NOT NULL,
  PRIMARY KEY (unit_uuid, step_index, entry),
  FOREIGN KEY (unit_uuid, step_index) REFERENCES step (unit_uuid, step_index));
)";

// Version 2: whether an attempt was the unit's first, the station's waits per
// step, and each result's export beside its entry for the by-measurement
// queries.
constexpr const char *kVersion2 = R"(
ALTER TABLE unit ADD COLUMN first_attempt INTEGER NOT NULL DEFAULT 0;
UPDATE unit SET first_attempt = CASE WHEN attempt = 1 THEN 1 ELSE 0 END;
ALTER TABLE step ADD COLUMN waited_ms BIGINT NOT NULL DEFAULT 0;
ALTER TABLE result ADD COLUMN export TEXT NOT NULL DEFAULT '';
UPDATE result SET export = (SELECT s.export FROM step s
                            WHERE s.unit_uuid = result.unit_uuid AND s.step_index = result.step_index);
CREATE INDEX result_export_entry ON result (export, entry);
)";

// Version 3: indexes for the line report. A measurement's values in order,
// with its limits, so that its extremes are two seeks and its histogram's
// bins are ranges of one index; the missed limits and the steps in ERROR
// apart; the steps' times by step, without a sort of every step row.
constexpr const char *kVersion3 = R"(
CREATE INDEX result_measure ON result (step_index, export, entry, value, low, high);
CREATE INDEX result_missed ON result (step_index, export, entry) WHERE passed = 0;
CREATE INDEX step_time ON step (step_index, export, plan_line, seconds, waited_ms);
CREATE INDEX step_error ON step (step_index, export, plan_line) WHERE verdict = 'ERROR';
)";

// Version 4: a record whole in the database. The session's clock, scenarios
// and faults (a JSON array each), whether faults were injected, its mode and
// whether it was a single run; each attempt's unit (its attempts share it),
// where the unit stood before it, whether it was stopped, its socket and
// operator; each step's cleanup mark and its plan line's limits.
constexpr const char *kVersion4 = R"(
ALTER TABLE session ADD COLUMN clock TEXT NOT NULL DEFAULT 'real';
ALTER TABLE session ADD COLUMN scenarios TEXT NOT NULL DEFAULT '[]';
ALTER TABLE session ADD COLUMN faults TEXT NOT NULL DEFAULT '[]';
ALTER TABLE session ADD COLUMN fault_injected INTEGER NOT NULL DEFAULT 0;
ALTER TABLE session ADD COLUMN mode TEXT NOT NULL DEFAULT 'production';
ALTER TABLE session ADD COLUMN single INTEGER NOT NULL DEFAULT 0;
ALTER TABLE unit ADD COLUMN unit_id TEXT NOT NULL DEFAULT '';
ALTER TABLE unit ADD COLUMN prior TEXT NOT NULL DEFAULT 'none';
ALTER TABLE unit ADD COLUMN stopped INTEGER NOT NULL DEFAULT 0;
ALTER TABLE unit ADD COLUMN socket TEXT;
ALTER TABLE unit ADD COLUMN operator TEXT;
UPDATE unit SET unit_id = session_id || '/' || unit_index,
  stopped = CASE WHEN verdict = 'NOT RUN' THEN 1 ELSE 0 END,
  prior = COALESCE((SELECT CASE p.verdict WHEN 'NOT RUN' THEN 'stopped' ELSE p.verdict END FROM unit p
                    WHERE p.session_id = unit.session_id AND p.unit_index = unit.unit_index
                    AND p.attempt = unit.attempt - 1), 'none');
ALTER TABLE step ADD COLUMN cleanup INTEGER NOT NULL DEFAULT 0;
ALTER TABLE step ADD COLUMN limits TEXT NOT NULL DEFAULT '';
CREATE INDEX unit_unit ON unit (unit_id);
)";

// Version 5: the station's health. Each verification with the golden unit
// and its twelve lines; each calibration with the old and new path loss of
// each line; the process alarms; the station's stops and their
// acknowledgements; and whether a session started without its health check.
// Health rows name the station by its name, as the line knows it.
constexpr const char *kVersion5 = R"(
ALTER TABLE session ADD COLUMN health_check_skipped INTEGER NOT NULL DEFAULT 0;
CREATE TABLE verification (
  uuid TEXT PRIMARY KEY,
  station TEXT NOT NULL,
  at TEXT NOT NULL,
  operator TEXT,
  golden TEXT NOT NULL,
  golden_file TEXT NOT NULL,
  session_id TEXT,
  unit_uuid TEXT,
  calibration_uuid TEXT,
  tolerance DOUBLE PRECISION NOT NULL,
  worst DOUBLE PRECISION,
  verdict TEXT NOT NULL);
CREATE INDEX verification_station ON verification (station, at);
CREATE TABLE verification_line (
  verification_uuid TEXT NOT NULL REFERENCES verification (uuid),
  key TEXT NOT NULL,
  frequency_mhz DOUBLE PRECISION NOT NULL,
  reference DOUBLE PRECISION NOT NULL,
  reading DOUBLE PRECISION,
  deviation DOUBLE PRECISION,
  passed INTEGER NOT NULL,
  PRIMARY KEY (verification_uuid, key));
CREATE TABLE calibration (
  uuid TEXT PRIMARY KEY,
  station TEXT NOT NULL,
  at TEXT NOT NULL,
  operator TEXT,
  golden TEXT NOT NULL,
  golden_file TEXT NOT NULL,
  session_id TEXT,
  unit_uuid TEXT,
  parameters TEXT NOT NULL,
  backup TEXT,
  written INTEGER NOT NULL,
  refused TEXT);
CREATE INDEX calibration_station ON calibration (station, at);
CREATE TABLE calibration_line (
  calibration_uuid TEXT NOT NULL REFERENCES calibration (uuid),
  key TEXT NOT NULL,
  frequency_mhz DOUBLE PRECISION NOT NULL,
  reference DOUBLE PRECISION NOT NULL,
  reading DOUBLE PRECISION,
  old_value DOUBLE PRECISION,
  new_value DOUBLE PRECISION,
  corrected INTEGER NOT NULL,
  PRIMARY KEY (calibration_uuid, key));
CREATE TABLE alarm (
  uuid TEXT PRIMARY KEY,
  station TEXT NOT NULL,
  at TEXT NOT NULL,
  session_id TEXT,
  unit_uuid TEXT,
  serial TEXT NOT NULL,
  measurement TEXT NOT NULL,
  rule TEXT NOT NULL,
  value DOUBLE PRECISION,
  centre DOUBLE PRECISION,
  sigma DOUBLE PRECISION,
  text TEXT NOT NULL);
CREATE INDEX alarm_station ON alarm (station, at);
CREATE TABLE station_lock (
  uuid TEXT PRIMARY KEY,
  station TEXT NOT NULL,
  at TEXT NOT NULL,
  session_id TEXT,
  reason TEXT NOT NULL,
  action TEXT NOT NULL);
CREATE INDEX station_lock_station ON station_lock (station, at);
CREATE TABLE acknowledgement (
  uuid TEXT PRIMARY KEY,
  lock_uuid TEXT NOT NULL,
  station TEXT NOT NULL,
  at TEXT NOT NULL,
  by_whom TEXT NOT NULL,
  via TEXT NOT NULL);
CREATE INDEX acknowledgement_lock ON acknowledgement (lock_uuid);
)";

const std::vector<const char *> &Migrations() {
  static const std::vector<const char *> list = {kVersion1, kVersion2, kVersion3, kVersion4, kVersion5};
  return list;
}

std::string ForEngine(std::string sql, Engine engine) {
  const std::string key = "{ID}";
  const std::string id = engine == Engine::kSqlite ? "INTEGER PRIMARY KEY" : "BIGSERIAL PRIMARY KEY";
  for (std::size_t at; (at = sql.find(key)) != std::string::npos;) sql.replace(at, key.size(), id);
  return sql;
}

// Several stations may open one server at once: the first migrates, the
// others wait for it under this lock and then find the schema in place. It
// is held over the migration's several transactions.
constexpr const char *kMigrationLock = "SELECT pg_advisory_lock(7231017)";
constexpr const char *kMigrationUnlock = "SELECT pg_advisory_unlock(7231017)";

// body in one transaction: committed when it holds, else rolled back.
bool InTransaction(Database &db, const std::function<bool(std::string &)> &body, std::string &error) {
  if (!db.exec(db.beginWrite(), error)) return false;
  if (body(error) && db.exec("COMMIT", error)) return true;
  std::string ignored;
  db.exec("ROLLBACK", ignored);
  return false;
}

// Within a transaction: the steps that make version `next`, and the version noted.
bool MakeVersion(Database &db, int next, const std::function<bool(std::string &)> &steps, std::string &error) {
  if (steps(error) && db.exec("DELETE FROM schema_version", error) &&
      db.exec("INSERT INTO schema_version (version) VALUES (" + std::to_string(next) + ")", error)) {
    return true;
  }
  error = "migration to schema version " + std::to_string(next) + ": " + error;
  return false;
}

// The versions made in one transaction: up to 5 (or last). version: the database's.
bool MigrateFirstVersions(Database &db, int last, int &version, std::string &error) {
  return InTransaction(
      db,
      [&](std::string &e) {
        if (!SchemaVersion(db, version, e)) return false;
        if (version > kSchemaVersion) {
          e = db.name() + ": the results schema is version " + std::to_string(version) + ", newer than this host's " +
              std::to_string(kSchemaVersion) + "; use a newer vorn-host";
          return false;
        }
        for (int next = version + 1; next <= last; ++next) {
          const char *sql = Migrations()[static_cast<std::size_t>(next - 1)];
          if (!MakeVersion(
                  db, next, [&](std::string &m) { return db.exec(ForEngine(sql, db.engine()), m); }, e)) {
            return false;
          }
        }
        return true;
      },
      error);
}

}  // namespace

bool SchemaVersion(Database &db, int &version, std::string &error) {
  version = 0;
  if (!db.exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)", error)) return false;
  return db.query(
      "SELECT max(version) FROM schema_version", {},
      [&](const Row &r) {
        if (r[0]) version = std::stoi(*r[0]);
        return true;
      },
      error);
}

bool MigrateInOne(Database &db, int next, const std::function<bool(std::string &)> &steps, std::string &error) {
  return InTransaction(
      db,
      [&](std::string &e) {
        int version = 0;
        return SchemaVersion(db, version, e) && (version >= next || MakeVersion(db, next, steps, e));
      },
      error);
}

bool Migrate(Database &db, std::string &error) { return MigrateUpTo(db, kSchemaVersion, error); }

bool MigrateUpTo(Database &db, int upTo, std::string &error) {
  const bool server = db.engine() == Engine::kPostgres;
  if (server && !db.exec(kMigrationLock, error)) return false;
  int version = 0;
  bool ok = MigrateFirstVersions(db, std::min(upTo, static_cast<int>(Migrations().size())), version, error);
  if (ok && version < 6 && upTo >= 6) ok = MigrateToLeanRows(db, error);
  if (ok && version < 7 && upTo >= 7) ok = MigrateToRollups(db, error);
  if (ok && version < 8 && upTo >= 8) ok = MigrateToPendingRollups(db, error);
  std::string ignored;
  if (server && db.connected()) db.exec(kMigrationUnlock, ignored);
  return ok;
}

}  // namespace vorn_results
