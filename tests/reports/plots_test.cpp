#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "plots/plots.h"

namespace vp = vorn_plots;

namespace {

int Count(const std::string &svg, const std::string &pattern) {
  const std::regex re(pattern);
  return static_cast<int>(std::distance(std::sregex_iterator(svg.begin(), svg.end(), re), std::sregex_iterator()));
}

vp::Moments MomentsOf(const std::vector<double> &values, double shift = 0.0) {
  vp::Moments m;
  m.shift = shift;
  for (double v : values) m.add(v);
  return m;
}

}  // namespace

// Worked by hand: 15 values of 9 and 15 of 11 give mean 10 and a sample
// variance of 30/29, so sd = 1.017095; with limits 7..14,
// Cpu = 4 / 3.051286 = 1.310923 and Cpl = 3 / 3.051286 = 0.983192.
TEST(Statistics, CapabilityOfAHandWorkedExample) {
  std::vector<double> values;
  for (int i = 0; i < 15; ++i) values.insert(values.end(), {9.0, 11.0});
  const vp::Capability c = vp::Capabilities(MomentsOf(values), 7.0, 14.0);
  EXPECT_EQ(c.count, 30);
  EXPECT_NEAR(c.mean, 10.0, 1e-12);
  EXPECT_NEAR(c.sd, 1.017095, 1e-6);
  ASSERT_TRUE(c.cpu && c.cpl && c.cpk);
  EXPECT_NEAR(*c.cpu, 1.310923, 1e-6);
  EXPECT_NEAR(*c.cpl, 0.983192, 1e-6);
  EXPECT_DOUBLE_EQ(*c.cpk, *c.cpl);
  EXPECT_EQ(vp::IndexText(c.cpk, c), "0.98");

  // One side only: Cpk is that side's index.
  const vp::Capability upper = vp::Capabilities(MomentsOf(values), std::nullopt, 14.0);
  EXPECT_FALSE(upper.cpl);
  ASSERT_TRUE(upper.cpk);
  EXPECT_NEAR(*upper.cpk, 1.310923, 1e-6);
}

TEST(Statistics, NoIndexWithoutEnoughValuesSpreadOrLimit) {
  const std::vector<double> few(29, 10.0);
  std::vector<double> spread;
  for (int i = 0; i < 40; ++i) spread.push_back(i % 2 ? 9.0 : 11.0);
  const struct {
    std::vector<double> values;
    std::optional<double> low, high;
    std::string note;
  } cases[] = {
      {few, 7.0, 14.0, vp::kTooFewUnits},
      {{}, 7.0, 14.0, vp::kTooFewUnits},
      {std::vector<double>(40, 1.0), 1.0, 1.0, "no spread"},
      {spread, std::nullopt, std::nullopt, "no limit"},
  };
  for (const auto &c : cases) {
    const vp::Capability cap = vp::Capabilities(MomentsOf(c.values), c.low, c.high);
    EXPECT_FALSE(cap.cpk) << c.note;
    EXPECT_EQ(vp::IndexText(cap.cpk, cap), c.note);
  }
}

// Large values with a small spread: the shift keeps the variance exact where
// plain sums of squares lose it.
TEST(Statistics, ShiftedSumsKeepASmallSpreadOfLargeValues) {
  std::vector<double> values;
  for (int i = 0; i < 1000; ++i) values.push_back(1e6 + (i % 2 ? 0.001 : -0.001));
  const vp::Capability c = vp::Capabilities(MomentsOf(values, 1e6), 1e6 - 1, 1e6 + 1);
  EXPECT_NEAR(c.sd, 0.001 * std::sqrt(1000.0 / 999.0), 1e-9);
  EXPECT_NEAR(c.mean, 1e6, 1e-6);
}

