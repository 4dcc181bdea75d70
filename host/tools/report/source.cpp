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

// A measurement as the page counts it: its plan line, entry and limits
// (the names a step wrote on it may differ from unit to unit).
using Key = std::tuple<std::string, int, int, std::optional<double>, std::optional<double>>;

Key KeyOf(const Measurement &m) { return {m.exportName, m.planLine, m.entry, m.low, m.high}; }

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

// Each limited measurement's moments and failures over the units of the
// scope, one aggregate of their results by measurement id; the ids of one
// plan line, entry and limits are one measurement of the page.
bool Measurements(const Source &src, const Scope &scope, std::vector<Measurement> &out,
                  std::map<int64_t, std::size_t> &byId, std::string &error) {
  Sql sql(scope);
  sql << "SELECT m.id, m.export, m.plan_line, m.entry, m.name, m.low, m.high, a.n, a.s, a.ss, a.lo, a.hi, a.missed"
         " FROM (SELECT r.measurement_id AS id, count(r.value) AS n, sum(r.value) AS s, sum(r.value * r.value) AS ss,"
         " min(r.value) AS lo, max(r.value) AS hi, sum(CASE WHEN r.passed = 0 THEN 1 ELSE 0 END) AS missed"
         " FROM run_result r JOIN u ON u.id = r.attempt_id GROUP BY r.measurement_id) a"
         " JOIN measurement m ON m.id = a.id WHERE m.low IS NOT NULL OR m.high IS NOT NULL"
         " ORDER BY m.plan_line, m.entry, m.id";
  std::map<Key, std::size_t> byKey;
  const bool ok = sql.run(
      src,
      [&](const Row &r) {
        Measurement one;
        one.exportName = Text(r[1]);
        one.planLine = static_cast<int>(Int(r[2]));
        one.entry = static_cast<int>(Int(r[3]));
        one.low = Real(r[5]);
        one.high = Real(r[6]);
        const auto [at, added] = byKey.try_emplace(KeyOf(one), out.size());
        if (added) out.push_back(std::move(one));
        Measurement &m = out[at->second];
        byId[Int(r[0])] = at->second;
        if (m.name.empty()) m.name = Text(r[4]);
        const int64_t n = Int(r[7]);
        if (n > 0) {
          m.moments.min = m.moments.count > 0 ? std::min(m.moments.min, RealOr(r[10])) : RealOr(r[10]);
          m.moments.max = m.moments.count > 0 ? std::max(m.moments.max, RealOr(r[11])) : RealOr(r[11]);
        }
        m.moments.count += n;
        m.moments.sum += RealOr(r[8]);
        m.moments.sumSq += RealOr(r[9]);
        m.failed += Int(r[12]);
        return true;
      },
      error);
  for (Measurement &m : out) m.histogram = vorn_plots::HistogramFrame(m.moments.min, m.moments.max, m.low, m.high);
  return ok;
}

// Each measurement's bins, counted by the database in one statement.
bool Histograms(const Source &src, const Scope &scope, std::vector<Measurement> &ms,
                const std::map<int64_t, std::size_t> &byId, std::string &error) {
  if (byId.empty()) return true;
  Sql sql(scope);
  std::string frames;
  for (const auto &[id, at] : byId) {
    const vorn_plots::Histogram &h = ms[at].histogram;
    frames += std::string(frames.empty() ? "" : ", ") + "(" + sql.integer(id) + ", " + sql.real(h.first) + ", " +
              sql.real(h.width) + ")";
  }
  const std::string bin = src.postgres() ? "CAST(floor((r.value - f.first) / f.width) AS INTEGER)"
                                         : "CAST((r.value - f.first) / f.width AS INTEGER)";
  sql << ", f(id, first, width) AS (VALUES " + frames + ") SELECT f.id, " + bin +
             " AS bin, count(*) FROM run_result r JOIN f ON f.id = r.measurement_id JOIN u ON u.id = r.attempt_id"
             " WHERE r.value IS NOT NULL GROUP BY f.id, bin";
  return sql.run(
      src,
      [&](const Row &r) {
        const auto at = byId.find(Int(r[0]));
        if (at == byId.end()) return true;
        vorn_plots::Histogram &h = ms[at->second].histogram;
        const int64_t b = std::clamp<int64_t>(Int(r[1]), 0, static_cast<int64_t>(h.counts.size()) - 1);
        h.counts[static_cast<std::size_t>(b)] += Int(r[2]);
        return true;
      },
      error);
}

