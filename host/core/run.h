// Runs a plan's steps one at a time on the caller's thread, in host-owned
// buffers, and judges each: PASS, FAIL (a limit) or ERROR (the step failed).
// The cleanup steps run at the end whatever happened before.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Vorn_CMU200.h"
#include "core/equipment.h"
#include "core/plan.h"

namespace vorn_host {

using StepFunction = int32_t(VORN_CMU200_CALL *)(int32_t step, double *values, Vorn_CMU200_ResultName *names,
                                                 char *errorText);

enum class Verdict { kPass, kFail, kError, kNotRun };
const char *VerdictText(Verdict verdict);  // "PASS", "FAIL", "ERROR", "NOT RUN"

// One result entry the step wrote (a value, a name or both), with its limit.
struct EntryResult {
  int entry = 0;
  std::optional<double> value;
  std::optional<std::string> name;
  std::optional<Limit> limit;
  bool passed = true;  // within its limit, or no limit
};

struct StepRecord {
  PlanStep step;
  Verdict verdict = Verdict::kNotRun;
  int32_t returned = 0;
  // ERROR: the step's failure text, or what the host found wrong with the call.
  std::string text;
  // FAIL: one line per limit missed.
  std::vector<std::string> misses;
  double seconds = 0.0;   // wall time of the call
  uint64_t waitedMs = 0;  // the station's waits during the call
  std::vector<EntryResult> entries;
};

struct RunRecord {
  std::vector<StepRecord> steps;
  Verdict verdict = Verdict::kNotRun;
  std::string started;  // UTC, ISO 8601
  double seconds = 0.0;
  uint64_t waitedMs = 0;
  // The operator stopped the run: the steps after the running one were not
  // run (the cleanup steps still were, unless stopped a second time). Such a
  // run is NOT RUN unless a step had already failed.
  bool stopped = false;

  // 0 only when every step and every limit passed.
  int exitStatus() const { return verdict == Verdict::kPass ? 0 : 1; }
  int count(Verdict verdict) const;
};

// What the run tells as it goes; every call is made on the running thread.
class Progress {
 public:
  virtual ~Progress() = default;
  virtual void stepStarted(std::size_t index, std::size_t count, const PlanStep &step) = 0;
  // A wait of the station's equipment began inside the running step.
  virtual void waiting(uint32_t milliseconds) = 0;
  virtual void stepFinished(const StepRecord &record) = 0;
};

struct RunOptions {
  bool keepGoing = false;  // run on after an ERROR
  // The equipment whose waits are timed; none: no waits are counted.
  Equipment *equipment = nullptr;
  // How many times the operator has asked to stop: from 1 the test steps
  // not yet begun are not run, from 2 the cleanup steps neither.
  std::function<int()> stopRequests;
};

// Runs plan.steps with functions[i] as the export of plan.steps[i].
RunRecord RunPlan(const Plan &plan, const std::vector<StepFunction> &functions, const RunOptions &options,
                  Progress *progress);

}  // namespace vorn_host
