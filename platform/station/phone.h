// The simulated phone under test, on a serial port of the station.
//
// The phone is fed by the station's supply (or switched on by the operator),
// answers on the serial link while it is on and not restarting, and is in
// normal mode or in test mode. A software reset restarts it in the mode its
// serial interface mode asks for. In test mode with a BCCH channel it looks
// for the tester's cell on that channel, camps on it after a few idle queries
// and can originate an emergency call, which the tester's cell takes.
//
// The operations of the phone's I/O library (platform/dwdio/api.cpp) land in
// the members below; each returns the library's status byte and, on failure,
// leaves a text in lastError() that says what went wrong.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace station {

class Phone {
 public:
  // Statuses of the phone's I/O library.
  static constexpr uint8_t kFailed = 0;
  static constexpr uint8_t kDone = 1;

  // The supply voltages at which the phone runs, in volts.
  static constexpr double kMinVolts = 3.3;
  static constexpr double kMaxVolts = 4.5;
  // How long a software reset keeps the phone from answering, in milliseconds.
  static constexpr uint64_t kRestartMs = 2000;
  // The weakest BCCH level the phone camps on, in dBm.
  static constexpr double kSensitivityDbm = -102.0;

  enum class Mode { Normal, Test };

  // How one phone differs from the nominal one; a phone without a serial has
  // none. Fixed by the serial: the same serial always gives the same phone.
  struct Deviations {
    double powerDb = 0.0;     // output power offset
    double timingBits = 0.0;  // burst timing error
    double spectrumDb = 0.0;  // spectrum outside the carrier, up (less margin) or down
    double rxLevelDb = 0.0;   // offset of the receive level the phone reports
  };
  // Within about +-0.8 dB of power, +-0.4 bit, +-1 dB of spectrum and of
  // receive level; a marginal share of phones (about 1 in 20) misses one of a
  // typical plan's limits by far: power, timing, spectrum or receive level.
  static Deviations DeviationsFor(std::string_view serial, bool marginal);

  // Back to a phone that lies on the fixture, switched off, in normal mode.
  void reset();
  // The phone is taken out and a new one with this serial put in: it is off,
  // in normal mode, camped nowhere, with its own deviations. The station
  // computer's ports stay as they are: a link left open still holds its port
  // (and now reaches the new phone) until it is closed. The rehearsal's
  // set-up stays too.
  void replace(std::string_view serial);
  const std::string &serial() const { return serial_; }
  const Deviations &deviations() const { return deviations_; }
  // The operator closed a prompt; "Turn on phone!" means the phone was switched on.
  void operatorAcknowledged(std::string_view text);
  // How many prompts the operator has closed since the reset.
  int acknowledgements() const { return acknowledgements_; }

  // ---- Set-up, for tests and the host runner's fault options ----
  // The serial ports of the station computer that exist (COM1 to COM8 by default).
  void setPorts(std::set<int32_t> ports) { ports_ = std::move(ports); }
  // The phone's own power key: on runs the phone even without the supply.
  void setSwitchedOn(bool on) { switchedOn_ = on; }
  // A phone that stays off: neither the supply nor the operator starts it.
  void setStaysOff(bool on) { staysOff_ = on; }
  // A phone the supply does not start: only the operator's power key does.
  void setNeedsPowerKey(bool on) { needsPowerKey_ = on; }
  // The mode the phone is in (a fresh phone is in normal mode).
  void setMode(Mode mode) { mode_ = mode; }
  // A phone that restarts in normal mode whatever it was asked for.
  void setStaysInNormalMode(bool on) { staysInNormalMode_ = on; }
  // The GSM bands the phone supports, by the tester's band codes (all four by default).
  void setBands(std::set<int> bandCodes) { bands_ = std::move(bandCodes); }
  // How many idle queries that see the cell it takes the phone to camp (3 by default).
  void setQueriesToIdle(int queries) { queriesToIdle_ = queries < 1 ? 1 : queries; }
  // Phones put in from now on include marginal ones (see DeviationsFor).
  void setMarginal(bool on) { marginal_ = on; }
  // Phones put in from now on whose serial ends in 0 never answer, as if they
  // stayed off (SIM-000010, SIM-000020, ...: every tenth generated unit).
  void setSilentPhones(bool on) { silentPhones_ = on; }
  static bool SilentFor(std::string_view serial) { return !serial.empty() && serial.back() == '0'; }
  // The output power in one band (a tester band code) drifts up by
  // dbPerUnit with each phone put in from now on, as a line's transmitter
  // calibration can drift: the first phone by dbPerUnit, the tenth by ten times it.
  void setPowerDrift(int bandCode, double dbPerUnit) {
    driftBand_ = bandCode;
    driftPerUnitDb_ = dbPerUnit;
  }
  // The drift of this phone's power in the band.
  double powerDriftDb(int bandCode) const { return bandCode == driftBand_ ? driftDb_ : 0.0; }

