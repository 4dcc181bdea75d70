// A production session in real time costs the equipment's waits and nothing
// more: vorn-host runs the typical plan once, then a session of three units,
// both in real time, and the session's wall time is set against three times
// the single run's ("ratio", 1.00 when nothing is added per unit). With
// several sockets, three units a socket, the station's units per hour.
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
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

// The longest socket's own time on the station: the waits of its units, from
// the session's JSON lines.
double LongestSocketWaits(const std::string &lines) {
  std::ifstream in(lines);
  std::map<std::string, double> perSocket;
  for (std::string line; std::getline(in, line);) {
    const nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
    if (!record.is_object()) continue;
    perSocket[record["unit"]["socket"].get<std::string>()] += record["waitedMs"].get<double>() / 1000.0;
  }
  double longest = 0.0;
  for (const auto &s : perSocket) longest = std::max(longest, s.second);
  return longest;
}

// Several sockets in real time, three units each: station units per hour
// against one socket's, and how much of any shortfall is the host's (the wall
// time beyond the longest socket's own waits).
void BM_SocketsInRealTime(benchmark::State &state) {
  const int sockets = static_cast<int>(state.range(0));
  const std::string lines = "/tmp/vorn-sockets-bench-" + std::to_string(sockets) + ".jsonl";
  for (auto _ : state) {
    std::remove(lines.c_str());
    const double wall = WallSeconds("--no-db --sockets " + std::to_string(sockets) + " --units " +
                                    std::to_string(3 * sockets) + " --json " + lines);
    const double waits = LongestSocketWaits(lines);
    if (wall <= 0.0 || waits <= 0.0) {
      state.SkipWithError("vorn-host did not run");
      return;
    }
    state.SetIterationTime(wall);
    state.counters["units_per_hour"] = 3.0 * sockets * 3600.0 / wall;
    state.counters["host_s"] = wall - waits;  // beyond the longest socket's waits
  }
  std::remove(lines.c_str());
}
BENCHMARK(BM_SocketsInRealTime)->Arg(1)->Arg(2)->Arg(4)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
#endif

}  // namespace
