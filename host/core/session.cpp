#include "core/session.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <regex>

#include "os/os.h"
#include "os/text.h"

namespace vorn_host {

namespace {

constexpr std::size_t kLongestSerial = 64;
constexpr int kNamedBadLines = 20;  // of a serials file; the rest are counted

using Clock = std::chrono::steady_clock;

// What the outputs said of the last record, told to every output.
void TellNotes(Bus &bus) {
  const std::vector<Delivery> notes = bus.notes();
  for (const Delivery &note : notes) {
    if (!note.text.empty()) bus.noticed(note.text);
  }
}

// One session's loop: the unit in the fixture, its attempts, the tally.
class Loop {
 public:
  Loop(const Plan &plan, const std::vector<StepFunction> &functions, const std::shared_ptr<SessionRecord> &session,
       Bus &bus, const SessionOptions &options)
      : plan_(plan), functions_(functions), session_(session), bus_(bus), options_(options) {}

  int stops() const { return options_.run.stopRequests ? options_.run.stopRequests() : 0; }

  // Every attempt the unit gets: the one ordered, and the retests while it
  // fails when the session is to retest it. rescanned: the source may order
  // this unit again later (the operator scans it again).
  void testUnit(const UnitOrder &order, bool rescanned) {
    const int index = order.index > 0 ? order.index : ++lastIndex_;
    lastIndex_ = std::max(lastIndex_, index);
    const std::string unitId = order.unitId.empty() ? NewUuid() : order.unitId;
    const std::string &who = order.operatorName.empty() ? options_.operatorName : order.operatorName;
    Prior prior = order.prior;
    const int last = order.retest ? order.attempt + options_.retest : order.attempt;
    for (int attempt = order.attempt; attempt <= last; ++attempt) {
      const UnitRecord record = runAttempt(order.serial, index, unitId, attempt, prior, who);
      if (!Retested(record, order.attempt, last - order.attempt) || stops() > 0 || result.recordLost) break;
      if (options_.held && options_.held()) break;
      prior = PriorOf(record.run.verdict);
    }
    // An id made here, of a source that never orders a unit again, names no
    // later attempt: the tally need not keep it, and a long session stays flat.
    if (order.unitId.empty() && !rescanned) counted_.forget(unitId);
  }

  SessionResult result;

 private:
  UnitRecord runAttempt(const std::string &serial, int index, const std::string &unitId, int attempt, Prior prior,
                        const std::string &who) {
    // Each attempt finds the phone as it comes out of the box: the operator
    // puts it in again for a retest.
    if (options_.run.equipment != nullptr) options_.run.equipment->newUnit(serial);
    UnitRecord record;
    record.session = session_;
    record.uuid = NewUuid();
    record.unitId = unitId;
    record.serial = serial;
    record.index = index;
    record.attempt = attempt;
    record.prior = prior;
    record.socket = options_.run.socket;
    record.operatorName = who;
    if (!firstStart_) {
      firstStart_ = Clock::now();
      firstClockMs_ = StationClockMs();
    }
    bus_.attemptStarted(
        AttemptStart{record.uuid, unitId, serial, index, attempt, prior, record.socket, record.operatorName, UtcNow()});
    record.run = RunPlan(plan_, functions_, options_.run, &bus_);
    result.lastVerdict = record.run.verdict;
    counted_.add(record);
    result.tally = counted_.tally;
    result.tally.hoursSinceFirst = HoursSinceFirst();
    if (!bus_.attemptFinished(record).kept()) result.recordLost = true;
    TellNotes(bus_);
    bus_.tallied(result.tally);
    return record;
  }

  uint64_t StationClockMs() const { return options_.run.equipment != nullptr ? options_.run.equipment->waitedMs() : 0; }
  // By the station's clock: on the virtual clock the waits take no wall time.
  double HoursSinceFirst() const {
    const double wall = std::chrono::duration<double>(Clock::now() - *firstStart_).count();
    const double station = static_cast<double>(StationClockMs() - firstClockMs_) / 1000.0;
    return std::max(wall, station) / 3600.0;
  }

