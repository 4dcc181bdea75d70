#include "core/gate.h"

#include <chrono>

#include "os/os.h"
#include "os/text.h"

namespace vorn_host {

namespace {

constexpr std::chrono::milliseconds kLook(200);

}  // namespace

void StationHealth::setSummary(std::optional<HealthSummary> summary) {
  std::lock_guard<std::mutex> lock(mutex_);
  summary_ = std::move(summary);
}

std::optional<HealthSummary> StationHealth::summary() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return summary_;
}

void StationHealth::lock(const LockRecord &record) {
  std::lock_guard<std::mutex> lock(mutex_);
  lock_ = record;
  wake_.notify_all();
}

std::optional<LockRecord> StationHealth::locked() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lock_;
}

void StationHealth::setCode(std::string code) {
  std::lock_guard<std::mutex> lock(mutex_);
  code_ = std::move(code);
}

bool StationHealth::needsCode() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !code_.empty();
}

std::optional<AcknowledgementRecord> StationHealth::acknowledged(const std::string &by, const std::string &via) {
  AcknowledgementRecord ack;
  ack.uuid = NewUuid();
  ack.lockUuid = lock_->uuid;
  ack.station = lock_->station;
  ack.at = UtcNow();
  ack.by = by;
  ack.via = via;
  lock_.reset();
  pending_ = ack;
  wake_.notify_all();
  return ack;
}

bool StationHealth::acknowledge(const std::string &code, const std::string &by, const std::string &via,
                                std::string &why) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!lock_) {
    why = "the station is not stopped";
    return false;
  }
  if (!code_.empty() && code != code_) {
    why = "that is not the technician's code";
    return false;
  }
  acknowledged(by, via);
  return true;
}

void StationHealth::attend(const std::string &where) {
  std::lock_guard<std::mutex> lock(mutex_);
  attended_.push_back(where);
}

bool StationHealth::attended() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !attended_.empty();
}

void StationHealth::setOutsideAcknowledgement(std::function<std::optional<AcknowledgementRecord>()> look) {
  std::lock_guard<std::mutex> lock(mutex_);
  outside_ = std::move(look);
}

std::optional<AcknowledgementRecord> StationHealth::takeAcknowledgement() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::optional<AcknowledgementRecord> ack = std::move(pending_);
  pending_.reset();
  return ack;
}

// A line typed at the terminal, when one is waiting: the code, checked.
bool StationHealth::lookAtTerminal(std::FILE *terminal, std::FILE *messages, bool &asked) {
  if (!asked) {
    bool anyCode = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      anyCode = code_.empty();
    }
    std::fprintf(messages, "vorn-host: the technician's code to go on%s: ", anyCode ? " (any, or Enter)" : "");
    std::fflush(messages);
    asked = true;
  }
  if (!LineWaiting(terminal, static_cast<int>(kLook.count()))) return false;
  char line[256];
  if (std::fgets(line, sizeof line, terminal) == nullptr) return false;
  std::string code(line);
  while (!code.empty() && (code.back() == '\n' || code.back() == '\r')) code.pop_back();
  std::lock_guard<std::mutex> lock(mutex_);
  if (!lock_) return true;
  if (!code_.empty() && code != code_) {
    std::fprintf(messages, "vorn-host: that is not the technician's code; the code to go on: ");
    std::fflush(messages);
    return false;
  }
  acknowledged("technician at the terminal", "terminal");
  return true;
}

bool StationHealth::waitForAcknowledgement(const std::function<int()> &stops, std::FILE *terminal, std::FILE *messages,
                                           std::string &why) {
  const bool atTerminal = terminal != nullptr && IsTerminal(terminal);
  bool asked = false;
  for (;;) {
    std::function<std::optional<AcknowledgementRecord>()> outside;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      outside = outside_;
    }
    // A second terminal's acknowledgement, of this stop.
    const std::optional<AcknowledgementRecord> ack = outside ? outside() : std::nullopt;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (lock_ && ack && ack->lockUuid == lock_->uuid) {
        lock_.reset();
        pending_ = ack;
      }
      if (!lock_) return true;
      if (stops && stops() > 0) {
        why = "stopped while the station waited for its technician";
        return false;
      }
      if (attended_.empty() && !atTerminal) {
        why = lock_->text() + "; nobody is here to acknowledge it (no page, no terminal): the session ends. " +
              "A technician acknowledges with vorn-host --acknowledge CODE";
        return false;
      }
      if (!atTerminal) wake_.wait_for(lock, kLook);
    }
    if (atTerminal) lookAtTerminal(terminal, messages, asked);
  }
}

bool GatedUnits::open() {
  if (!ended_.empty()) return false;
  if (!health_.locked() || health_.waitForAcknowledgement(stops_, terminal_, messages_, ended_)) return true;
  std::fprintf(messages_, "vorn-host: %s\n", TerminalText(ended_).c_str());
  return false;
}

bool GatedUnits::next(std::string &serial) { return open() && units_.next(serial); }

bool GatedUnits::nextOrder(UnitOrder &order) { return open() && units_.nextOrder(order); }

}  // namespace vorn_host
