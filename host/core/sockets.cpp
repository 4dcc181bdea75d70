#include "core/sockets.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "core/equipment.h"
#include "core/event_json.h"
#include "os/os.h"
#include "os/process.h"
#include "os/text.h"

namespace vorn_host {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDeathsOutOfService = 3;
constexpr std::chrono::milliseconds kLook(100);  // how often the loop looks for a stop
constexpr std::chrono::seconds kEndWait(10);     // for the workers to end once told

// What reaches the supervisor's loop, from the workers' readers, the units'
// source and the prompts' askers, each on a thread of its own.
struct Item {
  enum class Kind { kLine, kEnded, kOrder, kNoMoreUnits, kAnswer };
  Kind kind = Kind::kLine;
  std::size_t socket = 0;
  std::string line;
  UnitOrder order;
  bool ok = false;
};

class Queue {
 public:
  void push(Item item) {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.push_back(std::move(item));
    ready_.notify_one();
  }
  bool pop(Item &item, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!ready_.wait_for(lock, timeout, [this] { return !items_.empty(); })) return false;
    item = std::move(items_.front());
    items_.pop_front();
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Item> items_;
};

// A unit waiting for a free socket, and the attempt its unit started from
// (its retests count from there).
struct Pending {
  UnitOrder order;
  int base = 1;
};

// One socket: its worker, and the attempt it runs.
struct Worker {
  SocketSetting setting;
  std::unique_ptr<ChildProcess> process;
  std::thread reader;
  bool ready = false;
  bool busy = false;
  bool outOfService = false;
  int deaths = 0;
  Pending running;
  uint64_t lastHanded = 0;              // when it was last handed a unit, in units handed
  std::optional<AttemptStart> attempt;  // started and not finished
  std::vector<StepRecord> steps;        // of the attempt, finished so far
  double stationSeconds = 0.0;          // of its attempts: its own timeline
};

std::string Trimmed(const std::string &text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") + 1 - first);
}

}  // namespace

std::vector<SocketSetting> ReadSockets(const std::string &path, std::vector<std::string> &problems) {
  std::ifstream in(path, std::ios::binary);
  std::vector<SocketSetting> sockets;
  if (!in) {
    problems.push_back(path + ": cannot read the sockets file");
    return sockets;
  }
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    line = Trimmed(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    const std::size_t blank = line.find_first_of(" \t");
    const std::string where = path + ":" + std::to_string(number) + ": ";
    if (blank == std::string::npos) {
      problems.push_back(where + "\"" + Excerpt(line) + "\" names no parameter file (NAME PARAMETER-FILE)");
      continue;
    }
    SocketSetting s{line.substr(0, blank), Trimmed(line.substr(blank))};
    for (const SocketSetting &other : sockets) {
      if (other.name == s.name) problems.push_back(where + "a second socket named \"" + Excerpt(s.name) + "\"");
    }
    sockets.push_back(s);
  }
  if (sockets.empty() && problems.empty()) problems.push_back(path + ": the sockets file names no socket");
  return sockets;
}

std::vector<SocketSetting> NumberedSockets(int count, const std::string &parameters) {
  std::vector<SocketSetting> sockets;
  for (int i = 1; i <= count; ++i) sockets.push_back({std::to_string(i), parameters});
  return sockets;
}

struct Supervisor::Impl {
  SupervisorOptions options;
  std::vector<Worker> workers;
  // Shared with the prompts' askers, which may outlive the session: a read
  // of the terminal is not ended by the session's end.
  std::shared_ptr<Queue> events = std::make_shared<Queue>();
  Queue &queue = *events;
  SessionRecord found;

  // The session's state, on the loop's thread.
  const Plan *plan = nullptr;
  std::shared_ptr<SessionRecord> session;
  Bus *bus = nullptr;
  std::deque<Pending> waiting;  // retests first, then new units
  bool fetching = false;
  bool noMoreUnits = false;
  int stopsSent = 0;
  uint64_t handed = 0;
  bool virtualClock = false;
  bool scanned = false;  // the operator's scans: no socket waits for the others' clocks
  int lastIndex = 0;
  SupervisorResult result;
  SessionTally counted;
  std::map<std::string, Tally> perSocket;
  std::optional<Clock::time_point> firstStart;

