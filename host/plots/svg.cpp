// The plots, drawn as SVG text with presentation attributes only, so they
// look the same inline in any page, with or without its style sheet.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <tuple>

#include "plots/plots.h"

namespace vorn_plots {
namespace {

constexpr const char *kInk = "#333";
constexpr const char *kGrid = "#ddd";
constexpr const char *kPass = "#1f6fb4";
constexpr const char *kOut = "#d62728";
constexpr const char *kLimit = "#e08a00";
constexpr const char *kMean = "#2ca02c";
constexpr const char *kSigma = "#9467bd";
constexpr const char *kRule = "#ff7f0e";

// A range of data values shown along one axis.
struct Range {
  double lo = 0.0, hi = 1.0;
  void take(double v) {
    if (!seen_ || v < lo) lo = v;
    if (!seen_ || v > hi) hi = v;
    seen_ = true;
  }
  void take(const std::optional<double> &v) {
    if (v) take(*v);
  }
  // Some room around the values, and never an empty range.
  Range padded(double share = 0.08) const {
    Range r = *this;
    double span = hi - lo;
    if (span <= 0) span = std::max(1.0, std::fabs(lo) * 0.1);
    r.lo = lo - span * share;
    r.hi = hi + span * share;
    return r;
  }

 private:
  bool seen_ = false;
};

// A round step that gives about `count` ticks over the range.
double TickStep(const Range &r, int count) {
  const double raw = (r.hi - r.lo) / std::max(1, count);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    if (raw <= m * power) return m * power;
  }
  return 10.0 * power;
}

// The plot area of one chart: data ranges mapped onto a pixel box.
struct Frame {
  double width = 720, height = 280;
  double left = 60, right = 16, top = 30, bottom = 42;
  Range x, y;

