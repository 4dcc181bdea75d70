// What the operator's web page shows and may do, kept apart from the web
// server: the Screen subscribes to the session's bus, and the session takes
// the operator's actions from it; the server's threads only read its snapshot
// and hand actions in. Nothing here calls the library.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/bus.h"
#include "core/gate.h"
#include "core/record.h"
#include "core/tally.h"

namespace vorn_host::web {

enum class SessionState {
  kIdle,      // waiting for a serial
  kRunning,   // a unit's steps run
  kStopping,  // Stop was asked for: the cleanup runs
  kStopped,   // the session ended; the station stopped
};
const char *StateText(SessionState state);  // "idle", "running", "stopping", "stopped"

struct StepView {
  std::string name;  // the step's short name, "OBTInit"
  Verdict verdict = Verdict::kNotRun;
  bool running = false;
  double seconds = 0.0;
  std::string text;                 // ERROR: the step's failure text
  std::vector<std::string> misses;  // FAIL: the limits missed
  int waits = 0;                    // the equipment's waits so far
  uint64_t waitedMs = 0;
  uint64_t endedAtMs = 0;  // wall clock, ms since 1970, when its verdict came
};

struct UnitView {
  std::string serial;
  int unit = 0;
  int attempt = 1;
  Verdict verdict = Verdict::kNotRun;
  double seconds = 0.0;      // on the station: its waits, or its wall time when longer
  double wallSeconds = 0.0;  // on the wall clock
  std::string started;       // UTC, ISO 8601
  std::string operatorName;
};

// The verdict banner: kept until the next serial is scanned.
struct BannerView {
  std::string serial;
  Verdict verdict = Verdict::kNotRun;
  std::vector<std::string> lines;  // the failures in words (core/catalogue.h: FailureLines)
};

struct PromptView {
  uint64_t id = 0;  // 0: no prompt open
  std::string text;
};

// One copy of everything the page shows, taken under the screen's lock.
struct Snapshot {
  uint64_t version = 0;
  SessionState state = SessionState::kIdle;
  SessionRecord session;
  std::optional<UnitView> current;
  std::vector<StepView> steps;  // the current unit's plan, step by step
  std::size_t stepsDone = 0;
  uint64_t waitMs = 0;  // the wait going on now, 0 when none
  uint64_t waitStartedAtMs = 0;
  PromptView prompt;
  // A prompt open on the station itself, which only the station's screen
  // answers (a real station's library asks with a message box): its text.
  std::optional<std::string> stationPrompt;
  std::optional<BannerView> banner;
  std::vector<UnitView> recent;  // the last units, newest first
  Tally tally;                   // the session's, as of its last attempt
  uint64_t plotVersion = 0;      // 0: no plot yet
  std::string notice;            // the last refusal or message for the operator
  int watchers = 0;              // pages connected now
  // The station's health: its last verification, its stop, the latest alarms.
  std::optional<HealthSummary> health;
  std::optional<LockRecord> stop;
  bool stopNeedsCode = false;
  std::vector<AlarmRecord> alarms;  // newest first

  // The page's JSON, without the plot (fetched by its version).
  std::string json() const;
};

// The header's words for the station's health at the time now:
// "Verified 2 h ago, golden G-0001, worst 0.3 dB".
std::string HealthText(const std::optional<HealthSummary> &health, std::time_t now);

struct Action {
  enum class Kind { kStart, kStop, kAcknowledge };
  Kind kind = Kind::kStart;
  std::string serial;     // kStart
  uint64_t promptId = 0;  // kAcknowledge

  static Action start(std::string serial) { return {Kind::kStart, std::move(serial), 0}; }
  static Action stop() { return {Kind::kStop, "", 0}; }
  static Action acknowledge(uint64_t prompt) { return {Kind::kAcknowledge, "", prompt}; }
};

// What the prompt ended with.
enum class PromptAnswer { kAcknowledged, kStopped, kNoPage };

class Screen : public Subscriber {
 public:
  static constexpr std::size_t kRecentUnits = 20;
  static constexpr std::size_t kShownAlarms = 5;
  static constexpr std::size_t kQueuedActions = 16;

  Screen();

  // --- the session's thread, from the bus ---
  Delivery sessionStarted(const SessionRecord &session) override;
  void attemptStarted(const AttemptStart &start) override;
  void stepStarted(const std::string &socket, std::size_t index, std::size_t count, const PlanStep &step) override;
  void waiting(const std::string &socket, uint32_t milliseconds) override;
  void stepFinished(const std::string &socket, std::size_t index, const StepRecord &record) override;
  Delivery attemptFinished(const UnitRecord &unit) override;
  void noticed(const std::string &text) override;
  void tallied(const Tally &tally) override;
  Delivery sessionEnded(const SessionEnd &end) override;
  Delivery alarmed(const AlarmRecord &alarm) override;
  Delivery locked(const LockRecord &lock) override;
  Delivery acknowledged(const AcknowledgementRecord &ack) override;
  // The station's health the page shows and takes the technician's code into.
  void setHealth(StationHealth *health);
  // The plan whose steps each attempt shows, not run yet, as it begins.
  void setPlan(const Plan &plan);
  void setState(SessionState state);
  void setNotice(const std::string &text);
  // A prompt opened (its text) or closed (none) on the station itself.
  void setStationPrompt(const std::optional<std::string> &text);
  // The finished unit's spectrum plot (SVG), or empty for none.
  void setPlot(std::string svg);

  // Shows text as a dialog and blocks until a page acknowledges it or Stop
  // is pressed; kNoPage at once when no page is connected to answer.
  PromptAnswer prompt(const std::string &text);
  // The next action a page handed in, waiting up to timeout for one. A Stop
  // is also left standing in stopRequested().
  std::optional<Action> nextAction(std::chrono::milliseconds timeout);
  bool stopRequested() const;
  // Asked every few milliseconds while prompt() or nextAction() waits: a true
  // answer (Ctrl-C) ends the wait as Stop does. At a prompt it adds no stop
  // request of the page's: the one stop is already counted where it came in,
  // and the cleanup runs. Set before serving.
  void setInterrupted(std::function<bool()> interrupted);

  // --- the web server's threads ---
  Snapshot snapshot() const;
  // Waits until the snapshot is newer than seen, or timeout, or close();
  // returns the version now.
  uint64_t waitForChange(uint64_t seen, std::chrono::milliseconds timeout) const;
  std::string plot(uint64_t &version) const;
  // Hands an action in; false, with the reason for the operator, when the
  // session cannot take it now.
  bool act(const Action &action, std::string &why);
  // The technician's code for the station's stop; false, with why.
  bool acknowledgeStop(const std::string &code, std::string &why);
  void watcherJoined();
  void watcherLeft();
  int watchers() const;
  // Wakes every waiter for good: the server is going down.
  void close();
  bool closed() const;

 private:
  void changed();  // with mutex_ held

  mutable std::mutex mutex_;
  mutable std::condition_variable change_;
  std::condition_variable action_;
  Snapshot data_;
  std::string plot_;
  std::deque<Action> actions_;
  bool startPending_ = false;
  bool stopRequested_ = false;
  bool acknowledged_ = false;
  bool closed_ = false;
  uint64_t nextPromptId_ = 1;
  std::vector<std::string> planSteps_;
  std::function<bool()> interrupted_;
  StationHealth *health_ = nullptr;
};

}  // namespace vorn_host::web
