#include "tools/common/line_sums.h"

#include <algorithm>
#include <iterator>
#include <set>

#include "tools/common/tally_source.h"

namespace vorn_reports {

namespace {

using vorn_results::Database;
using vorn_results::MeasureSums;
using vorn_results::StepSums;
using vorn_results::TallySums;

int64_t Int(const Value &v) { return v ? std::stoll(*v) : 0; }
double Real(const Value &v) { return vorn_results::ParseNumber(v).value_or(0.0); }
std::string Text(const Value &v) { return v.value_or(""); }

std::string NextDay(const std::string &day, int by) {
  const std::optional<int64_t> t = vorn_results::EpochSeconds(day + "T00:00:00Z");
  return t ? vorn_results::TimeText(*t + by * 86400).substr(0, 10) : day;
}

// The rollup rows of table `t` the filter and the period's whole days select:
// " JOIN rollup_scope ... WHERE ...", its parameters after `params`.
std::string RollupWhere(const LineFilter &f, const Period &p, const std::string &t, const std::string &dayColumn,
                        bool hours, std::vector<Value> &params) {
  std::string where = " JOIN rollup_scope sc ON sc.id = " + t +
                      ".scope_id JOIN station st ON st.id = sc.station_id"
                      " WHERE 1 = 1";
  const auto param = [&](const std::string &value) {
    params.push_back(value);
    return "$" + std::to_string(params.size());
  };
  if (!f.includeFaults) where += " AND sc.fault_injected = 0";
  where += " AND sc.mode IN (" + ModesTaken(f) + ")";
  if (!f.station.empty()) where += " AND st.name = " + param(f.station);
  if (!f.plan.empty()) where += " AND sc.plan = " + param(f.plan);
  if (!p.firstDay.empty()) where += " AND " + t + "." + dayColumn + " >= " + param(p.firstDay);
  if (!p.lastDay.empty()) where += " AND " + t + "." + dayColumn + " <= " + param(p.lastDay + (hours ? "T23" : ""));
  return where;
}

// The hours' sums, by station and grain; and the units of the latest hours.
bool RollupHours(Database &db, const LineFilter &f, const Period &p, int grain, LineSums &sums, std::string &error) {
  std::vector<Value> params;
  const std::string where = RollupWhere(f, p, "h", "hour", true, params);
  const std::string key = "substr(h.hour, 1, " + std::to_string(grain) + ")";
  const bool ok = db.query(
      "SELECT st.name, h.hour, sum(h.units) FROM station_hour h" + where +
          " AND h.hour >= (SELECT min(x.hour) FROM (SELECT DISTINCT h.hour FROM station_hour h" + where +
          " ORDER BY h.hour DESC LIMIT " + std::to_string(kLatestHours) + ") x) GROUP BY st.name, h.hour",
      params,  // the same placeholders in both
      [&](const Row &r) {
        sums.latestHours[{Text(r[0]), Text(r[1])}] += Int(r[2]);
        return true;
      },
      error);
  return ok && db.query(
                   "SELECT st.name, " + key +
                       ", sum(h.attempts), sum(h.units), sum(h.first_pass), sum(h.final_pass),"
                       " sum(h.final_fail), sum(h.final_error), sum(h.retests), sum(h.stopped), sum(h.station_seconds),"
                       " sum(h.wall_seconds), min(h.first_started), max(h.last_ended) FROM station_hour h" +
                       where + " GROUP BY st.name, " + key,
                   params,
                   [&](const Row &r) {
                     TallySums s;
                     vorn_host::Tally &t = s.tally;
                     t.attempts = Int(r[2]);
                     t.units = Int(r[3]);
                     t.firstPass = Int(r[4]);
                     t.pass = Int(r[5]);
                     t.fail = Int(r[6]);
                     t.error = Int(r[7]);
                     t.retests = Int(r[8]);
                     t.stopped = Int(r[9]);
                     t.stationSeconds = Real(r[10]);
                     s.wallSeconds = Real(r[11]);
                     s.firstStarted = Text(r[12]);
                     s.lastEnded = Text(r[13]);
                     sums.hours[{Text(r[0]), Text(r[1])}].merge(s);
                     return true;
                   },
                   error);
}

bool RollupMeasurements(Database &db, const LineFilter &f, const Period &p, LineSums &sums, std::string &error) {
  std::vector<Value> params;
  const std::string where = RollupWhere(f, p, "d", "day", false, params);
  std::string bins;
  for (int b = 0; b < vorn_results::kRollupBins; ++b)
    bins += ", sum(d.b" + std::string(b < 10 ? "0" : "") + std::to_string(b) + ")";
  return db.query(
      "SELECT d.measurement_id, sum(d.count), sum(d.sum), sum(d.sum_sq), min(d.lowest), max(d.highest),"
      " sum(d.fails)" +
          bins + " FROM day_measurement d" + where + " GROUP BY d.measurement_id",
      params,
      [&](const Row &r) {
        MeasureSums m;
        m.count = Int(r[1]);
        m.sum = Real(r[2]);
        m.sumSq = Real(r[3]);
        m.min = vorn_results::ParseNumber(r[4]);
        m.max = vorn_results::ParseNumber(r[5]);
        m.fails = Int(r[6]);
        for (std::size_t b = 0; b < m.bins.size(); ++b) m.bins[b] = Int(r[7 + b]);
        sums.measurements[Int(r[0])].merge(m);
        return true;
      },
      error);
}

bool RollupSteps(Database &db, const LineFilter &f, const Period &p, LineSums &sums, std::string &error) {
  std::vector<Value> params;
  const std::string where = RollupWhere(f, p, "d", "day", false, params);
  return db.query(
             "SELECT d.plan_step_id, sum(d.runs), sum(d.errors), sum(d.wall_seconds), sum(d.waited_seconds),"
             " sum(d.own_seconds), sum(d.station_seconds) FROM day_step d" +
                 where + " GROUP BY d.plan_step_id",
             params,
             [&](const Row &r) {
               StepSums s;
               s.runs = Int(r[1]);
               s.errors = Int(r[2]);
               s.wallSeconds = Real(r[3]);
               s.waitedSeconds = Real(r[4]);
               s.ownSeconds = Real(r[5]);
               s.stationSeconds = Real(r[6]);
               sums.steps[Int(r[0])].merge(s);
               return true;
             },
             error) &&
         db.query(
             "SELECT d.attempt_id, d.station_seconds FROM day_slowest d" + where +
                 " ORDER BY d.station_seconds DESC, d.attempt_id LIMIT " + std::to_string(vorn_results::kSlowest),
             params,
             [&](const Row &r) {
               sums.slowest.push_back({Int(r[0]), Real(r[1])});
               return true;
             },
             error);
}

// Attempts from their rows, summed as the rollups sum them, one station at a
// time: those of the scope that `which` selects ("" or " WHERE ...") and
// whose unit's first attempt `keep` takes.
bool SumRows(Database &db, const Scope &scope, const std::string &which,
             const std::function<bool(const std::string &firstStarted)> &keep, bool tallyOnly, int grain,
             LineSums &sums, std::string &error) {
  std::vector<vorn_results::AttemptFacts> facts;
  std::vector<std::string> stations;
  const bool ok = db.query(
      scope.with + "SELECT " + vorn_results::kAttemptColumns + ", u.station FROM u" + which + " ORDER BY u.id",
      scope.params,
      [&](const Row &r) {
        vorn_results::AttemptFacts a = vorn_results::AttemptOfRow(r);
        if (keep && !keep(a.firstStarted)) return true;
        facts.push_back(std::move(a));
        stations.push_back(Text(r[vorn_results::kAttemptColumnCount]));
        return true;
      },
      error);
  std::map<int64_t, vorn_results::BinFrame> frames;
  if (!ok ||
      (!tallyOnly && (!vorn_results::FillFacts(db, facts, error) || !vorn_results::ReadFrames(db, frames, error)))) {
    return false;
  }
  std::map<std::string, vorn_results::Rollup> rollups;
  for (std::size_t i = 0; i < facts.size(); ++i) rollups[stations[i]].add(facts[i], frames);
  for (const auto &[station, r] : rollups) {
    for (const auto &[hour, s] : r.hours) {
      sums.hours[{station, hour.substr(0, static_cast<std::size_t>(grain))}].merge(s);
      sums.latestHours[{station, hour}] += s.tally.units;
    }
    for (const auto &[key, m] : r.measurements) sums.measurements[key.second].merge(m);
    for (const auto &[key, s] : r.steps) sums.steps[key.second].merge(s);
    for (const auto &[day, slow] : r.slowest) sums.slowest.insert(sums.slowest.end(), slow.begin(), slow.end());
  }
  return true;
}

// A partial day from its rows: every attempt of the units the range selects.
bool RawRange(Database &db, const LineFilter &f, const std::string &since, const std::string &until, bool tallyOnly,
              int grain, LineSums &sums, std::string &error) {
  LineFilter range = f;
  range.since = since;
  range.until = until;
  return SumRows(db, ScopeOf(range), "", nullptr, tallyOnly, grain, sums, error);
}

// The attempts of the whole days still waiting to be folded into the rollups.
bool RawPending(Database &db, const LineFilter &f, const Period &p, bool tallyOnly, int grain, LineSums &sums,
                std::string &error) {
  LineFilter any = f;
  any.since.clear();
  any.until.clear();
  const auto inWholeDays = [&](const std::string &firstStarted) {
    const std::string day = firstStarted.substr(0, 10);
    return (p.firstDay.empty() || day >= p.firstDay) && (p.lastDay.empty() || day <= p.lastDay);
  };
  return SumRows(db, ScopeOf(any), " WHERE u.id IN (SELECT attempt_id FROM rollup_pending)", inWholeDays, tallyOnly,
                 grain, sums, error);
}

}  // namespace

std::map<std::vector<std::string>, vorn_host::Tally> LineSums::tallies(
    const std::function<std::vector<std::string>(const std::string &, const std::string &)> &group) const {
  std::map<std::vector<std::string>, TallySums> by;
  for (const auto &[key, s] : hours) by[group(key.first, key.second)].merge(s);
  std::map<std::vector<std::string>, vorn_host::Tally> out;
  for (const auto &[key, s] : by) out[key] = s.finished();
  return out;
}

Period PeriodOf(const LineFilter &f) {
  Period p;
  const std::string sinceDay = f.since.substr(0, 10), untilDay = f.until.substr(0, 10);
  const bool fromStart = f.since.empty() || f.since.substr(10) == "T00:00:00Z";
  const bool toEnd = f.until.empty() || f.until.substr(10) == "T23:59:59Z";
  if (!f.since.empty()) p.firstDay = fromStart ? sinceDay : NextDay(sinceDay, 1);
  if (!f.until.empty()) p.lastDay = toEnd ? untilDay : NextDay(untilDay, -1);
  p.wholeDays = p.firstDay.empty() || p.lastDay.empty() || p.firstDay <= p.lastDay;
  if (!f.since.empty() && !f.until.empty() && sinceDay == untilDay && (!fromStart || !toEnd)) {
    p.partial.emplace_back(f.since, f.until);  // one day, cut
    return p;
  }
  if (!fromStart) p.partial.emplace_back(f.since, sinceDay + "T23:59:59Z");
  if (!toEnd) p.partial.emplace_back(untilDay + "T00:00:00Z", f.until);
  return p;
}

// Only the latest kLatestHours hours of the rollups' and the rows'.
void KeepLatestHours(LineSums &sums) {
  std::set<std::string> hours;
  for (const auto &entry : sums.latestHours) hours.insert(entry.first.second);
  while (hours.size() > static_cast<std::size_t>(kLatestHours)) {
    const std::string oldest = *hours.begin();
    hours.erase(hours.begin());
    for (auto at = sums.latestHours.begin(); at != sums.latestHours.end();) {
      at = at->first.second == oldest ? sums.latestHours.erase(at) : std::next(at);
    }
  }
}

bool ReadLineSums(Database &db, const LineFilter &filter, bool tallyOnly, int grain, LineSums &sums,
                  std::string &error) {
  sums = LineSums();
  const Period period = PeriodOf(filter);
  // One snapshot: an attempt folded into the rollups meanwhile is counted
  // there or as waiting, not both.
  if (!db.exec(db.engine() == vorn_results::Engine::kSqlite ? "BEGIN" : "BEGIN ISOLATION LEVEL REPEATABLE READ",
               error)) {
    return false;
  }
  bool ok = !period.wholeDays || (RollupHours(db, filter, period, grain, sums, error) &&
                                  (tallyOnly || (RollupMeasurements(db, filter, period, sums, error) &&
                                                 RollupSteps(db, filter, period, sums, error))) &&
                                  RawPending(db, filter, period, tallyOnly, grain, sums, error));
  for (const auto &[since, until] : period.partial) {
    ok = ok && RawRange(db, filter, since, until, tallyOnly, grain, sums, error);
  }
  std::string ignored;
  if (!db.exec(ok ? "COMMIT" : "ROLLBACK", ok ? error : ignored)) ok = false;
  KeepLatestHours(sums);
  std::sort(sums.slowest.begin(), sums.slowest.end(), vorn_results::SlowerFirst);
  if (sums.slowest.size() > static_cast<std::size_t>(vorn_results::kSlowest)) {
    sums.slowest.resize(vorn_results::kSlowest);
  }
  return ok;
}

}  // namespace vorn_reports
