// The report's queries. Every aggregate is computed by the database; rows are
// read in full only for one unit, the latest units of the control charts and
// the small grouped answers. Every value reaches the database as a bound
// parameter.
#include "tools/report/source.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <tuple>

namespace vorn_reports {
namespace {

// The database's own text, read locale-free.
std::optional<double> Real(const Value &v) { return vorn_results::ParseNumber(v); }
double RealOr(const Value &v, double otherwise = 0) { return Real(v).value_or(otherwise); }
int64_t Int(const Value &v) { return v ? std::atoll(v->c_str()) : 0; }
std::string Text(const Value &v) { return v.value_or(""); }

// A statement and its parameters, built together: a value only ever goes in
// as a parameter, typed by a CAST where the engine cannot tell its type.
// SQLite numbers $N parameters in the order they first appear in the text,
// so each is marked where it goes and numbered in the text's order at the end,
// whatever order the parts of an expression were made in.
class Sql {
 public:
  Sql() = default;
  explicit Sql(const Scope &scope) : text_(scope.with), params_(scope.params), fixed_(scope.params.size()) {}
  Sql &operator<<(const std::string &text) {
    text_ += text;
    return *this;
  }
  std::string param(const std::string &value) {
    params_.emplace_back(value);
    return kMark + std::to_string(params_.size() - 1) + kMark;
  }
  std::string real(double value) { return "CAST(" + param(vorn_results::NumberText(value)) + " AS DOUBLE PRECISION)"; }
  std::string integer(int64_t value) { return "CAST(" + param(std::to_string(value)) + " AS INTEGER)"; }
  bool run(const Source &src, const RowHandler &onRow, std::string &error) const {
    std::string text;
    std::vector<Value> params(params_.begin(), params_.begin() + static_cast<std::ptrdiff_t>(fixed_));
    for (std::size_t at = 0; at < text_.size();) {
      const std::size_t mark = text_.find(kMark, at);
      text += text_.substr(at, mark == std::string::npos ? std::string::npos : mark - at);
      if (mark == std::string::npos) break;
      const std::size_t end = text_.find(kMark, mark + 1);
      params.push_back(params_.at(std::stoul(text_.substr(mark + 1, end - mark - 1))));
      text += "$" + std::to_string(params.size());
      at = end + 1;
    }
    return src.query(text, params, onRow, error);
  }

