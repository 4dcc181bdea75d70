// The fixture between tester and phone: channels to frequencies, the true
// loss read between the table's lines, and what the tester's loss table
// makes of it in the power, spectrum and receive readings.
#include <functional>
#include <string>
#include <vector>

#include "station/fixture.h"
#include "support/measure_fixture.h"

namespace {

using station::DownlinkHz;
using station::UplinkHz;

TEST(FixtureModel, ChannelsToCarrierFrequencies) {
  const struct {
    int band, channel;
    double uplinkHz, downlinkHz;
  } cases[] = {
      {4, 128, 824.2e6, 869.2e6},   {4, 251, 848.8e6, 893.8e6},   {1, 0, 890.0e6, 935.0e6},
      {1, 975, 880.2e6, 925.2e6},   {1, 1023, 889.8e6, 934.8e6},  {1, 124, 914.8e6, 959.8e6},
      {2, 512, 1710.2e6, 1805.2e6}, {2, 885, 1784.8e6, 1879.8e6}, {3, 512, 1850.2e6, 1930.2e6},
      {3, 810, 1909.8e6, 1989.8e6}, {1, 125, 0.0, 0.0},           {3, 811, 0.0, 0.0},
      {4, 127, 0.0, 0.0},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(UplinkHz(c.band, c.channel), c.uplinkHz) << c.band << " " << c.channel;
    EXPECT_EQ(DownlinkHz(c.band, c.channel), c.downlinkHz) << c.band << " " << c.channel;
  }
}

TEST(FixtureModel, LossBetweenLinesClampedOutsideAndDrifted) {
  station::Fixture fixture;
  const struct {
    double hz, db;
  } asBuilt[] = {
      {824.2e6, 0.6},    // a line
      {842.6e6, 0.65},   // halfway from 836.4 (0.6) to 848.8 MHz (0.7)
      {1312.5e6, 0.95},  // halfway from 914.8 (0.8) to 1710.2 MHz (1.1)
      {700.0e6, 0.6},    // below the table: its first line
      {2100.0e6, 1.4},   // above: its last
  };
  for (const auto &c : asBuilt) EXPECT_NEAR(fixture.lossDb(c.hz), c.db, 1e-6) << c.hz;
  fixture.addDrift(0.0, 1.0e9, 0.2);
  fixture.addDrift(1.7e9, 1.8e9, 1.0);
  fixture.addDrift(1.7e9, 1.8e9, 0.5);  // drifts add up
  EXPECT_NEAR(fixture.lossDb(842.6e6), 0.85, 1e-6);
  EXPECT_NEAR(fixture.lossDb(1747.6e6), 1.2 + 1.5, 1e-6);
  EXPECT_NEAR(fixture.lossDb(1.8e9), 1.2 + 0.1 * (1800.0 - 1784.8) / (1861.0 - 1784.8), 1e-6);  // up to, not at
  fixture.reset();
  EXPECT_NEAR(fixture.lossDb(842.6e6), 0.65, 1e-6);
}

class FixtureTest : public vorn_test::MeasureTest {
 protected:
  // A station whose loss table is the fixture's, each line plus extraDb(line).
  std::string table(const std::function<double(std::size_t)> &extraDb) {
    return vorn_test::AttenuationSection([&](std::size_t k) { return station::kFixtureLossDb[k] + extraDb(k); });
  }
  // One step's values on a fresh station with parameters, the call moved to
  // band and channel, after change has altered the station.
  void measure(const std::string &parameters, int band, int channel,
               const std::function<void(station::Station &)> &change, const std::function<int32_t()> &step) {
    freshRun();
    writeParameters(parameters);
    initialisedWithCall();
    st().tester.call.bandCode = band;
    st().tester.call.trafficChannel = channel;
    if (change) change(st());
    ASSERT_EQ(step(), 0) << host.error();
  }
  void disableTable(station::Station &s) {
    ASSERT_EQ(s.tester.enableLossTable(vorn::testerState.baseSession, false), station::kTesterOk);
  }
};

// Line k of the table is 0.1 (k + 1) dB above the fixture's own loss.
double Rising(std::size_t k) { return 0.1 * static_cast<double>(k + 1); }

TEST_F(FixtureTest, PowerReadIsTruePowerLessLossPlusCorrection) {
  const struct {
    const char *name;
    std::function<double(std::size_t)> extra;
    std::function<void(station::Station &)> change;
    int band, channel;
    double shiftDb;  // the reading less the phone's own power
  } cases[] = {
      {"on line 2", Rising, nullptr, 4, 189, 0.2},
      {"halfway from line 2 to 3", Rising, nullptr, 4, 220, 0.25},
      {"on line 5", Rising, nullptr, 1, 62, 0.5},
      {"halfway from line 8 to 9", Rising, nullptr, 2, 792, 0.85},
      {"halfway from line 10 to 11", Rising, nullptr, 3, 608, 1.05},
      {"on line 12, the table's end", Rising, nullptr, 3, 810, 1.2},
      {"table off: the fixture's loss on line 5", Rising, [this](station::Station &s) { disableTable(s); }, 1, 62,
       -0.7},
      {"table off, halfway from line 2 to 3", Rising, [this](station::Station &s) { disableTable(s); }, 4, 220, -0.65},
      {"cables drifted by 1.5 dB", [](std::size_t) { return 0.0; },
       [](station::Station &s) { s.fixture.addDrift(1.0e9, 3.0e9, 1.5); }, 2, 699, -1.5},
      {"drift above 1 GHz leaves EGSM", [](std::size_t) { return 0.0; },
       [](station::Station &s) { s.fixture.addDrift(1.0e9, 3.0e9, 1.5); }, 1, 62, 0.0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    // The same fetch, with its same variation, on a table equal to the fixture.
    measure(vorn_test::FixtureAttenuation(), c.band, c.channel, nullptr, [this] { return power(); });
    const double own = host.values[1];
    measure(table(c.extra), c.band, c.channel, c.change, [this] { return power(); });
    EXPECT_NEAR(host.values[1] - own, c.shiftDb, 1e-6);
    EXPECT_NEAR(host.values[3] - host.values[1], 0.6, 0.1);  // the peak moves with the burst
  }
}

TEST_F(FixtureTest, SwitchingSpectrumMovesAndModulationDoesNot) {
  measure(vorn_test::FixtureAttenuation(), 2, 699, nullptr, [this] { return spectrum(); });
  const vorn_test::HostBuffers own = host;
  measure(table([](std::size_t) { return 1.0; }), 2, 699, nullptr, [this] { return spectrum(); });
  for (int i = 1; i <= 22; ++i) EXPECT_EQ(host.values[i], own.values[i]) << host.name(i);
  for (int i = 23; i <= 30; ++i) EXPECT_NEAR(host.values[i] - own.values[i], 1.0, 1e-6) << host.name(i);
}

TEST_F(FixtureTest, RxLevelFollowsTheLevelAtThePhone) {
  // RXLEV 11 from -100 dBm at the phone, 12 from -99, 10 from -101.
  const struct {
    const char *name;
    std::function<double(std::size_t)> extra;
    bool tableOn;
    int band, channel;
    const char *cellPower;
    int32_t rxLevel;
  } cases[] = {
      {"the table equal to the fixture: -99.5 dBm", [](std::size_t) { return 0.0; }, true, 1, 32, "-99.5", 11},
      {"1 dB more correction: -98.5 dBm", [](std::size_t) { return 1.0; }, true, 1, 32, "-99.5", 12},
      {"1 dB less: -100.5 dBm", [](std::size_t) { return -1.0; }, true, 1, 32, "-99.5", 10},
      // The fixture's 0.81 dB at channel 32's downlink, 941.4 MHz.
      {"table off: -100.31 dBm", [](std::size_t) { return 0.0; }, false, 1, 32, "-99.5", 10},
      // GSM850 channel 128 sends at 869.2 MHz, between lines 3 and 4: 0.365
      // dB more (at its uplink, line 1, it would be 0.1 dB: RXLEV 10).
      {"the downlink's correction: -99.835 dBm", Rising, true, 4, 128, "-100.2", 11},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const bool tableOn = c.tableOn;
    measure(
        "[1]\nCellPower=" + std::string(c.cellPower) + "\n" + table(c.extra), c.band, c.channel,
        [this, tableOn](station::Station &s) {
          if (!tableOn) disableTable(s);
        },
        [this] { return rx(); });
    EXPECT_EQ(host.values[1], c.rxLevel);
  }
}

TEST_F(FixtureTest, TheTesterRefusesALossOutOfItsRange) {
  const struct {
    const char *value;
    int32_t status;  // of the first line
  } cases[] = {
      {"1e999", station::kErrorParameter},                                       // infinity
      {"-1e999", station::kErrorParameter}, {"1e39", station::kErrorParameter},  // infinite once in single precision
      {"100.5", station::kErrorParameter},  {"-100", station::kTesterOk},       {"100", station::kTesterOk},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value);
    freshRun();
    writeParameters(std::string("[Attenuation]\nGSM850_Low_CH=") + c.value + "\n");
    const int32_t returned = init();
    const std::vector<station::Call> lines = st().journal.of("RSCMU_Base_ConfUserCorrLossTablLine");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().status, c.status);
    if (c.status != station::kTesterOk) {
      EXPECT_EQ(returned, -1);
      EXPECT_EQ(host.error(), "RSCMU_Base_ConfUserCorrLossTablLine Failed! CMU200 Error:");
      EXPECT_EQ(lines.size(), 1u);
    } else {
      EXPECT_EQ(returned, 0) << host.error();
    }
  }
}

}  // namespace
