// Band handover: the band session set-up the first time, the handover
// commands, every failure in the coded form, and the sessions and secondary
// addresses it leaves in the tester state.
#include <cstring>
#include <string>
#include <vector>

#include "support/journal_file.h"
#include "support/tester_fixture.h"

namespace {

using vorn_test::Handle;

class TesterHandoverTest : public vorn_test::TesterTest {
 protected:
  void selectBand(const char *band) { writeParameters(std::string("[1]\nBand=") + band + "\n"); }
};

TEST_F(TesterHandoverTest, FirstHandoverToDcsOpensItsSessionAndMovesTheCall) {
  initialisedWithCall();
  const vorn::TesterState &t = state();
  const std::string b = Handle(t.baseSession);
  const std::string current = Handle(t.sigSession);
  selectBand("1800");
  ASSERT_EQ(handOver(), 0) << host.error();
  const std::string target = Handle(t.bandSessions[2]);
  EXPECT_TRUE(vorn_test::MatchesJournalFile(calls(), "handover_first_to_dcs.txt",
                                            {{"base", b}, {"current", current}, {"target", target}}));
  EXPECT_NE(target, current);
  EXPECT_EQ(host.values[1], 1.0);
  EXPECT_EQ(host.name(1), "Band=DCS;Chan=20;TXLevel=0");
  EXPECT_EQ(host.values[2], vorn_test::HostBuffers::kUntouched);
  EXPECT_EQ(t.sigSession, t.bandSessions[2]);
  EXPECT_STREQ(t.bandLabel, "DCS");
  EXPECT_EQ(t.nextSecondaryAddress, 3);
  EXPECT_EQ(t.channel, 20);  // not translated to the new band

  // The call is now on the DCS cell, on a DCS traffic channel.
  const auto call = st().tester.callOn(t.sigSession);
  ASSERT_TRUE(call.has_value());
  EXPECT_EQ(call->bandCode, 2);
  EXPECT_TRUE(station::IsValidChannel(2, call->trafficChannel));
  EXPECT_FALSE(st().tester.callOn(t.bandSessions[1]).has_value());
}

TEST_F(TesterHandoverTest, EachBandSendsItsTargetIndicatorAndWait) {
  const struct {
    const char *band;
    const char *group;
    const char *code;
    const char *target;
    const char *indicator;  // nullptr: none sent
    std::vector<uint32_t> waits;
    const char *label;
  } cases[] = {
      {"850", "5", "4", "4", nullptr, {}, "GSM850"},
      {"1800", "11", "2", "1", "0", {}, "DCS"},
      {"1900", "15", "3", "2", "1", {3000}, "PCS"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.band);
    freshRun();
    initialisedWithCall();
    const std::string current = Handle(state().sigSession);
    selectBand(c.band);
    ASSERT_EQ(handOver(), 0) << host.error();
    const std::vector<station::Call> &all = st().journal.calls();
    EXPECT_EQ(st().journal.of("RSCMU_Base_SystRemAddrSec").at(0).args.at(2), c.group);
    EXPECT_EQ(st().journal.of("RSCMU_Init_GSM_Sig").at(0).args.at(1), c.code);
    const std::vector<station::Call> indicators = st().journal.of("RSCMU_GSM_Sig_ConfNetwSystBandInd");
    if (c.indicator == nullptr) {
      EXPECT_TRUE(indicators.empty());
    } else {
      ASSERT_EQ(indicators.size(), 1u);
      EXPECT_EQ(indicators[0].args, (std::vector<std::string>{current, c.indicator}));
    }
    EXPECT_EQ(st().journal.of("RSCMU_GSM_Sig_ConfHandTarg").at(0).args, (std::vector<std::string>{current, c.target}));
    EXPECT_EQ(waits(), c.waits);
    // The wait comes between the completion query on the target and the command.
    if (!c.waits.empty()) {
      std::size_t sleep = 0;
      while (all.at(sleep).op != "Sleep") ++sleep;
      EXPECT_EQ(all.at(sleep - 1).op, "RSCMU_Query");
      EXPECT_EQ(all.at(sleep + 1).op, "RSCMU_GSM_Sig_HandOver");
    }
    EXPECT_EQ(host.name(1), std::string("Band=") + c.label + ";Chan=20;TXLevel=0");
    EXPECT_EQ(st().tester.callOn(state().sigSession)->bandCode, std::stoi(c.code));
  }
}

TEST_F(TesterHandoverTest, ToTheBandTheCallIsOnReusesItsSessionWithoutSetUp) {
  initialisedWithCall();
  const std::string s = Handle(state().sigSession);
  ASSERT_EQ(handOver(), 0) << host.error();  // default band 900
  EXPECT_EQ(calls(), (std::vector<std::string>{
                         "RSCMU_GSM_Sig_ConfHandTarg(" + s + ", 3) = 0",
                         "RSCMU_Query(" + s + ", *OPC?, 1) = 0",
                         "RSCMU_GSM_Sig_HandOver(" + s + ", " + s + ") = 0",
                         "RSCMU_Query(" + s + ", *OPC?, 1) = 0",
                         "RSCMU_GSM_Sig_SensSignStat(" + s + ") = 0",
                     }));
  EXPECT_EQ(state().nextSecondaryAddress, 2);
  EXPECT_EQ(host.name(1), "Band=EGSM;Chan=20;TXLevel=0");
}

TEST_F(TesterHandoverTest, SessionsAreOpenedOnceAndAddressesOnlyGrowAcrossReinitialisation) {
  initialisedWithCall();
  auto secondaries = [this] {
    std::vector<std::string> out;
    for (const station::Call &call : st().journal.of("RSCMU_Base_SystRemAddrSec")) out.push_back(call.args.at(1));
    return out;
  };
  selectBand("1800");
  ASSERT_EQ(handOver(), 0) << host.error();
  selectBand("900");
  ASSERT_EQ(handOver(), 0) << host.error();  // back onto the initialisation's session
  selectBand("1800");
  ASSERT_EQ(handOver(), 0) << host.error();  // its session is reused
  EXPECT_EQ(secondaries(), (std::vector<std::string>{"2"}));
  EXPECT_EQ(state().nextSecondaryAddress, 3);

  // A new run drops the band sessions; the counter goes on from where it was.
  writeParameters("");
  ASSERT_EQ(init(), 0) << host.error();
  callUp();
  selectBand("1800");
  ASSERT_EQ(handOver(), 0) << host.error();
  selectBand("1900");
  ASSERT_EQ(handOver(), 0) << host.error();
  EXPECT_EQ(secondaries(), (std::vector<std::string>{"2", "1", "3", "4"}));
  EXPECT_EQ(state().nextSecondaryAddress, 5);
  EXPECT_EQ(host.name(1), "Band=PCS;Chan=20;TXLevel=0");
}

TEST_F(TesterHandoverTest, EveryFailureCarriesTheStatusAndStopsThere) {
  const struct {
    const char *op;
    int64_t nth;  // among the calls of the handover step
  } cases[] = {
      {"RSCMU_Base_SystRemAddrSec", 1},
      {"RSCMU_Init_GSM_Sig", 1},
      {"RSCMU_Query", 1},
      {"RSCMU_GSM_Sig_ConfNetwNSup", 1},
      {"RSCMU_GSM_Sig_ConfNetwSmodTraf", 1},
      {"RSCMU_GSM_Sig_ConfNetwSmodBits", 1},
      {"RSCMU_GSM_Sig_ConfNetwIdenMcc", 1},
      {"RSCMU_GSM_Sig_ConfNetwIdenMnc", 1},
      {"RSCMU_SetTimeoutAttribute", 1},
      {"RSCMU_GSM_Sig_Inp", 1},
      {"RSCMU_GSM_Sig_Outp", 1},
      {"RSCMU_GSM_Sig_ConfNetwSystBandInd", 1},
      {"RSCMU_GSM_Sig_ConfHandTarg", 1},
      {"RSCMU_Query", 2},
      {"RSCMU_GSM_Sig_HandOver", 1},
      {"RSCMU_Query", 3},
      {"RSCMU_GSM_Sig_SensSignStat", 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.op) + " #" + std::to_string(c.nth));
    freshRun();
    initialisedWithCall();
    selectBand("1900");
    st().faults.add(c.op, -1, c.nth);
    EXPECT_EQ(handOver(), -1);
    EXPECT_EQ(host.error(), std::string("CMU200 Error: -1. ") + c.op + " Failed! ");
    EXPECT_TRUE(host.resultsUntouched());
    EXPECT_EQ(lastCall().op, c.op);
    EXPECT_TRUE(lastCall().faulted);
    EXPECT_EQ(lastCall().number, c.nth);
    EXPECT_STREQ(state().bandLabel, "EGSM");  // the label moves only on success
  }
}

