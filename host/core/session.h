// A session: the plan run once for each unit, a new phone in the fixture each
// time, each attempt's record published on the bus as it ends. A single run
// of the plan is a session of one unit without a serial.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/bus.h"
#include "core/equipment.h"
#include "core/record.h"
#include "core/run.h"
#include "core/settings.h"
#include "core/tally.h"

namespace vorn_host {

// A serial is 1 to 64 printable ASCII characters without blanks. Empty when
// it is one, else what is wrong with it.
std::string SerialProblem(const std::string &serial);

// A unit to test, with what its source knows of it.
struct UnitOrder {
  std::string serial;
  // An attempt at a unit tested before (a rescanned serial, a retest its
  // source decided): the unit's id, the attempt's number and where the unit
  // stood; empty: a new unit.
  std::string unitId;
  int index = 0;  // the unit's place in the session; 0: the next one
  int attempt = 1;
  Prior prior = Prior::kNone;
  bool retest = true;        // the session retests it while it fails; false: its source decides
  std::string operatorName;  // who tests it, when the source knows better than the session
  // On a station of several sockets: the socket it goes to (a scan in that
  // socket's panel), or, as the source is asked, the socket that is free.
  std::string socket;
};

// Whether a unit's attempt that ended so is tested again: it did not pass,
// it was not stopped, and it has attempts left (its first plus retests).
bool Retested(const UnitRecord &attempt, int firstAttempt, int retests);

// What the operator is told to do after an attempt's verdict, in the words
// of the station's settings ([NextAction]); nothing after a PASS.
enum class NextStep {
  kNone,
  kRetest,     // a FAIL with retests left
  kRepair,     // a FAIL on the last attempt allowed (1 + retest)
  kPhoneLink,  // an ERROR of a phone step: MobInit, MakeCall, MobReset, MobClose
  kEquipment,  // an ERROR of the tester or the supply
  kStopped,    // stopped before its verdict
};
NextStep NextStepOf(const UnitRecord &attempt, int retest);
const char *NextStepName(NextStep step);  // "retest", "repair", "phoneLink", "equipment", "stopped"; "" for none
const std::string &NextStepText(const NextActions &actions, NextStep step);  // empty for none

// A serial's last attempt, as the records know it.
struct LastAttempt {
  std::string unitId;
  int index = 0;  // the unit's place in this session; 0: an earlier session's
  int attempt = 1;
  Prior prior = Prior::kNone;
  Verdict verdict = Verdict::kNotRun;  // NOT RUN: stopped before its verdict
  std::string started;                 // UTC, ISO 8601
};

// What the records of earlier sessions know of a serial: the results output
// offers it (outputs/output.h).
class SerialHistory {
 public:
  virtual ~SerialHistory() = default;
  // The serial's latest attempt that started at since (UTC, ISO 8601) or
  // later, if any; false, with the reason, when the records cannot be read.
  virtual bool latest(const std::string &serial, const std::string &since, std::optional<LastAttempt> &last,
                      std::string &error) = 0;
};

// What a scan of a serial comes to.
struct ScanDecision {
  enum class Kind {
    kTest,     // test the order
    kConfirm,  // test the order once the operator confirms (it passed today)
    kRefused,  // not tested
  };
  Kind kind = Kind::kTest;
  UnitOrder order;
  std::string message;  // kConfirm: the question; kRefused: why, naming the serial
  bool repair = false;  // kRefused: it failed its last attempt allowed
  std::string note;     // for the operator beside a test: the records could not be read
};

// A scan refused before anything is looked up: a serial that is not one, or
// one that does not match the station's serial pattern. The reason, naming
// the serial, or empty.
std::string ScanProblem(const std::string &serial, const StationSettings *settings);

// How a scanned serial becomes a unit: the serial pattern, a serial being
// tested now, this session's attempts and, through the results, today's
// earlier ones (today: the UTC day, as vorn-results summary counts days).
// A serial that failed is the next attempt of its unit while it has retests
// left, and refused past them (the repair tray); one that ERRORed is its next
// attempt; one stopped before its verdict is the same attempt again; one
// that passed today is tested again only once the operator confirms (when
// the settings ask for it). Subscribes to the session's bus; asked from any
// thread.
class Scans : public Subscriber {
 public:
  // Hears the session's attempts on bus.
  Scans(const StationSettings &settings, int retest, SerialHistory *earlier, Bus &bus)
      : settings_(settings), retest_(retest), earlier_(earlier) {
    bus.subscribe(*this);
  }
  // confirmedPass: the operator said yes to testing again a serial that passed today.
  ScanDecision decide(const std::string &serial, const std::string &operatorName, bool confirmedPass = false);
  const StationSettings &settings() const { return settings_; }

