// A line's sums over a filter (outputs/results/rollups.h): the rollups of its
// whole days, and the rows of a partial first or last day summed alike, so
// that a report of any period costs what its days' sums cost.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "outputs/results/rollups.h"
#include "tools/common/filter.h"

namespace vorn_reports {

struct LineSums {
  std::map<int64_t, vorn_results::MeasureSums> measurements;  // by measurement id
  std::map<int64_t, vorn_results::StepSums> steps;            // by plan step id
  // By station and the first `grain` characters of the hour ("2024-05-01T08"
  // at 13, the day at 10, the whole period at 0).
  std::map<std::pair<std::string, std::string>, vorn_results::TallySums> hours;
  // The units first tested in each of the period's latest hours, by station and hour.
  std::map<std::pair<std::string, std::string>, int64_t> latestHours;
  std::vector<vorn_results::SlowAttempt> slowest;  // slowest first, at most kSlowest

  // The tally of every hour, or of those whose key `keep` takes, as `group` names them.
  std::map<std::vector<std::string>, vorn_host::Tally> tallies(
      const std::function<std::vector<std::string>(const std::string &station, const std::string &hour)> &group) const;
};

// The period a filter covers, cut into the whole days the rollups answer for
// and the partial days the rows do.
struct Period {
  std::string firstDay, lastDay;                             // the whole days, both included; empty: no bound
  bool wholeDays = true;                                     // false: no whole day lies in the period
  std::vector<std::pair<std::string, std::string>> partial;  // since, until of each partial day
};
Period PeriodOf(const LineFilter &filter);

// The latest hours LineSums keeps apart.
inline constexpr int kLatestHours = 48;

// tallyOnly: the hours alone, for the summaries; grain: LineSums::hours'.
bool ReadLineSums(vorn_results::Database &db, const LineFilter &filter, bool tallyOnly, int grain, LineSums &sums,
                  std::string &error);

}  // namespace vorn_reports
