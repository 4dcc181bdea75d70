#include "outputs/console/report.h"

#include <charconv>
#include <cmath>

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

std::string JsonArray(const std::vector<std::string> &texts) {
  std::string out = "[";
  for (std::size_t i = 0; i < texts.size(); ++i) out += (i ? ", " : "") + JsonString(texts[i]);
  return out + "]";
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

}  // namespace

void ConsoleProgress::stepStarted(std::size_t index, std::size_t count, const PlanStep &step) {
  const int width = static_cast<int>(std::to_string(count).size());
  std::fprintf(out_, "[%*zu/%zu] %s, step %d", width, index + 1, count, step.shortName().c_str(),
               static_cast<int>(step.number));
  std::fflush(out_);
  longWaits_ = 0;
}

void ConsoleProgress::waiting(uint32_t milliseconds) {
  if (milliseconds < kLongWaitMs) return;
  std::fprintf(out_, "%s%.1f s", longWaits_ == 0 ? ": waiting on the equipment " : ", ", milliseconds / 1000.0);
  std::fflush(out_);
  ++longWaits_;
}

void ConsoleProgress::stepFinished(const StepRecord &record) {
  std::fprintf(out_, " ... %s (%.2f s)\n", VerdictText(record.verdict), record.seconds);
  std::fflush(out_);
}

void WriteTable(std::ostream &out, const RunSetting &s, const RunRecord &run) {
  // Lines end at their last mark: nothing trails behind an empty column.
  // Names, texts and paths come from outside: no control byte reaches the terminal.
  auto line = [&out](std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out << TerminalText(text) << "\n";
  };
  line("Vorn_CMU200 " + s.version + " on " + (s.simulated ? "the simulated station " : "station ") + s.station +
       (s.virtualClock ? ", virtual clock" : ", real time"));
  line("plan " + s.plan + ", parameters " + s.parameters + ", started " + run.started);
  if (!s.scenarios.empty()) line("scenarios " + Joined(s.scenarios));
  if (!s.faults.empty()) line("faults " + Joined(s.faults));
  line("");
  line(" No  Step  " + Padded("Export", 24) + " " + Padded("Verdict", 8) + "     Time");
  const std::string indent(12, ' ');
  for (std::size_t i = 0; i < run.steps.size(); ++i) {
    const StepRecord &r = run.steps[i];
    char head[64];
    std::snprintf(head, sizeof head, "%3zu %5d  ", i + 1, static_cast<int>(r.step.number));
    std::string time;
    if (r.verdict != Verdict::kNotRun) time = Seconds(r.seconds);
    line(head + Padded(r.step.shortName(), 24) + " " + Padded(VerdictText(r.verdict), 8) +
         std::string(time.size() < 9 ? 9 - time.size() : 0, ' ') + time);
    if (r.verdict == Verdict::kError) line(indent + r.text);
    for (const EntryResult &e : r.entries) {
      char entry[48];
      std::snprintf(entry, sizeof entry, "[%2d] %12s  ", e.entry, e.value ? TableValue(*e.value).c_str() : "-");
      std::string limit;
      if (e.limit) limit = e.limit->text() + (e.passed ? " ok" : " FAIL");
      line(indent + entry + Padded(limit, 18) + (e.name ? *e.name : ""));
    }
    for (const std::string &miss : r.misses) line(indent + "FAIL: " + miss);
  }
  std::string summary =
      "Run: " + std::string(VerdictText(run.verdict)) + " (" + Counts(run) + ") in " + Seconds(run.seconds);
  if (s.virtualClock) summary += ", " + Seconds(run.waitedMs / 1000.0) + " on the station's clock";
  line("");
  line(summary + "; exit status " + std::to_string(run.exitStatus()) +
       (run.stopped ? "; stopped by the operator" : ""));
}

std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  const auto [last, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc() ? std::string(text, last) : std::string("null");
}