  double px(double v) const { return left + (v - x.lo) / (x.hi - x.lo) * (width - left - right); }
  double py(double v) const { return height - bottom - (v - y.lo) / (y.hi - y.lo) * (height - top - bottom); }
  double x0() const { return left; }
  double x1() const { return width - right; }
  double y0() const { return top; }
  double y1() const { return height - bottom; }
};

std::string N(double v) { return Number(v, 1); }

std::string Open(const Frame &f, std::string_view kind, std::string_view title) {
  std::ostringstream s;
  s << "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"plot " << kind << "\" width=\"" << N(f.width)
    << "\" height=\"" << N(f.height) << "\" viewBox=\"0 0 " << N(f.width) << ' ' << N(f.height)
    << "\" font-family=\"sans-serif\" font-size=\"11\" role=\"img\">"
    << "<title>" << Escape(title) << "</title>"
    << "<text class=\"title\" x=\"" << N(f.left) << "\" y=\"18\" font-size=\"13\" font-weight=\"bold\" fill=\"" << kInk
    << "\">" << Escape(title) << "</text>";
  return s.str();
}

// Grid lines and tick labels of both axes, and the axis names.
// legendRoom: pixels kept under the x axis's name for a legend.
std::string Axes(const Frame &f, std::string_view xName, std::string_view yName, bool xTicks = true,
                 double legendRoom = 0) {
  std::ostringstream s;
  s << "<g class=\"axis\" fill=\"" << kInk << "\">";
  const double ys = TickStep(f.y, 5);
  for (double v = std::ceil(f.y.lo / ys) * ys; v <= f.y.hi + ys * 1e-9; v += ys) {
    s << "<line x1=\"" << N(f.x0()) << "\" x2=\"" << N(f.x1()) << "\" y1=\"" << N(f.py(v)) << "\" y2=\"" << N(f.py(v))
      << "\" stroke=\"" << kGrid << "\"/>"
      << "<text x=\"" << N(f.x0() - 4) << "\" y=\"" << N(f.py(v) + 4) << "\" text-anchor=\"end\">" << Number(v, 2)
      << "</text>";
  }
  if (xTicks) {
    const double xs = TickStep(f.x, 8);
    for (double v = std::ceil(f.x.lo / xs) * xs; v <= f.x.hi + xs * 1e-9; v += xs) {
      s << "<line x1=\"" << N(f.px(v)) << "\" x2=\"" << N(f.px(v)) << "\" y1=\"" << N(f.y1()) << "\" y2=\""
        << N(f.y1() + 4) << "\" stroke=\"" << kInk << "\"/>"
        << "<text x=\"" << N(f.px(v)) << "\" y=\"" << N(f.y1() + 16) << "\" text-anchor=\"middle\">" << Number(v, 2)
        << "</text>";
    }
  }
  s << "<rect x=\"" << N(f.x0()) << "\" y=\"" << N(f.y0()) << "\" width=\"" << N(f.x1() - f.x0()) << "\" height=\""
    << N(f.y1() - f.y0()) << "\" fill=\"none\" stroke=\"" << kInk << "\"/>"
    << "<text x=\"" << N((f.x0() + f.x1()) / 2) << "\" y=\"" << N(f.height - 6 - legendRoom)
    << "\" text-anchor=\"middle\">" << Escape(xName) << "</text>"
    << "<text transform=\"translate(12 " << N((f.y0() + f.y1()) / 2) << ") rotate(-90)\" text-anchor=\"middle\">"
    << Escape(yName) << "</text></g>";
  return s.str();
}

bool Inside(double v, const std::optional<double> &low, const std::optional<double> &high) {
  return (!low || v >= *low) && (!high || v <= *high);
}

std::string Point(double x, double y, bool out, const std::string &tip) {
  std::ostringstream s;
  s << "<circle class=\"point" << (out ? " out" : "") << "\" cx=\"" << N(x) << "\" cy=\"" << N(y) << "\" r=\""
    << (out ? "5" : "3.5") << "\" fill=\"" << (out ? kOut : kPass) << "\""
    << (out ? " stroke=\"#000\" stroke-width=\"1\"" : "") << "><title>" << Escape(tip) << "</title></circle>";
  return s.str();
}

// A point that breaks a control rule but no limit.
std::string RulePoint(double x, double y, const std::string &tip) {
  std::ostringstream s;
  s << "<circle class=\"point rule\" cx=\"" << N(x) << "\" cy=\"" << N(y) << "\" r=\"4.5\" fill=\"" << kRule
    << "\" stroke=\"#000\" stroke-width=\"0.5\"><title>" << Escape(tip) << "</title></circle>";
  return s.str();
}

std::string HLine(const Frame &f, std::string_view cls, double y, const char *colour, std::string_view dash,
                  const std::string &tip) {
  std::ostringstream s;
  s << "<line class=\"" << cls << "\" x1=\"" << N(f.x0()) << "\" x2=\"" << N(f.x1()) << "\" y1=\"" << N(f.py(y))
    << "\" y2=\"" << N(f.py(y)) << "\" stroke=\"" << colour << "\" stroke-width=\"1.5\"";
  if (!dash.empty()) s << " stroke-dasharray=\"" << dash << "\"";
  s << "><title>" << Escape(tip) << "</title></line>";
  return s.str();
}

std::string LimitTip(const std::optional<double> &low, const std::optional<double> &high) {
  return (low ? Number(*low, 3) : std::string()) + ".." + (high ? Number(*high, 3) : std::string());
}

// One entry of a legend: a line sample (dash: its pattern) or a point sample.
struct Key {
  bool point = false;
  const char *colour = kInk;
  std::string dash;
  std::string text;
};

// The legend in a row under the x axis's name; the frame leaves it room.
std::string Legend(const Frame &f, const std::vector<Key> &keys) {
  std::ostringstream s;
  s << "<g class=\"legend\" fill=\"" << kInk << "\">";
  double x = f.x0();
  const double y = f.height - 8;
  for (const Key &k : keys) {
    if (k.point) {
      s << "<circle cx=\"" << N(x + 9) << "\" cy=\"" << N(y - 4) << "\" r=\"4\" fill=\"" << k.colour << "\"/>";
    } else {
      s << "<path d=\"M" << N(x) << ' ' << N(y - 4) << "H" << N(x + 18) << "\" stroke=\"" << k.colour
        << "\" stroke-width=\"2\"" << (k.dash.empty() ? "" : " stroke-dasharray=\"" + k.dash + "\"") << "/>";
    }
    s << "<text x=\"" << N(x + 22) << "\" y=\"" << N(y) << "\">" << Escape(k.text) << "</text>";
    x += 30 + 6.2 * static_cast<double>(k.text.size());
  }
  s << "</g>";
  return s.str();
}

}  // namespace