  const Plan &plan_;
  const std::vector<StepFunction> &functions_;
  std::shared_ptr<SessionRecord> session_;
  Bus &bus_;
  const SessionOptions &options_;
  std::optional<Clock::time_point> firstStart_;
  uint64_t firstClockMs_ = 0;
  int lastIndex_ = 0;
  SessionTally counted_;
};

// The equipment's prompts, told on the bus and answered where the session says.
class Prompts {
 public:
  Prompts(const SessionOptions &options, Bus &bus) : equipment_(options.run.equipment) {
    if (equipment_ == nullptr) return;
    equipment_->onPrompt([&bus, answer = options.answerPrompt,
                          socket = options.run.socket](const std::string &text) -> std::optional<bool> {
      bus.promptOpened(socket, text);
      const std::optional<bool> answered = answer ? answer(text) : std::nullopt;
      bus.promptClosed(socket);
      return answered;
    });
  }
  ~Prompts() {
    if (equipment_ != nullptr) equipment_->onPrompt(nullptr);
  }
  Prompts(const Prompts &) = delete;
  Prompts &operator=(const Prompts &) = delete;

 private:
  Equipment *equipment_;
};

}  // namespace

NextStep NextStepOf(const UnitRecord &attempt, int retest) {
  switch (attempt.run.verdict) {
    case Verdict::kPass: return NextStep::kNone;
    case Verdict::kNotRun: return NextStep::kStopped;
    case Verdict::kFail: return attempt.attempt < 1 + retest ? NextStep::kRetest : NextStep::kRepair;
    case Verdict::kError: break;
  }
  // The phone's own steps: its link, its call, its reset. Everything else
  // talks to the tester or the supply.
  static const char *const kPhoneSteps[] = {"MobInit", "MakeCall", "MobReset", "MobClose"};
  for (const StepRecord &s : attempt.run.steps) {
    if (s.verdict != Verdict::kError) continue;
    const std::string name = s.step.shortName();
    for (const char *phone : kPhoneSteps) {
      if (name == phone) return NextStep::kPhoneLink;
    }
    return NextStep::kEquipment;
  }
  return NextStep::kEquipment;
}

const char *NextStepName(NextStep step) {
  switch (step) {
    case NextStep::kNone: return "";
    case NextStep::kRetest: return "retest";
    case NextStep::kRepair: return "repair";
    case NextStep::kPhoneLink: return "phoneLink";
    case NextStep::kEquipment: return "equipment";
    case NextStep::kStopped: return "stopped";
  }
  return "";
}

const std::string &NextStepText(const NextActions &actions, NextStep step) {
  static const std::string none;
  switch (step) {
    case NextStep::kNone: return none;
    case NextStep::kRetest: return actions.retest;
    case NextStep::kRepair: return actions.repair;
    case NextStep::kPhoneLink: return actions.phoneLink;
    case NextStep::kEquipment: return actions.equipment;
    case NextStep::kStopped: return actions.stopped;
  }
  return none;
}

std::string ScanProblem(const std::string &serial, const StationSettings *settings) {
  std::string problem = SerialProblem(serial);
  if (!problem.empty()) return problem;
  if (settings != nullptr && settings->serialRegex && !std::regex_match(serial, *settings->serialRegex)) {
    return serial + " not taken: the station's serials match " + settings->serialPattern;
  }
  return {};
}

namespace {

ScanDecision Refused(ScanDecision decision, std::string why) {
  decision.kind = ScanDecision::Kind::kRefused;
  decision.message = std::move(why);
  return decision;
}

// The start of today, UTC, in the records' form.
std::string Today() { return UtcNow().substr(0, 10) + "T00:00:00Z"; }

// "08:30 UTC" of "2024-05-01T08:30:00Z".
std::string TimeOfDay(const std::string &utc) { return utc.size() >= 16 ? utc.substr(11, 5) + " UTC" : utc; }

}  // namespace

ScanDecision Scans::decide(const std::string &serial, const std::string &operatorName, bool confirmedPass) {
  ScanDecision d;
  d.order.serial = serial;
  d.order.retest = false;  // a retest is the operator's next scan of it
  d.order.operatorName = operatorName;
  const std::string problem = ScanProblem(serial, &settings_);
  if (!problem.empty()) return Refused(d, problem);
  std::optional<LastAttempt> last;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto running = running_.find(serial);
    if (running != running_.end()) {
      return Refused(d, serial + " not taken: it is being tested" +
                            (running->second.empty() ? "" : " in socket " + running->second));
    }
    const auto seen = seen_.find(serial);
    if (seen != seen_.end()) last = seen->second;
  }
  std::string error;
  if (!last && earlier_ != nullptr && !earlier_->latest(serial, Today(), last, error)) {
    d.note = "the results cannot be read (" + error + "): " + serial + " is tested as a new unit";
    last.reset();
  }
  if (last) {
    d.order.unitId = last->unitId;
    d.order.index = last->index;
    d.order.attempt = last->attempt + 1;
    d.order.prior = PriorOf(last->verdict);
  }
  if (last && last->verdict == Verdict::kNotRun) {
    // Stopped before its verdict: the same attempt again.
    d.order.attempt = last->attempt;
    d.order.prior = last->prior == Prior::kNone ? Prior::kStopped : last->prior;
  }
  if (last && last->verdict == Verdict::kFail && last->attempt >= 1 + retest_) {
    d.repair = true;
    return Refused(d, serial + " not taken: it failed attempt " + std::to_string(last->attempt) + " of " +
                          std::to_string(1 + retest_) + " allowed; " + settings_.actions.repair);
  }
  if (last && last->verdict == Verdict::kPass && settings_.confirmPassedToday && !confirmedPass) {
    d.kind = ScanDecision::Kind::kConfirm;
    d.message = serial + " passed today at " + TimeOfDay(last->started) + ": test it again?";
    return d;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  running_.emplace(serial, "");  // taken: a second scan of it waits for its verdict
  return d;
}

void Scans::attemptStarted(const AttemptStart &start) {
  if (start.serial.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  running_[start.serial] = start.socket;
}

Delivery Scans::attemptFinished(const UnitRecord &unit) {
  if (unit.serial.empty()) return Delivery::delivered();
  std::lock_guard<std::mutex> lock(mutex_);
  running_.erase(unit.serial);
  seen_[unit.serial] =
      LastAttempt{unit.unitId, unit.index, unit.attempt, unit.prior, unit.run.verdict, unit.run.started};
  return Delivery::delivered();
}

void SessionTally::add(const UnitRecord &attempt) {
  const std::string &unit = attempt.unitId;
  const bool hadVerdict =
      attempt.prior == Prior::kPass || attempt.prior == Prior::kFail || attempt.prior == Prior::kError;
  if (counted_.count(unit) == 0 && (hadVerdict || earlier_.count(unit) > 0)) {
    earlier_.insert(unit);
    ++tally.attempts;
    tally.stationSeconds += attempt.run.stationSeconds();
    if (attempt.run.verdict != Verdict::kNotRun) ++tally.retests;
    return;
  }
  // Stopped in an earlier session: its first verdict is this session's.
  const bool first = counted_.insert(unit).second;
  tally.add(first && attempt.prior == Prior::kStopped ? Prior::kNone : attempt.prior, attempt.run.verdict,
            attempt.run.stationSeconds());
}

void SessionTally::forget(const std::string &unit) {
  counted_.erase(unit);
  earlier_.erase(unit);
}

bool Retested(const UnitRecord &attempt, int firstAttempt, int retests) {
  return attempt.run.verdict != Verdict::kPass && !attempt.run.stopped && attempt.attempt < firstAttempt + retests;
}

std::string SerialProblem(const std::string &serial) {
  if (serial.empty()) return "the serial is empty";
  if (serial.size() > kLongestSerial) {
    return "serial \"" + Excerpt(serial) + "\" is longer than " + std::to_string(kLongestSerial) + " characters";
  }
  for (const char c : serial) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F) {
      return "serial \"" + Excerpt(serial) + "\" holds a blank or a character that is not printable ASCII";
    }
  }
  return {};
}

