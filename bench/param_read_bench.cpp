// A key read from parameter files of 10, 1000 and 20000 sections, against one
// plain read of the same file: every read goes to the file, so the plain read
// is the floor, and a key read should stay within twice of it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "frame/param_file.h"
#include "param_files.h"

namespace {

struct SectionsFixture {
  explicit SectionsFixture(int sections)
      : contents(vorn_bench::SectionsFile(sections)),
        path(vorn_bench::WriteTempFile(contents, std::to_string(sections).c_str())),
        lastSection(std::to_string(sections - 1)) {
    file.Open(path.c_str());
  }
  ~SectionsFixture() { std::remove(path.c_str()); }

  std::string contents;
  std::string path;
  std::string lastSection;
  vorn::ParamFile file;
};

void PlainRead(benchmark::State &state) {
  SectionsFixture f(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(vorn_bench::PlainRead(f.path.c_str()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.contents.size()));
  state.counters["file_bytes"] = static_cast<double>(f.contents.size());
}

void ReadIntLastSection(benchmark::State &state) {
  SectionsFixture f(static_cast<int>(state.range(0)));
  if (f.file.ReadInt(f.lastSection.c_str(), "Delay", -1) != 100) state.SkipWithError("wrong value");
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.file.ReadInt(f.lastSection.c_str(), "Delay", -1));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.contents.size()));
}

void ReadFloatLastSection(benchmark::State &state) {
  SectionsFixture f(static_cast<int>(state.range(0)));
  if (f.file.ReadFloat(f.lastSection.c_str(), "CellPower", -100.0f) != -85.5) {
    state.SkipWithError("wrong value");
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.file.ReadFloat(f.lastSection.c_str(), "CellPower", -100.0f));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.contents.size()));
}

void ReadStringLastSection(benchmark::State &state) {
  SectionsFixture f(static_cast<int>(state.range(0)));
  if (std::string(f.file.ReadString(f.lastSection.c_str(), "BCCH", "").c_str()) != "20") {
    state.SkipWithError("wrong value");
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.file.ReadString(f.lastSection.c_str(), "BCCH", ""));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.contents.size()));
}

// A key the file does not hold: the reader walks every line to the end.
void ReadIntMissingKey(benchmark::State &state) {
  SectionsFixture f(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.file.ReadInt(f.lastSection.c_str(), "NoSuchKey", 7));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.contents.size()));
}

}  // namespace

BENCHMARK(PlainRead)->Arg(10)->Arg(1000)->Arg(20000);
BENCHMARK(ReadIntLastSection)->Arg(10)->Arg(1000)->Arg(20000);
BENCHMARK(ReadFloatLastSection)->Arg(10)->Arg(1000)->Arg(20000);
BENCHMARK(ReadStringLastSection)->Arg(10)->Arg(1000)->Arg(20000);
BENCHMARK(ReadIntMissingKey)->Arg(10)->Arg(1000)->Arg(20000);
