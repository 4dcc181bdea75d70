// Every exported step by name, and the typical station run over them: for the
// failure sweep, the step fuzz target and the step benchmarks, which go over
// all the steps alike. No GoogleTest in here: fuzz/ and bench/ build it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Vorn_CMU200.h"

namespace vorn_test {

using StepFunction = int32_t(VORN_CMU200_CALL *)(int32_t, double *, Vorn_CMU200_ResultName *, char *);

struct StepExport {
  const char *name;  // the export's name without "Vorn_CMU200_"
  StepFunction run;
};

// The thirteen steps, from include/Vorn_CMU200_steps.h.
const std::vector<StepExport> &Steps();
const StepExport *FindStep(std::string_view name);

// One step call of a run: which step, with which step number (its section).
struct RunStep {
  const StepExport *step;
  int32_t number;
};

// The parameter file of the typical run: one section per step, numbered in
// the order of the run, and the path-loss section.
const std::string &TypicalParameters();
// A typical station run: supply, phone link, tester and cell, the call, the
// three measurements, a channel, level and band change, the power measurement
// again, call end, phone reset and close.
const std::vector<RunStep> &TypicalRun();

}  // namespace vorn_test
