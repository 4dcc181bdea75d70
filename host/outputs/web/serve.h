// The pieces that put a production session on the operator's screen: the
// units come from the serials scanned on the page, the equipment tells the
// screen of each attempt and hands its prompts to the page, and the finished
// unit's spectrum becomes the screen's plot. All of them run on the session's
// thread; the page's side only ever touches the Screen.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/equipment.h"
#include "core/record.h"
#include "core/run.h"
#include "outputs/web/screen.h"
#include "core/session.h"

namespace vorn_host::web {

// The serials scanned on the page, one per Start; Stop (or Ctrl-C through
// the screen's interrupt) ends the session. A serial that is not one is
// refused on the page and waited past.
class ScannedUnits : public UnitSource {
 public:
  explicit ScannedUnits(Screen &screen) : screen_(screen) {}
  bool next(std::string &serial) override;

 private:
  Screen &screen_;
};

// The station's equipment as the screen sees it: every call goes on to the
// real side; a new unit starts an attempt on the screen, and the equipment's
// prompts go to the page while one is connected.
class ScreenEquipment : public Equipment {
 public:
  ScreenEquipment(Equipment &inner, Screen &screen);
  ~ScreenEquipment() override;
  uint64_t waitedMs() const override { return inner_.waitedMs(); }
  void onWait(std::function<void(uint32_t milliseconds)> listener) override { inner_.onWait(std::move(listener)); }
  bool askOperator(const std::string &question, std::string &answer) override {
    return inner_.askOperator(question, answer);
  }
  void newUnit(const std::string &serial) override;
  void onPrompt(std::function<std::optional<bool>(const std::string &text)> answer) override {
    inner_.onPrompt(std::move(answer));
  }

 private:
  Equipment &inner_;
  Screen &screen_;
};

// A real station's library asks its operator with a message box of its own,
// which the page cannot answer: while one is open, the screen says so. Looks
// four times a second from a thread of its own (look: the text of the box
// open now, false when none); never calls into the library.
class StationPromptWatch {
 public:
  StationPromptWatch(Screen &screen, std::function<bool(std::string &text)> look);
  ~StationPromptWatch();
  StationPromptWatch(const StationPromptWatch &) = delete;
  StationPromptWatch &operator=(const StationPromptWatch &) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool ending_ = false;
  std::thread thread_;
};

// Both the terminal's progress (when not null) and the screen's.
class BothProgress : public Progress {
 public:
  BothProgress(Progress *first, Progress &second) : first_(first), second_(second) {}
  void stepStarted(std::size_t index, std::size_t count, const PlanStep &step) override;
  void waiting(uint32_t milliseconds) override;
  void stepFinished(const StepRecord &record) override;

 private:
  Progress *first_;
  Progress &second_;
};

// The spectrum of a unit's run as one SVG: due to modulation above due to
// switching, each drawn only when the run measured it; empty when neither.
std::string SpectrumPlot(const RunRecord &run);

// Gives the screen each finished attempt's spectrum plot.
class SpectrumSink : public RecordSink {
 public:
  explicit SpectrumSink(Screen &screen) : screen_(screen) {}
  bool attemptFinished(const SessionInfo &session, const UnitRecord &unit, std::string &error) override;

 private:
  Screen &screen_;
};

}  // namespace vorn_host::web
