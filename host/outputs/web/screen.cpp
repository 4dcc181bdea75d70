#include "outputs/web/screen.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <ctime>

#include "core/catalogue.h"
#include "core/record_json.h"
#include "core/session.h"
#include "outputs/web/serve.h"
#include "plots/plots.h"

namespace vorn_host::web {
namespace {

constexpr std::chrono::milliseconds kPoll(50);
constexpr std::size_t kLongestOperator = 64;

uint64_t WallMs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
          .count());
}

using nlohmann::json;

json Strings(const std::vector<std::string> &texts) {
  json out = json::array();
  for (const std::string &t : texts) out.push_back(JsonSafe(t));
  return out;
}

json UnitJson(const UnitView &u) {
  return {{"serial", JsonSafe(u.serial)}, {"unit", u.unit},
          {"attempt", u.attempt},         {"verdict", VerdictText(u.verdict)},
          {"seconds", u.seconds},         {"wallSeconds", u.wallSeconds},
          {"started", u.started},         {"operator", JsonSafe(u.operatorName)},
          {"socket", JsonSafe(u.socket)}};
}

json StepJson(const StepView &s) {
  return {{"name", s.name},
          {"verdict", s.running ? "RUNNING" : VerdictText(s.verdict)},
          {"seconds", s.seconds},
          {"text", JsonSafe(s.text)},
          {"misses", Strings(s.misses)},
          {"waits", s.waits},
          {"waitedMs", s.waitedMs},
          {"endedAtMs", s.endedAtMs}};
}

json PanelJson(const PanelView &p) {
  json steps = json::array();
  for (const StepView &s : p.steps) steps.push_back(StepJson(s));
  json banner = nullptr;
  if (p.banner) {
    banner = {{"serial", JsonSafe(p.banner->serial)},
              {"verdict", VerdictText(p.banner->verdict)},
              {"action", JsonSafe(p.banner->action)},
              {"actionKind", p.banner->actionKind},
              {"lines", Strings(p.banner->lines)}};
  }
  return {
      {"socket", JsonSafe(p.socket)},
      {"state", PanelStateText(p.state)},
      {"current", p.current ? UnitJson(*p.current) : json(nullptr)},
      {"steps", steps},
      {"stepsDone", p.stepsDone},
      {"waitMs", p.waitMs},
      {"waitStartedAtMs", p.waitStartedAtMs},
      {"prompt", p.prompt.id == 0 ? json(nullptr) : json{{"id", p.prompt.id}, {"text", JsonSafe(p.prompt.text)}}},
      {"confirm",
       p.confirm.id == 0
           ? json(nullptr)
           : json{{"id", p.confirm.id}, {"serial", JsonSafe(p.confirm.serial)}, {"text", JsonSafe(p.confirm.text)}}},
      {"banner", banner},
      {"notice", JsonSafe(p.notice)},
  };
}

// A figure from the tally, once there are enough units for it to mean something.
json Figure(const std::optional<double> &v, bool shown) { return v && shown ? json(*v) : json(nullptr); }

nlohmann::json HealthJson(const Snapshot &s) {
  using nlohmann::json;
  json alarms = json::array();
  for (const AlarmRecord &a : s.alarms) alarms.push_back({{"at", a.at}, {"text", JsonSafe(a.text)}});
  json health = {{"text", HealthText(s.health, std::time(nullptr))},
                 {"passed", s.health ? json(s.health->passed && !s.health->unchecked) : json(nullptr)},
                 {"alarms", alarms},
                 {"stop", nullptr}};
  if (s.stop) {
    health["stop"] = {{"text", JsonSafe(s.stop->text())},
                      {"since", s.stop->at},
                      {"reason", JsonSafe(s.stop->reason)},
                      {"action", JsonSafe(s.stop->action)},
                      {"code", s.stopNeedsCode}};
  }
  return health;
}

}  // namespace

