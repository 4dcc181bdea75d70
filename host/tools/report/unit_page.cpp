// A unit attempt's page: why it failed first, then its header, its plots
// against their limits and every entry of every step.
#include <algorithm>
#include <sstream>

#include "core/catalogue.h"
#include "tools/report/page_parts.h"
#include "tools/report/pages.h"

namespace vorn_reports {
namespace {

namespace vp = vorn_plots;
using vp::Escape;
using vp::Number;

// The box an engineer reads first: each failed measurement in words, with
// its value, limit and unit, and each failure text with what to check.
std::string WhyBox(const UnitView &u) {
  std::ostringstream h;
  const std::vector<vorn_host::FailureLine> lines = vorn_host::FailureLines(u.record.run);
  if (u.verdict == "PASS" && lines.empty()) return "";
  if (lines.empty()) {
    if (!u.stopped) return "";
    h << "<div class=\"stopped\"><h2>Stopped</h2><p>The operator stopped the attempt before its verdict; the steps "
         "after the one running were not run.</p></div>\n";
    return h.str();
  }
  h << "<div class=\"why\"><h2>Why it " << (u.verdict == "ERROR" ? "ended in ERROR" : "failed") << "</h2><ul>\n";
  for (const vorn_host::FailureLine &line : lines) {
    h << "<li>" << Escape(line.text);
    if (!line.check.empty()) h << "<br><span class=\"check\">Check: " << Escape(line.check) << "</span>";
    h << "</li>\n";
  }
  h << "</ul>" << (u.stopped ? "<p>The operator stopped the attempt.</p>" : "") << "</div>\n";
  return h.str();
}

std::string UnitHeader(const UnitView &u) {
  std::ostringstream h;
  h << "<h1>Unit " << Escape(u.serial) << ": <span class=\"" << Escape(u.verdict) << "\">" << Escape(u.verdict)
    << "</span></h1>\n";
  if (u.simulated) h << "<p class=\"simulated\">Tested on the simulated station, not on real equipment.</p>\n";
  h << WhyBox(u);
  const double station = std::max(u.seconds, u.waitedSeconds);
  h << "<dl class=\"header\"><dt>Serial</dt><dd>" << Escape(u.serial) << "</dd><dt>Verdict</dt><dd class=\""
    << Escape(u.verdict) << "\">" << Escape(u.verdict) << (u.stopped ? " (stopped by the operator)" : "")
    << "</dd><dt>Operator</dt><dd class=\"operator\">" << Escape(u.operatorName.empty() ? "-" : u.operatorName)
    << "</dd><dt>Station</dt><dd>" << Escape(u.station) << " (" << Escape(u.host) << ")</dd><dt>Started</dt><dd>"
    << Escape(u.started) << "</dd><dt>Time</dt><dd class=\"times\">station time " << Number(station, 2)
    << " s, of which the equipment's waits " << Number(u.waitedSeconds, 2) << " s; wall time " << Number(u.seconds, 2)
    << " s</dd><dt>Plan</dt><dd>" << Escape(u.plan) << "</dd><dt>Library</dt><dd>" << Escape(u.library) << " "
    << Escape(u.version) << "</dd><dt>Attempt</dt><dd>" << u.attempt << " of " << u.attempts << " (" << Escape(u.uuid)
    << ")</dd></dl>\n";
  return h.str();
}

// The plots an engineer looks at next: the spectra, the burst powers, the
// receive level and quality, each against its limits, each labelled with
// the setting it was measured in.
std::string UnitPlots(const UnitView &u) {
  std::ostringstream h, spectra;
  std::vector<vp::LimitItem> power, level, quality;
  const std::vector<std::optional<vorn_host::Setting>> settings = vorn_host::Settings(u.record.run);
  for (std::size_t i = 0; i < u.steps.size(); ++i) {
    const vorn_results::StepRow &s = u.steps[i];
    const std::string step = Short(s.exportName);
    const std::optional<vorn_host::Setting> &setting = i < settings.size() ? settings[i] : std::nullopt;
    const std::string label = (setting ? setting->text() + ", " : std::string()) + "line " + std::to_string(s.planLine);
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
      << vp::LimitChartSvg("Burst power per band and level", "burst power (dBm)", power) << "</div>\n";
  }
  if (!level.empty() || !quality.empty()) {
    h << "<h2>Receive level and quality</h2><div class=\"plots\">";
    if (!level.empty()) h << vp::LimitChartSvg("Receive level", "RXLEV (0 to 63)", level);
    if (!quality.empty()) h << vp::LimitChartSvg("Receive quality", "RXQUAL (0 to 7)", quality);
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

}  // namespace vorn_reports
