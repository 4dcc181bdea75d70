// The tally of a line's units (core/tally.h) and what the line's data is,
// read from the results database for a filter: the line report and
// vorn-results summary both count with these, never with a formula of their own.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/tally.h"
#include "outputs/results/database.h"
#include "tools/common/filter.h"

namespace vorn_reports {

using vorn_results::Database;
using vorn_results::Row;
using vorn_results::RowHandler;
using vorn_results::Value;

// The filtered attempts as a common table "u" (id, uuid, unit_id, serial,
// unit_index, attempt, prior, started, seconds, waited_ms, verdict, stopped, operator,
// station, session_id), and its parameters: the first of a statement's.
struct Scope {
  std::string with;
  std::vector<Value> params;
};
Scope ScopeOf(const LineFilter &filter, const std::string &name = "u");

// An attempt's station time in SQL: its wall time, or the station's waits
// when they are longer (RunRecord::stationSeconds).
std::string StationSecondsSql(const std::string &table);

// The tally of every unit the filter selects, with its hours from the first
// attempt's start to the last one's end: from the rollups (tools/common/line_sums.h).
bool ReadTally(Database &db, const LineFilter &filter, vorn_host::Tally &tally, std::string &error);

// One tally per station and day (the day of each unit's first attempt).
struct DayTally {
  std::string station, day;
  vorn_host::Tally tally;
};
bool ReadDailyTallies(Database &db, const LineFilter &filter, std::vector<DayTally> &days, std::string &error);

// What the data is: the sessions the filter's period holds, those left out
// by default, and those on the simulated station.
struct Provenance {
  int64_t sessions = 0;            // counted
  int64_t simulated = 0;           // of those, on the simulated station
  int64_t faultsLeftOut = 0;       // with injected faults, left out
  int64_t engineeringLeftOut = 0;  // engineering, left out
  int64_t goldenLeftOut = 0;       // the golden unit's verifications and calibrations, left out
};
bool ReadProvenance(Database &db, const LineFilter &filter, Provenance &provenance, std::string &error);

// What was left out and the option that takes it in: ("12 sessions with
// injected faults left out", "--include-faults"); none when nothing was.
std::vector<std::pair<std::string, std::string>> LeftOutNotes(const Provenance &provenance);
// "All 3 sessions ran on the simulated station", "2 of 5 sessions ...", or empty.
std::string SimulatedNote(const Provenance &provenance);

}  // namespace vorn_reports