std::string HealthText(const std::optional<HealthSummary> &h, std::time_t now) {
  if (!h) return "No verification on record";
  if (h->unchecked) return "Started without its health check (--no-health-check)";
  const std::optional<std::time_t> at = UtcSeconds(h->at);
  const std::string age = at ? AgeText(std::difftime(now, *at)) : h->at;
  const std::string worst = h->worst ? ", worst " + vorn_plots::Number(std::fabs(*h->worst), 1) + " dB" : "";
  return std::string(h->passed ? "Verified " : "Verification FAILED ") + age + ", golden " + h->golden + worst;
}

const char *StateText(SessionState state) {
  switch (state) {
    case SessionState::kIdle: return "idle";
    case SessionState::kRunning: return "running";
    case SessionState::kStopping: return "stopping";
    case SessionState::kStopped: return "stopped";
  }
  return "stopped";
}

const char *PanelStateText(PanelState state) {
  switch (state) {
    case PanelState::kIdle: return "idle";
    case PanelState::kStarting: return "starting";
    case PanelState::kRunning: return "running";
  }
  return "idle";
}

std::string OperatorProblem(const std::string &name) {
  if (name.empty()) return "the operator's id is empty";
  if (name.size() > kLongestOperator) {
    return "the operator's id is longer than " + std::to_string(kLongestOperator) + " characters";
  }
  if (name.front() == ' ' || name.back() == ' ') return "the operator's id begins or ends with a blank";
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return "the operator's id holds a control character";
  }
  return {};
}

SessionState Snapshot::sessionState() const {
  if (state == SessionState::kStopping || state == SessionState::kStopped) return state;
  for (const PanelView &p : panels) {
    if (p.state != PanelState::kIdle) return SessionState::kRunning;
  }
  return SessionState::kIdle;
}

