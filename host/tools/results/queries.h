// What vorn-results prints from either store.
#pragma once

#include <ostream>
#include <string>

#include "outputs/results/store.h"
#include "tools/common/filter.h"

namespace vorn_results {

// A CSV's text cells are guarded against formula injection by default: a
// cell that starts with '=', '+', '-', '@', a tab or a carriage return, and
// is no number, gets a leading "'" so that a spreadsheet shows it as text.
struct CsvOptions {
  bool guardCells = true;  // --raw-cells: off
};

// One row per unit attempt, with a column per limited result named
// "Export[entry]"; a step the plan runs again is "Export#2[entry]", "#3", ...
bool ExportCsv(Store &store, std::ostream &out, const CsvOptions &options, std::string &error);
bool ExportCsv(Store &store, std::ostream &out, std::string &error);
// One row per result (--long): the attempt (uuid, serial, attempt, station,
// socket, started), the step and its plan line, the entry, the measurement
// in words and its unit, then value, low, high, passed; attempts in the wide
// export's order, each one's results in the order of its steps and entries.
bool ExportLong(Store &store, std::ostream &out, const CsvOptions &options, std::string &error);
// Every attempt of one phone, oldest first, with what failed.
bool ListUnits(Store &store, const std::string &serial, std::ostream &out, std::string &error);
// Per station and day: the tally of the units first tested that day, and
// what the filter left out. command: the summary's command as typed, which
// the notes of what was left out complete with the option that takes it in.
bool Summary(Store &store, const vorn_reports::LineFilter &filter, const std::string &command, std::ostream &out,
             std::string &error);
bool Summary(Store &store, std::ostream &out, std::string &error);

// A CSV field, quoted when it must be.
std::string CsvField(const std::string &text);
// A CSV cell: guarded (see CsvOptions) when asked, then quoted when it must be.
std::string CsvCell(const std::string &text, bool guard);

}  // namespace vorn_results
