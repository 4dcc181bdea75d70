// The rollups' tables and the statements that add a rollup's sums to them.
#include <cstdio>

#include "outputs/results/rollups.h"

namespace vorn_results {

namespace {

std::string BinColumn(int b) {
  char name[8];
  std::snprintf(name, sizeof name, "b%02d", b);
  return name;
}

// "b00, b01, ..." with each name made by `each`.
std::string BinList(const std::function<std::string(const std::string &)> &each) {
  std::string text;
  for (int b = 0; b < kRollupBins; ++b) text += (b ? ", " : "") + each(BinColumn(b));
  return text;
}

std::string MakeTables() {
  return R"(
CREATE TABLE rollup_scope (
  id {SMALL_ID},
  station_id BIGINT NOT NULL REFERENCES station (id),
  plan TEXT NOT NULL,
  simulated SMALLINT NOT NULL,
  fault_injected SMALLINT NOT NULL,
  mode TEXT NOT NULL,
  UNIQUE (station_id, plan, simulated, fault_injected, mode));
CREATE TABLE station_hour (
  scope_id INTEGER NOT NULL REFERENCES rollup_scope (id),
  hour TEXT NOT NULL,
  attempts BIGINT NOT NULL,
  units BIGINT NOT NULL,
  first_pass BIGINT NOT NULL,
  final_pass BIGINT NOT NULL,
  final_fail BIGINT NOT NULL,
  final_error BIGINT NOT NULL,
  retests BIGINT NOT NULL,
  stopped BIGINT NOT NULL,
  station_seconds DOUBLE PRECISION NOT NULL,
  wall_seconds DOUBLE PRECISION NOT NULL,
  first_started TEXT NOT NULL,
  last_ended TEXT NOT NULL,
  PRIMARY KEY (scope_id, hour)){KEYED};
CREATE TABLE day_measurement (
  scope_id INTEGER NOT NULL REFERENCES rollup_scope (id),
  day TEXT NOT NULL,
  measurement_id INTEGER NOT NULL REFERENCES measurement (id),
  count BIGINT NOT NULL,
  sum DOUBLE PRECISION NOT NULL,
  sum_sq DOUBLE PRECISION NOT NULL,
  lowest DOUBLE PRECISION,
  highest DOUBLE PRECISION,
  fails BIGINT NOT NULL,
  )" + BinList([](const std::string &b) { return b + " BIGINT NOT NULL"; }) +
         R"(,
  PRIMARY KEY (scope_id, day, measurement_id)){KEYED};
CREATE TABLE day_step (
  scope_id INTEGER NOT NULL REFERENCES rollup_scope (id),
  day TEXT NOT NULL,
  plan_step_id INTEGER NOT NULL REFERENCES plan_step (id),
  runs BIGINT NOT NULL,
  errors BIGINT NOT NULL,
  wall_seconds DOUBLE PRECISION NOT NULL,
  waited_seconds DOUBLE PRECISION NOT NULL,
  own_seconds DOUBLE PRECISION NOT NULL,
  station_seconds DOUBLE PRECISION NOT NULL,
  PRIMARY KEY (scope_id, day, plan_step_id)){KEYED};
CREATE TABLE day_slowest (
  scope_id INTEGER NOT NULL REFERENCES rollup_scope (id),
  day TEXT NOT NULL,
  attempt_id BIGINT NOT NULL REFERENCES unit (id),
  station_seconds DOUBLE PRECISION NOT NULL,
  PRIMARY KEY (scope_id, day, attempt_id)){KEYED};
)";
}

Value Int(int64_t n) { return std::to_string(n); }
Value Real(double d) { return NumberText(d); }
Value Real(const std::optional<double> &d) { return d ? Real(*d) : std::nullopt; }

std::string Added(const std::string &table, const std::vector<std::string> &columns) {
  std::string text;
  for (const std::string &c : columns)
    text += (text.empty() ? "" : ", ") + c + " = " + table + "." + c + " + excluded." + c;
  return text;
}

// What a row of day_measurement that is there already takes from a new one.
std::string MeasurementConflict(const std::vector<std::string> &added) {
  return "ON CONFLICT (scope_id, day, measurement_id) DO UPDATE SET " + Added("day_measurement", added) +
         ", lowest = CASE WHEN day_measurement.lowest IS NULL OR excluded.lowest < day_measurement.lowest"
         " THEN excluded.lowest ELSE day_measurement.lowest END, highest = CASE WHEN"
         " day_measurement.highest IS NULL OR excluded.highest > day_measurement.highest THEN"
         " excluded.highest ELSE day_measurement.highest END";
}

