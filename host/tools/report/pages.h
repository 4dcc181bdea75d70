// The report pages as self-contained HTML: style and plots inline, no script,
// nothing fetched.
#pragma once

#include <string>

#include "tools/report/source.h"

namespace vorn_reports {

std::string UnitPage(const UnitView &unit);
// unitsFolder: where the failing units' pages are, relative to the line page.
std::string LinePage(const LineView &line, const std::string &unitsFolder);

// A unit page's file name: "SERIAL-aN.html", with anything but letters,
// digits, '-' and '_' in the serial as '_'.
std::string UnitPageName(const std::string &serial, int attempt);

}  // namespace vorn_reports
