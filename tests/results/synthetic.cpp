#include "synthetic.h"

#include "core/session.h"
#include "os/os.h"
#include "os/sha256.h"
#include "outputs/results/sink.h"

namespace vorn_results_test {

using namespace vorn_host;

Plan TypicalPlan() {
  std::vector<std::string> errors;
  return ReadPlan(std::string(VORN_EXAMPLES_DIR) + "/typical.plan", errors);
}

SessionRecord SyntheticSession(const std::string &station) {
  SessionRecord s;
  s.id = vorn_host::NewUuid();
  s.station = station;
  s.host = "line3-pc";
  s.library = "libVorn_CMU200.so";
  s.version = "1.04";
  s.plan = "examples/typical.plan";
  s.planSha256 = vorn_host::Sha256Hex(s.plan);
  s.parameters = "examples/station.ini";
  s.parametersSha256 = vorn_host::Sha256Hex(s.parameters);
  s.started = UtcNow();
  return s;
}

UnitRecord SyntheticUnit(const Plan &plan, int unit, int attempt, bool passed, std::mt19937 &random) {
  std::uniform_real_distribution<double> within(0.0, 1.0);
  UnitRecord u;
  u.uuid = vorn_host::NewUuid();
  u.serial = "35" + std::to_string(1000000 + unit);
  u.unitId = "unit-" + u.serial;
  u.index = unit;
  u.attempt = attempt;
  u.prior = attempt > 1 ? Prior::kFail : Prior::kNone;  // a retest follows a failure
  u.run.started = UtcNow();
  u.run.verdict = Verdict::kPass;
  bool failureMade = passed;
  for (const PlanStep &step : plan.steps) {
    StepRecord s;
    s.step = step;
    s.verdict = Verdict::kPass;
    s.seconds = 0.01 + within(random);
    s.waitedMs = 500;
    for (const Limit &limit : step.limits) {
      EntryResult e;
      e.entry = limit.entry;
      const double low = limit.low.value_or(limit.high.value_or(0) - 10);
      const double high = limit.high.value_or(low + 10);
      e.value = low + (high - low) * within(random);
      if (!failureMade && step.shortName() == "OBTPowervsTime") {
        e.value = high + 1.5;
        failureMade = true;
        s.verdict = Verdict::kFail;
        u.run.verdict = Verdict::kFail;
      }
      e.limit = limit;
      e.passed = limit.accepts(*e.value);
      if (e.entry == 1 && step.limits.size() > 1) e.name = "Band=EGSM;Chan=20;TXLevel=0";
      s.entries.push_back(e);
    }
    u.run.seconds += s.seconds;
    u.run.waitedMs += s.waitedMs;
    u.run.steps.push_back(std::move(s));
  }
  return u;
}

}  // namespace vorn_results_test
