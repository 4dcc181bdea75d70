// Traffic channel, power level and call end on the call the tester set up:
// their calls, every failure label, and what they record or leave alone.
#include <cstring>
#include <string>
#include <vector>

#include "support/tester_fixture.h"

namespace {

using vorn_test::Handle;

class TesterCallTest : public vorn_test::TesterTest {};

TEST_F(TesterCallTest, ChannelAndLevelChangesMoveTheCallAndAreRecorded) {
  const struct {
    const char *parameters;
    bool channelStep;
    const char *op;
    int32_t value;
  } cases[] = {
      {"", true, "RSCMU_GSM_Sig_ProcSignTchChan", 32},
      {"[1]\nTCH=62\n", true, "RSCMU_GSM_Sig_ProcSignTchChan", 62},
      {"", false, "RSCMU_GSM_Sig_ProcSignMsPcl", 5},
      {"[1]\nTXLevel=12\n", false, "RSCMU_GSM_Sig_ProcSignMsPcl", 12},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.op) + " " + std::to_string(c.value));
    freshRun();
    initialisedWithCall();
    writeParameters(c.parameters);
    const std::string s = Handle(state().sigSession);
    ASSERT_EQ(c.channelStep ? changeTch() : changeTxLevel(), 0) << host.error();
    EXPECT_EQ(calls(), (std::vector<std::string>{
                           std::string(c.op) + "(" + s + ", " + std::to_string(c.value) + ") = 0",
                           "RSCMU_Query(" + s + ", *OPC?, 1) = 0",
                       }));  // no wait of its own
    EXPECT_EQ(host.values[1], 1.0);
    EXPECT_EQ(host.values[2], vorn_test::HostBuffers::kUntouched);
    EXPECT_EQ(host.name(1), vorn_test::HostBuffers().name(1));
    const station::CallView call = st().tester.callOn(state().sigSession).value();
    if (c.channelStep) {
      EXPECT_EQ(state().channel, c.value);
      EXPECT_EQ(state().txLevel, 0);
      EXPECT_EQ(call.trafficChannel, c.value);
    } else {
      EXPECT_EQ(state().txLevel, c.value);
      EXPECT_EQ(state().channel, 20);
      EXPECT_EQ(call.powerControlLevel, c.value);
    }
  }
}

TEST_F(TesterCallTest, AFailedChangeKeepsTheRecordedValue) {
  const struct {
    bool channelStep;
    const char *op;
    const char *label;
  } cases[] = {
      {true, "RSCMU_GSM_Sig_ProcSignTchChan", "RSCMU_GSM_Sig_ProcSignTchChan"},
      {true, "RSCMU_Query", "RSCMU_Query"},  // the set command was accepted
      {false, "RSCMU_GSM_Sig_ProcSignMsPcl", "RSCMU_GSM_Sig_ProcSignMsPcl"},
      {false, "RSCMU_Query", "RSCMU_Query"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.channelStep ? "TCH " : "TXLevel ") + c.op);
    freshRun();
    initialisedWithCall();
    state().txLevel = 9;
    writeParameters("[1]\nTCH=40\nTXLevel=7\n");
    st().faults.add(c.op, -1);
    ASSERT_EQ(c.channelStep ? changeTch() : changeTxLevel(), -1);
    EXPECT_EQ(host.error(), std::string(c.label) + " Failed! CMU200 Error:");
    EXPECT_TRUE(host.resultsUntouched());
    EXPECT_EQ(lastCall().op, c.op);
    EXPECT_TRUE(lastCall().faulted);
    EXPECT_EQ(state().channel, 20);
    EXPECT_EQ(state().txLevel, 9);
  }
}

TEST_F(TesterCallTest, TheTesterRefusesAChannelOrLevelOutsideTheBandOrWithoutACall) {
  const struct {
    const char *parameters;
    bool call;
    bool channelStep;
    const char *label;
    int32_t status;
  } cases[] = {
      {"[1]\nTCH=600\n", true, true, "RSCMU_GSM_Sig_ProcSignTchChan", station::kErrorParameter},
      {"[1]\nTXLevel=40\n", true, false, "RSCMU_GSM_Sig_ProcSignMsPcl", station::kErrorParameter},
      {"", false, true, "RSCMU_GSM_Sig_ProcSignTchChan", station::kErrorNoCall},
      {"", false, false, "RSCMU_GSM_Sig_ProcSignMsPcl", station::kErrorNoCall},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.label + std::string(" ") + c.parameters);
    freshRun();
    ASSERT_EQ(init(), 0);
    if (c.call) callUp();
    writeParameters(c.parameters);
    ASSERT_EQ(c.channelStep ? changeTch() : changeTxLevel(), -1);
    EXPECT_EQ(host.error(), std::string(c.label) + " Failed! CMU200 Error:");
    EXPECT_EQ(lastCall().status, c.status);
    EXPECT_EQ(state().channel, 20);
    EXPECT_EQ(state().txLevel, 0);
  }
}

