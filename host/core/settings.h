// The station's own settings: what the station's engineer sets once for the
// line, apart from the parameter file (which is the equipment's) and the plan
// (which is the test's). An INI file, station-settings.ini in the working
// folder, or --settings FILE; without one, every setting has its default.
// examples/station-settings.ini lists them all, commented.
#pragma once

#include <optional>
#include <regex>
#include <string>

namespace vorn_host {

// What the operator is told to do after a unit's verdict: a few words each.
struct NextActions {
  std::string retest = "Retest once";  // a FAIL with retests left
  std::string repair = "Repair tray";  // a FAIL on the last attempt allowed
  std::string phoneLink = "Check the phone is seated and switched on, then retest";  // an ERROR of the phone's link
  std::string equipment = "Call the technician";     // an ERROR of the tester or the supply
  std::string stopped = "Not finished: test again";  // stopped before its verdict
};

struct StationSettings {
  std::string file;  // where they were read from; empty: the defaults

  // [Scanning]
  std::string serialPattern;  // a regular expression the whole serial must match; empty: any serial
  std::optional<std::regex> serialRegex;
  bool confirmPassedToday = true;  // a scanned serial that passed today is tested again only when confirmed

  // [NextAction]
  NextActions actions;

  // [Health]: a negative value is the default of the station's kind
  // (DefaultsFor: real equipment or the simulated station).
  double verificationHours = -1;  // a verification older than this locks the station; 0: never
  int lockAfterFailures = -1;     // FAIL or ERROR verdicts in a row that lock it; 0: off
  double lockYieldBelow = 0;      // first-pass yield over the last 20 units, percent, that locks it; 0: off
  std::string acknowledgeCode;    // the technician's code that lifts a lock; empty: any acknowledgement
};

// The default settings' file, looked for in the working folder.
inline constexpr const char *kSettingsFile = "station-settings.ini";

// Reads path (given: it must be there; empty: station-settings.ini when the
// working folder has one). False, with what is wrong, on a file that cannot
// be read or holds a value that cannot be used: the station does not start.
bool ReadStationSettings(const std::string &path, StationSettings &settings, std::string &error);
// The health defaults of the station's kind: on real equipment a
// verification every 12 h and a lock after 3 failures in a row; on the
// simulated station neither, so rehearsals and tests are not gated by accident.
void DefaultsFor(bool simulated, StationSettings &settings);

}  // namespace vorn_host
