// A production session: the plan run once for each unit, a new phone in the
// fixture each time, each attempt's record handed to the outputs as it ends.
#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/equipment.h"
#include "os/os.h"
#include "core/record.h"
#include "outputs/console/report.h"
#include "core/run.h"

namespace vorn_host {

// A serial is 1 to 64 printable ASCII characters without blanks. Empty when
// it is one, else what is wrong with it.
std::string SerialProblem(const std::string &serial);

// Where a session's units come from.
class UnitSource {
 public:
  virtual ~UnitSource() = default;
  // The next unit's serial; false when the session has no more units.
  virtual bool next(std::string &serial) = 0;
};

// SIM-000001, SIM-000002, ... up to count.
class GeneratedUnits : public UnitSource {
 public:
  explicit GeneratedUnits(int count) : count_(count) {}
  bool next(std::string &serial) override;

 private:
  int count_;
  int made_ = 0;
};

// The serials of a file, one a line (blank lines are skipped). Every bad
// line adds a "file:line: problem" to problems; use it only when none did.
class SerialList : public UnitSource {
 public:
  SerialList(const std::string &path, std::vector<std::string> &problems);
  bool next(std::string &serial) override;

 private:
  std::vector<std::string> serials_;
  std::size_t next_ = 0;
};

// Asks the operator for each serial (a barcode scanner types like a
// keyboard); a serial that is not one is asked for again. An empty line, the
// end of input or a stop request ends the session.
class PromptedUnits : public UnitSource {
 public:
  PromptedUnits(Equipment &equipment, std::FILE *messages) : equipment_(equipment), messages_(messages) {}
  bool next(std::string &serial) override;

 private:
  Equipment &equipment_;
  std::FILE *messages_;
  int asked_ = 0;
};

// The counts of a session, attempt by attempt; a unit's verdict is its last
// attempt's, known once the next unit begins or finish() is called.
struct SessionTally {
  int units = 0;
  int pass = 0;
  int fail = 0;
  int error = 0;
  int stopped = 0;    // stopped before its plan ended, with nothing failed
  int firstPass = 0;  // passed at the first attempt
  int attempts = 0;
  double seconds = 0.0;  // of every attempt

  void add(const UnitRecord &attempt);
  void finish();
  // Over the units tested to the end of their plan.
  int tested() const { return pass + fail + error; }
  double firstPassYield() const;  // percent
  double meanUnitSeconds() const;
  // 0 when every unit tested passed.
  int exitStatus() const { return pass == tested() ? 0 : 1; }

 private:
  Verdict current_ = Verdict::kNotRun;
  bool open_ = false;
};

// "12 units: 11 PASS, 1 FAIL, 0 ERROR; first-pass yield 91.7%; mean unit time
// 15.11 s; 238 units/h" with units/h from the session's wall time.
std::string TallyLine(const SessionTally &tally, double elapsedSeconds);

struct SessionOptions {
  RunOptions run;  // keepGoing, the equipment and the stop requests
  int retest = 0;  // more attempts for a unit that did not pass
};

struct SessionResult {
  SessionTally tally;
  bool stopped = false;       // by the operator
  bool recordFailed = false;  // an output could not take a record
};

// Runs the session to its end, a stop or a failing output; after each unit a
// tally line goes to messages (when not null).
SessionResult RunSession(const Plan &plan, const std::vector<StepFunction> &functions, SessionInfo &info,
                         UnitSource &units, const std::vector<RecordSink *> &sinks, const SessionOptions &options,
                         Progress *progress, std::FILE *messages);

// A UUID, version 4, from the system's random source.
std::string NewUuid();

// The session's JSON Lines: one line per attempt, the run's record with
// "session", "uuid", "serial", "unit" and "attempt" added, appended whole.
class JsonLinesSink : public RecordSink {
 public:
  JsonLinesSink(AppendLog &log, RunSetting setting) : log_(log), setting_(std::move(setting)) {}
  bool attemptFinished(const SessionInfo &session, const UnitRecord &unit, std::string &error) override;

 private:
  AppendLog &log_;
  RunSetting setting_;
};

// The line of one attempt, as JsonLinesSink appends it.
std::string JsonLine(const RunSetting &setting, const SessionInfo &session, const UnitRecord &unit);

// The summary table at the session's end: its setting, the units that did not
// pass at the first attempt with the limits they missed, and the counts.
class SessionTable : public RecordSink {
 public:
  SessionTable(std::ostream &out, RunSetting setting) : out_(out), setting_(std::move(setting)) {}
  bool sessionStarted(const SessionInfo &session, std::string &error) override;
  bool attemptFinished(const SessionInfo &session, const UnitRecord &unit, std::string &error) override;
  bool sessionEnded(const SessionInfo &session, std::string &error) override;

 private:
  static constexpr std::size_t kListed = 200;  // attempts listed; the records hold them all

  std::ostream &out_;
  RunSetting setting_;
  SessionTally tally_;
  std::vector<std::string> notPassed_;
  std::size_t notListed_ = 0;
  bool stopped_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace vorn_host
