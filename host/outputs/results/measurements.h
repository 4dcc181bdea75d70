// The plan's steps and its measurements, each kept once (the tables
// plan_step and measurement) and named by an integer id in every attempt's
// rows: an attempt's rows hold numbers, not the same texts again.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

#include "outputs/results/database.h"
#include "outputs/results/rollups.h"

namespace vorn_results {

// A plan line's step: what every run of it has in common.
struct PlanStepKey {
  std::string exportName;  // without its prefix
  int planLine = 0;
  int number = 0;
  bool cleanup = false;
  std::string limits;  // "1=30..36 4=-1..1"

  // The one text that tells it apart, the table's unique key.
  std::string text() const;
};

// A result entry of a plan line, with its name and limit.
struct MeasurementKey {
  std::string exportName;
  int planLine = 0;
  int entry = 0;
  std::optional<std::string> name;
  std::optional<double> low, high;

  std::string text() const;
};

// The ids of plan steps and measurements: looked up, added when new, and
// kept for the next attempts once the transaction that added them commits.
// Several writers may add the same one at once: the key is unique, and each
// gets the one row.
class RowIds {
 public:
  // frames: the measurement table has its bins' columns (schema version 7).
  explicit RowIds(bool frames = true) : frames_(frames) {}
  bool planStep(Database &db, const PlanStepKey &key, int64_t &id, std::string &error);
  // A new measurement's bins are fixed against its limits (and a one-sided
  // limit's scale against value, its first value), the same as those of the
  // same plan line, entry and limits under another name.
  bool measurement(Database &db, const MeasurementKey &key, const std::optional<double> &value, int64_t &id,
                   BinFrame &frame, std::string &error);
  // The transaction committed: its new ids are kept. Rolled back: forgotten.
  void commit();
  void rollback();

 private:
  struct Known {
    int64_t id = 0;
    BinFrame frame;  // a measurement's
  };
  using Ids = std::unordered_map<std::string, Known>;
  // The row of the key: kept, or read, or added by insert with values.
  bool resolve(Database &db, const std::string &table, const std::string &key,
               const std::function<bool(std::string &, std::vector<Value> &, std::string &)> &insert, Ids &kept,
               Ids &added, Known &known, std::string &error);
  bool newFrame(Database &db, const MeasurementKey &key, const std::optional<double> &value, BinFrame &frame,
                std::string &error);

  bool frames_;
  Ids steps_, measurements_, newSteps_, newMeasurements_;
};

}  // namespace vorn_results
