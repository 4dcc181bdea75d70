#include "core/run.h"

#include <chrono>
#include <cmath>
#include <cstring>

#include "os/os.h"

namespace vorn_host {

namespace {

constexpr int kEntries = VORN_CMU200_RESULT_COUNT;
constexpr std::size_t kNameSize = VORN_CMU200_RESULT_NAME_SIZE;
constexpr std::size_t kErrorSize = VORN_CMU200_ERROR_TEXT_SIZE;
constexpr int kGuardEntries = 4;
constexpr unsigned char kNameMark = 0xA5;
constexpr unsigned char kErrorGuardMark = 0x5A;

// A quiet NaN with a payload of its own: the mark of a value nobody wrote.
double ValueMark() {
  const uint64_t bits = 0x7FF8'0000'DEAD'BEEFull;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// The host's buffers for one call, with guard entries behind each, so that a
// step writing past what the host provides is caught, not silently wrong.
struct StepBuffers {
  double values[kEntries + kGuardEntries];
  Vorn_CMU200_ResultName names[kEntries + kGuardEntries];
  char errorText[kErrorSize + 64];

  StepBuffers() {
    const double mark = ValueMark();
    for (double &v : values) v = mark;
    std::memset(names, kNameMark, sizeof names);
    std::memset(errorText, kErrorGuardMark, sizeof errorText);
    errorText[0] = '\0';
  }
  bool valueWritten(int i) const {
    const double mark = ValueMark();
    return std::memcmp(&values[i], &mark, sizeof mark) != 0;
  }
  bool nameWritten(int i) const {
    for (std::size_t k = 0; k < kNameSize; ++k) {
      if (static_cast<unsigned char>(names[i][k]) != kNameMark) return true;
    }
    return false;
  }
  bool nameTerminated(int i) const { return std::memchr(names[i], '\0', kNameSize) != nullptr; }
  bool errorGuardIntact() const {
    for (std::size_t k = kErrorSize; k < sizeof errorText; ++k) {
      if (static_cast<unsigned char>(errorText[k]) != kErrorGuardMark) return false;
    }
    return true;
  }
  std::string error() const { return std::string(errorText, strnlen(errorText, kErrorSize)); }
};

// What the step did wrong with the host's buffers, if anything.
std::string BreachOf(const StepBuffers &b, int32_t returned) {
  if (returned != 0 && returned != -1) {
    return "host: the step returned " + std::to_string(returned) + ", which is neither 0 nor -1";
  }
  if (b.valueWritten(0) || b.nameWritten(0)) return "host: the step wrote entry 0, which is the host's";
  for (int i = kEntries; i < kEntries + kGuardEntries; ++i) {
    if (b.valueWritten(i) || b.nameWritten(i)) {
      return "host: the step wrote past the " + std::to_string(kEntries) + " result entries";
    }
  }
  for (int i = 1; i < kEntries; ++i) {
    if (b.nameWritten(i) && !b.nameTerminated(i)) {
      return "host: result name " + std::to_string(i) + " is not terminated within " + std::to_string(kNameSize) +
             " characters";
    }
  }
  if (!b.errorGuardIntact() || std::memchr(b.errorText, '\0', kErrorSize) == nullptr) {
    return "host: the error text is not terminated within " + std::to_string(kErrorSize) + " characters";
  }
  return {};
}

}  // namespace

std::string MissText(const EntryResult &e) {
  const std::string limit = "limit " + e.limit->text();
  if (!e.value) return "entry " + std::to_string(e.entry) + " not written (" + limit + ")";
  if (!std::isfinite(*e.value)) {
    const char *what = std::isnan(*e.value) ? "NaN" : *e.value > 0 ? "Infinity" : "-Infinity";
    return "entry " + std::to_string(e.entry) + " = " + what + ", not a finite number (" + limit + ")";
  }
  char value[40];
  std::snprintf(value, sizeof value, "%.10g", *e.value);
  return "entry " + std::to_string(e.entry) + " = " + value + ", outside " + limit.substr(6);
}

namespace {

// Judges a step that returned 0: its entries against the plan's limits.
void Judge(const StepBuffers &b, StepRecord &record) {
  for (int i = 1; i < kEntries; ++i) {
    const Limit *limit = record.step.limitFor(i);
    if (!b.valueWritten(i) && !b.nameWritten(i) && limit == nullptr) continue;
    EntryResult e;
    e.entry = i;
    if (b.valueWritten(i)) e.value = b.values[i];
    if (b.nameWritten(i)) e.name = std::string(b.names[i], strnlen(b.names[i], kNameSize));
    if (limit != nullptr) {
      e.limit = *limit;
      e.passed = e.value && limit->accepts(*e.value);
      if (!e.passed) record.misses.push_back(MissText(e));
    }
    record.entries.push_back(std::move(e));
  }
  record.verdict = record.misses.empty() ? Verdict::kPass : Verdict::kFail;
}

uint64_t Waited(const Equipment *equipment) { return equipment == nullptr ? 0 : equipment->waitedMs(); }

StepRecord RunOne(const PlanStep &step, StepFunction function, const Equipment *equipment) {
  StepRecord record;
  record.step = step;
  StepBuffers buffers;
  const uint64_t waitedBefore = Waited(equipment);
  const auto start = std::chrono::steady_clock::now();
  record.returned = function(step.number, buffers.values, buffers.names, buffers.errorText);
  record.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  record.waitedMs = Waited(equipment) - waitedBefore;

  const std::string breach = BreachOf(buffers, record.returned);
  if (!breach.empty()) {
    record.verdict = Verdict::kError;
    record.text = breach;
  } else if (record.returned == -1) {
    record.verdict = Verdict::kError;
    record.text = buffers.error();
    if (record.text.empty()) record.text = "(the step gave no error text)";
  } else {
    Judge(buffers, record);
  }
  return record;
}

// The run's verdict from its steps'. A stopped run was not tested to its
// end, and its cleanup cleans what the stop left, often what was never set
// up (a stop during DcInit: no call to end, no link to close): its cleanup
// steps' findings stay in their own verdicts and do not judge the unit, which
// is NOT RUN unless a test step that ran found an ERROR or a FAIL.
Verdict RunVerdict(const RunRecord &run) {
  int errors = 0;
  int fails = 0;
  for (const StepRecord &s : run.steps) {
    if (run.stopped && s.step.cleanup) continue;
    errors += s.verdict == Verdict::kError;
    fails += s.verdict == Verdict::kFail;
  }
  if (errors > 0) return Verdict::kError;
  if (fails > 0) return Verdict::kFail;
  if (run.stopped && run.count(Verdict::kNotRun) > 0) return Verdict::kNotRun;
  return Verdict::kPass;
}

}  // namespace

RunRecord RunPlan(const Plan &plan, const std::vector<StepFunction> &functions, const RunOptions &options,
                  Subscriber *events) {
  RunRecord run;
  run.started = UtcNow();
  Equipment *equipment = options.equipment;
  auto stops = [&options] { return options.stopRequests ? options.stopRequests() : 0; };
  if (equipment != nullptr && events != nullptr) {
    equipment->onWait([events, socket = options.socket](uint32_t ms) { events->waiting(socket, ms); });
  }
  const uint64_t waitedBefore = Waited(equipment);
  const auto start = std::chrono::steady_clock::now();
  bool failed = false;  // an ERROR ends the test steps unless keepGoing
  for (std::size_t i = 0; i < plan.steps.size(); ++i) {
    const PlanStep &step = plan.steps[i];
    const int stopsNow = stops();
    const bool stoppedHere = step.cleanup ? stopsNow >= 2 : stopsNow >= 1;
    run.stopped = run.stopped || stoppedHere;
    if (stoppedHere || (failed && !step.cleanup)) {
      StepRecord skipped;
      skipped.step = step;
      run.steps.push_back(std::move(skipped));
      continue;
    }
    if (events != nullptr) events->stepStarted(options.socket, i, plan.steps.size(), step);
    run.steps.push_back(RunOne(step, functions.at(i), equipment));
    if (events != nullptr) events->stepFinished(options.socket, i, run.steps.back());
    failed = failed || (run.steps.back().verdict == Verdict::kError && !options.keepGoing);
  }
  if (equipment != nullptr && events != nullptr) equipment->onWait(nullptr);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.waitedMs = Waited(equipment) - waitedBefore;
  run.verdict = RunVerdict(run);
  return run;
}

}  // namespace vorn_host
