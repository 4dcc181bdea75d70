// The host's INI reader against the profile stand-in it is the reference
// for: the same value for every section and key of a file of the tricky cases.
#include <gtest/gtest.h>

#include <string>

#include "os/ini.h"
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

}  // namespace
