#include "core/settings.h"

#include <charconv>
#include <cmath>
#include <filesystem>

#include "os/ini.h"
#include "os/inputs.h"

namespace vorn_host {

namespace {

// A number of at least low; nothing read when the key is not there.
bool Number(const IniText &ini, const char *section, const char *key, double low, double &into, std::string &error) {
  const std::optional<std::string> text = ini.value(section, key);
  if (!text || text->empty()) return true;
  double value = 0;
  const auto [end, problem] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (problem != std::errc() || end != text->data() + text->size() || !std::isfinite(value) || value < low) {
    error = std::string("[") + section + "] " + key + "=" + *text + ": not a number of at least " +
            std::to_string(static_cast<long long>(low));
    return false;
  }
  into = value;
  return true;
}

void Text(const IniText &ini, const char *section, const char *key, std::string &into) {
  if (const std::optional<std::string> text = ini.value(section, key); text && !text->empty()) into = *text;
}

bool Read(const IniText &ini, StationSettings &s, std::string &error) {
  Text(ini, "Scanning", "SerialPattern", s.serialPattern);
  double confirm = s.confirmPassedToday ? 1 : 0;
  double lockAfter = s.lockAfterFailures;
  if (!Number(ini, "Scanning", "ConfirmPassedToday", 0, confirm, error) ||
      !Number(ini, "Health", "VerificationHours", 0, s.verificationHours, error) ||
      !Number(ini, "Health", "LockAfterFailures", 0, lockAfter, error) ||
      !Number(ini, "Health", "LockYieldBelow", 0, s.lockYieldBelow, error)) {
    return false;
  }
  s.confirmPassedToday = confirm != 0;
  s.lockAfterFailures = static_cast<int>(lockAfter);
  Text(ini, "Health", "AcknowledgeCode", s.acknowledgeCode);
  Text(ini, "NextAction", "Retest", s.actions.retest);
  Text(ini, "NextAction", "Repair", s.actions.repair);
  Text(ini, "NextAction", "PhoneLink", s.actions.phoneLink);
  Text(ini, "NextAction", "Equipment", s.actions.equipment);
  Text(ini, "NextAction", "Stopped", s.actions.stopped);
  if (s.serialPattern.empty()) return true;
  try {
    s.serialRegex.emplace(s.serialPattern, std::regex::ECMAScript);
  } catch (const std::regex_error &e) {
    error = "[Scanning] SerialPattern=" + s.serialPattern + ": not a regular expression (" + e.what() + ")";
    return false;
  }
  return true;
}

}  // namespace

bool ReadStationSettings(const std::string &path, StationSettings &settings, std::string &error) {
  const std::string file = path.empty() ? kSettingsFile : path;
  std::error_code missing;
  if (path.empty() && !std::filesystem::exists(file, missing)) return true;  // the defaults
  InputFile input;
  std::string text;
  if (!ReadTextInput(file, "station's settings", true, input, text, error)) return false;
  settings.file = file;
  if (Read(IniText(text), settings, error)) return true;
  error = file + ": " + error;
  return false;
}

void DefaultsFor(bool simulated, StationSettings &s) {
  if (s.verificationHours < 0) s.verificationHours = simulated ? 0 : 12;
  if (s.lockAfterFailures < 0) s.lockAfterFailures = simulated ? 0 : 3;
}

}  // namespace vorn_host