TEST(Numbers, DotDecimalWhateverTheLocale) {
  const char *old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE.UTF-8 locale";
  EXPECT_EQ(vp::Number(-60.25, 2), "-60.25");
  EXPECT_EQ(vp::Number(-0.001, 2), "0");
  EXPECT_EQ(vp::Number(1.5, 0), "2");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(Spectrum, ResultNamesGiveKindAndOffset) {
  const struct {
    const char *name;
    bool parsed;
    vp::SpectrumKind kind;
    double offsetKhz;
  } cases[] = {
      {"-0.10MHZ Modulation Spectrum", true, vp::SpectrumKind::kModulation, -100},
      {"+1.80MHZ Modulation Spectrum", true, vp::SpectrumKind::kModulation, 1800},
      {"-0.40MHZ Switching Spectrum", true, vp::SpectrumKind::kSwitching, -400},
      {"+0.25MHZ Switching Spectrum", true, vp::SpectrumKind::kSwitching, 250},
      {"0.40MHZ Switching Spectrum", false, {}, 0},
      {"+0.40MHZ Other Spectrum", false, {}, 0},
      {"+x.40MHZ Switching Spectrum", false, {}, 0},
      {"Band=EGSM;Chan=20;TXLevel=0", false, {}, 0},
  };
  for (const auto &c : cases) {
    const auto parsed = vp::ParseSpectrumName(c.name);
    ASSERT_EQ(parsed.has_value(), c.parsed) << c.name;
    if (!parsed) continue;
    EXPECT_EQ(parsed->kind, c.kind) << c.name;
    EXPECT_DOUBLE_EQ(parsed->offsetKhz, c.offsetKhz) << c.name;
  }
}

// One point per value, one mask segment per limited value, and exactly the
// values beyond their limit marked.
TEST(Spectrum, PointsMasksAndMarkedMisses) {
  const std::vector<vp::SpectrumPoint> points = {
      {-400, -66.0, std::nullopt, -60.0},
      {400, -58.5, std::nullopt, -60.0},  // the upper side misses
      {-200, -33.0, std::nullopt, -30.0},
      {200, -33.1, std::nullopt, std::nullopt},
      {-100, 0.3, -1.0, 0.5},
      {100, -1.5, -1.0, 0.5},  // below its low limit
  };
  const std::string svg = vp::SpectrumSvg(vp::SpectrumKind::kModulation, "EGSM line 22", points);
  EXPECT_EQ(Count(svg, "<circle class=\"point"), 6);
  EXPECT_EQ(Count(svg, "<circle class=\"point out\""), 2);
  EXPECT_EQ(Count(svg, "<path class=\"mask\""), 5);
  EXPECT_NE(svg.find("dB rel. carrier"), std::string::npos);
  EXPECT_EQ(svg, vp::SpectrumSvg(vp::SpectrumKind::kModulation, "EGSM line 22", points));  // same bytes
  EXPECT_NE(vp::SpectrumSvg(vp::SpectrumKind::kSwitching, "s", points).find(">dBm<"), std::string::npos);
}

TEST(Histogram, BinsCoverValuesAndLimits) {
  vp::Histogram h = vp::HistogramFrame(31.0, 34.0, 30.0, 36.0, 12);
  ASSERT_FALSE(h.counts.empty());
  EXPECT_LE(h.first, 30.0);
  EXPECT_GE(h.first + h.width * static_cast<double>(h.counts.size()), 36.0);
  for (double v : {31.0, 33.0, 33.1, 34.0, 99.0, -99.0}) ++h.counts[static_cast<std::size_t>(vp::BinOf(h, v))];
  EXPECT_EQ(h.counts.front(), 1);  // -99 clamped into the first bin
  EXPECT_EQ(h.counts.back(), 1);   // 99 into the last
  const std::string svg = vp::HistogramSvg("burst power", "dBm", h);
  EXPECT_EQ(Count(svg, "<rect class=\"bar\""), static_cast<int>(h.counts.size()));
  EXPECT_EQ(Count(svg, "<line class=\"limit\""), 2);
}

TEST(ControlChart, PointsMeanSigmaAndLimits) {
  vp::ControlChart c;
  c.values = {10, 11, 9, 15, 10};
  c.firstIndex = 96;
  c.mean = 11;
  c.sd = 2;
  c.high = 14;
  const std::string svg = vp::ControlChartSvg("rx level", "", c);
  EXPECT_EQ(Count(svg, "<circle class=\"point"), 5);
  EXPECT_EQ(Count(svg, "class=\"point out\""), 1);
  EXPECT_EQ(Count(svg, "<line class=\"mean\""), 1);
  EXPECT_EQ(Count(svg, "<line class=\"sigma\""), 2);
  EXPECT_EQ(Count(svg, "<line class=\"limit\""), 1);
  EXPECT_NE(svg.find("unit 100: 10"), std::string::npos);  // unit order numbers carried on
}

TEST(Bars, ParetoLargestFirstWithLinksEscaped) {
  const std::string svg =
      vp::ParetoSvg("failures", "units", {{"a", 1, ""}, {"b<c", 5, "unit-7.html?x&y"}, {"d", 3, ""}});
  const auto b = svg.find("b&lt;c"), d = svg.find(">d<"), a = svg.find(">a<");
  ASSERT_NE(b, std::string::npos);
  EXPECT_TRUE(b < d && d < a);
  EXPECT_NE(svg.find("href=\"unit-7.html?x&amp;y\""), std::string::npos);
  EXPECT_EQ(Count(svg, "<rect class=\"bar\""), 3);
  EXPECT_NE(svg.find(">100%<"), std::string::npos);
}

// Each Western Electric rule, marked on the point that completes its run
// when that point lies beyond the rule's line itself; runs on opposite sides
// do not add up, and without a spread nothing is marked.
TEST(ControlRules, EachRuleMarkedWhereItsRunEnds) {
  using R = vp::ControlRule;
  const auto bit = [](R rule) { return 1u << static_cast<unsigned>(rule); };
  const unsigned beyond3 = bit(R::kBeyond3Sigma), twoOfThree = bit(R::kTwoOfThree2Sigma),
                 fourOfFive = bit(R::kFourOfFive1Sigma), eight = bit(R::kEightOnOneSide);
  const struct {
    std::vector<double> values;
    double sd;
    std::vector<unsigned> marks;
  } cases[] = {
      {{0, 0, 0, 3.5, 0}, 1, {0, 0, 0, beyond3, 0}},
      {{0, 2.5, 0, 2.5}, 1, {0, 0, 0, twoOfThree}},
      {{2.5, 2.5, 0}, 1, {0, 0, 0}},  // the run is broken at the third point, which lies at the centre
      {{2.5, -2.5, 0, 0}, 1, {0, 0, 0, 0}},
      {{1.5, 1.5, 0, 1.5, 1.5}, 1, {0, 0, 0, 0, fourOfFive}},
      {{0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, -0.5}, 1, {0, 0, 0, 0, 0, 0, 0, eight, 0}},
      {{0, -3.2, -2.5}, 1, {0, beyond3, twoOfThree}},
      {{0, 0, 9}, 0, {0, 0, 0}},
  };
  for (const auto &c : cases) {
    std::vector<unsigned> marks;
    for (const auto &point : vp::ChartRuleMarks(c.values, 0.0, c.sd)) {
      unsigned m = 0;
      for (const vp::RuleBreach &b : point) m |= bit(b.rule);
      marks.push_back(m);
    }
    EXPECT_EQ(marks, c.marks) << c.values.size() << " values";
  }
  EXPECT_EQ(vp::RuleText({{R::kBeyond3Sigma, 1}, {R::kEightOnOneSide, 1}}),
            "one point beyond 3 sigma; 8 in a row on one side of the centre");
}

// A point that breaks a rule but no limit is marked as such; every chart
// names its axes and has a legend for its lines.
TEST(ControlChart, RulePointsMarkedAndEveryLineInTheLegend) {
  vp::ControlChart c;
  c.values = {10, 10.2, 9.9, 10.1, 13.5, 10};
  c.mean = 10;
  c.sd = 1;
  c.low = 5;
  c.high = 15;
  const std::string svg = vp::ControlChartSvg("burst power", "burst power (dBm)", c);
  EXPECT_EQ(Count(svg, "class=\"point rule\""), 1);
  EXPECT_NE(svg.find("unit 5: 13.5; one point beyond 3 sigma"), std::string::npos);
  EXPECT_NE(svg.find(">burst power (dBm)<"), std::string::npos);
  const std::size_t legend = svg.find("<g class=\"legend\"");
  ASSERT_NE(legend, std::string::npos);
  for (const char *key : {">mean<", ">\u00b13 sigma<", ">limit<", ">breaks a control rule<"}) {
    EXPECT_NE(svg.find(key, legend), std::string::npos) << key;
  }
  EXPECT_NE(vp::HistogramSvg("h", "burst power (dBm)", vp::HistogramFrame(1, 2, 0, 3)).find("class=\"legend\""),
            std::string::npos);
  const std::string time = vp::StackedParetoSvg("step time", "seconds", "waits", "own", {{"a", 1, 2}, {"b", 4, 0.5}});
  EXPECT_EQ(Count(time, "<rect class=\"bar\""), 4);
  EXPECT_LT(time.find(">b<"), time.find(">a<"));  // the larger whole first
}
