#include "outputs/health/watch.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "core/catalogue.h"
#include "os/os.h"
#include "plots/plots.h"
#include "plots/rules.h"

namespace vorn_host {

namespace {

// The points the rules look back over, and one more for the point before.
constexpr std::size_t kKept = 9;

bool Watched(const EntryResult &e) {
  // A limit of one value is a flag or a code (1 = done): nothing drifts.
  return e.limit && e.value && std::isfinite(*e.value) &&
         !(e.limit->low && e.limit->high && *e.limit->low == *e.limit->high);
}

std::string Lower(std::string text) {
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
  return text;
}

Baseline BaselineOf(const std::vector<double> &values) {
  vorn_plots::Moments m;
  m.shift = values.front();
  for (double v : values) m.add(v);
  const vorn_plots::Capability c = vorn_plots::Capabilities(m, std::nullopt, std::nullopt);
  return {m.count, c.mean, c.sd};
}

}  // namespace

std::string FailedOn(const RunRecord &run) {
  const std::vector<std::optional<Setting>> settings = Settings(run);
  for (std::size_t i = 0; i < run.steps.size(); ++i) {
    const StepRecord &s = run.steps[i];
    if (s.verdict == Verdict::kError) return Lower(StepTitle(s.step.shortName())) + " (ERROR)";
    if (s.verdict != Verdict::kFail) continue;
    for (const EntryResult &e : s.entries) {
      if (e.passed) continue;
      const std::optional<Measurement> m = MeasurementOf(s.step.shortName(), e.entry, e.name);
      const std::string what = m ? m->name : Lower(StepTitle(s.step.shortName())) + " entry " + std::to_string(e.entry);
      return settings[i] ? what + " (" + settings[i]->band + ")" : what;
    }
  }
  return "the run";
}

ProcessWatch::ProcessWatch(Baselines history, WatchSettings settings)
    : history_(std::move(history)), settings_(std::move(settings)) {}

namespace {

AlarmRecord AlarmOf(const UnitRecord &u, const StepRecord &step, const EntryResult &e,
                    const std::optional<Setting> &setting, const Baseline &baseline, const vorn_plots::RuleBreach &b) {
  const std::optional<Measurement> m = MeasurementOf(step.step.shortName(), e.entry, e.name);
  AlarmRecord a;
  a.uuid = NewUuid();
  a.station = u.session ? u.session->station : "";
  a.at = UtcNow();
  a.sessionId = u.session ? u.session->id : "";
  a.unitUuid = u.uuid;
  a.serial = u.serial;
  a.measurement =
      m ? MeasurementLabel(*m, setting) : StepTitle(step.step.shortName()) + " entry " + std::to_string(e.entry);
  a.rule = vorn_plots::ControlRuleText(b.rule);
  a.value = *e.value;
  a.centre = baseline.centre;
  a.sigma = baseline.sigma;
  const std::string unit = m && !m->unit.empty() ? " " + m->unit : "";
  a.text = ": " + a.rule + " (" + (b.side > 0 ? "above" : "below") + "; centre " + vorn_plots::Number(a.centre, 2) +
           unit + ", sigma " + vorn_plots::Number(a.sigma, 3) + "; unit " + u.serial + " read " +
           vorn_plots::Number(a.value, 2) + unit + ")";
  return a;
}

}  // namespace

std::optional<Baseline> ProcessWatch::judged(const MeasurementKey &key, double value) {
  Series &s = series_[key];
  if (!s.baseline) {
    const auto h = history_.find(key);
    if (h != history_.end() && h->second.count >= kBaselineValues) s.baseline = h->second;
  }
  s.values.push_back(value);
  if (!s.baseline) {
    if (static_cast<int64_t>(s.values.size()) >= kBaselineValues) s.baseline = BaselineOf(s.values);
    return std::nullopt;  // the session's first values are the baseline, not judged by it
  }
  if (s.values.size() > kKept) s.values.erase(s.values.begin(), s.values.end() - kKept);
  return s.baseline;
}

std::vector<AlarmRecord> ProcessWatch::alarms(const UnitRecord &u) {
  std::vector<AlarmRecord> raised;
  const std::vector<std::optional<Setting>> settings = Settings(u.run);
  for (std::size_t i = 0; i < u.run.steps.size(); ++i) {
    const StepRecord &step = u.run.steps[i];
    // One alarm per rule and side of a step: the measurements of one step
    // (a spectrum's offsets) move together.
    std::map<std::pair<vorn_plots::ControlRule, int>, std::pair<AlarmRecord, int>> byRule;
    for (const EntryResult &e : step.entries) {
      if (!Watched(e)) continue;
      std::optional<Baseline> baseline = judged({static_cast<int>(i), e.entry}, *e.value);
      // A value outside its limit is the unit's FAIL, said by its verdict.
      if (!baseline || !e.passed) continue;
      // A level or quality index moves in whole steps: a spread of less than
      // one step is no spread to judge it by.
      const std::optional<Measurement> m = MeasurementOf(step.step.shortName(), e.entry, e.name);
      if (m && m->kind == MeasurementKind::kValue && m->unit.empty() && m->decimals == 0) {
        baseline->sigma = std::max(baseline->sigma, 1.0);
      }
      const Series &s = series_[{static_cast<int>(i), e.entry}];
      for (const vorn_plots::RuleBreach &b : vorn_plots::NewlyBroken(s.values, baseline->centre, baseline->sigma)) {
        auto &[alarm, count] = byRule[{b.rule, b.side}];
        if (count++ == 0) alarm = AlarmOf(u, step, e, settings[i], *baseline, b);
      }
    }
    for (auto &[rule, group] : byRule) {
      AlarmRecord &a = group.first;
      if (group.second > 1) a.measurement += " and " + std::to_string(group.second - 1) + " more of its step";
      a.text = "Process alarm: " + a.measurement + a.text;
      raised.push_back(a);
    }
  }
  return raised;
}

std::optional<LockRecord> ProcessWatch::stop(const UnitRecord &u) {
  const Verdict v = u.run.verdict;
  if (v == Verdict::kNotRun) return std::nullopt;
  std::string reason;
  if (v == Verdict::kPass) {
    failures_.clear();
  } else {
    failures_.push_back(FailedOn(u.run));
  }
  if (u.firstAttempt()) {
    firstPasses_.push_back(v == Verdict::kPass);
    if (firstPasses_.size() > kYieldWindow) firstPasses_.pop_front();
  }
  const int n = settings_.lockAfterFailures;
  if (n > 0 && static_cast<int>(failures_.size()) >= n) {
    reason = std::to_string(failures_.size()) + " failures in a row";
    bool same = true;
    for (const std::string &f : failures_) same = same && f == failures_.front();
    if (same) {
      reason += " on " + failures_.front();
    } else {
      for (std::size_t i = 0; i < failures_.size(); ++i) reason += (i == 0 ? ": " : ", ") + failures_[i];
    }
  }
  int passed = 0;
  for (const bool p : firstPasses_) passed += p ? 1 : 0;
  const double yield = 100.0 * passed / static_cast<double>(kYieldWindow);
  if (reason.empty() && settings_.lockYieldBelow > 0 && firstPasses_.size() == kYieldWindow &&
      yield < settings_.lockYieldBelow) {
    reason = "first-pass yield " + vorn_plots::Number(yield, 1) + " % over the last " + std::to_string(kYieldWindow) +
             " units, below " + vorn_plots::Number(settings_.lockYieldBelow, 1) + " %";
  }
  if (reason.empty()) return std::nullopt;
  failures_.clear();
  firstPasses_.clear();
  LockRecord lock;
  lock.uuid = NewUuid();
  lock.station = u.session ? u.session->station : "";
  lock.at = UtcNow();
  lock.sessionId = u.session ? u.session->id : "";
  lock.reason = reason;
  lock.action = settings_.action;
  return lock;
}

}  // namespace vorn_host
