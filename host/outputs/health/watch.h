// The live watch over a production session: process alarms from each
// limited measurement's values by the Western Electric rules
// (plots/rules.h), and the station's stop after failures in a row or a
// first-pass yield that fell too low. Plain data in, records out: the health
// output publishes what it gives.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/health.h"
#include "core/record.h"

namespace vorn_host {

// A measurement of the plan: its step's place in the plan (from 0) and its entry.
using MeasurementKey = std::pair<int, int>;

struct Baseline {
  int64_t count = 0;  // the values it was made of
  double centre = 0.0;
  double sigma = 0.0;
};
using Baselines = std::map<MeasurementKey, Baseline>;

// The values a baseline needs: the station's history, or else the session's first.
inline constexpr int64_t kBaselineValues = 25;
// The units over which the first-pass yield that stops the station is taken.
inline constexpr std::size_t kYieldWindow = 20;

struct WatchSettings {
  int lockAfterFailures = 0;    // FAIL or ERROR verdicts in a row that stop the station; 0: never
  double lockYieldBelow = 0.0;  // percent; 0: never
  std::string action;           // what the operator is told to do: "Call the technician"
};

class ProcessWatch {
 public:
  // history: the station's baselines (those of fewer than kBaselineValues values are not used).
  ProcessWatch(Baselines history, WatchSettings settings);

  // The rules the attempt's values start to break, one alarm each.
  std::vector<AlarmRecord> alarms(const UnitRecord &attempt);
  // The stop the attempt brings, if any; the counts start again after one.
  std::optional<LockRecord> stop(const UnitRecord &attempt);

 private:
  struct Series {
    std::vector<double> values;  // the latest, oldest first
    std::optional<Baseline> baseline;
  };

  // The value added to its measurement's series: the baseline it is judged
  // by, or none while the session's first values make the baseline.
  std::optional<Baseline> judged(const MeasurementKey &key, double value);

  Baselines history_;
  WatchSettings settings_;
  std::map<MeasurementKey, Series> series_;
  std::vector<std::string> failures_;  // what each failure in a row failed on
  std::deque<bool> firstPasses_;       // the latest units' first attempts: passed
};

// What an attempt failed on, in a few words: "burst power (DCS 1800)",
// "tester initialisation (ERROR)".
std::string FailedOn(const RunRecord &run);

}  // namespace vorn_host
