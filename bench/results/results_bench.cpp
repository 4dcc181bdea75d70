// The results database's costs: recording one unit of the typical plan in a
// SQLite file, and through the spool to a PostgreSQL server (VORN_PG_URL;
// scripts/bench.sh starts one); storing one unit with and without its
// rollups, in either engine; and `vorn-results export --csv` over a file of
// 100 000 units (made once, kept in the build folder).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "outputs/results/sink.h"
#include "synthetic.h"

namespace {

namespace fs = std::filesystem;
using namespace vorn_results;

struct Feed {
  vorn_host::SessionRecord session = vorn_results_test::SyntheticSession("bench");
  vorn_host::UnitRecord unit;
  std::string base;
  long n = 0;
  Feed() {
    std::mt19937 random(1);
    unit = vorn_results_test::SyntheticUnit(vorn_results_test::TypicalPlan(), 1, 1, true, random);
    unit.session = std::make_shared<const vorn_host::SessionRecord>(session);
    base = unit.uuid.substr(0, 24);
  }
  const vorn_host::UnitRecord &next() {
    char tail[24];
    std::snprintf(tail, sizeof tail, "%012ld", ++n);
    unit.uuid = base + tail;
    unit.unitId = unit.uuid;
    unit.index = static_cast<int>(n);
    return unit;
  }
};

void Record(benchmark::State &state, const std::string &target, const std::string &spool) {
  std::string error;
  std::unique_ptr<DatabaseSink> sink = DatabaseSink::Open(target, spool, error);
  Feed feed;
  if (!sink || !sink->sessionStarted(feed.session, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  // Behind a server a unit is timed until the forwarder has sent it on from
  // the spool: its whole way into the server.
  const auto sent = [&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sink->pending() != 0) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
  };
  for (auto _ : state) {
    if (!sink->attemptFinished(feed.next(), error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    if (!sent()) {
      state.SkipWithError("a unit stayed in the spool for 10 s");
      return;
    }
  }
  if (!sink->sessionEnded(feed.session, error)) state.SkipWithError(error.c_str());
  state.SetItemsProcessed(state.iterations());
}

void BM_RecordUnitSqlite(benchmark::State &state) {
  fs::remove("bench-results.sqlite");
  Record(state, "bench-results.sqlite", "");
}
BENCHMARK(BM_RecordUnitSqlite)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_RecordUnitForwardedToPostgres(benchmark::State &state) {
  const char *url = std::getenv("VORN_PG_URL");
  if (url == nullptr) {
    state.SkipWithError("VORN_PG_URL is not set (scripts/bench.sh starts a server)");
    return;
  }
  fs::remove("bench-spool.sqlite");
  Record(state, url, "bench-spool.sqlite");
}
BENCHMARK(BM_RecordUnitForwardedToPostgres)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One unit stored in its transaction, with its rollups (range 1) or without
// (0): what the rollups add to the recording of an attempt, the folds of
// their batches shared out over the attempts as they come.
void StoreUnits(benchmark::State &state, const std::string &target) {
  std::string error;
  std::unique_ptr<vorn_results::Store> store = vorn_results::Store::Open(target, false, error);
  Feed feed;
  if (!store || !store->putSession(feed.session, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  store->keepRollups(state.range(0) != 0);
  bool stored = false;
  for (auto _ : state) {
    if (!store->putUnit(ToRow(feed.session, feed.next()), stored, error) || !stored) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_StoreUnitSqlite(benchmark::State &state) {
  const std::string file = "bench-store-" + std::to_string(state.range(0)) + ".sqlite";
  fs::remove(file);
  fs::remove(file + "-wal");
  StoreUnits(state, file);
}
BENCHMARK(BM_StoreUnitSqlite)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_StoreUnitPostgres(benchmark::State &state) {
  const char *url = std::getenv("VORN_PG_URL");
  if (url == nullptr) {
    state.SkipWithError("VORN_PG_URL is not set (scripts/bench.sh starts a server)");
    return;
  }
  StoreUnits(state, url);
}
BENCHMARK(BM_StoreUnitPostgres)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(3.0);

constexpr long kExportUnits = 100000;

void BM_ExportCsv100kUnits(benchmark::State &state) {
  const std::string file = "bench-100k.sqlite";
  if (!fs::exists(file)) {
    std::string error;
    std::unique_ptr<Store> store = Store::Open(file + ".part", false, error);
    Feed feed;
    bool stored = false;
    // Filled without waiting on the disk: this file is made, not measured.
    if (!store || !store->db().exec("PRAGMA synchronous=OFF", error) || !store->putSession(feed.session, error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    for (long i = 0; i < kExportUnits; ++i) {
      if (!store->putUnit(ToRow(feed.session, feed.next()), stored, error)) {
        state.SkipWithError(error.c_str());
        return;
      }
    }
    store.reset();
    fs::rename(file + ".part", file);
  }
  const std::string command = std::string(VORN_RESULTS_TOOL) + " --db " + file + " export --csv >bench-100k.csv";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("vorn-results export failed");
  }
  state.counters["bytes"] = static_cast<double>(fs::file_size("bench-100k.csv"));
}
BENCHMARK(BM_ExportCsv100kUnits)->Unit(benchmark::kSecond)->Iterations(3);

}  // namespace
