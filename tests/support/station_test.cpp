#include "support/station_test.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "station/alldata/container.h"

namespace vorn_test {

namespace {
// The container's calls in the journal and under the fault script, as the
// host runner has them on the simulated station: for every test in the suite.
[[maybe_unused]] const bool kContainerWatched = [] {
  alldata::Watch({station::BeginWatchedCall, station::EndWatchedCall});
  return true;
}();
}  // namespace

const char *const kAttenuationKeys[12] = {"GSM850_Low_CH",   "GSM850_Mid_CH",  "GSM850_High_CH", "GSM900_Low_CH",
                                          "GSM900_Mid_CH",   "GSM900_High_CH", "DCS1800_Low_CH", "DCS1800_Mid_CH",
                                          "DCS1800_High_CH", "PCS1900_Low_CH", "PCS1900_Mid_CH", "PCS1900_High_CH"};

std::string AttenuationSection(const std::function<double(std::size_t line)> &lossDb) {
  std::string text = "[Attenuation]\n";
  for (std::size_t k = 0; k < 12; ++k) {
    char value[32];  // the shortest text of the single-precision value, whatever the locale
    const auto written = std::to_chars(value, value + sizeof value, static_cast<float>(lossDb(k)));
    text += std::string(kAttenuationKeys[k]) + "=" + std::string(value, written.ptr) + "\n";
  }
  return text;
}

std::string FixtureAttenuation() {
  return AttenuationSection([](std::size_t k) { return station::kFixtureLossDb[k]; });
}

HostBuffers::HostBuffers() {
  for (double &v : values) v = kUntouched;
  for (auto &n : names) {
    std::memset(n, '#', sizeof n);
    n[sizeof n - 1] = '\0';
  }
  std::memset(errorText, 0, sizeof errorText);
  std::strcpy(errorText, "host text");
}

bool HostBuffers::resultsUntouched() const {
  HostBuffers fresh;
  for (std::size_t i = 0; i < sizeof values / sizeof values[0]; ++i) {
    if (values[i] != kUntouched) return false;
    if (std::memcmp(names[i], fresh.names[i], sizeof names[i]) != 0) return false;
  }
  return true;
}

void StationTest::SetUp() {
  station::Station &s = station::station();
  s.clock.setVirtual(true);
  s.reset();
  alldata::Clear();
#if defined(_WIN32)
  // A Windows path: kernel32's profile functions read this file.
  char folder[MAX_PATH];
  char name[MAX_PATH];
  ASSERT_NE(GetTempPathA(sizeof folder, folder), 0u);
  ASSERT_NE(GetTempFileNameA(folder, "vpf", 0, name), 0u);
#else
  char name[] = "/tmp/vorn-params-XXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
#endif
  path_ = name;
  alldata::SetParameterFile(path_);
}

void StationTest::TearDown() {
  std::remove(path_.c_str());
  alldata::Clear();
}

void StationTest::writeParameters(const std::string &contents) {
  std::ofstream(path_, std::ios::binary | std::ios::trunc) << contents;
}

std::vector<std::string> StationTest::equipmentOps() const {
  return station::station().journal.ops({"dcGet_ParaFileName", "dcGet_hMobile", "dcSet_hMobile", "Sleep"});
}

std::vector<uint32_t> StationTest::waits() const {
  std::vector<uint32_t> out;
  for (const station::Call &call : station::station().journal.of("Sleep")) {
    out.push_back(static_cast<uint32_t>(std::stoul(call.args.at(0))));
  }
  return out;
}

}  // namespace vorn_test
