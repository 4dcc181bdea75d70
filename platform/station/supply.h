// The simulated programmable DC supply that feeds the phone, on the simulated GPIB bus.
#pragma once

namespace station {

class Supply {
 public:
  // Back to the supply as it is after power-on: output off.
  void reset();
};

}  // namespace station
