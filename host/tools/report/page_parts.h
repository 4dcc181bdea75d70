// What both report pages share: the head and its style, and small texts.
#pragma once

#include <optional>
#include <string>

#include "plots/plots.h"

namespace vorn_reports {

// "<!DOCTYPE html>...<body>" with the pages' one style sheet.
std::string Head(const std::string &title);
// "30..36", "..-60", "1", or "" without a limit.
std::string LimitText(const std::optional<double> &low, const std::optional<double> &high);
// An export without its prefix: "OBTPowervsTime".
std::string Short(const std::string &exportName);
// A Cpk's class on the pages: "cpk red" below 1.0, "cpk amber" below 1.33, else "cpk".
std::string CpkClass(const vorn_plots::Capability &capability);

}  // namespace vorn_reports
