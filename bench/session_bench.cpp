// A production session in real time costs the equipment's waits and nothing
// more: vorn-host runs the typical plan once, then a session of three units,
// both in real time, and the session's wall time is set against three times
// the single run's ("ratio", 1.00 when nothing is added per unit).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace {

#if defined(VORN_HOST_FILE) && defined(VORN_EXAMPLES_DIR)
double WallSeconds(const std::string &args) {
  const std::string examples = VORN_EXAMPLES_DIR;
  const std::string command = std::string(VORN_HOST_FILE) + " --quiet --params " + examples + "/station.ini " + args +
                              " " + examples + "/typical.plan </dev/null >/dev/null 2>&1";
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return status == 0 || status == 256 ? seconds : -1.0;  // exit status 0 or 1: the run took place
}

void BM_ThreeUnitsInRealTime(benchmark::State &state) {
  for (auto _ : state) {
    const double one = WallSeconds("");
    const double three = WallSeconds("--units 3");
    if (one <= 0.0 || three <= 0.0) {
      state.SkipWithError("vorn-host did not run");
      return;
    }
    state.SetIterationTime(three);
    state.counters["one_unit_s"] = one;
    state.counters["three_units_s"] = three;
    state.counters["ratio"] = three / (3.0 * one);
  }
}
BENCHMARK(BM_ThreeUnitsInRealTime)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
#endif

}  // namespace
