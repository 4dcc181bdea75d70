#include "core/bus.h"

namespace vorn_host {

template <typename Event>
Delivery Bus::gather(Event event) {
  notes_.clear();
  Delivery::Outcome worst = Delivery::Outcome::kDelivered;
  for (Subscriber *s : subscribers_) {
    Delivery d = event(*s);
    if (d.outcome == Delivery::Outcome::kDelivered) continue;
    if (d.outcome == Delivery::Outcome::kLost || worst == Delivery::Outcome::kDelivered) worst = d.outcome;
    notes_.push_back(std::move(d));
  }
  return Delivery{worst, {}};
}

Delivery Bus::sessionStarted(const SessionRecord &session) {
  return gather([&](Subscriber &s) { return s.sessionStarted(session); });
}

void Bus::attemptStarted(const AttemptStart &start) {
  for (Subscriber *s : subscribers_) s->attemptStarted(start);
}

void Bus::stepStarted(const std::string &socket, std::size_t index, std::size_t count, const PlanStep &step) {
  for (Subscriber *s : subscribers_) s->stepStarted(socket, index, count, step);
}

void Bus::waiting(const std::string &socket, uint32_t milliseconds) {
  for (Subscriber *s : subscribers_) s->waiting(socket, milliseconds);
}

void Bus::stepFinished(const std::string &socket, std::size_t index, const StepRecord &record) {
  for (Subscriber *s : subscribers_) s->stepFinished(socket, index, record);
}

void Bus::promptOpened(const std::string &socket, const std::string &text) {
  for (Subscriber *s : subscribers_) s->promptOpened(socket, text);
}

void Bus::promptClosed(const std::string &socket) {
  for (Subscriber *s : subscribers_) s->promptClosed(socket);
}

Delivery Bus::attemptFinished(const UnitRecord &unit) {
  return gather([&](Subscriber &s) { return s.attemptFinished(unit); });
}

void Bus::noticed(const std::string &text) {
  for (Subscriber *s : subscribers_) s->noticed(text);
}

void Bus::tallied(const Tally &tally) {
  for (Subscriber *s : subscribers_) s->tallied(tally);
}

void Bus::socketTallied(const std::string &socket, const Tally &tally) {
  for (Subscriber *s : subscribers_) s->socketTallied(socket, tally);
}

Delivery Bus::sessionEnded(const SessionEnd &end) {
  return gather([&](Subscriber &s) { return s.sessionEnded(end); });
}

Delivery Bus::verified(const VerificationRecord &record) {
  return gather([&](Subscriber &s) { return s.verified(record); });
}

Delivery Bus::calibrated(const CalibrationRecord &record) {
  return gather([&](Subscriber &s) { return s.calibrated(record); });
}

Delivery Bus::alarmed(const AlarmRecord &record) {
  return gather([&](Subscriber &s) { return s.alarmed(record); });
}

Delivery Bus::locked(const LockRecord &record) {
  return gather([&](Subscriber &s) { return s.locked(record); });
}

Delivery Bus::acknowledged(const AcknowledgementRecord &record) {
  return gather([&](Subscriber &s) { return s.acknowledged(record); });
}

void Bus::tellNotes() {
  const std::vector<Delivery> notes = notes_;
  for (const Delivery &note : notes) {
    if (!note.text.empty()) noticed(note.text);
  }
}

}  // namespace vorn_host