bool SingleUnit::next(std::string &serial) {
  if (given_) return false;
  given_ = true;
  serial.clear();
  return true;
}

bool GeneratedUnits::next(std::string &serial) {
  if (made_ >= count_) return false;
  char text[32];
  std::snprintf(text, sizeof text, "SIM-%06d", ++made_);
  serial = text;
  return true;
}

SerialList::SerialList(const std::string &path, std::vector<std::string> &problems) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    problems.push_back(path + ": cannot read the serials file");
    return;
  }
  std::string line;
  int bad = 0;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const std::string problem = SerialProblem(line);
    if (problem.empty()) {
      serials_.push_back(line);
    } else if (++bad <= kNamedBadLines) {
      problems.push_back(path + ":" + std::to_string(number) + ": " + problem);
    }
  }
  if (bad > kNamedBadLines) {
    problems.push_back(path + ": " + std::to_string(bad - kNamedBadLines) + " more lines hold no serial");
  }
  if (serials_.empty() && problems.empty()) problems.push_back(path + ": the serials file names no unit");
}

bool SerialList::next(std::string &serial) {
  if (next_ >= serials_.size()) return false;
  serial = serials_[next_++];
  return true;
}

bool PromptedUnits::next(std::string &serial) {
  UnitOrder order;
  order.socket = socket_;
  if (!nextOrder(order)) return false;
  serial = order.serial;
  return true;
}

