// The simulated CMU200 radio tester: base system on the simulated GPIB bus,
// GSM signalling sessions, the cell and the call it carries, and its
// measurements of the phone.
#pragma once

namespace station {

class Tester {
 public:
  // Back to the instrument as it is after power-on.
  void reset();
};

}  // namespace station
