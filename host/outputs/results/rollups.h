// The rollups: sums kept beside the rows, so that a report of a month costs
// what a month's sums cost, not what its results do. Kept per rollup scope
// (a station, a plan and the kind of session) and per day or hour of each
// unit's first attempt, so that an attempt counts where its unit does
// (core/tally.h), also when its retest came the next day:
//
//   station_hour     the tally's counts (as Tally::add counts them), station
//                    and wall time, the first start and the last end
//   day_measurement  count, sum and sum of squares (less the measurement's
//                    shift), minimum, maximum, missed limits, and the values
//                    in kRollupBins bins fixed against the limits
//   day_step         runs, errors, wall time, the equipment's waits and the
//                    host's own time
//   day_slowest      the slowest attempts of the day (at most kSlowest, and
//                    the few that were among them when they came)
//
// Each attempt is named in rollup_pending in its own transaction; a store
// folds the attempts named there into the rollups once kFoldEvery of its own
// wait, and when a session starts or ends, in the transaction of that write,
// taking their names out as it folds them. The rows, the rollups and the
// names thus always agree, whatever stops the station: an attempt is either
// in the rollups or named as waiting, never both, never neither.
//
// A report adds the rollups of its whole days to the sums of its partial
// first or last day and of the attempts still waiting, which it makes from
// the raw rows with the same Rollup, all in one snapshot.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/tally.h"
#include "outputs/results/database.h"

namespace vorn_results {

inline constexpr int kRollupBins = 30;
inline constexpr int kSlowest = 10;
// Attempts a store lets wait before it folds them: a report reads at most
// this many a station from the rows beyond the rollups.
inline constexpr std::size_t kFoldEvery = 256;

inline constexpr const char *kPendingTable = "CREATE TABLE rollup_pending (attempt_id BIGINT PRIMARY KEY)";

// A measurement's histogram bins, fixed when it is first stored so that the
// bins of every day add up: 20 across a two-sided limit and 5 on either side;
// a one-sided limit's scale from a typical value's distance to it (that value
// in the 11th bin from the limit); values beyond the ends in the end bins.
struct BinFrame {
  double first = 0.0;  // the lower edge of bin 0
  double width = 1.0;

  int bin(double value) const;
  // The value the sums are taken from (the frame's middle): it keeps the
  // variance exact for large values of a small spread.
  double shift() const { return first + width * kRollupBins / 2.0; }
};
BinFrame FrameFor(const std::optional<double> &low, const std::optional<double> &high,
                  const std::optional<double> &typical);

struct MeasureSums {
  int64_t count = 0;              // of finite values
  double sum = 0.0, sumSq = 0.0;  // of (value - shift)
  std::optional<double> min, max;
  int64_t fails = 0;  // missed limits, a value not written included
  std::array<int64_t, kRollupBins> bins{};

  void add(const std::optional<double> &value, bool passed, const BinFrame &frame);
  void merge(const MeasureSums &other);
};

struct StepSums {
  int64_t runs = 0, errors = 0;  // steps that ran, and of those in ERROR
  double wallSeconds = 0.0, waitedSeconds = 0.0, ownSeconds = 0.0, stationSeconds = 0.0;

  // A step's time: its wall time; the equipment's waits; the host's own
  // time (the wall time less the waits, or the wall time when the waits
  // were on the virtual clock and took none of it).
  void add(double seconds, uint64_t waitedMs, bool error);
  void merge(const StepSums &other);
};

struct TallySums {
  vorn_host::Tally tally;  // its counts summed; stationSeconds too
  double wallSeconds = 0.0;
  std::string firstStarted, lastEnded;

  void add(const std::string &prior, const std::string &verdict, double seconds, uint64_t waitedMs,
           const std::string &started);
  void merge(const TallySums &other);
  // The tally, its hours from the first start to the last end.
  vorn_host::Tally finished() const;
};

struct SlowAttempt {
  int64_t attemptId = 0;
  double stationSeconds = 0.0;
};
// The slower first; of two as slow, the earlier (as the rollup kept it).
bool SlowerFirst(const SlowAttempt &a, const SlowAttempt &b);

// What an attempt adds to the rollups, from its rows.
struct AttemptFacts {
  int64_t id = 0;
  std::string prior, verdict, started;
  std::string firstStarted;  // the unit's first attempt's start
  double seconds = 0.0;
  uint64_t waitedMs = 0;
  struct Step {
    int64_t planStep = 0;
    std::string verdict;
    double seconds = 0.0;
    uint64_t waitedMs = 0;
  };
  struct Result {
    int64_t measurement = 0;
    std::optional<double> value;
    bool passed = true;
  };
  std::vector<Step> steps;
  std::vector<Result> results;
};

// The sums of one scope's attempts, by day or hour of their unit's first attempt.
struct Rollup {
  std::map<std::string, TallySums> hours;                               // "2024-05-01T08"
  std::map<std::pair<std::string, int64_t>, MeasureSums> measurements;  // day, measurement id
  std::map<std::pair<std::string, int64_t>, StepSums> steps;            // day, plan step id
  std::map<std::string, std::vector<SlowAttempt>> slowest;              // day: slowest first

  // frames: each measurement's, by id (one missing counts no bin).
  void add(const AttemptFacts &attempt, const std::map<int64_t, BinFrame> &frames);
};

// The steps and results of attempts whose other facts are filled, read from
// their rows; and every measurement's bins.
bool FillFacts(Database &db, std::vector<AttemptFacts> &attempts, std::string &error);
// An attempt's own facts, read from its row of unit (as u) by these columns,
// first in the row; its steps and results are FillFacts'.
inline constexpr const char *kAttemptColumns =
    "u.id, u.prior, u.verdict, u.started, u.seconds, u.waited_ms,"
    " (SELECT min(f.started) FROM unit f WHERE f.unit_id = u.unit_id)";
// The columns of a SELECT list: its commas outside parentheses, and one.
constexpr std::size_t ColumnsOf(const char *list) {
  std::size_t columns = 1;
  for (int depth = 0; *list != '\0'; ++list) {
    depth += *list == '(' ? 1 : *list == ')' ? -1 : 0;
    columns += *list == ',' && depth == 0 ? 1 : 0;
  }
  return columns;
}
inline constexpr std::size_t kAttemptColumnCount = ColumnsOf(kAttemptColumns);
AttemptFacts AttemptOfRow(const Row &row);
// The whole facts of the attempts a condition on their rows (unit u) selects,
// "u.id > $1 ORDER BY u.id LIMIT 100", and the session of each.
bool ReadAttempts(Database &db, const std::string &condition, const std::vector<Value> &params,
                  std::vector<AttemptFacts> &attempts, std::vector<std::string> &sessions, std::string &error);
bool ReadFrames(Database &db, std::map<int64_t, BinFrame> &frames, std::string &error);

// The rollups' tables ({SMALL_ID}: the engine's key of a small table), and
// the writes of a rollup's sums into them, added to what is there.
const std::string &RollupTables();
bool WriteRollup(Database &db, int64_t scopeId, const Rollup &rollup, std::string &error);

// The rollup scope of a session: its station, plan and kind, by id; added when new.
bool ScopeOfSession(Database &db, const std::string &sessionId, int64_t &scopeId, std::string &error);

// Times as the database holds them, "2024-05-01T08:00:00Z": seconds since
// 1970 of one (nothing for a text that is none), one of such seconds, and
// one plus seconds (rounded to the second).
std::optional<int64_t> EpochSeconds(const std::string &time);
std::string TimeText(int64_t epochSeconds);
std::string EndOf(const std::string &started, double seconds);

}  // namespace vorn_results
