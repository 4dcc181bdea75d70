// The rollups' arithmetic: the times they are keyed by, the bins fixed
// against a measurement's limits, and how a report's period is cut into the
// whole days the rollups answer for and the partial days the rows do.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "outputs/results/rollups.h"
#include "tools/common/line_sums.h"

namespace {

using vorn_results::BinFrame;
using vorn_results::EndOf;
using vorn_results::EpochSeconds;
using vorn_results::FrameFor;
using vorn_results::TimeText;

TEST(RollupTimes, TextsAndSecondsGoBothWaysAcrossMonthsYearsAndLeapDays) {
  for (const char *time : {"1970-01-01T00:00:00Z", "2024-02-29T23:59:59Z", "2024-03-01T00:00:00Z",
                           "1999-12-31T12:30:05Z", "2100-03-01T00:00:00Z", "1969-12-31T23:59:59Z"}) {
    const std::optional<int64_t> s = EpochSeconds(time);
    ASSERT_TRUE(s) << time;
    EXPECT_EQ(TimeText(*s), time);
  }
  EXPECT_EQ(EpochSeconds("1970-01-02T00:00:01Z"), 86401);
  EXPECT_EQ(EndOf("2024-02-28T23:59:50Z", 15.4), "2024-02-29T00:00:05Z");
  EXPECT_EQ(EndOf("2024-12-31T23:59:59Z", 0.6), "2025-01-01T00:00:00Z");
  EXPECT_EQ(EndOf("2024-05-01T08:00:00Z", -3.0), "2024-05-01T08:00:00Z");  // no time runs backwards
  EXPECT_EQ(EndOf("2024-05-01T08:00:00Z", std::nan("")), "2024-05-01T08:00:00Z");
  for (const char *bad : {"", "2024-05-01", "2024-05-01 08:00:00Z", "2024-13-01T00:00:00Z", "2024-05-00T00:00:00Z",
                          "2024-05-01T08:00:00", "2024-05-01T08:00:0xZ"}) {
    EXPECT_FALSE(EpochSeconds(bad)) << bad;
    EXPECT_EQ(EndOf(bad, 5.0), bad);
  }
}

// Values and the bins they fall in, for each kind of limit.
TEST(RollupBins, TheLimitsStandAtFixedBinsAndValuesBeyondFallInTheEnds) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char *what;
    std::optional<double> low, high, typical;
    double value;
    int bin;
  } cases[] = {
      {"two-sided: the low limit", 30.0, 36.0, std::nullopt, 30.0, 5},
      {"two-sided: the high limit", 30.0, 36.0, std::nullopt, 36.0, 25},
      {"two-sided: the middle", 30.0, 36.0, std::nullopt, 33.0, 15},
      {"two-sided: far below", 30.0, 36.0, std::nullopt, -1e9, 0},
      {"two-sided: far above", 30.0, 36.0, std::nullopt, 1e9, 29},
      {"upper only: the limit", std::nullopt, -60.0, -70.0, -60.0, 25},
      {"upper only: the typical value, 10 bins below", std::nullopt, -60.0, -70.0, -70.0, 15},
      {"lower only: the limit", 2.0, std::nullopt, 5.0, 2.0, 5},
      {"lower only: the typical value, 10 bins above", 2.0, std::nullopt, 5.0, 5.0, 15},
      {"no limit: around the typical value", std::nullopt, std::nullopt, 7.0, 7.0, 15},
      {"limits the wrong way round: below the high one", 36.0, 30.0, std::nullopt, 30.0, 25},
      {"a NaN limit counts as none", nan, 36.0, 26.0, 36.0, 25},
  };
  for (const Case &c : cases) {
    const BinFrame f = FrameFor(c.low, c.high, c.typical);
    EXPECT_GT(f.width, 0.0) << c.what;
    EXPECT_EQ(f.bin(c.value + f.width * 1e-6), c.bin) << c.what;
  }
  // A value the size of the limit keeps its variance: the sums are taken
  // from the frame's middle, not from zero.
  vorn_results::MeasureSums m;
  const BinFrame f = FrameFor(1e9, 1e9 + 2.0, std::nullopt);
  for (double v : {1e9 + 0.5, 1e9 + 1.5, nan}) m.add(v, true, f);
  EXPECT_EQ(m.count, 2);
  EXPECT_NEAR(m.sumSq / 2 - (m.sum / 2) * (m.sum / 2), 0.25, 1e-9);
}

// The whole days of a period come from the rollups, its cut days from the rows.
TEST(RollupPeriods, APeriodIsCutIntoWholeDaysAndTheDaysItOnlyCuts) {
  using Parts = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    const char *since, *until;
    std::string firstDay, lastDay;
    bool wholeDays;
    Parts partial;
  } cases[] = {
      {"", "", "", "", true, {}},
      {"2024-05-01T00:00:00Z", "2024-05-03T23:59:59Z", "2024-05-01", "2024-05-03", true, {}},
      {"2024-05-01T08:00:00Z", "", "2024-05-02", "", true, {{"2024-05-01T08:00:00Z", "2024-05-01T23:59:59Z"}}},
      {"", "2024-05-03T12:00:00Z", "", "2024-05-02", true, {{"2024-05-03T00:00:00Z", "2024-05-03T12:00:00Z"}}},
      {"2024-05-01T08:00:00Z",
       "2024-05-03T12:00:00Z",
       "2024-05-02",
       "2024-05-02",
       true,
       {{"2024-05-01T08:00:00Z", "2024-05-01T23:59:59Z"}, {"2024-05-03T00:00:00Z", "2024-05-03T12:00:00Z"}}},
      {"2024-05-01T08:00:00Z",
       "2024-05-01T12:00:00Z",
       "2024-05-02",
       "2024-04-30",
       false,
       {{"2024-05-01T08:00:00Z", "2024-05-01T12:00:00Z"}}},
      {"2024-05-01T08:00:00Z",
       "2024-05-02T12:00:00Z",
       "2024-05-02",
       "2024-05-01",
       false,
       {{"2024-05-01T08:00:00Z", "2024-05-01T23:59:59Z"}, {"2024-05-02T00:00:00Z", "2024-05-02T12:00:00Z"}}},
      {"2024-02-28T09:00:00Z", "", "2024-02-29", "", true, {{"2024-02-28T09:00:00Z", "2024-02-28T23:59:59Z"}}},
  };
  for (const Case &c : cases) {
    vorn_reports::LineFilter f;
    f.since = c.since;
    f.until = c.until;
    const vorn_reports::Period p = vorn_reports::PeriodOf(f);
    const std::string what = std::string(c.since) + " to " + c.until;
    EXPECT_EQ(p.firstDay, c.firstDay) << what;
    EXPECT_EQ(p.lastDay, c.lastDay) << what;
    EXPECT_EQ(p.partial, c.partial) << what;
    EXPECT_EQ(p.wholeDays, c.wholeDays) << what;  // false: the rollups are not read at all
  }
}

}  // namespace