TEST_F(TesterHandoverTest, WhatAFailedHandoverLeavesBehind) {
  const struct {
    const char *op;
    int64_t nth;
    int32_t nextSecondary;
    bool entryFilled;  // the PCS session is in the table
    bool sigMoved;     // the call's session is the PCS one
  } cases[] = {
      {"RSCMU_Base_SystRemAddrSec", 1, 2, false, false},
      {"RSCMU_Init_GSM_Sig", 1, 3, false, false},
      {"RSCMU_GSM_Sig_Outp", 1, 3, true, false},
      {"RSCMU_GSM_Sig_HandOver", 1, 3, true, false},
      {"RSCMU_Query", 3, 3, true, true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.op) + " #" + std::to_string(c.nth));
    freshRun();
    initialisedWithCall();
    const int32_t egsm = state().sigSession;
    selectBand("1900");
    st().faults.add(c.op, -1, c.nth);
    ASSERT_EQ(handOver(), -1);
    EXPECT_EQ(state().nextSecondaryAddress, c.nextSecondary);
    EXPECT_EQ(state().bandSessions[3] != vorn::kNoSession, c.entryFilled);
    EXPECT_EQ(state().sigSession, c.sigMoved ? state().bandSessions[3] : egsm);

    // The next handover to the band sets it up again only if it has no session.
    st().journal.clear();
    st().faults.clear();
    host = vorn_test::HostBuffers();
    ASSERT_EQ(handOver(), 0) << host.error();
    EXPECT_EQ(st().journal.count("RSCMU_Base_SystRemAddrSec"), c.entryFilled ? 0u : 1u);
    EXPECT_EQ(host.name(1), "Band=PCS;Chan=20;TXLevel=0");
  }
}

