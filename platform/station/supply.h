// The simulated programmable DC supply that feeds the phone, on the simulated GPIB bus.
//
// It behaves like a single-output bench supply taking SCPI commands:
//   OUTPut[:STATe] {ON|OFF|<number>}
//   [SOURce:]VOLTage[:LEVel][:IMMediate][:AMPLitude] {<number>[V|mV]|MINimum|MAXimum}
//   [SOURce:]CURRent[:LEVel][:IMMediate][:AMPLitude] {<number>[A|mA]|MINimum|MAXimum}
//   *RST, *CLS
// Headers match in their short or long form in any case; commands are separated
// by ";" and a message may end with a line feed. What it cannot accept goes to
// its error queue as a SCPI error, and the setting stays as it was; the write
// itself still succeeds, as with a real supply. It takes no queries: nothing
// reads a reply through the station's VISA.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace station {

// Texts compared without regard to case, as SCPI headers and VISA resource
// names are read.
bool EqualsNoCase(std::string_view a, std::string_view b);

// One entry of the error queue: the SCPI error number and its text.
struct SupplyError {
  int code = 0;
  std::string text;
};

class Supply {
 public:
  static constexpr uint32_t kGpibBoard = 0;
  static constexpr uint32_t kDefaultGpibAddress = 14;
  static constexpr double kMaxVoltage = 20.0;  // V; settings from 0 up to this
  static constexpr double kMaxCurrent = 5.0;   // A; current limits from 0 up to this
  static constexpr std::size_t kErrorQueueSize = 10;

  // Back to the supply as it is after power-on: output off, 0 V, 0.1 A limit,
  // empty error queue, at its default address.
  void reset();

  // The bus: the supply listens at one primary address of board 0, with no
  // secondary address.
  uint32_t gpibAddress() const { return gpibAddress_; }
  void setGpibAddress(uint32_t primary) { gpibAddress_ = primary; }
  bool listensAt(uint32_t board, uint32_t primary, std::optional<uint32_t> secondary) const;

  // One program message as it arrives over the bus: the bytes of one write,
  // ended there.
  void receive(std::string_view message);

  bool outputOn() const { return outputOn_; }
  double voltage() const { return voltage_; }       // the set voltage, V
  double currentLimit() const { return current_; }  // A
  // Oldest first.
  const std::deque<SupplyError> &errors() const { return errors_; }

  // Coupling with the phone: the voltage at the output terminals while the
  // output is on, nothing while it is off.
  std::optional<double> outputVoltage() const;

 private:
  void execute(std::string_view command);
  void setOutput(std::string_view parameter);
  void setLevel(std::string_view parameter, double &setting, double max, char unit);
  void settingsToDefaults();
  void addError(const SupplyError &error);

  uint32_t gpibAddress_ = kDefaultGpibAddress;
  bool outputOn_ = false;
  double voltage_ = 0.0;
  double current_ = 0.1;
  std::deque<SupplyError> errors_;
};

}  // namespace station
