#include "outputs/results/words.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

namespace vorn_results {

namespace {

// "-0.40MHZ Switching Spectrum": its kind and offset in kHz.
std::optional<Words> SpectrumWords(const std::string &name) {
  const std::size_t mhz = name.find("MHZ ");
  if (name.size() < 5 || (name[0] != '-' && name[0] != '+') || mhz == std::string::npos) return std::nullopt;
  const std::string kind = name.substr(mhz + 4);
  const bool modulation = kind == "Modulation Spectrum";
  if (!modulation && kind != "Switching Spectrum") return std::nullopt;
  char *end = nullptr;
  const std::string digits = name.substr(1, mhz - 1);
  const double mhzValue = std::strtod(digits.c_str(), &end);
  if (end != digits.c_str() + digits.size()) return std::nullopt;
  char text[96];
  std::snprintf(text, sizeof text, "%s spectrum at %c%.0f kHz", modulation ? "modulation" : "switching", name[0],
                mhzValue * 1000.0);
  return Words{text, modulation ? "dB" : "dBm"};
}

struct Known {
  const char *exportName;
  int entry;
  const char *name;
  const char *unit;
};

const Known kKnown[] = {
    {"OBTPowervsTime", 1, "burst power", "dBm"},
    {"OBTPowervsTime", 4, "burst timing error", "bits"},
    {"OBTPowervsTime", 5, "burst inside the template", ""},
    {"OBTRXLevelandQuality", 1, "receive level (RXLEV)", ""},
    {"OBTRXLevelandQuality", 2, "receive quality (RXQUAL)", ""},
};

}  // namespace

Words MeasurementWords(const std::string &exportName, int entry, const std::optional<std::string> &resultName) {
  if (resultName) {
    if (const std::optional<Words> spectrum = SpectrumWords(*resultName)) return *spectrum;
  }
  for (const Known &k : kKnown) {
    if (exportName == k.exportName && entry == k.entry) return {k.name, k.unit};
  }
  return {exportName + " result " + std::to_string(entry), ""};
}

std::string SettingWords(const std::string &name) {
  std::map<std::string, std::string> kv;
  std::istringstream in(name);
  for (std::string part; std::getline(in, part, ';');) {
    const auto eq = part.find('=');
    if (eq != std::string::npos) kv[part.substr(0, eq)] = part.substr(eq + 1);
  }
  if (!kv.count("Band")) return "";
  return kv["Band"] + (kv.count("Chan") ? " ch " + kv["Chan"] : "") +
         (kv.count("TXLevel") ? " level " + kv["TXLevel"] : "");
}

}  // namespace vorn_results
