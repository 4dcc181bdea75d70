// The pieces that put a production session on the operator's screen: the
// units come from the serials scanned on the page, a real station's own
// prompts are watched for, and the finished unit's spectrum becomes the
// screen's plot. The page's side only ever touches the Screen.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/record.h"
#include "core/session.h"
#include "outputs/web/screen.h"

namespace vorn_host::web {

// The serials scanned on the page, one per Start; Stop (or Ctrl-C through
// the screen's interrupt) ends the session. A serial that is not one is
// refused on the page and waited past.
class ScannedUnits : public UnitSource {
 public:
  explicit ScannedUnits(Screen &screen) : screen_(screen) {}
  bool next(std::string &serial) override;
  bool scanned() const override { return true; }

 private:
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

// The spectrum of a unit's run as one SVG: due to modulation above due to
// switching, each drawn only when the run measured it; empty when neither.
std::string SpectrumPlot(const RunRecord &run);

}  // namespace vorn_host::web
