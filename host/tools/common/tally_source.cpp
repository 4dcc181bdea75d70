#include "tools/common/tally_source.h"

#include <algorithm>
#include <functional>
#include <map>

namespace vorn_reports {

namespace {

int64_t Int(const Value &v) { return v ? std::stoll(*v) : 0; }
std::string Text(const Value &v) { return v.value_or(""); }
double Real(const Value &v) { return vorn_results::ParseNumber(v).value_or(0.0); }

// Adds `count` attempts of one kind: a Tally's counts are sums over the
// attempts, whatever their order.
void AddAttempts(vorn_host::Tally &tally, const Value &prior, const Value &verdict, int64_t count, double seconds) {
  const vorn_host::Prior p = vorn_host::PriorOf(Text(prior)).value_or(vorn_host::Prior::kNone);
  const vorn_host::Verdict v = vorn_host::VerdictOf(Text(verdict)).value_or(vorn_host::Verdict::kNotRun);
  for (int64_t i = 0; i < count; ++i) tally.add(p, v, 0.0);
  tally.stationSeconds += seconds;
}

std::string Joined(const std::vector<std::string> &columns) {
  std::string text;
  for (const std::string &c : columns) text += c + ", ";
  return text;
}

std::vector<std::string> KeyOf(const Row &r, std::size_t columns) {
  std::vector<std::string> key;
  for (std::size_t i = 0; i < columns; ++i) key.push_back(Text(r[i]));
  return key;
}

}  // namespace

std::string StationSecondsSql(const std::string &t) {
  return "(CASE WHEN " + t + ".waited_ms / 1000.0 > " + t + ".seconds THEN " + t + ".waited_ms / 1000.0 ELSE " + t +
         ".seconds END)";
}

Scope ScopeOf(const LineFilter &f, const std::string &name) {
  Scope s;
  std::string where;
  const auto cond = [&](const std::string &text) { where += (where.empty() ? " WHERE " : " AND ") + text; };
  const auto param = [&](const std::string &value) {
    s.params.push_back(value);
    return "$" + std::to_string(s.params.size());
  };
  if (!f.includeFaults) cond("se.fault_injected = 0");
  if (!f.includeEngineering) cond("se.mode <> 'engineering'");
  if (!f.station.empty()) cond("st.name = " + param(f.station));
  if (!f.plan.empty()) cond("se.plan = " + param(f.plan));
  if (f.bounded()) {
    // A unit belongs to the moment of its first attempt.
    std::string first = "u.unit_id IN (SELECT f.unit_id FROM unit f WHERE f.prior = 'none'";
    if (!f.since.empty()) first += " AND f.started >= " + param(f.since);
    if (!f.until.empty()) first += " AND f.started <= " + param(f.until);
    cond(first + ")");
  }
  s.with =
      "WITH " + name +
      " AS NOT MATERIALIZED (SELECT u.id, u.uuid, u.unit_id, u.serial, u.unit_index, u.attempt, u.prior, u.started, u.seconds,"
      " u.waited_ms, u.verdict, u.stopped, COALESCE(u.operator, se.operator) AS operator, st.name AS station,"
      " u.session_id FROM unit u JOIN session se ON se.id = u.session_id JOIN station st ON st.id = se.station_id" +
      where + ") ";
  return s;
}

bool ReadTallies(Database &db, const Scope &scope, const std::vector<std::string> &columns,
                 std::map<std::vector<std::string>, vorn_host::Tally> &tallies, std::string &error) {
  tallies.clear();
  const std::string by = Joined(columns);
  const std::string seconds = StationSecondsSql("u");
  bool ok = db.query(
      scope.with + "SELECT " + by + "prior, verdict, count(*), sum(" + seconds + ") FROM u GROUP BY " + by +
          "prior, verdict",
      scope.params,
      [&](const Row &r) {
        AddAttempts(tallies[KeyOf(r, columns.size())], r[columns.size()], r[columns.size() + 1],
                    Int(r[columns.size() + 2]), Real(r[columns.size() + 3]));
        return true;
      },
      error);
  // Each group's hours: from its first start to its last end.
  std::map<std::vector<std::string>, std::pair<int64_t, double>> span;
  ok = ok && db.query(
                 scope.with + "SELECT " + by + "started, " + seconds + " FROM u", scope.params,
                 [&](const Row &r) {
                   const std::optional<int64_t> start = EpochSeconds(Text(r[columns.size()]));
                   if (!start) return true;
                   const double end = static_cast<double>(*start) + Real(r[columns.size() + 1]);
                   auto [at, added] = span.try_emplace(KeyOf(r, columns.size()), *start, end);
                   if (!added) at->second = {std::min(at->second.first, *start), std::max(at->second.second, end)};
                   return true;
                 },
                 error);
  for (auto &[key, tally] : tallies) {
    const auto at = span.find(key);
    if (at != span.end()) tally.hoursSinceFirst = (at->second.second - static_cast<double>(at->second.first)) / 3600.0;
  }
  return ok;
}

bool ReadTally(Database &db, const LineFilter &filter, vorn_host::Tally &tally, std::string &error) {
  std::map<std::vector<std::string>, vorn_host::Tally> tallies;
  if (!ReadTallies(db, ScopeOf(filter), {}, tallies, error)) return false;
  tally = tallies.count({}) ? tallies[{}] : vorn_host::Tally();
  return true;
}

bool ReadDailyTallies(Database &db, const LineFilter &filter, std::vector<DayTally> &days, std::string &error) {
  days.clear();
  // Each attempt with its unit's first day, as "u" again.
  Scope scope = ScopeOf(filter, "a");
  scope.with +=
      ", u AS (SELECT a.*, substr(f.started, 1, 10) AS day FROM a JOIN unit f ON f.unit_id = a.unit_id"
      " AND f.prior = 'none') ";
  std::map<std::vector<std::string>, vorn_host::Tally> tallies;
  if (!ReadTallies(db, scope, {"station", "day"}, tallies, error)) return false;
  for (auto &[key, tally] : tallies) days.push_back({key[0], key[1], tally});
  return true;
}

bool ReadProvenance(Database &db, const LineFilter &f, Provenance &p, std::string &error) {
  p = Provenance();
  std::vector<Value> params;
  std::string where = " WHERE 1 = 1";
  const auto param = [&](const std::string &value) {
    params.push_back(value);
    return "$" + std::to_string(params.size());
  };
  if (!f.station.empty()) where += " AND st.name = " + param(f.station);
  if (!f.plan.empty()) where += " AND se.plan = " + param(f.plan);
  if (!f.since.empty()) where += " AND (se.ended IS NULL OR se.ended >= " + param(f.since) + ")";
  if (!f.until.empty()) where += " AND se.started <= " + param(f.until);
  const std::string faults = f.includeFaults ? "0" : "se.fault_injected";
  const std::string engineering = f.includeEngineering ? "0" : "CASE WHEN se.mode = 'engineering' THEN 1 ELSE 0 END";
  const std::string counted = "(1 - " + faults + ") * (1 - " + engineering + ")";
  return db.query(
      "SELECT coalesce(sum(" + counted + "), 0), coalesce(sum(" + counted + " * se.simulated), 0), coalesce(sum(" +
          faults + "), 0), coalesce(sum((1 - " + faults + ") * " + engineering +
          "), 0) FROM session se JOIN station st ON st.id = se.station_id" + where,
      params,
      [&](const Row &r) {
        p.sessions = Int(r[0]);
        p.simulated = Int(r[1]);
        p.faultsLeftOut = Int(r[2]);
        p.engineeringLeftOut = Int(r[3]);
        return true;
      },
      error);
}

std::vector<std::pair<std::string, std::string>> LeftOutNotes(const Provenance &p) {
  std::vector<std::pair<std::string, std::string>> notes;
  const auto sessions = [](int64_t n) { return std::to_string(n) + (n == 1 ? " session" : " sessions"); };
  if (p.faultsLeftOut > 0) {
    notes.emplace_back(sessions(p.faultsLeftOut) + " with injected faults left out", "--include-faults");
  }
  if (p.engineeringLeftOut > 0) {
    notes.emplace_back(sessions(p.engineeringLeftOut) + " of engineering trials left out", "--include-engineering");
  }
  return notes;
}

std::string SimulatedNote(const Provenance &p) {
  if (p.simulated == 0) return "";
  if (p.simulated == p.sessions) {
    return p.sessions == 1 ? "The session ran on the simulated station"
                           : "All " + std::to_string(p.sessions) + " sessions ran on the simulated station";
  }
  return std::to_string(p.simulated) + " of " + std::to_string(p.sessions) + " sessions ran on the simulated station";
}

}  // namespace vorn_reports
