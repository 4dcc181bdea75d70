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

std::string UnitHeader(const UnitView &u) {
  std::ostringstream h;
  h << "<h1>Unit " << Escape(u.serial) << ": <span class=\"" << Escape(u.verdict) << "\">" << Escape(u.verdict)
    << "</span></h1>\n";
  if (u.simulated) h << "<p class=\"simulated\">Tested on the simulated station, not on real equipment.</p>\n";
  h << "<dl class=\"header\"><dt>Serial</dt><dd>" << Escape(u.serial) << "</dd><dt>Verdict</dt><dd class=\""
    << Escape(u.verdict) << "\">" << Escape(u.verdict) << (u.stopped ? " (stopped by the operator)" : "")
    << "</dd><dt>Operator</dt><dd class=\"operator\">" << Escape(u.operatorName.empty() ? "-" : u.operatorName)
    << "</dd><dt>Station</dt><dd>" << Escape(u.station) << " (" << Escape(u.host) << ")</dd><dt>Time</dt><dd>"
    << Escape(u.started) << ", " << Number(u.seconds, 2) << " s</dd><dt>Plan</dt><dd>" << Escape(u.plan)
    << "</dd><dt>Library</dt><dd>" << Escape(u.library) << " " << Escape(u.version) << "</dd><dt>Attempt</dt><dd>"
    << u.attempt << " of " << u.attempts << " (" << Escape(u.uuid) << ")</dd></dl>\n";
  return h.str();
}

