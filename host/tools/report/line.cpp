// The line report's data. What a period sums to comes from the rollups of
// its whole days and the rows of its partial ones (tools/common/line_sums.h);
// rows are read only where they must be exact: the control charts' latest
// points, the latest failing attempts and what failed in them, the slowest
// attempts' details.
#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "core/catalogue.h"
#include "tools/common/line_sums.h"
#include "tools/report/health_sections.h"
#include "tools/report/source.h"
#include "tools/report/sql.h"

namespace vorn_reports {
namespace {

using vorn_results::BinFrame;

std::optional<double> Real(const Value &v) { return vorn_results::ParseNumber(v); }
double RealOr(const Value &v, double otherwise = 0) { return Real(v).value_or(otherwise); }
int64_t Int(const Value &v) { return v ? std::atoll(v->c_str()) : 0; }
std::string Text(const Value &v) { return v.value_or(""); }

// The small tables: each measurement and plan step by id.
struct MeasurementRow {
  std::string exportName, unit;
  int planLine = 0, entry = 0;
  std::optional<std::string> name;
  std::optional<double> low, high;
  BinFrame frame;
};
struct PlanStepRow {
  std::string exportName;
  int planLine = 0;
};

bool ReadTables(const Source &src, std::map<int64_t, MeasurementRow> &ms, std::map<int64_t, PlanStepRow> &steps,
                std::string &error) {
  Sql measurements, planSteps;
  measurements << "SELECT id, export, plan_line, entry, name, low, high, unit, bin_first, bin_width FROM measurement";
  planSteps << "SELECT id, export, plan_line FROM plan_step";
  return measurements.run(
             src,
             [&](const Row &r) {
               ms[Int(r[0])] = {
                   Text(r[1]), Text(r[7]), static_cast<int>(Int(r[2])),      static_cast<int>(Int(r[3])), r[4],
                   Real(r[5]), Real(r[6]), {RealOr(r[8]), RealOr(r[9], 1.0)}};
               return true;
             },
             error) &&
         planSteps.run(
             src,
             [&](const Row &r) {
               steps[Int(r[0])] = {Text(r[1]), static_cast<int>(Int(r[2]))};
               return true;
             },
             error);
}

// A measurement as the page counts it: its plan line, entry and limits
// (the names a step wrote on it may differ from unit to unit).
using Key = std::tuple<std::string, int, int, std::optional<double>, std::optional<double>>;

// Sums taken less one shift, added to sums taken less another.
void AddMoments(vorn_plots::Moments &into, const vorn_plots::Moments &m) {
  if (m.count == 0) return;
  if (into.count == 0) {
    into = m;
    return;
  }
  const double d = m.shift - into.shift;
  const double n = static_cast<double>(m.count);
  into.sumSq += m.sumSq + 2.0 * d * m.sum + n * d * d;
  into.sum += m.sum + n * d;
  into.min = std::min(into.min, m.min);
  into.max = std::max(into.max, m.max);
  into.count += m.count;
}

// The fixed bins without the empty ones at either end, but never cutting off a limit.
vorn_plots::Histogram Trimmed(const MeasurementRow &row, const std::array<int64_t, vorn_results::kRollupBins> &bins) {
  std::size_t first = bins.size(), last = 0;
  for (std::size_t b = 0; b < bins.size(); ++b) {
    if (bins[b] == 0) continue;
    first = std::min(first, b);
    last = std::max(last, b);
  }
  for (const auto &limit : {row.low, row.high}) {
    if (!limit) continue;
    const auto b = static_cast<std::size_t>(row.frame.bin(*limit));
    first = std::min(first, b);
    last = std::max(last, b);
  }
  vorn_plots::Histogram h;
  h.low = row.low;
  h.high = row.high;
  h.width = row.frame.width;
  if (first > last) first = last = 0;
  h.first = row.frame.first + row.frame.width * static_cast<double>(first);
  h.counts.assign(bins.begin() + static_cast<std::ptrdiff_t>(first),
                  bins.begin() + static_cast<std::ptrdiff_t>(last) + 1);
  return h;
}

// The limited measurements of the sums, those of one plan line, entry and
// limits as one; byId: each measurement id's place among them.
void Measurements(const LineSums &sums, const std::map<int64_t, MeasurementRow> &rows, std::vector<Measurement> &out,
                  std::map<int64_t, std::size_t> &byId) {
  std::map<Key, std::size_t> byKey;
  std::map<std::size_t, std::array<int64_t, vorn_results::kRollupBins>> bins;
  for (const auto &[id, s] : sums.measurements) {
    const auto row = rows.find(id);
    if (row == rows.end() || (!row->second.low && !row->second.high)) continue;
    const MeasurementRow &m = row->second;
    const auto [at, added] = byKey.try_emplace(Key{m.exportName, m.planLine, m.entry, m.low, m.high}, out.size());
    if (added) {
      Measurement one;
      one.exportName = m.exportName;
      one.planLine = m.planLine;
      one.entry = m.entry;
      one.low = m.low;
      one.high = m.high;
      one.unit = m.unit;
      out.push_back(std::move(one));
    }
    Measurement &into = out[at->second];
    byId[id] = at->second;
    if (into.name.empty()) into.name = m.name.value_or("");
    AddMoments(into.moments, {s.count, m.frame.shift(), s.sum, s.sumSq, s.min.value_or(0), s.max.value_or(0)});
    into.failed += s.fails;
    auto &b = bins.try_emplace(at->second).first->second;
    for (std::size_t i = 0; i < b.size(); ++i) b[i] += s.bins[i];
    into.histogram = Trimmed(m, b);
  }
  std::sort(out.begin(), out.end(), [](const Measurement &a, const Measurement &b) {
    return std::tie(a.planLine, a.entry) < std::tie(b.planLine, b.entry);
  });
  std::map<Key, std::size_t> sorted;
  for (std::size_t i = 0; i < out.size(); ++i)
    sorted[{out[i].exportName, out[i].planLine, out[i].entry, out[i].low, out[i].high}] = i;
  for (auto &[id, at] : byId) {
    const MeasurementRow &m = rows.at(id);
    at = sorted.at({m.exportName, m.planLine, m.entry, m.low, m.high});
  }
}

// Each plan line's setting (band, channel, level), from the latest attempt
// the scope holds: the measurements' names in words.
bool Words(const Source &src, const Scope &scope, std::vector<Measurement> &ms, std::string &error) {
  Sql latest(scope);
  latest << "SELECT uuid FROM u ORDER BY started DESC LIMIT 1";
  std::string uuid;
  if (!One(
          src, latest, [&](const Row &r) { uuid = Text(r[0]); }, error))
    return false;
  std::map<int, std::optional<vorn_host::Setting>> settings;
  vorn_results::UnitRow row;
  bool found = false;
  if (!uuid.empty() && !src.store.getUnit(uuid, row, found, error)) return false;
  if (found) {
    const vorn_host::UnitRecord record = vorn_results::ToRecord(row, nullptr);
    const std::vector<std::optional<vorn_host::Setting>> each = vorn_host::Settings(record.run);
    for (std::size_t i = 0; i < each.size(); ++i) settings[record.run.steps[i].step.line] = each[i];
  }
  for (Measurement &m : ms) {
    const std::optional<std::string> name = m.name.empty() ? std::nullopt : std::optional<std::string>(m.name);
    const std::optional<vorn_host::Measurement> known = vorn_host::MeasurementOf(m.exportName, m.entry, name);
    m.words = known ? vorn_host::MeasurementLabel(*known, settings[m.planLine])
                    : vorn_host::StepTitle(m.exportName) + " entry " + std::to_string(m.entry);
    const std::string what = known ? known->name : "value";
    m.axis = m.unit.empty() ? what : what + " (" + m.unit + ")";
  }
  return true;
}

// The control charts' points: from the latest units only, found through the
// start-time index, each in its place in the test order: its start, then its
// session, unit and attempt for the attempts of one second. Their results are
// read as one range of attempt ids (the latest lie together), not attempt by
// attempt: one range of the key in SQLite, of the BRIN index in PostgreSQL.
bool ChartPoints(const Source &src, const Scope &scope, std::vector<Measurement> &ms,
                 const std::map<int64_t, std::size_t> &byId, std::string &error) {
  using Place = std::tuple<std::string, std::string, int64_t, int64_t>;
  std::map<int64_t, Place> latest;
  Sql units(scope);
  units << "SELECT id, started, session_id, unit_index, attempt FROM u ORDER BY started DESC LIMIT " +
               units.integer(kChartUnits);
  if (!units.run(
          src,
          [&](const Row &r) {
            latest[Int(r[0])] = Place{Text(r[1]), Text(r[2]), Int(r[3]), Int(r[4])};
            return true;
          },
          error)) {
    return false;
  }
  std::vector<std::vector<std::pair<Place, double>>> points(ms.size());
  Sql results;
  if (!latest.empty()) {
    results << "SELECT attempt_id, measurement_id, value FROM run_result WHERE attempt_id >= " +
                   results.integer(latest.begin()->first) +
                   " AND attempt_id <= " + results.integer(latest.rbegin()->first);
  }
  const bool ok = latest.empty() || results.run(
                                        src,
                                        [&](const Row &r) {
                                          const auto unit = latest.find(Int(r[0]));
                                          const auto at = byId.find(Int(r[1]));
                                          const std::optional<double> v = Real(r[2]);
                                          if (unit != latest.end() && at != byId.end() && v) {
                                            points[at->second].emplace_back(unit->second, *v);
                                          }
                                          return true;
                                        },
                                        error);
  for (std::size_t i = 0; i < ms.size(); ++i) {
    auto &p = points[i];
    std::sort(p.begin(), p.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    Measurement &m = ms[i];
    for (const auto &v : p) m.chart.values.push_back(v.second);
    m.chart.firstIndex = m.moments.count - static_cast<int64_t>(p.size()) + 1;
    const vorn_plots::Capability cap = vorn_plots::Capabilities(m.moments, m.low, m.high);
    m.chart.mean = cap.mean;
    m.chart.sd = cap.sd;
    m.chart.low = m.low;
    m.chart.high = m.high;
  }
  return ok;
}

// Limits missed per measurement, and steps in ERROR per plan line; each
// plan line's step times.
void StepsAndFailures(const LineSums &sums, const std::map<int64_t, PlanStepRow> &planSteps, LineView &line) {
  for (const Measurement &m : line.measurements) {
    if (m.failed > 0) line.failures.push_back({m.planLine, m.entry, m.exportName, m.words, m.failed});
  }
  std::map<std::pair<int, std::string>, vorn_results::StepSums> byLine;
  for (const auto &[id, s] : sums.steps) {
    const auto row = planSteps.find(id);
    if (row != planSteps.end()) byLine[{row->second.planLine, row->second.exportName}].merge(s);
  }
  for (const auto &[key, s] : byLine) {
    const std::string title = vorn_host::StepTitle(key.second);
    if (s.errors > 0) line.failures.push_back({key.first, 0, key.second, title + " in ERROR", s.errors});
    if (s.runs == 0) continue;
    const double n = static_cast<double>(s.runs);
    line.stepTimes.push_back(
        {key.first, key.second, title, s.runs, s.errors, s.stationSeconds / n, s.waitedSeconds / n, s.ownSeconds / n});
  }
}

// The tally, per station and per station and hour, and the period's span.
void Tallies(const LineSums &sums, LineView &line) {
  const auto all = sums.tallies([](const std::string &, const std::string &) { return std::vector<std::string>(); });
  line.tally = all.empty() ? vorn_host::Tally() : all.begin()->second;
  for (const auto &[key, tally] : sums.tallies(
           [](const std::string &station, const std::string &) { return std::vector<std::string>{station}; })) {
    line.stations.push_back({key.at(0), tally});
  }
  for (const auto &[key, s] : sums.hours) {
    if (line.first.empty() || s.firstStarted < line.first) line.first = s.firstStarted;
    if (s.lastEnded > line.last) line.last = s.lastEnded;
  }
  for (const auto &[key, units] : sums.latestHours) line.perHour.push_back({key.first, key.second, units});
  std::stable_sort(line.perHour.begin(), line.perHour.end(),
                   [](const HourUnits &a, const HourUnits &b) { return a.hour < b.hour; });
}

// What failed first in each failing attempt, in words: its first missed
// limit, or its step in ERROR with the step's text.
bool WhyFailed(const Source &src, const std::map<int64_t, MeasurementRow> &rows, std::vector<FailedUnit> &failed,
               const std::vector<int64_t> &ids, std::string &error) {
  if (ids.empty()) return true;
  std::map<int64_t, std::size_t> at;
  Sql missed, errors;
  for (std::size_t i = 0; i < ids.size(); ++i) at[ids[i]] = i;
  // One range of attempt ids each, as the charts' points.
  const auto [low, high] = std::minmax_element(ids.begin(), ids.end());
  missed << "SELECT attempt_id, measurement_id, value FROM run_result WHERE passed = 0 AND attempt_id >= " +
                missed.integer(*low) + " AND attempt_id <= " + missed.integer(*high) +
                " ORDER BY attempt_id, step_index, measurement_id";
  errors << "SELECT s.attempt_id, p.export, s.text FROM run_step s JOIN plan_step p ON p.id = s.plan_step_id"
            " WHERE s.verdict = 'ERROR' AND s.attempt_id >= " +
                errors.integer(*low) + " AND s.attempt_id <= " + errors.integer(*high) +
                " ORDER BY s.attempt_id, s.step_index";
  const auto note = [&](int64_t id, const std::string &why) {
    const auto place = at.find(id);
    if (place == at.end()) return;  // an attempt in the range not listed
    FailedUnit &f = failed[place->second];
    if (f.why.empty()) {
      f.why = why;
    } else {
      ++f.more;
    }
  };
  return errors.run(
             src,
             [&](const Row &r) {
               note(Int(r[0]), vorn_host::StepTitle(Text(r[1])) + ": " + Text(r[2]));
               return true;
             },
             error) &&
         missed.run(
             src,
             [&](const Row &r) {
               const auto m = rows.find(Int(r[1]));
               if (m == rows.end()) return true;
               const MeasurementRow &row = m->second;
               vorn_host::Limit limit{row.entry, row.low, row.high};
               note(Int(r[0]),
                    vorn_host::DescribeResult(row.exportName, row.entry, row.name, Real(r[2]), limit, std::nullopt)
                        .line);
               return true;
             },
             error);
}

// The latest failing attempts (a stopped attempt is no failure), and why.
bool FailedUnits(const Source &src, const Scope &scope, const std::map<int64_t, MeasurementRow> &rows, LineView &line,
                 std::string &error) {
  Sql failed(scope);
  failed << "SELECT uuid, serial, attempt, started, station, operator, verdict, id FROM u WHERE verdict IN"
            " ('FAIL', 'ERROR') ORDER BY started DESC, serial, attempt DESC, uuid LIMIT " +
                failed.integer(kListedFailures);
  std::vector<int64_t> ids;
  return failed.run(
             src,
             [&](const Row &r) {
               line.failedUnits.push_back({Text(r[0]), Text(r[1]), Text(r[3]), Text(r[4]), Text(r[5]), Text(r[6]),
                                           static_cast<int>(Int(r[2])), "", 0});
               ids.push_back(Int(r[7]));
               return true;
             },
             error) &&
         WhyFailed(src, rows, line.failedUnits, ids, error);
}

bool Slowest(const Source &src, const LineSums &sums, LineView &line, std::string &error) {
  if (sums.slowest.empty()) return true;
  Sql sql;
  std::string in;
  for (const vorn_results::SlowAttempt &s : sums.slowest) in += (in.empty() ? "" : ", ") + sql.integer(s.attemptId);
  sql << "SELECT u.id, u.uuid, u.serial, u.attempt, u.started, u.seconds, st.name FROM unit u JOIN session se ON"
         " se.id = u.session_id JOIN station st ON st.id = se.station_id WHERE u.id IN (" +
             in + ")";
  std::map<int64_t, SlowUnit> found;
  const bool ok = sql.run(
      src,
      [&](const Row &r) {
        found[Int(r[0])] = {Text(r[1]), Text(r[2]),  Text(r[6]), Text(r[4]), static_cast<int>(Int(r[3])),
                            0,          RealOr(r[5])};
        return true;
      },
      error);
  for (const vorn_results::SlowAttempt &s : sums.slowest) {
    const auto at = found.find(s.attemptId);
    if (at == found.end()) continue;
    at->second.stationSeconds = s.stationSeconds;
    line.slowest.push_back(at->second);
  }
  return ok;
}

}  // namespace

bool ReadLine(const Source &src, const LineFilter &filter, LineView &line, std::string &error) {
  line.filter = filter;
  const Scope scope = ScopeOf(filter);
  LineSums sums;
  std::map<int64_t, MeasurementRow> rows;
  std::map<int64_t, PlanStepRow> planSteps;
  std::map<int64_t, std::size_t> byId;
  if (!ReadLineSums(src.store.db(), filter, false, 0, sums, error) || !ReadTables(src, rows, planSteps, error) ||
      !ReadProvenance(src.store.db(), filter, line.provenance, error)) {
    return false;
  }
  Tallies(sums, line);
  Measurements(sums, rows, line.measurements, byId);
  if (!Words(src, scope, line.measurements, error)) return false;
  StepsAndFailures(sums, planSteps, line);
  HealthHistory health;
  if (!ChartPoints(src, scope, line.measurements, byId, error) || !FailedUnits(src, scope, rows, line, error) ||
      !Slowest(src, sums, line, error) || !ReadHealthHistory(src, filter, health, error)) {
    return false;
  }
  line.healthHtml = HealthSections(health);
  return true;
}

}  // namespace vorn_reports
