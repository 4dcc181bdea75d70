// The calibration files against the simulated station: the fixture as built
// is examples/station.ini's loss table, the golden unit's references are that
// phone's own power, and the calibration plan, run on it, reads them back and
// shows the cables' drift.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "station/fixture.h"
#include "station/measurement.h"
#include "station/phone.h"
#include "support/host_run.h"
#include "support/station_test.h"
#include "winapi/profile.h"

namespace {

using nlohmann::json;

const std::string kExamples = VORN_EXAMPLES_DIR;

// A value of the file's text as the profile reader finds it; fails the test when missing.
std::string Value(const std::string &text, const char *section, const std::string &key) {
  const std::optional<std::string> value = winapi::FindValue(text, section, key);
  EXPECT_TRUE(value.has_value()) << "[" << section << "] " << key;
  return value.value_or("nan");
}

// The band of an [Attenuation] key: its code on the tester and its label in result names.
struct Band {
  const char *keyPrefix;
  int code;
  const char *label;
};
const Band &BandOfKey(const std::string &key) {
  static const Band bands[] = {
      {"GSM850", 4, "GSM850"}, {"GSM900", 1, "EGSM"}, {"DCS1800", 2, "DCS"}, {"PCS1900", 3, "PCS"}};
  for (const Band &b : bands) {
    if (key.rfind(b.keyPrefix, 0) == 0) return b;
  }
  ADD_FAILURE() << "no band for " << key;
  return bands[0];
}

struct Golden {
  std::string serial;
  double tolerance = 0.0;
  int txLevel = 0;
  std::map<std::string, double> reference;  // by [Attenuation] key
  std::map<std::string, int> channel;
};

Golden ReadGolden() {
  const std::string text = vorn_test::ReadText(kExamples + "/golden-unit.ini");
  Golden g;
  g.serial = Value(text, "Golden", "Serial");
  g.tolerance = std::stod(Value(text, "Golden", "Tolerance"));
  g.txLevel = std::stoi(Value(text, "Golden", "TXLevel"));
  for (const char *key : vorn_test::kAttenuationKeys) {
    g.reference[key] = std::stod(Value(text, "Reference", key));
    g.channel[key] = std::stoi(Value(text, "Channel", key));
  }
  return g;
}

TEST(Calibration, TheFixtureAsBuiltIsTheStationFilesTable) {
  const std::string station = vorn_test::ReadText(kExamples + "/station.ini");
  for (std::size_t k = 0; k < 12; ++k) {
    const float value = static_cast<float>(std::stod(Value(station, "Attenuation", vorn_test::kAttenuationKeys[k])));
    EXPECT_EQ(value, station::kFixtureLossDb[k]) << vorn_test::kAttenuationKeys[k];
  }
}

TEST(Calibration, TheGoldenUnitsReferencesAreThatPhonesOwnPower) {
  const Golden g = ReadGolden();
  EXPECT_EQ(g.serial, "G-0001");
  EXPECT_EQ(g.tolerance, 0.5);
  const station::Phone::Deviations own = station::Phone::DeviationsFor(g.serial, false);
  // A golden phone is nominal in every scenario, marginal phones' included.
  EXPECT_EQ(station::Phone::DeviationsFor(g.serial, true).powerDb, own.powerDb);
  for (std::size_t k = 0; k < 12; ++k) {
    const std::string key = vorn_test::kAttenuationKeys[k];
    const int band = BandOfKey(key).code;
    EXPECT_EQ(station::UplinkHz(band, g.channel.at(key)), station::kLossTableHz[k]) << key;
    // Written to 0.01 dB.
    EXPECT_NEAR(g.reference.at(key), station::NominalPowerDbm(band, g.txLevel) + own.powerDb, 0.005) << key;
  }
}

// The calibration plan's power readings of one run of the golden unit, the
// mean of each [Attenuation] key's, from the channel each result names.
std::map<std::string, double> CalibrationRun(const Golden &g, const std::string &dir, const std::string &name,
                                             const std::string &options) {
  std::ofstream(dir + "/serials") << g.serial << "\n";
  const std::string record = dir + "/" + name + ".jsonl";
  const vorn_test::HostRun r =
      vorn_test::RunHost("--fast --quiet --no-db --serials " + dir + "/serials --json " + record + " " + options +
                         " --params " + kExamples + "/station.ini " + kExamples + "/calibration.plan");
  EXPECT_EQ(r.status, 0) << options << "\n" << r.out << r.err;
  std::map<std::string, double> readings;  // the mean of each key's readings
  std::map<std::string, int> count;
  std::istringstream lines(vorn_test::ReadText(record));
  std::string line;
  std::getline(lines, line);
  const json unit = json::parse(line, nullptr, false);
  if (unit.is_discarded()) {
    ADD_FAILURE() << "no record: " << line;
    return readings;
  }
  // What the power measurement names its result on each key's channel.
  std::map<std::string, std::string> keyOfName;
  for (const auto &[key, channel] : g.channel) {
    keyOfName["Band=" + std::string(BandOfKey(key).label) + ";Chan=" + std::to_string(channel) +
              ";TXLevel=" + std::to_string(g.txLevel)] = key;
  }
  for (const json &step : unit["steps"]) {
    if (step["export"] != "Vorn_CMU200_OBTPowervsTime") continue;
    const json &power = step["results"].at(0);
    const auto key = keyOfName.find(power["name"].get<std::string>());
    if (key == keyOfName.end()) {
      ADD_FAILURE() << "a reading on no golden channel: " << power["name"];
      continue;
    }
    readings[key->second] += power["value"].get<double>();
    ++count[key->second];
  }
  for (auto &[key, reading] : readings) {
    EXPECT_EQ(count[key], 8) << key << ": the plan reads each line eight times";
    reading /= count[key];
  }
  return readings;
}

TEST(Calibration, TheGoldenUnitReadsItsReferencesAndTheDriftShows) {
  const Golden g = ReadGolden();
  const std::string dir = vorn_test::TempDir();
  const std::map<std::string, double> good = CalibrationRun(g, dir, "good", "");
  const std::map<std::string, double> drifted = CalibrationRun(g, dir, "drifted", "--scenario cable-drift");
  ASSERT_EQ(good.size(), 12u);
  ASSERT_EQ(drifted.size(), 12u);
  for (const auto &[key, reading] : good) {
    EXPECT_NEAR(reading, g.reference.at(key), g.tolerance) << key;
    const double drift = BandOfKey(key).code == 2 || BandOfKey(key).code == 3 ? 1.5 : 0.2;
    EXPECT_NEAR(drifted.at(key) - reading, -drift, 1e-9) << key;
  }
  vorn_test::RemoveTempDir(dir);
}

}  // namespace