  // The units' source, on a thread of its own: asked for one unit at a time.
  std::thread fetcher;
  std::mutex fetchMutex;
  std::condition_variable fetchWake;
  bool fetchWanted = false;
  bool fetchEnding = false;
  std::string fetchSocket;

  bool startWorker(std::size_t i, std::string &error);
  void endWorkers();
  void fetchUnits(UnitSource &units);
  void askFor(const std::string &socket);
  void handle(const Item &item);
  void onEvent(std::size_t i, const WorkerEvent &event);
  void onEnded(std::size_t i);
  void onFinished(std::size_t i, UnitRecord record);
  void dispatch();
  std::size_t freeSocket(const std::string &socket) const;
  void send(std::size_t i, const Pending &pending);
  void ask(std::size_t i, const std::string &text);
  void stopAll();
  bool busy() const;
  bool inService() const;
  UnitRecord crashRecord(std::size_t i, const std::string &end) const;
};

Supervisor::Supervisor(SupervisorOptions options) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  for (const SocketSetting &s : impl_->options.sockets) impl_->workers.emplace_back().setting = s;
}

Supervisor::~Supervisor() { impl_->endWorkers(); }

const SessionRecord &Supervisor::found() const { return impl_->found; }

bool Supervisor::Impl::startWorker(std::size_t i, std::string &error) {
  Worker &w = workers[i];
  if (w.reader.joinable()) w.reader.join();
  std::vector<std::string> argv = options.worker;
  argv.insert(argv.end() - 1, {"--worker", w.setting.name, "--params", w.setting.parameters});
  w.process = std::make_unique<ChildProcess>();
  w.ready = false;
  w.busy = false;
  if (!w.process->start(argv, error)) {
    error = "socket " + w.setting.name + ": cannot start its test process: " + error;
    return false;
  }
  ChildProcess *process = w.process.get();
  w.reader = std::thread([this, i, process] {
    for (std::string line; process->readLine(line);) queue.push({Item::Kind::kLine, i, line, {}, false});
    queue.push({Item::Kind::kEnded, i, "", {}, false});
  });
  return true;
}

bool Supervisor::start(std::string &error) {
  Impl &s = *impl_;
  for (std::size_t i = 0; i < s.workers.size(); ++i) {
    if (!s.startWorker(i, error)) return false;
  }
  // Each worker loads its own library and station: each must say it is ready.
  std::size_t ready = 0;
  bool first = true;
  while (ready < s.workers.size()) {
    Item item;
    if (!s.queue.pop(item, kLook)) {
      if (s.options.stopRequests && s.options.stopRequests() > 0) {
        error = "stopped while the sockets were starting";
        return false;
      }
      continue;
    }
    Worker &w = s.workers[item.socket];
    WorkerEvent event;
    std::string ignored;
    if (item.kind == Item::Kind::kEnded) {
      error = "socket " + w.setting.name + ": its test process ended before it was ready (" + w.process->wait() +
              "; its own message is above)";
      return false;
    }
    if (!ParseEvent(item.line, event, ignored) || event.kind != WorkerEvent::Kind::kReady || w.ready) continue;
    w.ready = true;
    ++ready;
    if (first) s.found = event.session;
    first = false;
  }
  return true;
}

void Supervisor::Impl::endWorkers() {
  {
    std::lock_guard<std::mutex> lock(fetchMutex);
    fetchEnding = true;
  }
  fetchWake.notify_all();
  // The end of its input ends a worker's session; one that does not end in
  // time is ended.
  for (Worker &w : workers) {
    if (w.process) w.process->closeInput();
  }
  const Clock::time_point until = Clock::now() + kEndWait;
  for (Worker &w : workers) {
    if (!w.process) continue;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (!w.process->endsWithin(static_cast<int>(std::max<long long>(left, 0)))) w.process->kill();
    w.process->wait();
    if (w.reader.joinable()) w.reader.join();
  }
  if (fetcher.joinable()) fetcher.join();
}

void Supervisor::Impl::fetchUnits(UnitSource &units) {
  for (;;) {
    std::string socket;
    {
      std::unique_lock<std::mutex> lock(fetchMutex);
      fetchWake.wait(lock, [this] { return fetchWanted || fetchEnding; });
      if (fetchEnding) return;
      fetchWanted = false;
      socket = fetchSocket;
    }
    Item item{Item::Kind::kOrder, 0, "", {}, false};
    item.order.socket = socket;
    const bool more = units.nextOrder(item.order);
    if (!more) item.kind = Item::Kind::kNoMoreUnits;
    queue.push(item);
    if (!more) return;
  }
}