std::optional<SpectrumName> ParseSpectrumName(std::string_view name) {
  if (name.size() < 4 || (name[0] != '-' && name[0] != '+')) return std::nullopt;
  const auto mhz = name.find("MHZ ");
  if (mhz == std::string_view::npos || mhz < 2) return std::nullopt;
  const std::string number(name.substr(1, mhz - 1));
  if (number.find_first_not_of("0123456789.") != std::string::npos) return std::nullopt;
  char *end = nullptr;
  const double magnitude = std::strtod(number.c_str(), &end);  // digits and '.' only: no locale reading
  if (end != number.c_str() + number.size()) return std::nullopt;
  const std::string_view rest = name.substr(mhz + 4);
  SpectrumName parsed{};
  if (rest == "Modulation Spectrum") {
    parsed.kind = SpectrumKind::kModulation;
  } else if (rest == "Switching Spectrum") {
    parsed.kind = SpectrumKind::kSwitching;
  } else {
    return std::nullopt;
  }
  parsed.offsetKhz = std::round((name[0] == '-' ? -magnitude : magnitude) * 1000.0 * 1000.0) / 1000.0;
  return parsed;
}

std::string SpectrumSvg(SpectrumKind kind, std::string_view title, const std::vector<SpectrumPoint> &points) {
  Frame f;
  double widest = 200.0;
  for (const SpectrumPoint &p : points) {
    widest = std::max(widest, std::fabs(p.offsetKhz));
    f.y.take(p.value);
    f.y.take(p.low);
    f.y.take(p.high);
  }
  f.x.take(-widest);
  f.x.take(widest);
  f.x = f.x.padded(0.05);
  f.y = f.y.padded();
  f.height += 18;
  f.bottom += 18;
  const bool modulation = kind == SpectrumKind::kModulation;
  std::ostringstream s;
  s << Open(f, modulation ? "spectrum modulation" : "spectrum switching", title)
    << Axes(f, "offset from the carrier (kHz)", modulation ? "dB rel. carrier" : "dBm", true, 18);
  // Each limit spans its offset out to halfway to the nearest offset on the
  // same side, so neighbouring limits meet as one stepped mask.
  s << "<g class=\"masks\">";
  for (std::size_t i = 0; i < points.size(); ++i) {
    const SpectrumPoint &p = points[i];
    if (!p.low && !p.high) continue;
    double half = widest * 0.05;
    for (std::size_t j = 0; j < points.size(); ++j) {
      const double d = std::fabs(points[j].offsetKhz - p.offsetKhz);
      if (j != i && d > 0 && (points[j].offsetKhz < 0) == (p.offsetKhz < 0)) half = std::min(half, d / 2);
    }
    const double xa = f.px(p.offsetKhz - half), xb = f.px(p.offsetKhz + half);
    s << "<path class=\"mask\" d=\"";
    if (p.high) s << "M" << N(xa) << ' ' << N(f.py(*p.high)) << "H" << N(xb);
    if (p.low) s << "M" << N(xa) << ' ' << N(f.py(*p.low)) << "H" << N(xb);
    s << "\" stroke=\"" << kLimit << "\" stroke-width=\"2\" fill=\"none\"><title>" << Number(p.offsetKhz, 1)
      << " kHz limit " << LimitTip(p.low, p.high) << "</title></path>";
  }
  s << "</g><g class=\"points\">";
  for (const SpectrumPoint &p : points) {
    s << Point(f.px(p.offsetKhz), f.py(p.value), !Inside(p.value, p.low, p.high),
               Number(p.offsetKhz, 1) + " kHz: " + Number(p.value, 2) + (modulation ? " dB" : " dBm"));
  }
  s << "</g>"
    << Legend(
           f,
           {{false, kLimit, "", "limit at the offset"}, {true, kPass, "", "within it"}, {true, kOut, "", "outside it"}})
    << "</svg>";
  return s.str();
}

