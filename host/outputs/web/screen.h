// What the operator's web page shows and may do, kept apart from the web
// server: the Screen subscribes to the session's bus, and the session takes
// the operator's actions from it; the server's threads only read its snapshot
// and hand actions in. Nothing here calls the library.
//
// A panel per test socket (one, named "", on a station of one socket): its
// serial field, its unit's steps, its prompt and its verdict banner. The
// session's figures, the last units and the spectrum plot are the station's.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/bus.h"
#include "core/gate.h"
#include "core/record.h"
#include "core/settings.h"
#include "core/tally.h"

namespace vorn_host::web {

enum class SessionState {
  kIdle,      // waiting for a serial
  kRunning,   // a unit's steps run
  kStopping,  // Stop was asked for: the cleanup runs
  kStopped,   // the session ended; the station stopped
};
const char *StateText(SessionState state);  // "idle", "running", "stopping", "stopped"

enum class PanelState {
  kIdle,      // waiting for a serial
  kStarting,  // a scan was taken: its unit has not begun
  kRunning,   // its unit's steps run
};
const char *PanelStateText(PanelState state);  // "idle", "starting", "running"

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
  std::string socket;
};

// The verdict banner: kept until the panel's next serial is taken.
struct BannerView {
  std::string serial;
  Verdict verdict = Verdict::kNotRun;
  std::string action;              // what to do with the phone, in the settings' words; empty after a PASS
  std::string actionKind;          // NextStepName: "retest", "repair", ...
  std::vector<std::string> lines;  // the failures in words (core/catalogue.h: FailureLines)
};

struct PromptView {
  uint64_t id = 0;  // 0: no prompt open
  std::string text;
};

// A scanned serial that passed today, waiting for the operator's yes.
struct ConfirmView {
  uint64_t id = 0;  // 0: none
  std::string serial;
  std::string text;
  std::string operatorName;  // who scanned it
};

struct PanelView {
  std::string socket;  // "" on a station of one socket
  PanelState state = PanelState::kIdle;
  std::optional<UnitView> current;
  std::vector<StepView> steps;  // the current unit's plan, step by step
  std::size_t stepsDone = 0;
  uint64_t waitMs = 0;  // the wait going on now, 0 when none
  uint64_t waitStartedAtMs = 0;
  PromptView prompt;
  ConfirmView confirm;
  std::optional<BannerView> banner;
  std::string notice;  // the last scan refused in this panel, naming its serial
};

// One band's spectrum plot of the last unit that measured one.
struct BandPlot {
  std::string title;  // "E-GSM 900 ch 20 PCL 5"
  bool failed = false;
  std::string svg;
};

// One copy of everything the page shows, taken under the screen's lock.
struct Snapshot {
  // The page shows a yield and units per hour from this many units with a verdict on.
  static constexpr int64_t kUnitsForFigures = 10;

  uint64_t version = 0;
  SessionState state = SessionState::kIdle;
  SessionRecord session;
  std::vector<PanelView> panels;
  // A prompt open on the station itself, which only the station's screen
  // answers (a real station's library asks with a message box): its text.
  std::optional<std::string> stationPrompt;
  std::vector<UnitView> recent;  // the last units, newest first
  Tally tally;                   // the session's, as of its last attempt
  Tally recentTally;             // over the last kYieldWindow units with a verdict
  std::vector<BandPlot> plots;   // svg left empty: fetched by its index and version
  std::string plotSerial;        // whose spectrum they show
  uint64_t plotVersion = 0;      // 0: no plot yet
  std::string notice;            // the outputs' last message for the operator
  std::string operatorName;      // who tests now; empty: nobody logged in
  bool operatorFixed = false;    // set by --operator: no login on the page
  int watchers = 0;              // pages connected now
  // The station's health: its last verification, its stop, the latest alarms.
  std::optional<HealthSummary> health;
  std::optional<LockRecord> stop;
  bool stopNeedsCode = false;
  std::vector<AlarmRecord> alarms;  // newest first

  // idle or running from the panels, unless stopping or stopped.
  SessionState sessionState() const;
  // The page's JSON, without the plots' drawings.
  std::string json() const;
};

// The header's words for the station's health at the time now:
// "Verified 2 h ago, golden G-0001, worst 0.3 dB".
std::string HealthText(const std::optional<HealthSummary> &health, std::time_t now);

struct Action {
  enum class Kind { kStart, kStop, kAcknowledge, kConfirm, kCancel, kLogin, kLogout };
  Kind kind = Kind::kStart;
  std::string serial;        // kStart; kConfirm: filled in from the confirmation
  std::string socket;        // the panel's: kStart, kAcknowledge, kConfirm, kCancel
  uint64_t id = 0;           // kAcknowledge: the prompt's; kConfirm, kCancel: the confirmation's
  std::string operatorName;  // kLogin; kStart and kConfirm: filled in with who is logged in

