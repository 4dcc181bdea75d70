#include "station/tester.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "station/fixture.h"
#include "station/station.h"

namespace station {

namespace {

constexpr double kMinLevelDbm = -137.0;  // the tester's RF generator range
constexpr double kMaxLevelDbm = -10.0;
// The losses a line of the path-loss table takes: anything else, an
// infinity from the parameter file among it, is refused.
constexpr double kMinLossDb = -100.0;
constexpr double kMaxLossDb = 100.0;

int DefaultTrafficChannel(int bandCode) {
  switch (bandCode) {
    case 1: return 32;
    case 2: return 700;
    case 3: return 661;
    case 4: return 190;
  }
  return 0;
}

int DefaultBcch(int bandCode) {
  switch (bandCode) {
    case 1: return 20;
    case 2: return 512;
    case 3: return 512;
    case 4: return 128;
  }
  return 0;
}

// ConfHandTarg's codes, as the band codes they name.
int BandOfHandoverTarget(int target) {
  switch (target) {
    case 1: return 2;
    case 2: return 3;
    case 3: return 1;
    case 4: return 4;
  }
  return 0;
}

}  // namespace

bool IsValidBandCode(int bandCode) { return bandCode >= 1 && bandCode <= 4; }

bool IsValidChannel(int bandCode, int channel) {
  switch (bandCode) {
    case 1: return (channel >= 0 && channel <= 124) || (channel >= 975 && channel <= 1023);
    case 2: return channel >= 512 && channel <= 885;
    case 3: return channel >= 512 && channel <= 810;
    case 4: return channel >= 128 && channel <= 251;
  }
  return false;
}

int FunctionGroupOfBand(int bandCode) {
  switch (bandCode) {
    case 1: return 7;
    case 2: return 11;
    case 3: return 15;
    case 4: return 5;
  }
  return 0;
}

std::optional<double> Tester::Session::setting(const std::string &name) const {
  const auto it = settings.find(name);
  if (it == settings.end() || it->second.empty()) return std::nullopt;
  return it->second.front();
}

void Tester::reset() {
  const int32_t address = gpibAddress;
  *this = Tester();
  gpibAddress = address;
}

double Tester::Base::correctionDb(double frequencyHz, Path path) const {
  const std::size_t value = path == Path::Input ? 1 : 2;
  std::vector<LossPoint> points;
  for (const auto &[line, l] : lossLines) {
    if (l.pairs.size() <= value || l.pairs[0].first != 1 || l.pairs[value].first != 1) continue;
    points.push_back({l.pairs[0].second, l.pairs[value].second});
  }
  std::stable_sort(points.begin(), points.end(),
                   [](const LossPoint &a, const LossPoint &b) { return a.frequencyHz < b.frequencyHz; });
  return InterpolatedLossDb(points, frequencyHz);
}

double Tester::pathShiftDb(int32_t sig, double frequencyHz, Path path) const {
  double correction = 0.0;
  if (const auto session = sessions.find(sig); session != sessions.end()) {
    const auto base = bases.find(session->second.base);
    if (base != bases.end() && base->second.lossTableEnabled) correction = base->second.correctionDb(frequencyHz, path);
  }
  return correction - station().fixture.lossDb(frequencyHz);
}

int32_t Tester::initBase(int32_t address, int32_t *base) {
  if (base == nullptr) return kErrorParameter;
  if (address != gpibAddress) {
    *base = 0;
    return kErrorNoInstrument;
  }
  const int32_t handle = nextBaseHandle_++;
  Base opened;
  opened.open = true;
  opened.gpibAddress = address;
  bases[handle] = std::move(opened);
  *base = handle;
  return kTesterOk;
}

int32_t Tester::closeBase(int32_t base) {
  if (const int32_t status = checkBase(base); status != kTesterOk) return status;
  // The driver frees a closed session and the signalling sessions under it:
  // their handles are invalid from now on, and a station that opens one a
  // unit keeps no more of them than it has open.
  for (auto it = sessions.begin(); it != sessions.end();) {
    if (it->second.base != base) {
      ++it;
      continue;
    }
    station().measurement.forget(it->first);  // its measurements go with it
    it = sessions.erase(it);
  }
  bases.erase(base);
  return kTesterOk;
}

int32_t Tester::checkBase(int32_t base) const {
  const auto it = bases.find(base);
  return (it != bases.end() && it->second.open) ? kTesterOk : kErrorInvalidSession;
}

int32_t Tester::bindSecondary(int32_t base, int32_t secondary, int32_t functionGroup) {
  if (const int32_t status = checkBase(base); status != kTesterOk) return status;
  if (secondary < kFirstSecondaryAddress || secondary > kLastSecondaryAddress) return kErrorParameter;
  if (functionGroup < 1 || functionGroup > 31) return kErrorParameter;
  // Binding an address again replaces its earlier binding.
  Base &b = bases[base];
  b.secondaryToGroup[secondary] = functionGroup;
  b.boundAt[secondary] = ++b.binds;
  return kTesterOk;
}

int32_t Tester::setLossLine(int32_t base, int32_t line, LossLine values) {
  if (const int32_t status = checkBase(base); status != kTesterOk) return status;
  if (line < 1 || line > 50) return kErrorParameter;
  const auto &pairs = values.pairs;  // frequency, input loss, output loss, ...
  if (pairs.size() < 3 || !std::isfinite(pairs[0].second)) return kErrorParameter;
  for (const std::size_t k : {1u, 2u}) {
    if (!(pairs[k].second >= kMinLossDb && pairs[k].second <= kMaxLossDb)) return kErrorParameter;
  }
  bases[base].lossLines[line] = std::move(values);
  return kTesterOk;
}

int32_t Tester::enableLossTable(int32_t base, bool on) {
  if (const int32_t status = checkBase(base); status != kTesterOk) return status;
  bases[base].lossTableEnabled = on;
  return kTesterOk;
}

int32_t Tester::setTraceDisplay(int32_t base, bool on) {
  if (const int32_t status = checkBase(base); status != kTesterOk) return status;
  bases[base].traceDisplay = on;
  return kTesterOk;
}

int32_t Tester::options(int32_t base, std::string *text) const {
  if (text == nullptr) return kErrorParameter;
  if (const int32_t status = checkBase(base); status != kTesterOk) return status;
  *text = "B21,B52,B95,K21,K22,K23,K24,K42,K43";  // GSM signalling and measurements, all four bands
  return kTesterOk;
}

int32_t Tester::query(int32_t session, const std::string &text, std::string *answer) const {
  if (answer == nullptr) return kErrorParameter;
  if (const int32_t status = checkAnySession(session); status != kTesterOk) return status;
  if (text == "*OPC?") {
    *answer = "1";
  } else if (text == "*IDN?") {
    *answer = "Rohde&Schwarz,CMU 200,100001,V5.30";
  } else {
    return kErrorParameter;
  }
  return kTesterOk;
}

int32_t Tester::checkAnySession(int32_t session) const {
  return checkBase(session) == kTesterOk ? kTesterOk : checkSig(session);
}

int32_t Tester::setTimeout(int32_t session, int32_t timeoutMs) {
  if (const int32_t status = checkAnySession(session); status != kTesterOk) return status;
  if (timeoutMs < 0) return kErrorParameter;
  if (auto it = sessions.find(session); it != sessions.end()) it->second.timeoutMs = timeoutMs;
  return kTesterOk;
}

int32_t Tester::initSig(int32_t base, int32_t *sig, int32_t bandCode) {
  if (sig == nullptr) return kErrorParameter;
  if (const int32_t status = checkBase(base); status != kTesterOk) return status;
  if (!IsValidBandCode(bandCode)) return kErrorParameter;
  // The session takes the secondary address bound last to the band's function group.
  int32_t secondary = 0;
  int64_t latest = 0;
  const Base &b = bases[base];
  for (const auto &[address, group] : b.secondaryToGroup) {
    if (group != FunctionGroupOfBand(bandCode) || b.boundAt.at(address) < latest) continue;
    secondary = address;
    latest = b.boundAt.at(address);
  }
  if (secondary == 0) return kErrorNoFunctionGroup;
  const int32_t handle = nextSigHandle_++;
  Session session;
  session.base = base;
  session.bandCode = bandCode;
  session.secondary = secondary;
  sessions[handle] = session;
  *sig = handle;
  return kTesterOk;
}

int32_t Tester::checkSig(int32_t sig) const {
  const auto it = sessions.find(sig);
  if (it == sessions.end()) return kErrorInvalidSession;
  return checkBase(it->second.base);
}

int32_t Tester::configure(int32_t sig, const std::string &name, std::vector<double> values) {
  if (const int32_t status = checkSig(sig); status != kTesterOk) return status;
  Session &session = sessions[sig];
  const double first = values.empty() ? 0.0 : values.front();
  if (name == "ConfBssCchChan" && !IsValidChannel(session.bandCode, static_cast<int>(first))) {
    return kErrorParameter;
  }
  if ((name == "ConfBssCchLevAbs" || name == "ConfBssTchLevUtim") && (first < kMinLevelDbm || first > kMaxLevelDbm)) {
    return kErrorParameter;
  }
  if ((name == "Inp" || name == "Outp") && (first < 0 || first > 3)) return kErrorParameter;
  if (name == "ConfHandTarg" && BandOfHandoverTarget(static_cast<int>(first)) == 0) {
    return kErrorParameter;
  }
  if (name == "ConfNetwSystBandInd" && first != 0 && first != 1) return kErrorParameter;  // DCS, PCS
  session.settings[name] = std::move(values);
  return kTesterOk;
}

int32_t Tester::signallingAction(int32_t sig, int32_t action) {
  if (const int32_t status = checkSig(sig); status != kTesterOk) return status;
  switch (action) {
    case 1:  // signalling on: this session's cell goes on air
      cellSession = sig;
      signalling = Signalling::On;
      return kTesterOk;
    case 4:  // end the call; the phone stays synchronised
      if (sig == cellSession && signalling == Signalling::CallEstablished) {
        signalling = Signalling::Camped;
      }
      return kTesterOk;
    case 0:  // signalling off
      if (sig == cellSession) {
        signalling = Signalling::Off;
        cellSession = 0;
      }
      return kTesterOk;
  }
  return kErrorParameter;
}

int32_t Tester::signallingState(int32_t sig, int32_t *state) const {
  if (state == nullptr) return kErrorParameter;
  if (const int32_t status = checkSig(sig); status != kTesterOk) return status;
  *state = static_cast<int32_t>(sig == cellSession ? signalling : Signalling::Off);
  return kTesterOk;
}

int32_t Tester::handOver(int32_t current, int32_t target) {
  if (const int32_t status = checkSig(current); status != kTesterOk) return status;
  if (const int32_t status = checkSig(target); status != kTesterOk) return status;
  if (current != cellSession || signalling != Signalling::CallEstablished) return kErrorNoCall;
  const Session &from = sessions[current];
  const Session &to = sessions[target];
  const std::optional<double> wanted = from.setting("ConfHandTarg");
  if (!wanted || BandOfHandoverTarget(static_cast<int>(*wanted)) != to.bandCode) {
    return kErrorHandoverTarget;
  }
  if (target == current) return kTesterOk;  // the call stays where it is
  cellSession = target;
  call.bandCode = to.bandCode;
  // The call lands on the target cell's traffic channel.
  call.trafficChannel = static_cast<int>(to.setting("ConfBssTchChan").value_or(DefaultTrafficChannel(to.bandCode)));
  return kTesterOk;
}

int32_t Tester::setTrafficChannel(int32_t sig, int32_t channel) {
  if (const int32_t status = checkSig(sig); status != kTesterOk) return status;
  if (!callOn(sig)) return kErrorNoCall;
  if (!IsValidChannel(call.bandCode, channel)) return kErrorParameter;
  call.trafficChannel = channel;
  return kTesterOk;
}

int32_t Tester::setPowerControlLevel(int32_t sig, int32_t level) {
  if (const int32_t status = checkSig(sig); status != kTesterOk) return status;
  if (!callOn(sig)) return kErrorNoCall;
  if (level < 0 || level > 31) return kErrorParameter;
  call.powerControlLevel = level;
  return kTesterOk;
}

int32_t Tester::setTrafficLevel(int32_t sig, double dbm) {
  if (const int32_t status = checkSig(sig); status != kTesterOk) return status;
  if (!callOn(sig)) return kErrorNoCall;
  if (dbm < kMinLevelDbm || dbm > kMaxLevelDbm) return kErrorParameter;
  call.trafficLevelDbm = dbm;
  return kTesterOk;
}

std::optional<CallView> Tester::callOn(int32_t sig) const {
  if (checkSig(sig) != kTesterOk || sig != cellSession) return std::nullopt;
  if (signalling != Signalling::CallEstablished) return std::nullopt;
  return call;
}

std::optional<CellBroadcast> Tester::broadcast() const {
  if (signalling == Signalling::Off || checkSig(cellSession) != kTesterOk) return std::nullopt;
  const Session &session = sessions.at(cellSession);
  CellBroadcast cell;
  cell.bandCode = session.bandCode;
  cell.bcch = static_cast<int>(session.setting("ConfBssCchChan").value_or(DefaultBcch(session.bandCode)));
  const double level = session.setting("ConfBssCchLevAbs").value_or(-85.0);
  cell.levelDbm = level + pathShiftDb(cellSession, DownlinkHz(cell.bandCode, cell.bcch), Path::Output);
  return cell;
}

void Tester::phoneCamped() {
  if (signalling == Signalling::On) signalling = Signalling::Camped;
}

bool Tester::emergencyCallOriginated() {
  if (signalling != Signalling::Camped || checkSig(cellSession) != kTesterOk) return false;
  const Session &session = sessions.at(cellSession);
  signalling = Signalling::CallEstablished;
  call.bandCode = session.bandCode;
  call.trafficChannel = DefaultTrafficChannel(session.bandCode);
  call.powerControlLevel = static_cast<int>(session.setting("ConfMssCchPcl").value_or(5));
  call.trafficLevelDbm = session.setting("ConfBssTchLevUtim").value_or(-85.0);
  return true;
}

}  // namespace station