std::string LimitChartSvg(std::string_view title, std::string_view unit, const std::vector<LimitItem> &items) {
  Frame f;
  f.left = 190;
  f.bottom += 18;
  f.height = f.top + f.bottom + 26.0 * static_cast<double>(std::max<std::size_t>(1, items.size()));
  for (const LimitItem &i : items) {
    f.x.take(i.value);
    f.x.take(i.low);
    f.x.take(i.high);
  }
  f.x = f.x.padded(0.1);
  f.y.lo = 0;
  f.y.hi = static_cast<double>(std::max<std::size_t>(1, items.size()));
  std::ostringstream s;
  s << Open(f, "limits", title);
  const double xs = TickStep(f.x, 8);
  s << "<g class=\"axis\" fill=\"" << kInk << "\">";
  for (double v = std::ceil(f.x.lo / xs) * xs; v <= f.x.hi + xs * 1e-9; v += xs) {
    s << "<line x1=\"" << N(f.px(v)) << "\" x2=\"" << N(f.px(v)) << "\" y1=\"" << N(f.y0()) << "\" y2=\"" << N(f.y1())
      << "\" stroke=\"" << kGrid << "\"/><text x=\"" << N(f.px(v)) << "\" y=\"" << N(f.y1() + 16)
      << "\" text-anchor=\"middle\">" << Number(v, 2) << "</text>";
  }
  s << "<text x=\"" << N((f.x0() + f.x1()) / 2) << "\" y=\"" << N(f.height - 24) << "\" text-anchor=\"middle\">"
    << Escape(unit) << "</text></g>";
  for (std::size_t k = 0; k < items.size(); ++k) {
    const LimitItem &i = items[k];
    const double row = f.py(static_cast<double>(items.size() - k) - 0.5);
    s << "<text x=\"" << N(f.x0() - 6) << "\" y=\"" << N(row + 4) << "\" text-anchor=\"end\" fill=\"" << kInk << "\">"
      << Escape(i.label) << "</text>";
    if (i.low || i.high) {
      const double a = i.low ? f.px(*i.low) : f.x0(), b = i.high ? f.px(*i.high) : f.x1();
      s << "<rect class=\"limit\" x=\"" << N(a) << "\" y=\"" << N(row - 7) << "\" width=\"" << N(std::max(2.0, b - a))
        << "\" height=\"14\" fill=\"#fbe3b8\" stroke=\"" << kLimit << "\"><title>limit " << LimitTip(i.low, i.high)
        << "</title></rect>";
    }
    s << Point(f.px(i.value), row, !Inside(i.value, i.low, i.high),
               i.label + ": " + Number(i.value, 3) + " " + std::string(unit));
  }
  s << Legend(f, {{false, kLimit, "", "limit"}, {true, kPass, "", "within it"}, {true, kOut, "", "outside it"}})
    << "</svg>";
  return s.str();
}

Histogram HistogramFrame(double min, double max, std::optional<double> low, std::optional<double> high, int bins) {
  Range r;
  r.take(min);
  r.take(max);
  r.take(low);
  r.take(high);
  r = r.padded(0.02);
  Histogram h;
  h.low = low;
  h.high = high;
  h.width = TickStep(r, std::max(1, bins));
  h.first = std::floor(r.lo / h.width) * h.width;
  const auto count = static_cast<std::size_t>(std::ceil((r.hi - h.first) / h.width));
  h.counts.assign(std::max<std::size_t>(1, count), 0);
  return h;
}

