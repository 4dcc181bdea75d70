// The two pages. Plots come from vorn_plots; this file only lays them out.
#include "tools/report/pages.h"

#include <algorithm>
#include <map>
#include <sstream>

namespace vorn_reports {
namespace {

namespace vp = vorn_plots;
using vp::Escape;
using vp::Number;

constexpr const char *kStyle = R"(<style>
body{font-family:sans-serif;margin:24px;color:#222;background:#fff;max-width:1500px}
h1{font-size:22px;margin:0 0 8px}h2{font-size:17px;margin:26px 0 8px;border-bottom:1px solid #ccc}
table{border-collapse:collapse;font-size:13px;margin:6px 0}td,th{border:1px solid #ccc;padding:3px 7px;text-align:left}
th{background:#f2f2f2}td.num{text-align:right;font-variant-numeric:tabular-nums}
.PASS{color:#17692d;font-weight:bold}.FAIL,.ERROR{color:#b00;font-weight:bold}
tr.miss td{background:#fde2e2}.plots{display:flex;flex-wrap:wrap;gap:12px}
.meas{border:1px solid #ddd;padding:6px;margin:8px 0}.meas h3{font-size:14px;margin:2px 0}
dl{display:grid;grid-template-columns:max-content auto;gap:2px 14px;margin:0}dt{font-weight:bold}dd{margin:0}
</style>)";

std::string Head(const std::string &title) {
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + Escape(title) + "</title>" +
         kStyle + "</head><body>\n";
}

std::string Short(const std::string &exportName) {
  const std::string prefix = "Vorn_CMU200_";
  return exportName.compare(0, prefix.size(), prefix) == 0 ? exportName.substr(prefix.size()) : exportName;
}

// "Band=EGSM;Chan=20;TXLevel=0" as "EGSM ch 20 level 0"; other names as they are.
std::string Setting(const std::string &name) {
  std::map<std::string, std::string> kv;
  std::istringstream in(name);
  for (std::string part; std::getline(in, part, ';');) {
    const auto eq = part.find('=');
    if (eq != std::string::npos) kv[part.substr(0, eq)] = part.substr(eq + 1);
  }
  if (!kv.count("Band")) return name;
  return kv["Band"] + (kv.count("Chan") ? " ch " + kv["Chan"] : "") +
         (kv.count("TXLevel") ? " level " + kv["TXLevel"] : "");
}

std::string LimitText(const std::optional<double> &low, const std::optional<double> &high) {
  if (!low && !high) return "";
  if (low && high && *low == *high) return Number(*low, 4);
  return (low ? Number(*low, 4) : "") + ".." + (high ? Number(*high, 4) : "");
}

std::string Percent(int64_t part, int64_t whole) {
  return whole > 0 ? Number(100.0 * static_cast<double>(part) / static_cast<double>(whole), 1) + "%" : "-";
}

std::string MeasurementLabel(int planLine, const std::string &exportName, int entry, const std::string &name) {
  std::string s = Short(exportName) + " line " + std::to_string(planLine);
  if (entry > 0) s += " [" + std::to_string(entry) + "]";
  if (!name.empty() && name.find("Spectrum") != std::string::npos) s += " " + name;
  return s;
}

}  // namespace

std::string UnitPageName(const std::string &serial, int attempt) {
  std::string s = serial;
  for (char &c : s) {
    const bool keep =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (!keep) c = '_';
  }
  return s + "-a" + std::to_string(attempt) + ".html";
}

std::string UnitPage(const UnitView &u) {
  std::ostringstream h;
  h << Head("Unit " + u.serial + " attempt " + std::to_string(u.attempt)) << "<h1>Unit " << Escape(u.serial)
    << ": <span class=\"" << Escape(u.verdict) << "\">" << Escape(u.verdict) << "</span></h1>\n<dl class=\"header\">"
    << "<dt>Serial</dt><dd>" << Escape(u.serial) << "</dd><dt>Verdict</dt><dd class=\"" << Escape(u.verdict) << "\">"
    << Escape(u.verdict) << "</dd><dt>Station</dt><dd>" << Escape(u.station) << " (" << Escape(u.host)
    << ")</dd><dt>Time</dt><dd>" << Escape(u.started) << ", " << Number(u.seconds, 2) << " s</dd><dt>Plan</dt><dd>"
    << Escape(u.plan) << "</dd><dt>Library</dt><dd>" << Escape(u.library) << " " << Escape(u.version)
    << "</dd><dt>Attempt</dt><dd>" << u.attempt << " of " << u.attempts << "</dd></dl>\n";

  // Plots first: what an engineer looks at; the table follows.
  std::ostringstream spectra;
  std::vector<vp::LimitItem> power, level, quality;
  std::string setting;  // the band, channel and level the latest step named
  for (const vorn_results::StepRow &s : u.steps) {
    const std::string step = Short(s.exportName);
    for (const vorn_results::ResultRow &r : s.results) {
      if (r.name && r.name->rfind("Band=", 0) == 0) setting = Setting(*r.name);
    }
    const std::string where =
        " (" + (setting.empty() ? "" : setting + ", ") + "line " + std::to_string(s.planLine) + ")";
    std::vector<vp::SpectrumPoint> mod, sw;
    for (const vorn_results::ResultRow &r : s.results) {
      const auto sn = vp::ParseSpectrumName(r.name.value_or(""));
      if (!sn || !r.value) continue;
      (sn->kind == vp::SpectrumKind::kModulation ? mod : sw).push_back({sn->offsetKhz, *r.value, r.low, r.high});
    }
    if (!mod.empty())
      spectra << vp::SpectrumSvg(vp::SpectrumKind::kModulation, "Output RF spectrum due to modulation" + where, mod);
    if (!sw.empty())
      spectra << vp::SpectrumSvg(vp::SpectrumKind::kSwitching, "Output RF spectrum due to switching" + where, sw);
    for (const vorn_results::ResultRow &r : s.results) {
      if (!r.value) continue;
      const std::string label = (setting.empty() ? "" : setting + ", ") + "line " + std::to_string(s.planLine);
      if (step == "OBTPowervsTime" && r.entry == 1) power.push_back({label, *r.value, r.low, r.high});
      if (step == "OBTRXLevelandQuality" && r.entry == 1) level.push_back({label, *r.value, r.low, r.high});
      if (step == "OBTRXLevelandQuality" && r.entry == 2) quality.push_back({label, *r.value, r.low, r.high});
    }
  }
  const std::string spectraText = spectra.str();
  if (!spectraText.empty()) h << "<h2>Output RF spectrum</h2><div class=\"plots\">" << spectraText << "</div>\n";
  if (!power.empty()) {
    h << "<h2>Power versus time</h2><div class=\"plots\">"
      << vp::LimitChartSvg("Average burst power per band and level", "dBm", power) << "</div>\n";
  }
  if (!level.empty() || !quality.empty()) {
    h << "<h2>Receive level and quality</h2><div class=\"plots\">";
    if (!level.empty()) h << vp::LimitChartSvg("RXLEV", "RXLEV", level);
    if (!quality.empty()) h << vp::LimitChartSvg("RXQUAL", "RXQUAL", quality);
    h << "</div>\n";
  }

  h << "<h2>Steps</h2><table class=\"steps\"><tr><th>#</th><th>Line</th><th>Step</th><th>No.</th><th>Verdict</th>"
       "<th>Time (s)</th><th>Entry</th><th>Name</th><th>Value</th><th>Limit</th><th>Result</th></tr>\n";
  for (const vorn_results::StepRow &s : u.steps) {
    const std::size_t rows = std::max<std::size_t>(1, s.results.size());
    for (std::size_t i = 0; i < rows; ++i) {
      const vorn_results::ResultRow *r = i < s.results.size() ? &s.results[i] : nullptr;
      h << "<tr" << (r && !r->passed ? " class=\"miss\"" : "") << ">";
      if (i == 0) {
        const std::string span = rows > 1 ? " rowspan=\"" + std::to_string(rows) + "\"" : "";
        h << "<td" << span << ">" << s.index << "</td><td" << span << ">" << s.planLine << "</td><td" << span << ">"
          << Escape(Short(s.exportName)) << (s.text.empty() ? "" : "<br><small>" + Escape(s.text) + "</small>")
          << "</td><td" << span << ">" << s.number << "</td><td" << span << " class=\"" << Escape(s.verdict) << "\">"
          << Escape(s.verdict) << "</td><td" << span << " class=\"num\">"
          << Number(StationSeconds(s.seconds, static_cast<int64_t>(s.waitedMs)), 2) << "</td>";
      }
      if (r) {
        h << "<td class=\"num\">" << r->entry << "</td><td>" << Escape(r->name.value_or(""))
          << "</td><td class=\"num\">" << (r->value ? Number(*r->value, 3) : "") << "</td><td>"
          << LimitText(r->low, r->high) << "</td><td class=\"" << (r->passed ? "PASS" : "FAIL") << "\">"
          << (r->low || r->high ? (r->passed ? "pass" : "MISSED") : "") << "</td>";
      } else {
        h << "<td colspan=\"5\"></td>";
      }
      h << "</tr>\n";
    }
  }
  h << "</table>\n</body></html>\n";
  return h.str();
}

std::string LinePage(const LineView &l, const std::string &unitsFolder) {
  std::ostringstream h;
  std::string scope;
  for (const auto &[key, value] : {std::pair<const char *, std::string>{"since", l.filter.since},
                                   {"until", l.filter.until},
                                   {"station", l.filter.station},
                                   {"plan", l.filter.plan}}) {
    if (!value.empty()) scope += std::string(scope.empty() ? "" : ", ") + key + " " + value;
  }
  h << Head("Line report") << "<h1>Line report</h1><p>" << Escape(scope.empty() ? "every unit" : scope) << "; "
    << Escape(l.first) << " to " << Escape(l.last) << "</p>\n"
    << "<table class=\"counts\"><tr><th>Units</th><th>Attempts</th><th>First-pass yield</th><th>Final yield</th>"
       "<th>Retests</th></tr><tr><td class=\"num\">"
    << l.units << "</td><td class=\"num\">" << l.attempts << "</td><td class=\"num\">"
    << Percent(l.firstPassed, l.firstAttempts) << "</td><td class=\"num\">" << Percent(l.finalPassed, l.units)
    << "</td><td class=\"num\">" << (l.attempts - l.firstAttempts) << "</td></tr></table>\n";

  std::vector<vp::Bar> pareto;
  for (const FailureCount &f : l.failures) {
    pareto.push_back({MeasurementLabel(f.planLine, f.exportName, f.entry, f.name) + (f.entry == 0 ? " ERROR" : ""),
                      static_cast<double>(f.units), ""});
  }
  h << "<h2>Failures</h2>";
  if (pareto.empty()) {
    h << "<p>No limit missed and no step in error.</p>";
  } else {
    h << vp::ParetoSvg("Failures by step and entry", "failed attempts", pareto);
  }
  if (!l.failedUnits.empty()) {
    h << "<p>The latest failing attempts (at most " << kListedFailures << "):</p><table class=\"failed\"><tr><th>Serial"
      << "</th><th>Attempt</th><th>Started</th><th>Station</th></tr>\n";
    for (const FailedUnit &f : l.failedUnits) {
      h << "<tr><td><a href=\"" << Escape(unitsFolder + "/" + UnitPageName(f.serial, f.attempt)) << "\">"
        << Escape(f.serial) << "</a></td><td class=\"num\">" << f.attempt << "</td><td>" << Escape(f.started)
        << "</td><td>" << Escape(f.station) << "</td></tr>\n";
    }
    h << "</table>\n";
  }

  h << "<h2>Test time</h2><div class=\"plots\">"
    << vp::HistogramSvg("Test time per attempt (mean " +
                            Number(vp::Capabilities(l.testTimeMoments, std::nullopt, std::nullopt).mean, 2) + " s)",
                        "seconds", l.testTime);
  std::vector<vp::Bar> steps;
  for (const StepTime &s : l.stepTimes)
    steps.push_back({MeasurementLabel(s.planLine, s.exportName, 0, ""), s.meanSeconds, ""});
  h << vp::ParetoSvg("Mean time per step", "seconds", steps) << "</div>\n";

  std::vector<vp::Bar> hours;
  for (const auto &[hour, count] : l.perHour) hours.push_back({hour + ":00", static_cast<double>(count), ""});
  h << "<h2>Throughput and stations</h2><div class=\"plots\">"
    << vp::BarsSvg("Attempts per hour (UTC)", "attempts", hours)
    << "</div><table class=\"stations\"><tr><th>Station</th><th>Attempts</th><th>First attempts</th><th>First-pass yield"
       "</th></tr>\n";
  for (const StationLine &s : l.stations) {
    h << "<tr><td>" << Escape(s.station) << "</td><td class=\"num\">" << s.attempts << "</td><td class=\"num\">"
      << s.firstAttempts << "</td><td class=\"num\">" << Percent(s.firstPassed, s.firstAttempts) << "</td></tr>\n";
  }
  h << "</table>\n<h2>Measurements</h2>\n<table class=\"capability\"><tr><th>Measurement</th><th>Limit</th><th>n</th>"
       "<th>Failed</th><th>Mean</th><th>SD</th><th>Cpk</th><th>Cpu</th><th>Cpl</th></tr>\n";
  for (const Measurement &m : l.measurements) {
    const vp::Capability c = vp::Capabilities(m.moments, m.low, m.high);
    h << "<tr" << (m.failed ? " class=\"miss\"" : "") << "><td><a href=\"#m" << m.stepIndex << "-" << m.entry << "\">"
      << Escape(MeasurementLabel(m.planLine, m.exportName, m.entry, m.name)) << "</a></td><td>"
      << LimitText(m.low, m.high) << "</td><td class=\"num\">" << c.count << "</td><td class=\"num\">" << m.failed
      << "</td><td class=\"num\">" << Number(c.mean, 4) << "</td><td class=\"num\">" << Number(c.sd, 4)
      << "</td><td class=\"num cpk\">" << Escape(vp::IndexText(c.cpk, c)) << "</td><td class=\"num\">"
      << Escape(vp::IndexText(c.cpu, c)) << "</td><td class=\"num\">" << Escape(vp::IndexText(c.cpl, c))
      << "</td></tr>\n";
  }
  h << "</table>\n";
  for (const Measurement &m : l.measurements) {
    const std::string label = MeasurementLabel(m.planLine, m.exportName, m.entry, m.name);
    h << "<div class=\"meas\" id=\"m" << m.stepIndex << "-" << m.entry << "\"><h3>" << Escape(label)
      << "</h3><div class=\"plots\">" << vp::HistogramSvg("Distribution", "", m.histogram)
      << vp::ControlChartSvg(m.chart.values.size() < static_cast<std::size_t>(m.moments.count)
                                 ? "Control chart (latest " + std::to_string(m.chart.values.size()) + " of " +
                                       std::to_string(m.moments.count) + ")"
                                 : "Control chart",
                             "", m.chart)
      << "</div></div>\n";
  }
  h << l.healthHtml << "</body></html>\n";
  return h.str();
}

}  // namespace vorn_reports
