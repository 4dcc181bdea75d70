#include "tools/report/health_sections.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include "core/golden.h"

namespace vorn_reports {

namespace {

namespace vp = vorn_plots;

std::string Str(const Value &v) { return v.value_or(""); }

// The period's and station's rows of a health table, the latest first.
struct Filter {
  std::string where;
  std::vector<Value> params;
};
Filter FilterOf(const LineFilter &f, const char *table) {
  Filter out;
  auto add = [&](const std::string &cond, const std::string &value) {
    if (value.empty()) return;
    out.params.push_back(value);
    out.where += (out.where.empty() ? " WHERE " : " AND ") + std::string(table) + "." + cond + "$" +
                 std::to_string(out.params.size());
  };
  add("at >= ", f.since);
  add("at <= ", f.until);
  add("station = ", f.station);
  return out;
}

std::string Limit() { return " LIMIT " + std::to_string(kListedFailures); }

bool ReadVerifications(const Source &src, const LineFilter &f, HealthHistory &h, std::string &error) {
  const Filter w = FilterOf(f, "v");
  std::map<std::string, std::size_t> index;
  return src.query(
             "SELECT v.uuid, v.at, v.station, v.golden, v.verdict, v.tolerance, v.worst FROM verification v" + w.where +
                 " ORDER BY v.at DESC, v.uuid" + Limit(),
             w.params,
             [&](const Row &r) {
               index[Str(r[0])] = h.verifications.size();
               h.verifications.push_back({Str(r[1]),
                                          Str(r[2]),
                                          Str(r[3]),
                                          Str(r[4]),
                                          vorn_results::ParseNumber(r[5]).value_or(0.0),
                                          vorn_results::ParseNumber(r[6]),
                                          {}});
               return true;
             },
             error) &&
         src.query(
             "SELECT l.verification_uuid, l.key, l.deviation FROM verification_line l JOIN verification v ON"
             " v.uuid = l.verification_uuid" +
                 w.where,
             w.params,
             [&](const Row &r) {
               const auto at = index.find(Str(r[0]));
               if (at != index.end()) {
                 h.verifications[at->second].deviations.emplace_back(Str(r[1]), vorn_results::ParseNumber(r[2]));
               }
               return true;
             },
             error);
}

bool ReadCalibrations(const Source &src, const LineFilter &f, HealthHistory &h, std::string &error) {
  const Filter w = FilterOf(f, "c");
  std::map<std::string, std::size_t> index;
  return src.query(
             "SELECT c.uuid, c.at, c.station, c.golden, c.parameters, c.backup, c.refused, c.written"
             " FROM calibration c" +
                 w.where + " ORDER BY c.at DESC, c.uuid" + Limit(),
             w.params,
             [&](const Row &r) {
               index[Str(r[0])] = h.calibrations.size();
               CalibrationRow c;
               c.at = Str(r[1]);
               c.station = Str(r[2]);
               c.golden = Str(r[3]);
               c.parameters = Str(r[4]);
               c.backup = Str(r[5]);
               c.refused = Str(r[6]);
               c.written = Str(r[7]) == "1";
               h.calibrations.push_back(c);
               return true;
             },
             error) &&
         src.query(
             "SELECT l.calibration_uuid, l.key, l.frequency_mhz, l.old_value, l.new_value, l.corrected"
             " FROM calibration_line l JOIN calibration c ON c.uuid = l.calibration_uuid" +
                 w.where + " ORDER BY l.frequency_mhz",
             w.params,
             [&](const Row &r) {
               const auto at = index.find(Str(r[0]));
               if (at == index.end()) return true;
               h.calibrations[at->second].lines.push_back({Str(r[1]), vorn_results::ParseNumber(r[2]).value_or(0.0),
                                                           vorn_results::ParseNumber(r[3]),
                                                           vorn_results::ParseNumber(r[4]), Str(r[5]) == "1"});
               return true;
             },
             error);
}

bool ReadEvents(const Source &src, const LineFilter &f, HealthHistory &h, std::string &error) {
  const Filter a = FilterOf(f, "a");
  const Filter s = FilterOf(f, "s");
  return src.query(
             "SELECT a.at, a.station, a.measurement, a.rule, a.serial FROM alarm a" + a.where +
                 " ORDER BY a.at DESC, a.uuid" + Limit(),
             a.params,
             [&](const Row &r) {
               h.alarms.push_back({Str(r[0]), Str(r[1]), Str(r[2]), Str(r[3]) + " (unit " + Str(r[4]) + ")"});
               return true;
             },
             error) &&
         src.query(
             "SELECT s.at, s.station, s.reason, min(k.at), min(k.by_whom) FROM station_lock s LEFT JOIN"
             " acknowledgement k ON k.lock_uuid = s.uuid" +
                 s.where + " GROUP BY s.uuid, s.at, s.station, s.reason ORDER BY s.at DESC, s.uuid" + Limit(),
             s.params,
             [&](const Row &r) {
               const std::string ack = r[3] ? "acknowledged " + Str(r[3]) + " by " + Str(r[4]) : "not acknowledged";
               h.stops.push_back({Str(r[0]), Str(r[1]), Str(r[2]), ack});
               return true;
             },
             error);
}

std::string Cell(const std::optional<double> &v, int decimals, const std::string &cls = "num") {
  return "<td class=\"" + cls + "\">" + (v ? vp::Number(*v, decimals) : "") + "</td>";
}

std::string Events(const char *title, const char *what, const char *detail, const std::vector<EventRow> &rows) {
  std::ostringstream h;
  h << "<h3>" << title << "</h3>";
  if (rows.empty()) return h.str() + "<p>None in this period.</p>\n";
  h << "<table class=\"health-events\"><tr><th>Time</th><th>Station</th><th>" << what << "</th><th>" << detail
    << "</th></tr>\n";
  for (const EventRow &e : rows) {
    h << "<tr><td>" << vp::Escape(e.at) << "</td><td>" << vp::Escape(e.station) << "</td><td>" << vp::Escape(e.what)
      << "</td><td>" << vp::Escape(e.detail) << "</td></tr>\n";
  }
  return h.str() + "</table>\n";
}

}  // namespace

bool ReadHealthHistory(const Source &source, const LineFilter &filter, HealthHistory &history, std::string &error) {
  history = HealthHistory();
  if (!ReadVerifications(source, filter, history, error) || !ReadCalibrations(source, filter, history, error) ||
      !ReadEvents(source, filter, history, error)) {
    return false;
  }
  std::reverse(history.verifications.begin(), history.verifications.end());  // oldest first: over time
  return true;
}

std::string HealthSections(const HealthHistory &hh) {
  std::ostringstream h;
  h << "<h3>Verifications with the golden unit</h3>";
  if (hh.verifications.empty()) {
    h << "<p>None in this period.</p>\n";
  } else {
    // Deviation (reading less reference, dB) of each line of the path-loss table, one row per verification.
    h << "<table class=\"verifications\"><tr><th>Time</th><th>Station</th><th>Golden</th><th>Verdict</th>";
    for (const char *key : vorn_host::kPathLossKeys) h << "<th>" << vp::Escape(vorn_host::LineWords(key)) << "</th>";
    h << "</tr>\n";
    for (const VerificationRow &v : hh.verifications) {
      h << "<tr><td>" << vp::Escape(v.at) << "</td><td>" << vp::Escape(v.station) << "</td><td>" << vp::Escape(v.golden)
        << "</td><td class=\"" << vp::Escape(v.verdict) << "\">" << vp::Escape(v.verdict) << "</td>";
      for (const char *key : vorn_host::kPathLossKeys) {
        const auto d =
            std::find_if(v.deviations.begin(), v.deviations.end(), [&](const auto &kv) { return kv.first == key; });
        const std::optional<double> dev = d != v.deviations.end() ? d->second : std::nullopt;
        const bool out = !dev || std::fabs(*dev) > v.tolerance;
        h << Cell(dev, 2, out ? "num miss" : "num");
      }
      h << "</tr>\n";
    }
    h << "</table>\n";
  }
  h << "<h3>Calibrations of the path loss</h3>";
  if (hh.calibrations.empty()) h << "<p>None in this period.</p>\n";
  for (const CalibrationRow &c : hh.calibrations) {
    h << "<p>" << vp::Escape(c.at) << ", station " << vp::Escape(c.station) << ", golden " << vp::Escape(c.golden)
      << ", " << vp::Escape(c.parameters) << ": "
      << (c.refused.empty()
              ? (c.written ? "written, the old file kept as " + vp::Escape(c.backup) : "nothing to correct")
              : "refused: " + vp::Escape(c.refused))
      << "</p><table class=\"calibration\"><tr><th>Frequency (MHz)</th><th>Key</th><th>Old (dB)</th><th>New (dB)</th>"
      << "<th>Change (dB)</th></tr>\n";
    for (const CalibrationRow::Line &l : c.lines) {
      const std::optional<double> change =
          l.corrected && l.oldValue && l.newValue ? std::optional<double>(*l.newValue - *l.oldValue) : std::nullopt;
      h << "<tr><td class=\"num\">" << vp::Number(l.frequencyMhz, 1) << "</td><td>" << vp::Escape(l.key) << "</td>"
        << Cell(l.oldValue, 2) << Cell(l.newValue, 2) << Cell(change, 2) << "</tr>\n";
    }
    h << "</table>\n";
  }
  h << Events("Process alarms", "Measurement", "Rule", hh.alarms);
  h << Events("Stops of the station", "Reason", "Acknowledgement", hh.stops);
  return h.str();
}

}  // namespace vorn_reports
