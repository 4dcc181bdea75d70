// Which station vorn-host takes itself to be on, from the equipment
// libraries in its process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/real_station.h"

namespace {

using vorn_host::EquipmentFound;

TEST(HostEquipment, TheLinkedStandInsAnswerTheirQuery) {
  // This process links the four stand-ins, as the library does.
  const EquipmentFound found = vorn_host::FindEquipment();
  EXPECT_EQ(found.standIns, vorn_host::EquipmentLibraries());
  EXPECT_TRUE(found.others.empty());
  EXPECT_TRUE(found.missing.empty());
  EXPECT_TRUE(found.simulated());
  EXPECT_EQ(found.problem(), "");
}

TEST(HostEquipment, OnlyAWholeSetOfOneKindRuns) {
  const std::vector<std::string> all = vorn_host::EquipmentLibraries();
  const struct {
    EquipmentFound found;
    bool simulated;
    std::string problem;  // the start of it; empty: none
  } cases[] = {
      {{{}, all, {}}, false, ""},
      {{{"rscmu200_32", "rscmuk2g_32"}, {"DWDIO", "VISA32"}, {}},
       false,
       "the equipment libraries are a mix of the project's stand-ins (rscmu200_32, rscmuk2g_32) and others (DWDIO, "
       "VISA32)"},
      {{{"rscmu200_32", "rscmuk2g_32", "DWDIO"}, {}, {"VISA32"}},
       false,
       "the library was loaded without the equipment libraries VISA32"},
      {{{}, {}, all}, false, "the library was loaded without the equipment libraries rscmu200_32, rscmuk2g_32"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(c.found.simulated(), c.simulated) << c.problem;
    EXPECT_EQ(c.found.problem().rfind(c.problem, 0), 0u) << c.found.problem();
    EXPECT_EQ(c.found.problem().empty(), c.problem.empty()) << c.found.problem();
  }
}

TEST(HostEquipment, ARealStationsWaitsAreTheWallClocks) {
  vorn_host::RealStation station;
  const uint64_t before = station.waitedMs();
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
  while (std::chrono::steady_clock::now() < until) {
  }
  EXPECT_GE(station.waitedMs() - before, 20u);
}

}  // namespace