int BinOf(const Histogram &h, double value) {
  const double at = std::floor((value - h.first) / h.width);
  const double last = static_cast<double>(h.counts.size()) - 1.0;
  return static_cast<int>(std::clamp(at, 0.0, std::max(0.0, last)));
}

std::string HistogramSvg(std::string_view title, std::string_view unit, const Histogram &h) {
  Frame f;
  f.height += 18;
  f.bottom += 18;
  f.x.lo = h.first;
  f.x.hi = h.first + h.width * static_cast<double>(h.counts.size());
  int64_t most = 1;
  for (int64_t c : h.counts) most = std::max(most, c);
  f.y.lo = 0;
  f.y.hi = static_cast<double>(most) * 1.1;
  std::ostringstream s;
  s << Open(f, "histogram", title) << Axes(f, unit.empty() ? "value" : unit, "units", true, 18);
  for (std::size_t i = 0; i < h.counts.size(); ++i) {
    const double a = h.first + h.width * static_cast<double>(i);
    const double mid = a + h.width / 2;
    const bool out = !Inside(mid, h.low, h.high);
    s << "<rect class=\"bar\" x=\"" << N(f.px(a) + 0.5) << "\" y=\"" << N(f.py(static_cast<double>(h.counts[i])))
      << "\" width=\"" << N(std::max(0.5, f.px(a + h.width) - f.px(a) - 1)) << "\" height=\""
      << N(f.py(0) - f.py(static_cast<double>(h.counts[i]))) << "\" fill=\"" << (out ? kOut : kPass) << "\"><title>"
      << Number(a, 4) << " to " << Number(a + h.width, 4) << ": " << h.counts[i] << "</title></rect>";
  }
  for (const auto &limit : {h.low, h.high}) {
    if (!limit) continue;
    s << "<line class=\"limit\" x1=\"" << N(f.px(*limit)) << "\" x2=\"" << N(f.px(*limit)) << "\" y1=\"" << N(f.y0())
      << "\" y2=\"" << N(f.y1()) << "\" stroke=\"" << kLimit
      << "\" stroke-width=\"2\" stroke-dasharray=\"6 3\"><title>limit " << Number(*limit, 3) << "</title></line>";
  }
  std::vector<Key> keys = {{true, kPass, "", "units in a bin within the limits"}, {true, kOut, "", "outside them"}};
  if (h.low || h.high) keys.push_back({false, kLimit, "6 3", "limit"});
  s << Legend(f, keys) << "</svg>";
  return s.str();
}

