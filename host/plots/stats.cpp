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

namespace {

// How far beyond the centre, in sigmas, a point must lie itself to carry the
// mark of a rule its run breaks.
double MarkSigmas(ControlRule rule) {
  switch (rule) {
    case ControlRule::kBeyond3Sigma: return 3.0;
    case ControlRule::kTwoOfThree2Sigma: return 2.0;
    case ControlRule::kFourOfFive1Sigma: return 1.0;
    case ControlRule::kEightOnOneSide: return 0.0;
  }
  return 0.0;
}

}  // namespace

std::vector<std::vector<RuleBreach>> ChartRuleMarks(const std::vector<double> &v, double mean, double sd) {
  std::vector<std::vector<RuleBreach>> marks(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) {
    for (const RuleBreach &b : RulesBroken(v, i, mean, sd)) {
      if (b.side * (v[i] - mean) > MarkSigmas(b.rule) * sd) marks[i].push_back(b);
    }
  }
  return marks;
}

std::string RuleText(const std::vector<RuleBreach> &rules) {
  std::string text;
  for (const RuleBreach &b : rules) text += (text.empty() ? "" : "; ") + std::string(ControlRuleText(b.rule));
  return text;
}

}  // namespace vorn_plots