bool PromptedUnits::confirmed(const std::string &question) {
  std::string answer;
  if (!ask_(question + " (y: test it; Enter: leave it) ", answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes";
}

bool PromptedUnits::nextOrder(UnitOrder &order) {
  socket_ = order.socket;
  ++asked_;
  for (;;) {
    if (StopRequests() > 0) return false;
    const std::string question = "Serial of unit " + std::to_string(asked_) +
                                 (socket_.empty() ? "" : " for socket " + socket_) + " (empty line ends the session): ";
    std::string serial;
    if (!ask_(question, serial) || serial.empty()) return false;
    ScanDecision d;
    d.order.serial = serial;
    if (scans_ != nullptr) {
      d = scans_->decide(serial, "");
    } else if (const std::string problem = SerialProblem(serial); !problem.empty()) {
      d.kind = ScanDecision::Kind::kRefused;
      d.message = problem;
    }
    if (!d.note.empty()) std::fprintf(messages_, "vorn-host: %s\n", TerminalText(d.note).c_str());
    if (d.kind == ScanDecision::Kind::kRefused) {
      std::fprintf(messages_, "vorn-host: %s; scan or type the next serial\n", TerminalText(d.message).c_str());
      continue;
    }
    if (d.kind == ScanDecision::Kind::kConfirm) {
      if (!confirmed(d.message)) continue;
      d = scans_->decide(serial, "", true);
      if (d.kind != ScanDecision::Kind::kTest) continue;
    }
    order = d.order;
    order.socket = socket_;
    return true;
  }
}

SessionResult RunSession(const Plan &plan, const std::vector<StepFunction> &functions,
                         const std::shared_ptr<SessionRecord> &session, UnitSource &units, Bus &bus,
                         const SessionOptions &options) {
  Loop loop(plan, functions, session, bus, options);
  const Prompts prompts(options, bus);
  loop.result.recordLost = !bus.sessionStarted(*session).kept();
  TellNotes(bus);
  UnitOrder order;
  while (!loop.result.recordLost && loop.stops() == 0 && units.nextOrder(order)) loop.testUnit(order, units.scanned());
  loop.result.stopped = loop.stops() > 0;
  session->ended = UtcNow();
  SessionEnd end{session.get(), loop.result.tally, loop.result.stopped, loop.result.recordLost, {}};
  if (!bus.sessionEnded(end).kept()) loop.result.recordLost = true;
  TellNotes(bus);
  return loop.result;
}

}  // namespace vorn_host