void Supervisor::Impl::askFor(const std::string &socket) {
  fetching = true;
  {
    std::lock_guard<std::mutex> lock(fetchMutex);
    fetchWanted = true;
    fetchSocket = socket;
  }
  fetchWake.notify_all();
}

bool Supervisor::Impl::busy() const {
  for (const Worker &w : workers) {
    if (w.busy) return true;
  }
  return false;
}

bool Supervisor::Impl::inService() const {
  for (const Worker &w : workers) {
    if (!w.outOfService) return true;
  }
  return false;
}

void Supervisor::Impl::send(std::size_t i, const Pending &pending) {
  Worker &w = workers[i];
  WorkerCommand test;
  test.attempt.serial = pending.order.serial;
  test.attempt.unitId = pending.order.unitId.empty() ? NewUuid() : pending.order.unitId;
  test.attempt.index = pending.order.index > 0 ? pending.order.index : ++lastIndex;
  test.attempt.attempt = pending.order.attempt;
  test.attempt.prior = pending.order.prior;
  test.attempt.operatorName = pending.order.operatorName.empty() ? options.operatorName : pending.order.operatorName;
  w.lastHanded = ++handed;
  w.running = pending;
  w.running.order.unitId = test.attempt.unitId;
  w.running.order.index = test.attempt.index;
  w.running.order.operatorName = test.attempt.operatorName;
  w.busy = w.process->send(CommandLineText(test));
}

// The free socket that has waited longest, among those named (all, when
// socket is empty); workers.size() when none is free.
std::size_t Supervisor::Impl::freeSocket(const std::string &socket) const {
  // On the virtual clock a socket's units take no wall time: a socket ahead
  // on its own clock waits for the others, as it would in real time. Not for
  // scanned units: the operator loads a socket when the operator is ready,
  // and a socket left idle would hold every other one for good.
  double earliest = -1.0;
  for (const Worker &w : workers) {
    if (w.outOfService || !virtualClock || scanned) continue;
    if (earliest < 0.0 || w.stationSeconds < earliest) earliest = w.stationSeconds;
  }
  std::size_t chosen = workers.size();
  for (std::size_t i = 0; i < workers.size(); ++i) {
    const Worker &w = workers[i];
    if (!w.ready || w.busy || w.outOfService || (!socket.empty() && socket != w.setting.name)) continue;
    if (virtualClock && !scanned && w.stationSeconds > earliest) continue;
    if (chosen == workers.size() || w.lastHanded < workers[chosen].lastHanded) chosen = i;
  }
  return chosen;
}

// Free sockets get the units waiting (retests first), each on the socket it
// names (a scan in that socket's panel) or the one free the longest; the
// next free socket asks the units' source for the next unit.
void Supervisor::Impl::dispatch() {
  if (stopsSent > 0 || result.recordLost) return;
  for (auto it = waiting.begin(); it != waiting.end();) {
    const std::size_t chosen = freeSocket(it->order.socket);
    if (chosen == workers.size()) {
      ++it;
      continue;
    }
    send(chosen, *it);
    it = waiting.erase(it);
  }
  if (fetching || noMoreUnits) return;
  const std::size_t next = freeSocket("");
  if (next < workers.size()) askFor(workers[next].setting.name);
}

void Supervisor::Impl::stopAll() {
  ++stopsSent;
  WorkerCommand stop;
  stop.kind = WorkerCommand::Kind::kStop;
  for (Worker &w : workers) {
    if (w.process && w.process->running()) w.process->send(CommandLineText(stop));
  }
}

// A socket's prompt ("Turn on phone!"), answered in its panel or at the
// terminal, on a thread of its own: the other sockets go on meanwhile.
void Supervisor::Impl::ask(std::size_t i, const std::string &text) {
  const std::string socket = workers[i].setting.name;
  auto answer = options.answerPrompt;
  std::thread([queue = events, i, socket, text, answer] {
    std::optional<bool> ok = answer ? answer(socket, text) : std::nullopt;
    if (!ok) {
      std::string line;
      ok = AskAtTerminal(stdin, stderr, "socket " + socket + ": " + text + " (Enter: OK) ", line);
    }
    queue->push({Item::Kind::kAnswer, i, "", {}, *ok});
  }).detach();
}