std::string Snapshot::json() const {
  nlohmann::json panels_ = nlohmann::json::array();
  for (const PanelView &p : panels) panels_.push_back(PanelJson(p));
  nlohmann::json recent_ = nlohmann::json::array();
  for (const UnitView &u : recent) recent_.push_back(UnitJson(u));
  nlohmann::json plots_ = nlohmann::json::array();
  for (const BandPlot &p : plots) plots_.push_back({{"title", JsonSafe(p.title)}, {"failed", p.failed}});
  const bool shown = tally.units >= kUnitsForFigures;
  nlohmann::json out = {
      {"version", version},
      {"state", StateText(sessionState())},
      {"station", JsonSafe(session.station)},
      {"plan", JsonSafe(session.plan)},
      {"simulated", session.simulated},
      {"mode", ModeText(session.mode)},
      {"operator", JsonSafe(operatorName)},
      {"operatorFixed", operatorFixed},
      {"panels", panels_},
      {"stationPrompt", stationPrompt ? nlohmann::json(JsonSafe(*stationPrompt)) : nlohmann::json(nullptr)},
      {"recent", recent_},
      {"units", tally.units},
      {"attempts", tally.attempts},
      {"pass", tally.pass},
      {"fail", tally.fail},
      {"error", tally.error},
      {"retests", tally.retests},
      {"stopped", tally.stopped},
      {"figuresFrom", kUnitsForFigures},
      {"firstPassYield", Figure(tally.firstPassYield(), shown)},
      {"finalYield", Figure(tally.finalYield(), shown)},
      {"unitsPerHour", Figure(tally.unitsPerHour(), shown)},
      {"recentYield", Figure(recentTally.firstPassYield(), shown)},
      {"recentUnits", recentTally.units},
      {"plots", plots_},
      {"plotSerial", JsonSafe(plotSerial)},
      {"plotVersion", plotVersion},
      {"notice", JsonSafe(notice)},
      {"watchers", watchers},
      {"health", HealthJson(*this)},
  };
  return out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

Screen::Screen() { data_.panels.emplace_back(); }

void Screen::changed() {
  ++data_.version;
  change_.notify_all();
}

PanelView *Screen::panel(const std::string &socket) {
  for (PanelView &p : data_.panels) {
    if (p.socket == socket) return &p;
  }
  return nullptr;
}

void Screen::setPlan(const Plan &plan) {
  std::lock_guard<std::mutex> lock(mutex_);
  planSteps_.clear();
  for (const PlanStep &step : plan.steps) planSteps_.push_back(step.shortName());
}

void Screen::setRules(const StationSettings &settings, int retest) {
  std::lock_guard<std::mutex> lock(mutex_);
  settings_ = &settings;
  retest_ = retest;
}

Delivery Screen::sessionStarted(const SessionRecord &session) {
  std::lock_guard<std::mutex> lock(mutex_);
  data_.session = session;
  if (!session.sockets.empty()) {
    data_.panels.clear();
    for (const SocketRecord &s : session.sockets) data_.panels.emplace_back().socket = s.name;
  }
  if (!session.operatorName.empty()) {
    data_.operatorName = session.operatorName;
    data_.operatorFixed = true;
  }
  changed();
  return Delivery::delivered();
}

void Screen::attemptStarted(const AttemptStart &start) {
  std::lock_guard<std::mutex> lock(mutex_);
  PanelView *p = panel(start.socket);
  if (p == nullptr) return;
  UnitView view;
  view.serial = start.serial;
  view.unit = start.index;
  view.attempt = start.attempt;
  view.started = start.started;
  view.operatorName = start.operatorName;
  view.socket = start.socket;
  p->current = view;
  p->steps.clear();
  for (const std::string &name : planSteps_) p->steps.emplace_back().name = name;
  p->stepsDone = 0;
  p->waitMs = 0;
  p->banner.reset();
  p->notice.clear();
  p->state = PanelState::kRunning;
  changed();
}

void Screen::stepStarted(const std::string &socket, std::size_t index, std::size_t, const PlanStep &step) {
  std::lock_guard<std::mutex> lock(mutex_);
  PanelView *p = panel(socket);
  if (p == nullptr) return;
  if (index >= p->steps.size()) {
    p->steps.resize(index + 1);
    p->steps[index].name = step.shortName();
  }
  p->steps[index].running = true;
  p->waitMs = 0;
  changed();
}

void Screen::waiting(const std::string &socket, uint32_t milliseconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  PanelView *p = panel(socket);
  if (p == nullptr) return;
  for (StepView &s : p->steps) {
    if (!s.running) continue;
    ++s.waits;
    s.waitedMs += milliseconds;
  }
  p->waitMs = milliseconds;
  p->waitStartedAtMs = WallMs();
  changed();
}

void Screen::stepFinished(const std::string &socket, std::size_t, const StepRecord &record) {
  std::lock_guard<std::mutex> lock(mutex_);
  PanelView *p = panel(socket);
  if (p == nullptr) return;
  for (StepView &s : p->steps) {
    if (!s.running) continue;
    s.running = false;
    s.verdict = record.verdict;
    s.seconds = record.seconds;
    s.text = record.text;
    s.misses = record.misses;
    s.endedAtMs = WallMs();
    ++p->stepsDone;
  }
  p->waitMs = 0;
  changed();
}

void Screen::finishPanel(PanelView &p, const UnitRecord &unit) {
  BannerView banner;
  banner.serial = unit.serial;
  banner.verdict = unit.run.verdict;
  const NextStep next = NextStepOf(unit, retest_);
  banner.action = NextStepText(settings_ != nullptr ? settings_->actions : NextActions(), next);
  banner.actionKind = NextStepName(next);
  for (const FailureLine &f : FailureLines(unit.run)) banner.lines.push_back(f.line());
  p.banner = banner;
  if (p.current) p.current->verdict = unit.run.verdict;
  if (p.current) p.current->seconds = unit.run.stationSeconds();
  p.waitMs = 0;
  p.state = PanelState::kIdle;
}

Delivery Screen::attemptFinished(const UnitRecord &unit) {
  std::vector<BandPlot> plots = SpectrumPlots(unit.run);
  if (!plots.empty()) setPlots(unit.serial, std::move(plots));
  std::lock_guard<std::mutex> lock(mutex_);
  UnitView view;
  view.serial = unit.serial;
  view.unit = unit.index;
  view.attempt = unit.attempt;
  view.verdict = unit.run.verdict;
  view.seconds = unit.run.stationSeconds();
  view.wallSeconds = unit.run.seconds;
  view.started = unit.run.started;
  view.operatorName = unit.operatorName;
  view.socket = unit.socket;
  data_.recent.insert(data_.recent.begin(), view);
  if (data_.recent.size() > kRecentUnits) data_.recent.resize(kRecentUnits);
  if (PanelView *p = panel(unit.socket)) finishPanel(*p, unit);
  // The recent yield: the same tally over the last units with a verdict.
  auto at = std::find_if(window_.begin(), window_.end(), [&](const WindowUnit &w) { return w.unitId == unit.unitId; });
  if (at == window_.end()) at = window_.insert(window_.end(), WindowUnit{unit.unitId, {}});
  at->attempts.emplace_back(unit.prior, unit.run.verdict);
  const auto judged = [](const WindowUnit &w) {
    return std::any_of(w.attempts.begin(), w.attempts.end(),
                       [](const auto &a) { return a.second != Verdict::kNotRun; });
  };
  while (static_cast<std::size_t>(std::count_if(window_.begin(), window_.end(), judged)) > kYieldWindow) {
    window_.pop_front();
  }
  data_.recentTally = Tally();
  for (const WindowUnit &w : window_) {
    for (const auto &[prior, verdict] : w.attempts) data_.recentTally.add(prior, verdict, 0.0);
  }
  changed();
  return Delivery::delivered();
}

void Screen::noticed(const std::string &text) { setNotice(text); }

void Screen::tallied(const Tally &tally) {
  std::lock_guard<std::mutex> lock(mutex_);
  data_.tally = tally;
  changed();
}

Delivery Screen::sessionEnded(const SessionEnd &end) {
  std::lock_guard<std::mutex> lock(mutex_);
  data_.session = *end.session;
  data_.tally = end.tally;
  data_.state = SessionState::kStopped;
  for (PanelView &p : data_.panels) {
    if (p.state == PanelState::kStarting) p.state = PanelState::kIdle;
    p.confirm = ConfirmView();
  }
  changed();
  return Delivery::delivered();
}

Delivery Screen::alarmed(const AlarmRecord &alarm) {
  std::lock_guard<std::mutex> lock(mutex_);
  data_.alarms.insert(data_.alarms.begin(), alarm);
  if (data_.alarms.size() > kShownAlarms) data_.alarms.resize(kShownAlarms);
  changed();
  return Delivery::delivered();
}

Delivery Screen::locked(const LockRecord &) {
  std::lock_guard<std::mutex> lock(mutex_);
  data_.state = SessionState::kIdle;  // waiting, as for a serial, but for the technician's code
  changed();
  return Delivery::delivered();
}

Delivery Screen::acknowledged(const AcknowledgementRecord &) {
  std::lock_guard<std::mutex> lock(mutex_);
  changed();
  return Delivery::delivered();
}

void Screen::setHealth(StationHealth *health) {
  std::lock_guard<std::mutex> lock(mutex_);
  health_ = health;
  if (health_ != nullptr) health_->attend("the page");
}

bool Screen::acknowledgeStop(const std::string &code, std::string &why) {
  StationHealth *health = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    health = health_;
  }
  if (health == nullptr) {
    why = "the station is not stopped";
    return false;
  }
  if (!health->acknowledge(code, "technician on the page", "page", why)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  changed();
  return true;
}

void Screen::setStationPrompt(const std::optional<std::string> &text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (data_.stationPrompt == text) return;
  data_.stationPrompt = text;
  changed();
}

void Screen::setState(SessionState state) {
  std::lock_guard<std::mutex> lock(mutex_);
  data_.state = state;
  changed();
}

void Screen::setNotice(const std::string &text) {
  std::lock_guard<std::mutex> lock(mutex_);
  data_.notice = text;
  changed();
}

void Screen::setPlots(const std::string &serial, std::vector<BandPlot> plots) {
  std::lock_guard<std::mutex> lock(mutex_);
  plotSvgs_.clear();
  for (BandPlot &p : plots) plotSvgs_.push_back(std::move(p.svg));
  data_.plots = std::move(plots);
  data_.plotSerial = serial;
  data_.plotVersion = data_.plots.empty() ? 0 : data_.version + 1;
  changed();
}

void Screen::refuse(const std::string &socket, const std::string &serial, const std::string &why, bool repair) {
  std::lock_guard<std::mutex> lock(mutex_);
  PanelView *p = panel(socket);
  if (p == nullptr) return;
  p->state = PanelState::kIdle;
  p->notice = why;
  if (repair) {
    const std::string &words = settings_ != nullptr ? settings_->actions.repair : NextActions().repair;
    p->banner = BannerView{serial, Verdict::kFail, words, NextStepName(NextStep::kRepair), {why}};
  }
  changed();
}

void Screen::askConfirm(const std::string &socket, const std::string &serial, const std::string &text,
                        const std::string &operatorName) {
  std::lock_guard<std::mutex> lock(mutex_);
  PanelView *p = panel(socket);
  if (p == nullptr) return;
  p->state = PanelState::kIdle;
  p->confirm = ConfirmView{nextId_++, serial, text, operatorName};
  changed();
}

void Screen::noteTaken(const std::string &socket, const std::string &note) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (PanelView *p = panel(socket)) p->notice = note;
  changed();
}

