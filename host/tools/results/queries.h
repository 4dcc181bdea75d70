// What vorn-results prints from either store.
#pragma once

#include <ostream>
#include <string>

#include "outputs/results/store.h"

namespace vorn_results {

// One row per unit attempt, with a column per limited result named
// "Export[entry]"; a step the plan runs again is "Export#2[entry]", "#3", ...
bool ExportCsv(Store &store, std::ostream &out, std::string &error);
// Every attempt of one phone, oldest first, with what failed.
bool ListUnits(Store &store, const std::string &serial, std::ostream &out, std::string &error);
// Per station and day: units, first-pass yield and final yield.
bool Summary(Store &store, std::ostream &out, std::string &error);

// A CSV field, quoted when it must be.
std::string CsvField(const std::string &text);

}  // namespace vorn_results
