// The records a production session makes, as plain data. The loop fills them;
// every output (the terminal table, the JSON Lines, the results database, the
// reports, the operator screen) is a subscriber handed the finished records.
#pragma once

#include <string>

#include "core/run.h"

namespace vorn_host {

// What stays the same for every unit of one session.
struct SessionInfo {
  std::string id;          // a UUID made by the host
  std::string station;     // --station, or the machine's name
  std::string host;        // the machine's name
  std::string library;     // the library file loaded
  std::string version;     // the library's version text
  std::string plan;        // the plan file, as given
  std::string planSha256;  // of the plan file's bytes, lower-case hex
  std::string parameters;  // the parameter file, as given
  std::string parametersSha256;
  std::string operatorName;  // --operator, or empty
  bool simulated = true;     // the equipment libraries are the project's stand-ins
  std::string started;       // UTC, ISO 8601
  std::string ended;         // UTC, ISO 8601; empty while the session runs
};

// One attempt at one unit: the plan's run on one phone.
struct UnitRecord {
  std::string uuid;    // made by the host, unique over every station
  std::string serial;  // the phone's serial number
  int unit = 0;        // its index in the session, from 1
  int attempt = 1;     // from 1; a retest is attempt 2, 3, ...
  RunRecord run;       // started, duration, verdict, and every step

  bool firstAttempt() const { return attempt == 1; }
};

// A subscriber to a session's records. A failing output says so in error and
// returns false; the session and the other outputs go on.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  virtual bool sessionStarted(const SessionInfo &, std::string & /*error*/) { return true; }
  virtual bool attemptFinished(const SessionInfo &session, const UnitRecord &unit, std::string &error) = 0;
  virtual bool sessionEnded(const SessionInfo &, std::string & /*error*/) { return true; }
};

}  // namespace vorn_host
