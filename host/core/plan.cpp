#include "core/plan.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "os/inputs.h"
#include "os/text.h"

namespace vorn_host {

namespace {

std::string FormatBound(double value) {
  char text[32];
  const auto [last, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc() ? std::string(text, last) : std::string("?");
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The export a plan names, with or without its prefix, in any case.
std::optional<std::string> FindExport(std::string_view name) {
  const std::string_view prefix = kExportPrefix;
  for (const std::string &known : StepExports()) {
    const std::string_view bare = std::string_view(known).substr(prefix.size());
    if (SameIgnoringCase(name, known) || SameIgnoringCase(name, bare)) return known;
  }
  return std::nullopt;
}

template <typename T>
bool ParseWhole(std::string_view text, T &value) {
  if (text.empty()) return false;
  const char *first = text.data();
  if (text.front() == '+') ++first;  // from_chars takes no plus sign
  const char *end = text.data() + text.size();
  if (first == end) return false;
  const auto [last, error] = std::from_chars(first, end, value);
  return error == std::errc() && last == end;
}

bool ParseBound(std::string_view text, double &value) { return ParseWhole(text, value) && std::isfinite(value); }

// "ENTRY=..." or "FIRST-LAST=..." into limits, one per entry; an empty text on
// success, else the problem.
std::string ParseLimits(std::string_view token, std::vector<Limit> &limits) {
  const std::size_t eq = token.find('=');
  if (eq == std::string_view::npos) return "expected a limit ENTRY=LOW..HIGH, got \"" + Excerpt(token) + "\"";
  const std::string bad = "limit \"" + Excerpt(token) + "\": ";
  const std::string_view entries = token.substr(0, eq);
  const std::size_t dash = entries.find('-');
  int first = 0;
  int last = 0;
  const bool entriesRead = dash == std::string_view::npos ? ParseWhole(entries, first) && (last = first, true)
                                                          : ParseWhole(entries.substr(0, dash), first) &&
                                                                ParseWhole(entries.substr(dash + 1), last);
  if (!entriesRead || first < kFirstEntry || last > kLastEntry || first > last) {
    return bad + "the entry must be a number from " + std::to_string(kFirstEntry) + " to " +
           std::to_string(kLastEntry) + ", or a range of them such as 7-22";
  }
  Limit limit;
  const std::string_view range = token.substr(eq + 1);
  const std::size_t dots = range.find("..");
  if (dots == std::string_view::npos) {
    double value = 0.0;
    if (!ParseBound(range, value)) return bad + "\"" + Excerpt(range) + "\" is not a number";
    limit.low = limit.high = value;
  } else {
    const std::string_view low = range.substr(0, dots);
    const std::string_view high = range.substr(dots + 2);
    if (low.empty() && high.empty()) return bad + "give at least one bound";
    double value = 0.0;
    if (!low.empty()) {
      if (!ParseBound(low, value)) return bad + "\"" + Excerpt(low) + "\" is not a number";
      limit.low = value;
    }
    if (!high.empty()) {
      if (!ParseBound(high, value)) return bad + "\"" + Excerpt(high) + "\" is not a number";
      limit.high = value;
    }
    if (limit.low && limit.high && *limit.low > *limit.high) return bad + "the low bound is above the high one";
  }
  for (int entry = first; entry <= last; ++entry) {
    limit.entry = entry;
    limits.push_back(limit);
  }
  return {};
}

std::vector<std::string_view> Tokens(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    const std::size_t start = i;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

// One line's step, or the problem with it.
std::string ParseLine(std::string_view line, PlanStep &step) {
  const std::vector<std::string_view> tokens = Tokens(line);
  const std::optional<std::string> name = FindExport(tokens[0]);
  if (!name) return "unknown step \"" + Excerpt(tokens[0]) + "\"";
  step.exportName = *name;
  if (tokens.size() < 2) return "step " + step.shortName() + " needs its step number";
  if (!ParseWhole(tokens[1], step.number)) {
    return "step number \"" + Excerpt(tokens[1]) + "\" is not a 32-bit integer";
  }
  for (std::size_t i = 2; i < tokens.size(); ++i) {
    std::vector<Limit> limits;
    const std::string problem = ParseLimits(tokens[i], limits);
    if (!problem.empty()) return problem;
    for (const Limit &limit : limits) {
      if (step.limitFor(limit.entry) != nullptr) {
        return "entry " + std::to_string(limit.entry) + " has two limits";
      }
      step.limits.push_back(limit);
    }
  }
  return {};
}

}  // namespace

bool Limit::accepts(double value) const {
  // No value that is not a finite number passes, not even an open limit.
  if (!std::isfinite(value)) return false;
  return (!low || value >= *low) && (!high || value <= *high);
}

std::string Limit::text() const {
  if (low && high && *low == *high) return FormatBound(*low);
  return (low ? FormatBound(*low) : "") + ".." + (high ? FormatBound(*high) : "");
}

std::string PlanStep::shortName() const {
  const std::string_view prefix = kExportPrefix;
  return exportName.rfind(prefix, 0) == 0 ? exportName.substr(prefix.size()) : exportName;
}

const Limit *PlanStep::limitFor(int entry) const {
  for (const Limit &limit : limits) {
    if (limit.entry == entry) return &limit;
  }
  return nullptr;
}

std::string LimitsText(const std::vector<Limit> &limits) {
  std::string text;
  for (const Limit &l : limits) text += (text.empty() ? "" : " ") + std::to_string(l.entry) + "=" + l.text();
  return text;
}

std::vector<Limit> LimitsFromText(std::string_view text) {
  std::vector<Limit> limits;
  for (std::string_view token : Tokens(text)) ParseLimits(token, limits);
  return limits;
}

std::vector<std::string> NamedBeforeALevel(const Plan &plan) {
  std::vector<std::string> out;
  for (const PlanStep &step : plan.steps) {
    const std::string name = step.shortName();
    if (name == "OBTChangeTXLevel") break;
    if (name != "OBTPowervsTime" && name != "OBTRXLevelandQuality" && name != "OBTHandOver") continue;
    out.push_back(plan.file + ":" + std::to_string(step.line) + ": " + name +
                  " names its results before the plan's first power level step (OBTChangeTXLevel): the library "
                  "names them with the level it last set, in a session the previous unit's");
  }
  return out;
}

const std::vector<std::string> &StepExports() {
  static const std::vector<std::string> names = {
#define VORN_CMU200_STEP(name) "Vorn_CMU200_" #name,
#include "Vorn_CMU200_steps.h"
  };
  return names;
}

Plan ParsePlan(std::string_view text, const std::string &file, std::vector<std::string> &errors) {
  Plan plan;
  plan.file = file;
  // Read as the parameter files are: a UTF-8 byte order mark is not text, and
  // a line ends at CR LF, LF or CR alone.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  const std::size_t errorsBefore = errors.size();
  int badLines = 0;
  int number = 0;
  int cleanupLine = 0;
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end != std::string_view::npos && text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
    text.remove_prefix(next);
    ++number;
    line = line.substr(0, line.find_first_of("#;"));
    const std::vector<std::string_view> tokens = Tokens(line);
    if (tokens.empty()) continue;
    if (tokens.size() == 1 && SameIgnoringCase(tokens[0], "cleanup:")) {
      if (cleanupLine != 0) {
        errors.push_back(file + ":" + std::to_string(number) + ": a second cleanup section (the first is on line " +
                         std::to_string(cleanupLine) + ")");
      }
      cleanupLine = number;
      continue;
    }
    PlanStep step;
    step.line = number;
    step.cleanup = cleanupLine != 0;
    const std::string problem = ParseLine(line, step);
    if (problem.empty()) {
      plan.steps.push_back(std::move(step));
    } else if (++badLines <= kShownBadLines) {
      errors.push_back(file + ":" + std::to_string(number) + ": " + problem);
    }
  }
  if (badLines > kShownBadLines) {
    errors.push_back(file + ": " + std::to_string(badLines - kShownBadLines) + " more bad lines");
  }
  if (plan.steps.empty() && errors.size() == errorsBefore) errors.push_back(file + ": the plan has no steps");
  return plan;
}

Plan ReadPlan(const std::string &path, std::vector<std::string> &errors) {
  InputFile file;
  std::string text;
  std::string error;
  if (!ReadTextInput(path, "plan file", true, file, text, error)) {
    errors.push_back(error);
    return Plan{path, {}};
  }
  return ParsePlan(text, path, errors);
}

}  // namespace vorn_host
