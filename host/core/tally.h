// The one tally of a station's units, defined once: the terminal summary, the
// operator's page, the line report and vorn-results summary all print it.
//
// - A unit is one phone; its attempts share the unit's id. An attempt stopped
//   before its verdict does not count: a unit none of whose attempts reached
//   a verdict is "stopped", counted apart and left out of the yields.
// - First-pass yield: units whose first attempt with a verdict passed, over
//   the units with a verdict.
// - Final yield: units whose last verdict is PASS, over the units with a verdict.
// - Retests: attempts with a verdict after a unit's first.
// - Units per hour: units with a verdict, over the hours since the first
//   unit started.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/record.h"

namespace vorn_host {

struct Tally {
  int64_t attempts = 0;   // every attempt recorded, stopped ones included
  int64_t units = 0;      // units with a verdict
  int64_t firstPass = 0;  // of those, passed at their first attempt with a verdict
  int64_t pass = 0;       // of those, by their last verdict
  int64_t fail = 0;
  int64_t error = 0;
  int64_t retests = 0;
  int64_t stopped = 0;           // units begun and stopped before any verdict
  double stationSeconds = 0.0;   // of every attempt: the units' time on the station
  double hoursSinceFirst = 0.0;  // since the first unit started, to the tally's moment

  // How the attempt counts, from where its unit stood before it (unit.prior).
  void add(const UnitRecord &attempt);
  void add(Prior prior, Verdict verdict, double stationSeconds);

  // Percent; none without a unit with a verdict.
  std::optional<double> firstPassYield() const;
  std::optional<double> finalYield() const;
  std::optional<double> unitsPerHour() const;
  // Station time per unit with a verdict, retests included.
  std::optional<double> meanUnitSeconds() const;
  // 0 when every unit with a verdict passed.
  int exitStatus() const { return pass == units ? 0 : 1; }

  // "12 units: 11 PASS, 1 FAIL, 0 ERROR, 1 retest; first-pass yield 91.7 %;
  // final yield 100.0 %; mean unit time 15.11 s; 238 units/h"
  std::string line() const;
};

// "91.7 %", or "-" for none.
std::string PercentText(const std::optional<double> &percent);

}  // namespace vorn_host
