// The station's health as records, beside the units': a verification with
// the golden unit, a calibration of the fixture's path loss, a process alarm,
// the station stopping itself and a technician's acknowledgement. Each is
// published on the bus (core/bus.h) like a unit's record and kept by the
// outputs that keep records (the console says it, the database stores it).
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace vorn_host {

// One line of the fixture's path-loss table as the golden unit read it.
struct VerificationLine {
  std::string key;  // the [Attenuation] key, "DCS1800_Low_CH"
  double frequencyMhz = 0.0;
  double reference = 0.0;  // the golden unit's burst power there, dBm
  std::optional<double> reading;
  std::optional<double> deviation;  // reading less reference, dB
  bool passed = false;              // read, and within the tolerance
};

struct VerificationRecord {
  std::string uuid;
  std::string station;
  std::string at;  // UTC, ISO 8601
  std::string operatorName;
  std::string golden;      // the golden unit's serial
  std::string goldenFile;  // as given
  std::string sessionId;
  std::string unitUuid;     // the attempt that read the lines
  std::string calibration;  // the calibration this verification follows, or empty
  double tolerance = 0.0;
  std::vector<VerificationLine> lines;
  std::optional<double> worst;  // the deviation furthest from 0
  bool passed = false;
};

struct CalibrationLine {
  std::string key;
  double frequencyMhz = 0.0;
  double reference = 0.0;
  std::optional<double> reading;
  std::optional<double> oldValue;  // the path loss before, dB
  std::optional<double> newValue;  // and after: old + reference - reading where corrected, else old
  bool corrected = false;          // the line was outside the tolerance
};

struct CalibrationRecord {
  std::string uuid;
  std::string station;
  std::string at;
  std::string operatorName;
  std::string golden;
  std::string goldenFile;
  std::string sessionId;
  std::string unitUuid;
  std::string parameters;  // the parameter file rewritten
  std::string backup;      // the old file kept; empty when nothing was written
  bool written = false;    // false: refused, or every line was within the tolerance
  std::string refused;     // why nothing was written, or empty
  std::vector<CalibrationLine> lines;
};

// A Western Electric rule a limited measurement broke.
struct AlarmRecord {
  std::string uuid;
  std::string station;
  std::string at;
  std::string sessionId;
  std::string unitUuid;  // the attempt whose value broke it
  std::string serial;
  std::string measurement;  // in words: "Burst power, DCS 1800 ch 698 PCL 5"
  std::string rule;         // "8 in a row on one side of the centre"
  double value = 0.0;
  double centre = 0.0;
  double sigma = 0.0;
  std::string text;  // the whole alarm for the operator
};

// The station stopped itself.
struct LockRecord {
  std::string uuid;
  std::string station;
  std::string at;
  std::string sessionId;
  std::string reason;  // "3 failures in a row on burst power (DCS 1800)"
  std::string action;  // "Call the technician"

  // "Station stopped: 3 failures in a row on burst power (DCS 1800). Call the technician"
  std::string text() const;
};

struct AcknowledgementRecord {
  std::string uuid;
  std::string lockUuid;
  std::string station;
  std::string at;
  std::string by;   // who acknowledged: the name given, or where
  std::string via;  // "terminal", "page", "second terminal"
};

// What the page's header says of the last verification.
struct HealthSummary {
  std::string at;
  std::string golden;
  bool passed = false;
  std::optional<double> worst;
  bool unchecked = false;  // the session started with --no-health-check
};

// ---- time -----------------------------------------------------------------

// "2024-05-01T08:30:00Z" as seconds since 1970; none for any other text.
std::optional<std::time_t> UtcSeconds(const std::string &iso);
// "2 h ago", "35 min ago", "3 days ago".
std::string AgeText(double seconds);

}  // namespace vorn_host