PromptAnswer Screen::prompt(const std::string &socket, const std::string &text) {
  std::unique_lock<std::mutex> lock(mutex_);
  PanelView *p = panel(socket);
  if (data_.watchers == 0 || closed_ || p == nullptr) return PromptAnswer::kNoPage;
  const uint64_t id = nextId_++;
  p->prompt = PromptView{id, text};
  changed();
  // A stop request from the terminal ends the wait as the page's Stop does,
  // but is not the page's: counted once, by whoever counts stop requests.
  auto answered = [&] {
    return acknowledged_.count(id) > 0 || stopRequested_ || closed_ || (interrupted_ && interrupted_());
  };
  while (!action_.wait_for(lock, kPoll, answered)) {
  }
  const PromptAnswer answer = acknowledged_.erase(id) > 0 ? PromptAnswer::kAcknowledged : PromptAnswer::kStopped;
  p = panel(socket);
  if (p != nullptr && p->prompt.id == id) p->prompt = PromptView{};
  changed();
  return answer;
}

std::optional<Action> Screen::nextAction(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto until = std::chrono::steady_clock::now() + timeout;
  auto ready = [&] {
    if (interrupted_ && interrupted_() && !stopRequested_) {
      stopRequested_ = true;
      actions_.push_front(Action::stop());
    }
    return !actions_.empty() || closed_;
  };
  while (!ready() && std::chrono::steady_clock::now() < until) {
    action_.wait_until(lock, std::min(until, std::chrono::steady_clock::now() + kPoll), ready);
  }
  if (actions_.empty()) return std::nullopt;
  Action next = actions_.front();
  actions_.pop_front();
  return next;
}