std::string JsonValue(double value) {
  if (std::isnan(value)) return "\"NaN\"";
  if (std::isinf(value)) return value > 0 ? "\"Infinity\"" : "\"-Infinity\"";
  return JsonNumber(value);
}

std::string JsonString(const std::string &text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const auto u = static_cast<unsigned char>(c);
    const std::size_t length = Utf8Length(text, i);
    if (length > 1) {
      out.append(text, i, length);  // valid UTF-8 stays as it is
      i += length;
      continue;
    }
    ++i;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20 || length == 0) {
      // A control byte, or a byte that is not UTF-8: the latter is read as
      // the Latin-1 character of its value (0xE9 as U+00E9), so the record
      // stays valid and the byte's value can be told.
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", u);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void WriteJson(std::ostream &out, const RunSetting &s, const RunRecord &run) {
  out << "{\n";
  out << "  \"station\": {\"name\": " << JsonString(s.station)
      << ", \"simulated\": " << (s.simulated ? "true" : "false")
      << ", \"clock\": " << JsonString(s.virtualClock ? "virtual" : "real")
      << ", \"library\": " << JsonString(s.library) << ", \"version\": " << JsonString(s.version)
      << ", \"parameters\": " << JsonString(s.parameters) << ", \"scenarios\": " << JsonArray(s.scenarios)
      << ", \"faults\": " << JsonArray(s.faults) << "},\n";
  out << "  \"plan\": " << JsonString(s.plan) << ",\n";
  out << "  \"started\": " << JsonString(run.started) << ",\n";
  out << "  \"verdict\": " << JsonString(VerdictText(run.verdict)) << ",\n";
  out << "  \"exitStatus\": " << run.exitStatus() << ",\n";
  out << "  \"durationMs\": " << JsonNumber(std::round(run.seconds * 1e4) / 10) << ",\n";
  out << "  \"waitedMs\": " << run.waitedMs << ",\n";
  if (run.stopped) out << "  \"stopped\": true,\n";
  out << "  \"steps\": [";
  for (std::size_t i = 0; i < run.steps.size(); ++i) {
    const StepRecord &r = run.steps[i];
    out << (i ? ",\n" : "\n") << "    {\"index\": " << i + 1 << ", \"line\": " << r.step.line
        << ", \"export\": " << JsonString(r.step.exportName) << ", \"step\": " << r.step.number
        << ", \"verdict\": " << JsonString(VerdictText(r.verdict));
    if (r.step.cleanup) out << ", \"cleanup\": true";
    if (r.verdict != Verdict::kNotRun) {
      out << ", \"returned\": " << r.returned << ", \"text\": " << JsonString(r.text)
          << ", \"durationMs\": " << JsonNumber(std::round(r.seconds * 1e4) / 10) << ", \"waitedMs\": " << r.waitedMs;
    }
    out << ",\n     \"limits\": [";
    for (std::size_t k = 0; k < r.step.limits.size(); ++k) {
      const Limit &l = r.step.limits[k];
      out << (k ? ", " : "") << "{\"entry\": " << l.entry << ", \"low\": " << (l.low ? JsonNumber(*l.low) : "null")
          << ", \"high\": " << (l.high ? JsonNumber(*l.high) : "null") << "}";
    }
    out << "],\n     \"misses\": " << JsonArray(r.misses) << ",\n     \"results\": [";
    for (std::size_t k = 0; k < r.entries.size(); ++k) {
      const EntryResult &e = r.entries[k];
      out << (k ? ",\n                 " : "") << "{\"entry\": " << e.entry
          << ", \"value\": " << (e.value ? JsonValue(*e.value) : "null")
          << ", \"name\": " << (e.name ? JsonString(*e.name) : "null")
          << ", \"passed\": " << (e.passed ? "true" : "false") << "}";
    }
    out << "]}";
  }
  out << "\n  ]\n}\n";
}

}  // namespace vorn_host
