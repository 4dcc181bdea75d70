// The console: progress on standard error while the steps run ("[ 3/20]
// OBTInit, step 3 ... PASS (0.01 s)", with the long waits), a line per
// attempt of a session, the outputs' notices, what to do with a unit that
// did not pass and its failures in words, and at the end the results table (a single run) or
// the session's table on standard output.
#include <algorithm>
#include <cstdio>
#include <iostream>

#include "core/catalogue.h"
#include "core/golden.h"
#include "os/text.h"
#include "outputs/console/table.h"
#include "outputs/output.h"

namespace vorn_host {

namespace {

class Console : public Output, public Subscriber {
 public:
  // Waits from this length on are shown.
  static constexpr uint32_t kLongWaitMs = 500;

  Console(bool quiet, std::FILE *messages, NextActions actions, int retest)
      : quiet_(quiet), messages_(messages), actions_(std::move(actions)), retest_(retest) {}
  Subscriber &subscriber() override { return *this; }

  Delivery sessionStarted(const SessionRecord &session) override {
    // Several sockets' steps at once would cut into each other's lines: each
    // socket's units are told as they end.
    quiet_ = quiet_ || !session.sockets.empty();
    return Delivery::delivered();
  }
  void stepStarted(const std::string &, std::size_t index, std::size_t count, const PlanStep &step) override {
    longWaits_ = 0;
    if (quiet_) return;
    const int width = static_cast<int>(std::to_string(count).size());
    std::fprintf(messages_, "[%*zu/%zu] %s, step %d", width, index + 1, count, step.shortName().c_str(),
                 static_cast<int>(step.number));
    std::fflush(messages_);
  }
  void waiting(const std::string &, uint32_t milliseconds) override {
    if (quiet_ || milliseconds < kLongWaitMs) return;
    std::fprintf(messages_, "%s%.1f s", longWaits_ == 0 ? ": waiting on the equipment " : ", ", milliseconds / 1000.0);
    std::fflush(messages_);
    ++longWaits_;
  }
  void stepFinished(const std::string &, std::size_t, const StepRecord &record) override {
    if (quiet_) return;
    std::fprintf(messages_, " ... %s (%.2f s)\n", VerdictText(record.verdict), record.seconds);
    std::fflush(messages_);
  }
  void noticed(const std::string &text) override { Say(text); }

  Delivery attemptFinished(const UnitRecord &unit) override {
    last_ = unit;
    table_.add(unit);
    return Delivery::delivered();
  }
  void tallied(const Tally &tally) override {
    if (last_.session == nullptr || last_.session->single) return;
    const std::string attempt = last_.attempt > 1 ? " attempt " + std::to_string(last_.attempt) : "";
    const std::string socket = last_.socket.empty() ? "" : " (socket " + last_.socket + ")";
    Say("unit " + std::to_string(last_.index) + " " + last_.serial + attempt + socket + ": " +
        VerdictText(last_.run.verdict) + "; " + tally.line());
    // What to do with the phone, above what it failed.
    const std::string &next = NextStepText(actions_, NextStepOf(last_, retest_));
    if (!next.empty()) std::fprintf(messages_, "  Next: %s\n", TerminalText(next).c_str());
    Failures(last_.run);
  }

  Delivery sessionEnded(const SessionEnd &end) override {
    if (end.session->single) {
      if (last_.session == nullptr) return Delivery::delivered();
      if (!quiet_) std::cout << "\n";  // apart from the progress above it on a terminal
      WriteTable(std::cout, *end.session, last_.run);
      std::cout.flush();  // the table first, where both go to one terminal
      if (last_.run.verdict == Verdict::kFail || last_.run.verdict == Verdict::kError) {
        Say(std::string("the run did not pass (") + VerdictText(last_.run.verdict) + "):");
        Failures(last_.run);
      }
    } else {
      table_.write(std::cout, *end.session, end.tally, end.stopped);
      for (const auto &[socket, tally] : end.sockets)
        std::cout << "  socket " << socket << ": " << tally.line() << "\n";
    }
    std::cout.flush();
    // A table lost (a closed pipe, a full disk) is said, and the run does not pass.
    if (std::cout) return Delivery::delivered();
    return Delivery::lost(end.session->single ? "writing the results table to standard output failed"
                                              : "writing the session table failed");
  }
  // The golden unit's tables on standard output, after the run's own.
  Delivery verified(const VerificationRecord &v) override { return Table(VerificationTable(v)); }
  Delivery calibrated(const CalibrationRecord &c) override { return Table(CalibrationTable(c)); }
  Delivery alarmed(const AlarmRecord &a) override {
    Say(a.text);
    return Delivery::delivered();
  }
  Delivery locked(const LockRecord &l) override {
    Say(l.text());
    return Delivery::delivered();
  }
  Delivery acknowledged(const AcknowledgementRecord &a) override {
    Say("the station's stop is acknowledged (" + a.by + ", " + a.via + "): the next unit may start");
    return Delivery::delivered();
  }

 private:
  Delivery Table(const std::string &text) {
    std::cout << "\n";
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
      end = std::min(text.find('\n', at), text.size());
      std::cout << TerminalText(std::string_view(text).substr(at, end - at)) << "\n";
    }
    std::cout.flush();
    if (std::cout) return Delivery::delivered();
    return Delivery::lost("writing the golden unit's table to standard output failed");
  }
  void Say(const std::string &text) { std::fprintf(messages_, "vorn-host: %s\n", TerminalText(text).c_str()); }
  // What failed, a line each, in words (an ERROR with what to check).
  void Failures(const RunRecord &run) {
    for (const FailureLine &f : FailureLines(run)) std::fprintf(messages_, "  %s\n", TerminalText(f.line()).c_str());
    std::fflush(messages_);
  }

  bool quiet_;
  std::FILE *messages_;
  NextActions actions_;
  int retest_;
  int longWaits_ = 0;
  UnitRecord last_;
  SessionTable table_;
};

void AddOptions(CommandLine &line) { line.flag("--quiet", "no progress while running"); }

std::unique_ptr<Output> Open(OutputSetup &setup, std::string &) {
  const NextActions actions = setup.settings != nullptr ? setup.settings->actions : NextActions();
  return std::make_unique<Console>(setup.options.has("--quiet"), setup.messages, actions,
                                   static_cast<int>(setup.options.number("--retest")));
}

}  // namespace

OutputModule ConsoleOutput() { return {"console", AddOptions, nullptr, Open}; }

}  // namespace vorn_host
