// What a run shows: progress while it runs, the results table after it, and
// the machine-readable record for a factory's data system.
#pragma once

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "core/run.h"

namespace vorn_host {

// Where and how a run took place, for the table's heading and the record.
struct RunSetting {
  std::string station;     // the station's name
  std::string library;     // the library's file
  std::string version;     // its version text
  std::string parameters;  // the parameter file
  std::string plan;        // the plan file
  bool simulated = true;
  bool virtualClock = false;
  std::vector<std::string> scenarios;  // the named station faults
  std::vector<std::string> faults;     // the fault script, as given
};

// "[ 3/20] OBTInit, step 3 ... PASS (0.01 s)", with the long waits between.
class ConsoleProgress : public Progress {
 public:
  // Waits from this length on are shown.
  static constexpr uint32_t kLongWaitMs = 500;

  explicit ConsoleProgress(std::FILE *out) : out_(out) {}
  void stepStarted(std::size_t index, std::size_t count, const PlanStep &step) override;
  void waiting(uint32_t milliseconds) override;
  void stepFinished(const StepRecord &record) override;

 private:
  std::FILE *out_;
  int longWaits_ = 0;
};

// The results table: a line per step (number, step, verdict, time), then a
// line per entry it wrote (value, limit, name), then the run's verdict.
void WriteTable(std::ostream &out, const RunSetting &setting, const RunRecord &run);

// The run as one JSON object.
void WriteJson(std::ostream &out, const RunSetting &setting, const RunRecord &run);

// A double as the shortest text that reads back as the same double; JSON's
// null for what JSON cannot hold.
std::string JsonNumber(double value);
// A result value: a number, or the strings "NaN", "Infinity" and "-Infinity"
// for what is not finite, so that it is told from null ("not written").
std::string JsonValue(double value);
// A JSON string literal. Valid UTF-8 is written as it stands; a byte that is
// not part of valid UTF-8 is written as the \u00XX escape of its value, as
// if it were a Latin-1 character.
std::string JsonString(const std::string &text);

}  // namespace vorn_host
