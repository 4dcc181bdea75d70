// The simulated CMU200 radio tester: base system on the simulated GPIB bus,
// secondary addresses bound to function groups, GSM signalling sessions, the
// cell and the call it carries.
//
// It behaves like the instrument: an operation on a handle that was never
// opened, or whose base system was closed, fails; a "Proc" operation needs a
// call; values out of the instrument's range are refused. The measurements of
// the phone on the call are in measurement.h.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace station {

// The secondary addresses the tester takes: 0 is its base system.
inline constexpr int32_t kFirstSecondaryAddress = 1;
inline constexpr int32_t kLastSecondaryAddress = 29;

// Driver statuses of the simulated tester (VXIplug&play style, stable).
inline constexpr int32_t kTesterOk = 0;
// No instrument answers at the GPIB address (VI_ERROR_RSRC_NFOUND).
inline constexpr int32_t kErrorNoInstrument = static_cast<int32_t>(0xBFFF0011u);
// The session handle is not an open session (VI_ERROR_INV_OBJECT).
inline constexpr int32_t kErrorInvalidSession = static_cast<int32_t>(0xBFFF000Eu);
// An argument is out of the instrument's range (VI_ERROR_PARAMETER2: the first after the handle).
inline constexpr int32_t kErrorParameter = static_cast<int32_t>(0xBFFC0002u);
// No function group is bound to a secondary address for the band (settings conflict).
inline constexpr int32_t kErrorNoFunctionGroup = static_cast<int32_t>(0xBFFA0001u);
// The operation needs an established call and there is none (settings conflict).
inline constexpr int32_t kErrorNoCall = static_cast<int32_t>(0xBFFA0002u);
// The handover target does not match the target session's band.
inline constexpr int32_t kErrorHandoverTarget = static_cast<int32_t>(0xBFFA0003u);

// What SensSignStat reports for the cell's session.
enum class Signalling : int32_t {
  Off = 0,              // no cell
  On = 1,               // the cell broadcasts
  Camped = 2,           // a phone is synchronised to the cell
  CallEstablished = 3,  // the phone's call is up
};

// What a phone in the tester's reach sees of its cell.
struct CellBroadcast {
  int bandCode = 0;       // the driver's band code: 1 EGSM, 2 DCS, 3 PCS, 4 GSM850
  int bcch = 0;           // the BCCH channel the cell broadcasts on
  double levelDbm = 0.0;  // the BCCH level at the phone (through the fixture), in dBm
};

// The call as the measurements see it.
struct CallView {
  int bandCode = 0;
  int trafficChannel = 0;
  int powerControlLevel = 0;
  double trafficLevelDbm = 0.0;  // the traffic channel level the tester is set to (pathShiftDb: at the phone)
};

// Band facts: channel ranges and the function group bound for signalling.
bool IsValidBandCode(int bandCode);
bool IsValidChannel(int bandCode, int channel);
int FunctionGroupOfBand(int bandCode);  // 5, 7, 11, 15

// Which way a signal goes through the fixture: into the tester's receiver
// (the phone's transmission) or out of its generator (the cell, to the phone).
enum class Path { Input, Output };

class Tester {
 public:
  struct LossLine {
    // The five (flag, value) pairs as sent: the frequency in Hz, the loss on
    // the input, the loss on the output, two unused; a pair counts when its
    // flag is 1.
    std::vector<std::pair<int32_t, double>> pairs;
  };
  struct Base {
    bool open = false;
    int32_t gpibAddress = 0;
    std::map<int32_t, int32_t> secondaryToGroup;  // bound secondary addresses
    std::map<int32_t, LossLine> lossLines;        // by line number
    bool lossTableEnabled = false;
    bool traceDisplay = false;
    std::map<int32_t, int64_t> boundAt;  // when each secondary address was last bound, in binds
    int64_t binds = 0;
    // What the loss table adds at frequencyHz on path, in dB, whether enabled or not.
    double correctionDb(double frequencyHz, Path path) const;
  };
  struct Session {
    int32_t base = 0;
    int bandCode = 0;
    int32_t secondary = 0;
    // Every setting the session was told, by operation name without the
    // driver prefix ("ConfNetwNSup", "ConfBssCchChan", "Inp", ...), latest value.
    std::map<std::string, std::vector<double>> settings;
    int32_t timeoutMs = 0;
    std::optional<double> setting(const std::string &name) const;
  };

  // Configuration of the simulated instrument.
  int32_t gpibAddress = 20;

  // What the instrument keeps.
  std::map<int32_t, Base> bases;        // by base handle
  std::map<int32_t, Session> sessions;  // by signalling handle
  int32_t cellSession = 0;              // the session whose cell is on air, 0 for none
  Signalling signalling = Signalling::Off;
  CallView call;  // valid while signalling is CallEstablished

  // Back to the instrument as it is after power-on (the configuration is kept).
  void reset();

  // ---- Base system ----
  int32_t initBase(int32_t gpibAddress, int32_t *base);
  int32_t closeBase(int32_t base);
  int32_t checkBase(int32_t base) const;  // kTesterOk for an open base
  int32_t bindSecondary(int32_t base, int32_t secondary, int32_t functionGroup);
  int32_t setLossLine(int32_t base, int32_t line, LossLine values);
  int32_t enableLossTable(int32_t base, bool on);
  int32_t setTraceDisplay(int32_t base, bool on);
  // The installed options, as the option query answers.
  int32_t options(int32_t base, std::string *text) const;
  // Any session handle: base or signalling ("*OPC?", time-out).
  int32_t checkAnySession(int32_t session) const;
  // IEEE 488.2 queries: "*OPC?" answers "1" once everything told is done, "*IDN?" the identity.
  int32_t query(int32_t session, const std::string &query, std::string *answer) const;
  int32_t setTimeout(int32_t session, int32_t timeoutMs);

  // ---- Signalling ----
  int32_t initSig(int32_t base, int32_t *sig, int32_t bandCode);
  int32_t checkSig(int32_t sig) const;  // kTesterOk for a session on an open base
  // Stores a configuration value after checking the session and, where the
  // instrument has one, the value's range.
  int32_t configure(int32_t sig, const std::string &name, std::vector<double> values);
  int32_t signallingAction(int32_t sig, int32_t action);  // 1 on, 4 end the call, 0 off
  int32_t signallingState(int32_t sig, int32_t *state) const;
  int32_t handOver(int32_t current, int32_t target);
  int32_t setTrafficChannel(int32_t sig, int32_t channel);
  int32_t setPowerControlLevel(int32_t sig, int32_t level);
  int32_t setTrafficLevel(int32_t sig, double dbm);

  // The established call on sig's session, if any.
  std::optional<CallView> callOn(int32_t sig) const;

  // ---- Coupling with the phone, through the fixture ----
  // What the fixture and the loss table of sig's base make of a signal at
  // frequencyHz on path, in dB: the correction (when the table is enabled)
  // less the fixture's loss. A reading is the phone's power plus this; the
  // level at the phone is the level set plus this.
  double pathShiftDb(int32_t sig, double frequencyHz, Path path) const;
  // The cell of the current signalling session while signalling is on.
  std::optional<CellBroadcast> broadcast() const;
  // The phone camped on the cell that broadcast() describes.
  void phoneCamped();
  // The camped phone originated an emergency call; true when the cell took it.
  bool emergencyCallOriginated();

 private:
  int32_t nextBaseHandle_ = 0x1001;
  int32_t nextSigHandle_ = 0x2001;
};

}  // namespace station
