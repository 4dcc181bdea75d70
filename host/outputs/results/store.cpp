#include "outputs/results/store.h"

#include <cmath>
#include <set>

#include "core/health_json.h"
#include "core/record_json.h"
#include "core/run.h"
#include "outputs/results/schema.h"

namespace vorn_results {

namespace {

using vorn_host::SessionRecord;
using vorn_host::UnitRecord;

// A list of texts as one column: its JSON array.
std::string ListText(const std::vector<std::string> &texts) {
  nlohmann::json list = nlohmann::json::array();
  for (const std::string &t : texts) list.push_back(vorn_host::JsonSafe(t));
  return vorn_host::JsonText(list);
}
std::vector<std::string> ListOf(const Value &v) {
  const nlohmann::json j = nlohmann::json::parse(v.value_or("[]"), nullptr, false);
  std::vector<std::string> out;
  if (!j.is_array()) return out;
  for (const auto &t : j) {
    if (t.is_string()) out.push_back(t.get<std::string>());
  }
  return out;
}

bool Same(const std::optional<double> &a, const std::optional<double> &b) {
  if (!a || !b) return !a && !b;
  return *a == *b || (std::isnan(*a) && std::isnan(*b));
}

Value Int(int64_t n) { return std::to_string(n); }
Value Number(const std::optional<double> &d) { return d ? Value(NumberText(*d)) : std::nullopt; }
std::string Str(const Value &v) { return v.value_or(""); }
int64_t Integer(const Value &v) { return v ? std::stoll(*v) : 0; }

constexpr const char *kOutbox =
    "CREATE TABLE IF NOT EXISTS outbox (seq INTEGER PRIMARY KEY, kind TEXT NOT NULL, key TEXT NOT NULL,"
    " server TEXT, UNIQUE (kind, key));"
    "CREATE TABLE IF NOT EXISTS health_outbox (seq INTEGER PRIMARY KEY, kind TEXT NOT NULL, uuid TEXT NOT NULL UNIQUE,"
    " record TEXT NOT NULL, server TEXT)";

// The outbox's server column, added to a spool made before it (its entries
// keep no server: they are forwarded only when asked for by name).
bool OutboxHasServer(Database &db, std::string &error) {
  bool has = false;
  if (!db.query(
          "SELECT count(*) FROM pragma_table_info('outbox') WHERE name = 'server'", {},
          [&](const Row &r) {
            has = r[0].value_or("0") != "0";
            return true;
          },
          error)) {
    return false;
  }
  return has || db.exec("ALTER TABLE outbox ADD COLUMN server TEXT", error);
}

// A field of a health record's JSON as a parameter: null, a text, a number, a flag.
Value Field(const nlohmann::json &j, const char *name) {
  const auto it = j.find(name);
  if (it == j.end() || it->is_null()) return std::nullopt;
  if (it->is_string()) return it->get<std::string>();
  if (it->is_boolean()) return Value(it->get<bool>() ? "1" : "0");
  if (it->is_number()) return NumberText(it->get<double>());
  return vorn_host::JsonText(*it);
}

std::vector<Value> Fields(const nlohmann::json &j, std::initializer_list<const char *> names) {
  std::vector<Value> values;
  for (const char *name : names) values.push_back(Field(j, name));
  return values;
}

struct HealthTable {
  const char *kind;
  const char *insert;  // the record's row, returning its uuid when new
  std::initializer_list<const char *> fields;
  const char *lines;  // its lines' rows, or null
  std::initializer_list<const char *> lineFields;
};

const HealthTable kHealthTables[] = {
    {vorn_host::kVerificationKind,
     "INSERT INTO verification (uuid, station, at, operator, golden, golden_file, session_id, unit_uuid,"
     " calibration_uuid, tolerance, worst, verdict)",
     {"uuid", "station", "at", "operator", "golden", "goldenFile", "session", "unit", "calibration", "tolerance",
      "worst", "verdict"},
     "INSERT INTO verification_line (verification_uuid, key, frequency_mhz, reference, reading, deviation, passed)",
     {"key", "frequencyMhz", "reference", "reading", "deviation", "passed"}},
    {vorn_host::kCalibrationKind,
     "INSERT INTO calibration (uuid, station, at, operator, golden, golden_file, session_id, unit_uuid, parameters,"
     " backup, written, refused)",
     {"uuid", "station", "at", "operator", "golden", "goldenFile", "session", "unit", "parameters", "backup", "written",
      "refused"},
     "INSERT INTO calibration_line (calibration_uuid, key, frequency_mhz, reference, reading, old_value, new_value,"
     " corrected)",
     {"key", "frequencyMhz", "reference", "reading", "oldValue", "newValue", "corrected"}},
    {vorn_host::kAlarmKind,
     "INSERT INTO alarm (uuid, station, at, session_id, unit_uuid, serial, measurement, rule, value, centre, sigma,"
     " text)",
     {"uuid", "station", "at", "session", "unit", "serial", "measurement", "rule", "value", "centre", "sigma", "text"},
     nullptr,
     {}},
    {vorn_host::kLockKind,
     "INSERT INTO station_lock (uuid, station, at, session_id, reason, action)",
     {"uuid", "station", "at", "session", "reason", "action"},
     nullptr,
     {}},
    {vorn_host::kAcknowledgementKind,
     "INSERT INTO acknowledgement (uuid, lock_uuid, station, at, by_whom, via)",
     {"uuid", "lock", "station", "at", "by", "via"},
     nullptr,
     {}},
};

}  // namespace

std::string MultiInsert(const std::string &head, std::size_t columns, std::size_t rows) {
  std::string sql = head + " VALUES ";
  std::size_t n = 0;
  for (std::size_t r = 0; r < rows; ++r) {
    sql += r == 0 ? "(" : ", (";
    for (std::size_t c = 0; c < columns; ++c) sql += (c == 0 ? "$" : ", $") + std::to_string(++n);
    sql += ")";
  }
  return sql;
}

bool InsertRows(Database &db, const std::string &head, std::size_t columns, const std::vector<Value> &values,
                std::string &error, const std::string &tail) {
  constexpr std::size_t kRowsPerInsert = 100;  // few statements, far below both engines' parameter limits
  const std::size_t rows = values.size() / columns;
  for (std::size_t first = 0; first < rows; first += kRowsPerInsert) {
    const std::size_t count = std::min(kRowsPerInsert, rows - first);
    const std::vector<Value> part(values.begin() + static_cast<std::ptrdiff_t>(first * columns),
                                  values.begin() + static_cast<std::ptrdiff_t>((first + count) * columns));
    const std::string sql = MultiInsert(head, columns, count) + (tail.empty() ? "" : " " + tail);
    if (!db.query(sql, part, {}, error)) return false;
  }
  return true;
}

bool ResultRow::operator==(const ResultRow &o) const {
  return entry == o.entry && Same(value, o.value) && name == o.name && Same(low, o.low) && Same(high, o.high) &&
         passed == o.passed;
}

bool StepRow::operator==(const StepRow &o) const {
  return index == o.index && planLine == o.planLine && cleanup == o.cleanup && limits == o.limits &&
         exportName == o.exportName && number == o.number && verdict == o.verdict && returned == o.returned &&
         text == o.text && seconds == o.seconds && waitedMs == o.waitedMs && results == o.results;
}

bool UnitRow::operator==(const UnitRow &o) const {
  return uuid == o.uuid && sessionId == o.sessionId && unitId == o.unitId && serial == o.serial && unit == o.unit &&
         attempt == o.attempt && prior == o.prior && started == o.started && seconds == o.seconds &&
         waitedMs == o.waitedMs && verdict == o.verdict && stopped == o.stopped && firstAttempt == o.firstAttempt &&
         socket == o.socket && operatorName == o.operatorName && steps == o.steps;
}

UnitRow ToRow(const UnitRecord &unit) {
  UnitRow row;
  row.uuid = unit.uuid;
  row.sessionId = unit.session ? unit.session->id : "";
  row.unitId = unit.unitId;
  row.serial = unit.serial;
  row.unit = unit.index;
  row.attempt = unit.attempt;
  row.prior = vorn_host::PriorText(unit.prior);
  row.started = unit.run.started;
  row.seconds = unit.run.seconds;
  row.waitedMs = unit.run.waitedMs;
  row.verdict = vorn_host::VerdictText(unit.run.verdict);
  row.stopped = unit.run.stopped;
  row.firstAttempt = unit.firstAttempt();
  row.socket = unit.socket;
  row.operatorName = unit.operatorName;
  int index = 0;
  for (const vorn_host::StepRecord &s : unit.run.steps) {
    StepRow step;
    step.index = ++index;
    step.planLine = s.step.line;
    step.cleanup = s.step.cleanup;
    step.limits = vorn_host::LimitsText(s.step.limits);
    step.exportName = s.step.shortName();
    step.number = s.step.number;
    step.verdict = vorn_host::VerdictText(s.verdict);
    step.returned = s.returned;
    step.text = s.text;
    step.seconds = s.seconds;
    step.waitedMs = s.waitedMs;
    for (const vorn_host::EntryResult &e : s.entries) {
      ResultRow r;
      r.entry = e.entry;
      r.value = e.value;
      r.name = e.name;
      if (e.limit) {
        r.low = e.limit->low;
        r.high = e.limit->high;
      }
      r.passed = e.passed;
      step.results.push_back(r);
    }
    row.steps.push_back(std::move(step));
  }
  return row;
}

UnitRow ToRow(const SessionRecord &session, const UnitRecord &unit) {
  UnitRow row = ToRow(unit);
  row.sessionId = session.id;
  return row;
}

namespace {

vorn_host::StepRecord StepOf(const StepRow &row) {
  vorn_host::StepRecord s;
  s.step.line = row.planLine;
  s.step.cleanup = row.cleanup;
  s.step.exportName = std::string(vorn_host::kExportPrefix) + row.exportName;
  s.step.number = row.number;
  s.step.limits = vorn_host::LimitsFromText(row.limits);
  s.verdict = vorn_host::VerdictOf(row.verdict).value_or(vorn_host::Verdict::kNotRun);
  s.returned = static_cast<int32_t>(row.returned);
  s.text = row.text;
  s.seconds = row.seconds;
  s.waitedMs = row.waitedMs;
  for (const ResultRow &r : row.results) {
    vorn_host::EntryResult e;
    e.entry = r.entry;
    e.value = r.value;
    e.name = r.name;
    e.passed = r.passed;
    if (const vorn_host::Limit *limit = s.step.limitFor(r.entry)) {
      e.limit = *limit;
      if (!e.passed) s.misses.push_back(vorn_host::MissText(e));
    }
    s.entries.push_back(std::move(e));
  }
  return s;
}

}  // namespace

UnitRecord ToRecord(const UnitRow &row, std::shared_ptr<const SessionRecord> session) {
  UnitRecord u;
  u.session = std::move(session);
  u.uuid = row.uuid;
  u.unitId = row.unitId;
  u.serial = row.serial;
  u.index = row.unit;
  u.attempt = row.attempt;
  u.prior = vorn_host::PriorOf(row.prior).value_or(vorn_host::Prior::kNone);
  u.socket = row.socket;
  u.operatorName = row.operatorName;
  u.run.started = row.started;
  u.run.seconds = row.seconds;
  u.run.waitedMs = row.waitedMs;
  u.run.verdict = vorn_host::VerdictOf(row.verdict).value_or(vorn_host::Verdict::kNotRun);
  u.run.stopped = row.stopped;
  for (const StepRow &s : row.steps) u.run.steps.push_back(StepOf(s));
  return u;
}

std::unique_ptr<Store> Store::Open(const std::string &target, bool outbox, std::string &error) {
  std::unique_ptr<Database> db = OpenDatabase(target, error);
  if (!db) return nullptr;
  return Over(std::move(db), outbox, error);
}

std::unique_ptr<Store> Store::Over(std::unique_ptr<Database> db, bool outbox, std::string &error) {
  if (!Migrate(*db, error) || !db->readyForWriting(error)) return nullptr;
  if (outbox && (!db->exec(kOutbox, error) || !OutboxHasServer(*db, error))) return nullptr;
  // The spool keeps no rollups: its units are on their way to a server that does.
  return std::unique_ptr<Store>(new Store(std::move(db), outbox));
}

bool Store::transaction(const std::function<bool(std::string &)> &body, std::string &error) {
  if (!db_->exec(db_->beginWrite(), error)) return false;
  if (body(error) && db_->exec("COMMIT", error)) {
    ids_.commit();
    scopes_.insert(newScopes_.begin(), newScopes_.end());
    newScopes_.clear();
    // A fold ends its transaction: every attempt named before it is folded,
    // here or by another station.
    if (folded_) {
      pending_.clear();
    } else {
      pending_.insert(pending_.end(), std::make_move_iterator(newPending_.begin()),
                      std::make_move_iterator(newPending_.end()));
    }
    newPending_.clear();
    folded_ = false;
    return true;
  }
  ids_.rollback();
  newScopes_.clear();
  newPending_.clear();
  folded_ = false;
  std::string ignored;
  if (db_->connected()) db_->exec("ROLLBACK", ignored);
  return false;
}

bool Store::putSession(const SessionRecord &s, std::string &error) {
  return transaction(
      [&](std::string &e) {
        std::string stationId;
        const bool ok = db_->query(
            "INSERT INTO station (name, host, library, version) VALUES ($1, $2, $3, $4)"
            " ON CONFLICT (name, host, library, version) DO UPDATE SET name = excluded.name RETURNING id",
            {s.station, s.host, s.library, s.version},
            [&](const Row &r) {
              stationId = Str(r[0]);
              return true;
            },
            e);
        if (!ok) return false;
        const Value operatorName = s.operatorName.empty() ? std::nullopt : Value(s.operatorName);
        const Value ended = s.ended.empty() ? std::nullopt : Value(s.ended);
        if (!db_->query(
                "INSERT INTO session (id, station_id, plan, plan_sha256, parameters, parameters_sha256,"
                " operator, simulated, started, ended, clock, scenarios, faults, fault_injected, mode, single,"
                " health_check_skipped)"
                " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16, $17)"
                " ON CONFLICT (id) DO UPDATE SET ended = COALESCE(excluded.ended, session.ended)",
                {s.id, stationId, s.plan, s.planSha256, s.parameters, s.parametersSha256, operatorName,
                 Int(s.simulated ? 1 : 0), s.started, ended, std::string(s.virtualClock ? "virtual" : "real"),
                 ListText(s.scenarios), ListText(s.faults), Int(s.faultInjected ? 1 : 0),
                 std::string(vorn_host::ModeText(s.mode)), Int(s.single ? 1 : 0), Int(s.healthCheckSkipped ? 1 : 0)},
                {}, e)) {
          return false;
        }
        // Queued anew, under a new seq: an entry the forwarder is sending
        // now (the row as it was) is dequeued by its own seq, and this one
        // (the row with its end) stays to be sent.
        return (!outbox_ || (db_->query("DELETE FROM outbox WHERE kind = 'session' AND key = $1", {s.id}, {}, e) &&
                             db_->query("INSERT INTO outbox (kind, key, server) VALUES ('session', $1, $2)",
                                        {s.id, server_}, {}, e))) &&
               (!rollups_ || fold(e));
      },
      error);
}

bool Store::insertUnit(const UnitRow &u, bool &stored, std::string &e) {
  stored = false;
  const Value none;
  std::string id;
  if (!db_->query(
          "INSERT INTO unit (uuid, session_id, serial, unit_index, attempt, started, seconds, waited_ms, verdict,"
          " first_attempt, unit_id, prior, stopped, socket, operator)"
          " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15)"
          " ON CONFLICT (uuid) DO NOTHING RETURNING id",
          {u.uuid, u.sessionId, u.serial, Int(u.unit), Int(u.attempt), u.started, Number(u.seconds),
           Int(static_cast<int64_t>(u.waitedMs)), u.verdict, Int(u.firstAttempt ? 1 : 0), u.unitId, u.prior,
           Int(u.stopped ? 1 : 0), u.socket.empty() ? none : Value(u.socket),
           u.operatorName.empty() ? none : Value(u.operatorName)},
          [&](const Row &r) {
            stored = true;
            id = Str(r[0]);
            return true;
          },
          e)) {
    return false;
  }
  // Already there: its steps and results came in the same transaction.
  if (!stored) return true;
  return insertRuns(id, u, e) &&
         (!outbox_ || db_->query("INSERT INTO outbox (kind, key, server) VALUES ('unit', $1, $2)"
                                 " ON CONFLICT (kind, key) DO NOTHING",
                                 {u.uuid, server_}, {}, e));
}

// The attempt's steps and results, each naming its plan step or measurement
// by id; and what they add to the rollups.
bool Store::insertRuns(const std::string &attemptId, const UnitRow &u, std::string &e) {
  AttemptFacts facts{std::stoll(attemptId), u.prior, u.verdict, u.started, "", u.seconds, u.waitedMs, {}, {}};
  std::map<int64_t, BinFrame> frames;
  std::vector<Value> steps;
  std::vector<Value> results;
  for (const StepRow &s : u.steps) {
    int64_t planStep = 0;
    if (!ids_.planStep(*db_, {s.exportName, s.planLine, s.number, s.cleanup, s.limits}, planStep, e)) return false;
    steps.insert(steps.end(), {attemptId, Number(s.seconds), Int(s.returned), Int(static_cast<int64_t>(s.waitedMs)),
                               Int(planStep), Int(s.index), s.verdict, s.text});
    facts.steps.push_back({planStep, s.verdict, s.seconds, s.waitedMs});
    for (const ResultRow &r : s.results) {
      int64_t measurement = 0;
      BinFrame frame;
      if (!ids_.measurement(*db_, {s.exportName, s.planLine, r.entry, r.name, r.low, r.high}, r.value, measurement,
                            frame, e)) {
        return false;
      }
      frames[measurement] = frame;
      results.insert(results.end(),
                     {attemptId, Number(r.value), Int(measurement), Int(s.index), Int(r.passed ? 1 : 0)});
      facts.results.push_back({measurement, r.value, r.passed});
    }
  }
  return InsertRows(*db_,
                    "INSERT INTO run_step (attempt_id, seconds, returned, waited_ms, plan_step_id, step_index, verdict,"
                    " text)",
                    8, steps, e) &&
         InsertRows(*db_, "INSERT INTO run_result (attempt_id, value, measurement_id, step_index, passed)", 5, results,
                    e) &&
         (!rollups_ || rollUp(u, facts, frames, e));
}

bool Store::scopeOf(const std::string &sessionId, int64_t &scope, std::string &e) {
  scope = -1;
  for (const auto *known : {&scopes_, &newScopes_}) {
    const auto found = known->find(sessionId);
    if (found != known->end()) scope = found->second;
  }
  if (scope >= 0) return true;
  if (!ScopeOfSession(*db_, sessionId, scope, e)) return false;
  if (scope < 0) {
    e = "no rollup scope for session " + sessionId;
    return false;
  }
  newScopes_[sessionId] = scope;
  return true;
}

// The attempt named as waiting for the rollups, its facts kept for the fold:
// it will count where its unit does, the day of the unit's first attempt, in
// its session's scope.
bool Store::rollUp(const UnitRow &u, AttemptFacts &facts, std::map<int64_t, BinFrame> &frames, std::string &e) {
  int64_t scope = -1;
  if (!scopeOf(u.sessionId, scope, e)) return false;
  facts.firstStarted = u.started;
  if (u.prior != "none" && !db_->query(
                               "SELECT min(started) FROM unit WHERE unit_id = $1", {u.unitId},
                               [&](const Row &r) {
                                 facts.firstStarted = r[0].value_or(u.started);
                                 return false;
                               },
                               e)) {
    return false;
  }
  if (!db_->query("INSERT INTO rollup_pending (attempt_id) VALUES ($1)", {Int(facts.id)}, {}, e)) return false;
  newPending_.push_back({scope, std::move(facts), std::move(frames)});
  return true;
}

bool Store::foldWhenDue(std::string &e) {
  return !rollups_ || pending_.size() + newPending_.size() < kFoldEvery || fold(e);
}

// Every attempt named as waiting, folded into the rollups and its name taken
// out: from the facts this store kept, or from its rows when another store
// wrote it and stopped before it folded. What another station folded first
// is no longer named and not folded again.
bool Store::fold(std::string &e) {
  std::set<int64_t> claimed;
  const bool ok = db_->query(
      "DELETE FROM rollup_pending RETURNING attempt_id", {},
      [&](const Row &r) {
        claimed.insert(std::stoll(r[0].value_or("0")));
        return true;
      },
      e);
  if (!ok) return false;
  std::map<int64_t, Rollup> rollups;  // by scope
  for (const auto *kept : {&pending_, &newPending_}) {
    for (const Pending &p : *kept) {
      if (claimed.erase(p.facts.id) > 0) rollups[p.scope].add(p.facts, p.frames);
    }
  }
  if (!claimed.empty() && !foldRows(claimed, rollups, e)) return false;
  for (const auto &[scope, rollup] : rollups) {
    if (!WriteRollup(*db_, scope, rollup, e)) return false;
  }
  folded_ = true;
  return true;
}

// Attempts by id, from their rows.
bool Store::foldRows(const std::set<int64_t> &ids, std::map<int64_t, Rollup> &rollups, std::string &e) {
  std::string list;
  for (int64_t id : ids) list += (list.empty() ? "" : ", ") + std::to_string(id);
  std::vector<AttemptFacts> attempts;
  std::vector<std::string> sessions;
  std::map<int64_t, BinFrame> frames;
  if (!ReadAttempts(*db_, "u.id IN (" + list + ")", {}, attempts, sessions, e) || !ReadFrames(*db_, frames, e)) {
    return false;
  }
  for (std::size_t i = 0; i < attempts.size(); ++i) {
    int64_t scope = -1;
    if (!scopeOf(sessions[i], scope, e)) return false;
    rollups[scope].add(attempts[i], frames);
  }
  return true;
}

bool Store::putUnit(const UnitRow &u, bool &stored, std::string &error) {
  return transaction([&](std::string &e) { return insertUnit(u, stored, e) && foldWhenDue(e); }, error);
}

bool Store::putUnits(const std::vector<UnitRow> &units, int64_t &stored, std::string &error) {
  int64_t added = 0;
  const bool ok = transaction(
      [&](std::string &e) {
        for (const UnitRow &u : units) {
          bool one = false;
          if (!insertUnit(u, one, e)) return false;
          added += one ? 1 : 0;
        }
        return foldWhenDue(e);
      },
      error);
  stored = ok ? added : 0;
  return ok;
}

bool Store::insertHealth(const std::string &kind, const nlohmann::json &record, bool &stored, std::string &e) {
  stored = false;
  if (outbox_) {
    return db_->query(
        "INSERT INTO health_outbox (kind, uuid, record, server) VALUES ($1, $2, $3, $4) ON CONFLICT (uuid) DO NOTHING"
        " RETURNING uuid",
        {kind, Field(record, "uuid"), vorn_host::JsonText(record), server_.empty() ? Value() : Value(server_)},
        [&](const Row &) {
          stored = true;
          return true;
        },
        e);
  }
  for (const HealthTable &t : kHealthTables) {
    if (kind != t.kind) continue;
    const std::vector<Value> row = Fields(record, t.fields);
    if (!db_->query(
            MultiInsert(t.insert, row.size(), 1) + " ON CONFLICT (uuid) DO NOTHING RETURNING uuid", row,
            [&](const Row &) {
              stored = true;
              return true;
            },
            e)) {
      return false;
    }
    if (!stored || t.lines == nullptr) return true;
    std::vector<Value> lines;
    for (const nlohmann::json &line : record.at("lines")) {
      lines.push_back(Field(record, "uuid"));
      for (const Value &v : Fields(line, t.lineFields)) lines.push_back(v);
    }
    return InsertRows(*db_, t.lines, t.lineFields.size() + 1, lines, e);
  }
  e = "no health record of the kind \"" + kind + "\"";
  return false;
}

bool Store::putHealth(const std::string &kind, const nlohmann::json &record, bool &stored, std::string &error) {
  return transaction(
      [&](std::string &e) {
        try {
          return insertHealth(kind, record, stored, e);
        } catch (const std::exception &x) {  // a record without its lines
          e = "a malformed " + kind + " record: " + x.what();
          return false;
        }
      },
      error);
}

bool Store::healthOutbox(std::vector<QueuedHealth> &queued, std::string &error) {
  queued.clear();
  return db_->query(
      "SELECT seq, kind, record, server FROM health_outbox ORDER BY seq", {},
      [&](const Row &r) {
        queued.push_back({Integer(r[0]), Str(r[1]), Str(r[2]), Str(r[3])});
        return true;
      },
      error);
}

bool Store::dequeueHealth(int64_t seq, std::string &error) {
  return db_->query("DELETE FROM health_outbox WHERE seq = $1", {Int(seq)}, {}, error);
}

bool Store::getSession(const std::string &id, SessionRecord &s, bool &found, std::string &error) {
  found = false;
  return db_->query(
      "SELECT s.id, t.name, t.host, t.library, t.version, s.plan, s.plan_sha256, s.parameters,"
      " s.parameters_sha256, s.operator, s.simulated, s.started, s.ended, s.clock, s.scenarios, s.faults,"
      " s.fault_injected, s.mode, s.single, s.health_check_skipped"
      " FROM session s JOIN station t ON t.id = s.station_id WHERE s.id = $1",
      {id},
      [&](const Row &r) {
        found = true;
        s.id = Str(r[0]);
        s.station = Str(r[1]);
        s.host = Str(r[2]);
        s.library = Str(r[3]);
        s.version = Str(r[4]);
        s.plan = Str(r[5]);
        s.planSha256 = Str(r[6]);
        s.parameters = Str(r[7]);
        s.parametersSha256 = Str(r[8]);
        s.operatorName = Str(r[9]);
        s.simulated = Integer(r[10]) != 0;
        s.started = Str(r[11]);
        s.ended = Str(r[12]);
        s.virtualClock = Str(r[13]) == "virtual";
        s.scenarios = ListOf(r[14]);
        s.faults = ListOf(r[15]);
        s.faultInjected = Integer(r[16]) != 0;
        s.mode = vorn_host::ModeOf(Str(r[17])).value_or(vorn_host::SessionMode::kProduction);
        s.single = Integer(r[18]) != 0;
        s.healthCheckSkipped = Integer(r[19]) != 0;
        return true;
      },
      error);
}

bool Store::getUnit(const std::string &uuid, UnitRow &u, bool &found, std::string &error) {
  found = false;
  u = UnitRow();
  std::string id;
  const bool ok = db_->query(
      "SELECT uuid, session_id, serial, unit_index, attempt, started, seconds, waited_ms, verdict, first_attempt,"
      " unit_id, prior, stopped, socket, operator, id FROM unit WHERE uuid = $1",
      {uuid},
      [&](const Row &r) {
        found = true;
        u.uuid = Str(r[0]);
        u.sessionId = Str(r[1]);
        u.serial = Str(r[2]);
        u.unit = static_cast<int>(Integer(r[3]));
        u.attempt = static_cast<int>(Integer(r[4]));
        u.started = Str(r[5]);
        u.seconds = ParseNumber(r[6]).value_or(0.0);
        u.waitedMs = static_cast<uint64_t>(Integer(r[7]));
        u.verdict = Str(r[8]);
        u.firstAttempt = Integer(r[9]) != 0;
        u.unitId = Str(r[10]);
        u.prior = Str(r[11]);
        u.stopped = Integer(r[12]) != 0;
        u.socket = Str(r[13]);
        u.operatorName = Str(r[14]);
        id = Str(r[15]);
        return true;
      },
      error);
  return ok && (!found || (getSteps(id, u, error) && getResults(id, u, error)));
}

bool Store::getSteps(const std::string &attemptId, UnitRow &u, std::string &error) {
  return db_->query(
      "SELECT s.step_index, p.plan_line, p.export, p.number, s.verdict, s.returned, s.text, s.seconds, s.waited_ms,"
      " p.cleanup, p.limits FROM run_step s JOIN plan_step p ON p.id = s.plan_step_id WHERE s.attempt_id = $1"
      " ORDER BY s.step_index",
      {attemptId},
      [&](const Row &r) {
        StepRow s;
        s.index = static_cast<int>(Integer(r[0]));
        s.planLine = static_cast<int>(Integer(r[1]));
        s.exportName = Str(r[2]);
        s.number = static_cast<int>(Integer(r[3]));
        s.verdict = Str(r[4]);
        s.returned = Integer(r[5]);
        s.text = Str(r[6]);
        s.seconds = ParseNumber(r[7]).value_or(0.0);
        s.waitedMs = static_cast<uint64_t>(Integer(r[8]));
        s.cleanup = Integer(r[9]) != 0;
        s.limits = Str(r[10]);
        u.steps.push_back(std::move(s));
        return true;
      },
      error);
}

bool Store::getResults(const std::string &attemptId, UnitRow &u, std::string &error) {
  std::size_t at = 0;
  return db_->query(
      "SELECT r.step_index, m.entry, r.value, m.name, m.low, m.high, r.passed FROM run_result r"
      " JOIN measurement m ON m.id = r.measurement_id WHERE r.attempt_id = $1 ORDER BY r.step_index, m.entry",
      {attemptId},
      [&](const Row &r) {
        const int step = static_cast<int>(Integer(r[0]));
        while (at < u.steps.size() && u.steps[at].index < step) ++at;
        if (at == u.steps.size() || u.steps[at].index != step) return true;
        ResultRow result;
        result.entry = static_cast<int>(Integer(r[1]));
        result.value = ParseNumber(r[2]);
        result.name = r[3];
        result.low = ParseNumber(r[4]);
        result.high = ParseNumber(r[5]);
        result.passed = Integer(r[6]) != 0;
        u.steps[at].results.push_back(std::move(result));
        return true;
      },
      error);
}

bool Store::removeUnit(const std::string &uuid, std::string &error) {
  // Not waited onto the disk: a removal a crash undoes only sends the unit
  // again, and the server keeps one copy. (SQLite's WAL keeps it consistent.)
  const bool file = db_->engine() == Engine::kSqlite;
  if (file && !db_->exec("PRAGMA synchronous=NORMAL", error)) return false;
  const bool removed = transaction(
      [&](std::string &e) {
        const std::string attempt = "(SELECT id FROM unit WHERE uuid = $1)";
        return db_->query("DELETE FROM run_result WHERE attempt_id = " + attempt, {uuid}, {}, e) &&
               db_->query("DELETE FROM run_step WHERE attempt_id = " + attempt, {uuid}, {}, e) &&
               db_->query("DELETE FROM unit WHERE uuid = $1", {uuid}, {}, e) &&
               (!outbox_ || db_->query("DELETE FROM outbox WHERE kind = 'unit' AND key = $1", {uuid}, {}, e));
      },
      error);
  std::string ignored;
  if (file && !db_->exec("PRAGMA synchronous=FULL", removed ? error : ignored)) return false;
  return removed;
}

bool Store::outbox(std::vector<Queued> &queued, std::string &error) {
  queued.clear();
  return db_->query(
      "SELECT kind, key, server, seq FROM outbox ORDER BY seq", {},
      [&](const Row &r) {
        queued.push_back({Str(r[0]), Str(r[1]), Str(r[2]), Str(r[3])});
        return true;
      },
      error);
}

bool Store::dequeue(const Queued &item, std::string &error) {
  return db_->query("DELETE FROM outbox WHERE kind = $1 AND key = $2 AND seq = CAST($3 AS INTEGER)",
                    {item.kind, item.key, item.seq}, {}, error);
}

}  // namespace vorn_results
