// The receive level and quality step on a call on the simulated tester: the
// cell power sent, the two waits, the receiver report, and what a failure leaves.
#include <string>
#include <vector>

#include "station/measurement.h"
#include "support/measure_fixture.h"

namespace {

using vorn_test::FailureCase;
using vorn_test::HostBuffers;

class RxTest : public vorn_test::MeasureTest {};

TEST_F(RxTest, ReportsLevelAndQualityAtTheCellPower) {
  const struct {
    const char *file;
    const char *level;  // as the tester is told
    double rxLevel;
    double rxQuality;
    uint32_t delay;
  } cases[] = {
      {"", "-100", 11.0, 0.0, 100},
      {"[1]\nCellPower=-85.5\nDelay=0\n", "-85.5", 25.0, 0.0, 0},
      {"[1]\nCellPower=-40\nDelay=250\n", "-40", 63.0, 0.0, 250},
      {"[1]\nCellPower=-108\n", "-108", 3.0, 7.0, 100},
      {"[1]\nDelay=-5\n", "-100", 11.0, 0.0, 0},  // a negative delay waits not at all
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.file);
    freshRun();
    initialisedWithCall();
    writeParameters(c.file);
    ASSERT_EQ(rx(), 0) << host.error();
    EXPECT_EQ(calls(), (std::vector<std::string>{
                           "RSCMU_GSM_Sig_ProcBssTchLevUtim(" + sig() + ", " + c.level + ") = 0",
                           "RSCMU_Query(" + sig() + ", *OPC?, 1) = 0",
                           "Sleep(1500) = 0",
                           "RSCMU_GSM_Sig_SensRrepRxl(" + sig() + ") = 0",
                           "RSCMU_Query(" + sig() + ", *OPC?, 1) = 0",
                           "Sleep(" + std::to_string(c.delay) + ") = 0",
                           "RSCMU_GSM_Sig_SensRrepRxq(" + sig() + ") = 0",
                       }));
    EXPECT_EQ(host.values[1], c.rxLevel);
    EXPECT_EQ(host.values[2], c.rxQuality);
    EXPECT_EQ(host.values[3], HostBuffers::kUntouched);
    EXPECT_EQ(host.name(1), "Band=EGSM;Chan=20;TXLevel=0");
    EXPECT_EQ(host.names[2][0], '#');
    // The level stays where the step set it.
    EXPECT_EQ(station::arg(st().tester.call.trafficLevelDbm), c.level);
  }
}

TEST_F(RxTest, DelayIsReadAfterTheLevelIsTaken) {
  // The watcher changes "Delay" while the tester reports the level: a step
  // that read it at the start would wait the old 40 ms.
  writeParameters("[1]\nDelay=40\n");
  initialisedWithCall();
  st().measurement.setWatcher([this](const std::string &operation) {
    if (operation == "SensRrepRxl") writeParameters("[1]\nDelay=333\n");
  });
  ASSERT_EQ(rx(), 0) << host.error();
  EXPECT_EQ(waits(), (std::vector<uint32_t>{1500, 333}));
}

TEST_F(RxTest, EachFailureNamesItsOperation) {
  const struct {
    FailureCase failure;
    std::size_t waits;    // made before the failure
    double trafficLevel;  // the tester's traffic channel level afterwards
  } cases[] = {
      {{"RSCMU_GSM_Sig_ProcBssTchLevUtim", 1, "RSCMU_GSM_Sig_ProcBssTchLevUtim"}, 0, -85.0},
      {{"RSCMU_Query", 1, "RSCMU_Query"}, 0, -95.0},
      {{"RSCMU_GSM_Sig_SensRrepRxl", 1, "RSCMU_GSM_Sig_SensRrepRxl"}, 1, -95.0},
      {{"RSCMU_Query", 2, "RSCMU_Query"}, 1, -95.0},
      {{"RSCMU_GSM_Sig_SensRrepRxq", 1, "RSCMU_GSM_Sig_SensRrepRxq"}, 2, -95.0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.failure.op) + " #" + std::to_string(c.failure.nth));
    freshRun();
    initialisedWithCall();
    writeParameters("[1]\nCellPower=-95\n");
    host.values[1] = 42.0;  // the host's previous value
    st().faults.add(c.failure.op, -1, c.failure.nth);
    EXPECT_EQ(rx(), -1);
    EXPECT_EQ(host.error(), std::string(c.failure.label) + " Failed! CMU200 Error:");
    EXPECT_EQ(lastCall().op, c.failure.op);
    EXPECT_EQ(lastCall().number, c.failure.nth);
    EXPECT_EQ(waits().size(), c.waits);
    // A level already read is not written either.
    EXPECT_EQ(host.values[1], 42.0);
    host.values[1] = HostBuffers::kUntouched;
    EXPECT_TRUE(host.resultsUntouched());
    // The traffic level set before the failure is not put back.
    EXPECT_EQ(st().tester.call.trafficLevelDbm, c.trafficLevel);
  }
}

TEST_F(RxTest, ACellPowerOutOfTheGeneratorsRangeIsRefused) {
  initialisedWithCall();
  writeParameters("[1]\nCellPower=not a number\n");  // reads as 0.0: above the generator's range
  EXPECT_EQ(rx(), -1);
  EXPECT_EQ(host.error(), "RSCMU_GSM_Sig_ProcBssTchLevUtim Failed! CMU200 Error:");
  EXPECT_EQ(st().journal.of("RSCMU_GSM_Sig_ProcBssTchLevUtim").at(0).args.at(1), "0");
  EXPECT_EQ(lastCall().status, station::kErrorParameter);
  EXPECT_EQ(st().tester.call.trafficLevelDbm, -85.0);
  EXPECT_TRUE(waits().empty());
}

}  // namespace
