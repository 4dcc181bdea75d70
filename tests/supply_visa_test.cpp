// The VISA stand-in: resource names, the statuses of viOpen, and sessions on
// the station's simulated GPIB bus.
#include <string>

#include "outside/visa.h"
#include "support/station_test.h"
#include "visa/resource.h"
#include "visa/sessions.h"
#include "visa/status.h"

namespace {

using visa::ParseResource;
using visa::Resource;
using Kind = Resource::Kind;

class SupplyVisaTest : public vorn_test::StationTest {
 protected:
  ViSession resourceManager() {
    ViSession rm = VI_NULL;
    EXPECT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    return rm;
  }
  ViStatus open(const char *name, ViSession *instrument) {
    return viOpen(resourceManager(), name, VI_NO_LOCK, VI_TMO_IMMEDIATE, instrument);
  }
  ViStatus write(ViSession instrument, const std::string &text, ViUInt32 *written = nullptr) {
    return viWrite(instrument, reinterpret_cast<const unsigned char *>(text.data()), static_cast<ViUInt32>(text.size()),
                   written);
  }
};

TEST(SupplyVisaResourceTest, NamesAreReadAsVisaReadsThem) {
  const struct {
    const char *name;
    Kind kind;
    uint32_t board;
    uint32_t primary;
    std::optional<uint32_t> secondary;
    const char *host;
    uint16_t port;
  } cases[] = {
      {"GPIB0::14::INSTR", Kind::Gpib, 0, 14, std::nullopt, "", 0},
      {"gpib0::14::instr", Kind::Gpib, 0, 14, std::nullopt, "", 0},
      {"GPIB::14", Kind::Gpib, 0, 14, std::nullopt, "", 0},  // board 0, INSTR by default
      {"GPIB2::0::30::INSTR", Kind::Gpib, 2, 0, 30u, "", 0},
      {"TCPIP0::192.168.1.20::5025::SOCKET", Kind::Socket, 0, 0, std::nullopt, "192.168.1.20", 5025},
      {"tcpip::supply.lan::5025::socket", Kind::Socket, 0, 0, std::nullopt, "supply.lan", 5025},
      {"TCPIP1::[fe80::1]::65535::SOCKET", Kind::Socket, 1, 0, std::nullopt, "fe80::1", 65535},
      {"TCPIP0::10.0.0.5::inst0::INSTR", Kind::Unsupported, 0, 0, std::nullopt, "10.0.0.5", 0},
      {"ASRL1::INSTR", Kind::Unsupported, 1, 0, std::nullopt, "", 0},
      {"USB0::0x0957::0x1234::MY1::INSTR", Kind::Unsupported, 0, 0, std::nullopt, "", 0},
      {"GPIB0::INTFC", Kind::Unsupported, 0, 0, std::nullopt, "", 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Resource> resource = ParseResource(c.name);
    ASSERT_TRUE(resource.has_value());
    EXPECT_EQ(resource->kind, c.kind);
    EXPECT_EQ(resource->board, c.board);
    EXPECT_EQ(resource->primary, c.primary);
    EXPECT_EQ(resource->secondary, c.secondary);
    EXPECT_EQ(resource->host, c.host);
    EXPECT_EQ(resource->port, c.port);
  }
}

TEST(SupplyVisaResourceTest, TextsThatAreNoResourceNames) {
  const char *names[] = {
      "",
      "COM3",
      "GPIB0",
      "GPIB0::INSTR",
      "GPIB0::31::INSTR",
      "GPIB0::-1::INSTR",
      "GPIB0::14::31::INSTR",
      "GPIB0::14::2::3::INSTR",
      "GPIB0::::INSTR",
      "GPIBx::14::INSTR",
      "GPIB0::14::INSTR ",
      "GPIB99999::14::INSTR",
      "TCPIP0::host::SOCKET",
      "TCPIP0::host::0::SOCKET",
      "TCPIP0::host::65536::SOCKET",
      "TCPIP0::a b::5025::SOCKET",
      "TCPIP0::[fe80::1::5025::SOCKET",
      "TCPIP0::host::5025::x::SOCKET",
      "::14::INSTR",
  };
  for (const char *name : names) {
    EXPECT_FALSE(ParseResource(name).has_value()) << name;
  }
}

TEST_F(SupplyVisaTest, OpenGivesTheStandardStatusForEachName) {
  const struct {
    const char *name;
    ViStatus status;
  } cases[] = {
      {"GPIB0::14::INSTR", VI_SUCCESS},
      {"GPIB::14", VI_SUCCESS},
      {"GPIB0::7::INSTR", VI_ERROR_RSRC_NFOUND},
      {"GPIB0::14::0::INSTR", VI_ERROR_RSRC_NFOUND},  // the supply has no secondary address
      {"GPIB1::14::INSTR", VI_ERROR_INTF_NUM_NCONFIG},
      {"ASRL1::INSTR", VI_ERROR_RSRC_NFOUND},
      {"TCPIP0::127.0.0.1::inst0::INSTR", VI_ERROR_RSRC_NFOUND},
      {"COM3", VI_ERROR_INV_RSRC_NAME},
      {"GPIB0::14::INSTR::", VI_ERROR_INV_RSRC_NAME},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ViSession instrument = 12345;
    EXPECT_EQ(open(c.name, &instrument), c.status);
    if (c.status == VI_SUCCESS) {
      EXPECT_NE(instrument, VI_NULL);
    } else {
      EXPECT_EQ(instrument, VI_NULL);
    }
  }
  ViSession instrument = VI_NULL;
  EXPECT_EQ(viOpen(resourceManager(), nullptr, VI_NO_LOCK, 0, &instrument), VI_ERROR_INV_RSRC_NAME);
}

TEST_F(SupplyVisaTest, OpenChecksItsSessionModeAndOutput) {
  ViSession instrument = VI_NULL;
  ASSERT_EQ(open("GPIB0::14::INSTR", &instrument), VI_SUCCESS);
  ViSession other = VI_NULL;
  EXPECT_EQ(viOpen(0xFFFFFF, "GPIB0::14::INSTR", VI_NO_LOCK, 0, &other), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(viOpen(instrument, "GPIB0::14::INSTR", VI_NO_LOCK, 0, &other), VI_ERROR_NSUP_OPER);
  const ViSession rm = resourceManager();
  EXPECT_EQ(viOpen(rm, "GPIB0::14::INSTR", VI_EXCLUSIVE_LOCK | VI_SHARED_LOCK, 0, &other), VI_ERROR_INV_ACC_MODE);
  EXPECT_EQ(viOpen(rm, "GPIB0::14::INSTR", 8, 0, &other), VI_ERROR_INV_ACC_MODE);
  EXPECT_EQ(viOpen(rm, "GPIB0::14::INSTR", VI_EXCLUSIVE_LOCK, 0, &other), VI_SUCCESS);
  EXPECT_EQ(viOpen(rm, "GPIB0::14::INSTR", VI_NO_LOCK, 0, nullptr), VI_ERROR_USER_BUF);
  EXPECT_EQ(viOpenDefaultRM(nullptr), VI_ERROR_USER_BUF);
  EXPECT_NE(resourceManager(), resourceManager());  // every call a session of its own
}

TEST_F(SupplyVisaTest, InstrumentOperationsCheckTheirSession) {
  const ViSession rm = resourceManager();
  EXPECT_EQ(viClear(0xFFFFFF), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(viClear(rm), VI_ERROR_NSUP_OPER);
  EXPECT_EQ(write(0xFFFFFF, "OUTP ON"), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(write(rm, "OUTP ON"), VI_ERROR_NSUP_OPER);
  ViSession instrument = VI_NULL;
  ASSERT_EQ(open("GPIB0::14::INSTR", &instrument), VI_SUCCESS);
  EXPECT_EQ(viWrite(instrument, nullptr, 4, nullptr), VI_ERROR_USER_BUF);
  EXPECT_FALSE(st().supply.outputOn());
}

TEST_F(SupplyVisaTest, CloseEndsASessionAndAResourceManagerEndsItsOwn) {
  const ViSession rm = resourceManager();
  const ViSession other = resourceManager();
  ViSession first = VI_NULL, second = VI_NULL, kept = VI_NULL;
  ASSERT_EQ(viOpen(rm, "GPIB0::14::INSTR", VI_NO_LOCK, VI_TMO_IMMEDIATE, &first), VI_SUCCESS);
  ASSERT_EQ(viOpen(rm, "GPIB0::14::INSTR", VI_NO_LOCK, VI_TMO_IMMEDIATE, &second), VI_SUCCESS);
  ASSERT_EQ(viOpen(other, "GPIB0::14::INSTR", VI_NO_LOCK, VI_TMO_IMMEDIATE, &kept), VI_SUCCESS);
  const std::size_t open = visa::sessions().openCount();
  EXPECT_EQ(viClose(first), VI_SUCCESS);
  EXPECT_EQ(viClose(first), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(viClose(rm), VI_SUCCESS);  // second goes with it
  EXPECT_EQ(visa::sessions().openCount(), open - 3);
  for (const ViSession closed : {first, second, rm}) {
    EXPECT_EQ(write(closed, "OUTP ON"), VI_ERROR_INV_OBJECT) << closed;
  }
  EXPECT_EQ(write(kept, "OUTP ON"), VI_SUCCESS);  // another manager's session stays open
  EXPECT_EQ(viClose(0xFFFFFF), VI_ERROR_INV_OBJECT);
}

TEST_F(SupplyVisaTest, GpibWritesReachTheSupplyAsOneMessageEach) {
  ViSession instrument = VI_NULL;
  ASSERT_EQ(open("GPIB0::14::INSTR", &instrument), VI_SUCCESS);
  ASSERT_EQ(viClear(instrument), VI_SUCCESS);
  ViUInt32 written = 0;
  EXPECT_EQ(write(instrument, "VOLT 3.9;CURR 1.5", &written), VI_SUCCESS);
  EXPECT_EQ(written, 17u);
  EXPECT_EQ(write(instrument, "OUTP ON\n"), VI_SUCCESS);  // a count may be left out
  EXPECT_EQ(st().supply.outputVoltage(), 3.9);
  EXPECT_DOUBLE_EQ(st().supply.currentLimit(), 1.5);
  EXPECT_EQ(write(instrument, "VOLT"), VI_SUCCESS);  // the supply refuses it, VISA does not
  ASSERT_EQ(st().supply.errors().size(), 1u);
  EXPECT_EQ(st().supply.errors().front().code, -109);
}

TEST_F(SupplyVisaTest, SupplyGoneFromTheBusHasNoListener) {
  ViSession instrument = VI_NULL;
  ASSERT_EQ(open("GPIB0::14::INSTR", &instrument), VI_SUCCESS);
  st().supply.setGpibAddress(9);
  ViUInt32 written = 99;
  EXPECT_EQ(write(instrument, "OUTP ON", &written), VI_ERROR_NLISTENERS);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(viClear(instrument), VI_ERROR_NLISTENERS);
  EXPECT_FALSE(st().supply.outputOn());
}

TEST_F(SupplyVisaTest, FaultScriptDecidesWithoutReachingTheSupply) {
  ViSession instrument = VI_NULL;
  ASSERT_EQ(open("GPIB0::14::INSTR", &instrument), VI_SUCCESS);
  st().faults.add("viWrite", VI_ERROR_TMO);
  ViUInt32 written = 99;
  EXPECT_EQ(write(instrument, "OUTP ON", &written), VI_ERROR_TMO);
  EXPECT_EQ(written, 0u);
  EXPECT_FALSE(st().supply.outputOn());
  EXPECT_EQ(write(instrument, "OUTP ON"), VI_SUCCESS);  // only the first call
  EXPECT_TRUE(st().supply.outputOn());
  const station::Call last = st().journal.calls().back();
  EXPECT_EQ(last.text(true), "viWrite(" + std::to_string(instrument) + ", OUTP ON, 7) = 0");
}

}  // namespace
