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
#include <vector>

#include "core/record.h"
#include "core/session.h"
#include "outputs/web/screen.h"

namespace vorn_host::web {

// The serials scanned on the page, one per Start, each for the socket of
// the panel it was scanned in; Stop (or Ctrl-C through the screen's
// interrupt) ends the session. Through the station's rules (consult): a
// serial past its retests is refused in its panel, one that passed today
// waits there for the operator's yes, a rescanned one is its unit's next
// attempt.
class ScannedUnits : public UnitSource {
 public:
  explicit ScannedUnits(Screen &screen) : screen_(screen) {}
  bool next(std::string &serial) override;
  bool nextOrder(UnitOrder &order) override;
  void consult(Scans &scans) override { scans_ = &scans; }
  bool scanned() const override { return true; }

 private:
  // True with the order to test; else the panel says why not, or asks.
  bool take(const Action &action, bool confirmed, UnitOrder &order);

  Screen &screen_;
  Scans *scans_ = nullptr;
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

// The spectrum of a unit's run, one plot per band measured (per spectrum
// step, titled with the band, channel and level it was measured in, from the
// catalogue): due to modulation above due to switching, each drawn only when
// measured. The bands with an offset outside its limit come first; none
// when the run measured no spectrum.
std::vector<BandPlot> SpectrumPlots(const RunRecord &run);

}  // namespace vorn_host::web
