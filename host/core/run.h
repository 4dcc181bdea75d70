// Runs a plan's steps one at a time on the caller's thread, in host-owned
// buffers, and judges each: PASS, FAIL (a limit) or ERROR (the step failed).
// The cleanup steps run at the end whatever happened before; a stopped run
// is judged by its test steps alone (NOT RUN when those that ran passed).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Vorn_CMU200.h"
#include "core/bus.h"
#include "core/equipment.h"
#include "core/plan.h"
#include "core/record.h"

namespace vorn_host {

using StepFunction = int32_t(VORN_CMU200_CALL *)(int32_t step, double *values, Vorn_CMU200_ResultName *names,
                                                 char *errorText);

struct RunOptions {
  bool keepGoing = false;  // run on after an ERROR
  // The equipment whose waits are timed; none: no waits are counted.
  Equipment *equipment = nullptr;
  // How many times the operator has asked to stop: from 1 the test steps
  // not yet begun are not run, from 2 the cleanup steps neither.
  std::function<int()> stopRequests;
  std::string socket;  // the test socket the run is in, for the events; empty on a station of one
};

// The line a FAIL gives for an entry that missed its limit:
// "entry 2 = -1, outside 0..", "entry 3 not written (limit 1)".
std::string MissText(const EntryResult &entry);

// Runs plan.steps with functions[i] as the export of plan.steps[i], telling
// events (when not null) of each step and each wait as they happen.
RunRecord RunPlan(const Plan &plan, const std::vector<StepFunction> &functions, const RunOptions &options,
                  Subscriber *events);

}  // namespace vorn_host
