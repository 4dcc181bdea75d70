// What the report pages show, read from the results database: plain data,
// with the statistics computed by the database (aggregates and binned
// counts), never by loading every row.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/tally.h"
#include "outputs/results/store.h"
#include "plots/plots.h"
#include "tools/common/filter.h"
#include "tools/common/tally_source.h"

namespace vorn_reports {

// The results database the pages are read from.
struct Source {
  vorn_results::Store &store;
  // The sessions read so far: a line's failing attempts share few.
  mutable std::map<std::string, vorn_host::SessionRecord> sessions;

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
  std::string operatorName;  // the attempt's, or its session's
  bool simulated = false;    // on the simulated station
  bool stopped = false;
  int attempt = 0, attempts = 0;  // this one, and how many its unit has
  double seconds = 0;             // wall time
  double waitedSeconds = 0;       // the station's waits on its equipment
  std::vector<vorn_results::StepRow> steps;
  vorn_host::UnitRecord record;  // the same as its record, for the catalogue's words
};

// The serial's attempt (its latest when attempt is 0); false with a message
// in error when there is none or the database cannot answer.
bool ReadUnit(const Source &source, const std::string &serial, int attempt, UnitView &unit, std::string &error);
// The attempt of that UUID.
bool ReadAttempt(const Source &source, const std::string &uuid, UnitView &unit, std::string &error);

// ---- a line of units --------------------------------------------------------

// A limited measurement: a plan line's entry with its limits.
struct Measurement {
  int planLine = 0, entry = 0;
  std::string exportName, name;  // name: a result name seen, or ""
  std::optional<double> low, high;
  std::string words;  // "Burst power, E-GSM 900 ch 20 PCL 5", from the catalogue
  std::string unit;   // "dBm", or "" for an index, a flag or a code
  std::string axis;   // its values' axis: "burst power (dBm)"
  vorn_plots::Moments moments;
  int64_t failed = 0;
  vorn_plots::Histogram histogram;  // the rollups' bins, fixed against the limits
  vorn_plots::ControlChart chart;   // mean and sd of all values, the latest points
};

struct StationLine {
  std::string station;
  vorn_host::Tally tally;
};

struct FailureCount {
  int planLine = 0, entry = 0;  // entry 0: the step's ERROR
  std::string exportName, words;
  int64_t units = 0;
};

struct FailedUnit {
  std::string uuid, serial, started, station, operatorName, verdict;
  int attempt = 0;
  std::string why;  // the first measurement that failed, in words, or the ERROR's text
  int more = 0;     // further failed measurements
};

// A plan line's step: how often it ran, its errors, and its mean time: the
// station's (its wall time, or the waits when longer), the equipment's
// waits, the host's own.
struct StepTime {
  int planLine = 0;
  std::string exportName, title;
  int64_t runs = 0, errors = 0;
  double meanStation = 0, meanWaited = 0, meanOwn = 0;
};

struct HourUnits {
  std::string station, hour;  // "2024-05-01T10"
  int64_t units = 0;          // first tested in that hour
};

struct SlowUnit {
  std::string uuid, serial, station, started;
  int attempt = 0;
  double stationSeconds = 0, wallSeconds = 0;
};

struct LineView {
  LineFilter filter;
  vorn_host::Tally tally;
  Provenance provenance;
  std::string first, last;  // the first unit's start, the last unit's end
  std::vector<FailureCount> failures;
  std::vector<Measurement> measurements;
  std::vector<StepTime> stepTimes;
  std::vector<HourUnits> perHour;
  std::vector<StationLine> stations;
  std::vector<FailedUnit> failedUnits;  // the latest, newest first
  std::vector<SlowUnit> slowest;        // slowest first
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
