// The simulated CMU200 radio tester: base system on the simulated GPIB bus,
// GSM signalling sessions, the cell and the call it carries, and its
// measurements of the phone.
#pragma once

#include <optional>

namespace station {

// What a phone in the tester's reach sees of its cell.
struct CellBroadcast {
  int bandCode = 0;        // the driver's band code: 1 EGSM, 2 DCS, 3 PCS, 4 GSM850
  int bcch = 0;            // the BCCH channel the cell broadcasts on
  double levelDbm = 0.0;   // the BCCH level at the phone, in dBm
};

class Tester {
 public:
  // Back to the instrument as it is after power-on.
  void reset();

  // Coupling with the phone.
  // The cell of the current signalling session while signalling is on.
  std::optional<CellBroadcast> broadcast() const;
  // The phone camped on the cell that broadcast() describes.
  void phoneCamped();
  // The camped phone originated an emergency call; true when the cell took it.
  bool emergencyCallOriginated();
};

}  // namespace station
