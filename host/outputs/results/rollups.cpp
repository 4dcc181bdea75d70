#include "outputs/results/rollups.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vorn_results {

namespace {

bool Digits(const std::string &text, std::size_t at, std::size_t count, int64_t &n) {
  n = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    n = n * 10 + (text[i] - '0');
  }
  return true;
}

// Days since 1970-01-01 of a civil date (Howard Hinnant's days_from_civil).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::string Hour(const std::string &started) { return started.substr(0, 13); }
std::string Day(const std::string &started) { return started.substr(0, 10); }

}  // namespace

std::optional<int64_t> EpochSeconds(const std::string &t) {
  int64_t y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (t.size() != 20 || !Digits(t, 0, 4, y) || t[4] != '-' || !Digits(t, 5, 2, mo) || t[7] != '-' ||
      !Digits(t, 8, 2, d) || t[10] != 'T' || !Digits(t, 11, 2, h) || t[13] != ':' || !Digits(t, 14, 2, mi) ||
      t[16] != ':' || !Digits(t, 17, 2, s) || t[19] != 'Z' || mo < 1 || mo > 12 || d < 1 || d > 31) {
    return std::nullopt;
  }
  return DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
}

std::string TimeText(int64_t s) {
  int64_t days = s >= 0 ? s / 86400 : (s - 86399) / 86400;
  const int64_t rest = s - days * 86400;
  days += 719468;  // civil_from_days
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  char text[128];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(y),
                static_cast<long long>(m), static_cast<long long>(d), static_cast<long long>(rest / 3600),
                static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
  return text;
}

std::string EndOf(const std::string &started, double seconds) {
  const std::optional<int64_t> start = EpochSeconds(started);
  if (!start || !std::isfinite(seconds)) return started;
  return TimeText(*start + static_cast<int64_t>(std::llround(std::max(0.0, seconds))));
}

bool SlowerFirst(const SlowAttempt &a, const SlowAttempt &b) {
  return a.stationSeconds > b.stationSeconds || (a.stationSeconds == b.stationSeconds && a.attemptId < b.attemptId);
}

int BinFrame::bin(double value) const {
  const double at = std::floor((value - first) / width);
  return static_cast<int>(std::clamp(at, 0.0, static_cast<double>(kRollupBins - 1)));
}

BinFrame FrameFor(const std::optional<double> &low, const std::optional<double> &high,
                  const std::optional<double> &typical) {
  const auto usable = [](const std::optional<double> &v) { return v && std::isfinite(*v); };
  BinFrame f;
  if (usable(low) && usable(high) && *high > *low) {
    f.width = (*high - *low) / 20.0;
    f.first = *low - 5.0 * f.width;
    return f;
  }
  // One bound (or both the same): the scale from a typical value's distance
  // to it, or from the bound's own size.
  const std::optional<double> bound = usable(high) ? high : usable(low) ? low : typical;
  if (!usable(bound)) return f;
  double gap = usable(typical) ? std::fabs(*bound - *typical) : 0.0;
  if (!(gap > 1e-9 * std::max(1.0, std::fabs(*bound)))) gap = std::max(std::fabs(*bound) * 0.05, 0.01);
  f.width = gap / 10.0;
  if (usable(high) && !(usable(low) && *low == *high)) {
    f.first = *high - 25.0 * f.width;  // values below the upper limit
  } else if (usable(low) && !usable(high)) {
    f.first = *low - 5.0 * f.width;  // values above the lower limit
  } else {
    f.first = *bound - 15.0 * f.width;  // around one value
  }
  return f;
}

void MeasureSums::add(const std::optional<double> &value, bool passed, const BinFrame &frame) {
  fails += passed ? 0 : 1;
  if (!value || !std::isfinite(*value)) return;
  const double v = *value, d = v - frame.shift();
  ++count;
  sum += d;
  sumSq += d * d;
  min = min ? std::min(*min, v) : v;
  max = max ? std::max(*max, v) : v;
  ++bins[static_cast<std::size_t>(frame.bin(v))];
}

void MeasureSums::merge(const MeasureSums &o) {
  count += o.count;
  sum += o.sum;
  sumSq += o.sumSq;
  if (o.min) min = min ? std::min(*min, *o.min) : *o.min;
  if (o.max) max = max ? std::max(*max, *o.max) : *o.max;
  fails += o.fails;
  for (std::size_t b = 0; b < bins.size(); ++b) bins[b] += o.bins[b];
}

void StepSums::add(double seconds, uint64_t waitedMs, bool error) {
  const double waited = static_cast<double>(waitedMs) / 1000.0;
  ++runs;
  errors += error ? 1 : 0;
  wallSeconds += seconds;
  waitedSeconds += waited;
  ownSeconds += seconds >= waited ? seconds - waited : seconds;
  stationSeconds += std::max(seconds, waited);
}

void StepSums::merge(const StepSums &o) {
  runs += o.runs;
  errors += o.errors;
  wallSeconds += o.wallSeconds;
  waitedSeconds += o.waitedSeconds;
  ownSeconds += o.ownSeconds;
  stationSeconds += o.stationSeconds;
}

void TallySums::add(const std::string &prior, const std::string &verdict, double seconds, uint64_t waitedMs,
                    const std::string &started) {
  const double station = std::max(seconds, static_cast<double>(waitedMs) / 1000.0);
  tally.add(vorn_host::PriorOf(prior).value_or(vorn_host::Prior::kNone),
            vorn_host::VerdictOf(verdict).value_or(vorn_host::Verdict::kNotRun), station);
  wallSeconds += seconds;
  const std::string ended = EndOf(started, station);
  if (firstStarted.empty() || started < firstStarted) firstStarted = started;
  if (lastEnded.empty() || ended > lastEnded) lastEnded = ended;
}

