// The anchor of the key read figures: Windows' own profile reader (kernel32's
// GetPrivateProfileIntA and GetPrivateProfileStringA), run under Wine, on the
// parameter files of param_read_bench.cpp, beside one plain read of the same
// file. Wall time: under Wine part of each call's work is the wineserver's,
// another process, which the process's own CPU time leaves out.
//   windows_profile_bench FOLDER    (FOLDER ends in a separator)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "outside/winapi.h"
#include "param_files.h"

namespace {

// Microseconds a call, the median of five runs, each of at least a tenth of a second.
template <class Call>
double MedianMicroseconds(Call call) {
  std::vector<double> runs;
  for (int run = 0; run < 5; ++run) {
    const auto start = std::chrono::steady_clock::now();
    std::chrono::duration<double, std::micro> spent{};
    long calls = 0;
    do {
      call();
      ++calls;
      spent = std::chrono::steady_clock::now() - start;
    } while (spent.count() < 1e5);
    runs.push_back(spent.count() / static_cast<double>(calls));
  }
  std::sort(runs.begin(), runs.end());
  return runs[runs.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: windows_profile_bench FOLDER\n");
    return 2;
  }
  std::printf("%8s %10s %12s %12s %12s %12s\n", "sections", "bytes", "plain read", "ReadInt", "ReadString",
              "missing key");
  for (const int sections : {10, 1000, 20000}) {
    const std::string contents = vorn_bench::SectionsFile(sections);
    const std::string path = std::string(argv[1]) + "sections-" + std::to_string(sections) + ".ini";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
    const std::string last = std::to_string(sections - 1);
    char text[256];
    GetPrivateProfileStringA(last.c_str(), "BCCH", "", text, sizeof text, path.c_str());
    if (GetPrivateProfileIntA(last.c_str(), "Delay", -1, path.c_str()) != 100 ||
        std::strcmp(text, "20 // the cell") != 0) {
      std::fprintf(stderr, "windows_profile_bench: Windows did not read the last section of %s\n", path.c_str());
      return 1;
    }
    const double plain = MedianMicroseconds([&] { vorn_bench::PlainRead(path.c_str()); });
    const double readInt = MedianMicroseconds([&] { GetPrivateProfileIntA(last.c_str(), "Delay", -1, path.c_str()); });
    const double readString = MedianMicroseconds(
        [&] { GetPrivateProfileStringA(last.c_str(), "BCCH", "", text, sizeof text, path.c_str()); });
    const double missing =
        MedianMicroseconds([&] { GetPrivateProfileIntA(last.c_str(), "NoSuchKey", 7, path.c_str()); });
    std::printf("%8d %10zu %10.1f us %9.1f us %9.1f us %9.1f us\n", sections, contents.size(), plain, readInt,
                readString, missing);
    std::remove(path.c_str());
  }
  return 0;
}
