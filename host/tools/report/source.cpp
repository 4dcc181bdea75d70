// The report's queries. Every aggregate is computed by the database; rows are
// read in full only for one unit, the latest units of the control charts and
// the small grouped answers.
#include "tools/report/source.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <tuple>

#include "tools/report/health_sections.h"

namespace vorn_reports {
namespace {

// The database's own text, read locale-free.
std::optional<double> Real(const Value &v) { return vorn_results::ParseNumber(v); }
double RealOr(const Value &v, double otherwise = 0) { return Real(v).value_or(otherwise); }
int64_t Int(const Value &v) { return v ? std::atoll(v->c_str()) : 0; }
std::string Text(const Value &v) { return v.value_or(""); }

// A number as SQL literal text, exact and locale-free.
std::string Literal(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", v);
  std::string s(text);
  std::replace(s.begin(), s.end(), ',', '.');
  return s;
}
std::string Quoted(const std::string &s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

// The filtered attempts as a common table "u", and its parameters.
struct Scope {
  std::string with;
  std::vector<Value> params;
};

Scope ScopeOf(const LineFilter &f) {
  Scope s;
  std::string where;
  auto add = [&](const std::string &cond, const std::string &value) {
    if (value.empty()) return;
    s.params.push_back(value);
    where += (where.empty() ? " WHERE " : " AND ") + cond + "$" + std::to_string(s.params.size());
  };
  add("u.started >= ", f.since);
  add("u.started <= ", f.until);
  add("st.name = ", f.station);
  add("se.plan = ", f.plan);
  s.with =
      "WITH u AS NOT MATERIALIZED (SELECT u.uuid, u.serial, u.attempt, u.started, u.seconds, u.waited_ms, u.verdict,"
      " u.first_attempt, st.name AS station FROM unit u JOIN session se ON se.id = u.session_id"
      " JOIN station st ON st.id = se.station_id" +
      where + ") ";
  return s;
}

using Key = std::tuple<int, std::string, int>;  // step index, export, entry

bool NoFilter(const LineFilter &f) { return f.since.empty() && f.until.empty() && f.station.empty() && f.plan.empty(); }

// A line of every unit: each measurement read from the result_measure index
// alone. Its keys by a skip scan (one seek a key), its limits and extremes by
// seeks, its moments and histogram bins as ranges of the index: every value
// is visited once, and nothing is sorted.
bool ReadMeasurements(const Source &src, std::vector<Measurement> &out, std::string &error) {
  std::vector<Key> keys;
  for (bool more = true; more;) {
    more = false;
    std::string sql = "SELECT step_index, export, entry FROM result";
    if (!keys.empty()) {
      const Key &k = keys.back();
      sql += " WHERE (step_index, export, entry) > (" + std::to_string(std::get<0>(k)) + ", " + Quoted(std::get<1>(k)) +
             ", " + std::to_string(std::get<2>(k)) + ")";
    }
    sql += " ORDER BY step_index, export, entry LIMIT 1";
    if (!src.query(
            sql, {},
            [&](const Row &r) {
              keys.emplace_back(static_cast<int>(Int(r[0])), Text(r[1]), static_cast<int>(Int(r[2])));
              more = true;
              return false;
            },
            error)) {
      return false;
    }
  }
  for (const Key &k : keys) {
    const std::string where = " FROM result WHERE step_index = " + std::to_string(std::get<0>(k)) +
                              " AND export = " + Quoted(std::get<1>(k)) +
                              " AND entry = " + std::to_string(std::get<2>(k));
    Measurement m;
    m.stepIndex = std::get<0>(k);
    m.exportName = std::get<1>(k);
    m.entry = std::get<2>(k);
    bool limited = false, valued = false;
    const auto one = [&](const std::string &sql, const std::function<void(const Row &)> &take) {
      return src.query(
          sql, {},
          [&](const Row &r) {
            take(r);
            return false;
          },
          error);
    };
    // The limits of one limited row: a plan's, the same on every row of a
    // line of one plan (a line of several plans is read by --plan).
    bool ok = one("SELECT low, high" + where + " AND (low IS NOT NULL OR high IS NOT NULL) LIMIT 1",
                  [&](const Row &r) {
                    limited = true;
                    m.low = Real(r[0]);
                    m.high = Real(r[1]);
                  }) &&
              (!limited || one("SELECT value" + where + " AND value IS NOT NULL ORDER BY value LIMIT 1",
                               [&](const Row &r) {
                                 valued = true;
                                 m.moments.min = RealOr(r[0]);
                               })) &&
              (!valued || one("SELECT value" + where + " AND value IS NOT NULL ORDER BY value DESC LIMIT 1",
                              [&](const Row &r) { m.moments.max = RealOr(r[0]); }));
    if (!ok) return false;
    if (!limited) continue;
    m.histogram = vorn_plots::HistogramFrame(m.moments.min, m.moments.max, m.low, m.high);
    if (valued) {
      // One range of the index a bin; the first and last bins open-ended, as
      // BinOf clamps.
      std::string bins;
      const std::size_t n = m.histogram.counts.size();
      for (std::size_t b = 0; b < n; ++b) {
        const std::string lo = Literal(m.histogram.first + m.histogram.width * static_cast<double>(b));
        const std::string hi = Literal(m.histogram.first + m.histogram.width * static_cast<double>(b + 1));
        bins += std::string(b ? " UNION ALL " : "") + "SELECT " + std::to_string(b) +
                ", count(value), sum(value), sum(value * value)" + where +
                (b == 0 ? " AND value IS NOT NULL" : " AND value >= " + lo) + (b + 1 < n ? " AND value < " + hi : "");
      }
      ok = src.query(
          bins, {},
          [&](const Row &r) {
            const int64_t count = Int(r[1]);
            m.histogram.counts[static_cast<std::size_t>(Int(r[0]))] = count;
            m.moments.count += count;
            m.moments.sum += RealOr(r[2]);
            m.moments.sumSq += RealOr(r[3]);
            return true;
          },
          error);
      if (!ok) return false;
    }
    out.push_back(std::move(m));
  }
  return src.query(
      "SELECT step_index, export, entry, count(*) FROM result WHERE passed = 0"
      " GROUP BY step_index, export, entry",
      {},
      [&](const Row &r) {
        const Key key{static_cast<int>(Int(r[0])), Text(r[1]), static_cast<int>(Int(r[2]))};
        for (Measurement &m : out) {
          if (Key{m.stepIndex, m.exportName, m.entry} == key) m.failed = Int(r[3]);
        }
        return true;
      },
      error);
}

}  // namespace

double StationSeconds(double seconds, int64_t waitedMs) {
  return std::max(seconds, static_cast<double>(waitedMs) / 1000.0);
}

bool ReadUnit(const Source &src, const std::string &serial, int attempt, UnitView &unit, std::string &error) {
  std::vector<Value> params = {serial};
  std::string sql =
      "SELECT u.uuid, (SELECT count(*) FROM unit a WHERE a.serial = u.serial) FROM unit u WHERE u.serial = $1";
  if (attempt > 0) {
    sql += " AND u.attempt = $2";
    params.push_back(std::to_string(attempt));
  }
  sql += " ORDER BY u.attempt DESC, u.started DESC LIMIT 1";
  if (!src.query(
          sql, params,
          [&](const Row &r) {
            unit.uuid = Text(r[0]);
            unit.attempts = static_cast<int>(Int(r[1]));
            return false;
          },
          error)) {
    return false;
  }
  vorn_results::UnitRow row;
  vorn_host::SessionRecord session;
  bool found = !unit.uuid.empty();
  if (found && !(src.store.getUnit(unit.uuid, row, found, error) &&
                 src.store.getSession(row.sessionId, session, found, error))) {
    return false;
  }
  if (!found) {
    error = "no unit with serial \"" + serial + "\"" + (attempt > 0 ? " and attempt " + std::to_string(attempt) : "");
    return false;
  }
  unit.serial = row.serial;
  unit.attempt = row.attempt;
  unit.started = row.started;
  unit.seconds = row.seconds;
  unit.verdict = row.verdict;
  unit.steps = std::move(row.steps);
  unit.plan = session.plan;
  unit.station = session.station;
  unit.host = session.host;
  unit.library = session.library;
  unit.version = session.version;
  return true;
}

bool ReadLine(const Source &src, const LineFilter &filter, LineView &line, std::string &error) {
  line.filter = filter;
  const Scope scope = ScopeOf(filter);
  const auto q = [&](const std::string &sql, const RowHandler &onRow) {
    return src.query(scope.with + sql, scope.params, onRow, error);
  };
  // Counts: attempts, first attempts and their passes, then per serial
  // whether its last attempt passed.
  bool ok = q("SELECT count(*), coalesce(sum(first_attempt), 0),"
              " coalesce(sum(CASE WHEN first_attempt = 1 AND verdict = 'PASS' THEN 1 ELSE 0 END), 0),"
              " min(started), max(started) FROM u",
              [&](const Row &r) {
                line.attempts = Int(r[0]);
                line.firstAttempts = Int(r[1]);
                line.firstPassed = Int(r[2]);
                line.first = Text(r[3]);
                line.last = Text(r[4]);
                return true;
              }) &&
            q("SELECT count(*), coalesce(sum(CASE WHEN pa = ma THEN 1 ELSE 0 END), 0) FROM (SELECT serial,"
              " max(attempt) AS ma, max(CASE WHEN verdict = 'PASS' THEN attempt END) AS pa FROM u GROUP BY serial) t",
              [&](const Row &r) {
                line.units = Int(r[0]);
                line.finalPassed = Int(r[1]);
                return true;
              });
  if (!ok) return false;

  // The limited measurements: moments and failures in one aggregate, then
  // the histograms' bins; a line of every unit reads them from an index.
  const bool everyUnit = NoFilter(filter);
  std::map<Key, std::size_t> index;
  if (everyUnit) {
    ok = ReadMeasurements(src, line.measurements, error);
    for (std::size_t i = 0; i < line.measurements.size(); ++i) {
      const Measurement &m = line.measurements[i];
      index[{m.stepIndex, m.exportName, m.entry}] = i;
    }
  } else {
    ok =
        q("SELECT r.step_index, r.export, r.entry, count(r.value), sum(r.value), sum(r.value * r.value),"
          " min(r.value), max(r.value), min(r.low), max(r.high), sum(CASE WHEN r.passed = 0 THEN 1 ELSE 0 END)"
          " FROM result r JOIN u ON u.uuid = r.unit_uuid WHERE r.low IS NOT NULL OR r.high IS NOT NULL"
          " GROUP BY r.step_index, r.export, r.entry ORDER BY r.step_index, r.entry",
          [&](const Row &r) {
            Measurement m;
            m.stepIndex = static_cast<int>(Int(r[0]));
            m.exportName = Text(r[1]);
            m.entry = static_cast<int>(Int(r[2]));
            m.moments.count = Int(r[3]);
            m.moments.sum = RealOr(r[4]);
            m.moments.sumSq = RealOr(r[5]);
            m.moments.min = RealOr(r[6]);
            m.moments.max = RealOr(r[7]);
            m.low = Real(r[8]);
            m.high = Real(r[9]);
            m.failed = Int(r[10]);
            index[{m.stepIndex, m.exportName, m.entry}] = line.measurements.size();
            line.measurements.push_back(std::move(m));
            return true;
          });
  }
  if (!ok) return false;

  for (Measurement &m : line.measurements) {
    if (!everyUnit) m.histogram = vorn_plots::HistogramFrame(m.moments.min, m.moments.max, m.low, m.high);
    const auto cap = vorn_plots::Capabilities(m.moments, m.low, m.high);
    m.chart.mean = cap.mean;
    m.chart.sd = cap.sd;
    m.chart.low = m.low;
    m.chart.high = m.high;
  }

  // Histograms: each measurement's bins, counted by the database.
  if (!everyUnit && !line.measurements.empty()) {
    std::string frames;
    for (Measurement &m : line.measurements) {
      frames += std::string(frames.empty() ? "" : ", ") + "(" + std::to_string(m.stepIndex) + ", " +
                Quoted(m.exportName) + ", " + std::to_string(m.entry) + ", " + Literal(m.histogram.first) + ", " +
                Literal(m.histogram.width) + ")";
    }
    const std::string bin = src.postgres() ? "CAST(floor((r.value - f.first) / f.width) AS INTEGER)"
                                           : "CAST((r.value - f.first) / f.width AS INTEGER)";
    ok = src.query(
        scope.with + ", f(step_index, export, entry, first, width) AS (VALUES " + frames +
            ") SELECT r.step_index, r.export, r.entry, " + bin +
            " AS bin, count(*) FROM result r JOIN f ON f.step_index = r.step_index AND"
            " f.export = r.export AND f.entry = r.entry JOIN u ON u.uuid = r.unit_uuid"
            " WHERE r.value IS NOT NULL GROUP BY r.step_index, r.export, r.entry, bin",
        scope.params,
        [&](const Row &r) {
          const auto at = index.find({static_cast<int>(Int(r[0])), Text(r[1]), static_cast<int>(Int(r[2]))});
          if (at == index.end()) return true;
          vorn_plots::Histogram &h = line.measurements[at->second].histogram;
          const int64_t b = std::clamp<int64_t>(Int(r[3]), 0, static_cast<int64_t>(h.counts.size()) - 1);
          h.counts[static_cast<std::size_t>(b)] += Int(r[4]);
          return true;
        },
        error);
    if (!ok) return false;
  }

  // The control charts' points, plan lines and names: from the latest units
  // only, found through the start-time index.
  const std::string latest =
      "latest AS (SELECT uuid, started FROM u ORDER BY started DESC LIMIT " + std::to_string(kChartUnits) + ") ";
  std::map<Key, std::vector<std::pair<std::string, double>>> points;
  ok = q(", " + latest +
             "SELECT r.step_index, r.export, r.entry, l.started, r.value, r.name, s.plan_line FROM latest l"
             " JOIN result r ON r.unit_uuid = l.uuid JOIN step s ON s.unit_uuid = r.unit_uuid AND"
             " s.step_index = r.step_index WHERE r.low IS NOT NULL OR r.high IS NOT NULL",
         [&](const Row &r) {
           const Key key{static_cast<int>(Int(r[0])), Text(r[1]), static_cast<int>(Int(r[2]))};
           const auto at = index.find(key);
           if (at == index.end()) return true;
           Measurement &m = line.measurements[at->second];
           if (m.name.empty()) m.name = Text(r[5]);
           m.planLine = static_cast<int>(Int(r[6]));
           if (const auto v = Real(r[4])) points[key].emplace_back(Text(r[3]), *v);
           return true;
         });
  if (!ok) return false;
  for (Measurement &m : line.measurements) {
    auto &p = points[{m.stepIndex, m.exportName, m.entry}];
    std::stable_sort(p.begin(), p.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &v : p) m.chart.values.push_back(v.second);
    m.chart.firstIndex = m.moments.count - static_cast<int64_t>(p.size()) + 1;
  }

  // Failures: limits missed per step and entry, and steps in ERROR. A line
  // of every unit reads results and steps without the filter's join, from
  // the indexes of the missed limits, the errors and the step times.
  const std::string results = everyUnit ? "result r" : "result r JOIN u ON u.uuid = r.unit_uuid";
  const std::string steps = everyUnit ? "step s" : "step s JOIN u ON u.uuid = s.unit_uuid";
  ok = q("SELECT r.step_index, r.export, r.entry, count(*), max(r.name) FROM " + results +
             " WHERE r.passed = 0 GROUP BY r.step_index, r.export, r.entry",
         [&](const Row &r) {
           FailureCount f;
           f.stepIndex = static_cast<int>(Int(r[0]));
           f.exportName = Text(r[1]);
           f.entry = static_cast<int>(Int(r[2]));
           f.units = Int(r[3]);
           f.name = Text(r[4]);
           line.failures.push_back(std::move(f));
           return true;
         }) &&
       q("SELECT s.step_index, s.export, count(*), max(s.plan_line) FROM " + steps +
             " WHERE s.verdict = 'ERROR' GROUP BY s.step_index, s.export",
         [&](const Row &r) {
           FailureCount f;
           f.stepIndex = static_cast<int>(Int(r[0]));
           f.exportName = Text(r[1]);
           f.units = Int(r[2]);
           f.planLine = static_cast<int>(Int(r[3]));
           line.failures.push_back(std::move(f));
           return true;
         });
  if (!ok) return false;
  for (FailureCount &f : line.failures) {
    const auto at = index.find({f.stepIndex, f.exportName, f.entry});
    if (at != index.end()) f.planLine = line.measurements[at->second].planLine;
  }

  // Test time: moments, then bins; the steps' mean time; attempts per hour
  // and per station; the latest failing attempts.
  const std::string unitTime =
      "(CASE WHEN u.waited_ms / 1000.0 > u.seconds THEN u.waited_ms / 1000.0 ELSE u.seconds END)";
  ok = q("SELECT count(*), sum(" + unitTime + "), sum(" + unitTime + " * " + unitTime + "), min(" + unitTime +
             "), max(" + unitTime + ") FROM u",
         [&](const Row &r) {
           line.testTimeMoments.count = Int(r[0]);
           line.testTimeMoments.sum = RealOr(r[1]);
           line.testTimeMoments.sumSq = RealOr(r[2]);
           line.testTimeMoments.min = RealOr(r[3]);
           line.testTimeMoments.max = RealOr(r[4]);
           return true;
         });
  if (!ok) return false;
  line.testTime =
      vorn_plots::HistogramFrame(line.testTimeMoments.min, line.testTimeMoments.max, std::nullopt, std::nullopt, 20);
  const std::string timeBin =
      "(" + unitTime + " - " + Literal(line.testTime.first) + ") / " + Literal(line.testTime.width);
  const std::string stepTime =
      "(CASE WHEN s.waited_ms / 1000.0 > s.seconds THEN s.waited_ms / 1000.0 ELSE s.seconds END)";
  ok = q("SELECT " + (src.postgres() ? "CAST(floor" + timeBin + " AS INTEGER)" : "CAST(" + timeBin + " AS INTEGER)") +
             " AS bin, count(*) FROM u GROUP BY bin",
         [&](const Row &r) {
           const int64_t b = std::clamp<int64_t>(Int(r[0]), 0, static_cast<int64_t>(line.testTime.counts.size()) - 1);
           line.testTime.counts[static_cast<std::size_t>(b)] += Int(r[1]);
           return true;
         }) &&
       q("SELECT s.step_index, s.export, max(s.plan_line), avg(" + stepTime + ") FROM " + steps +
             " GROUP BY s.step_index, s.export ORDER BY s.step_index",
         [&](const Row &r) {
           line.stepTimes.push_back(
               {static_cast<int>(Int(r[0])), static_cast<int>(Int(r[2])), Text(r[1]), RealOr(r[3])});
           return true;
         }) &&
       q("SELECT substr(started, 1, 13) AS hour, count(*) FROM u GROUP BY hour ORDER BY hour",
         [&](const Row &r) {
           line.perHour.emplace_back(Text(r[0]), Int(r[1]));
           return true;
         }) &&
       q("SELECT station, count(*), coalesce(sum(first_attempt), 0), coalesce(sum(CASE WHEN first_attempt = 1 AND"
         " verdict = 'PASS' THEN 1 ELSE 0 END), 0) FROM u GROUP BY station ORDER BY station",
         [&](const Row &r) {
           line.stations.push_back({Text(r[0]), Int(r[1]), Int(r[2]), Int(r[3])});
           return true;
         }) &&
       q("SELECT serial, attempt, started, station FROM u WHERE verdict <> 'PASS' ORDER BY started DESC LIMIT " +
             std::to_string(kListedFailures),
         [&](const Row &r) {
           line.failedUnits.push_back({Text(r[0]), Text(r[2]), Text(r[3]), static_cast<int>(Int(r[1]))});
           return true;
         });
  HealthHistory health;
  if (!ok || !ReadHealthHistory(src, filter, health, error)) return false;
  line.healthHtml = HealthSections(health);
  return true;
}

}  // namespace vorn_reports
