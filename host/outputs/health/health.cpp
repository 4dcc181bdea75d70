// The station's health as one of vorn-host's outputs (docs/station-health.md).
// Before a production session starts it looks at the station's last
// verification with the golden unit: a failed one, or with an interval in
// the settings a missing or stale one, stops the session before it starts
// (exit status 2) unless --no-health-check. While the session runs it
// watches the values (process alarms) and the verdicts (the station's stop)
// and tells both on the bus. It keeps the station's state files
// (core/station_state.h): the last verification, the stop and its
// acknowledgement from a second terminal.
#include <cstdio>
#include <functional>

#include "core/gate.h"
#include "core/station_state.h"
#include "os/os.h"
#include "outputs/health/history.h"
#include "outputs/health/watch.h"
#include "outputs/output.h"
#include "plots/plots.h"

namespace vorn_host {

namespace {

class Health : public Output, public Subscriber {
 public:
  Health(Bus &bus, StationHealth &health, StateFiles files, StationState state, std::string station)
      : bus_(bus), health_(health), files_(std::move(files)), state_(std::move(state)), station_(std::move(station)) {}
  Subscriber &subscriber() override { return *this; }
  // The process watch, made once the session starts (every output opened):
  // reading the station's history is no work for a run that cannot start.
  void watch(std::function<std::unique_ptr<ProcessWatch>(std::string &notice)> make) { makeWatch_ = std::move(make); }

  Delivery sessionStarted(const SessionRecord &) override {
    if (!makeWatch_) return Delivery::delivered();
    std::string notice;
    watch_ = makeWatch_(notice);
    return notice.empty() ? Delivery::delivered() : Delivery::notice(notice);
  }

  void attemptStarted(const AttemptStart &) override { publishAcknowledgement(); }
  Delivery attemptFinished(const UnitRecord &unit) override {
    if (!watch_) return Delivery::delivered();
    alarms_ = watch_->alarms(unit);
    stop_ = watch_->stop(unit);
    return Delivery::delivered();
  }
  // Told once every output has the attempt's record, before the next unit.
  void tallied(const Tally &) override {
    for (const AlarmRecord &alarm : alarms_) {
      bus_.alarmed(alarm);
      bus_.tellNotes();
    }
    alarms_.clear();
    if (!stop_) return;
    const LockRecord lock = *stop_;
    stop_.reset();
    state_.lock = lock;
    std::string error;
    if (!WriteStationState(files_.state, station_, state_, error)) bus_.noticed(error);
    health_.lock(lock);
    bus_.locked(lock);
    bus_.tellNotes();
  }
  Delivery sessionEnded(const SessionEnd &) override {
    publishAcknowledgement();
    return Delivery::delivered();
  }
  Delivery verified(const VerificationRecord &v) override {
    HealthSummary summary;
    summary.at = v.at;
    summary.golden = v.golden;
    summary.passed = v.passed;
    summary.worst = v.worst;
    state_.verification = summary;
    state_.verificationUuid = v.uuid;
    state_.goldenFile = v.goldenFile;
    health_.setSummary(summary);
    std::string error;
    if (WriteStationState(files_.state, station_, state_, error)) return Delivery::delivered();
    return Delivery::lost("the station's verification was not kept for its next session: " + error);
  }
  Delivery acknowledged(const AcknowledgementRecord &) override {
    state_.lock.reset();
    std::string error;
    std::remove(files_.acknowledgement.c_str());
    if (WriteStationState(files_.state, station_, state_, error)) return Delivery::delivered();
    return Delivery::notice("the acknowledgement was not kept in the station's state: " + error);
  }

 private:
  // An acknowledgement the gate let through, told on the bus's own thread.
  void publishAcknowledgement() {
    if (std::optional<AcknowledgementRecord> ack = health_.takeAcknowledgement()) {
      bus_.acknowledged(*ack);
      bus_.tellNotes();
    }
  }