  // ---- What the phone is now ----
  bool powered() const;
  Mode mode() const { return mode_; }
  bool camped() const { return camped_; }
  bool linkOpen(uint32_t handle) const { return links_.count(handle) != 0; }
  // Whether an open link holds the port, so that no other open of it succeeds.
  bool portHeld(int32_t port) const;
  // The last failure's text, as DWD_get_last_error hands it out.
  const char *lastError() const { return lastError_.c_str(); }

  // ---- The I/O library's operations ----
  uint8_t openPort(int32_t port, uint32_t &handle);
  uint8_t setConfigFile(const char *config, uint32_t handle);
  uint8_t setBaudRate(int32_t baud, uint32_t handle);
  uint8_t setDtr(int32_t level, uint32_t handle);
  uint8_t setRts(int32_t level, uint32_t handle);
  uint8_t setV24Mode(int32_t mode, uint32_t handle);
  // kDone when the phone answers, kFailed when it does not.
  uint8_t checkLink(uint32_t handle);
  uint8_t queryTestMode(uint8_t &inTestMode, uint32_t handle);
  uint8_t setSerialInterfaceMode(int32_t mode, uint32_t handle);
  uint8_t softwareReset(uint32_t handle);
  uint8_t setTestMode(int32_t mode, int32_t bcch, uint32_t handle);
  uint8_t queryIdle(uint8_t &idle, uint32_t handle);
  uint8_t setupEmergencyCall(uint32_t handle);
  uint8_t closePort(uint32_t handle);
  // The fault script gave op this status instead of the phone's answer.
  void scriptedStatus(std::string_view op, int64_t status);

 private:
  struct Link {
    int32_t port = 0;
    int32_t baud = 115200;
    int32_t dtr = 0;
    int32_t rts = 0;
    int32_t v24Mode = 0;
    std::string config;
  };

  // The open link of handle, or nothing (with the last error set).
  Link *link(uint32_t handle);
  // The phone answers on the link of handle; otherwise the last error says why not.
  Link *answering(uint32_t handle);
  // Sets a modem line of the link to 0 or 1.
  uint8_t setLine(const char *line, int32_t Link::*level, int32_t value, uint32_t handle);
  uint8_t fail(std::string text);
  uint8_t failOn(const Link &link, std::string_view what);
  // Whether the cell on the channel the phone listens to is one it can camp on.
  bool seesItsCell() const;

  int acknowledgements_ = 0;
  std::set<int32_t> ports_ = {1, 2, 3, 4, 5, 6, 7, 8};
  bool switchedOn_ = false;
  bool staysOff_ = false;
  bool needsPowerKey_ = false;
  Mode mode_ = Mode::Normal;
  bool staysInNormalMode_ = false;
  std::set<int> bands_ = {1, 2, 3, 4};
  int queriesToIdle_ = 3;
  bool marginal_ = false;
  bool silentPhones_ = false;
  bool silent_ = false;  // this phone never answers
  int driftBand_ = 0;
  double driftPerUnitDb_ = 0.0;
  double driftDb_ = 0.0;
  std::string serial_;
  Deviations deviations_;

  std::map<uint32_t, Link> links_;
  uint32_t nextHandle_ = 1;
  std::optional<int32_t> interfaceMode_;  // set before a reset: 2 test mode, 0 normal mode
  uint64_t answersFromMs_ = 0;            // the end of a restart on the station clock
  std::optional<int32_t> bcch_;           // the channel test mode listens to
  int queriesSeeingCell_ = 0;
  bool camped_ = false;
  std::string lastError_ = "no error";
};

}  // namespace station