bool WriteHours(Database &db, int64_t scope, const Rollup &r, std::string &error) {
  std::vector<Value> v;
  for (const auto &[hour, s] : r.hours) {
    const vorn_host::Tally &t = s.tally;
    v.insert(v.end(), {Int(scope), hour, Int(t.attempts), Int(t.units), Int(t.firstPass), Int(t.pass), Int(t.fail),
                       Int(t.error), Int(t.retests), Int(t.stopped), Real(t.stationSeconds), Real(s.wallSeconds),
                       s.firstStarted, s.lastEnded});
  }
  return InsertRows(
      db,
      "INSERT INTO station_hour (scope_id, hour, attempts, units, first_pass, final_pass, final_fail,"
      " final_error, retests, stopped, station_seconds, wall_seconds, first_started, last_ended)",
      14, v, error,
      "ON CONFLICT (scope_id, hour) DO UPDATE SET " +
          Added("station_hour", {"attempts", "units", "first_pass", "final_pass", "final_fail", "final_error",
                                 "retests", "stopped", "station_seconds", "wall_seconds"}) +
          ", first_started = CASE WHEN excluded.first_started < station_hour.first_started THEN"
          " excluded.first_started ELSE station_hour.first_started END, last_ended = CASE WHEN"
          " excluded.last_ended > station_hour.last_ended THEN excluded.last_ended ELSE"
          " station_hour.last_ended END");
}

bool WriteMeasurements(Database &db, int64_t scope, const Rollup &r, std::string &error) {
  std::vector<Value> v;
  for (const auto &[key, m] : r.measurements) {
    v.insert(v.end(), {Int(scope), key.first, Int(key.second), Int(m.count), Real(m.sum), Real(m.sumSq), Real(m.min),
                       Real(m.max), Int(m.fails)});
    for (int64_t n : m.bins) v.push_back(Int(n));
  }
  std::vector<std::string> added = {"count", "sum", "sum_sq", "fails"};
  for (int b = 0; b < kRollupBins; ++b) added.push_back(BinColumn(b));
  return InsertRows(db,
                    "INSERT INTO day_measurement (scope_id, day, measurement_id, count, sum, sum_sq, lowest, highest,"
                    " fails, " +
                        BinList([](const std::string &b) { return b; }) + ")",
                    9 + kRollupBins, v, error, MeasurementConflict(added));
}

bool WriteSteps(Database &db, int64_t scope, const Rollup &r, std::string &error) {
  std::vector<Value> v;
  for (const auto &[key, s] : r.steps) {
    v.insert(v.end(), {Int(scope), key.first, Int(key.second), Int(s.runs), Int(s.errors), Real(s.wallSeconds),
                       Real(s.waitedSeconds), Real(s.ownSeconds), Real(s.stationSeconds)});
  }
  return InsertRows(
      db,
      "INSERT INTO day_step (scope_id, day, plan_step_id, runs, errors, wall_seconds, waited_seconds,"
      " own_seconds, station_seconds)",
      9, v, error,
      "ON CONFLICT (scope_id, day, plan_step_id) DO UPDATE SET " +
          Added("day_step", {"runs", "errors", "wall_seconds", "waited_seconds", "own_seconds", "station_seconds"}));
}

// An attempt is kept while fewer than kSlowest of its day were as slow: the
// table keeps the slowest and the few that were among them when they came.
bool WriteSlowest(Database &db, int64_t scope, const Rollup &r, std::string &error) {
  for (const auto &[day, slow] : r.slowest) {
    for (const SlowAttempt &s : slow) {
      if (!db.query("INSERT INTO day_slowest (scope_id, day, attempt_id, station_seconds)"
                    " SELECT CAST($1 AS INTEGER), CAST($2 AS TEXT), CAST($3 AS BIGINT), CAST($4 AS DOUBLE PRECISION)"
                    " WHERE (SELECT count(*) FROM day_slowest WHERE scope_id = CAST($1 AS INTEGER) AND"
                    " day = CAST($2 AS TEXT) AND station_seconds >= CAST($4 AS DOUBLE PRECISION)) < " +
                        std::to_string(kSlowest) + " ON CONFLICT (scope_id, day, attempt_id) DO NOTHING",
                    {Int(scope), day, Int(s.attemptId), Real(s.stationSeconds)}, {}, error)) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

const std::string &RollupTables() {
  static const std::string text = MakeTables();
  return text;
}

bool WriteRollup(Database &db, int64_t scope, const Rollup &r, std::string &error) {
  return WriteHours(db, scope, r, error) && WriteMeasurements(db, scope, r, error) && WriteSteps(db, scope, r, error) &&
         WriteSlowest(db, scope, r, error);
}

bool ScopeOfSession(Database &db, const std::string &sessionId, int64_t &scopeId, std::string &error) {
  scopeId = -1;
  const auto read = [&](const Row &r) {
    scopeId = std::stoll(r[0].value_or("-1"));
    return false;
  };
  // Read first: the insert locks the scope's row until the transaction ends,
  // which a station folding another's attempts need not wait for.
  if (!db.query("SELECT r.id FROM session s JOIN rollup_scope r ON r.station_id = s.station_id AND r.plan = s.plan"
                " AND r.simulated = s.simulated AND r.fault_injected = s.fault_injected AND r.mode = s.mode"
                " WHERE s.id = $1",
                {sessionId}, read, error)) {
    return false;
  }
  return scopeId >= 0 ||
         db.query(
             "INSERT INTO rollup_scope (station_id, plan, simulated, fault_injected, mode)"
             " SELECT station_id, plan, simulated, fault_injected, mode FROM session WHERE id = $1"
             " ON CONFLICT (station_id, plan, simulated, fault_injected, mode) DO UPDATE SET plan = excluded.plan"
             " RETURNING id",
             {sessionId}, read, error);
}

}  // namespace vorn_results
