// The station's plots as SVG text, and the statistics behind them: pure
// functions over plain data. The reports and the operator screen both draw
// with these, so a unit's spectrum looks the same on either.
//
// Every function returns one <svg> element, to be put inline in a page. The
// text depends only on the arguments (numbers written with '.', whatever the
// locale), so the same data always gives the same bytes. No script is needed;
// each point carries a <title> with its value for the browser's tooltip.
//
// Element classes a page's style (or a check) can rely on:
//   point       one per value drawn (a <circle>); "point out" when it misses
//               its limit; "point rule" (a control chart's) when it breaks a
//               Western Electric rule but no limit
//   legend      a chart's legend: what each line and mark is (its samples
//               carry none of the classes here)
//   mask        one per limited value of a spectrum plot (its limit drawn as
//               a short horizontal segment at the value's offset)
//   limit       a limit line or band (histograms, control charts, limit charts)
//   mean, sigma the mean and the +-3 sigma lines of a control chart
//   bar         one per histogram bin or bar of a bar chart
//   cumulative  the cumulative-share line of a Pareto chart
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plots/rules.h"

namespace vorn_plots {

// ---- statistics -----------------------------------------------------------

// Below this many values a capability index is not given as a number.
inline constexpr int64_t kFewestForCapability = 30;
inline constexpr const char *kTooFewUnits = "too few units";

// The sums one pass (or one SQL aggregate) gives. Values are summed less a
// shift (any value near them, such as a limit), which keeps the variance
// exact when the values are large and their spread small.
struct Moments {
  int64_t count = 0;
  double shift = 0.0;
  double sum = 0.0;    // of (value - shift)
  double sumSq = 0.0;  // of (value - shift)^2
  double min = 0.0;
  double max = 0.0;

  void add(double value);
};

struct Capability {
  int64_t count = 0;
  double mean = 0.0;
  double sd = 0.0;  // sample standard deviation (n - 1)
  // Given with at least kFewestForCapability values, a spread above zero and
  // the side's limit; otherwise absent and note says why.
  std::optional<double> cpk, cpu, cpl;
  std::string note;  // "" or kTooFewUnits, "no spread", "no limit"
};

Capability Capabilities(const Moments &moments, std::optional<double> low, std::optional<double> high);
// "1.33", or the capability's note when the index is absent.
std::string IndexText(const std::optional<double> &index, const Capability &capability);

// A number as the pages show it, with '.' and at most `decimals` decimals.
std::string Number(double value, int decimals = 2);
// Text made safe for HTML and SVG.
std::string Escape(std::string_view text);

// ---- output RF spectrum ---------------------------------------------------

enum class SpectrumKind { kModulation, kSwitching };

// A result name of the spectrum step, "-0.40MHZ Switching Spectrum", read as
// its kind and offset in kHz (-400); nothing for any other name.
struct SpectrumName {
  SpectrumKind kind;
  double offsetKhz;
};
std::optional<SpectrumName> ParseSpectrumName(std::string_view name);

struct SpectrumPoint {
  double offsetKhz = 0.0;
  double value = 0.0;               // dB relative to the carrier (modulation) or dBm (switching)
  std::optional<double> low, high;  // the plan's limit on this entry, if any
};

// Due to modulation: dB rel. carrier against offset; due to switching: dBm
// against offset; both sides. One "mask" segment per limited point.
std::string SpectrumSvg(SpectrumKind kind, std::string_view title, const std::vector<SpectrumPoint> &points);

// ---- values against their limits ------------------------------------------

// One labelled value with its limit: a burst power of one band and level, a
// receive level, a receive quality.
struct LimitItem {
  std::string label;  // "EGSM ch 20 level 0"
  double value = 0.0;
  std::optional<double> low, high;
};

// A row per item: its limit as a band, its value as a point.
std::string LimitChartSvg(std::string_view title, std::string_view unit, const std::vector<LimitItem> &items);

// ---- distributions --------------------------------------------------------

struct Histogram {
  double first = 0.0;  // lower edge of the first bin
  double width = 1.0;  // of each bin
  std::vector<int64_t> counts;
  std::optional<double> low, high;
};

// Bins for values from min to max that also show the limits: about `bins`
// bins of a round width. The caller counts values into them with BinOf.
Histogram HistogramFrame(double min, double max, std::optional<double> low, std::optional<double> high, int bins = 24);
int BinOf(const Histogram &histogram, double value);  // clamped to the bins

// unit: the values' axis, "burst power (dBm)".
std::string HistogramSvg(std::string_view title, std::string_view unit, const Histogram &histogram);

// ---- control rules --------------------------------------------------------

// The points a control chart marks: each value's rules broken (RulesBroken,
// rules.h), kept where the point lies itself beyond the rule's line on the
// run's side, so a point at the centre is not marked for a run it ends. None
// at all without a spread.
std::vector<std::vector<RuleBreach>> ChartRuleMarks(const std::vector<double> &values, double mean, double sd);
// "one point beyond 3 sigma; 8 in a row on one side of the centre", or "".
std::string RuleText(const std::vector<RuleBreach> &rules);

// Values in unit order, with the mean, +-3 sigma and the limits; points that
// miss a limit, or break a Western Electric rule, marked.
struct ControlChart {
  std::vector<double> values;  // the points drawn, oldest first
  int64_t firstIndex = 1;      // the unit order number of values[0]
  double mean = 0.0;
  double sd = 0.0;
  std::optional<double> low, high;
};
std::string ControlChartSvg(std::string_view title, std::string_view unit, const ControlChart &chart);

// ---- bars -----------------------------------------------------------------

struct Bar {
  std::string label;
  double value = 0.0;
  std::string href;  // a link for the bar, or ""
};

// Bars in the given order.
std::string BarsSvg(std::string_view title, std::string_view unit, const std::vector<Bar> &bars);
// Bars largest first, with the cumulative share as a line.
std::string ParetoSvg(std::string_view title, std::string_view unit, std::vector<Bar> bars);

// Bars of two parts, largest whole first: a step's time as the equipment's
// waits and the host's own. One "bar" per part drawn.
struct StackedBar {
  std::string label;
  double first = 0.0, second = 0.0;
};
std::string StackedParetoSvg(std::string_view title, std::string_view unit, std::string_view firstName,
                             std::string_view secondName, std::vector<StackedBar> bars);

}  // namespace vorn_plots