// The plots an engineer looks at first: the spectra, the burst powers, the
// receive level and quality, each against its limits.
std::string UnitPlots(const UnitView &u) {
  std::ostringstream h, spectra;
  std::vector<vp::LimitItem> power, level, quality;
  std::string setting;  // the band, channel and level the latest step named
  for (const vorn_results::StepRow &s : u.steps) {
    const std::string step = Short(s.exportName);
    for (const vorn_results::ResultRow &r : s.results) {
      if (r.name && r.name->rfind("Band=", 0) == 0) setting = Setting(*r.name);
    }
    const std::string label = (setting.empty() ? "" : setting + ", ") + "line " + std::to_string(s.planLine);
    std::vector<vp::SpectrumPoint> mod, sw;
    for (const vorn_results::ResultRow &r : s.results) {
      const auto sn = vp::ParseSpectrumName(r.name.value_or(""));
      if (!sn || !r.value) continue;
      (sn->kind == vp::SpectrumKind::kModulation ? mod : sw).push_back({sn->offsetKhz, *r.value, r.low, r.high});
    }
    if (!mod.empty())
      spectra << vp::SpectrumSvg(vp::SpectrumKind::kModulation, "Output RF spectrum due to modulation (" + label + ")",
                                 mod);
    if (!sw.empty())
      spectra << vp::SpectrumSvg(vp::SpectrumKind::kSwitching, "Output RF spectrum due to switching (" + label + ")",
                                 sw);
    for (const vorn_results::ResultRow &r : s.results) {
      if (!r.value) continue;
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
  return h.str();
}

// Every entry of every step: its value, limit and verdict; a missed limit's
// row marked.
std::string StepTable(const UnitView &u) {
  std::ostringstream h;
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
  h << "</table>\n";
  return h.str();
}

// ---- the line page's sections -------------------------------------------------

// What the page covers, what data it is, and the tally.
std::string LineHeader(const LineView &l, const std::string &command) {
  std::ostringstream h;
  std::string scope;
  for (const auto &[key, value] : {std::pair<const char *, std::string>{"since", l.filter.since},
                                   {"until", l.filter.until},
                                   {"station", l.filter.station},
                                   {"plan", l.filter.plan}}) {
    if (!value.empty()) scope += std::string(scope.empty() ? "" : ", ") + key + " " + value;
  }
  h << "<h1>Line report</h1><p>" << Escape(scope.empty() ? "every unit" : scope) << "; " << Escape(l.first) << " to "
    << Escape(l.last) << "</p>\n";
  const std::string simulated = SimulatedNote(l.provenance);
  if (!simulated.empty()) h << "<p class=\"simulated\">" << Escape(simulated) << ", not on real equipment.</p>\n";
  for (const auto &[note, option] : LeftOutNotes(l.provenance)) {
    h << "<p class=\"left-out\">" << Escape(note) << ": <code>" << Escape(command + " " + option) << "</code></p>\n";
  }
  const vorn_host::Tally &t = l.tally;
  h << "<table class=\"counts\"><tr><th>Units</th><th>Attempts</th><th>First-pass yield</th><th>Final yield</th>"
       "<th>Retests</th><th>Stopped</th><th>Units per hour</th></tr><tr><td class=\"num\">"
    << t.units << "</td><td class=\"num\">" << t.attempts << "</td><td class=\"num\">"
    << vorn_host::PercentText(t.firstPassYield()) << "</td><td class=\"num\">" << vorn_host::PercentText(t.finalYield())
    << "</td><td class=\"num\">" << t.retests << "</td><td class=\"num\">" << t.stopped << "</td><td class=\"num\">"
    << (t.unitsPerHour() ? Number(*t.unitsPerHour(), 0) : "-") << "</td></tr></table>\n<p class=\"tally\">"
    << Escape(t.line()) << "</p>\n";
  return h.str();
}

std::string FailureSection(const LineView &l, const std::string &unitsFolder) {
  std::ostringstream h;
  std::vector<vp::Bar> pareto;
  for (const FailureCount &f : l.failures) {
    pareto.push_back({f.words + " (line " + std::to_string(f.planLine) + ")", static_cast<double>(f.units), ""});
  }
  h << "<h2>Failures</h2>";
  if (pareto.empty()) {
    h << "<p>No limit missed and no step in error.</p>";
  } else {
    h << vp::ParetoSvg("Failures by measurement", "failed attempts", pareto);
  }
  if (l.failedUnits.empty()) return h.str();
  h << "<p>The latest failing attempts (at most " << kListedFailures << "):</p><table class=\"failed\"><tr><th>Serial"
    << "</th><th>Attempt</th><th>Verdict</th><th>What failed</th><th>Started</th><th>Station</th><th>Operator</th>"
       "</tr>\n";
  for (const FailedUnit &f : l.failedUnits) {
    h << "<tr><td><a href=\"" << Escape(unitsFolder + "/" + UnitPageName(f.uuid)) << "\">" << Escape(f.serial)
      << "</a></td><td class=\"num\">" << f.attempt << "</td><td class=\"" << Escape(f.verdict) << "\">"
      << Escape(f.verdict) << "</td><td class=\"why\">" << Escape(f.why)
      << (f.more > 0 ? " (and " + std::to_string(f.more) + " more)" : "") << "</td><td>" << Escape(f.started)
      << "</td><td>" << Escape(f.station) << "</td><td class=\"operator\">"
      << Escape(f.operatorName.empty() ? "-" : f.operatorName) << "</td></tr>\n";
  }
  h << "</table>\n";
  return h.str();
}

std::string TimeSection(const LineView &l) {
  std::ostringstream h;
  h << "<h2>Test time</h2><p>Mean unit time "
    << (l.tally.meanUnitSeconds() ? Number(*l.tally.meanUnitSeconds(), 2) + " s" : std::string("-"))
    << " on the station, retests included.</p><div class=\"plots\">";
  std::vector<vp::Bar> steps;
  for (const StepTime &s : l.stepTimes) {
    steps.push_back({s.title + " (line " + std::to_string(s.planLine) + ")", s.meanStation, ""});
  }
  h << vp::ParetoSvg("Mean time per step", "seconds", steps);
  std::vector<vp::Bar> hours;
  for (const HourUnits &u : l.perHour)
    hours.push_back({u.station + " " + u.hour + ":00", static_cast<double>(u.units), ""});
  h << vp::BarsSvg("Units per hour (UTC), per station", "units", hours) << "</div>\n";
  if (!l.slowest.empty()) {
    h << "<table class=\"slowest\"><tr><th>Serial</th><th>Attempt</th><th>Station time (s)</th><th>Wall time (s)"
         "</th><th>Started</th><th>Station</th></tr>\n";
    for (const SlowUnit &s : l.slowest) {
      h << "<tr><td>" << Escape(s.serial) << "</td><td class=\"num\">" << s.attempt << "</td><td class=\"num\">"
        << Number(s.stationSeconds, 2) << "</td><td class=\"num\">" << Number(s.wallSeconds, 2) << "</td><td>"
        << Escape(s.started) << "</td><td>" << Escape(s.station) << "</td></tr>\n";
    }
    h << "</table>\n";
  }
  h << "<h2>Stations</h2><table class=\"stations\"><tr><th>Station</th><th>Units</th><th>Attempts</th><th>"
       "First-pass yield</th><th>Final yield</th><th>Retests</th><th>Stopped</th></tr>\n";
  for (const StationLine &s : l.stations) {
    const vorn_host::Tally &t = s.tally;
    h << "<tr><td>" << Escape(s.station) << "</td><td class=\"num\">" << t.units << "</td><td class=\"num\">"
      << t.attempts << "</td><td class=\"num\">" << vorn_host::PercentText(t.firstPassYield())
      << "</td><td class=\"num\">" << vorn_host::PercentText(t.finalYield()) << "</td><td class=\"num\">" << t.retests
      << "</td><td class=\"num\">" << t.stopped << "</td></tr>\n";
  }
  h << "</table>\n";
  return h.str();
}

std::string MeasurementSection(const LineView &l) {
  std::ostringstream h;
  h << "<h2>Measurements</h2>\n<table class=\"capability\"><tr><th>Measurement</th><th>Line</th><th>Limit</th>"
       "<th>n</th><th>Failed</th><th>Mean</th><th>SD</th><th>Cpk</th><th>Cpu</th><th>Cpl</th></tr>\n";
  for (const Measurement &m : l.measurements) {
    const vp::Capability c = vp::Capabilities(m.moments, m.low, m.high);
    h << "<tr" << (m.failed ? " class=\"miss\"" : "") << "><td><a href=\"#m" << m.planLine << "-" << m.entry << "\">"
      << Escape(m.words) << "</a></td><td class=\"num\">" << m.planLine << "</td><td>" << LimitText(m.low, m.high)
      << (m.unit.empty() ? "" : " " + Escape(m.unit)) << "</td><td class=\"num\">" << c.count
      << "</td><td class=\"num\">" << m.failed << "</td><td class=\"num\">" << Number(c.mean, 4)
      << "</td><td class=\"num\">" << Number(c.sd, 4) << "</td><td class=\"num cpk\">"
      << Escape(vp::IndexText(c.cpk, c)) << "</td><td class=\"num\">" << Escape(vp::IndexText(c.cpu, c))
      << "</td><td class=\"num\">" << Escape(vp::IndexText(c.cpl, c)) << "</td></tr>\n";
  }
  h << "</table>\n";
  for (const Measurement &m : l.measurements) {
    h << "<div class=\"meas\" id=\"m" << m.planLine << "-" << m.entry << "\"><h3>" << Escape(m.words) << " (line "
      << m.planLine << ")</h3><div class=\"plots\">" << vp::HistogramSvg("Distribution", m.unit, m.histogram)
      << vp::ControlChartSvg(m.chart.values.size() < static_cast<std::size_t>(m.moments.count)
                                 ? "Control chart (latest " + std::to_string(m.chart.values.size()) + " of " +
                                       std::to_string(m.moments.count) + ")"
                                 : "Control chart",
                             m.unit, m.chart)
      << "</div></div>\n";
  }
  return h.str();
}

}  // namespace

std::string UnitPageName(const std::string &uuid) {
  std::string s = uuid.substr(0, 64);
  for (char &c : s) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    if (!keep) c = '_';
  }
  return s + ".html";
}

std::string UnitPage(const UnitView &u, const std::string &attemptsCommand) {
  return Head("Unit " + u.serial + " attempt " + std::to_string(u.attempt)) + UnitHeader(u) + UnitPlots(u) +
         StepTable(u) + "<p class=\"hint\">Every attempt of this phone: <code>" + Escape(attemptsCommand) +
         "</code></p>\n</body></html>\n";
}

std::string LinePage(const LineView &l, const std::string &unitsFolder, const std::string &command) {
  return Head("Line report") + LineHeader(l, command) + FailureSection(l, unitsFolder) + TimeSection(l) +
         MeasurementSection(l) + "</body></html>\n";
}

}  // namespace vorn_reports
