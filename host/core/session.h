// A session: the plan run once for each unit, a new phone in the fixture each
// time, each attempt's record published on the bus as it ends. A single run
// of the plan is a session of one unit without a serial.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/bus.h"
#include "core/equipment.h"
#include "core/record.h"
#include "core/run.h"
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
// end of input or a stop request ends the session.
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

 private:
  Ask ask_;
  std::FILE *messages_;
  int asked_ = 0;
  std::string socket_;
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
