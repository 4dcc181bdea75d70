// A measurement in words, with its unit: "burst power" in "dBm". The one
// place the reports and the database take names in words from; the rest of
// the code knows a measurement by its step, plan line and entry.
#pragma once

#include <optional>
#include <string>

namespace vorn_results {

struct Words {
  std::string name;  // "burst power", "switching spectrum at +400 kHz"; never empty
  std::string unit;  // "dBm", "dB", "bits"; empty for a count or a flag
};

// exportName without its prefix ("OBTPowervsTime"); resultName: the name the
// step wrote on the entry, if any.
Words MeasurementWords(const std::string &exportName, int entry, const std::optional<std::string> &resultName);

// "EGSM ch 20 level 0" of a step's "Band=EGSM;Chan=20;TXLevel=0"; "" for any
// other name.
std::string SettingWords(const std::string &resultName);

}  // namespace vorn_results
