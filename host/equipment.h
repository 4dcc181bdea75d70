// What the host's run loop needs from the equipment side of a station, and
// no more: the waits the equipment makes during a step (shown as progress and
// kept in the record), the operator prompt (asking the operator for a line,
// such as the next phone's serial), and the notice that one phone left the
// fixture and the next arrived. The simulated station is one such side
// (simulation.h); the loop knows nothing else of it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vorn_host {

class Equipment {
 public:
  virtual ~Equipment() = default;
  // The equipment's waits so far, in milliseconds; the loop takes differences.
  virtual uint64_t waitedMs() const = 0;
  // Told of each wait as it begins; an empty function tells no one.
  virtual void onWait(std::function<void(uint32_t milliseconds)> listener) = 0;
  // Shows question to the operator and reads one line of answer, without its
  // line end. False at the end of the input or when reading was interrupted.
  virtual bool askOperator(const std::string &question, std::string &answer) = 0;
  // The phone with this serial is now in the fixture, in place of the last.
  virtual void newUnit(const std::string &serial) = 0;
};

}  // namespace vorn_host
