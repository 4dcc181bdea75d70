// Version 7: the rollups (outputs/results/rollups.h). Each measurement gets
// its histogram's bins, fixed against its limits (a one-sided limit's scale
// from its values' mean); the rollups are made from every attempt's rows, in
// one transaction with the tables.
#include <map>
#include <tuple>

#include "outputs/results/rollups.h"
#include "outputs/results/schema.h"

namespace vorn_results {

namespace {

// {SMALL_ID}: the key of a small table. {KEYED}: a rollup table keyed by its
// primary key alone in SQLite (one B-tree to update, not a table and an
// index); in PostgreSQL room left on each page, so that an update can stay
// on it without touching the index.
std::string ForEngine(std::string sql, Engine engine) {
  const bool sqlite = engine == Engine::kSqlite;
  for (const auto &[key, text] :
       {std::pair<std::string, std::string>{"{SMALL_ID}", sqlite ? "INTEGER PRIMARY KEY" : "SERIAL PRIMARY KEY"},
        {"{KEYED}", sqlite ? " WITHOUT ROWID" : " WITH (fillfactor = 70)"}}) {
    for (std::size_t at; (at = sql.find(key)) != std::string::npos;) sql.replace(at, key.size(), text);
  }
  return sql;
}

int64_t Int(const Value &v) { return v ? std::stoll(*v) : 0; }

// Every measurement's frame; those of one plan line, entry and limits (names
// apart) the same, from the mean of all their finite values.
bool SetFrames(Database &db, std::string &error) {
  using Key = std::tuple<std::string, int64_t, int64_t, std::optional<double>, std::optional<double>>;
  struct Seen {
    std::vector<int64_t> ids;
    double sum = 0.0;
    int64_t count = 0;
  };
  std::map<Key, Seen> seen;
  const bool ok = db.query(
      "SELECT m.id, m.export, m.plan_line, m.entry, m.low, m.high, a.s, a.n FROM measurement m LEFT JOIN"
      " (SELECT measurement_id, sum(value) AS s, count(value) AS n FROM run_result WHERE value BETWEEN -1e300 AND"
      " 1e300 GROUP BY measurement_id) a ON a.measurement_id = m.id",
      {},
      [&](const Row &r) {
        Seen &s = seen[{r[1].value_or(""), Int(r[2]), Int(r[3]), ParseNumber(r[4]), ParseNumber(r[5])}];
        s.ids.push_back(Int(r[0]));
        s.sum += ParseNumber(r[6]).value_or(0.0);
        s.count += Int(r[7]);
        return true;
      },
      error);
  if (!ok) return false;
  for (const auto &[key, s] : seen) {
    const std::optional<double> typical =
        s.count > 0 ? std::optional<double>(s.sum / static_cast<double>(s.count)) : std::nullopt;
    const BinFrame f = FrameFor(std::get<3>(key), std::get<4>(key), typical);
    for (int64_t id : s.ids) {
      if (!db.query("UPDATE measurement SET bin_first = $1, bin_width = $2 WHERE id = $3",
                    {NumberText(f.first), NumberText(f.width), std::to_string(id)}, {}, error)) {
        return false;
      }
    }
  }
  return true;
}

// Each session's rollup scope.
bool SessionScopes(Database &db, std::map<std::string, int64_t> &scopes, std::string &error) {
  return db.exec(
             "INSERT INTO rollup_scope (station_id, plan, simulated, fault_injected, mode) SELECT DISTINCT"
             " s.station_id, s.plan, s.simulated, s.fault_injected, s.mode FROM session s WHERE true"
             " ON CONFLICT (station_id, plan, simulated, fault_injected, mode) DO NOTHING",
             error) &&
         db.query(
             "SELECT s.id, r.id FROM session s JOIN rollup_scope r ON r.station_id = s.station_id AND"
             " r.plan = s.plan AND r.simulated = s.simulated AND r.fault_injected = s.fault_injected AND"
             " r.mode = s.mode",
             {},
             [&](const Row &r) {
               scopes[r[0].value_or("")] = Int(r[1]);
               return true;
             },
             error);
}

}  // namespace

bool RebuildRollups(Database &db, std::string &error) {
  std::map<int64_t, BinFrame> frames;
  std::map<std::string, int64_t> scopes;
  if (!ReadFrames(db, frames, error) || !SessionScopes(db, scopes, error)) return false;
  std::map<int64_t, Rollup> rollups;  // by scope
  constexpr int kChunk = 1000;
  for (int64_t after = 0;;) {
    std::vector<AttemptFacts> chunk;
    std::vector<std::string> sessions;
    if (!ReadAttempts(db, "u.id > $1 ORDER BY u.id LIMIT " + std::to_string(kChunk), {std::to_string(after)}, chunk,
                      sessions, error)) {
      return false;
    }
    if (chunk.empty()) break;
    for (std::size_t i = 0; i < chunk.size(); ++i) rollups[scopes[sessions[i]]].add(chunk[i], frames);
    after = chunk.back().id;
  }
  for (const auto &[scope, rollup] : rollups) {
    if (!WriteRollup(db, scope, rollup, error)) return false;
  }
  return true;
}

bool MigrateToRollups(Database &db, std::string &error) {
  return MigrateInOne(
      db, 7,
      [&](std::string &e) {
        return db.exec("ALTER TABLE measurement ADD COLUMN bin_first DOUBLE PRECISION", e) &&
               db.exec("ALTER TABLE measurement ADD COLUMN bin_width DOUBLE PRECISION", e) && SetFrames(db, e) &&
               db.exec(ForEngine(RollupTables(), db.engine()), e) && RebuildRollups(db, e);
      },
      error);
}

bool MigrateToPendingRollups(Database &db, std::string &error) {
  return MigrateInOne(
      db, 8, [&](std::string &e) { return db.exec(kPendingTable, e); }, error);
}

}  // namespace vorn_results
