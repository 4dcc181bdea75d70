// The failure sweep: every outside call whose status a step looks at, made to
// fail alone, in turn, in every step of the typical station run.
//
// For each step the typical run is played up to and including it, and the
// step's own calls are taken from the journal. Then, once for each of those
// calls whose status the step checks, the run is played again with only that
// call failing (the fault script names the operation and its call number).
// Each time the step must return -1, write exactly the failure text of that
// operation, call nothing after it (but the phone library's last error, which
// the mobile form carries, and the one close of a link or VISA session the
// step had opened), and leave ResultValues and ResultNames as the host
// left them.
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/failure_cases.h"
#include "support/station_test.h"
#include "support/steps.h"

namespace {

using station::Call;
using vorn_test::FailureCase;
using vorn_test::RunStep;

class FailureSweep : public vorn_test::StationTest {};

TEST_F(FailureSweep, EveryCheckedCallOfEveryStepFailsAlone) {
  writeParameters(vorn_test::TypicalParameters());
  const std::vector<FailureCase> cases = vorn_test::FailureCases(parameterPath());
  std::set<std::string> swept;
  std::map<std::size_t, std::size_t> perCall;  // cases of each step call of the run
  for (const FailureCase &c : cases) {
    const RunStep &target = vorn_test::TypicalRun()[c.at];
    SCOPED_TRACE(std::string(target.step->name) + " (section " + std::to_string(target.number) + "), " + c.call.text() +
                 ", call " + std::to_string(c.call.number));
    ASSERT_TRUE(vorn_test::PlayTypicalRunBefore(c.at, parameterPath()));
    st().faults.add(c.call.op, c.status, c.call.number);
    vorn_test::HostBuffers buffers;
    const int32_t result = target.step->run(target.number, buffers.values, buffers.names, buffers.errorText);
    ++perCall[c.at];

    EXPECT_EQ(result, -1);
    EXPECT_TRUE(buffers.resultsUntouched());
    // The failing call is the step's last: only the last-error text may
    // follow, and then the one close of what the step had opened.
    const std::vector<Call> &calls = st().journal.calls();
    std::size_t faulted = calls.size();
    for (std::size_t i = 0; i < calls.size(); ++i) {
      if (calls[i].faulted) faulted = i;
    }
    ASSERT_LT(faulted, calls.size()) << "the failing call was never made";
    EXPECT_EQ(calls[faulted].op, c.call.op);
    std::size_t end = calls.size();
    if (c.closing != nullptr) {
      ASSERT_GT(end, faulted + 1) << "nothing closed after the failure";
      EXPECT_EQ(calls.back().op, c.closing);
      --end;
    }
    for (std::size_t i = faulted + 1; i < end; ++i) {
      EXPECT_EQ(calls[i].op, "DWD_get_last_error") << "called after the failure: " << calls[i].text();
    }
    EXPECT_EQ(buffers.error(), vorn_test::ExpectedText(c));
    swept.insert(target.step->name);
  }
  // No step escapes the sweep.
  EXPECT_EQ(swept.size(), vorn_test::Steps().size());
  std::string perStep;
  for (const auto &[at, count] : perCall) {
    perStep +=
        std::string(perStep.empty() ? "" : ", ") + vorn_test::TypicalRun()[at].step->name + " " + std::to_string(count);
  }
  std::printf("failure sweep: %zu cases over %zu steps (%s)\n", cases.size(), swept.size(), perStep.c_str());
  RecordProperty("cases", static_cast<int>(cases.size()));
}

}  // namespace
