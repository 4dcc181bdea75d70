// The anchor of the key read figures: Windows' own profile reader (kernel32's
// GetPrivateProfileIntA and GetPrivateProfileStringA), run under Wine, on the
// parameter files of param_read_bench.cpp, beside one plain read of the same
// file. Wall time: under Wine part of each call's work is the wineserver's,
// another process, which the process's own CPU time leaves out.
//
// Wine keeps the last files read, parsed, and reads a file again only when it
// has changed or was written in the last 2.1 seconds (its time may yet
// change); a station's parameter file is older, so the files are written
// first and read once they are 3 seconds old.
//   windows_profile_bench FOLDER    (FOLDER ends in a separator)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "outside/winapi.h"
#include "param_files.h"

namespace {

// Microseconds a call over eleven runs of at least 50 ms each: the median
// run, and the fastest. Each call waits on the wineserver, which shares the
// machine's cores with everything else running, so the runs spread widely on
// a loaded machine; the fastest is the reader's own cost.
struct Timing {
  double median;
  double fastest;
};

template <class Call>
Timing Time(Call call) {
  std::vector<double> runs;
  for (int run = 0; run < 11; ++run) {
    const auto start = std::chrono::steady_clock::now();
    std::chrono::duration<double, std::micro> spent{};
    long calls = 0;
    do {
      call();
      ++calls;
      spent = std::chrono::steady_clock::now() - start;
    } while (spent.count() < 5e4);
    runs.push_back(spent.count() / static_cast<double>(calls));
  }
  std::sort(runs.begin(), runs.end());
  return {runs[runs.size() / 2], runs.front()};
}

std::string FilePath(const char *folder, int sections) {
  return std::string(folder) + "sections-" + std::to_string(sections) + ".ini";
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: windows_profile_bench FOLDER\n");
    return 2;
  }
  std::printf("microseconds a call: median run (fastest run)\n%8s %10s %17s %17s %17s %17s\n", "sections", "bytes",
              "plain read", "ReadInt", "ReadString", "missing key");
  const int kSections[] = {10, 1000, 20000};
  for (const int sections : kSections) {
    std::ofstream(FilePath(argv[1], sections), std::ios::binary | std::ios::trunc)
        << vorn_bench::SectionsFile(sections);
  }
  std::this_thread::sleep_for(std::chrono::seconds(3));
  for (const int sections : kSections) {
    const std::string path = FilePath(argv[1], sections);
    const std::string last = std::to_string(sections - 1);
    char text[256];
    GetPrivateProfileStringA(last.c_str(), "BCCH", "", text, sizeof text, path.c_str());
    if (GetPrivateProfileIntA(last.c_str(), "Delay", -1, path.c_str()) != 100 ||
        std::strcmp(text, "20 // the cell") != 0) {
      std::fprintf(stderr, "windows_profile_bench: Windows did not read the last section of %s\n", path.c_str());
      return 1;
    }
    const Timing timings[] = {
        Time([&] { vorn_bench::PlainRead(path.c_str()); }),
        Time([&] { GetPrivateProfileIntA(last.c_str(), "Delay", -1, path.c_str()); }),
        Time([&] { GetPrivateProfileStringA(last.c_str(), "BCCH", "", text, sizeof text, path.c_str()); }),
        Time([&] { GetPrivateProfileIntA(last.c_str(), "NoSuchKey", 7, path.c_str()); }),
    };
    std::printf("%8d %10zu", sections, vorn_bench::PlainRead(path.c_str()));
    for (const Timing &t : timings) std::printf(" %8.1f (%6.1f)", t.median, t.fastest);
    std::printf("\n");
    std::remove(path.c_str());
  }
  return 0;
}
