#include "tools/common/filter.h"

#include <cstdio>
#include <tuple>

#include "os/text.h"

namespace vorn_reports {

namespace {

bool Digits(const std::string &text, std::size_t at, std::size_t count, int &n) {
  n = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    n = n * 10 + (text[i] - '0');
  }
  return true;
}

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysIn(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && LeapYear(year) ? 29 : kDays[month - 1];
}

struct Parts {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM:SSZ", a real date and time of day.
std::optional<Parts> Read(const std::string &t, bool &dateOnly) {
  Parts p;
  dateOnly = t.size() == 10;
  if (t.size() != 10 && t.size() != 20) return std::nullopt;
  if (!Digits(t, 0, 4, p.year) || t[4] != '-' || !Digits(t, 5, 2, p.month) || t[7] != '-' || !Digits(t, 8, 2, p.day)) {
    return std::nullopt;
  }
  if (p.month < 1 || p.month > 12 || p.day < 1 || p.day > DaysIn(p.year, p.month)) return std::nullopt;
  if (dateOnly) return p;
  if (t[10] != 'T' || !Digits(t, 11, 2, p.hour) || t[13] != ':' || !Digits(t, 14, 2, p.minute) || t[16] != ':' ||
      !Digits(t, 17, 2, p.second) || t[19] != 'Z') {
    return std::nullopt;
  }
  if (p.hour > 23 || p.minute > 59 || p.second > 59) return std::nullopt;
  return p;
}

}  // namespace

std::optional<std::string> TimeOf(const std::string &text, bool endOfDay) {
  bool dateOnly = false;
  if (!Read(text, dateOnly)) return std::nullopt;
  if (!dateOnly) return text;
  return text + (endOfDay ? "T23:59:59Z" : "T00:00:00Z");
}

void AddFilterOptions(vorn_host::CommandLine &line) {
  line.value("--since", "T", "units first tested at T or later (UTC, 2024-05-01T08:00:00Z,\nor a date: 2024-05-01)")
      .value("--until", "T", "units first tested at T or earlier (a date: to its end)")
      .value("--station", "NAME", "one station's units")
      .value("--plan", "PLAN", "the units of one plan file, as the session named it")
      .flag("--include-faults", "take in the sessions with injected faults (left out by default)")
      .flag("--include-engineering", "take in the engineering sessions (left out by default)")
      .flag("--include-golden",
            "take in the golden unit's verification and calibration\nsessions (left out by default)");
}

std::string ModesTaken(const LineFilter &f) {
  std::string modes = "'production'";
  if (f.includeEngineering) modes += ", 'engineering'";
  if (f.includeGolden) modes += ", 'verification', 'calibration'";
  return modes;
}

bool ReadFilter(const vorn_host::CommandLine &line, LineFilter &filter, std::string &error) {
  for (const auto &[option, endOfDay, into] :
       {std::tuple<const char *, bool, std::string *>{"--since", false, &filter.since},
        {"--until", true, &filter.until}}) {
    if (!line.has(option)) continue;
    const std::optional<std::string> time = TimeOf(line.text(option), endOfDay);
    if (!time) {
      error = std::string(option) +
              " takes a UTC time such as 2024-05-01T08:00:00Z or a date such as 2024-05-01, not \"" +
              vorn_host::Excerpt(line.text(option)) + "\"";
      return false;
    }
    *into = *time;
  }
  if (!filter.since.empty() && !filter.until.empty() && filter.until < filter.since) {
    error = "--until " + filter.until + " comes before --since " + filter.since;
    return false;
  }
  filter.station = line.text("--station");
  filter.plan = line.text("--plan");
  filter.includeFaults = line.has("--include-faults");
  filter.includeEngineering = line.has("--include-engineering");
  filter.includeGolden = line.has("--include-golden");
  return true;
}

}  // namespace vorn_reports
