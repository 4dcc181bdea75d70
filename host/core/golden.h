// The golden unit and the fixture's path loss. A golden unit is a phone
// characterised in the lab: its burst power at each of the twelve
// frequencies of the station's path-loss table ([Attenuation]). Run on the
// station with the calibration plan, it reads its references back as far as
// the table is still right: the deviation of each line is the drift of the
// fixture there, and adding reference less reading to the line's value
// corrects it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/health.h"
#include "core/record.h"
#include "os/inputs.h"

namespace vorn_host {

// The twelve lines of the path-loss table, by their [Attenuation] keys, in
// the order tester initialisation sends them.
inline constexpr std::size_t kPathLossLines = 12;
extern const char *const kPathLossKeys[kPathLossLines];
inline constexpr const char *kPathLossSection = "Attenuation";

// A change of a line's path loss beyond this is no drift: a cable is loose or broken.
inline constexpr double kLargestCorrectionDb = 3.0;

struct GoldenLine {
  std::string key;   // "DCS1800_Low_CH"
  std::string band;  // the library's label in result names: "DCS"
  int channel = 0;   // where the reference was measured
  double reference = 0.0;
  double frequencyMhz = 0.0;  // the channel's uplink
};

struct GoldenUnit {
  std::string file;
  std::string serial;
  double tolerance = 0.0;         // dB either way
  int txLevel = 0;                // the power control level of every reference
  std::vector<GoldenLine> lines;  // the twelve, in the table's order
};

// Reads the golden unit's file ([Golden] Serial, Tolerance, TXLevel; a
// reference under [Reference] and a channel under [Channel] for every key
// of the table). False, with every problem, when it cannot be used.
bool ReadGoldenUnit(const std::string &path, GoldenUnit &golden, InputFile &input, std::string &error);

// "DCS 1800 low channel"
std::string LineWords(const std::string &key);
// The uplink frequency of a channel in the band (the library's label), MHz.
double UplinkMhz(const std::string &band, int channel);

// The golden unit's run against its references: each line's burst power
// (power versus time, entry 1) found by the band, channel and level its
// result name gives. A line not read fails.
VerificationRecord Compare(const GoldenUnit &golden, const RunRecord &run);

// What keeps the parameter file's path-loss table from being corrected: a
// key it lacks, or one whose value begins with no number; empty when none.
std::string PathLossProblem(std::string_view parameters);

// The new path loss of each line outside the tolerance, from a comparison
// and the parameter file's text: old + reference - reading, to 0.01 dB; the
// lines within it stay as they are. refused says why none may be written: a
// line not read, a key the file lacks or whose value is no number, a change
// beyond kLargestCorrectionDb.
CalibrationRecord Corrections(const VerificationRecord &comparison, std::string_view parameters);
// The parameter file's text with the new values; every other byte kept.
std::string CorrectedText(std::string_view parameters, const CalibrationRecord &calibration);

// The tables a person reads at the terminal.
std::string VerificationTable(const VerificationRecord &verification);
std::string CalibrationTable(const CalibrationRecord &calibration);

}  // namespace vorn_host
