// The records a station run makes, as plain data: a session, and one record
// per attempt at a unit that says everything about itself. The run loop fills
// them; every output (the console, the JSON, the results database, the
// operator's page) is a subscriber handed the finished records (core/bus.h).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/plan.h"

namespace vorn_host {

enum class Verdict { kPass, kFail, kError, kNotRun };
const char *VerdictText(Verdict verdict);  // "PASS", "FAIL", "ERROR", "NOT RUN"
std::optional<Verdict> VerdictOf(const std::string &text);

// What a session's units are for. Only production units count in the yield
// and the line report by default.
enum class SessionMode {
  kProduction,
  kEngineering,   // an engineer's trials on the line: marked, left out of the yield
  kVerification,  // the golden unit read against its references (--verify)
  kCalibration,   // the golden unit's run that corrects the path loss (--calibrate)
};
// "production", "engineering", "verification", "calibration"
const char *ModeText(SessionMode mode);
std::optional<SessionMode> ModeOf(const std::string &text);

// One test socket of a station of several, with its own fixture.
struct SocketRecord {
  std::string name;
  std::string parameters;  // its parameter file
  std::string parametersSha256;
};

// What stays the same for every unit of one session.
struct SessionRecord {
  std::string id;          // a UUID made by the host
  std::string station;     // --station, or the machine's name
  std::string host;        // the machine's name
  std::string library;     // the library file loaded
  std::string version;     // the library's version text
  std::string plan;        // the plan file, as given
  std::string planSha256;  // of the plan file's bytes, lower-case hex
  std::string parameters;  // the parameter file, as given
  std::string parametersSha256;
  std::string operatorName;            // who started the session (--operator), or empty
  bool simulated = true;               // the equipment libraries are the project's stand-ins
  bool virtualClock = false;           // --fast: the station's waits on the virtual clock
  std::vector<std::string> scenarios;  // the simulated station's named scenarios
  std::vector<std::string> faults;     // the fault script, as applied
  // Faults were injected (--fault, or a scenario that breaks the station):
  // the units show what a fault looks like, not what the line makes.
  bool faultInjected = false;
  SessionMode mode = SessionMode::kProduction;
  // Started with --no-health-check: the station's verification was not
  // looked at, so its units may have been read through a fixture nobody checked.
  bool healthCheckSkipped = false;
  bool single = false;  // a single run of the plan, not a production session
  // A station of several sockets: each socket and its parameter file (the
  // session's own parameters are then the sockets file, or the one file all share).
  std::vector<SocketRecord> sockets;
  std::string started;  // UTC, ISO 8601
  std::string ended;    // UTC, ISO 8601; empty while the session runs

  // Whether its units count in the line's yield by default.
  bool counted() const { return !faultInjected && mode == SessionMode::kProduction; }
};

// One result entry a step wrote (a value, a name or both), with its limit.
struct EntryResult {
  int entry = 0;
  std::optional<double> value;
  std::optional<std::string> name;
  std::optional<Limit> limit;
  bool passed = true;  // within its limit, or no limit
};

struct StepRecord {
  PlanStep step;
  Verdict verdict = Verdict::kNotRun;
  int32_t returned = 0;
  // ERROR: the step's failure text, or what the host found wrong with the call.
  std::string text;
  // FAIL: one line per limit missed.
  std::vector<std::string> misses;
  double seconds = 0.0;   // wall time of the call
  uint64_t waitedMs = 0;  // the station's waits during the call
  std::vector<EntryResult> entries;
};

// The plan's run on one phone.
struct RunRecord {
  std::vector<StepRecord> steps;
  Verdict verdict = Verdict::kNotRun;
  std::string started;  // UTC, ISO 8601
  double seconds = 0.0;
  uint64_t waitedMs = 0;
  // The operator stopped the run: the steps after the running one were not
  // run (the cleanup steps still were, unless stopped a second time). Such a
  // run is NOT RUN unless a step had already failed.
  bool stopped = false;

  // 0 only when every step and every limit passed.
  int exitStatus() const { return verdict == Verdict::kPass ? 0 : 1; }
  int count(Verdict verdict) const;
  // The time the unit took on the station: its wall time, or the station's
  // waits when they are longer (on the virtual clock a wait takes no wall time).
  double stationSeconds() const;
};

// Where a unit stood before this attempt: it decides how the attempt counts.
enum class Prior {
  kNone,     // a new unit
  kStopped,  // every attempt so far was stopped before its verdict
  kPass,     // the unit's last verdict
  kFail,
  kError,
};
Prior PriorOf(Verdict verdict);
const char *PriorText(Prior prior);  // "none", "stopped", "PASS", "FAIL", "ERROR"
std::optional<Prior> PriorOf(const std::string &text);

// One attempt at one unit, self-describing: its session rides along.
struct UnitRecord {
  std::shared_ptr<const SessionRecord> session;
  std::string uuid;    // the attempt's, made by the host, unique over every station
  std::string unitId;  // the unit's: the same for every attempt at it
  std::string serial;  // the phone's serial number; empty in a single run
  int index = 0;       // the unit's place in its session, from 1
  int attempt = 1;     // from 1; a retest is attempt 2, 3, ...
  Prior prior = Prior::kNone;
  std::string socket;        // the test socket that tested it; empty on a one-socket station
  std::string operatorName;  // who tested it
  RunRecord run;

  bool firstAttempt() const { return attempt == 1; }
};

// A UUID, version 4, from the system's random source.
std::string NewUuid();

}  // namespace vorn_host
