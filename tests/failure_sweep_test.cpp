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
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "alldata/container.h"
#include "outside/dwdio.h"
#include "support/station_test.h"
#include "support/steps.h"
#include "tester/tester_state.h"

namespace {

using station::Call;
using vorn_test::RunStep;

// The failing statuses the sweep gives each equipment's operations.
constexpr int64_t kTesterError = -1073807339;  // a driver error code (time-out)
constexpr int64_t kPhoneFailed = 0;            // the phone library's byte for "not done"
constexpr int64_t kVisaError = -1073807339;    // VI_ERROR_TMO
constexpr int64_t kContainerError = 1;

// The text the container stand-in writes when it cannot hand out the handle.
constexpr const char *kContainerText = "AllData: mobile handle not available";

int64_t FailingStatus(const std::string &op) {
  if (op.rfind("RSCMU_", 0) == 0) return kTesterError;
  if (op.rfind("DWD_", 0) == 0) return kPhoneFailed;
  if (op.rfind("vi", 0) == 0) return kVisaError;
  return kContainerError;
}

enum class Form { Tester, TesterCoded, Mobile, Supply };

// What a step checks and how it names a failure.
struct StepRules {
  const char *step;
  Form form;
  // Operations whose status this step does not look at (besides those of no step).
  std::set<std::string> unchecked;
  // The failure label of a call, where it is not the operation's own name.
  std::function<std::string(const Call &)> label;
  // The one call allowed after a failure, last, once `opening` had succeeded:
  // the close of what the step opened.
  const char *closing = nullptr;
  const char *opening = nullptr;
};

// Statuses no step looks at: the path fetch and the handle store (ignored by
// rule), the waits and the operator prompt, and the last-error text itself.
const std::set<std::string> kNeverChecked = {"dcGet_ParaFileName", "dcSet_hMobile", "Sleep",
                                             "MessageBoxA", "DWD_get_last_error"};

std::string OwnName(const Call &call) { return call.op; }

std::string SupplyLabel(const Call &call) {
  if (call.op == "viOpen") return "GPIB";
  if (call.op != "viWrite") return call.op;
  const std::string &command = call.args.at(1);
  if (command == "OUTP OFF") return "DC_Output_Off";
  if (command.rfind("VOLT ", 0) == 0) return "DC_Voltage_4V";
  if (command.rfind("CURR ", 0) == 0) return "DC_Current_3A";
  if (command == "OUTP ON") return "DC_Output_On";
  return "?";
}

std::string TesterInitLabel(const Call &call) {
  // The enable's label is not quite its operation's name.
  if (call.op == "RSCMU_Base_ConfUserCorrLossTablEnab") return "RSCMU_Base_ConfUserCorrLossTablEnabl";
  return call.op;
}

// The line set-up, the mode change and the reset before the restart into test
// mode are not looked at; a link check is retried, so no single failing check
// stops the step.
const std::set<std::string> kLinkSetUpUnchecked = {
    "DWD_set_eep_cfg_filename", "DWD_set_baud_rate",  "DWD_set_DTR",
    "DWD_set_RTS",              "DWD_set_v24_mode",   "DWD_check_comm_link",
    "DWD_set_serial_interface_mode", "DWD_sw_reset"};

const std::vector<StepRules> &Rules() {
  static const std::vector<StepRules> rules = {
      {"DcInit", Form::Supply, {"viClose"}, SupplyLabel, "viClose", "viOpenDefaultRM"},
      {"MobInit", Form::Mobile, kLinkSetUpUnchecked, OwnName, "DWD_close_com_port", "DWD_set_com_port"},
      {"OBTInit", Form::Tester, {}, TesterInitLabel},
      {"MakeCall", Form::Mobile, {}, OwnName},
      {"OBTPowervsTime", Form::Tester, {}, OwnName},
      {"OBTOutputRFSpectrum", Form::Tester, {}, OwnName},
      {"OBTRXLevelandQuality", Form::Tester, {}, OwnName},
      {"OBTChangeTCH", Form::Tester, {}, OwnName},
      {"OBTChangeTXLevel", Form::Tester, {}, OwnName},
      {"OBTHandOver", Form::TesterCoded, {}, OwnName},
      {"OBTEndCall", Form::Tester, {}, OwnName},
      {"MobReset", Form::Mobile, {}, OwnName},
      // The close's status is the step's finding, handed back as its value.
      {"MobClose", Form::Mobile, {"DWD_close_com_port"}, OwnName},
  };
  return rules;
}

const StepRules &RulesOf(const char *step) {
  for (const StepRules &rules : Rules()) {
    if (std::string(rules.step) == step) return rules;
  }
  ADD_FAILURE() << "no sweep rules for " << step;
  static const StepRules none{"", Form::Tester, {}, OwnName};
  return none;
}

std::string ExpectedText(const StepRules &rules, const Call &call, int64_t status) {
  if (call.op == "dcGet_hMobile") return kContainerText;  // the step adds nothing
  const std::string label = rules.label(call);
  switch (rules.form) {
    case Form::Tester:
      return label + " Failed! CMU200 Error:";
    case Form::TesterCoded:
      return "CMU200 Error: " + std::to_string(status) + ". " + label + " Failed! ";
    case Form::Mobile:
      return label + " Failed! DWD Error:" + DWD_get_last_error();
    case Form::Supply:
      return label + "DcInit Failed!";
  }
  return "?";
}

class FailureSweep : public vorn_test::StationTest {
 protected:
  // A fresh station and container, then the typical run's steps before `upTo`;
  // false when one of them failed.
  bool playBefore(std::size_t upTo) {
    st().reset();
    vorn::testerState = vorn::TesterState{};  // as the module is when loaded
    alldata::Clear();
    alldata::SetParameterFile(parameterPath());
    for (std::size_t i = 0; i < upTo; ++i) {
      const RunStep &s = vorn_test::TypicalRun()[i];
      vorn_test::HostBuffers buffers;
      if (s.step->run(s.number, buffers.values, buffers.names, buffers.errorText) != 0) {
        ADD_FAILURE() << s.step->name << " failed before the step under test: "
                      << buffers.error();
        return false;
      }
    }
    return true;
  }
};

TEST_F(FailureSweep, EveryCheckedCallOfEveryStepFailsAlone) {
  writeParameters(vorn_test::TypicalParameters());
  std::size_t cases = 0;
  std::set<std::string> swept;
  std::string perStep;
  std::set<std::pair<std::string, int32_t>> done;
  const std::vector<RunStep> &run = vorn_test::TypicalRun();
  for (std::size_t at = 0; at < run.size(); ++at) {
    const RunStep &target = run[at];
    if (!done.insert({target.step->name, target.number}).second) continue;  // played already
    const StepRules &rules = RulesOf(target.step->name);
    SCOPED_TRACE(std::string(target.step->name) + " (section " + std::to_string(target.number) +
                 ")");

    // The happy path, and the calls of the step whose status it checks.
    ASSERT_TRUE(playBefore(at));
    const std::size_t begin = st().journal.calls().size();
    vorn_test::HostBuffers happy;
    ASSERT_EQ(target.step->run(target.number, happy.values, happy.names, happy.errorText), 0)
        << happy.error();
    std::vector<Call> checked;
    for (std::size_t i = begin; i < st().journal.calls().size(); ++i) {
      const Call &call = st().journal.calls()[i];
      if (kNeverChecked.count(call.op) == 0 && rules.unchecked.count(call.op) == 0) {
        checked.push_back(call);
      }
    }
    EXPECT_FALSE(checked.empty());

    perStep += std::string(perStep.empty() ? "" : ", ") + target.step->name + " " +
               std::to_string(checked.size());
    for (const Call &failing : checked) {
      SCOPED_TRACE(failing.text() + ", call " + std::to_string(failing.number));
      const int64_t status = FailingStatus(failing.op);
      ASSERT_TRUE(playBefore(at));
      st().faults.add(failing.op, status, failing.number);
      vorn_test::HostBuffers buffers;
      const int32_t result =
          target.step->run(target.number, buffers.values, buffers.names, buffers.errorText);
      ++cases;

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
      EXPECT_EQ(calls[faulted].op, failing.op);
      std::size_t end = calls.size();
      if (rules.closing != nullptr && failing.op != rules.opening) {
        ASSERT_GT(end, faulted + 1) << "nothing closed after the failure";
        EXPECT_EQ(calls.back().op, rules.closing);
        --end;
      }
      for (std::size_t i = faulted + 1; i < end; ++i) {
        EXPECT_EQ(calls[i].op, "DWD_get_last_error") << "called after the failure: "
                                                     << calls[i].text();
      }
      EXPECT_EQ(buffers.error(), ExpectedText(rules, failing, status));
    }
    swept.insert(target.step->name);
  }
  // No step escapes the sweep.
  EXPECT_EQ(swept.size(), vorn_test::Steps().size());
  std::printf("failure sweep: %zu cases over %zu steps (%s)\n", cases, swept.size(),
              perStep.c_str());
  RecordProperty("cases", static_cast<int>(cases));
}

}  // namespace
