// The measurement catalogue: one name for each result entry of each step, in
// words and with its unit ("burst power", dBm), the setting it was measured
// in (band, channel, power control level), and a run's failures in plain
// words, one line per failed measurement.
//
// The words are the station's own: the entries as the library's interface
// and the parameter and failure documents describe them; a failure text's
// meaning and "what to check" come from docs/failures.md, built into the
// host as a table (core/failure_table.cmake), never read at run time.
//
// How a measurement's setting is found. Power versus time, receive level and
// quality and the band handover name the call's setting in result name 1
// ("Band=EGSM;Chan=20;TXLevel=5"): that is the setting of their entries. A
// step that names none (the output RF spectrum) measured in the setting in
// force: the one the last step of the same run before it named. A step that
// moves the call without naming where to (tester initialisation, a traffic
// channel or power level change, a handover that named nothing, call end)
// leaves no setting in force until the next step names one, so a measurement
// is never shown with a setting it was not made in. Steps not run change
// nothing.
//
// The level in a result name is the one the library last commanded, which
// it keeps from run to run (tester initialisation does not set it: after it
// the phone is at the cell's own level). So a setting shows its power
// control level only after a power level change of the same run succeeded,
// and none after a tester initialisation that followed it.
//
// For a stored result (vorn-results, vorn-report): feed a SettingTrail the
// unit's steps in run order, then DescribeResult() each entry.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/plan.h"
#include "core/record.h"

namespace vorn_host {

// ---- the setting ----------------------------------------------------------

struct Setting {
  std::string band;        // "E-GSM 900"; the library's own label when it is none of the four bands
  int channel = 0;         // the traffic channel (ARFCN)
  std::optional<int> pcl;  // the power control level, when this run set it

  std::string text() const;  // "E-GSM 900 ch 20 PCL 5", or "E-GSM 900 ch 20" without a level
  bool operator==(const Setting &other) const {
    return band == other.band && channel == other.channel && pcl == other.pcl;
  }
};

// The library's band label in words: "GSM850" "GSM 850", "EGSM" "E-GSM 900",
// "DCS" "DCS 1800", "PCS" "PCS 1900"; any other label as it is.
std::string BandText(std::string_view label);
// A result name "Band=EGSM;Chan=20;TXLevel=5" read; none for any other name.
std::optional<Setting> SettingOf(std::string_view resultName);

// The setting through one run, step after step in run order.
class SettingTrail {
 public:
  // The next step (its short or export name, its verdict, the name of its
  // entry 1): the setting its entries were measured in.
  std::optional<Setting> next(std::string_view step, Verdict verdict, const std::optional<std::string> &firstName);
  std::optional<Setting> next(const StepRecord &step);

 private:
  std::optional<Setting> inForce_;
  bool levelSet_ = false;  // a power level change of this run succeeded
};

// Each step's setting, parallel to run.steps.
std::vector<std::optional<Setting>> Settings(const RunRecord &run);

// ---- the measurements -----------------------------------------------------

enum class MeasurementKind {
  kValue,     // a measured value in its unit (or a level or quality index)
  kFlag,      // 1 yes, 0 no: a step done, a call started, a burst inside its template
  kCode,      // a status the equipment handed back, its meaning in the note
  kSpectrum,  // one side of one offset of the output RF spectrum
};

struct Measurement {
  std::string name;  // "burst power", "spectrum due to modulation at -200 kHz"
  std::string unit;  // "dBm", "dB", "bits"; empty for an index, a flag or a code
  MeasurementKind kind = MeasurementKind::kValue;
  int decimals = 0;  // shown to so many, more where a failure needs them to show
  std::string note;  // kCode: what the values mean, "1 = closed"
  // kSpectrum: the spectrum's kind in words, "spectrum due to modulation",
  // and the offset from the carrier.
  std::string family;
  double offsetKhz = 0.0;
};

// What entry `entry` of the step (short or export name) is, by the name it
// wrote where the entry depends on it (the spectrum's offsets); none for an
// entry the catalogue does not know.
std::optional<Measurement> MeasurementOf(std::string_view step, int entry, const std::optional<std::string> &name);
// The step's title in words, from its heading in the failure document:
// "Power versus time"; an unknown step by its short name.
std::string StepTitle(std::string_view step);
// "Burst power, PCS 1900 ch 661 PCL 5"; "Call started" without a setting.
std::string MeasurementLabel(const Measurement &measurement, const std::optional<Setting> &setting);

// A value and a limit in words with the measurement's unit: "14.5 dBm",
// "6 to 14 dBm", "at most -60 dB", "at least 9", "yes". A value outside its
// limit gets the decimals it needs to show that it is.
std::string ValueWords(const Measurement *measurement, const std::optional<double> &value,
                       const std::optional<Limit> &limit = std::nullopt);
std::string LimitWords(const Measurement *measurement, const Limit &limit);

// One stored result in words.
struct ResultWords {
  std::string label;  // "Burst power, PCS 1900 ch 661 PCL 5", or "Power versus time entry 7"
  std::string unit;
  bool named = false;  // the catalogue knows the entry
  std::string line;    // "Burst power, PCS 1900 ch 661 PCL 5: 14.5 dBm, limit 6 to 14 dBm"
};
ResultWords DescribeResult(std::string_view step, int entry, const std::optional<std::string> &name,
                           const std::optional<double> &value, const std::optional<Limit> &limit,
                           const std::optional<Setting> &setting);

// ---- failures -------------------------------------------------------------

// A failure text's row of the failure document.
struct FailureAdvice {
  std::string label;    // the operation's label, or the text that stands alone
  std::string meaning;  // what it means
  std::string check;    // what to check on the station
};
// The row of the step (short or export name) whose label starts the text, in
// any of the forms a text is built in; none for a text the document does not
// list under that step (the host's own, the container's).
std::optional<FailureAdvice> AdviceFor(std::string_view step, std::string_view text);

struct FailureLine {
  std::string text;   // "Burst power, PCS 1900 ch 661 PCL 5: 14.5 dBm, limit 6 to 14 dBm"
  std::string check;  // an ERROR's what to check, or empty

  std::string line() const { return check.empty() ? text : text + "; check: " + check; }
};

// The run's failures in plain words, in run order: one line per failed
// measurement (the same one failing its same limit on several plan lines is
// one line with a count), a spectrum's failed offsets summed up per kind and
// plan line, one line per failure text (with its what to check).
std::vector<FailureLine> FailureLines(const RunRecord &run);

}  // namespace vorn_host
