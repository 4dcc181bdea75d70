// Each step's own cost on the simulated station, on the virtual clock (so the
// equipment's waits cost nothing and what is measured is the library, the
// stand-ins and the parameter file reads). The parameter file holds the
// typical run's sections behind filler sections, so that every key read walks
// the whole file: the typical file alone, and 1000 sections in all.
//
// Before each call the typical run is played up to the step (not timed), so
// every call finds the station as a real run would. That replay costs far more
// than the step, so each benchmark makes a fixed number of calls.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "station/alldata/container.h"
#include "param_files.h"
#include "station/station.h"
#include "support/steps.h"
#include "tester/tester_state.h"

namespace {

constexpr int kCalls = 300;
constexpr int kTypicalSections = 15;  // the typical run's file: 14 step sections and "Attenuation"

std::string StationFile(int sections) {
  std::string contents;
  // Filler sections numbered from 100, clear of the typical run's step numbers.
  if (sections > kTypicalSections) {
    contents = vorn_bench::SectionsFile(sections - kTypicalSections, 100, false);
  }
  return contents + vorn_test::TypicalParameters();
}

bool Play(std::size_t upTo, const std::string &path) {
  station::Station &st = station::station();
  st.clock.setVirtual(true);
  st.reset();
  vorn::testerState = vorn::TesterState{};  // as the module is when loaded
  alldata::Clear();
  alldata::SetParameterFile(path);
  for (std::size_t i = 0; i < upTo; ++i) {
    const vorn_test::RunStep &s = vorn_test::TypicalRun()[i];
    double values[VORN_CMU200_RESULT_COUNT];
    Vorn_CMU200_ResultName names[VORN_CMU200_RESULT_COUNT];
    char errorText[VORN_CMU200_ERROR_TEXT_SIZE] = {};
    if (s.step->run(s.number, values, names, errorText) != 0) return false;
  }
  return true;
}

void StepCost(benchmark::State &state, std::size_t at) {
  const vorn_test::RunStep &target = vorn_test::TypicalRun()[at];
  const std::string path = vorn_bench::WriteTempFile(StationFile(static_cast<int>(state.range(0))), target.step->name);
  double values[VORN_CMU200_RESULT_COUNT];
  Vorn_CMU200_ResultName names[VORN_CMU200_RESULT_COUNT];
  char errorText[VORN_CMU200_ERROR_TEXT_SIZE] = {};
  uint64_t waited = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (!Play(at, path)) {
      state.SkipWithError("the typical run failed before the step");
      break;
    }
    const uint64_t before = station::station().clock.nowMs();
    state.ResumeTiming();
    const int32_t result = target.step->run(target.number, values, names, errorText);
    state.PauseTiming();
    waited = station::station().clock.nowMs() - before;
    if (result != 0) {
      state.SkipWithError(errorText);
      break;
    }
    state.ResumeTiming();
  }
  // What the step waits on a real station, beside its own cost.
  state.counters["station_wait_ms"] = static_cast<double>(waited);
  std::remove(path.c_str());
}

// One benchmark per step of the typical run, named after it and its section.
const bool kRegistered = [] {
  const auto &run = vorn_test::TypicalRun();
  for (std::size_t at = 0; at < run.size(); ++at) {
    const std::string name = std::string(run[at].step->name) + "/section:" + std::to_string(run[at].number);
    bool repeated = false;
    for (std::size_t before = 0; before < at; ++before) {
      repeated = repeated || (run[before].step == run[at].step && run[before].number == run[at].number);
    }
    if (repeated) continue;
    benchmark::RegisterBenchmark(name.c_str(), StepCost, at)
        ->Arg(kTypicalSections)
        ->Arg(1000)
        ->ArgName("sections")
        ->Iterations(kCalls)
        ->Unit(benchmark::kMicrosecond);
  }
  return true;
}();

}  // namespace
