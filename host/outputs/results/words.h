// A measurement in words, with its unit: "burst power" in "dBm", from the
// host's measurement catalogue (core/catalogue.h). The database's unit
// column and the reports take their words from here; the rest of their code
// knows a measurement by its step, plan line and entry.
#pragma once

#include <optional>
#include <string>

namespace vorn_results {

struct Words {
  std::string name;  // "burst power", "spectrum due to switching at +400 kHz"; never empty
  std::string unit;  // "dBm", "dB", "bits"; empty for a count or a flag
};

// exportName without its prefix ("OBTPowervsTime"); resultName: the name the
// step wrote on the entry, if any.
Words MeasurementWords(const std::string &exportName, int entry, const std::optional<std::string> &resultName);

// "E-GSM 900 ch 20 PCL 5" of a step's "Band=EGSM;Chan=20;TXLevel=5"; "" for
// any other name.
std::string SettingWords(const std::string &resultName);

}  // namespace vorn_results