std::string ControlChartSvg(std::string_view title, std::string_view unit, const ControlChart &c) {
  Frame f;
  f.height += 18;
  f.bottom += 18;
  const double n = static_cast<double>(c.values.size());
  f.x.lo = static_cast<double>(c.firstIndex) - 0.5;
  f.x.hi = static_cast<double>(c.firstIndex) + std::max(1.0, n) - 0.5;
  for (double v : c.values) f.y.take(v);
  f.y.take(c.mean - 3 * c.sd);
  f.y.take(c.mean + 3 * c.sd);
  f.y.take(c.low);
  f.y.take(c.high);
  f.y = f.y.padded();
  std::ostringstream s;
  s << Open(f, "control", title) << Axes(f, "unit, in test order", unit.empty() ? "value" : unit, true, 18);
  for (const auto &limit : {c.low, c.high}) {
    if (limit) s << HLine(f, "limit", *limit, kLimit, "6 3", "limit " + Number(*limit, 3));
  }
  s << HLine(f, "mean", c.mean, kMean, "", "mean " + Number(c.mean, 3))
    << HLine(f, "sigma", c.mean + 3 * c.sd, kSigma, "2 2", "+3 sigma " + Number(c.mean + 3 * c.sd, 3))
    << HLine(f, "sigma", c.mean - 3 * c.sd, kSigma, "2 2", "-3 sigma " + Number(c.mean - 3 * c.sd, 3));
  if (!c.values.empty()) {
    s << "<polyline fill=\"none\" stroke=\"#9bb\" stroke-width=\"1\" points=\"";
    for (std::size_t i = 0; i < c.values.size(); ++i) {
      s << (i ? " " : "") << N(f.px(static_cast<double>(c.firstIndex) + static_cast<double>(i))) << ','
        << N(f.py(c.values[i]));
    }
    s << "\"/>";
  }
  const std::vector<std::vector<RuleBreach>> rules = ChartRuleMarks(c.values, c.mean, c.sd);
  for (std::size_t i = 0; i < c.values.size(); ++i) {
    const double at = static_cast<double>(c.firstIndex) + static_cast<double>(i);
    const bool out = !Inside(c.values[i], c.low, c.high);
    std::string tip = "unit " + Number(at, 0) + ": " + Number(c.values[i], 3);
    if (out) tip += "; outside its limit";
    if (!rules[i].empty()) tip += "; " + RuleText(rules[i]);
    s << (out || rules[i].empty() ? Point(f.px(at), f.py(c.values[i]), out, tip)
                                  : RulePoint(f.px(at), f.py(c.values[i]), tip));
  }
  std::vector<Key> keys = {{false, kMean, "", "mean"}, {false, kSigma, "2 2", "\u00b13 sigma"}};
  if (c.low || c.high) keys.push_back({false, kLimit, "6 3", "limit"});
  keys.push_back({true, kOut, "", "outside a limit"});
  keys.push_back({true, kRule, "", "breaks a control rule"});
  s << Legend(f, keys) << "</svg>";
  return s.str();
}

namespace {

// The frame of a chart of horizontal bars, a row each, the largest value
// filling it; room under the axis for a legend.
Frame BarFrame(std::size_t rows, double most) {
  Frame f;
  f.width = 900;
  f.left = 470;
  f.right = 50;
  f.bottom += 18;
  f.height = f.top + f.bottom + 20.0 * static_cast<double>(std::max<std::size_t>(1, rows));
  f.x.lo = 0;
  f.x.hi = most > 0 ? most * 1.05 : 1.0;
  f.y.lo = 0;
  f.y.hi = static_cast<double>(std::max<std::size_t>(1, rows));
  return f;
}

std::string BarAxis(const Frame &f, std::string_view unit) {
  std::ostringstream s;
  s << "<g class=\"axis\" fill=\"" << kInk << "\">";
  const double xs = TickStep(f.x, 6);
  for (double v = 0; v <= f.x.hi + xs * 1e-9; v += xs) {
    s << "<line x1=\"" << N(f.px(v)) << "\" x2=\"" << N(f.px(v)) << "\" y1=\"" << N(f.y0()) << "\" y2=\"" << N(f.y1())
      << "\" stroke=\"" << kGrid << "\"/><text x=\"" << N(f.px(v)) << "\" y=\"" << N(f.y1() + 16)
      << "\" text-anchor=\"middle\">" << Number(v, 2) << "</text>";
  }
  s << "<text x=\"" << N((f.x0() + f.x1()) / 2) << "\" y=\"" << N(f.height - 24) << "\" text-anchor=\"middle\">"
    << Escape(unit) << "</text></g>";
  return s.str();
}

// A row's label, linked when the bar has a link.
std::string RowLabel(const Frame &f, double row, const std::string &label, const std::string &href) {
  std::ostringstream s;
  if (!href.empty()) s << "<a href=\"" << Escape(href) << "\">";
  s << "<text x=\"" << N(f.x0() - 6) << "\" y=\"" << N(row + 4) << "\" text-anchor=\"end\" fill=\""
    << (href.empty() ? kInk : kPass) << "\">" << Escape(label) << "</text>";
  if (!href.empty()) s << "</a>";
  return s.str();
}

std::string HorizontalBars(std::string_view kind, std::string_view title, std::string_view unit,
                           const std::vector<Bar> &bars, bool cumulative) {
  double most = 0, total = 0;
  for (const Bar &b : bars) {
    most = std::max(most, b.value);
    total += b.value;
  }
  const Frame f = BarFrame(bars.size(), most);
  std::ostringstream s, line;
  s << Open(f, kind, title) << BarAxis(f, unit);
  double sum = 0;
  for (std::size_t k = 0; k < bars.size(); ++k) {
    const Bar &b = bars[k];
    const double top = f.py(static_cast<double>(bars.size() - k));
    const double row = top + 10;
    s << RowLabel(f, row, b.label, b.href) << "<rect class=\"bar\" x=\"" << N(f.x0()) << "\" y=\"" << N(top + 3)
      << "\" width=\"" << N(f.px(b.value) - f.x0()) << "\" height=\"14\" fill=\"" << kPass << "\"><title>"
      << Escape(b.label) << ": " << Number(b.value, 3) << "</title></rect>";
    sum += b.value;
    const double share = total > 0 ? sum / total : 0;
    line << (k ? " " : "") << N(f.x0() + share * (f.x1() - f.x0())) << ',' << N(row);
    if (cumulative) {
      s << "<text x=\"" << N(f.x1() + 4) << "\" y=\"" << N(row + 4) << "\" fill=\"" << kInk << "\">"
        << Number(share * 100, 0) << "%</text>";
    }
  }
  std::vector<Key> keys = {{true, kPass, "", std::string(unit)}};
  if (cumulative && !bars.empty()) {
    s << "<polyline class=\"cumulative\" fill=\"none\" stroke=\"" << kOut << "\" stroke-width=\"1.5\" points=\""
      << line.str() << "\"><title>cumulative share (right edge: 100%)</title></polyline>";
    keys.push_back({false, kOut, "", "cumulative share (right edge: 100%)"});
  }
  s << Legend(f, keys) << "</svg>";
  return s.str();
}

}  // namespace

