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

namespace {

// 50 MB parameter files of hostile contents: a key read of each against a
// plain read of the same file, which it should stay within 3x of, whatever
// the content (the reader's cost is linear in the file's size).
constexpr std::size_t kHostileSize = 50u << 20;

std::string Repeated(std::string head, const std::string &unit) {
  while (head.size() + unit.size() <= kHostileSize) head += unit;
  return head;
}

// 0: '[' only; 1: blanks; 2: CR only; 3: LF only; 4: the section, then
// CR-only lines without the key; 5: "[" lines; 6: "[5" lines, never closed;
// 7: "[55]" lines, whose names start with the wanted one; 8: '5' only.
std::string HostileContents(int64_t kind) {
  switch (kind) {
    case 0: return std::string(kHostileSize, '[');
    case 1: return std::string(kHostileSize, ' ');
    case 2: return std::string(kHostileSize, '\r');
    case 3: return std::string(kHostileSize, '\n');
    case 4: return Repeated("[5]\r", "x\r");
    case 5: return Repeated("", "[\n");
    case 6: return Repeated("", "[5\n");
    case 7: return Repeated("", "[55]\n");
    default: return std::string(kHostileSize, '5');
  }
}

struct HostileFixture {
  explicit HostileFixture(int64_t kind)
      : path(vorn_bench::WriteTempFile(HostileContents(kind), ("hostile-" + std::to_string(kind)).c_str())) {
    file.Open(path.c_str());
  }
  ~HostileFixture() { std::remove(path.c_str()); }
  std::string path;
  vorn::ParamFile file;
};

void PlainReadHostile(benchmark::State &state) {
  HostileFixture f(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(vorn_bench::PlainRead(f.path.c_str()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kHostileSize));
}

void ReadIntHostile(benchmark::State &state) {
  HostileFixture f(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(f.file.ReadInt("5", "Delay", 7));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kHostileSize));
}

}  // namespace

BENCHMARK(PlainReadHostile)->DenseRange(0, 8)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadIntHostile)->DenseRange(0, 8)->Unit(benchmark::kMillisecond);
