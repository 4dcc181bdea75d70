// The line's page: a summary an engineer reads in a minute, then sections
// that fold away: failures, test time, stations, measurements.
#include <algorithm>
#include <sstream>

#include "tools/report/page_parts.h"
#include "tools/report/pages.h"

namespace vorn_reports {
namespace {

namespace vp = vorn_plots;
using vp::Escape;
using vp::Number;

constexpr std::size_t kTopFive = 5;

std::string Anchor(const Measurement &m) { return "m" + std::to_string(m.planLine) + "-" + std::to_string(m.entry); }
std::string Linked(const Measurement &m) {
  return "<a href=\"#" + Anchor(m) + "\">" + Escape(m.words) + "</a> (line " + std::to_string(m.planLine) + ")";
}

// A section that folds away, open at first.
std::string Section(const std::string &id, const std::string &title, const std::string &body) {
  return "<details id=\"" + id + "\" open><summary><h2>" + Escape(title) + "</h2></summary>\n" + body + "</details>\n";
}

// What the page covers and what data it is.
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
  return h.str();
}

// The tally; the five measurements that fail most; the five lowest Cpk.
std::string Summary(const LineView &l) {
  std::ostringstream h;
  const vorn_host::Tally &t = l.tally;
  h << "<section class=\"summary\"><table class=\"counts\"><tr><th>Units</th><th>Attempts</th><th>First-pass yield</th>"
       "<th>Final yield</th><th>Retests</th><th>Stopped</th><th>Units per hour</th></tr><tr><td class=\"num\">"
    << t.units << "</td><td class=\"num\">" << t.attempts << "</td><td class=\"num\">"
    << vorn_host::PercentText(t.firstPassYield()) << "</td><td class=\"num\">" << vorn_host::PercentText(t.finalYield())
    << "</td><td class=\"num\">" << t.retests << "</td><td class=\"num\">" << t.stopped << "</td><td class=\"num\">"
    << (t.unitsPerHour() ? Number(*t.unitsPerHour(), 0) : "-") << "</td></tr></table>\n<p class=\"tally\">"
    << Escape(t.line()) << "</p>\n<div class=\"top\"><div><h3>The measurements that fail most</h3>";
  std::vector<const Measurement *> failing, capable;
  for (const Measurement &m : l.measurements) {
    if (m.failed > 0) failing.push_back(&m);
    if (vp::Capabilities(m.moments, m.low, m.high).cpk) capable.push_back(&m);
  }
  std::stable_sort(failing.begin(), failing.end(), [](auto *a, auto *b) { return a->failed > b->failed; });
  if (failing.empty()) h << "<p>No limit missed.</p>";
  h << "<ol class=\"top-failures\">";
  for (std::size_t i = 0; i < std::min(kTopFive, failing.size()); ++i) {
    h << "<li>" << Linked(*failing[i]) << ": " << failing[i]->failed << " missed</li>";
  }
  const auto cpk = [](const Measurement *m) { return *vp::Capabilities(m->moments, m->low, m->high).cpk; };
  std::stable_sort(capable.begin(), capable.end(), [&](auto *a, auto *b) { return cpk(a) < cpk(b); });
  h << "</ol></div><div><h3>The lowest Cpk</h3>" << (capable.empty() ? "<p>No measurement has a Cpk yet.</p>" : "")
    << "<table class=\"low-cpk\">";
  for (std::size_t i = 0; i < std::min(kTopFive, capable.size()); ++i) {
    const vp::Capability c = vp::Capabilities(capable[i]->moments, capable[i]->low, capable[i]->high);
    h << "<tr><td>" << Linked(*capable[i]) << "</td><td class=\"num " << CpkClass(c) << "\">" << Number(*c.cpk, 2)
      << "</td></tr>";
  }
  h << "</table></div></div>\n<p>Below: <a href=\"#failures\">failures</a> · <a href=\"#time\">test time</a> · "
       "<a href=\"#stations\">stations</a> · <a href=\"#measurements\">every measurement</a>. Cpk amber below 1.33, "
       "red below 1.0.</p></section>\n";
  return h.str();
}

std::string Failures(const LineView &l, const std::string &unitsFolder) {
  std::ostringstream h;
  std::vector<vp::Bar> pareto;
  for (const FailureCount &f : l.failures) {
    pareto.push_back({f.words + " (line " + std::to_string(f.planLine) + ")", static_cast<double>(f.units), ""});
  }
  h << (pareto.empty() ? "<p>No limit missed and no step in error.</p>"
                       : vp::ParetoSvg("Failures by measurement", "failed attempts", pareto));
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

std::string TestTime(const LineView &l, const std::string &unitsFolder) {
  std::ostringstream h;
  h << "<p>Mean unit time "
    << (l.tally.meanUnitSeconds() ? Number(*l.tally.meanUnitSeconds(), 2) + " s" : std::string("-"))
    << " on the station, retests included.</p><div class=\"plots\">";
  std::vector<vp::StackedBar> steps;
  for (const StepTime &s : l.stepTimes) {
    steps.push_back({s.title + " (line " + std::to_string(s.planLine) + ")", s.meanWaited, s.meanOwn});
  }
  h << vp::StackedParetoSvg("Mean time per step", "seconds per run of the step", "the equipment's waits",
                            "the host's own time", steps);
  std::vector<vp::Bar> hours;
  for (const HourUnits &u : l.perHour) {
    hours.push_back({u.station + ", " + u.hour.substr(0, 10) + " " + u.hour.substr(11) + ":00 UTC",
                     static_cast<double>(u.units), ""});
  }
  h << vp::BarsSvg("Units per hour and station (the period's latest 48 hours)", "units first tested in the hour", hours)
    << "</div>\n";
  if (l.slowest.empty()) return h.str();
  h << "<h3>The slowest units</h3><table class=\"slowest\"><tr><th>Serial</th><th>Attempt</th><th>Station time (s)"
       "</th><th>Wall time (s)</th><th>Started</th><th>Station</th></tr>\n";
  for (const SlowUnit &s : l.slowest) {
    h << "<tr><td><a href=\"" << Escape(unitsFolder + "/" + UnitPageName(s.uuid)) << "\">" << Escape(s.serial)
      << "</a></td><td class=\"num\">" << s.attempt << "</td><td class=\"num\">" << Number(s.stationSeconds, 2)
      << "</td><td class=\"num\">" << Number(s.wallSeconds, 2) << "</td><td>" << Escape(s.started) << "</td><td>"
      << Escape(s.station) << "</td></tr>\n";
  }
  h << "</table>\n";
  return h.str();
}

std::string Stations(const LineView &l) {
  std::ostringstream h;
  h << "<table class=\"stations\"><tr><th>Station</th><th>Units</th><th>Attempts</th><th>First-pass yield</th>"
       "<th>Final yield</th><th>Retests</th><th>Stopped</th><th>Units per hour</th></tr>\n";
  for (const StationLine &s : l.stations) {
    const vorn_host::Tally &t = s.tally;
    h << "<tr><td>" << Escape(s.station) << "</td><td class=\"num\">" << t.units << "</td><td class=\"num\">"
      << t.attempts << "</td><td class=\"num\">" << vorn_host::PercentText(t.firstPassYield())
      << "</td><td class=\"num\">" << vorn_host::PercentText(t.finalYield()) << "</td><td class=\"num\">" << t.retests
      << "</td><td class=\"num\">" << t.stopped << "</td><td class=\"num\">"
      << (t.unitsPerHour() ? Number(*t.unitsPerHour(), 0) : "-") << "</td></tr>\n";
  }
  h << "</table>\n";
  return h.str();
}

std::string Measurements(const LineView &l) {
  std::ostringstream h;
  h << "<table class=\"capability\"><tr><th>Measurement</th><th>Line</th><th>Limit</th><th>n</th><th>Failed</th>"
       "<th>Mean</th><th>SD</th><th>Cpk</th><th>Cpu</th><th>Cpl</th></tr>\n";
  for (const Measurement &m : l.measurements) {
    const vp::Capability c = vp::Capabilities(m.moments, m.low, m.high);
    h << "<tr" << (m.failed ? " class=\"miss\"" : "") << "><td><a href=\"#" << Anchor(m) << "\">" << Escape(m.words)
      << "</a></td><td class=\"num\">" << m.planLine << "</td><td>" << LimitText(m.low, m.high)
      << (m.unit.empty() ? "" : " " + Escape(m.unit)) << "</td><td class=\"num\">" << c.count
      << "</td><td class=\"num\">" << m.failed << "</td><td class=\"num\">" << Number(c.mean, 4)
      << "</td><td class=\"num\">" << Number(c.sd, 4) << "</td><td class=\"num " << CpkClass(c) << "\">"
      << Escape(vp::IndexText(c.cpk, c)) << "</td><td class=\"num\">" << Escape(vp::IndexText(c.cpu, c))
      << "</td><td class=\"num\">" << Escape(vp::IndexText(c.cpl, c)) << "</td></tr>\n";
  }
  h << "</table>\n";
  for (const Measurement &m : l.measurements) {
    const std::size_t shown = m.chart.values.size();
    h << "<div class=\"meas\" id=\"" << Anchor(m) << "\"><h3>" << Escape(m.words) << " (line " << m.planLine
      << ")</h3><div class=\"plots\">" << vp::HistogramSvg("Distribution", m.axis, m.histogram)
      << vp::ControlChartSvg(
             shown < static_cast<std::size_t>(m.moments.count)
                 ? "Control chart (latest " + std::to_string(shown) + " of " + std::to_string(m.moments.count) + ")"
                 : "Control chart",
             m.axis, m.chart)
      << "</div></div>\n";
  }
  return h.str();
}

}  // namespace

std::string LinePage(const LineView &l, const std::string &unitsFolder, const std::string &command) {
  return Head("Line report") + LineHeader(l, command) + Summary(l) +
         Section("failures", "Failures", Failures(l, unitsFolder)) +
         Section("time", "Test time", TestTime(l, unitsFolder)) + Section("stations", "Stations", Stations(l)) +
         Section("measurements", "Every measurement (" + std::to_string(l.measurements.size()) + ")", Measurements(l)) +
         Section("health", "Station health", l.healthHtml) + "</body></html>\n";
}

}  // namespace vorn_reports
