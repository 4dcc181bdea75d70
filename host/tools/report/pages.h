// The report pages as self-contained HTML: style and plots inline, no script,
// nothing fetched.
#pragma once

#include <string>

#include "tools/report/source.h"

namespace vorn_reports {

// attemptsCommand: the command that lists every attempt of the unit's phone.
std::string UnitPage(const UnitView &unit, const std::string &attemptsCommand);
// unitsFolder: where the failing units' pages are, relative to the line page;
// command: the command that made the page, which the notes of what was left
// out complete with the option that takes it in.
std::string LinePage(const LineView &line, const std::string &unitsFolder, const std::string &command);

// An attempt's page's file name: its UUID and ".html", anything but letters,
// digits and '-' as '_' (a UUID has none), at most 64 characters before ".html".
std::string UnitPageName(const std::string &uuid);

}  // namespace vorn_reports
