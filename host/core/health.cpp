#include "core/health.h"

#include <cstdio>

namespace vorn_host {

namespace {

// Days from 1970-01-01 to the date (the proleptic Gregorian calendar).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

}  // namespace

std::string LockRecord::text() const { return "Station stopped: " + reason + ". " + action; }

std::optional<std::time_t> UtcSeconds(const std::string &iso) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char z = 0;
  if (iso.size() != 20 || std::sscanf(iso.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &z) != 7 ||
      z != 'Z' || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) {
    return std::nullopt;
  }
  return static_cast<std::time_t>(DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 +
                                  h * 3600 + mi * 60 + s);
}

std::string AgeText(double seconds) {
  const long long minutes = static_cast<long long>(seconds / 60.0);
  if (minutes < 1) return "just now";
  if (minutes < 120) return std::to_string(minutes) + " min ago";
  const long long hours = minutes / 60;
  if (hours < 48) return std::to_string(hours) + " h ago";
  return std::to_string(hours / 24) + " days ago";
}

}  // namespace vorn_host
