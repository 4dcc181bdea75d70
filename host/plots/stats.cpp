// The statistics of the reports: one pass of sums, then mean, spread and
// capability from them.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "plots/plots.h"

namespace vorn_plots {

void Moments::add(double value) {
  if (count == 0 || value < min) min = value;
  if (count == 0 || value > max) max = value;
  const double d = value - shift;
  sum += d;
  sumSq += d * d;
  ++count;
}

Capability Capabilities(const Moments &m, std::optional<double> low, std::optional<double> high) {
  Capability c;
  c.count = m.count;
  if (m.count == 0) {
    c.note = kTooFewUnits;
    return c;
  }
  const double n = static_cast<double>(m.count);
  c.mean = m.shift + m.sum / n;
  if (m.count > 1) c.sd = std::sqrt(std::max(0.0, (m.sumSq - m.sum * m.sum / n) / (n - 1.0)));
  if (m.count < kFewestForCapability) {
    c.note = kTooFewUnits;
    return c;
  }
  if (!low && !high) {
    c.note = "no limit";
    return c;
  }
  // A spread far below the values' own rounding is none at all.
  if (c.sd <= 1e-12 * std::max(1.0, std::fabs(c.mean))) {
    c.note = "no spread";
    return c;
  }
  if (high) c.cpu = (*high - c.mean) / (3.0 * c.sd);
  if (low) c.cpl = (c.mean - *low) / (3.0 * c.sd);
  c.cpk = c.cpu && c.cpl ? std::min(*c.cpu, *c.cpl) : c.cpu ? c.cpu : c.cpl;
  return c;
}

std::string IndexText(const std::optional<double> &index, const Capability &capability) {
  if (index) return Number(*index, 2);
  return capability.note.empty() ? "no limit" : capability.note;
}

std::string Number(double value, int decimals) {
  if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : value > 0 ? "inf" : "-inf";
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  std::string s(text);
  std::replace(s.begin(), s.end(), ',', '.');  // a comma-decimal locale
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    switch (ch) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += ch;
    }
  }
  return out;
}

}  // namespace vorn_plots

namespace vorn_plots {

std::vector<unsigned> WesternElectric(const std::vector<double> &v, double mean, double sd) {
  std::vector<unsigned> rules(v.size(), 0);
  if (!(sd > 0.0) || !std::isfinite(sd)) return rules;
  const auto z = [&](std::size_t i) { return (v[i] - mean) / sd; };
  // Of the `window` points up to i, how many lie beyond `k` sigma on side `s`.
  const auto beyond = [&](std::size_t i, std::size_t window, double k, int s) {
    std::size_t n = 0;
    for (std::size_t j = i + 1 - std::min(window, i + 1); j <= i; ++j) n += s * z(j) > k ? 1 : 0;
    return n;
  };
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (std::fabs(z(i)) > 3.0) rules[i] |= kBeyond3Sigma;
    const int side = z(i) > 0 ? 1 : -1;
    if (side * z(i) > 2.0 && i >= 1 && beyond(i, 3, 2.0, side) >= 2) rules[i] |= kTwoOfThree;
    if (side * z(i) > 1.0 && i >= 3 && beyond(i, 5, 1.0, side) >= 4) rules[i] |= kFourOfFive;
    if (z(i) != 0.0 && i >= 7 && beyond(i, 8, 0.0, side) == 8) rules[i] |= kEightOneSide;
  }
  return rules;
}

std::string RuleText(unsigned rules) {
  std::string text;
  for (const auto &[bit, name] : {std::pair<unsigned, const char *>{kBeyond3Sigma, "beyond 3 sigma"},
                                  {kTwoOfThree, "2 of 3 beyond 2 sigma"},
                                  {kFourOfFive, "4 of 5 beyond 1 sigma"},
                                  {kEightOneSide, "8 in a row on one side"}}) {
    if (rules & bit) text += (text.empty() ? "" : "; ") + std::string(name);
  }
  return text;
}

}  // namespace vorn_plots
