// The test fixture between the tester's RF connector and the phone: the
// coupler under the phone, the cables and the pogo pins. Its loss depends on
// frequency and grows as pins wear and cables are bent; the tester's own
// path-loss table (tester.h) is the station engineer's estimate of it.
//
// Both are tables at the twelve frequencies tester initialisation sends,
// read linearly in frequency between their lines, and flat beyond the first
// and the last.
#pragma once

#include <cstddef>
#include <vector>

namespace station {

// One line of a loss table.
struct LossPoint {
  double frequencyHz = 0.0;
  double lossDb = 0.0;
};

// The loss at frequencyHz: linear between the two lines around it, the
// nearest line's beyond the table, 0 for an empty table. points are in
// rising frequency.
double InterpolatedLossDb(const std::vector<LossPoint> &points, double frequencyHz);

// A GSM channel's carrier frequencies in Hz, band codes as the tester's
// (1 EGSM, 2 DCS, 3 PCS, 4 GSM850); 0 for a channel outside the band.
// Uplink: GSM850 824.2 MHz + 0.2 MHz a channel from 128; EGSM 890.0 MHz +
// 0.2 MHz a channel from 0 (975 to 1023 below, from 880.2 MHz); DCS 1710.2 MHz
// from 512; PCS 1850.2 MHz from 512. Downlink: uplink + 45 MHz (GSM850, EGSM),
// + 95 MHz (DCS), + 80 MHz (PCS).
double UplinkHz(int bandCode, int channel);
double DownlinkHz(int bandCode, int channel);

// The twelve frequencies of the tester's path-loss table, lines 1 to 12.
inline constexpr double kLossTableHz[12] = {824.2e6,  836.4e6,  848.8e6,  880.2e6,  902.4e6,  914.8e6,
                                            1710.2e6, 1747.6e6, 1784.8e6, 1861.0e6, 1877.8e6, 1909.8e6};
// The simulated station's fixture as built, at those frequencies: the values
// of examples/station.ini's [Attenuation], so that its readings are the
// phone's own. Held in single precision as the tester holds its table, so
// that a table equal to it cancels the loss exactly.
inline constexpr float kFixtureLossDb[12] = {0.6f, 0.6f, 0.7f, 0.7f, 0.7f, 0.8f, 1.1f, 1.2f, 1.2f, 1.3f, 1.3f, 1.4f};
inline constexpr std::size_t kLossLines = sizeof kLossTableHz / sizeof kLossTableHz[0];

class Fixture {
 public:
  // The true loss at frequencyHz, in dB: the fixture's table, plus its drift.
  double lossDb(double frequencyHz) const;
  // Wear: from now on the loss at frequencies from fromHz up to (not
  // including) toHz is db higher; drifts add up.
  void addDrift(double fromHz, double toHz, double db);
  // Back to the fixture as built, without drift.
  void reset() { *this = Fixture(); }

 private:
  struct Drift {
    double fromHz;
    double toHz;
    double db;
  };
  std::vector<LossPoint> loss_ = AsBuilt();
  std::vector<Drift> drifts_;

  static std::vector<LossPoint> AsBuilt();
};

}  // namespace station
