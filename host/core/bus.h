// The bus a station run speaks on. The run loop publishes what happens, in
// order, on the thread that runs the steps; every output (the console, the
// JSON, the results database, the operator's page, the sockets' supervisor)
// is a Subscriber and hears all of it. The loop knows none of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/health.h"
#include "core/record.h"
#include "core/tally.h"

namespace vorn_host {

// What an output made of a record it was handed.
struct Delivery {
  enum class Outcome {
    kDelivered,  // written where it belongs
    kNotice,     // kept, with something the operator should know (say, held in the spool)
    kLost,       // not kept: the operator must know, and the session may not go on
  };
  Outcome outcome = Outcome::kDelivered;
  std::string text;  // kNotice and kLost: what happened, for the operator

  static Delivery delivered() { return {}; }
  static Delivery notice(std::string text) { return {Outcome::kNotice, std::move(text)}; }
  static Delivery lost(std::string text) { return {Outcome::kLost, std::move(text)}; }
  bool kept() const { return outcome != Outcome::kLost; }
};

// An attempt about to begin: its unit, before any step ran.
struct AttemptStart {
  std::string uuid;
  std::string unitId;
  std::string serial;
  int index = 0;
  int attempt = 1;
  Prior prior = Prior::kNone;
  std::string socket;
  std::string operatorName;
  std::string started;  // UTC, ISO 8601
};

// The session's end: its tally, and why it ended.
struct SessionEnd {
  const SessionRecord *session = nullptr;
  Tally tally;
  bool stopped = false;  // by the operator
  // It ended because a record could be kept nowhere: no phone may be
  // tested whose record would be lost.
  bool recordLost = false;
  // On a station of several sockets: each socket's own tally, by name.
  std::vector<std::pair<std::string, Tally>> sockets;
};

class Subscriber {
 public:
  virtual ~Subscriber() = default;
  virtual Delivery sessionStarted(const SessionRecord &) { return Delivery::delivered(); }
  virtual void attemptStarted(const AttemptStart &) {}
  // Each of these names the test socket it happens in: empty on a station of
  // one, a socket's name on a station of several (core/sockets.h).
  virtual void stepStarted(const std::string & /*socket*/, std::size_t /*index*/, std::size_t /*count*/,
                           const PlanStep &) {}
  // A wait of the station's equipment began inside the running step.
  virtual void waiting(const std::string & /*socket*/, uint32_t /*milliseconds*/) {}
  virtual void stepFinished(const std::string & /*socket*/, std::size_t /*index*/, const StepRecord &) {}
  // The equipment asks the operator (the phone's "Turn on phone!"), and the
  // answer came (or the wait ended).
  virtual void promptOpened(const std::string & /*socket*/, const std::string & /*text*/) {}
  virtual void promptClosed(const std::string & /*socket*/) {}
  virtual Delivery attemptFinished(const UnitRecord &) { return Delivery::delivered(); }
  // What an output said of a record (kept in the spool, lost), for the
  // operator to read wherever the operator looks.
  virtual void noticed(const std::string & /*text*/) {}
  // The tally after each attempt, for the outputs that show it as it goes;
  // on a station of several sockets also the socket's own.
  virtual void tallied(const Tally &) {}
  virtual void socketTallied(const std::string & /*socket*/, const Tally &) {}
  virtual Delivery sessionEnded(const SessionEnd &) { return Delivery::delivered(); }
  // The station's health (core/health.h), kept like a unit's record: a
  // verification with the golden unit, a calibration, a process alarm, the
  // station stopping itself and a technician's acknowledgement.
  virtual Delivery verified(const VerificationRecord &) { return Delivery::delivered(); }
  virtual Delivery calibrated(const CalibrationRecord &) { return Delivery::delivered(); }
  virtual Delivery alarmed(const AlarmRecord &) { return Delivery::delivered(); }
  virtual Delivery locked(const LockRecord &) { return Delivery::delivered(); }
  virtual Delivery acknowledged(const AcknowledgementRecord &) { return Delivery::delivered(); }
};

// Hands each event to every subscriber, in the order they subscribed.
class Bus : public Subscriber {
 public:
  void subscribe(Subscriber &subscriber) { subscribers_.push_back(&subscriber); }

  Delivery sessionStarted(const SessionRecord &session) override;
  void attemptStarted(const AttemptStart &start) override;
  void stepStarted(const std::string &socket, std::size_t index, std::size_t count, const PlanStep &step) override;
  void waiting(const std::string &socket, uint32_t milliseconds) override;
  void stepFinished(const std::string &socket, std::size_t index, const StepRecord &record) override;
  void promptOpened(const std::string &socket, const std::string &text) override;
  void promptClosed(const std::string &socket) override;
  // Lost when any output lost it (the operator asked for that output), else
  // a notice when any output has one; each output's own text is in notes().
  Delivery attemptFinished(const UnitRecord &unit) override;
  void noticed(const std::string &text) override;
  void tallied(const Tally &tally) override;
  void socketTallied(const std::string &socket, const Tally &tally) override;
  Delivery sessionEnded(const SessionEnd &end) override;
  Delivery verified(const VerificationRecord &record) override;
  Delivery calibrated(const CalibrationRecord &record) override;
  Delivery alarmed(const AlarmRecord &record) override;
  Delivery locked(const LockRecord &record) override;
  Delivery acknowledged(const AcknowledgementRecord &record) override;
  // Tells every output what the outputs said of the last event (noticed).
  void tellNotes();

  // What the outputs said of the last record or session event: every notice
  // and loss, whether or not the record was kept somewhere.
  const std::vector<Delivery> &notes() const { return notes_; }

 private:
  template <typename Event>
  Delivery gather(Event event);

  std::vector<Subscriber *> subscribers_;
  std::vector<Delivery> notes_;
};

}  // namespace vorn_host
