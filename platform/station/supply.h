// The simulated programmable DC supply that feeds the phone, on the simulated GPIB bus.
#pragma once

#include <optional>

namespace station {

class Supply {
 public:
  // Back to the supply as it is after power-on: output off.
  void reset();

  // Coupling with the phone: the voltage at the output terminals while the
  // output is on, nothing while it is off.
  std::optional<double> outputVoltage() const;
};

}  // namespace station
