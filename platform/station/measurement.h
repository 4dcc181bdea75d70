// The simulated CMU200's measurements of the phone on the call: power versus
// time, the output RF spectrum (modulation and switching), and the phone's
// receiver report. Values follow the band and power control level of the call
// and the traffic channel level, with a small variation that repeats from run
// to run (fixed seed, restarted by reset()). Absolute levels pass the fixture
// and the tester's loss table on the way (Tester::pathShiftDb): the power the
// tester reads at the call's uplink, the level reaching the phone at its
// downlink.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace station {

// A fetch before its measurement was initiated on the session (no result available).
inline constexpr int32_t kErrorNoResult = static_cast<int32_t>(0xBFFA0004u);

// The phone's nominal output for band code and power control level, in dBm:
// GSM850 and EGSM 33 dBm at level 5 down to 5 dBm at 19, 2 dB a level;
// DCS and PCS 30 dBm at level 0 down to 0 dBm at 15.
double NominalPowerDbm(int bandCode, int powerControlLevel);
// RXLEV as GSM defines it: 0 below -110 dBm, 1 from -110, up to 63 from -48.
int32_t RxLevel(double dbm);
// RXQUAL: 0 at good levels, rising to 7 as the level falls below the
// phone's sensitivity (about -102 dBm).
int32_t RxQuality(double dbm);

// The spectrum due to modulation at the eleven offsets (0.10 to 1.80 MHz), relative to the carrier.
inline constexpr double kModulationDb[11] = {0.3, -33.0, -37.0, -66.0, -71.0, -72.0, -72.5, -73.0, -73.5, -74.0, -75.0};
// How far the upper side lies from the lower, modulation then switching.
inline constexpr double kModulationUpperSideDb = -0.1;
inline constexpr double kSwitchingUpperSideDb = -0.5;
// The spectrum due to switching at the four offsets (0.40 to 1.80 MHz), absolute.
inline constexpr double kSwitchingDbm[4] = {-25.0, -28.0, -30.0, -33.0};

// The outputs of one power-versus-time fetch, in the driver's argument order.
struct PowerResult {
  double averagePower = 0.0;     // argument 3: burst power, averaged, dBm
  double currentPower = 0.0;     // argument 4: burst power of the last burst, dBm
  int32_t statisticCount = 0;    // argument 5: bursts measured
  double minimumPower = 0.0;     // argument 6
  double maximumPower = 0.0;     // argument 7
  int32_t templateFlag = 0;      // argument 8: 0 when the burst is inside the template
  double peakPower = 0.0;        // argument 9
  double usefulPartPower = 0.0;  // argument 10
  double timingAdvance = 0.0;    // argument 11: burst timing error, bits
  double frequencyError = 0.0;   // argument 12: Hz
};

class Measurement {
 public:
  // Every configuration the measurements were told, by operation name without
  // the driver prefix, then its values ("ConfSpecModContMpo" keeps the latest
  // value of each point, keyed "ConfSpecModContMpo 3").
  std::map<std::string, std::vector<int32_t>> settings;
  // The template flag the power fetches report: 0 while the phone's burst is
  // inside the power-versus-time template; set it to rehearse a phone whose
  // burst is not.
  int32_t templateFlag = 0;

  // Back to power-on: no settings, no results, the seed restarted, no watcher.
  void reset() { *this = Measurement(); }

  // Someone to tell of each operation the measurements carry out, by its name
  // without the driver prefix ("ConfSpecModContMpo", "SensRrepRxl"), before it
  // takes effect: a rehearsal can change the station at that point, as an
  // operator might between two of a step's calls.
  void setWatcher(std::function<void(const std::string &operation)> watcher) { watcher_ = std::move(watcher); }

  int32_t configure(int32_t sig, const std::string &name, std::vector<int32_t> values);
  int32_t initiateSpectrum(int32_t sig);
  int32_t fetchSpectrum(int32_t sig, double *values /* 32 */);
  int32_t initiatePower(int32_t sig);
  int32_t fetchPower(int32_t sig, PowerResult &result);
  int32_t rxLevel(int32_t sig, int32_t *level);
  int32_t rxQuality(int32_t sig, int32_t *quality);
  // The signalling session was freed: its initiated measurements are gone.
  void forget(int32_t sig) {
    spectrumInitiated_.erase(sig);
    powerInitiated_.erase(sig);
  }

 private:
  // A small variation of at most +/- span, repeatable.
  double vary(double span);
  void tell(const std::string &operation) const {
    if (watcher_) watcher_(operation);
  }

  std::set<int32_t> spectrumInitiated_;
  std::set<int32_t> powerInitiated_;
  uint32_t seed_ = 20261208u;
  std::function<void(const std::string &)> watcher_;
};

}  // namespace station