 private:
  static constexpr char kMark = '\x1f';  // never in the statements' own text
  std::string text_;
  std::vector<Value> params_;
  std::size_t fixed_ = 0;  // the scope's, already numbered
};

using Key = std::tuple<int, std::string, int>;  // step index, export, entry

Key KeyOf(const Measurement &m) { return {m.stepIndex, m.exportName, m.entry}; }
Key KeyOf(const Row &r) { return {static_cast<int>(Int(r[0])), Text(r[1]), static_cast<int>(Int(r[2]))}; }

// The first row of a statement, to take.
bool One(const Source &src, const Sql &sql, const std::function<void(const Row &)> &take, std::string &error) {
  return sql.run(
      src,
      [&](const Row &r) {
        take(r);
        return false;
      },
      error);
}

// ---- a line of every unit: from the result_measure index alone --------------

// The measurements' keys by a skip scan: one seek a key.
bool MeasurementKeys(const Source &src, std::vector<Key> &keys, std::string &error) {
  for (bool more = true; more;) {
    more = false;
    Sql sql;
    sql << "SELECT step_index, export, entry FROM result";
    if (!keys.empty()) {
      const Key &k = keys.back();
      sql << " WHERE (step_index, export, entry) > (" + sql.integer(std::get<0>(k)) + ", " + sql.param(std::get<1>(k)) +
                 ", " + sql.integer(std::get<2>(k)) + ")";
    }
    sql << " ORDER BY step_index, export, entry LIMIT 1";
    const bool ok = One(
        src, sql,
        [&](const Row &r) {
          keys.push_back(KeyOf(r));
          more = true;
        },
        error);
    if (!ok) return false;
  }
  return true;
}

// " FROM result WHERE step_index = $1 AND export = $2 AND entry = $3"
std::string MeasurementRows(Sql &sql, const Key &k) {
  return " FROM result WHERE step_index = " + sql.integer(std::get<0>(k)) +
         " AND export = " + sql.param(std::get<1>(k)) + " AND entry = " + sql.integer(std::get<2>(k));
}

// The limits of one limited row (a line of one plan has the same on every
// row), and the extremes by two seeks. False in limited: no limit.
bool LimitsAndExtremes(const Source &src, Measurement &m, bool &limited, bool &valued, std::string &error) {
  const Key k = KeyOf(m);
  Sql limits, lowest, highest;
  limits << "SELECT low, high" + MeasurementRows(limits, k) + " AND (low IS NOT NULL OR high IS NOT NULL) LIMIT 1";
  lowest << "SELECT value" + MeasurementRows(lowest, k) + " AND value IS NOT NULL ORDER BY value LIMIT 1";
  highest << "SELECT value" + MeasurementRows(highest, k) + " AND value IS NOT NULL ORDER BY value DESC LIMIT 1";
  limited = valued = false;
  return One(
             src, limits,
             [&](const Row &r) {
               limited = true;
               m.low = Real(r[0]);
               m.high = Real(r[1]);
             },
             error) &&
         (!limited || One(
                          src, lowest,
                          [&](const Row &r) {
                            valued = true;
                            m.moments.min = RealOr(r[0]);
                          },
                          error)) &&
         (!valued || One(
                         src, highest, [&](const Row &r) { m.moments.max = RealOr(r[0]); }, error));
}

// The moments and the histogram's bins as ranges of the index: the first and
// last bins open-ended, as BinOf clamps.
bool BinsFromIndex(const Source &src, Measurement &m, std::string &error) {
  Sql sql;
  const std::size_t n = m.histogram.counts.size();
  for (std::size_t b = 0; b < n; ++b) {
    sql << std::string(b ? " UNION ALL " : "") + "SELECT " + sql.integer(static_cast<int64_t>(b)) +
               ", count(value), sum(value), sum(value * value)" + MeasurementRows(sql, KeyOf(m));
    sql << (b == 0 ? " AND value IS NOT NULL"
                   : " AND value >= " + sql.real(m.histogram.first + m.histogram.width * static_cast<double>(b)));
    if (b + 1 < n)
      sql << " AND value < " + sql.real(m.histogram.first + m.histogram.width * static_cast<double>(b + 1));
  }
  return sql.run(
      src,
      [&](const Row &r) {
        const int64_t count = Int(r[1]);
        m.histogram.counts[static_cast<std::size_t>(Int(r[0]))] = count;
        m.moments.count += count;
        m.moments.sum += RealOr(r[2]);
        m.moments.sumSq += RealOr(r[3]);
        return true;
      },
      error);
}

// A line of every unit: each measurement read from the result_measure index
// alone, every value visited once and nothing sorted.
bool MeasurementsFromIndex(const Source &src, std::vector<Measurement> &out, std::string &error) {
  std::vector<Key> keys;
  if (!MeasurementKeys(src, keys, error)) return false;
  for (const Key &k : keys) {
    Measurement m;
    std::tie(m.stepIndex, m.exportName, m.entry) = k;
    bool limited = false, valued = false;
    if (!LimitsAndExtremes(src, m, limited, valued, error)) return false;
    if (!limited) continue;
    m.histogram = vorn_plots::HistogramFrame(m.moments.min, m.moments.max, m.low, m.high);
    if (valued && !BinsFromIndex(src, m, error)) return false;
    out.push_back(std::move(m));
  }
  Sql missed;
  missed
      << "SELECT step_index, export, entry, count(*) FROM result WHERE passed = 0 GROUP BY step_index, export, entry";
  return missed.run(
      src,
      [&](const Row &r) {
        for (Measurement &m : out) {
          if (KeyOf(m) == KeyOf(r)) m.failed = Int(r[3]);
        }
        return true;
      },
      error);
}

// ---- a filtered line: from the units the filter selects ----------------------

bool MeasurementsOfScope(const Source &src, const Scope &scope, std::vector<Measurement> &out, std::string &error) {
  Sql sql(scope);
  sql << "SELECT r.step_index, r.export, r.entry, count(r.value), sum(r.value), sum(r.value * r.value),"
         " min(r.value), max(r.value), min(r.low), max(r.high), sum(CASE WHEN r.passed = 0 THEN 1 ELSE 0 END)"
         " FROM result r JOIN u ON u.uuid = r.unit_uuid WHERE r.low IS NOT NULL OR r.high IS NOT NULL"
         " GROUP BY r.step_index, r.export, r.entry ORDER BY r.step_index, r.entry";
  return sql.run(
      src,
      [&](const Row &r) {
        Measurement m;
        std::tie(m.stepIndex, m.exportName, m.entry) = KeyOf(r);
        m.moments.count = Int(r[3]);
        m.moments.sum = RealOr(r[4]);
        m.moments.sumSq = RealOr(r[5]);
        m.moments.min = RealOr(r[6]);
        m.moments.max = RealOr(r[7]);
        m.low = Real(r[8]);
        m.high = Real(r[9]);
        m.failed = Int(r[10]);
        m.histogram = vorn_plots::HistogramFrame(m.moments.min, m.moments.max, m.low, m.high);
        out.push_back(std::move(m));
        return true;
      },
      error);
}

// Each measurement's bins, counted by the database in one statement.
bool HistogramsOfScope(const Source &src, const Scope &scope, std::vector<Measurement> &ms, std::string &error) {
  if (ms.empty()) return true;
  std::map<Key, std::size_t> index;
  Sql sql(scope);
  std::string frames;
  for (std::size_t i = 0; i < ms.size(); ++i) {
    const Measurement &m = ms[i];
    index[KeyOf(m)] = i;
    frames += std::string(i ? ", " : "") + "(" + sql.integer(m.stepIndex) + ", " + sql.param(m.exportName) + ", " +
              sql.integer(m.entry) + ", " + sql.real(m.histogram.first) + ", " + sql.real(m.histogram.width) + ")";
  }
  const std::string bin = src.postgres() ? "CAST(floor((r.value - f.first) / f.width) AS INTEGER)"
                                         : "CAST((r.value - f.first) / f.width AS INTEGER)";
  sql << ", f(step_index, export, entry, first, width) AS (VALUES " + frames + ") SELECT r.step_index, r.export," +
             " r.entry, " + bin +
             " AS bin, count(*) FROM result r JOIN f ON f.step_index = r.step_index AND f.export = r.export AND"
             " f.entry = r.entry JOIN u ON u.uuid = r.unit_uuid WHERE r.value IS NOT NULL"
             " GROUP BY r.step_index, r.export, r.entry, bin";
  return sql.run(
      src,
      [&](const Row &r) {
        const auto at = index.find(KeyOf(r));
        if (at == index.end()) return true;
        vorn_plots::Histogram &h = ms[at->second].histogram;
        const int64_t b = std::clamp<int64_t>(Int(r[3]), 0, static_cast<int64_t>(h.counts.size()) - 1);
        h.counts[static_cast<std::size_t>(b)] += Int(r[4]);
        return true;
      },
      error);
}

// ---- both ---------------------------------------------------------------------

// The control charts' points, plan lines and names: from the latest units
// only, found through the start-time index.
bool ChartPoints(const Source &src, const Scope &scope, std::vector<Measurement> &ms, std::string &error) {
  std::map<Key, std::size_t> index;
  for (std::size_t i = 0; i < ms.size(); ++i) index[KeyOf(ms[i])] = i;
  // Each point with its attempt's place in the test order: its start, then
  // its session, unit and attempt for the attempts of one second.
  using Place = std::tuple<std::string, std::string, int64_t, int64_t>;
  std::map<Key, std::vector<std::pair<Place, double>>> points;
  Sql sql(scope);
  sql << ", latest AS (SELECT uuid, started, session_id, unit_index, attempt FROM u ORDER BY started DESC,"
         " session_id DESC, unit_index DESC, attempt DESC LIMIT " +
             sql.integer(kChartUnits) +
             ") SELECT r.step_index, r.export, r.entry, l.started, r.value, r.name, s.plan_line, l.session_id,"
             " l.unit_index, l.attempt FROM latest l JOIN result r ON r.unit_uuid = l.uuid JOIN step s ON"
             " s.unit_uuid = r.unit_uuid AND s.step_index = r.step_index WHERE r.low IS NOT NULL OR r.high IS NOT NULL";
  const bool ok = sql.run(
      src,
      [&](const Row &r) {
        const auto at = index.find(KeyOf(r));
        if (at == index.end()) return true;
        Measurement &m = ms[at->second];
        if (m.name.empty()) m.name = Text(r[5]);
        m.planLine = static_cast<int>(Int(r[6]));
        const Place place{Text(r[3]), Text(r[7]), Int(r[8]), Int(r[9])};
        if (const auto v = Real(r[4])) points[KeyOf(r)].emplace_back(place, *v);
        return true;
      },
      error);
  for (Measurement &m : ms) {
    auto &p = points[KeyOf(m)];
    std::sort(p.begin(), p.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &v : p) m.chart.values.push_back(v.second);
    m.chart.firstIndex = m.moments.count - static_cast<int64_t>(p.size()) + 1;
  }
  return ok;
}

// Limits missed per step and entry, and steps in ERROR. A line of every unit
// reads results and steps without the filter's join, from the indexes of the
// missed limits and the errors.
bool Failures(const Source &src, const Scope &scope, bool everyUnit, LineView &line, std::string &error) {
  const std::string results = everyUnit ? "result r" : "result r JOIN u ON u.uuid = r.unit_uuid";
  const std::string steps = everyUnit ? "step s" : "step s JOIN u ON u.uuid = s.unit_uuid";
  Sql missed(scope), errors(scope);
  missed << "SELECT r.step_index, r.export, r.entry, count(*), max(r.name) FROM " + results +
                " WHERE r.passed = 0 GROUP BY r.step_index, r.export, r.entry";
  errors << "SELECT s.step_index, s.export, count(*), max(s.plan_line) FROM " + steps +
                " WHERE s.verdict = 'ERROR' GROUP BY s.step_index, s.export";
  const bool ok = missed.run(
                      src,
                      [&](const Row &r) {
                        FailureCount f;
                        std::tie(f.stepIndex, f.exportName, f.entry) = KeyOf(r);
                        f.units = Int(r[3]);
                        f.name = Text(r[4]);
                        line.failures.push_back(std::move(f));
                        return true;
                      },
                      error) &&
                  errors.run(
                      src,
                      [&](const Row &r) {
                        FailureCount f;
                        f.stepIndex = static_cast<int>(Int(r[0]));
                        f.exportName = Text(r[1]);
                        f.units = Int(r[2]);
                        f.planLine = static_cast<int>(Int(r[3]));
                        line.failures.push_back(std::move(f));
                        return true;
                      },
                      error);
  for (FailureCount &f : line.failures) {
    for (const Measurement &m : line.measurements) {
      if (f.entry != 0 && KeyOf(m) == Key{f.stepIndex, f.exportName, f.entry}) f.planLine = m.planLine;
    }
  }
  return ok;
}

// Test time per attempt: its moments, then its bins.
bool TestTime(const Source &src, const Scope &scope, LineView &line, std::string &error) {
  const std::string t = StationSecondsSql("u");
  Sql moments(scope);
  moments << "SELECT count(*), sum(" + t + "), sum(" + t + " * " + t + "), min(" + t + "), max(" + t + ") FROM u";
  const bool ok = moments.run(
      src,
      [&](const Row &r) {
        line.testTimeMoments.count = Int(r[0]);
        line.testTimeMoments.sum = RealOr(r[1]);
        line.testTimeMoments.sumSq = RealOr(r[2]);
        line.testTimeMoments.min = RealOr(r[3]);
        line.testTimeMoments.max = RealOr(r[4]);
        return true;
      },
      error);
  if (!ok) return false;
  const vorn_plots::Moments &m = line.testTimeMoments;
  line.testTime = vorn_plots::HistogramFrame(m.min, m.max, std::nullopt, std::nullopt, 20);
  Sql bins(scope);
  const std::string at = "(" + t + " - " + bins.real(line.testTime.first) + ") / " + bins.real(line.testTime.width);
  bins << "SELECT " + (src.postgres() ? "CAST(floor" + at + " AS INTEGER)" : "CAST(" + at + " AS INTEGER)") +
              " AS bin, count(*) FROM u GROUP BY bin";
  return bins.run(
      src,
      [&](const Row &r) {
        const int64_t b = std::clamp<int64_t>(Int(r[0]), 0, static_cast<int64_t>(line.testTime.counts.size()) - 1);
        line.testTime.counts[static_cast<std::size_t>(b)] += Int(r[1]);
        return true;
      },
      error);
}

// The steps' mean time, the attempts per hour, each station's tally and the
// latest failing attempts (a stopped attempt is no failure).
bool TimesAndStations(const Source &src, const Scope &scope, bool everyUnit, LineView &line, std::string &error) {
  const std::string steps = everyUnit ? "step s" : "step s JOIN u ON u.uuid = s.unit_uuid";
  Sql stepTimes(scope), hours(scope), failed(scope);
  stepTimes << "SELECT s.step_index, s.export, max(s.plan_line), avg(" + StationSecondsSql("s") + ") FROM " + steps +
                   " GROUP BY s.step_index, s.export ORDER BY s.step_index";
  hours << "SELECT substr(started, 1, 13) AS hour, count(*) FROM u GROUP BY hour ORDER BY hour";
  failed << "SELECT uuid, serial, attempt, started, station, operator, verdict FROM u WHERE verdict IN"
            " ('FAIL', 'ERROR') ORDER BY started DESC, serial, attempt DESC, uuid LIMIT " +
                failed.integer(kListedFailures);
  std::map<std::vector<std::string>, vorn_host::Tally> stations;
  const bool ok = stepTimes.run(
                      src,
                      [&](const Row &r) {
                        line.stepTimes.push_back(
                            {static_cast<int>(Int(r[0])), static_cast<int>(Int(r[2])), Text(r[1]), RealOr(r[3])});
                        return true;
                      },
                      error) &&
                  hours.run(
                      src,
                      [&](const Row &r) {
                        line.perHour.emplace_back(Text(r[0]), Int(r[1]));
                        return true;
                      },
                      error) &&
                  ReadTallies(src.store.db(), scope, {"station"}, stations, error) &&
                  failed.run(
                      src,
                      [&](const Row &r) {
                        line.failedUnits.push_back({Text(r[0]), Text(r[1]), Text(r[3]), Text(r[4]), Text(r[5]),
                                                    Text(r[6]), static_cast<int>(Int(r[2]))});
                        return true;
                      },
                      error);
  for (const auto &[key, tally] : stations) line.stations.push_back({key.at(0), tally});
  return ok;
}

void ChartLines(std::vector<Measurement> &ms) {
  for (Measurement &m : ms) {
    const auto cap = vorn_plots::Capabilities(m.moments, m.low, m.high);
    m.chart.mean = cap.mean;
    m.chart.sd = cap.sd;
    m.chart.low = m.low;
    m.chart.high = m.high;
  }
}

}  // namespace

double StationSeconds(double seconds, int64_t waitedMs) {
  return std::max(seconds, static_cast<double>(waitedMs) / 1000.0);
}

bool ReadAttempt(const Source &src, const std::string &uuid, UnitView &unit, std::string &error) {
  vorn_results::UnitRow row;
  vorn_host::SessionRecord session;
  bool found = false;
  if (!src.store.getUnit(uuid, row, found, error) ||
      (found && !src.store.getSession(row.sessionId, session, found, error))) {
    return false;
  }
  if (!found) {
    error = "no attempt with UUID \"" + uuid + "\"";
    return false;
  }
  Sql attempts;
  attempts << "SELECT count(*) FROM unit WHERE unit_id = " + attempts.param(row.unitId);
  if (!One(
          src, attempts, [&](const Row &r) { unit.attempts = static_cast<int>(Int(r[0])); }, error))
    return false;
  unit.uuid = row.uuid;
  unit.serial = row.serial;
  unit.attempt = row.attempt;
  unit.started = row.started;
  unit.seconds = row.seconds;
  unit.waitedSeconds = static_cast<double>(row.waitedMs) / 1000.0;
  unit.verdict = row.verdict;
  unit.stopped = row.stopped;
  unit.operatorName = row.operatorName.empty() ? session.operatorName : row.operatorName;
  unit.steps = std::move(row.steps);
  unit.plan = session.plan;
  unit.station = session.station;
  unit.host = session.host;
  unit.library = session.library;
  unit.version = session.version;
  unit.simulated = session.simulated;
  return true;
}

bool ReadUnit(const Source &src, const std::string &serial, int attempt, UnitView &unit, std::string &error) {
  Sql sql;
  sql << "SELECT uuid FROM unit WHERE serial = " + sql.param(serial);
  if (attempt > 0) sql << " AND attempt = " + sql.integer(attempt);
  sql << " ORDER BY started DESC, attempt DESC LIMIT 1";
  std::string uuid;
  if (!One(
          src, sql, [&](const Row &r) { uuid = Text(r[0]); }, error))
    return false;
  if (uuid.empty()) {
    error = "no unit with serial \"" + serial + "\"" + (attempt > 0 ? " and attempt " + std::to_string(attempt) : "");
    return false;
  }
  return ReadAttempt(src, uuid, unit, error);
}

bool ReadLine(const Source &src, const LineFilter &filter, LineView &line, std::string &error) {
  line.filter = filter;
  const Scope scope = ScopeOf(filter);
  Sql span(scope);
  span << "SELECT min(started), max(started) FROM u";
  bool ok = ReadTally(src.store.db(), filter, line.tally, error) &&
            ReadProvenance(src.store.db(), filter, line.provenance, error) &&
            One(
                src, span,
                [&](const Row &r) {
                  line.first = Text(r[0]);
                  line.last = Text(r[1]);
                },
                error);
  if (!ok) return false;
  // A line of every unit (nothing filtered, nothing left out) reads the
  // measurements from an index; a filtered one from the units it selects.
  const bool everyUnit = !filter.bounded() && filter.station.empty() && filter.plan.empty() &&
                         line.provenance.faultsLeftOut == 0 && line.provenance.engineeringLeftOut == 0;
  ok = everyUnit ? MeasurementsFromIndex(src, line.measurements, error)
                 : MeasurementsOfScope(src, scope, line.measurements, error) &&
                       HistogramsOfScope(src, scope, line.measurements, error);
  if (!ok) return false;
  ChartLines(line.measurements);
  return ChartPoints(src, scope, line.measurements, error) && Failures(src, scope, everyUnit, line, error) &&
         TestTime(src, scope, line, error) && TimesAndStations(src, scope, everyUnit, line, error);
}

}  // namespace vorn_reports
