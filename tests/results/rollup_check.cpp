#include "rollup_check.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <tuple>

#include "core/tally.h"

namespace vorn_results_test {

namespace {

using vorn_results::Database;
using vorn_results::Row;

int64_t Int(const vorn_results::Value &v) { return v ? std::stoll(*v) : 0; }
double Real(const vorn_results::Value &v) { return vorn_results::ParseNumber(v).value_or(0.0); }
std::string Text(const vorn_results::Value &v) { return v.value_or(""); }

bool Near(double a, double b) { return std::fabs(a - b) <= 1e-9 * std::max({1.0, std::fabs(a), std::fabs(b)}); }

// Each attempt folded into the rollups (none still waiting) with its unit's
// first start and its session's rollup scope.
const char *kAttempts =
    "SELECT u.id, u.prior, u.verdict, u.seconds, u.waited_ms, f.first, sc.id FROM unit u"
    " JOIN (SELECT unit_id, min(started) AS first FROM unit GROUP BY unit_id) f ON f.unit_id = u.unit_id"
    " JOIN session se ON se.id = u.session_id JOIN rollup_scope sc ON sc.station_id = se.station_id"
    " AND sc.plan = se.plan AND sc.simulated = se.simulated AND sc.fault_injected = se.fault_injected"
    " AND sc.mode = se.mode WHERE u.id NOT IN (SELECT attempt_id FROM rollup_pending)";

std::string Query(Database &db, const std::string &sql, const std::function<void(const Row &)> &each) {
  std::string error;
  return db.query(
             sql, {},
             [&](const Row &r) {
               each(r);
               return true;
             },
             error)
             ? ""
             : error;
}

std::string Tallies(Database &db) {
  std::map<std::pair<int64_t, std::string>, vorn_host::Tally> expected;
  std::string e = Query(db, kAttempts, [&](const Row &r) {
    const double station = std::max(Real(r[3]), static_cast<double>(Int(r[4])) / 1000.0);
    expected[{Int(r[6]), Text(r[5]).substr(0, 13)}].add(
        vorn_host::PriorOf(Text(r[1])).value_or(vorn_host::Prior::kNone),
        vorn_host::VerdictOf(Text(r[2])).value_or(vorn_host::Verdict::kNotRun), station);
  });
  std::size_t rows = 0;
  std::string differs;
  e +=
      Query(db,
            "SELECT scope_id, hour, attempts, units, first_pass, final_pass, final_fail, final_error, retests, stopped,"
            " station_seconds FROM station_hour",
            [&](const Row &r) {
              ++rows;
              const auto at = expected.find({Int(r[0]), Text(r[1])});
              const vorn_host::Tally &t = at == expected.end() ? vorn_host::Tally() : at->second;
              const std::array<int64_t, 8> want = {t.attempts, t.units, t.firstPass, t.pass,
                                                   t.fail,     t.error, t.retests,   t.stopped};
              for (std::size_t i = 0; i < want.size(); ++i) {
                if (Int(r[2 + i]) != want[i] && differs.empty()) {
                  differs = "station_hour " + Text(r[1]) + " column " + std::to_string(2 + i) + ": " +
                            std::to_string(Int(r[2 + i])) + ", the rows give " + std::to_string(want[i]);
                }
              }
              if (!Near(Real(r[10]), t.stationSeconds) && differs.empty()) differs = "station_hour station time";
            });
  if (!e.empty()) return e;
  if (differs.empty() && rows != expected.size()) differs = "station_hour has " + std::to_string(rows) + " rows";
  return differs;
}

struct Sums {
  int64_t count = 0, fails = 0;
  double sum = 0, sumSq = 0;
  std::optional<double> min, max;
  std::array<int64_t, 30> bins{};
};

std::string Measurements(Database &db) {
  std::map<std::tuple<int64_t, std::string, int64_t>, Sums> expected;
  std::string e =
      Query(db,
            std::string("SELECT a.scope, substr(a.first, 1, 10), r.measurement_id, r.value, r.passed, m.bin_first,"
                        " m.bin_width FROM run_result r JOIN (") +
                "SELECT u.id, f.first, sc.id AS scope" +
                std::string(kAttempts).substr(std::string(kAttempts).find(" FROM unit u")) +
                ") a ON a.id = r.attempt_id JOIN measurement m ON m.id = r.measurement_id",
            [&](const Row &r) {
              Sums &s = expected[{Int(r[0]), Text(r[1]), Int(r[2])}];
              s.fails += Int(r[4]) == 0 ? 1 : 0;
              const std::optional<double> v = vorn_results::ParseNumber(r[3]);
              if (!v || !std::isfinite(*v)) return;
              const double first = Real(r[5]), width = Real(r[6]), shift = first + width * 15.0;
              ++s.count;
              s.sum += *v - shift;
              s.sumSq += (*v - shift) * (*v - shift);
              s.min = s.min ? std::min(*s.min, *v) : *v;
              s.max = s.max ? std::max(*s.max, *v) : *v;
              ++s.bins[static_cast<std::size_t>(std::clamp(std::floor((*v - first) / width), 0.0, 29.0))];
            });
  std::size_t rows = 0;
  std::string differs;
  std::string bins;
  for (int b = 0; b < 30; ++b) bins += std::string(", b") + (b < 10 ? "0" : "") + std::to_string(b);
  e += Query(db,
             "SELECT scope_id, day, measurement_id, count, sum, sum_sq, lowest, highest, fails" + bins +
                 " FROM day_measurement",
             [&](const Row &r) {
               ++rows;
               const Sums &s = expected[{Int(r[0]), Text(r[1]), Int(r[2])}];
               bool same = Int(r[3]) == s.count && Near(Real(r[4]), s.sum) && Near(Real(r[5]), s.sumSq) &&
                           vorn_results::ParseNumber(r[6]) == s.min && vorn_results::ParseNumber(r[7]) == s.max &&
                           Int(r[8]) == s.fails;
               for (std::size_t b = 0; b < s.bins.size(); ++b) same = same && Int(r[9 + b]) == s.bins[b];
               if (!same && differs.empty()) differs = "day_measurement " + Text(r[1]) + " measurement " + Text(r[2]);
             });
  if (!e.empty()) return e;
  if (differs.empty() && rows != expected.size()) differs = "day_measurement has " + std::to_string(rows) + " rows";
  return differs;
}

std::string Steps(Database &db) {
  std::map<std::tuple<int64_t, std::string, int64_t>, std::pair<int64_t, int64_t>> expected;  // runs, errors
  std::map<std::pair<int64_t, std::string>, std::vector<std::pair<double, int64_t>>> slow;
  const std::string from = std::string(kAttempts).substr(std::string(kAttempts).find(" FROM unit u"));
  std::string e = Query(db,
                        "SELECT a.scope, substr(a.first, 1, 10), s.plan_step_id, s.verdict FROM run_step s JOIN"
                        " (SELECT u.id, f.first, sc.id AS scope" +
                            from + ") a ON a.id = s.attempt_id",
                        [&](const Row &r) {
                          if (Text(r[3]) == "NOT RUN") return;
                          auto &x = expected[{Int(r[0]), Text(r[1]), Int(r[2])}];
                          ++x.first;
                          x.second += Text(r[3]) == "ERROR" ? 1 : 0;
                        });
  e += Query(db, kAttempts, [&](const Row &r) {
    slow[{Int(r[6]), Text(r[5]).substr(0, 10)}].push_back(
        {-std::max(Real(r[3]), static_cast<double>(Int(r[4])) / 1000.0), Int(r[0])});
  });
  std::size_t rows = 0;
  std::string differs;
  e += Query(db, "SELECT scope_id, day, plan_step_id, runs, errors FROM day_step", [&](const Row &r) {
    ++rows;
    const auto &x = expected[{Int(r[0]), Text(r[1]), Int(r[2])}];
    if ((Int(r[3]) != x.first || Int(r[4]) != x.second) && differs.empty()) differs = "day_step " + Text(r[1]);
  });
  if (differs.empty() && rows != expected.size()) differs = "day_step has " + std::to_string(rows) + " rows";
  // The slowest of each day are among day_slowest's, as the slowest of them.
  for (auto &[key, all] : slow) {
    std::sort(all.begin(), all.end());
    std::vector<int64_t> kept;
    e += Query(db,
               "SELECT attempt_id FROM day_slowest WHERE scope_id = " + std::to_string(key.first) + " AND day = '" +
                   key.second + "' ORDER BY station_seconds DESC, attempt_id LIMIT 10",
               [&](const Row &r) { kept.push_back(Int(r[0])); });
    for (std::size_t i = 0; i < std::min<std::size_t>(10, all.size()); ++i) {
      if ((i >= kept.size() || kept[i] != all[i].second) && differs.empty()) differs = "day_slowest " + key.second;
    }
  }
  return e.empty() ? differs : e;
}

}  // namespace

std::string RollupsDiffer(Database &db) {
  std::string differs = Tallies(db);
  if (differs.empty()) differs = Measurements(db);
  if (differs.empty()) differs = Steps(db);
  return differs;
}

}  // namespace vorn_results_test
