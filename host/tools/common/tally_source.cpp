#include "tools/common/tally_source.h"

#include <algorithm>
#include <functional>
#include <map>

#include "tools/common/line_sums.h"

namespace vorn_reports {

namespace {

int64_t Int(const Value &v) { return v ? std::stoll(*v) : 0; }

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
  cond("se.mode IN (" + ModesTaken(f) + ")");
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

bool ReadTally(Database &db, const LineFilter &filter, vorn_host::Tally &tally, std::string &error) {
  LineSums sums;
  if (!ReadLineSums(db, filter, true, 0, sums, error)) return false;
  const auto all = sums.tallies([](const std::string &, const std::string &) { return std::vector<std::string>(); });
  tally = all.empty() ? vorn_host::Tally() : all.begin()->second;
  return true;
}

bool ReadDailyTallies(Database &db, const LineFilter &filter, std::vector<DayTally> &days, std::string &error) {
  days.clear();
  LineSums sums;
  if (!ReadLineSums(db, filter, true, 10, sums, error)) return false;
  const auto byDay = sums.tallies([](const std::string &station, const std::string &hour) {
    return std::vector<std::string>{station, hour.substr(0, 10)};
  });
  for (const auto &[key, tally] : byDay) days.push_back({key[0], key[1], tally});
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
  const std::string taken = "CASE WHEN se.mode IN (" + ModesTaken(f) + ") THEN 1 ELSE 0 END";
  const std::string counted = "(1 - " + faults + ") * " + taken;
  const std::string leftOut = "(1 - " + faults + ") * (1 - " + taken + ")";
  return db.query(
      "SELECT coalesce(sum(" + counted + "), 0), coalesce(sum(" + counted + " * se.simulated), 0), coalesce(sum(" +
          faults + "), 0), coalesce(sum(" + leftOut +
          " * CASE WHEN se.mode = 'engineering' THEN 1 ELSE 0 END), 0),"
          " coalesce(sum(" +
          leftOut +
          " * CASE WHEN se.mode IN ('verification', 'calibration') THEN 1 ELSE 0 END), 0)"
          " FROM session se JOIN station st ON st.id = se.station_id" +
          where,
      params,
      [&](const Row &r) {
        p.sessions = Int(r[0]);
        p.simulated = Int(r[1]);
        p.faultsLeftOut = Int(r[2]);
        p.engineeringLeftOut = Int(r[3]);
        p.goldenLeftOut = Int(r[4]);
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
  if (p.goldenLeftOut > 0) {
    notes.emplace_back(sessions(p.goldenLeftOut) + " of the golden unit (verification, calibration) left out",
                       "--include-golden");
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
