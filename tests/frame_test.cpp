// The step frame: the prologue's section text, the result writers, the four
// failure forms and the version query.
#include <cstring>
#include <string>

#include "frame/step.h"
#include "support/station_test.h"

namespace {

using vorn::Step;

class FrameTest : public vorn_test::StationTest {};

TEST_F(FrameTest, VersionBeforeAnyOtherStep) {
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(Vorn_CMU200_GetVersion(buffer), 0);
  EXPECT_STREQ(buffer, "1.04");
  EXPECT_EQ(buffer[5], '#');
  EXPECT_TRUE(st().journal.calls().empty());  // no equipment, no parameters
}

TEST_F(FrameTest, StepSectionIsTheStepNumber) {
  writeParameters("[7]\nKey=seven\n[-3]\nKey=minus three\n");
  const struct {
    int32_t number;
    const char *section;
    const char *value;
  } cases[] = {{7, "7", "seven"}, {-3, "-3", "minus three"}, {12, "12", "none"}};
  for (const auto &c : cases) {
    Step step(c.number, host.values, host.names, host.errorText);
    EXPECT_STREQ(step.section(), c.section);
    EXPECT_STREQ(step.ReadString("Key", "none").c_str(), c.value);
  }
  EXPECT_EQ(st().journal.count("dcGet_ParaFileName"), 3u);
}

TEST_F(FrameTest, FailedPathFetchGivesDefaults) {
  writeParameters("[1]\nKey=5\n");
  st().faults.add("dcGet_ParaFileName", 7);
  Step failed(1, host.values, host.names, host.errorText);
  EXPECT_EQ(failed.ReadInt("Key", 3), 3);  // not detected: the key takes its default
  Step next(1, host.values, host.names, host.errorText);
  EXPECT_EQ(next.ReadInt("Key", 3), 5);
}

TEST_F(FrameTest, ValuesAndNamesFromIndexOne) {
  Step step(1, host.values, host.names, host.errorText);
  step.setValue(1, 2.5);
  step.setValue(0, 9.0);  // index 0 is never written
  step.setName(1, "Band=%s;Chan=%d", "EGSM", 62);
  EXPECT_EQ(host.values[0], vorn_test::HostBuffers::kUntouched);
  EXPECT_EQ(host.values[1], 2.5);
  EXPECT_EQ(host.name(1), "Band=EGSM;Chan=62");
  EXPECT_EQ(host.values[2], vorn_test::HostBuffers::kUntouched);
}

TEST_F(FrameTest, NameIsBoundedToItsEntry) {
  Step step(1, host.values, host.names, host.errorText);
  const std::string prefix(254, 'p');
  step.setName(1, "COM%d, %d, %s", 3, 115200, prefix.c_str());
  EXPECT_EQ(std::strlen(host.names[1]), vorn::kResultNameSize - 1);
  EXPECT_EQ(host.name(1).substr(0, 14), "COM3, 115200, ");
  EXPECT_EQ(host.names[2][0], '#');  // the next entry is untouched
}

TEST_F(FrameTest, FailureForms) {
  Step step(1, host.values, host.names, host.errorText);
  const struct {
    const char *name;
    void (*write)(Step &);
    const char *expected;
  } cases[] = {
      {"tester", [](Step &s) { s.writeTesterFailure("RSCMU_Query"); }, "RSCMU_Query Failed! CMU200 Error:"},
      {"tester coded", [](Step &s) { s.writeTesterCodedFailure(-1, "RSCMU_Init_GSM_Sig"); },
       "CMU200 Error: -1. RSCMU_Init_GSM_Sig Failed! "},
      {"mobile", [](Step &s) { s.writeMobileFailure("DWD_sw_reset", "no answer on COM3"); },
       "DWD_sw_reset Failed! DWD Error:no answer on COM3"},
      {"supply", [](Step &s) { s.writeSupplyFailure("DC_Current_3A"); }, "DC_Current_3ADcInit Failed!"},
      {"fixed", [](Step &s) { s.writeText("Band Not Support!"); }, "Band Not Support!"},
      {"fixed with detail", [](Step &s) { s.writeText("DWD_check_comm_link Failed! ErrMsg:", "timeout"); },
       "DWD_check_comm_link Failed! ErrMsg:timeout"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::memset(host.errorText, 'x', 100);  // whatever the buffer held is replaced
    c.write(step);
    EXPECT_STREQ(host.errorText, c.expected);
  }
  EXPECT_EQ(step.failed(), -1);
  EXPECT_TRUE(host.resultsUntouched());
}

TEST_F(FrameTest, LongLastErrorIsCutInsideTheErrorText) {
  Step step(1, host.values, host.names, host.errorText);
  const std::string lastError(2000, 'e');
  step.writeMobileFailure("DWD_set_com_port", lastError.c_str());
  EXPECT_EQ(std::strlen(host.errorText), vorn::kErrorTextSize - 1);
  EXPECT_EQ(std::string(host.errorText).rfind("DWD_set_com_port Failed! DWD Error:eee", 0), 0u);
}

}  // namespace
