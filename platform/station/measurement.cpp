#include "station/measurement.h"

#include <algorithm>
#include <cmath>

#include "station/fixture.h"
#include "station/station.h"
#include "station/tester.h"

namespace station {

namespace {

// The session must be open, and a measurement needs the established call on it.
int32_t CheckCall(int32_t sig) {
  const Tester &tester = station().tester;
  if (const int32_t status = tester.checkSig(sig); status != kTesterOk) return status;
  return tester.callOn(sig) ? kTesterOk : kErrorNoCall;
}

// How much the tester's reading of the phone's transmission on the call
// differs from the phone's own power: fixture and correction at the uplink.
double ReadingShiftDb(int32_t sig, const CallView &call) {
  return station().tester.pathShiftDb(sig, UplinkHz(call.bandCode, call.trafficChannel), Path::Input);
}

// The traffic channel level that reaches the phone: fixture and correction at the downlink.
double LevelAtPhoneDbm(int32_t sig, const CallView &call) {
  return call.trafficLevelDbm +
         station().tester.pathShiftDb(sig, DownlinkHz(call.bandCode, call.trafficChannel), Path::Output);
}

}  // namespace

double NominalPowerDbm(int bandCode, int level) {
  if (bandCode == 2 || bandCode == 3) return 30.0 - 2.0 * std::clamp(level, 0, 15);
  return 33.0 - 2.0 * (std::clamp(level, 5, 19) - 5);
}

int32_t RxLevel(double dbm) { return static_cast<int32_t>(std::clamp(std::floor(dbm + 111.0), 0.0, 63.0)); }

int32_t RxQuality(double dbm) {
  if (dbm >= -101.0) return 0;
  return static_cast<int32_t>(std::clamp(std::ceil((-101.0 - dbm) * 0.9), 0.0, 7.0));
}

double Measurement::vary(double span) {
  seed_ = seed_ * 1664525u + 1013904223u;  // a fixed linear congruential sequence
  const double unit = static_cast<double>(seed_ >> 8) / static_cast<double>(1u << 24);
  return (unit * 2.0 - 1.0) * span;
}

int32_t Measurement::configure(int32_t sig, const std::string &name, std::vector<int32_t> values) {
  tell(name);
  if (const int32_t status = station().tester.checkSig(sig); status != kTesterOk) return status;
  std::string key = name;
  if (name == "ConfSpecModContMpo" || name == "ConfSpecSwitContMpo") {
    const int32_t points = name == "ConfSpecModContMpo" ? 11 : 4;
    if (values.empty() || values[0] < 1 || values[0] > points) return kErrorParameter;
    key += " " + std::to_string(values[0]);
  }
  settings[key] = std::move(values);
  return kTesterOk;
}

int32_t Measurement::initiateSpectrum(int32_t sig) {
  tell("InitSpecMSw");
  if (const int32_t status = CheckCall(sig); status != kTesterOk) return status;
  spectrumInitiated_.insert(sig);
  return kTesterOk;
}

int32_t Measurement::fetchSpectrum(int32_t sig, double *values) {
  tell("FetcArrSpecMSw");
  if (values == nullptr) return kErrorParameter;
  if (const int32_t status = CheckCall(sig); status != kTesterOk) return status;
  if (spectrumInitiated_.count(sig) == 0) return kErrorNoResult;
  const CallView call = *station().tester.callOn(sig);
  // Absolute levels go through the fixture; the modulation spectrum is
  // relative to the carrier and does not move with it.
  const double shift = ReadingShiftDb(sig, call);
  const double carrier = NominalPowerDbm(call.bandCode, call.powerControlLevel) + shift + vary(0.2);
  // The phone's own spectrum shifts every offset but the nearest, which
  // is still the carrier's own skirt.
  const double own = station().phone.deviations().spectrumDb;
  for (int p = 1; p <= 11; ++p) {
    const double phone = p == 1 ? 0.0 : own;
    values[11 - p] = kModulationDb[p - 1] + phone + vary(0.15);
    values[11 + p] = kModulationDb[p - 1] + kModulationUpperSideDb + phone + vary(0.15);
  }
  for (int q = 1; q <= 4; ++q) {
    values[27 - q] = kSwitchingDbm[q - 1] + own + shift + vary(0.3);
    values[27 + q] = kSwitchingDbm[q - 1] + kSwitchingUpperSideDb + own + shift + vary(0.3);
  }
  // The reference carrier power, not an offset: no spectrum result.
  values[11] = carrier;
  values[27] = carrier;
  return kTesterOk;
}

int32_t Measurement::initiatePower(int32_t sig) {
  tell("InitPowMpr");
  if (const int32_t status = CheckCall(sig); status != kTesterOk) return status;
  powerInitiated_.insert(sig);
  return kTesterOk;
}

int32_t Measurement::fetchPower(int32_t sig, PowerResult &result) {
  tell("FetcPowMpr");
  if (const int32_t status = CheckCall(sig); status != kTesterOk) return status;
  if (powerInitiated_.count(sig) == 0) return kErrorNoResult;
  const CallView call = *station().tester.callOn(sig);
  const Phone::Deviations &own = station().phone.deviations();
  const double nominal = NominalPowerDbm(call.bandCode, call.powerControlLevel) + own.powerDb +
                         station().phone.powerDriftDb(call.bandCode) + ReadingShiftDb(sig, call);
  result.averagePower = nominal + vary(0.25);
  result.currentPower = result.averagePower + vary(0.05);
  result.statisticCount = 10;
  result.minimumPower = result.averagePower - 0.1 - std::fabs(vary(0.05));
  result.maximumPower = result.averagePower + 0.1 + std::fabs(vary(0.05));
  result.templateFlag = templateFlag;
  result.peakPower = result.averagePower + 0.6 + vary(0.1);
  result.usefulPartPower = result.averagePower + vary(0.05);
  result.timingAdvance = own.timingBits + vary(0.2);
  result.frequencyError = 12.0 + vary(8.0);
  return kTesterOk;
}

int32_t Measurement::rxLevel(int32_t sig, int32_t *level) {
  tell("SensRrepRxl");
  if (level == nullptr) return kErrorParameter;
  if (const int32_t status = CheckCall(sig); status != kTesterOk) return status;
  *level = RxLevel(LevelAtPhoneDbm(sig, *station().tester.callOn(sig)) + station().phone.deviations().rxLevelDb);
  return kTesterOk;
}

int32_t Measurement::rxQuality(int32_t sig, int32_t *quality) {
  tell("SensRrepRxq");
  if (quality == nullptr) return kErrorParameter;
  if (const int32_t status = CheckCall(sig); status != kTesterOk) return status;
  *quality = RxQuality(LevelAtPhoneDbm(sig, *station().tester.callOn(sig)));
  return kTesterOk;
}

}  // namespace station
