// The state the outputs share while a session runs: the last verification,
// for the page's header, and the station's stop, which no unit passes
// (GatedUnits) until a technician acknowledges it at the terminal, on the
// page or from a second terminal (vorn-host --acknowledge).
#pragma once

#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/health.h"
#include "core/session.h"

namespace vorn_host {

class StationHealth {
 public:
  void setSummary(std::optional<HealthSummary> summary);
  std::optional<HealthSummary> summary() const;

  // The station stops: no unit passes GatedUnits until acknowledged.
  void lock(const LockRecord &lock);
  std::optional<LockRecord> locked() const;
  // Whether the station is stopped now, as a session's held() asks.
  std::function<bool()> held() const {
    return [this] { return locked().has_value(); };
  }
  // The acknowledgement code from the station's settings; empty: any.
  void setCode(std::string code);
  bool needsCode() const;
  // An acknowledgement with this code; false, with why, when the code does
  // not match or nothing is stopped. Any thread (the page's).
  bool acknowledge(const std::string &code, const std::string &by, const std::string &via, std::string &why);
  // Who may acknowledge while a session runs besides a second terminal: the
  // page, the terminal. With none, a stop ends the session.
  void attend(const std::string &where);
  bool attended() const;
  // Looked at while the station is stopped: an acknowledgement from
  // elsewhere (the file a second terminal writes), or none.
  void setOutsideAcknowledgement(std::function<std::optional<AcknowledgementRecord>()> look);

  // Waits until the stop is acknowledged (true) or the operator stops the
  // session, or nobody can acknowledge (false, with why). The
  // acknowledgement waits in takeAcknowledgement() for the bus's thread.
  bool waitForAcknowledgement(const std::function<int()> &stops, std::FILE *terminal, std::FILE *messages,
                              std::string &why);
  std::optional<AcknowledgementRecord> takeAcknowledgement();

 private:
  std::optional<AcknowledgementRecord> acknowledged(const std::string &by, const std::string &via);  // mutex_ held
  bool lookAtTerminal(std::FILE *terminal, std::FILE *messages, bool &asked);

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<HealthSummary> summary_;
  std::optional<LockRecord> lock_;
  std::optional<AcknowledgementRecord> pending_;  // for the bus
  std::string code_;
  std::vector<std::string> attended_;
  std::function<std::optional<AcknowledgementRecord>()> outside_;
};

// The units of a session, held back while the station is stopped: each
// next unit waits for the acknowledgement. When nobody can give it (no page,
// no terminal) the session ends there, its reason in ended().
class GatedUnits : public UnitSource {
 public:
  GatedUnits(UnitSource &units, StationHealth &health, std::function<int()> stops, std::FILE *terminal,
             std::FILE *messages)
      : units_(units), health_(health), stops_(std::move(stops)), terminal_(terminal), messages_(messages) {}
  bool next(std::string &serial) override;
  bool nextOrder(UnitOrder &order) override;
  // What the units are stays theirs: scanned ones go through the station's rules.
  void consult(Scans &scans) override { units_.consult(scans); }
  bool scanned() const override { return units_.scanned(); }
  const std::string &ended() const { return ended_; }

 private:
  bool open();

  UnitSource &units_;
  StationHealth &health_;
  std::function<int()> stops_;
  std::FILE *terminal_;
  std::FILE *messages_;
  std::string ended_;
};

}  // namespace vorn_host
