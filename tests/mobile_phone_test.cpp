// The simulated phone behind the phone I/O library stand-in: power, the
// restart after a software reset, the mode it restarts in, and its links.
#include <string>

#include "outside/dwdio.h"
#include "support/station_test.h"

namespace {

using Mode = station::Phone::Mode;

class PhoneTest : public vorn_test::StationTest {
 protected:
  station::Phone &phone() { return st().phone; }
  // Opens COM3 to the phone; returns the link handle.
  uint32_t open() {
    uint32_t handle = 0;
    EXPECT_EQ(DWD_set_com_port(3, &handle), 1);
    return handle;
  }
};

TEST_F(PhoneTest, OperatorSwitchesThePhoneOnUnlessItStaysOff) {
  const struct {
    const char *prompt;
    bool staysOff;
    bool powered;
  } cases[] = {{"Turn on phone!", false, true}, {"Check the cable!", false, false}, {"Turn on phone!", true, false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.prompt);
    st().reset();
    phone().setStaysOff(c.staysOff);
    const uint32_t handle = open();
    EXPECT_EQ(DWD_check_comm_link(handle), 0);
    st().operatorAcknowledged(c.prompt);
    EXPECT_EQ(phone().powered(), c.powered);
    EXPECT_EQ(DWD_check_comm_link(handle), c.powered ? 1 : 0);
    EXPECT_EQ(phone().acknowledgements(), 1);
  }
}

TEST_F(PhoneTest, PoweredByTheSupplyAtAVoltageItAccepts) {
  const struct {
    const char *commands;
    bool powered;
  } cases[] = {{"VOLT 3.8;OUTP ON", true},  {"VOLT 3.3;OUTP ON", true},  {"VOLT 4.5;OUTP ON", true},
               {"VOLT 3.2;OUTP ON", false}, {"VOLT 4.6;OUTP ON", false}, {"VOLT 3.8;OUTP OFF", false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.commands);
    st().reset();
    st().supply.receive(c.commands);
    EXPECT_EQ(phone().powered(), c.powered);
    EXPECT_EQ(DWD_check_comm_link(open()), c.powered ? 1 : 0);
  }
}

TEST_F(PhoneTest, ResetTakesAMomentDuringWhichTheLinkIsSilent) {
  phone().setSwitchedOn(true);
  const uint32_t handle = open();
  ASSERT_EQ(DWD_sw_reset(handle), 1);
  st().clock.wait(station::Phone::kRestartMs - 1);
  EXPECT_EQ(DWD_check_comm_link(handle), 0);
  EXPECT_STREQ(DWD_get_last_error(), "COM3: no answer from the phone");
  st().clock.wait(1);
  EXPECT_EQ(DWD_check_comm_link(handle), 1);
}

TEST_F(PhoneTest, ModeAfterAReset) {
  const struct {
    const char *name;
    Mode before;
    int interfaceMode;  // -1: none set
    bool staysInNormalMode;
    Mode after;
  } cases[] = {
      {"mode 2", Mode::Normal, 2, false, Mode::Test},
      {"mode 0", Mode::Test, 0, false, Mode::Normal},
      {"no mode set", Mode::Test, -1, false, Mode::Test},
      {"stays in normal mode", Mode::Normal, 2, true, Mode::Normal},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    st().reset();
    phone().setSwitchedOn(true);
    phone().setMode(c.before);
    phone().setStaysInNormalMode(c.staysInNormalMode);
    const uint32_t handle = open();
    if (c.interfaceMode >= 0) {
      ASSERT_EQ(DWD_set_serial_interface_mode(c.interfaceMode, handle), 1);
    }
    ASSERT_EQ(DWD_sw_reset(handle), 1);
    st().clock.wait(station::Phone::kRestartMs);
    uint8_t inTestMode = 7;
    ASSERT_EQ(DWD_check_for_ptest(&inTestMode, handle), 1);
    EXPECT_EQ(inTestMode, c.after == Mode::Test ? 1 : 0);
  }
}

TEST_F(PhoneTest, RequestsThePhoneRefuses) {
  phone().setSwitchedOn(true);
  const uint32_t handle = open();
  const struct {
    uint8_t (*request)(uint32_t);
    const char *lastError;
  } cases[] = {
      {[](uint32_t h) { return DWD_set_serial_interface_mode(5, h); }, "COM3: serial interface mode 5 not supported"},
      {[](uint32_t h) { return DWD_set_test_mode(1, 20, h); }, "COM3: the phone is not in test mode"},
      {[](uint32_t h) { return DWD_setup_emergency_call(h); }, "COM3: the phone is not camped on a cell"},
      {[](uint32_t h) { return DWD_set_baud_rate(12345, h); }, "COM3: baud rate 12345 not supported"},
      {[](uint32_t h) { return DWD_check_comm_link(h + 1); }, "link handle 2 is not open"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.lastError);
    EXPECT_EQ(c.request(handle), 0);
    EXPECT_STREQ(DWD_get_last_error(), c.lastError);
  }
}

TEST_F(PhoneTest, ClosedLinkNoLongerReachesThePhone) {
  phone().setSwitchedOn(true);
  const uint32_t handle = open();
  EXPECT_EQ(DWD_close_com_port(handle), 1);
  EXPECT_EQ(DWD_check_comm_link(handle), 0);
  EXPECT_EQ(DWD_get_last_error(), "link handle " + std::to_string(handle) + " is not open");
  EXPECT_EQ(DWD_close_com_port(handle), 0);
  EXPECT_NE(open(), handle);  // a new link, a new handle
}

TEST_F(PhoneTest, PortIsExclusiveWhileALinkHoldsIt) {
  const uint32_t first = open();
  uint32_t other = 0;
  EXPECT_EQ(DWD_set_com_port(3, &other), 0);
  EXPECT_STREQ(DWD_get_last_error(), "COM3 is in use by another link");
  EXPECT_TRUE(phone().linkOpen(first));  // the holder keeps its link
  uint32_t elsewhere = 0;
  EXPECT_EQ(DWD_set_com_port(4, &elsewhere), 1);  // another port is free
  EXPECT_EQ(DWD_close_com_port(first), 1);
  EXPECT_FALSE(phone().portHeld(3));
  EXPECT_NE(open(), first);
}

}  // namespace