  static Action start(std::string serial, std::string socket = "") {
    return {Kind::kStart, std::move(serial), std::move(socket), 0, ""};
  }
  static Action stop() { return {Kind::kStop, "", "", 0, ""}; }
  static Action acknowledge(uint64_t prompt, std::string socket = "") {
    return {Kind::kAcknowledge, "", std::move(socket), prompt, ""};
  }
  static Action confirm(uint64_t id, std::string socket = "") {
    return {Kind::kConfirm, "", std::move(socket), id, ""};
  }
  static Action cancel(uint64_t id, std::string socket = "") { return {Kind::kCancel, "", std::move(socket), id, ""}; }
  static Action login(std::string name) { return {Kind::kLogin, "", "", 0, std::move(name)}; }
  static Action logout() { return {Kind::kLogout, "", "", 0, ""}; }
};

// What the prompt ended with.
enum class PromptAnswer { kAcknowledged, kStopped, kNoPage };

// An operator's id, a badge scanned or a name typed: 1 to 64 printable
// characters. Empty when it is one, else what is wrong with it.
std::string OperatorProblem(const std::string &name);

class Screen : public Subscriber {
 public:
  static constexpr std::size_t kRecentUnits = 20;
  static constexpr std::size_t kShownAlarms = 5;
  static constexpr std::size_t kQueuedActions = 16;
  static constexpr std::size_t kYieldWindow = 50;

  Screen();

  // --- set up before serving ---
  // The plan whose steps each attempt shows, not run yet, as it begins.
  void setPlan(const Plan &plan);
  // The station's serial pattern and next actions, and the retests a unit is allowed.
  void setRules(const StationSettings &settings, int retest);
  // The station's health the page shows and takes the technician's code into.
  void setHealth(StationHealth *health);
  // Asked every few milliseconds while prompt() or nextAction() waits: a true
  // answer (Ctrl-C) ends the wait as Stop does. At a prompt it adds no stop
  // request of the page's: the one stop is already counted where it came in,
  // and the cleanup runs.
  void setInterrupted(std::function<bool()> interrupted);

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

  // --- the session's side: the units' source and the prompts ---
  void setState(SessionState state);
  void setNotice(const std::string &text);
  // A prompt opened (its text) or closed (none) on the station itself.
  void setStationPrompt(const std::optional<std::string> &text);
  // The spectrum plots of the unit whose serial is given, failing bands first.
  void setPlots(const std::string &serial, std::vector<BandPlot> plots);
  // A scan the station's rules refused after it was taken (past its retests):
  // the panel is idle again and says why; repair: the banner says so too.
  void refuse(const std::string &socket, const std::string &serial, const std::string &why, bool repair);
  // A scan of a serial that passed today: the panel asks the operator first.
  void askConfirm(const std::string &socket, const std::string &serial, const std::string &text,
                  const std::string &operatorName);
  // A note beside a unit taken (the records could not be read).
  void noteTaken(const std::string &socket, const std::string &note);

  // Shows text in the socket's panel and blocks until a page acknowledges it
  // or Stop is pressed; kNoPage at once when no page is connected to answer.
  PromptAnswer prompt(const std::string &socket, const std::string &text);
  // The next action a page handed in, waiting up to timeout for one. A Stop
  // is also left standing in stopRequested().
  std::optional<Action> nextAction(std::chrono::milliseconds timeout);
  bool stopRequested() const;

  // --- the web server's threads ---
  Snapshot snapshot() const;
  // Waits until the snapshot is newer than seen, or timeout, or close();
  // returns the version now.
  uint64_t waitForChange(uint64_t seen, std::chrono::milliseconds timeout) const;
  // The drawing of plot index, and the plots' version; empty when there is none.
  std::string plot(std::size_t index, uint64_t &version) const;
  // Hands an action in; false, with the reason for the operator, when the
  // session cannot take it now.
  bool act(Action action, std::string &why);
  // The technician's code for the station's stop; false, with why.
  bool acknowledgeStop(const std::string &code, std::string &why);
  void watcherJoined();
  void watcherLeft();
  int watchers() const;
  // Wakes every waiter for good: the server is going down.
  void close();
  bool closed() const;

 private:
  void changed();                                       // with mutex_ held
  PanelView *panel(const std::string &socket);          // with mutex_ held; null when none is the socket's
  std::string refusal(Action &action);                  // with mutex_ held: why the action is refused now
  std::string startRefusal(const Action &action);       // with mutex_ held
  void taken(Action &action);                           // with mutex_ held: what an action taken changes
  void finishPanel(PanelView &p, const UnitRecord &u);  // with mutex_ held

  mutable std::mutex mutex_;
  mutable std::condition_variable change_;
  std::condition_variable action_;
  Snapshot data_;
  std::deque<Action> actions_;
  bool stopRequested_ = false;
  std::set<uint64_t> acknowledged_;  // prompts acknowledged, not yet closed
  bool closed_ = false;
  uint64_t nextId_ = 1;  // of prompts and confirmations
  std::vector<std::string> planSteps_;
  const StationSettings *settings_ = nullptr;
  int retest_ = 0;
  std::function<bool()> interrupted_;
  // The last units with a verdict, each with its attempts, for the recent yield.
  struct WindowUnit {
    std::string unitId;
    std::vector<std::pair<Prior, Verdict>> attempts;
  };
  std::deque<WindowUnit> window_;
  std::vector<std::string> plotSvgs_;  // the drawings of data_.plots
  StationHealth *health_ = nullptr;
};

}  // namespace vorn_host::web