UnitRecord Supervisor::Impl::crashRecord(std::size_t i, const std::string &end) const {
  const Worker &w = workers[i];
  const AttemptStart &a = *w.attempt;
  UnitRecord record;
  record.uuid = a.uuid;
  record.unitId = a.unitId;
  record.serial = a.serial;
  record.index = a.index;
  record.attempt = a.attempt;
  record.prior = a.prior;
  record.operatorName = a.operatorName;
  record.run.started = a.started;
  record.run.steps = w.steps;
  for (std::size_t s = w.steps.size(); s < plan->steps.size(); ++s) {
    StepRecord step;
    step.step = plan->steps[s];
    if (s == w.steps.size()) {
      // The step that was running when the process ended.
      step.verdict = Verdict::kError;
      step.text = "socket " + w.setting.name + ": the test process ended (" + end + ")";
    }
    record.run.steps.push_back(step);
  }
  for (const StepRecord &s : record.run.steps) {
    record.run.seconds += s.seconds;
    record.run.waitedMs += s.waitedMs;
  }
  record.run.verdict = Verdict::kError;
  return record;
}

void Supervisor::Impl::onFinished(std::size_t i, UnitRecord record) {
  Worker &w = workers[i];
  record.session = session;
  record.socket = w.setting.name;
  w.attempt.reset();
  w.busy = false;
  w.stationSeconds += record.run.stationSeconds();
  if (!bus->attemptFinished(record).kept()) result.recordLost = true;
  for (const Delivery &note : std::vector<Delivery>(bus->notes())) {
    if (!note.text.empty()) bus->noticed(note.text);
  }
  counted.add(record);
  result.tally = counted.tally;
  perSocket[w.setting.name].add(record);
  // The station's hours: the wall clock's, or the longest socket timeline on
  // the station's clock when that is longer (the virtual clock's waits).
  double station = 0.0;
  for (const Worker &other : workers) station = std::max(station, other.stationSeconds);
  const double wall = std::chrono::duration<double>(Clock::now() - firstStart.value_or(Clock::now())).count();
  result.tally.hoursSinceFirst = std::max(wall, station) / 3600.0;
  perSocket[w.setting.name].hoursSinceFirst = std::max(wall, w.stationSeconds) / 3600.0;
  bus->tallied(result.tally);
  bus->socketTallied(w.setting.name, perSocket[w.setting.name]);
  // A scanned unit is retested when the operator scans it again; none while the station is stopped.
  const bool held = options.held && options.held();
  if (stopsSent == 0 && !held && w.running.order.retest && Retested(record, w.running.base, options.retest)) {
    Pending retest = w.running;
    retest.order.attempt = record.attempt + 1;
    retest.order.prior = PriorOf(record.run.verdict);
    retest.order.socket.clear();  // any free socket
    waiting.push_front(retest);
  }
}

void Supervisor::Impl::onEnded(std::size_t i) {
  Worker &w = workers[i];
  const std::string end = w.process->wait();
  if (w.reader.joinable()) w.reader.join();
  if (w.attempt) onFinished(i, crashRecord(i, end));
  // Handed a unit it never began: the unit waits for the next free socket.
  if (w.busy && !w.attempt && stopsSent == 0) waiting.push_front(w.running);
  w.ready = false;
  w.busy = false;
  // Told to stop, a worker ends once its cleanup ran: no death. (At the
  // session's end the workers are ended after this loop.)
  if (stopsSent > 0) return;
  if (++w.deaths >= kDeathsOutOfService) {
    w.outOfService = true;
    bus->noticed("socket " + w.setting.name + " is out of service: its test process ended " + std::to_string(w.deaths) +
                 " times in a row (" + end + ")");
    return;
  }
  bus->noticed("socket " + w.setting.name + ": its test process ended (" + end + "); it starts again");
  std::string error;
  if (!startWorker(i, error)) {
    w.outOfService = true;
    bus->noticed(error);
  }
}