void TallySums::merge(const TallySums &o) {
  vorn_host::Tally &t = tally;
  const vorn_host::Tally &u = o.tally;
  t.attempts += u.attempts;
  t.units += u.units;
  t.firstPass += u.firstPass;
  t.pass += u.pass;
  t.fail += u.fail;
  t.error += u.error;
  t.retests += u.retests;
  t.stopped += u.stopped;
  t.stationSeconds += u.stationSeconds;
  wallSeconds += o.wallSeconds;
  if (!o.firstStarted.empty() && (firstStarted.empty() || o.firstStarted < firstStarted)) firstStarted = o.firstStarted;
  if (o.lastEnded > lastEnded) lastEnded = o.lastEnded;
}

vorn_host::Tally TallySums::finished() const {
  vorn_host::Tally t = tally;
  const std::optional<int64_t> a = EpochSeconds(firstStarted), b = EpochSeconds(lastEnded);
  t.hoursSinceFirst = a && b && *b > *a ? static_cast<double>(*b - *a) / 3600.0 : 0.0;
  return t;
}

void Rollup::add(const AttemptFacts &a, const std::map<int64_t, BinFrame> &frames) {
  const std::string first = a.firstStarted.empty() ? a.started : a.firstStarted;
  const std::string day = Day(first);
  hours[Hour(first)].add(a.prior, a.verdict, a.seconds, a.waitedMs, a.started);
  for (const AttemptFacts::Step &s : a.steps) {
    if (s.verdict != "NOT RUN") steps[{day, s.planStep}].add(s.seconds, s.waitedMs, s.verdict == "ERROR");
  }
  for (const AttemptFacts::Result &r : a.results) {
    const auto frame = frames.find(r.measurement);
    MeasureSums &m = measurements[{day, r.measurement}];
    if (frame != frames.end()) {
      m.add(r.value, r.passed, frame->second);
    } else {
      m.fails += r.passed ? 0 : 1;
    }
  }
  std::vector<SlowAttempt> &slow = slowest[day];
  slow.push_back({a.id, std::max(a.seconds, static_cast<double>(a.waitedMs) / 1000.0)});
  std::sort(slow.begin(), slow.end(), SlowerFirst);
  if (slow.size() > static_cast<std::size_t>(kSlowest)) slow.resize(kSlowest);
}

}  // namespace vorn_results

namespace vorn_results {

bool FillFacts(Database &db, std::vector<AttemptFacts> &attempts, std::string &error) {
  constexpr std::size_t kBatch = 200;
  std::map<int64_t, AttemptFacts *> byId;
  for (AttemptFacts &a : attempts) byId[a.id] = &a;
  for (std::size_t first = 0; first < attempts.size(); first += kBatch) {
    std::vector<Value> ids;
    std::string in;
    for (std::size_t i = first; i < std::min(attempts.size(), first + kBatch); ++i) {
      ids.push_back(std::to_string(attempts[i].id));
      in += (in.empty() ? "$" : ", $") + std::to_string(ids.size());
    }
    const auto attempt = [&](const Value &v) { return byId.at(std::stoll(v.value_or("0"))); };
    const bool ok =
        db.query(
            "SELECT attempt_id, plan_step_id, verdict, seconds, waited_ms FROM run_step WHERE attempt_id IN (" + in +
                ")",
            ids,
            [&](const Row &r) {
              attempt(r[0])->steps.push_back({std::stoll(r[1].value_or("0")), r[2].value_or(""),
                                              ParseNumber(r[3]).value_or(0.0),
                                              static_cast<uint64_t>(std::stoll(r[4].value_or("0")))});
              return true;
            },
            error) &&
        db.query(
            "SELECT attempt_id, measurement_id, value, passed FROM run_result WHERE attempt_id IN (" + in + ")", ids,
            [&](const Row &r) {
              attempt(r[0])->results.push_back(
                  {std::stoll(r[1].value_or("0")), ParseNumber(r[2]), r[3].value_or("1") != "0"});
              return true;
            },
            error);
    if (!ok) return false;
  }
  return true;
}

AttemptFacts AttemptOfRow(const Row &r) {
  AttemptFacts a;
  a.id = std::stoll(r[0].value_or("0"));
  a.prior = r[1].value_or("none");
  a.verdict = r[2].value_or("");
  a.started = r[3].value_or("");
  a.seconds = ParseNumber(r[4]).value_or(0.0);
  a.waitedMs = static_cast<uint64_t>(std::stoll(r[5].value_or("0")));
  a.firstStarted = r[6].value_or(a.started);
  return a;
}

bool ReadAttempts(Database &db, const std::string &condition, const std::vector<Value> &params,
                  std::vector<AttemptFacts> &attempts, std::vector<std::string> &sessions, std::string &error) {
  attempts.clear();
  sessions.clear();
  const bool ok = db.query(
      std::string("SELECT ") + kAttemptColumns + ", u.session_id FROM unit u WHERE " + condition, params,
      [&](const Row &r) {
        attempts.push_back(AttemptOfRow(r));
        sessions.push_back(r[kAttemptColumnCount].value_or(""));
        return true;
      },
      error);
  return ok && FillFacts(db, attempts, error);
}

bool ReadFrames(Database &db, std::map<int64_t, BinFrame> &frames, std::string &error) {
  return db.query(
      "SELECT id, bin_first, bin_width FROM measurement WHERE bin_width IS NOT NULL", {},
      [&](const Row &r) {
        frames[std::stoll(r[0].value_or("0"))] = {ParseNumber(r[1]).value_or(0.0), ParseNumber(r[2]).value_or(1.0)};
        return true;
      },
      error);
}

}  // namespace vorn_results
