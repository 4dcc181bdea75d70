// The failure sweep's cases: every outside call of the typical station run
// whose status its step checks, with the label the step names it by. The
// sweep makes each fail alone; the documents' check lists their labels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "station/station.h"

namespace vorn_test {

// The failure forms of the steps: which equipment refused.
enum class Form { Tester, TesterCoded, Mobile, Supply };

struct FailureCase {
  std::size_t at;      // the step call's index in TypicalRun()
  station::Call call;  // as the run made it (its number counts the operation's calls)
  Form form;
  std::string label;  // empty when the step adds nothing to the container's own text
  int64_t status;     // the failing status the sweep gives the call
  // The one call the step must make after the failure, last: the close of the
  // link or session it had opened; null when it must close nothing.
  const char *closing = nullptr;
};

// Plays TypicalRun()[0, upTo) on a fresh station and host container that hands
// out parameterPath; false, with a test failure, when one of the steps failed.
bool PlayTypicalRunBefore(std::size_t upTo, const std::string &parameterPath);

// The cases, each step call of the typical run once (per step and section),
// found by playing it on the parameter file at parameterPath.
std::vector<FailureCase> FailureCases(const std::string &parameterPath);

// The text the step must write when the case's call fails, taken right after
// that failing run (the mobile form carries the phone library's last error).
std::string ExpectedText(const FailureCase &c);

}  // namespace vorn_test
