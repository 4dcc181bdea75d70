// What part of the results database a line report or a summary is about: a
// period, a station, a plan, and which sessions count. Both tools read it
// from the same options, with the same rules and messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/command_line.h"

namespace vorn_reports {

struct LineFilter {
  // UTC as the database holds it, "2024-05-01T08:00:00Z"; both bounds
  // included; empty: no bound. A unit belongs to the moment of its first
  // attempt: its retests count with it, whenever they came.
  std::string since, until;
  std::string station, plan;        // empty: every one
  bool includeFaults = false;       // sessions with injected faults
  bool includeEngineering = false;  // engineering sessions
  bool includeGolden = false;       // the golden unit's sessions: verification, calibration

  bool bounded() const { return !since.empty() || !until.empty(); }
};

// Only production sessions count unless the filter takes in the others: the
// session modes it takes, as an SQL list ("'production', 'engineering'").
std::string ModesTaken(const LineFilter &filter);

// --since, --until, --station, --plan, --include-faults, --include-engineering,
// --include-golden.
void AddFilterOptions(vorn_host::CommandLine &line);
// False, with the reason in error, on a time that is not one.
bool ReadFilter(const vorn_host::CommandLine &line, LineFilter &filter, std::string &error);

// A time of the command line as the database holds it: "2024-05-01T08:00:00Z"
// as it stands, a bare date "2024-05-01" as its first second or, for the end
// of a period, its last. Nothing for any other text, or a date that is none.
std::optional<std::string> TimeOf(const std::string &text, bool endOfDay);

}  // namespace vorn_reports