void Supervisor::Impl::onEvent(std::size_t i, const WorkerEvent &e) {
  Worker &w = workers[i];
  switch (e.kind) {
    case WorkerEvent::Kind::kReady: w.ready = true; break;
    case WorkerEvent::Kind::kIdle: break;  // a socket is free once its attempt finished
    case WorkerEvent::Kind::kAttemptStarted: {
      if (!firstStart) firstStart = Clock::now();
      AttemptStart start = e.start;
      start.socket = w.setting.name;
      w.attempt = start;
      w.steps.clear();
      bus->attemptStarted(start);
      break;
    }
    case WorkerEvent::Kind::kStepStarted:
      if (e.index < plan->steps.size()) bus->stepStarted(w.setting.name, e.index, e.count, plan->steps[e.index]);
      break;
    case WorkerEvent::Kind::kWaiting: bus->waiting(w.setting.name, e.milliseconds); break;
    case WorkerEvent::Kind::kStepFinished:
      w.steps.push_back(e.step);
      bus->stepFinished(w.setting.name, e.index, e.step);
      break;
    case WorkerEvent::Kind::kPromptOpened:
      bus->promptOpened(w.setting.name, e.text);
      ask(i, e.text);
      break;
    case WorkerEvent::Kind::kPromptClosed: bus->promptClosed(w.setting.name); break;
    case WorkerEvent::Kind::kNoticed: bus->noticed("socket " + w.setting.name + ": " + e.text); break;
    case WorkerEvent::Kind::kAttemptFinished: onFinished(i, e.record); break;
    case WorkerEvent::Kind::kFailed: bus->noticed("socket " + w.setting.name + ": " + e.text); break;
  }
}

void Supervisor::Impl::handle(const Item &item) {
  switch (item.kind) {
    case Item::Kind::kLine: {
      WorkerEvent event;
      std::string error;
      if (ParseEvent(item.line, event, error)) onEvent(item.socket, event);
      break;
    }
    case Item::Kind::kEnded: onEnded(item.socket); break;
    case Item::Kind::kOrder:
      fetching = false;
      waiting.push_back({item.order, item.order.attempt});
      break;
    case Item::Kind::kNoMoreUnits:
      fetching = false;
      noMoreUnits = true;
      break;
    case Item::Kind::kAnswer: {
      // A prompt ended by Stop (the page's, at its panel's prompt): the worker
      // hears the stop before the answer, so that its unit ends as stopped.
      if (options.stopRequests && options.stopRequests() > stopsSent) stopAll();
      WorkerCommand answer;
      answer.kind = WorkerCommand::Kind::kAnswer;
      answer.ok = item.ok;
      if (workers[item.socket].process) workers[item.socket].process->send(CommandLineText(answer));
      break;
    }
  }
}

SupervisorResult Supervisor::run(const Plan &plan, const std::shared_ptr<SessionRecord> &session, UnitSource &units,
                                 Bus &bus) {
  Impl &s = *impl_;
  s.plan = &plan;
  s.session = session;
  s.virtualClock = session->virtualClock;
  s.scanned = units.scanned();
  s.bus = &bus;
  s.result.recordLost = !bus.sessionStarted(*session).kept();
  s.fetcher = std::thread([&s, &units] { s.fetchUnits(units); });
  for (;;) {
    const int stops = s.options.stopRequests ? s.options.stopRequests() : 0;
    if (stops > s.stopsSent) s.stopAll();
    s.dispatch();
    const bool unitsLeft = !s.waiting.empty() || (!s.noMoreUnits && s.stopsSent == 0 && !s.result.recordLost);
    if (!s.busy() && (!unitsLeft || !s.inService())) break;
    Item item;
    if (s.queue.pop(item, kLook)) s.handle(item);
  }
  s.result.stopped = s.stopsSent > 0;
  session->ended = UtcNow();
  s.endWorkers();
  for (const auto &socket : s.perSocket) s.result.sockets.push_back(socket);
  SessionEnd end{session.get(), s.result.tally, s.result.stopped, s.result.recordLost, s.result.sockets};
  if (!bus.sessionEnded(end).kept()) s.result.recordLost = true;
  for (const Delivery &note : std::vector<Delivery>(bus.notes())) {
    if (!note.text.empty()) bus.noticed(note.text);
  }
  return s.result;
}

}  // namespace vorn_host
