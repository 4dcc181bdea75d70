#include "core/golden.h"

#include <charconv>
#include <cmath>
#include <map>

#include "core/catalogue.h"
#include "core/session.h"
#include "os/ini.h"

namespace vorn_host {

const char *const kPathLossKeys[kPathLossLines] = {
    "GSM850_Low_CH",  "GSM850_Mid_CH",  "GSM850_High_CH",  "GSM900_Low_CH",  "GSM900_Mid_CH",  "GSM900_High_CH",
    "DCS1800_Low_CH", "DCS1800_Mid_CH", "DCS1800_High_CH", "PCS1900_Low_CH", "PCS1900_Mid_CH", "PCS1900_High_CH",
};

namespace {

struct BandOfKey {
  const char *prefix;  // of the key
  const char *label;   // the library's, in result names
  int first, last;     // its channels
};
constexpr BandOfKey kBandsOfKeys[] = {
    {"GSM850_", "GSM850", 128, 251},
    {"GSM900_", "EGSM", 0, 1023},
    {"DCS1800_", "DCS", 512, 885},
    {"PCS1900_", "PCS", 512, 810},
};

const BandOfKey &BandOf(const std::string &key) {
  for (const BandOfKey &b : kBandsOfKeys) {
    if (key.rfind(b.prefix, 0) == 0) return b;
  }
  return kBandsOfKeys[0];
}

bool ChannelInBand(const BandOfKey &band, int channel) {
  if (std::string(band.label) == "EGSM") return (channel >= 0 && channel <= 124) || (channel >= 975 && channel <= 1023);
  return channel >= band.first && channel <= band.last;
}

std::optional<double> NumberOf(const std::optional<std::string> &text) {
  if (!text || text->empty()) return std::nullopt;
  const char *first = text->data() + (text->front() == '+' ? 1 : 0);
  double value = 0;
  const auto [end, problem] = std::from_chars(first, text->data() + text->size(), value);
  if (problem != std::errc() || end != text->data() + text->size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

// The longest decimal real the value begins with, as the station's real
// reader takes it (sign, digits, point, digits, exponent); 0 when none.
std::size_t RealLength(std::string_view v) {
  std::size_t i = 0;
  if (i < v.size() && (v[i] == '+' || v[i] == '-')) ++i;
  const std::size_t digitsAt = i;
  while (i < v.size() && v[i] >= '0' && v[i] <= '9') ++i;
  std::size_t digits = i - digitsAt;
  if (i < v.size() && v[i] == '.') {
    const std::size_t after = ++i;
    while (i < v.size() && v[i] >= '0' && v[i] <= '9') ++i;
    digits += i - after;
  }
  if (digits == 0) return 0;
  if (i < v.size() && (v[i] == 'e' || v[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < v.size() && (v[j] == '+' || v[j] == '-')) ++j;
    const std::size_t exponentAt = j;
    while (j < v.size() && v[j] >= '0' && v[j] <= '9') ++j;
    if (j > exponentAt) i = j;
  }
  return i;
}

std::string Fixed(double value, int decimals) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  std::string s(text, result.ptr);
  if (s.find_first_not_of("-0.") == std::string::npos && s[0] == '-') s.erase(0, 1);  // no "-0.00"
  return s;
}

std::string Signed(double value, int decimals) { return (value > 0 ? "+" : "") + Fixed(value, decimals); }

std::string Padded(const std::string &text, std::size_t width) {
  std::size_t shown = 0;  // characters, not bytes: "±" is two
  for (const char c : text) shown += (static_cast<unsigned char>(c) & 0xC0) == 0x80 ? 0 : 1;
  return shown >= width ? text + " " : text + std::string(width - shown, ' ');
}

std::string FrequencyText(double mhz) { return Fixed(mhz, 1) + " MHz"; }

}  // namespace

std::string LineWords(const std::string &key) {
  const std::string band = BandText(BandOf(key).label);
  const std::string place = key.find("_Low_") != std::string::npos    ? "low"
                            : key.find("_Mid_") != std::string::npos  ? "mid"
                            : key.find("_High_") != std::string::npos ? "high"
                                                                      : key;
  return band + " " + place + " channel";
}

double UplinkMhz(const std::string &band, int channel) {
  if (band == "GSM850") return 824.2 + 0.2 * (channel - 128);
  if (band == "EGSM") return 890.0 + 0.2 * (channel <= 124 ? channel : channel - 1024);
  if (band == "DCS") return 1710.2 + 0.2 * (channel - 512);
  return 1850.2 + 0.2 * (channel - 512);  // PCS
}

bool ReadGoldenUnit(const std::string &path, GoldenUnit &g, InputFile &input, std::string &error) {
  std::string text;
  if (!ReadTextInput(path, "golden unit's file", false, input, text, error)) return false;
  const IniText ini(text);
  std::vector<std::string> problems;
  g = GoldenUnit();
  g.file = path;
  g.serial = ini.value("Golden", "Serial").value_or("");
  const std::string serialProblem = SerialProblem(g.serial);
  if (!serialProblem.empty()) problems.push_back("[Golden] Serial: " + serialProblem);
  const std::optional<double> tolerance = NumberOf(ini.value("Golden", "Tolerance"));
  if (!tolerance || *tolerance <= 0) problems.push_back("[Golden] Tolerance: not a number of dB above 0");
  g.tolerance = tolerance.value_or(0.0);
  const std::optional<double> level = NumberOf(ini.value("Golden", "TXLevel"));
  if (!level || *level != std::floor(*level) || *level < 0 || *level > 31) {
    problems.push_back("[Golden] TXLevel: not a power control level from 0 to 31");
  }
  g.txLevel = static_cast<int>(level.value_or(0));
  for (const char *key : kPathLossKeys) {
    const BandOfKey &band = BandOf(key);
    GoldenLine line;
    line.key = key;
    line.band = band.label;
    const std::optional<double> reference = NumberOf(ini.value("Reference", key));
    const std::optional<double> channel = NumberOf(ini.value("Channel", key));
    if (!reference) problems.push_back(std::string("[Reference] ") + key + ": not a burst power in dBm");
    if (!channel || *channel != std::floor(*channel) || !ChannelInBand(band, static_cast<int>(*channel))) {
      problems.push_back(std::string("[Channel] ") + key + ": not a channel of " + BandText(band.label));
    }
    line.reference = reference.value_or(0.0);
    line.channel = static_cast<int>(channel.value_or(0.0));
    line.frequencyMhz = UplinkMhz(line.band, line.channel);
    g.lines.push_back(line);
  }
  if (problems.empty()) return true;
  error.clear();
  for (const std::string &p : problems) error += (error.empty() ? path + ": " : "\n" + path + ": ") + p;
  return false;
}

VerificationRecord Compare(const GoldenUnit &golden, const RunRecord &run) {
  VerificationRecord v;
  v.golden = golden.serial;
  v.goldenFile = golden.file;
  v.tolerance = golden.tolerance;
  for (const GoldenLine &g : golden.lines) {
    VerificationLine line;
    line.key = g.key;
    line.frequencyMhz = g.frequencyMhz;
    line.reference = g.reference;
    // The mean of the line's readings: one reading repeats within a
    // quarter of a dB, a correction should not carry that along.
    double sum = 0;
    int readings = 0;
    for (const StepRecord &step : run.steps) {
      if (step.step.shortName() != "OBTPowervsTime" || step.verdict == Verdict::kError) continue;
      for (const EntryResult &e : step.entries) {
        if (e.entry != 1 || !e.name || !e.value || !std::isfinite(*e.value)) continue;
        const std::optional<Setting> where = SettingOf(*e.name);
        if (where && where->band == BandText(g.band) && where->channel == g.channel &&
            (!where->pcl || *where->pcl == golden.txLevel)) {
          sum += *e.value;
          ++readings;
        }
      }
    }
    if (readings > 0) line.reading = sum / readings;
    if (line.reading) {
      line.deviation = *line.reading - line.reference;
      line.passed = std::fabs(*line.deviation) <= golden.tolerance;
      if (!v.worst || std::fabs(*line.deviation) > std::fabs(*v.worst)) v.worst = line.deviation;
    }
    v.lines.push_back(line);
  }
  v.passed = !v.lines.empty();
  for (const VerificationLine &l : v.lines) v.passed = v.passed && l.passed;
  return v;
}

std::string PathLossProblem(std::string_view parameters) {
  const IniText ini(parameters);
  for (const char *key : kPathLossKeys) {
    const std::optional<std::string> old = ini.value(kPathLossSection, key);
    const std::string line = std::string("[") + kPathLossSection + "] " + key;
    if (!old) return line + " is missing from the parameter file: add the line before calibrating";
    if (RealLength(*old) == 0) return line + "=" + *old + " begins with no number: set it by hand before calibrating";
  }
  return {};
}

CalibrationRecord Corrections(const VerificationRecord &comparison, std::string_view parameters) {
  CalibrationRecord c;
  c.golden = comparison.golden;
  c.goldenFile = comparison.goldenFile;
  c.refused = PathLossProblem(parameters);
  const IniText ini(parameters);
  for (const VerificationLine &v : comparison.lines) {
    CalibrationLine line;
    line.key = v.key;
    line.frequencyMhz = v.frequencyMhz;
    line.reference = v.reference;
    line.reading = v.reading;
    const std::string old = ini.value(kPathLossSection, v.key).value_or("");
    if (RealLength(old) > 0) line.oldValue = NumberOf(old.substr(0, RealLength(old)));
    const std::string where = FrequencyText(v.frequencyMhz) + ", " + LineWords(v.key);
    if (!v.reading && c.refused.empty()) {
      c.refused = "the golden unit was not read at " + where + ": the calibration run did not measure it";
    }
    line.newValue = line.oldValue;
    line.corrected = line.oldValue && v.reading && !v.passed;
    if (line.corrected) {
      const double change = v.reference - *v.reading;
      line.newValue = std::round((*line.oldValue + change) * 100.0) / 100.0;  // as written, to 0.01 dB
      if (std::fabs(change) > kLargestCorrectionDb && c.refused.empty()) {
        c.refused = "a change of " + Signed(change, 2) + " dB is not drift: check the cable at " + where;
      }
    }
    c.lines.push_back(line);
  }
  return c;
}

std::string CorrectedText(std::string_view parameters, const CalibrationRecord &calibration) {
  const IniText ini(parameters);
  std::vector<std::pair<std::string, std::string>> values;
  for (const CalibrationLine &line : calibration.lines) {
    if (!line.corrected || !line.newValue) continue;
    const std::string old = ini.value(kPathLossSection, line.key).value_or("");
    // The number goes; what followed it (a comment after "//") stays.
    values.emplace_back(line.key, Fixed(*line.newValue, 2) + old.substr(RealLength(old)));
  }
  std::vector<std::string> missing;
  return WithIniValues(parameters, kPathLossSection, values, missing);
}

std::string VerificationTable(const VerificationRecord &v) {
  std::string t = "Verification of station " + v.station + " with golden unit " + v.golden + " (" + v.goldenFile +
                  "), tolerance " + Fixed(v.tolerance, 2) + " dB:\n";
  t += "  " + Padded("Frequency", 12) + Padded("Line", 24) + Padded("Reference", 11) + Padded("Reading", 11) +
       Padded("Deviation", 11) + Padded("Tolerance", 11) + "Verdict\n";
  int failed = 0;
  for (const VerificationLine &l : v.lines) {
    failed += l.passed ? 0 : 1;
    t += "  " + Padded(FrequencyText(l.frequencyMhz), 12) + Padded(LineWords(l.key), 24) +
         Padded(Fixed(l.reference, 2) + " dBm", 11) +
         Padded(l.reading ? Fixed(*l.reading, 2) + " dBm" : "not read", 11) +
         Padded(l.deviation ? Signed(*l.deviation, 2) + " dB" : "-", 11) +
         Padded("±" + Fixed(v.tolerance, 2) + " dB", 11) + (l.passed ? "PASS" : "FAIL") + "\n";
  }
  const std::string worst = v.worst ? ", worst " + Signed(*v.worst, 2) + " dB" : "";
  if (v.passed) return t + "Verification PASS: every line within ±" + Fixed(v.tolerance, 2) + " dB" + worst + "\n";
  return t + "Verification FAIL: " + std::to_string(failed) + " of " + std::to_string(v.lines.size()) +
         " lines outside ±" + Fixed(v.tolerance, 2) + " dB or not read" + worst + "\n";
}

std::string CalibrationTable(const CalibrationRecord &c) {
  std::string t = "Calibration of station " + c.station + " with golden unit " + c.golden + ", " + c.parameters + " [" +
                  kPathLossSection + "]:\n";
  t += "  " + Padded("Frequency", 12) + Padded("Key", 17) + Padded("Reference", 11) + Padded("Reading", 11) +
       Padded("Old", 9) + Padded("New", 9) + "Change\n";
  for (const CalibrationLine &l : c.lines) {
    t += "  " + Padded(FrequencyText(l.frequencyMhz), 12) + Padded(l.key, 17) +
         Padded(Fixed(l.reference, 2) + " dBm", 11) +
         Padded(l.reading ? Fixed(*l.reading, 2) + " dBm" : "not read", 11) +
         Padded(l.oldValue ? Fixed(*l.oldValue, 2) : "-", 9) + Padded(l.newValue ? Fixed(*l.newValue, 2) : "-", 9) +
         (l.corrected && l.oldValue && l.newValue ? Signed(*l.newValue - *l.oldValue, 2) + " dB" : "unchanged") + "\n";
  }
  if (!c.refused.empty()) return t + "Calibration refused, nothing written: " + c.refused + "\n";
  if (!c.written) return t + "Every line is within the tolerance: nothing to correct, nothing written\n";
  return t + "Calibration written to " + c.parameters + "; the old file is kept as " + c.backup + "\n";
}

}  // namespace vorn_host
