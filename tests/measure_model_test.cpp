// The simulated tester's measurements: nominal power, RXLEV and RXQUAL, the
// repeatable variation, and the refusals a real instrument would give.
#include <cmath>
#include <string>
#include <vector>

#include "station/measurement.h"
#include "support/measure_fixture.h"

namespace {

TEST(MeasurementModel, NominalPowerAndReceiverReport) {
  const struct {
    int band, level;
    double dbm;
  } power[] = {{1, 5, 33}, {1, 6, 31}, {1, 19, 5}, {1, 2, 33}, {4, 12, 19},
               {2, 0, 30}, {2, 15, 0}, {3, 7, 16}, {3, 20, 0}};
  for (const auto &c : power) EXPECT_EQ(station::NominalPowerDbm(c.band, c.level), c.dbm);
  const struct {
    double dbm;
    int32_t level, quality;
  } rx[] = {{-111, 0, 7}, {-110.5, 0, 7}, {-110, 1, 7},   {-100, 11, 0},
            {-102, 9, 1}, {-48, 63, 0},   {-48.5, 62, 0}, {-20, 63, 0}};
  for (const auto &c : rx) {
    EXPECT_EQ(station::RxLevel(c.dbm), c.level) << c.dbm;
    EXPECT_EQ(station::RxQuality(c.dbm), c.quality) << c.dbm;
  }
  // Quality only worsens as the level falls, from 0 to 7.
  int32_t previous = 0;
  for (double dbm = -60.0; dbm >= -120.0; dbm -= 0.5) {
    const int32_t quality = station::RxQuality(dbm);
    EXPECT_GE(quality, previous) << dbm;
    EXPECT_LE(quality, 7) << dbm;
    previous = quality;
  }
  EXPECT_EQ(previous, 7);
}

class MeasurementModelTest : public vorn_test::MeasureTest {};

TEST_F(MeasurementModelTest, PowerWithinAFewTenthsOnEveryBandAndLevel) {
  const struct { int band, firstLevel, lastLevel; } bands[] = {{1, 5, 19}, {4, 5, 19}, {2, 0, 15}, {3, 0, 15}};
  for (const auto &b : bands) {
    for (int level = b.firstLevel; level <= b.lastLevel; ++level) {
      writeParameters(vorn_test::FixtureAttenuation());  // the phone's own power, not the fixture's loss
      initialisedWithCall();
      st().tester.call.bandCode = b.band;
      st().tester.call.powerControlLevel = level;
      ASSERT_EQ(power(), 0) << host.error();
      EXPECT_NEAR(host.values[1], station::NominalPowerDbm(b.band, level), 0.3)
          << "band " << b.band << " level " << level;
      EXPECT_EQ(host.values[5], 1.0);
      freshRun();
    }
  }
}

TEST_F(MeasurementModelTest, EveryMeasurementNeedsACall) {
  ASSERT_EQ(init(), 0) << host.error();  // signalling on, no phone has called
  const struct {
    decltype(&Vorn_CMU200_OBTPowervsTime) step;
    const char *refused;  // the first operation the tester refuses
  } cases[] = {
      {&Vorn_CMU200_OBTOutputRFSpectrum, "RSCMU_GSM_Sig_InitSpecMSw"},
      {&Vorn_CMU200_OBTPowervsTime, "RSCMU_GSM_Sig_InitPowMpr"},
      {&Vorn_CMU200_OBTRXLevelandQuality, "RSCMU_GSM_Sig_ProcBssTchLevUtim"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.refused);
    st().journal.clear();
    host = vorn_test::HostBuffers();
    EXPECT_EQ(c.step(1, host.values, host.names, host.errorText), -1);
    EXPECT_EQ(host.error(), std::string(c.refused) + " Failed! CMU200 Error:");
    EXPECT_EQ(lastCall().op, c.refused);
    EXPECT_EQ(lastCall().status, station::kErrorNoCall);
    EXPECT_FALSE(lastCall().faulted);
    EXPECT_TRUE(host.resultsUntouched());
  }
}

TEST_F(MeasurementModelTest, RefusesWhatTheInstrumentWould) {
  initialisedWithCall();
  const int32_t sig = vorn::testerState.sigSession;
  station::Measurement &m = st().measurement;
  double array[32];
  station::PowerResult power;
  int32_t value = 0;
  // A fetch before its measurement was initiated has no result.
  EXPECT_EQ(m.fetchSpectrum(sig, array), station::kErrorNoResult);
  EXPECT_EQ(m.fetchPower(sig, power), station::kErrorNoResult);
  // Points outside the tables are out of range.
  EXPECT_EQ(m.configure(sig, "ConfSpecModContMpo", {12, 1}), station::kErrorParameter);
  EXPECT_EQ(m.configure(sig, "ConfSpecSwitContMpo", {0, 1}), station::kErrorParameter);
  EXPECT_EQ(m.configure(sig, "ConfSpecSwitContMpo", {4, 3}), station::kTesterOk);
  EXPECT_EQ(m.settings.at("ConfSpecSwitContMpo 4"), (std::vector<int32_t>{4, 3}));
  // A handle that is no session.
  EXPECT_EQ(m.configure(sig + 100, "ConfPowMprCont", {0, 10}), station::kErrorInvalidSession);
  EXPECT_EQ(m.rxLevel(sig + 100, &value), station::kErrorInvalidSession);
  // After the call ends there is nothing to measure.
  ASSERT_EQ(endCall(), 0) << host.error();
  EXPECT_NE(m.rxQuality(sig, &value), station::kTesterOk);
}

TEST_F(MeasurementModelTest, ResetRestartsTheVariation) {
  initialisedWithCall();
  ASSERT_EQ(power(), 0);
  const double first = host.values[1];
  ASSERT_EQ(power(), 0);
  EXPECT_NE(host.values[1], first);  // the variation moves on from fetch to fetch
  freshRun();
  initialisedWithCall();
  ASSERT_EQ(power(), 0);
  EXPECT_EQ(host.values[1], first);
}

}  // namespace
