#include "outputs/console/table.h"

#include <cmath>
#include <cstdio>

#include "core/catalogue.h"
#include "os/text.h"

namespace vorn_host {

namespace {

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

std::string TableValue(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

std::string Joined(const std::vector<std::string> &texts) {
  std::string out;
  for (const std::string &t : texts) out += (out.empty() ? "" : " ") + t;
  return out;
}

std::string Counts(const RunRecord &run) {
  std::string out;
  for (Verdict v : {Verdict::kPass, Verdict::kFail, Verdict::kError, Verdict::kNotRun}) {
    const int n = run.count(v);
    if (n == 0) continue;
    if (!out.empty()) out += ", ";
    out += std::to_string(n) + " " + (v == Verdict::kNotRun ? "not run" : VerdictText(v));
  }
  return out;
}

// Lines end at their last mark: nothing trails behind an empty column. Names,
// texts and paths come from outside: no control byte reaches the terminal.
class Lines {
 public:
  explicit Lines(std::ostream &out) : out_(out) {}
  void operator()(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out_ << TerminalText(text) << "\n";
  }

 private:
  std::ostream &out_;
};

// Result names up to this long keep the measurement's words in one column.
constexpr std::size_t kNameWidth = 32;

// "burst power (dBm)", or nothing for an entry the catalogue does not know.
std::string Words(const StepRecord &r, const EntryResult &e) {
  const std::optional<Measurement> m = MeasurementOf(r.step.exportName, e.entry, e.name);
  if (!m) return "";
  return m->name + (m->unit.empty() ? "" : " (" + m->unit + ")");
}

void StepLines(Lines &line, std::size_t number, const StepRecord &r) {
  const std::string indent(12, ' ');
  char head[64];
  std::snprintf(head, sizeof head, "%3zu %5d  ", number, static_cast<int>(r.step.number));
  const std::string time = r.verdict == Verdict::kNotRun ? "" : Seconds(r.seconds);
  line(head + Padded(r.step.shortName(), 24) + " " + Padded(VerdictText(r.verdict), 8) +
       std::string(time.size() < 9 ? 9 - time.size() : 0, ' ') + time);
  if (r.verdict == Verdict::kError) line(indent + r.text);
  for (const EntryResult &e : r.entries) {
    char entry[48];
    std::snprintf(entry, sizeof entry, "[%2d] %12s  ", e.entry, e.value ? TableValue(*e.value).c_str() : "-");
    const std::string limit = e.limit ? e.limit->text() + (e.passed ? " ok" : " FAIL") : "";
    line(indent + entry + Padded(limit, 18) + Padded(e.name ? *e.name : "", kNameWidth - 1) + " " + Words(r, e));
  }
  for (const std::string &miss : r.misses) line(indent + "FAIL: " + miss);
}

}  // namespace

std::string Heading(const SessionRecord &s) {
  return "Vorn_CMU200 " + s.version + " on " + (s.simulated ? "the simulated station " : "station ") + s.station +
         (s.virtualClock ? ", virtual clock" : ", real time");
}

void WriteTable(std::ostream &out, const SessionRecord &s, const RunRecord &run) {
  Lines line(out);
  line(Heading(s));
  line("plan " + s.plan + ", parameters " + s.parameters + ", started " + run.started);
  if (!s.scenarios.empty()) line("scenarios " + Joined(s.scenarios));
  if (!s.faults.empty()) line("faults " + Joined(s.faults));
  if (!s.operatorName.empty()) line("operator " + s.operatorName);
  line("");
  line(" No  Step  " + Padded("Export", 24) + " " + Padded("Verdict", 8) + "     Time");
  for (std::size_t i = 0; i < run.steps.size(); ++i) StepLines(line, i + 1, run.steps[i]);
  std::string summary =
      "Run: " + std::string(VerdictText(run.verdict)) + " (" + Counts(run) + ") in " + Seconds(run.seconds);
  if (s.virtualClock) summary += ", " + Seconds(run.waitedMs / 1000.0) + " on the station's clock";
  line("");
  line(summary + "; exit status " + std::to_string(run.exitStatus()) +
       (run.stopped ? "; stopped by the operator" : ""));
}

void SessionTable::add(const UnitRecord &unit) {
  if (unit.run.verdict == Verdict::kPass) return;
  if (notPassed_.size() >= kListed) {
    ++notListed_;
    return;
  }
  std::string what = unit.run.stopped && unit.run.verdict == Verdict::kNotRun ? "stopped" : "";
  const std::vector<FailureLine> findings = FailureLines(unit.run);
  if (!findings.empty()) what = findings.front().text;  // the first; the record holds them all
  char head[160];
  std::snprintf(head, sizeof head, "%5d  %-20s %7d  %-8s ", unit.index, unit.serial.c_str(), unit.attempt,
                VerdictText(unit.run.verdict));
  notPassed_.push_back(head + what);
}

void SessionTable::write(std::ostream &out, const SessionRecord &session, const Tally &tally, bool stopped) const {
  Lines line(out);
  line(Heading(session));
  line("session " + session.id + ", plan " + session.plan + ", parameters " + session.parameters);
  line("started " + session.started + ", ended " + session.ended);
  if (!session.scenarios.empty()) line("scenarios " + Joined(session.scenarios));
  if (!session.operatorName.empty()) line("operator " + session.operatorName);
  line("");
  if (!notPassed_.empty()) {
    line(" Unit  Serial               Attempt  Verdict  First finding");
    for (const std::string &l : notPassed_) line(l);
    if (notListed_ > 0) {
      line("  ... and " + std::to_string(notListed_) + " more attempts that did not pass (in the records)");
    }
    line("");
  }
  line("Session: " + tally.line() + "; " + std::to_string(tally.attempts) +
       (tally.attempts == 1 ? " attempt" : " attempts") + (stopped ? "; stopped by the operator" : ""));
}

}  // namespace vorn_host