  Bus &bus_;
  StationHealth &health_;
  StateFiles files_;
  StationState state_;
  std::string station_;
  std::function<std::unique_ptr<ProcessWatch>(std::string &)> makeWatch_;
  std::unique_ptr<ProcessWatch> watch_;
  std::vector<AlarmRecord> alarms_;
  std::optional<LockRecord> stop_;
};

void AddOptions(CommandLine &line) {
  line.number("--lock-after", "N", 0, 1000,
              "stop the station after N FAIL or ERROR verdicts in a row\n"
              "(default: [Health] LockAfterFailures of the settings)");
}

std::string Advice(const StationState &state) {
  const std::string golden = state.goldenFile.empty() ? "GOLDEN-FILE" : state.goldenFile;
  return "run vorn-host --verify " + golden + " (or --calibrate " + golden +
         ") with the calibration plan; --no-health-check starts anyway, its units marked";
}

// Why the station's last verification does not let a production session start; empty when it does.
std::string GateProblem(const std::string &station, const StationState &state, double hours) {
  if (state.verification && !state.verification->passed) {
    return "the last verification of station " + station + " failed at " + state.verification->at +
           ": its readings cannot be trusted; " + Advice(state);
  }
  if (hours <= 0) return {};
  if (!state.verification) {
    return "station " + station + " has no verification on record: its readings cannot be trusted; " + Advice(state);
  }
  const std::optional<std::time_t> at = UtcSeconds(state.verification->at);
  const std::optional<std::time_t> now = UtcSeconds(UtcNow());
  const double age = at && now ? std::difftime(*now, *at) : 1e12;
  if (age <= hours * 3600.0) return {};
  return "the last verification of station " + station + " was at " + state.verification->at + ", " + AgeText(age) +
         ", longer ago than the " + vorn_plots::Number(hours, 1) + " h allowed: its readings cannot be trusted; " +
         Advice(state);
}

// The watch of the session's values and verdicts, its baselines from the
// station's history in the results database when it has one to read.
std::function<std::unique_ptr<ProcessWatch>(std::string &)> WatchOf(const OutputSetup &setup) {
  const CommandLine &o = setup.options;
  WatchSettings w;
  w.lockAfterFailures =
      o.has("--lock-after") ? static_cast<int>(o.number("--lock-after")) : setup.settings->lockAfterFailures;
  w.lockYieldBelow = setup.settings->lockYieldBelow;
  w.action = setup.settings->actions.equipment;
  const std::string db = o.has("--no-db") ? "" : o.text("--db");
  const bool none = o.has("--no-db");
  const std::string station = setup.session.station;
  const std::string plan = setup.session.planSha256;
  return [w, db, none, station, plan](std::string &notice) {
    Baselines history;
    std::string error;
    if (!none && !ReadBaselines(db, station, plan, history, error)) {
      notice = "the station's history cannot be read (" + error + "): the process alarms take this session's first " +
               std::to_string(kBaselineValues) + " units as their baseline";
    }
    return std::make_unique<ProcessWatch>(std::move(history), w);
  };
}

std::unique_ptr<Output> Open(OutputSetup &setup, std::string &error) {
  const SessionRecord &s = setup.session;
  const bool production = s.mode == SessionMode::kProduction && !s.single;
  const bool golden = s.mode == SessionMode::kVerification || s.mode == SessionMode::kCalibration;
  if (!production && setup.options.has("--lock-after")) {
    error = "--lock-after needs a production session";
    return nullptr;
  }
  if ((!production && !golden) || setup.bus == nullptr || setup.health == nullptr || setup.settings == nullptr) {
    return nullptr;
  }
  const StateFiles files = StateFilesOf(setup.options.text("--db"), setup.options.has("--no-db"), s.station);
  StationState state;
  if (!ReadStationState(files.state, state, error)) return nullptr;
  StationHealth &health = *setup.health;
  if (state.verification) {
    HealthSummary summary = *state.verification;
    summary.unchecked = s.healthCheckSkipped;
    health.setSummary(summary);
  }
  auto output = std::make_unique<Health>(*setup.bus, health, files, state, s.station);
  if (golden) return output;
  if (!s.healthCheckSkipped) error = GateProblem(s.station, state, setup.settings->verificationHours);
  if (!error.empty()) return nullptr;
  health.setCode(setup.settings->acknowledgeCode);
  if (state.lock) {
    const std::optional<AcknowledgementRecord> ack = ReadAcknowledgement(files.acknowledgement);
    const bool acknowledged = ack && ack->lockUuid == state.lock->uuid;
    if (!acknowledged && !health.attended() && !IsTerminal(stdin)) {
      error = "station " + s.station + " stopped itself at " + state.lock->at + ": " + state.lock->reason +
              "; nobody is here to acknowledge it (no page, no terminal): a technician acknowledges with " +
              "vorn-host --acknowledge CODE";
      return nullptr;
    }
    health.lock(*state.lock);
  }
  health.setOutsideAcknowledgement([path = files.acknowledgement] { return ReadAcknowledgement(path); });
  output->watch(WatchOf(setup));
  return output;
}

}  // namespace

OutputModule HealthOutput() { return {"health", AddOptions, nullptr, Open}; }

}  // namespace vorn_host
