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

uint64_t WallMs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
          .count());
}

nlohmann::json UnitJson(const UnitView &u) {
  return {{"serial", JsonSafe(u.serial)}, {"unit", u.unit},
          {"attempt", u.attempt},         {"verdict", VerdictText(u.verdict)},
          {"seconds", u.seconds},         {"wallSeconds", u.wallSeconds},
          {"started", u.started},         {"operator", JsonSafe(u.operatorName)}};
}

nlohmann::json Optional(const std::optional<double> &v) { return v ? nlohmann::json(*v) : nlohmann::json(nullptr); }

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

std::string Snapshot::json() const {
  using nlohmann::json;
  json steps_ = json::array();
  for (const StepView &s : steps) {
    nlohmann::json misses = json::array();
    for (const std::string &m : s.misses) misses.push_back(JsonSafe(m));
    steps_.push_back({{"name", s.name},
                      {"verdict", s.running ? "RUNNING" : VerdictText(s.verdict)},
                      {"seconds", s.seconds},
                      {"text", JsonSafe(s.text)},
                      {"misses", misses},
                      {"waits", s.waits},
                      {"waitedMs", s.waitedMs},
                      {"endedAtMs", s.endedAtMs}});
  }
  json recent_ = json::array();
  for (const UnitView &u : recent) recent_.push_back(UnitJson(u));
  json bannerLines = json::array();
  if (banner) {
    for (const std::string &l : banner->lines) bannerLines.push_back(JsonSafe(l));
  }
  json out = {
      {"version", version},
      {"state", StateText(state)},
      {"station", JsonSafe(session.station)},
      {"plan", JsonSafe(session.plan)},
      {"simulated", session.simulated},
      {"operator", JsonSafe(session.operatorName)},
      {"current", current ? UnitJson(*current) : json(nullptr)},
      {"steps", steps_},
      {"stepsDone", stepsDone},
      {"waitMs", waitMs},
      {"waitStartedAtMs", waitStartedAtMs},
      {"prompt", prompt.id == 0 ? json(nullptr) : json{{"id", prompt.id}, {"text", JsonSafe(prompt.text)}}},
      {"stationPrompt", stationPrompt ? json(JsonSafe(*stationPrompt)) : json(nullptr)},
      {"banner", banner ? json{{"serial", JsonSafe(banner->serial)},
                               {"verdict", VerdictText(banner->verdict)},
                               {"lines", bannerLines}}
                        : json(nullptr)},
      {"recent", recent_},
      {"units", tally.units},
      {"attempts", tally.attempts},
      {"retests", tally.retests},
      {"stopped", tally.stopped},
      {"firstPassYield", Optional(tally.firstPassYield())},
      {"finalYield", Optional(tally.finalYield())},
      {"unitsPerHour", Optional(tally.unitsPerHour())},
      {"plotVersion", plotVersion},
      {"notice", JsonSafe(notice)},
      {"watchers", watchers},
      {"health", HealthJson(*this)},
  };
  return out.dump(-1, ' ', false, json::error_handler_t::replace);
}

Screen::Screen() = default;

void Screen::changed() {
  ++data_.version;
  change_.notify_all();
}

Delivery Screen::sessionStarted(const SessionRecord &session) {
  std::lock_guard<std::mutex> lock(mutex_);
  data_.session = session;
  changed();
  return Delivery::delivered();
}

Delivery Screen::attemptFinished(const UnitRecord &unit) {
  setPlot(SpectrumPlot(unit.run));
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
  data_.recent.insert(data_.recent.begin(), view);
  if (data_.recent.size() > kRecentUnits) data_.recent.resize(kRecentUnits);
  BannerView banner;
  banner.serial = unit.serial;
  banner.verdict = unit.run.verdict;
  for (const FailureLine &f : FailureLines(unit.run)) banner.lines.push_back(f.line());
  data_.banner = banner;
  if (data_.current) data_.current->verdict = unit.run.verdict;
  if (data_.current) data_.current->seconds = view.seconds;
  data_.waitMs = 0;
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

void Screen::setPlan(const Plan &plan) {
  std::lock_guard<std::mutex> lock(mutex_);
  planSteps_.clear();
  for (const PlanStep &step : plan.steps) planSteps_.push_back(step.shortName());
}

void Screen::attemptStarted(const AttemptStart &start) {
  std::lock_guard<std::mutex> lock(mutex_);
  UnitView view;
  view.serial = start.serial;
  view.unit = start.index;
  view.attempt = start.attempt;
  view.started = start.started;
  view.operatorName = start.operatorName;
  data_.current = view;
  data_.steps.clear();
  for (const std::string &name : planSteps_) data_.steps.emplace_back().name = name;
  data_.stepsDone = 0;
  data_.waitMs = 0;
  data_.banner.reset();
  data_.notice.clear();
  if (data_.state == SessionState::kIdle) data_.state = SessionState::kRunning;
  startPending_ = false;
  changed();
}

void Screen::stepStarted(const std::string &, std::size_t index, std::size_t, const PlanStep &step) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= data_.steps.size()) {
    data_.steps.resize(index + 1);
    data_.steps[index].name = step.shortName();
  }
  data_.steps[index].running = true;
  data_.waitMs = 0;
  changed();
}

