// The simulated phone under test, on a serial port of the station.
#pragma once

#include <string_view>

namespace station {

class Phone {
 public:
  // Back to a phone that lies on the fixture, switched off, in normal mode.
  void reset();
  // The operator closed a prompt; "Turn on phone!" means the phone was switched on.
  void operatorAcknowledged(std::string_view text);
  // How many prompts the operator has closed since the reset.
  int acknowledgements() const { return acknowledgements_; }

 private:
  int acknowledgements_ = 0;
};

}  // namespace station
