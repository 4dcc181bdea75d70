#include "core/tally.h"

#include <cstdio>

namespace vorn_host {

namespace {

int64_t &CountOf(Tally &t, Prior verdict) {
  switch (verdict) {
    case Prior::kPass: return t.pass;
    case Prior::kFail: return t.fail;
    default: return t.error;
  }
}

std::optional<double> Share(int64_t part, int64_t whole) {
  if (whole <= 0) return std::nullopt;
  return 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

std::string Fixed(double value, int decimals) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string Counted(int64_t n, const char *one, const char *many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

void Tally::add(const UnitRecord &attempt) { add(attempt.prior, attempt.run.verdict, attempt.run.stationSeconds()); }

void Tally::add(Prior prior, Verdict verdict, double seconds) {
  ++attempts;
  stationSeconds += seconds;
  const bool hadVerdict = prior != Prior::kNone && prior != Prior::kStopped;
  if (verdict == Verdict::kNotRun) {
    if (prior == Prior::kNone) ++stopped;
    return;
  }
  const Prior now = PriorOf(verdict);
  if (hadVerdict) {
    ++retests;
    --CountOf(*this, prior);
  } else {
    if (prior == Prior::kStopped) --stopped;
    ++units;
    if (verdict == Verdict::kPass) ++firstPass;
  }
  ++CountOf(*this, now);
}

std::optional<double> Tally::firstPassYield() const { return Share(firstPass, units); }

std::optional<double> Tally::finalYield() const { return Share(pass, units); }

std::optional<double> Tally::unitsPerHour() const {
  if (units == 0 || hoursSinceFirst <= 0.0) return std::nullopt;
  return static_cast<double>(units) / hoursSinceFirst;
}

std::optional<double> Tally::meanUnitSeconds() const {
  if (units == 0) return std::nullopt;
  return stationSeconds / static_cast<double>(units);
}

std::string PercentText(const std::optional<double> &percent) { return percent ? Fixed(*percent, 1) + " %" : "-"; }

std::string Tally::line() const {
  std::string text = Counted(units, "unit", "units") + ": " + std::to_string(pass) + " PASS, " + std::to_string(fail) +
                     " FAIL, " + std::to_string(error) + " ERROR";
  if (retests > 0) text += ", " + Counted(retests, "retest", "retests");
  if (stopped > 0) text += ", " + std::to_string(stopped) + " stopped";
  text += "; first-pass yield " + PercentText(firstPassYield()) + "; final yield " + PercentText(finalYield());
  const std::optional<double> mean = meanUnitSeconds();
  text += "; mean unit time " + (mean ? Fixed(*mean, 2) + " s" : std::string("-"));
  const std::optional<double> rate = unitsPerHour();
  text += "; " + (rate ? Fixed(*rate, 0) : std::string("-")) + " units/h";
  return text;
}

}  // namespace vorn_host
