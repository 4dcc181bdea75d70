// The host's INI reader against the profile stand-in it is the reference
// for, and the station's settings it reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "os/ini.h"
#include "support/host_run.h"
#include "winapi/profile.h"

namespace {

TEST(HostIni, ReadsAsTheProfileFunctionsDo) {
  const std::string text =
      "\xEF\xBB\xBF"
      "top=1\r\n[ One ]\r\nKey = \"quoted\" \r\nkey=second\rbare\n[two]\nbare\nbare=late\n; x=comment\n"
      "[three\nx=still two\n[ONE]\nkey=never\n[]\nempty=hidden\n";
  const vorn_host::IniText ini(text);
  EXPECT_EQ(ini.sections(), (std::vector<std::string>{"One", "two", "ONE", ""}));  // "[three" opens none
  for (const char *section : {"", "one", "ONE", " two ", "three", "[]"}) {
    for (const char *key : {"top", "key", "KEY", "bare", "; x", "empty", "x"}) {
      EXPECT_EQ(ini.value(section, key), winapi::FindValue(text, section, key)) << section << "/" << key;
    }
  }
  EXPECT_EQ(ini.value("one", "key"), "quoted");
  // A key's first line decides: "bare" without '=' hides its later value.
  EXPECT_EQ(ini.entries("two"),
            (std::vector<std::pair<std::string, std::string>>{{"; x", "comment"}, {"x", "still two"}}));
}

// New values for some keys of a section: the profile reader then finds each
// new value where the old one was, and every other byte of the text is kept.
TEST(HostIni, NewValuesChangeOnlyTheBytesOfThoseValues) {
  const std::string text =
      "\xEF\xBB\xBF; loss table\r\n[Other]\r\nA=9\r\n[ attenuation ]\r\n a = 0.6   // 824 MHz\r\n"
      "B=\"1.2\"\r\nC\r\nC=7\r\nD=\r\nA=never\r\n[Attenuation]\r\nE=5\r\n";
  const struct {
    std::vector<std::pair<std::string, std::string>> values;
    std::string expected;
    std::vector<std::string> missing;
  } cases[] = {
      {{{"A", "2.10   // 824 MHz"}, {"b", "1.35"}},
       "\xEF\xBB\xBF; loss table\r\n[Other]\r\nA=9\r\n[ attenuation ]\r\n a = 2.10   // 824 MHz\r\n"
       "B=\"1.35\"\r\nC\r\nC=7\r\nD=\r\nA=never\r\n[Attenuation]\r\nE=5\r\n",
       {}},
      // An empty value is filled in; a key whose first line has no '=', and
      // a key only a later section of the name has, are missing.
      {{{"D", "3"}, {"C", "8"}, {"E", "6"}},
       "\xEF\xBB\xBF; loss table\r\n[Other]\r\nA=9\r\n[ attenuation ]\r\n a = 0.6   // 824 MHz\r\n"
       "B=\"1.2\"\r\nC\r\nC=7\r\nD=3\r\nA=never\r\n[Attenuation]\r\nE=5\r\n",
       {"C", "E"}},
  };
  for (const auto &c : cases) {
    std::vector<std::string> missing;
    const std::string out = vorn_host::WithIniValues(text, "Attenuation", c.values, missing);
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ(missing, c.missing);
    for (const auto &[key, value] : c.values) {
      const bool changed = std::find(c.missing.begin(), c.missing.end(), key) == c.missing.end();
      EXPECT_EQ(winapi::FindValue(out, "Attenuation", key),
                changed ? std::optional<std::string>(value) : winapi::FindValue(text, "Attenuation", key))
          << key;
    }
  }
  std::vector<std::string> missing;
  EXPECT_EQ(vorn_host::WithIniValues(text, "Nowhere", {{"A", "1"}}, missing), text);
  EXPECT_EQ(missing, std::vector<std::string>{"A"});
}

}  // namespace

namespace {

// The station's settings: read before anything runs; a value that cannot be
// used stops the station with exit status 2, naming file, section and key.
TEST(HostSettings, ASettingThatCannotBeUsedStopsTheStationBeforeItStarts) {
  const std::string examples = VORN_EXAMPLES_DIR;
  const std::string dir = vorn_test::TempDir();
  const struct {
    std::string text;
    std::string said;  // empty: taken
  } cases[] = {
      {"[Scanning]\nSerialPattern=^SIM-[0-9]{6}$\n[Health]\nLockAfterFailures=3\n", ""},
      {"[Scanning]\nSerialPattern=SIM-(\n", "[Scanning] SerialPattern=SIM-(: not a regular expression"},
      {"[Health]\nVerificationHours=twelve\n", "[Health] VerificationHours=twelve: not a number"},
      {"[Health]\nLockAfterFailures=-1\n", "[Health] LockAfterFailures=-1: not a number of at least 0"},
  };
  for (const auto &c : cases) {
    std::ofstream(dir + "/settings.ini") << c.text;
    const vorn_test::HostRun r =
        vorn_test::RunHost("--fast --quiet --no-db --settings " + dir + "/settings.ini" + " --params " + examples +
                           "/station.ini " + examples + "/typical.plan");
    EXPECT_EQ(r.status, c.said.empty() ? 0 : 2) << c.text << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
  }
  const vorn_test::HostRun missing =
      vorn_test::RunHost("--fast --quiet --no-db --settings " + dir + "/none.ini" + " --params " + examples +
                         "/station.ini " + examples + "/typical.plan");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("cannot read the station's settings"), std::string::npos) << missing.err;
  vorn_test::RemoveTempDir(dir);
}

}  // namespace