void Screen::setStationPrompt(const std::optional<std::string> &text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (data_.stationPrompt == text) return;
  data_.stationPrompt = text;
  changed();
}

void Screen::waiting(const std::string &, uint32_t milliseconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (StepView &s : data_.steps) {
    if (!s.running) continue;
    ++s.waits;
    s.waitedMs += milliseconds;
  }
  data_.waitMs = milliseconds;
  data_.waitStartedAtMs = WallMs();
  changed();
}

void Screen::stepFinished(const std::string &, std::size_t, const StepRecord &record) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (StepView &s : data_.steps) {
    if (!s.running) continue;
    s.running = false;
    s.verdict = record.verdict;
    s.seconds = record.seconds;
    s.text = record.text;
    s.misses = record.misses;
    s.endedAtMs = WallMs();
    ++data_.stepsDone;
  }
  data_.waitMs = 0;
  changed();
}

void Screen::setState(SessionState state) {
  std::lock_guard<std::mutex> lock(mutex_);
  data_.state = state;
  if (state == SessionState::kIdle) startPending_ = false;
  changed();
}

void Screen::setNotice(const std::string &text) {
  std::lock_guard<std::mutex> lock(mutex_);
  data_.notice = text;
  changed();
}

void Screen::setPlot(std::string svg) {
  std::lock_guard<std::mutex> lock(mutex_);
  plot_ = std::move(svg);
  data_.plotVersion = plot_.empty() ? 0 : data_.version + 1;
  changed();
}

PromptAnswer Screen::prompt(const std::string &text) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (data_.watchers == 0 || closed_) return PromptAnswer::kNoPage;
  data_.prompt = PromptView{nextPromptId_++, text};
  acknowledged_ = false;
  changed();
  // A stop request from the terminal ends the wait as the page's Stop does,
  // but is not the page's: counted once, by whoever counts stop requests.
  auto answered = [&] { return acknowledged_ || stopRequested_ || closed_ || (interrupted_ && interrupted_()); };
  while (!action_.wait_for(lock, kPoll, answered)) {
  }
  const PromptAnswer answer = acknowledged_ ? PromptAnswer::kAcknowledged : PromptAnswer::kStopped;
  data_.prompt = PromptView{};
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

std::string Screen::plot(uint64_t &version) const {
  std::lock_guard<std::mutex> lock(mutex_);
  version = data_.plotVersion;
  return plot_;
}

bool Screen::act(const Action &action, std::string &why) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_ || data_.state == SessionState::kStopped) {
    why = "the station has stopped";
    return false;
  }
  switch (action.kind) {
    case Action::Kind::kStart:
      why = SerialProblem(action.serial);
      if (!why.empty()) break;
      if (const std::optional<LockRecord> stop = health_ != nullptr ? health_->locked() : std::nullopt) {
        why = stop->text() + ": no unit starts until a technician acknowledges the stop";
        break;
      }
      if (data_.state != SessionState::kIdle || startPending_) {
        why = "a unit is running: wait for its verdict";
      } else if (stopRequested_) {
        why = "the session is stopping";
      }
      break;
    case Action::Kind::kStop:
      if (stopRequested_) why = "the session is already stopping";
      break;
    case Action::Kind::kAcknowledge:
      if (data_.prompt.id == 0 || action.promptId != data_.prompt.id || acknowledged_) {
        why = "that prompt is no longer open";
      }
      break;
  }
  if (why.empty() && actions_.size() >= kQueuedActions) why = "too many actions at once";
  if (!why.empty()) return false;
  switch (action.kind) {
    case Action::Kind::kStart: startPending_ = true; break;
    case Action::Kind::kStop:
      stopRequested_ = true;
      if (data_.state != SessionState::kIdle) data_.state = SessionState::kStopping;
      break;
    case Action::Kind::kAcknowledge: acknowledged_ = true; break;
  }
  // A prompt waits for its answer inside a step; everything else waits its turn.
  if (action.kind != Action::Kind::kAcknowledge) actions_.push_back(action);
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
