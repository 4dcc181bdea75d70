#include "station/phone.h"

#include "station/station.h"

namespace station {

namespace {

std::string PortName(int32_t port) { return "COM" + std::to_string(port); }

bool IsBaudRate(int32_t baud) {
  for (int32_t rate : {9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600}) {
    if (baud == rate) return true;
  }
  return false;
}

// A well-mixed 64-bit value from a serial and a salt (FNV-1a, then a
// splitmix finaliser): the same on every platform and in every run.
uint64_t Mix(std::string_view serial, uint64_t salt) {
  uint64_t h = 1469598103934665603ull ^ salt;
  for (const char c : serial) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  h += 0x9E3779B97F4A7C15ull * (salt + 1);
  h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ull;
  h = (h ^ (h >> 27)) * 0x94D049BB133111EBull;
  return h ^ (h >> 31);
}

// From -1 to 1, drawn by the serial.
double Spread(std::string_view serial, uint64_t salt) {
  return static_cast<double>(Mix(serial, salt) >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

}  // namespace

Phone::Deviations Phone::DeviationsFor(std::string_view serial, bool marginal) {
  Deviations d;
  if (serial.empty()) return d;
  d.powerDb = 0.8 * Spread(serial, 1);
  d.timingBits = 0.4 * Spread(serial, 2);
  d.spectrumDb = 1.0 * Spread(serial, 3);
  d.rxLevelDb = 1.0 * Spread(serial, 4);
  if (!marginal || Mix(serial, 5) % 20 != 0) return d;
  // Far enough out to miss the limit, whichever side it lands on.
  const double side = Spread(serial, 6) < 0 ? -1.0 : 1.0;
  switch (Mix(serial, 7) % 4) {
    case 0: d.powerDb = side * 4.5; break;
    case 1: d.timingBits = side * 1.5; break;
    case 2: d.spectrumDb = 4.5; break;  // a worse spectrum: nearer the mask
    default: d.rxLevelDb = side * 4.0; break;
  }
  return d;
}

void Phone::reset() { *this = Phone(); }

void Phone::replace(std::string_view serial) {
  Phone next;
  next.ports_ = ports_;
  next.staysOff_ = staysOff_;
  next.needsPowerKey_ = needsPowerKey_;
  next.staysInNormalMode_ = staysInNormalMode_;
  next.bands_ = bands_;
  next.queriesToIdle_ = queriesToIdle_;
  next.marginal_ = marginal_;
  next.silentPhones_ = silentPhones_;
  next.silent_ = silentPhones_ && SilentFor(serial);
  next.driftBand_ = driftBand_;
  next.driftPerUnitDb_ = driftPerUnitDb_;
  next.driftDb_ = driftDb_ + driftPerUnitDb_;
  // The computer's serial ports: an open link keeps its port until closed.
  next.links_ = std::move(links_);
  next.nextHandle_ = nextHandle_;  // a new link never gets an older link's handle
  next.serial_ = std::string(serial);
  next.deviations_ = DeviationsFor(serial, marginal_);
  *this = std::move(next);
}

void Phone::operatorAcknowledged(std::string_view text) {
  ++acknowledgements_;
  if (text == "Turn on phone!" && !staysOff_ && !silent_) switchedOn_ = true;
}

bool Phone::powered() const {
  if (staysOff_ || silent_) return false;
  if (switchedOn_) return true;
  if (needsPowerKey_) return false;
  const std::optional<double> volts = station().supply.outputVoltage();
  return volts && *volts >= kMinVolts && *volts <= kMaxVolts;
}

uint8_t Phone::fail(std::string text) {
  lastError_ = std::move(text);
  return kFailed;
}

uint8_t Phone::failOn(const Link &link, std::string_view what) {
  return fail(PortName(link.port) + ": " + std::string(what));
}

Phone::Link *Phone::link(uint32_t handle) {
  const auto it = links_.find(handle);
  if (it == links_.end()) {
    fail("link handle " + std::to_string(handle) + " is not open");
    return nullptr;
  }
  return &it->second;
}

Phone::Link *Phone::answering(uint32_t handle) {
  Link *l = link(handle);
  if (l == nullptr) return nullptr;
  if (!powered()) {
    camped_ = false;  // a phone without power forgets its cell
    queriesSeeingCell_ = 0;
    failOn(*l, "no answer from the phone");
    return nullptr;
  }
  if (station().clock.nowMs() < answersFromMs_) {
    failOn(*l, "no answer from the phone");
    return nullptr;
  }
  return l;
}

uint8_t Phone::openPort(int32_t port, uint32_t &handle) {
  if (ports_.count(port) == 0) return fail(PortName(port) + " does not exist on this computer");
  // A serial port is exclusive: while a link holds it, it opens for no one else.
  if (portHeld(port)) return fail(PortName(port) + " is in use by another link");
  handle = nextHandle_++;
  links_[handle].port = port;
  return kDone;
}

bool Phone::portHeld(int32_t port) const {
  for (const auto &entry : links_) {
    if (entry.second.port == port) return true;
  }
  return false;
}

uint8_t Phone::setConfigFile(const char *config, uint32_t handle) {
  Link *l = link(handle);
  if (l == nullptr) return kFailed;
  if (config == nullptr || *config == '\0') return failOn(*l, "no EEPROM configuration name");
  l->config = config;
  return kDone;
}

uint8_t Phone::setBaudRate(int32_t baud, uint32_t handle) {
  Link *l = link(handle);
  if (l == nullptr) return kFailed;
  if (!IsBaudRate(baud)) return failOn(*l, "baud rate " + std::to_string(baud) + " not supported");
  l->baud = baud;
  return kDone;
}

uint8_t Phone::setLine(const char *line, int32_t Link::*level, int32_t value, uint32_t handle) {
  Link *l = link(handle);
  if (l == nullptr) return kFailed;
  if (value != 0 && value != 1) {
    return failOn(*l, std::string(line) + " level " + std::to_string(value) + " is not 0 or 1");
  }
  l->*level = value;
  return kDone;
}

uint8_t Phone::setDtr(int32_t level, uint32_t handle) { return setLine("DTR", &Link::dtr, level, handle); }

uint8_t Phone::setRts(int32_t level, uint32_t handle) { return setLine("RTS", &Link::rts, level, handle); }

uint8_t Phone::setV24Mode(int32_t mode, uint32_t handle) {
  Link *l = link(handle);
  if (l == nullptr) return kFailed;
  if (mode != 0) return failOn(*l, "V.24 mode " + std::to_string(mode) + " not supported");
  l->v24Mode = mode;
  return kDone;
}

uint8_t Phone::checkLink(uint32_t handle) { return answering(handle) ? kDone : kFailed; }

uint8_t Phone::queryTestMode(uint8_t &inTestMode, uint32_t handle) {
  if (answering(handle) == nullptr) return kFailed;
  inTestMode = mode_ == Mode::Test ? 1 : 0;
  return kDone;
}

uint8_t Phone::setSerialInterfaceMode(int32_t mode, uint32_t handle) {
  Link *l = answering(handle);
  if (l == nullptr) return kFailed;
  if (mode != 0 && mode != 2) {
    return failOn(*l, "serial interface mode " + std::to_string(mode) + " not supported");
  }
  interfaceMode_ = mode;
  return kDone;
}

uint8_t Phone::softwareReset(uint32_t handle) {
  if (answering(handle) == nullptr) return kFailed;
  // Mode 2 asks for a restart in test mode, 0 for normal mode; without one
  // the phone restarts in the mode it is in.
  if (interfaceMode_ == 2) mode_ = staysInNormalMode_ ? Mode::Normal : Mode::Test;
  if (interfaceMode_ == 0) mode_ = Mode::Normal;
  answersFromMs_ = station().clock.nowMs() + kRestartMs;
  bcch_.reset();
  queriesSeeingCell_ = 0;
  camped_ = false;
  return kDone;
}

uint8_t Phone::setTestMode(int32_t mode, int32_t bcch, uint32_t handle) {
  Link *l = answering(handle);
  if (l == nullptr) return kFailed;
  if (mode_ != Mode::Test) return failOn(*l, "the phone is not in test mode");
  if (mode != 1) return failOn(*l, "test mode " + std::to_string(mode) + " not supported");
  if (bcch_ != bcch) {
    camped_ = false;
    queriesSeeingCell_ = 0;
  }
  bcch_ = bcch;
  return kDone;
}

bool Phone::seesItsCell() const {
  if (!bcch_) return false;
  const std::optional<CellBroadcast> cell = station().tester.broadcast();
  return cell && cell->bcch == *bcch_ && bands_.count(cell->bandCode) != 0 && cell->levelDbm >= kSensitivityDbm;
}

uint8_t Phone::queryIdle(uint8_t &idle, uint32_t handle) {
  if (answering(handle) == nullptr) return kFailed;
  if (!seesItsCell()) {
    camped_ = false;
    queriesSeeingCell_ = 0;
  } else if (camped_ || ++queriesSeeingCell_ >= queriesToIdle_) {
    camped_ = true;
    station().tester.phoneCamped();  // again on every query: the cell may have restarted
  }
  idle = camped_ ? 1 : 0;
  return kDone;
}

uint8_t Phone::setupEmergencyCall(uint32_t handle) {
  Link *l = answering(handle);
  if (l == nullptr) return kFailed;
  if (!camped_) return failOn(*l, "the phone is not camped on a cell");
  if (!station().tester.emergencyCallOriginated()) {
    return failOn(*l, "the cell did not take the emergency call");
  }
  return kDone;
}

uint8_t Phone::closePort(uint32_t handle) {
  if (link(handle) == nullptr) return kFailed;
  links_.erase(handle);
  return kDone;
}

void Phone::scriptedStatus(std::string_view op, int64_t status) {
  if (status != kDone) lastError_ = std::string(op) + ": status " + std::to_string(status) + " (scripted fault)";
}

}  // namespace station