  void attemptStarted(const AttemptStart &start) override;
  Delivery attemptFinished(const UnitRecord &unit) override;

 private:
  const StationSettings &settings_;
  int retest_;
  SerialHistory *earlier_;
  std::mutex mutex_;
  std::map<std::string, LastAttempt> seen_;     // this session's, by serial
  std::map<std::string, std::string> running_;  // serial, its socket
};

// A session's tally (core/tally.h), which knows the units it has counted. A
// unit rescanned from an earlier session of the day is no unit of this one:
// its attempts here are counted as attempts and retests, and move no verdict
// this session never counted; one that was stopped there, before any
// verdict, is a new unit here. (The day's count, vorn-results summary, has
// it on the day of its first attempt.)
class SessionTally {
 public:
  void add(const UnitRecord &attempt);
  // The unit has no attempt to come in this session: its id is not kept.
  void forget(const std::string &unit);
  Tally tally;

 private:
  std::set<std::string> counted_;  // units whose attempts this tally counts by the rules of core/tally.h
  std::set<std::string> earlier_;  // units with a verdict from an earlier session
};

// Where a session's units come from.
class UnitSource {
 public:
  virtual ~UnitSource() = default;
  // The next unit's serial; false when the session has no more units.
  virtual bool next(std::string &serial) = 0;
  // The next unit, with what the source knows of it; by default a new unit.
  virtual bool nextOrder(UnitOrder &order) {
    order = UnitOrder();
    return next(order.serial);
  }
  // A source whose serials are scanned by the operator (the terminal's
  // prompt, the page) takes them through the station's rules; the others
  // (--units, --serials) are not asked about.
  virtual void consult(Scans &) {}
  // Its units come as the operator scans them: the operator's pace, not the
  // station's clock, decides when a socket is free.
  virtual bool scanned() const { return false; }
};

// The single run's one unit, without a serial.
class SingleUnit : public UnitSource {
 public:
  bool next(std::string &serial) override;

 private:
  bool given_ = false;
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
// end of input or a stop request ends the session. With the station's rules
// (consult): a serial off the pattern or past its retests is refused and
// asked for again, one that passed today is tested only when the operator
// answers yes, and a rescanned serial is its unit's next attempt.
class PromptedUnits : public UnitSource {
 public:
  // Asks question and reads one line of answer: false at the end of the input.
  using Ask = std::function<bool(const std::string &question, std::string &answer)>;
  PromptedUnits(Ask ask, std::FILE *messages) : ask_(std::move(ask)), messages_(messages) {}
  PromptedUnits(Equipment &equipment, std::FILE *messages)
      : PromptedUnits([&equipment](const std::string &q, std::string &a) { return equipment.askOperator(q, a); },
                      messages) {}
  bool next(std::string &serial) override;
  // On a station of several sockets, asks for the unit of the socket named.
  bool nextOrder(UnitOrder &order) override;
  void consult(Scans &scans) override { scans_ = &scans; }
  bool scanned() const override { return true; }

 private:
  // Whether the operator answers yes to the question; false at the end of input.
  bool confirmed(const std::string &question);

  Ask ask_;
  std::FILE *messages_;
  int asked_ = 0;
  std::string socket_;
  Scans *scans_ = nullptr;
};

struct SessionOptions {
  RunOptions run;  // keepGoing, the equipment and the stop requests
  int retest = 0;  // more attempts for a unit that did not pass
  std::string operatorName;
  // Answers the equipment's prompts (the page's OK); none, or an answer of
  // nothing, leaves them to the equipment's own way of asking.
  std::function<std::optional<bool>(const std::string &text)> answerPrompt;
  // True while the station has stopped itself (core/gate.h): a unit that
  // failed is not retested then.
  std::function<bool()> held;
};

struct SessionResult {
  Tally tally;
  bool stopped = false;                    // by the operator
  bool recordLost = false;                 // an output lost a record: the session ended there
  Verdict lastVerdict = Verdict::kNotRun;  // of the last attempt: a single run's
};

// Runs the session to its end, a stop or a lost record. The session's record
// is given its end time when it ends.
SessionResult RunSession(const Plan &plan, const std::vector<StepFunction> &functions,
                         const std::shared_ptr<SessionRecord> &session, UnitSource &units, Bus &bus,
                         const SessionOptions &options);

}  // namespace vorn_host
