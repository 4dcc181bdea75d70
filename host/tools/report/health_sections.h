// The station's health on the line report: the verifications with the
// golden unit (each line's deviation, over time), the calibrations with the
// old and new path loss, and the process alarms and stops of the period.
#pragma once

#include <string>
#include <vector>

#include "tools/report/source.h"

namespace vorn_reports {

struct VerificationRow {
  std::string at, station, golden, verdict;
  double tolerance = 0.0;
  std::optional<double> worst;
  std::vector<std::pair<std::string, std::optional<double>>> deviations;  // by key, in the table's order
};

struct CalibrationRow {
  std::string at, station, golden, parameters, backup, refused;
  bool written = false;
  struct Line {
    std::string key;
    double frequencyMhz = 0.0;
    std::optional<double> oldValue, newValue;
    bool corrected = false;
  };
  std::vector<Line> lines;
};

struct EventRow {
  std::string at, station, what, detail;  // an alarm: measurement and rule; a stop: reason and its acknowledgement
};

struct HealthHistory {
  std::vector<VerificationRow> verifications;  // oldest first
  std::vector<CalibrationRow> calibrations;
  std::vector<EventRow> alarms;
  std::vector<EventRow> stops;
};

// The health records of the filter's period and station (its plan does not
// bear on them), at most kListedFailures of each kind, the latest.
bool ReadHealthHistory(const Source &source, const LineFilter &filter, HealthHistory &history, std::string &error);
// The report's health section, as HTML under its heading (the page gives it).
std::string HealthSections(const HealthHistory &history);

}  // namespace vorn_reports
