// The power versus time step on a call on the simulated tester: its four
// calls, the fetch outputs it hands back (two of them crosswise), the template
// finding, and what a failure leaves.
#include <cmath>
#include <string>
#include <vector>

#include "station/measurement.h"
#include "support/measure_fixture.h"

namespace {

using vorn_test::HostBuffers;

class PowerTest : public vorn_test::MeasureTest {};

TEST_F(PowerTest, MeasuresTheCallAndNamesIt) {
  writeParameters(vorn_test::FixtureAttenuation());  // a loss table that cancels the fixture's loss
  initialisedWithCall();
  vorn::testerState.channel = 62;
  vorn::testerState.txLevel = 5;
  ASSERT_EQ(power(), 0) << host.error();
  EXPECT_EQ(calls(), (std::vector<std::string>{
                         "RSCMU_GSM_Sig_ConfPowMprContRep(" + sig() + ", 1, 0, 0) = 0",
                         "RSCMU_GSM_Sig_ConfPowMprCont(" + sig() + ", 0, 10) = 0",
                         "RSCMU_GSM_Sig_InitPowMpr(" + sig() + ") = 0",
                         "RSCMU_GSM_Sig_FetcPowMpr(" + sig() + ", 1) = 0",
                     }));

  // The same fetch replayed from the simulated tester's seed: arguments 3,
  // 10, 9 and 11 in entries 1 to 4.
  station::Measurement replay;
  station::PowerResult r;
  ASSERT_EQ(replay.initiatePower(vorn::testerState.sigSession), 0);
  ASSERT_EQ(replay.fetchPower(vorn::testerState.sigSession, r), 0);
  EXPECT_EQ(host.values[1], r.averagePower);
  EXPECT_EQ(host.values[2], r.usefulPartPower);  // argument 10
  EXPECT_EQ(host.values[3], r.peakPower);        // argument 9
  EXPECT_EQ(host.values[4], r.timingAdvance);
  EXPECT_EQ(host.values[5], 1.0);
  EXPECT_EQ(host.values[0], HostBuffers::kUntouched);
  EXPECT_EQ(host.values[6], HostBuffers::kUntouched);

  EXPECT_NEAR(host.values[1], 33.0, 0.3);  // EGSM at level 5
  EXPECT_NE(host.values[2], host.values[3]);
  EXPECT_EQ(host.name(1), "Band=EGSM;Chan=62;TXLevel=5");
  EXPECT_EQ(host.names[0][0], '#');
  EXPECT_EQ(host.names[2][0], '#');
}

TEST_F(PowerTest, FollowsTheCommandedLevel) {
  writeParameters(vorn_test::FixtureAttenuation());
  initialisedWithCall();
  const struct {
    int level;
    double dbm;
  } cases[] = {{5, 33.0}, {10, 23.0}, {19, 5.0}};
  for (const auto &c : cases) {
    writeParameters("[1]\nTXLevel=" + std::to_string(c.level) + "\n");
    ASSERT_EQ(changeTxLevel(), 0) << host.error();
    ASSERT_EQ(power(), 0) << host.error();
    EXPECT_NEAR(host.values[1], c.dbm, 0.3) << c.level;
    EXPECT_EQ(host.name(1), "Band=EGSM;Chan=20;TXLevel=" + std::to_string(c.level));
  }
}

TEST_F(PowerTest, TemplateFlagIsAFindingNotAFailure) {
  const struct {
    int32_t flag;
    double value;
  } cases[] = {{0, 1.0}, {1, 0.0}, {-1, 0.0}, {7, 0.0}};
  for (const auto &c : cases) {
    freshRun();
    initialisedWithCall();
    st().measurement.templateFlag = c.flag;
    EXPECT_EQ(power(), 0);
    EXPECT_EQ(host.values[5], c.value) << c.flag;
  }
}

TEST_F(PowerTest, AFetchThatLeavesTheFlagUntouchedCountsAsInside) {
  // The fault script answers 0 without the instrument writing any output.
  initialisedWithCall();
  st().faults.add("RSCMU_GSM_Sig_FetcPowMpr", 0);
  ASSERT_EQ(power(), 0) << host.error();
  EXPECT_EQ(host.values[5], 1.0);
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(host.values[i], 0.0) << i;
  EXPECT_EQ(host.name(1), "Band=EGSM;Chan=20;TXLevel=0");
}

TEST_F(PowerTest, EachFailureNamesItsOperation) {
  const char *const ops[] = {"RSCMU_GSM_Sig_ConfPowMprContRep", "RSCMU_GSM_Sig_ConfPowMprCont",
                             "RSCMU_GSM_Sig_InitPowMpr", "RSCMU_GSM_Sig_FetcPowMpr"};
  for (const char *op : ops) {
    SCOPED_TRACE(op);
    freshRun();
    initialisedWithCall();
    st().faults.add(op, -1073807339);
    EXPECT_EQ(power(), -1);
    EXPECT_EQ(host.error(), std::string(op) + " Failed! CMU200 Error:");
    EXPECT_EQ(lastCall().op, op);
    EXPECT_TRUE(host.resultsUntouched());
  }
}

TEST_F(PowerTest, NoParameterKeyChangesTheSettings) {
  writeParameters("[1]\nConfPowMprCont=3\nRepetition=2\nTXLevel=9\n");
  initialisedWithCall();
  ASSERT_EQ(power(), 0) << host.error();
  EXPECT_EQ(st().measurement.settings.at("ConfPowMprContRep"), (std::vector<int32_t>{1, 0, 0}));
  EXPECT_EQ(st().measurement.settings.at("ConfPowMprCont"), (std::vector<int32_t>{0, 10}));
}

}  // namespace