TEST_F(TesterHandoverTest, SecondaryAddressesRunFrom2To29ThenStartAgain) {
  // Phone after phone with the library loaded, two new bands each: the
  // addresses wrap instead of running out at the fifteenth phone.
  std::vector<std::string> addresses;
  for (int phone = 1; phone <= 16; ++phone) {
    SCOPED_TRACE("phone " + std::to_string(phone));
    writeParameters("");
    initialisedWithCall();
    for (const char *band : {"1800", "1900"}) {
      selectBand(band);
      ASSERT_EQ(handOver(), 0) << host.error();
    }
    for (const station::Call &call : st().journal.of("RSCMU_Base_SystRemAddrSec")) {
      if (call.args.at(1) != "1") addresses.push_back(call.args.at(1));
    }
  }
  std::vector<std::string> expected;
  for (int i = 0; i < 32; ++i) expected.push_back(std::to_string(2 + i % 28));
  EXPECT_EQ(addresses, expected);
  EXPECT_EQ(state().nextSecondaryAddress, 6);
}

TEST_F(TesterHandoverTest, SimulatedTesterTakesAddresses1To29AndRebindingReplaces) {
  station::Tester &tester = st().tester;
  int32_t base = 0;
  ASSERT_EQ(tester.initBase(tester.gpibAddress, &base), station::kTesterOk);
  for (const auto &[address, status] :
       {std::pair{0, station::kErrorParameter}, std::pair{1, station::kTesterOk}, std::pair{29, station::kTesterOk},
        std::pair{30, station::kErrorParameter}, std::pair{-1, station::kErrorParameter}}) {
    EXPECT_EQ(tester.bindSecondary(base, address, 7), status) << address;
  }
  // Address 29 goes from EGSM's function group to DCS's: the DCS session takes it.
  ASSERT_EQ(tester.bindSecondary(base, 29, 11), station::kTesterOk);
  int32_t sig = 0;
  ASSERT_EQ(tester.initSig(base, &sig, 2), station::kTesterOk);
  EXPECT_EQ(tester.sessions.at(sig).secondary, 29);
  // A later binding of the same group wins over a higher address.
  ASSERT_EQ(tester.bindSecondary(base, 2, 11), station::kTesterOk);
  ASSERT_EQ(tester.initSig(base, &sig, 2), station::kTesterOk);
  EXPECT_EQ(tester.sessions.at(sig).secondary, 2);
  ASSERT_EQ(tester.initSig(base, &sig, 1), station::kTesterOk);
  EXPECT_EQ(tester.sessions.at(sig).secondary, 1);  // EGSM keeps address 1 only
}

