// --worker NAME: vorn-host as one socket's worker of a station of several
// (core/sockets.h). Its one output is this pipe to the supervisor: every
// event of its bus goes out on standard output as a line of JSON
// (core/event_json.h), and it is the worker's desk: the units to test, the
// prompts' answers and the stops come in on standard input. The worker
// writes no file of its own.
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include "core/event_json.h"
#include "outputs/output.h"

namespace vorn_host {

namespace {

class Pipe : public Output, public Subscriber, public Desk, public UnitSource {
 public:
  explicit Pipe(std::string socket) : socket_(std::move(socket)) {
    reader_ = std::thread([this] { readCommands(); });
  }
  ~Pipe() override {
    // The supervisor closes our input when it ends us; a reader still
    // waiting for it is left to the process's end.
    reader_.detach();
  }

  Subscriber &subscriber() override { return *this; }
  Desk *desk() override { return this; }
  UnitSource &units() override { return *this; }

  // --- the desk ---
  bool next(std::string &serial) override {
    UnitOrder order;
    const bool more = nextOrder(order);
    serial = order.serial;
    return more;
  }
  bool nextOrder(UnitOrder &order) override {
    say(WorkerEvent(WorkerEvent::Kind::kIdle));
    std::unique_lock<std::mutex> lock(mutex_);
    change_.wait(lock, [this] { return !tests_.empty() || ended_ || stops_ > 0; });
    if (tests_.empty()) return false;
    const AttemptStart a = tests_.front();
    tests_.pop_front();
    order = UnitOrder();
    order.serial = a.serial;
    order.unitId = a.unitId;
    order.index = a.index;
    order.attempt = a.attempt;
    order.prior = a.prior;
    order.retest = false;  // the supervisor retests, on any free socket
    order.operatorName = a.operatorName;
    return true;
  }
  std::optional<bool> answerPrompt(const std::string &, const std::string &) override {
    std::unique_lock<std::mutex> lock(mutex_);
    change_.wait(lock, [this] { return !answers_.empty() || ended_ || stops_ > 0; });
    if (answers_.empty()) return false;
    const bool ok = answers_.front();
    answers_.pop_front();
    return ok;
  }
  bool stopRequested() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return stops_ > 0;
  }

  // --- the events, to the supervisor ---
  Delivery sessionStarted(const SessionRecord &session) override {
    WorkerEvent e(WorkerEvent::Kind::kReady);
    e.session = session;
    say(e);
    return Delivery::delivered();
  }
  void attemptStarted(const AttemptStart &start) override {
    WorkerEvent e(WorkerEvent::Kind::kAttemptStarted);
    e.start = start;
    say(e);
  }
  void stepStarted(const std::string &, std::size_t index, std::size_t count, const PlanStep &) override {
    WorkerEvent e(WorkerEvent::Kind::kStepStarted);
    e.index = index;
    e.count = count;
    say(e);
  }
  void waiting(const std::string &, uint32_t milliseconds) override {
    WorkerEvent e(WorkerEvent::Kind::kWaiting);
    e.milliseconds = milliseconds;
    say(e);
  }
  void stepFinished(const std::string &, std::size_t index, const StepRecord &record) override {
    WorkerEvent e(WorkerEvent::Kind::kStepFinished);
    e.index = index;
    e.step = record;
    say(e);
  }
  void promptOpened(const std::string &, const std::string &text) override {
    WorkerEvent e(WorkerEvent::Kind::kPromptOpened);
    e.text = text;
    say(e);
  }
  void promptClosed(const std::string &) override { say(WorkerEvent(WorkerEvent::Kind::kPromptClosed)); }
  Delivery attemptFinished(const UnitRecord &unit) override {
    WorkerEvent e(WorkerEvent::Kind::kAttemptFinished);
    e.record = unit;
    // Kept when the supervisor has it: a worker that cannot say it is done.
    return say(e) ? Delivery::delivered() : Delivery::lost("socket " + socket_ + ": the supervisor is gone");
  }

 private:
  bool say(const WorkerEvent &event) {
    const std::string line = EventLine(event) + "\n";
    std::lock_guard<std::mutex> lock(writing_);
    return std::fwrite(line.data(), 1, line.size(), stdout) == line.size() && std::fflush(stdout) == 0;
  }

  void readCommands() {
    char buffer[65536];
    while (std::fgets(buffer, sizeof buffer, stdin) != nullptr) {
      WorkerCommand command;
      std::string error;
      if (!ParseCommand(buffer, command, error)) continue;
      std::lock_guard<std::mutex> lock(mutex_);
      switch (command.kind) {
        case WorkerCommand::Kind::kTest: tests_.push_back(command.attempt); break;
        case WorkerCommand::Kind::kAnswer: answers_.push_back(command.ok); break;
        case WorkerCommand::Kind::kStop: ++stops_; break;
      }
      change_.notify_all();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    change_.notify_all();
  }

  std::string socket_;
  std::mutex writing_;
  std::mutex mutex_;
  std::condition_variable change_;
  std::deque<AttemptStart> tests_;
  std::deque<bool> answers_;
  int stops_ = 0;
  bool ended_ = false;
  std::thread reader_;
};

void AddOptions(CommandLine &line) {
  line.value("--worker", "NAME", "");  // started by the supervisor of --sockets only
}

std::unique_ptr<Output> Open(OutputSetup &setup, std::string &) {
  const std::string socket = setup.options.text("--worker");
  if (socket.empty()) return nullptr;
  return std::make_unique<Pipe>(socket);
}

}  // namespace

OutputModule PipeOutput() { return {"pipe", AddOptions, "--worker", Open}; }

}  // namespace vorn_host
