// What the report pages show, read from the results database: plain data,
// with the statistics computed by the database (aggregates and binned
// counts), never by loading every row.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plots/plots.h"
#include "outputs/results/store.h"

namespace vorn_reports {

using vorn_results::Row;
using vorn_results::RowHandler;
using vorn_results::Value;

// The results database the pages are read from.
struct Source {
  vorn_results::Store &store;

  bool postgres() const { return store.db().engine() == vorn_results::Engine::kPostgres; }  // the few differences
  bool query(const std::string &sql, const std::vector<Value> &params, const RowHandler &onRow,
             std::string &error) const {
    return store.db().query(sql, params, onRow, error);
  }
};

// ---- one unit attempt -----------------------------------------------------

// The attempt's steps and results as stored, with its session's station.
struct UnitView {
  std::string uuid, serial, verdict, started, station, host, plan, library, version;
  int attempt = 0, attempts = 0;  // this one, and how many the serial has
  double seconds = 0;
  std::vector<vorn_results::StepRow> steps;
};

// The attempt (the serial's latest when attempt is 0); false with a message
// in error when there is none or the database cannot answer.
bool ReadUnit(const Source &source, const std::string &serial, int attempt, UnitView &unit, std::string &error);

// ---- a line of units --------------------------------------------------------

struct LineFilter {
  std::string since, until, station, plan;  // empty: no bound
};

struct Measurement {
  int stepIndex = 0, planLine = 0, entry = 0;
  std::string exportName, name;  // name: a result name seen, or ""
  std::optional<double> low, high;
  vorn_plots::Moments moments;
  int64_t failed = 0;
  vorn_plots::Histogram histogram;
  vorn_plots::ControlChart chart;  // mean and sd of all values, the latest points
};

struct StationLine {
  std::string station;
  int64_t attempts = 0, firstAttempts = 0, firstPassed = 0;
};

struct FailureCount {
  int stepIndex = 0, planLine = 0, entry = 0;  // entry 0: the step's ERROR
  std::string exportName, name;
  int64_t units = 0;
};

struct FailedUnit {
  std::string serial, started, station;
  int attempt = 0;
};

struct StepTime {
  int stepIndex = 0, planLine = 0;
  std::string exportName;
  double meanSeconds = 0;
};

struct LineView {
  LineFilter filter;
  int64_t units = 0, attempts = 0, firstAttempts = 0, firstPassed = 0, finalPassed = 0;
  std::string first, last;  // started of the first and last attempt
  std::vector<FailureCount> failures;
  std::vector<Measurement> measurements;
  vorn_plots::Histogram testTime;
  vorn_plots::Moments testTimeMoments;
  std::vector<StepTime> stepTimes;
  std::vector<std::pair<std::string, int64_t>> perHour;  // "2024-05-01T10", attempts
  std::vector<StationLine> stations;
  std::vector<FailedUnit> failedUnits;  // the latest, newest first
  std::string healthHtml;               // the station's health sections (health_sections.h)
};

// Points of each control chart, and failing units listed, at most.
inline constexpr int kChartUnits = 500;
inline constexpr int kListedFailures = 100;

bool ReadLine(const Source &source, const LineFilter &filter, LineView &line, std::string &error);

// Station time of a step or unit: its wall time, or the station's waits when
// those are longer (a run on the virtual clock waits without wall time).
double StationSeconds(double seconds, int64_t waitedMs);

}  // namespace vorn_reports