TEST_F(TesterCallTest, CallEndEndsTheCallClosesTheBaseAndClearsNothing) {
  initialisedWithCall();
  state().txLevel = 7;
  state().channel = 45;
  const vorn::TesterState before = state();
  const std::string s = Handle(state().sigSession);
  ASSERT_EQ(endCall(), 0) << host.error();
  EXPECT_EQ(calls(), (std::vector<std::string>{
                         "RSCMU_GSM_Sig_SensSignStat(" + s + ") = 0",
                         "RSCMU_GSM_Sig_ProcSignAct(" + s + ", 4) = 0",
                         "RSCMU_GSM_Sig_ProcSignAct(" + s + ", 0) = 0",
                         "RSCMU_GSM_Sig_SensSignStat(" + s + ") = 0",
                         "RSCMU_GSM_Sig_SensSignStat(" + s + ") = 0",
                         "RSCMU_Close_Base(" + Handle(state().baseSession) + ") = 0",
                     }));
  EXPECT_EQ(host.values[1], 1.0);
  EXPECT_EQ(host.name(1), vorn_test::HostBuffers().name(1));
  EXPECT_EQ(std::memcmp(&before, &state(), sizeof before), 0);
  EXPECT_EQ(st().tester.signalling, station::Signalling::Off);
  EXPECT_FALSE(st().tester.callOn(state().sigSession).has_value());
  EXPECT_NE(st().tester.checkBase(state().baseSession), station::kTesterOk);

  // A following step uses the old handles as they are, and the closed tester refuses them.
  host = vorn_test::HostBuffers();
  ASSERT_EQ(changeTch(), -1);
  EXPECT_EQ(lastCall().args.at(0), s);
  EXPECT_EQ(lastCall().status, station::kErrorInvalidSession);
}

TEST_F(TesterCallTest, EveryCallEndFailureNamesItsOperationAndStopsThere) {
  const struct {
    const char *op;
    int64_t nth;
    int actions;  // signalling actions that went through
  } cases[] = {
      {"RSCMU_GSM_Sig_SensSignStat", 1, 0}, {"RSCMU_GSM_Sig_ProcSignAct", 1, 0},  {"RSCMU_GSM_Sig_ProcSignAct", 2, 1},
      {"RSCMU_GSM_Sig_SensSignStat", 2, 2}, {"RSCMU_GSM_Sig_SensSignStat", 3, 2}, {"RSCMU_Close_Base", 1, 2},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.op) + " #" + std::to_string(c.nth));
    freshRun();
    initialisedWithCall();
    st().faults.add(c.op, -1, c.nth);
    ASSERT_EQ(endCall(), -1);
    EXPECT_EQ(host.error(), std::string(c.op) + " Failed! CMU200 Error:");
    EXPECT_TRUE(host.resultsUntouched());
    EXPECT_EQ(lastCall().op, c.op);
    EXPECT_TRUE(lastCall().faulted);
    EXPECT_EQ(lastCall().number, c.nth);
    // The base session stays open when the step stops before its close.
    EXPECT_EQ(st().tester.checkBase(state().baseSession), station::kTesterOk);
    const station::Signalling expected = c.actions == 0   ? station::Signalling::CallEstablished
                                         : c.actions == 1 ? station::Signalling::Camped
                                                          : station::Signalling::Off;
    EXPECT_EQ(st().tester.signalling, expected);
  }
}

TEST_F(TesterCallTest, ARunReportsChannelAndLevelInTheHandoverName) {
  initialisedWithCall();
  writeParameters("[1]\nTCH=40\nTXLevel=7\n[2]\nBand=1800\n");
  ASSERT_EQ(changeTch(), 0) << host.error();
  ASSERT_EQ(changeTxLevel(), 0) << host.error();
  ASSERT_EQ(handOver(2), 0) << host.error();
  EXPECT_EQ(host.name(1), "Band=DCS;Chan=40;TXLevel=7");
  ASSERT_EQ(endCall(), 0) << host.error();
  // A new run starts from initialisation again, on a fresh base system.
  writeParameters("");
  ASSERT_EQ(init(), 0) << host.error();
  EXPECT_STREQ(state().bandLabel, "EGSM");
  EXPECT_EQ(state().channel, 20);
  EXPECT_EQ(state().txLevel, 7);
}

}  // namespace

namespace {

// The whole road with the simulated phone: the tester's cell, the phone's
// emergency call on it, the call moved and ended.
TEST_F(TesterCallTest, ThePhonesCallOnTheTestersCellCanBeMovedAndEnded) {
  st().phone.setSwitchedOn(true);
  st().phone.setMode(station::Phone::Mode::Test);
  writeParameters("[1]\nComPort=COM3\nTCH=60\nTXLevel=10\n[2]\nBand=1800\n");
  ASSERT_EQ(init(), 0) << host.error();
  ASSERT_EQ(Vorn_CMU200_MobInit(1, host.values, host.names, host.errorText), 0) << host.error();
  ASSERT_EQ(Vorn_CMU200_MakeCall(1, host.values, host.names, host.errorText), 0) << host.error();
  ASSERT_EQ(host.values[1], 1.0);  // the phone reached idle on the cell
  ASSERT_EQ(st().tester.signalling, station::Signalling::CallEstablished);
  ASSERT_EQ(changeTch(), 0) << host.error();
  ASSERT_EQ(changeTxLevel(), 0) << host.error();
  ASSERT_EQ(handOver(2), 0) << host.error();
  EXPECT_EQ(host.name(1), "Band=DCS;Chan=60;TXLevel=10");
  EXPECT_EQ(st().tester.callOn(state().sigSession)->bandCode, 2);
  ASSERT_EQ(endCall(), 0) << host.error();
  EXPECT_EQ(st().tester.signalling, station::Signalling::Off);
}

}  // namespace