std::string BarsSvg(std::string_view title, std::string_view unit, const std::vector<Bar> &bars) {
  return HorizontalBars("bars", title, unit, bars, false);
}

std::string ParetoSvg(std::string_view title, std::string_view unit, std::vector<Bar> bars) {
  std::stable_sort(bars.begin(), bars.end(), [](const Bar &a, const Bar &b) { return a.value > b.value; });
  return HorizontalBars("pareto", title, unit, bars, true);
}

std::string StackedParetoSvg(std::string_view title, std::string_view unit, std::string_view firstName,
                             std::string_view secondName, std::vector<StackedBar> bars) {
  std::stable_sort(bars.begin(), bars.end(),
                   [](const StackedBar &a, const StackedBar &b) { return a.first + a.second > b.first + b.second; });
  const Frame f = BarFrame(bars.size(), bars.empty() ? 0.0 : bars.front().first + bars.front().second);
  std::ostringstream s;
  s << Open(f, "pareto stacked", title) << BarAxis(f, unit);
  for (std::size_t k = 0; k < bars.size(); ++k) {
    const StackedBar &b = bars[k];
    const double top = f.py(static_cast<double>(bars.size() - k));
    s << RowLabel(f, top + 10, b.label, "");
    double from = 0.0;
    for (const auto &[value, colour, name] :
         {std::tuple<double, const char *, std::string_view>{b.first, kPass, firstName},
          {b.second, kLimit, secondName}}) {
      s << "<rect class=\"bar\" x=\"" << N(f.px(from)) << "\" y=\"" << N(top + 3) << "\" width=\""
        << N(f.px(from + value) - f.px(from)) << "\" height=\"14\" fill=\"" << colour << "\"><title>" << Escape(b.label)
        << ", " << Escape(name) << ": " << Number(value, 3) << "</title></rect>";
      from += value;
    }
  }
  s << Legend(f, {{true, kPass, "", std::string(firstName)}, {true, kLimit, "", std::string(secondName)}}) << "</svg>";
  return s.str();
}

}  // namespace vorn_plots
