// The fixture of every test that runs steps: a fresh simulated station on the
// virtual clock, a fresh host container, and a parameter file of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "Vorn_CMU200.h"
#include "station/station.h"

namespace vorn_test {

// The host's buffers for one step call, filled with marks so that a test sees
// whether a step touched them.
struct HostBuffers {
  static constexpr double kUntouched = -12345.0;
  double values[VORN_CMU200_RESULT_COUNT + 1];
  Vorn_CMU200_ResultName names[VORN_CMU200_RESULT_COUNT + 1];
  char errorText[VORN_CMU200_ERROR_TEXT_SIZE];

  HostBuffers();
  // True when no value and no name differs from the marks.
  bool resultsUntouched() const;
  std::string name(int index) const { return names[index]; }
  std::string error() const { return errorText; }
};

// The twelve keys of [Attenuation], lines 1 to 12 of the tester's loss table.
extern const char *const kAttenuationKeys[12];
// An [Attenuation] section giving line k (from 0) the value lossDb(k), written
// so that it reads back as the same single-precision value.
std::string AttenuationSection(const std::function<double(std::size_t line)> &lossDb);
// The section equal to the simulated fixture's loss: readings are then the phone's own.
std::string FixtureAttenuation();

class StationTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Replaces the parameter file's contents.
  void writeParameters(const std::string &contents);
  const std::string &parameterPath() const { return path_; }

  station::Station &st() { return station::station(); }
  // The journal's operation names, without the container's and the waits'.
  std::vector<std::string> equipmentOps() const;
  // The waits made, in order, in milliseconds.
  std::vector<uint32_t> waits() const;

  HostBuffers host;

 private:
  std::string path_;
};

}  // namespace vorn_test