TEST_F(TesterHandoverTest, BeforeAnyInitialisationTheCommandsGoToHandleZero) {
  selectBand("1800");
  ASSERT_EQ(handOver(), -1);
  // Every band entry is 0, so no session is set up and the tester refuses handle 0.
  EXPECT_EQ(calls(), (std::vector<std::string>{"RSCMU_GSM_Sig_ConfNetwSystBandInd(0, 0) = " +
                                               std::to_string(station::kErrorInvalidSession)}));
  EXPECT_EQ(host.error(), "CMU200 Error: " + std::to_string(station::kErrorInvalidSession) +
                              ". RSCMU_GSM_Sig_ConfNetwSystBandInd Failed! ");
  EXPECT_EQ(state().nextSecondaryAddress, 2);
  EXPECT_STREQ(state().bandLabel, "");
}

TEST_F(TesterHandoverTest, UnsupportedBandChangesNothing) {
  initialisedWithCall();
  const vorn::TesterState before = state();
  for (const char *band : {"1850", "0"}) {
    SCOPED_TRACE(band);
    selectBand(band);
    ASSERT_EQ(handOver(), -1);
    EXPECT_EQ(host.error(), "Band Not Support!");
    EXPECT_TRUE(calls().empty());
    EXPECT_TRUE(host.resultsUntouched());
    EXPECT_EQ(std::memcmp(&before, &state(), sizeof before), 0);
  }
}

TEST_F(TesterHandoverTest, WithoutACallTheTesterRefusesTheHandover) {
  ASSERT_EQ(init(), 0);
  selectBand("1800");
  ASSERT_EQ(handOver(), -1);
  EXPECT_EQ(host.error(),
            "CMU200 Error: " + std::to_string(station::kErrorNoCall) + ". RSCMU_GSM_Sig_HandOver Failed! ");
  EXPECT_NE(state().sigSession, state().bandSessions[2]);
}

TEST_F(TesterHandoverTest, TheSetUpUsesTheInitialisationsConnector) {
  writeParameters("[1]\nRF port=2\n");
  initialisedWithCall();
  selectBand("850");
  ASSERT_EQ(handOver(), 0) << host.error();
  const std::string target = Handle(state().bandSessions[4]);
  EXPECT_EQ(st().journal.of("RSCMU_GSM_Sig_Inp").at(0).args, (std::vector<std::string>{target, "1"}));
  EXPECT_EQ(st().journal.of("RSCMU_GSM_Sig_Outp").at(0).args, (std::vector<std::string>{target, "1"}));
}

}  // namespace