void Screen::setInterrupted(std::function<bool()> interrupted) {
  std::lock_guard<std::mutex> lock(mutex_);
  interrupted_ = std::move(interrupted);
}

bool Screen::stopRequested() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopRequested_;
}

Snapshot Screen::snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  Snapshot now = data_;
  if (health_ != nullptr) {
    now.health = health_->summary();
    now.stop = health_->locked();
    now.stopNeedsCode = health_->needsCode();
  }
  return now;
}

uint64_t Screen::waitForChange(uint64_t seen, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  change_.wait_for(lock, timeout, [&] { return data_.version != seen || closed_; });
  return data_.version;
}

std::string Screen::plot(std::size_t index, uint64_t &version) const {
  std::lock_guard<std::mutex> lock(mutex_);
  version = data_.plotVersion;
  return index < plotSvgs_.size() ? plotSvgs_[index] : std::string();
}

std::string Screen::startRefusal(const Action &action) {
  const PanelView *p = panel(action.socket);
  if (p == nullptr) return "there is no socket \"" + JsonSafe(action.socket) + "\"";
  std::string why = ScanProblem(action.serial, settings_);
  if (!why.empty()) return why;
  const std::string &serial = action.serial;
  if (stopRequested_) return serial + " not taken: the station is stopping";
  if (const std::optional<LockRecord> stop = health_ != nullptr ? health_->locked() : std::nullopt) {
    return serial + " not taken: " + stop->text() + ": no unit starts until a technician acknowledges the stop";
  }
  if (data_.operatorName.empty()) return serial + " not taken: log in first (scan your badge or type your id)";
  if (p->prompt.id != 0) return serial + " not taken: the station asks \"" + p->prompt.text + "\": answer it first";
  if (p->state == PanelState::kStarting) return serial + " not taken: a unit is starting";
  if (p->state != PanelState::kIdle) return serial + " not taken: a unit is running";
  return {};
}