// The control charts' points: from the latest units only, found through the
// start-time index, each in its place in the test order: its start, then its
// session, unit and attempt for the attempts of one second.
bool ChartPoints(const Source &src, const Scope &scope, std::vector<Measurement> &ms,
                 const std::map<int64_t, std::size_t> &byId, std::string &error) {
  using Place = std::tuple<std::string, std::string, int64_t, int64_t>;
  std::vector<std::vector<std::pair<Place, double>>> points(ms.size());
  Sql sql(scope);
  sql << ", latest AS (SELECT id, started, session_id, unit_index, attempt FROM u ORDER BY started DESC,"
         " session_id DESC, unit_index DESC, attempt DESC LIMIT " +
             sql.integer(kChartUnits) +
             ") SELECT r.measurement_id, r.value, l.started, l.session_id, l.unit_index, l.attempt FROM latest l"
             " JOIN run_result r ON r.attempt_id = l.id";
  const bool ok = sql.run(
      src,
      [&](const Row &r) {
        const auto at = byId.find(Int(r[0]));
        const std::optional<double> v = Real(r[1]);
        if (at != byId.end() && v)
          points[at->second].emplace_back(Place{Text(r[2]), Text(r[3]), Int(r[4]), Int(r[5])}, *v);
        return true;
      },
      error);
  for (std::size_t i = 0; i < ms.size(); ++i) {
    auto &p = points[i];
    std::sort(p.begin(), p.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &v : p) ms[i].chart.values.push_back(v.second);
    ms[i].chart.firstIndex = ms[i].moments.count - static_cast<int64_t>(p.size()) + 1;
  }
  return ok;
}

// Limits missed per measurement, and steps in ERROR per plan line.
bool Failures(const Source &src, const Scope &scope, LineView &line, std::string &error) {
  for (const Measurement &m : line.measurements) {
    if (m.failed > 0) line.failures.push_back({m.planLine, m.entry, m.exportName, m.name, m.failed});
  }
  Sql errors(scope);
  errors << "SELECT p.export, p.plan_line, count(*) FROM run_step s JOIN u ON u.id = s.attempt_id"
            " JOIN plan_step p ON p.id = s.plan_step_id WHERE s.verdict = 'ERROR' GROUP BY p.export, p.plan_line";
  return errors.run(
      src,
      [&](const Row &r) {
        line.failures.push_back({static_cast<int>(Int(r[1])), 0, Text(r[0]), "", Int(r[2])});
        return true;
      },
      error);
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
bool TimesAndStations(const Source &src, const Scope &scope, LineView &line, std::string &error) {
  Sql stepTimes(scope), hours(scope), failed(scope);
  stepTimes << "SELECT p.export, p.plan_line, avg(" + StationSecondsSql("s") +
                   ") FROM run_step s JOIN u ON u.id = s.attempt_id JOIN plan_step p ON p.id = s.plan_step_id"
                   " GROUP BY p.export, p.plan_line ORDER BY p.plan_line";
  hours << "SELECT substr(started, 1, 13) AS hour, count(*) FROM u GROUP BY hour ORDER BY hour";
  failed << "SELECT uuid, serial, attempt, started, station, operator, verdict FROM u WHERE verdict IN"
            " ('FAIL', 'ERROR') ORDER BY started DESC, serial, attempt DESC, uuid LIMIT " +
                failed.integer(kListedFailures);
  std::map<std::vector<std::string>, vorn_host::Tally> stations;
  const bool ok = stepTimes.run(
                      src,
                      [&](const Row &r) {
                        line.stepTimes.push_back({static_cast<int>(Int(r[1])), Text(r[0]), RealOr(r[2])});
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
  std::map<int64_t, std::size_t> byId;
  const bool ok = ReadTally(src.store.db(), filter, line.tally, error) &&
                  ReadProvenance(src.store.db(), filter, line.provenance, error) &&
                  One(
                      src, span,
                      [&](const Row &r) {
                        line.first = Text(r[0]);
                        line.last = Text(r[1]);
                      },
                      error) &&
                  Measurements(src, scope, line.measurements, byId, error) &&
                  Histograms(src, scope, line.measurements, byId, error);
  if (!ok) return false;
  ChartLines(line.measurements);
  return ChartPoints(src, scope, line.measurements, byId, error) && Failures(src, scope, line, error) &&
         TestTime(src, scope, line, error) && TimesAndStations(src, scope, line, error);
}

}  // namespace vorn_reports
