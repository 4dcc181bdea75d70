#include "support/failure_cases.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "station/alldata/container.h"
#include "outside/dwdio.h"
#include "support/station_test.h"
#include "support/steps.h"
#include "tester/tester_state.h"

namespace vorn_test {

namespace {

using station::Call;

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
const std::set<std::string> kNeverChecked = {"dcGet_ParaFileName", "dcSet_hMobile", "Sleep", "MessageBoxA",
                                             "DWD_get_last_error"};

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
const std::set<std::string> kLinkSetUpUnchecked = {"DWD_set_eep_cfg_filename",
                                                   "DWD_set_baud_rate",
                                                   "DWD_set_DTR",
                                                   "DWD_set_RTS",
                                                   "DWD_set_v24_mode",
                                                   "DWD_check_comm_link",
                                                   "DWD_set_serial_interface_mode",
                                                   "DWD_sw_reset"};

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

}  // namespace

bool PlayTypicalRunBefore(std::size_t upTo, const std::string &parameterPath) {
  station::station().reset();
  vorn::testerState = vorn::TesterState{};  // as the module is when loaded
  alldata::Clear();
  alldata::SetParameterFile(parameterPath);
  for (std::size_t i = 0; i < upTo; ++i) {
    const RunStep &s = TypicalRun()[i];
    HostBuffers buffers;
    if (s.step->run(s.number, buffers.values, buffers.names, buffers.errorText) != 0) {
      ADD_FAILURE() << s.step->name << " failed before the step under test: " << buffers.error();
      return false;
    }
  }
  return true;
}

std::vector<FailureCase> FailureCases(const std::string &parameterPath) {
  std::vector<FailureCase> cases;
  std::set<std::pair<std::string, int32_t>> done;
  const std::vector<RunStep> &run = TypicalRun();
  for (std::size_t at = 0; at < run.size(); ++at) {
    const RunStep &target = run[at];
    if (!done.insert({target.step->name, target.number}).second) continue;  // played already
    const StepRules &rules = RulesOf(target.step->name);
    if (!PlayTypicalRunBefore(at, parameterPath)) return cases;
    const std::vector<Call> &calls = station::station().journal.calls();
    const std::size_t begin = calls.size();
    HostBuffers happy;
    if (target.step->run(target.number, happy.values, happy.names, happy.errorText) != 0) {
      ADD_FAILURE() << target.step->name << " failed in the typical run: " << happy.error();
      return cases;
    }
    const std::size_t before = cases.size();
    for (std::size_t i = begin; i < calls.size(); ++i) {
      const Call &call = calls[i];
      if (kNeverChecked.count(call.op) > 0 || rules.unchecked.count(call.op) > 0) continue;
      const std::string label = call.op == "dcGet_hMobile" ? "" : rules.label(call);
      const char *closing = call.op == (rules.opening ? rules.opening : "") ? nullptr : rules.closing;
      cases.push_back({at, call, rules.form, label, FailingStatus(call.op), closing});
    }
    EXPECT_GT(cases.size(), before) << target.step->name << " checks no call";
  }
  return cases;
}

std::string ExpectedText(const FailureCase &c) {
  if (c.label.empty()) return kContainerText;  // the step adds nothing
  switch (c.form) {
    case Form::Tester: return c.label + " Failed! CMU200 Error:";
    case Form::TesterCoded: return "CMU200 Error: " + std::to_string(c.status) + ". " + c.label + " Failed! ";
    case Form::Mobile: return c.label + " Failed! DWD Error:" + DWD_get_last_error();
    case Form::Supply: return c.label + "DcInit Failed!";
  }
  return "?";
}

}  // namespace vorn_test