std::string Screen::refusal(Action &action) {
  const bool fixed = data_.operatorFixed;
  const char *const kFixed = "the operator is set on the host's command line (--operator)";
  PanelView *p = panel(action.socket);
  switch (action.kind) {
    case Action::Kind::kStart: return startRefusal(action);
    case Action::Kind::kStop: return stopRequested_ ? "the session is already stopping" : "";
    case Action::Kind::kAcknowledge:
      if (p == nullptr || p->prompt.id == 0 || action.id != p->prompt.id || acknowledged_.count(action.id) > 0) {
        return "that prompt is no longer open";
      }
      return "";
    case Action::Kind::kConfirm:
    case Action::Kind::kCancel:
      if (p == nullptr || p->confirm.id == 0 || action.id != p->confirm.id) return "that question is no longer open";
      if (action.kind == Action::Kind::kConfirm && stopRequested_) return "the station is stopping";
      action.serial = p->confirm.serial;
      action.operatorName = p->confirm.operatorName;
      return "";
    case Action::Kind::kLogin: {
      if (fixed) return kFixed;
      // A phone's serial scanned before anyone logged in is no badge.
      const bool serial =
          settings_ != nullptr && settings_->serialRegex && ScanProblem(action.operatorName, settings_).empty();
      if (serial) return action.operatorName + " is a phone's serial: scan your badge or type your id";
      return OperatorProblem(action.operatorName);
    }
    case Action::Kind::kLogout: return fixed ? kFixed : "";
  }
  return "";
}

void Screen::taken(Action &action) {
  PanelView *p = panel(action.socket);
  switch (action.kind) {
    case Action::Kind::kStart:
      action.operatorName = data_.operatorName;
      p->state = PanelState::kStarting;
      p->notice.clear();
      p->confirm = ConfirmView();  // a new scan answers an open question with no
      break;
    case Action::Kind::kStop:
      stopRequested_ = true;
      data_.state = SessionState::kStopping;
      break;
    case Action::Kind::kAcknowledge: acknowledged_.insert(action.id); break;
    case Action::Kind::kConfirm:
      p->confirm = ConfirmView();
      p->state = PanelState::kStarting;
      break;
    case Action::Kind::kCancel: p->confirm = ConfirmView(); break;
    case Action::Kind::kLogin: data_.operatorName = action.operatorName; break;
    case Action::Kind::kLogout: data_.operatorName.clear(); break;
  }
}

bool Screen::act(Action action, std::string &why) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_ || data_.state == SessionState::kStopped) {
    why = "the station has stopped";
    return false;
  }
  why = refusal(action);
  const bool queued = action.kind == Action::Kind::kStart || action.kind == Action::Kind::kStop ||
                      action.kind == Action::Kind::kConfirm;
  if (why.empty() && queued && actions_.size() >= kQueuedActions) why = "too many actions at once";
  if (!why.empty()) {
    // A refused scan is said in its panel, for every page to see.
    PanelView *p = action.kind == Action::Kind::kStart ? panel(action.socket) : nullptr;
    if (p != nullptr) p->notice = why;
    if (p != nullptr) changed();
    return false;
  }
  taken(action);
  // A prompt waits for its answer inside a step; a scan, a confirmation and
  // Stop wait their turn.
  if (queued) actions_.push_back(action);
  action_.notify_all();
  changed();
  return true;
}

void Screen::watcherJoined() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++data_.watchers;
  changed();
}

void Screen::watcherLeft() {
  std::lock_guard<std::mutex> lock(mutex_);
  --data_.watchers;
  changed();
}

int Screen::watchers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return data_.watchers;
}

void Screen::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  action_.notify_all();
  change_.notify_all();
}

bool Screen::closed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

}  // namespace vorn_host::web
