// The Windows API stand-in's profile reader: the Windows rules, not a generic INI parser.
#include <cstring>
#include <string>

#include "outside/winapi.h"
#include "support/station_test.h"
#include "winapi/profile.h"

namespace {

template <std::size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);  // keeps embedded NULs
}

struct FindCase {
  const char *name;
  std::string contents;
  const char *section;
  const char *key;
  const char *expected;  // nullptr: not found
};

TEST(ProfileFindValue, FollowsTheWindowsRules) {
  const FindCase cases[] = {
      {"plain", "[3]\nKey=v\n", "3", "Key", "v"},
      {"case", "[SeCtIoN]\nkEy=v\n", "section", "KEY", "v"},
      {"blanks", "  [ 3 ]  \n  Key  =  v w  \n", "3", "Key", "v w"},
      {"crlf", "[3]\r\nKey=v\r\nOther=w\r\n", "3", "Other", "w"},
      {"bom", "\xEF\xBB\xBF[3]\nKey=v\n", "3", "Key", "v"},
      {"no final newline", "[3]\nKey=v", "3", "Key", "v"},
      {"double quotes", "[3]\nKey=\"a b\"\n", "3", "Key", "a b"},
      {"single quotes", "[3]\nKey='a b'\n", "3", "Key", "a b"},
      {"unmatched quote", "[3]\nKey=\"a b'\n", "3", "Key", "\"a b'"},
      {"lone quote", "[3]\nKey=\"\n", "3", "Key", "\""},
      {"empty quotes", "[3]\nKey=\"\"\n", "3", "Key", ""},
      {"tab inside quotes", "[3]\nKey=\"\tv\"\n", "3", "Key", "\tv"},
      {"tab before quotes", "[3]\nKey=\t\"v\"\n", "3", "Key", "v"},
      {"only a tab in quotes", "[3]\nKey=\"\t\"\n", "3", "Key", "\t"},
      {"semicolon is text", "[3]\nKey=v ; note\n", "3", "Key", "v ; note"},
      {"first '='", "[3]\nKey=a=b\n", "3", "Key", "a=b"},
      {"other section", "[4]\nKey=v\n", "3", "Key", nullptr},
      {"section ends", "[3]\n[4]\nKey=v\n", "3", "Key", nullptr},
      {"'[' line without ']' inside", "[3]\nA=1\n[4\nKey=v\n", "3", "Key", "v"},
      {"a later same-named section", "[3]\nA=1\n[4\nB=2\n[3]\nKey=v\n", "3", "Key", nullptr},
      {"no '='", "[3]\nKey\n", "3", "Key", nullptr},
      {"empty", "[3]\nKey=\n", "3", "Key", ""},
      {"first key wins", "[3]\nKey=1\nKey=2\n", "3", "Key", "1"},
      {"spaced key", "[5]\nMod +/-0.10MHZ Enable = 0\n", "5", "Mod +/-0.10MHZ Enable", "0"},
      {"no section", "Key=v\n", "3", "Key", nullptr},
      {"lines before any section", "Key=v\n[3]\nOther=w\n", "", "Key", "v"},
      {"a later [] is never read", "[3]\nA=1\n[]\nKey=v\n", "", "Key", nullptr},
      {"nul bytes", Bytes("[3]\nKey=a\0b\n"), "3", "Key", "a"},
      {"binary junk", Bytes("\x01\xff[3\n]\0=\n[3]\nKey=v"), "3", "Key", "v"},
      {"bracket in a value", "[4]\nKey=[3]\n[3]\nKey=v\n", "3", "Key", "v"},
      {"name ends at the first ']'", "[3]x]\nKey=v\n", "3", "Key", "v"},
      {"no name holds ']'", "[3]x]\nKey=v\n", "3]x", "Key", nullptr},
      {"name across lines", "[3\n]\nKey=v\n", "3\n", "Key", nullptr},
      // Where the name stands but no section line opens it.
      {"name in a value", "[4]\nKey=3\nA=[3]\n[3]\nKey=v\n", "3", "Key", "v"},
      {"name in a comment", "; [3]\nKey=w\n[3]\nKey=v\n", "3", "Key", "v"},
      {"'[' not first on its line", "x[3]\nKey=w\n[3]\nKey=v\n", "3", "Key", "v"},
      {"name after a second '['", "[ [3]\nKey=w\n[3]\nKey=v\n", "3", "Key", "v"},
      {"prefix of a longer name", "[30]\nKey=w\n[3 0]\nKey=x\n[3]\nKey=v\n", "3", "Key", "v"},
      {"end of a longer name", "[13]\nKey=w\n[ 2 3 ]\nKey=x\n[3]\nKey=v\n", "3", "Key", "v"},
      {"blanks and case", "\t [ \tATTENUATION\v ]\f\nKey=v\n", "Attenuation", "Key", "v"},
      {"blanks inside the name", "[Mod A]\nKey=w\n[mod  a]\nKey=v\n", "MOD  A", "Key", "v"},
      {"case beyond letters", "[`]\nKey=w\n[@]\nKey=v\n", "@", "Key", "v"},
      {"no case beyond ASCII", "[\xE1]\nKey=w\n[\xC1]\nKey=v\n", "\xC1", "Key", "v"},
      {"name '['", "[x]\nKey=w\n[[]\nKey=v\n", "[", "Key", "v"},
      {"the same section twice", "[3]\nA=1\n[3]\nKey=v\n", "3", "Key", nullptr},
      {"twice, in two cases", "[ab]\nA=1\n[AB]\nKey=v\n", "Ab", "Key", nullptr},
      {"cr only", "[2]\rKey=w\r[3]\rA=1\rKey=v\r", "3", "Key", "v"},
      {"mixed line ends", "[2]\r\nKey=w\n[3]\rA=1\r\nKey=v", "3", "Key", "v"},
      {"unclosed at the end", "[4]\nKey=w\n[3", "3", "Key", nullptr},
      {"text after the ']'", "[3] Key=w\nKey=v\n", "3", "Key", "v"},
      {"section line last", "[4]\nKey=w\n[3]", "3", "Key", nullptr},
  };
  for (const FindCase &c : cases) {
    // Blank lines change nothing, and move the section line across the
    // stretches that the section search takes at once.
    const bool bom = c.contents.rfind("\xEF\xBB\xBF", 0) == 0;
    for (std::size_t blanks = 0; blanks <= 70; ++blanks) {
      SCOPED_TRACE(std::string(c.name) + " behind " + std::to_string(blanks) + " blank lines");
      std::string contents = c.contents;
      contents.insert(bom ? 3 : 0, blanks, '\n');
      const auto value = winapi::FindValue(contents, c.section, c.key);
      if (c.expected == nullptr) {
        ASSERT_FALSE(value.has_value()) << *value;
      } else {
        ASSERT_TRUE(value.has_value());
        ASSERT_EQ(winapi::CopyOut(*value, nullptr, 0), 0u);
        char out[64];
        winapi::CopyOut(*value, out, sizeof out);
        ASSERT_STREQ(out, c.expected);
      }
    }
  }
}

// Names that are prefixes and ends of one another ("7", "17", "170"), in
// both cases, at every offset from the start of a stretch of the search.
TEST(ProfileFindValue, FindsEverySectionOfALongFile) {
  std::string contents;
  for (int i = 0; i < 600; ++i) {
    contents += std::string(i % 3, ' ') + (i % 2 == 0 ? "[s" : "[ S") + std::to_string(i) +
                "]\nKey=" + std::to_string(i) + "\n";
  }
  for (int i = 0; i < 600; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(winapi::FindValue(contents, "S" + std::to_string(i), "Key").value_or("?"), std::to_string(i));
  }
  EXPECT_FALSE(winapi::FindValue(contents, "S600", "Key").has_value());
}

TEST(ProfileFindValue, SurvivesVeryLongLines) {
  const std::string contents = "[3]\nJunk=" + std::string(1 << 20, 'x') + "\nKey=v\n";
  EXPECT_EQ(winapi::FindValue(contents, "3", "Key").value_or("?"), "v");
}

TEST(ProfileInt, WrapsLikeA32BitUnsignedConversion) {
  EXPECT_EQ(winapi::ParseProfileInt("  -85"), static_cast<uint32_t>(-85));
  EXPECT_EQ(winapi::ParseProfileInt("+7x"), 7u);
  EXPECT_EQ(winapi::ParseProfileInt("x7"), 0u);
  EXPECT_EQ(winapi::ParseProfileInt("4294967296"), 0u);
  EXPECT_EQ(winapi::ParseProfileInt("99999999999999999999"), 1661992959u);
}

TEST(ProfileInt, ReadsTheBasePrefixesOfWindows) {
  const struct {
    const char *text;
    uint32_t expected;
  } cases[] = {
      {"0x1F", 31u},       {"-0x10", static_cast<uint32_t>(-16)},
      {"0xfFz", 255u},     {"0o17", 15u},
      {"0b101", 5u},       {"0b102", 2u},
      {"017", 17u},        {"0X1F", 0u},
      {"0x", 0u},          {"0xG", 0u},
      {"0o9", 0u},         {"0xFFFFFFFF", 4294967295u},
      {"0x100000001", 1u},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(winapi::ParseProfileInt(c.text), c.expected);
  }
}

class ProfileApiTest : public vorn_test::StationTest {};

TEST_F(ProfileApiTest, StringCopiesAtMostSizeLessOneAndTerminates) {
  writeParameters("[3]\nKey=abcdef\n");
  char out[8];
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(GetPrivateProfileStringA("3", "Key", "", out, 4, parameterPath().c_str()), 3u);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(out[4], '#');  // nothing written past the size
  EXPECT_EQ(GetPrivateProfileStringA("3", "Key", "", out, 0, parameterPath().c_str()), 0u);
}

TEST_F(ProfileApiTest, MissingFileOrKeyGivesTheDefault) {
  char out[32];
  EXPECT_EQ(GetPrivateProfileStringA("3", "Key", "dflt  ", out, sizeof out, "/nonexistent/x.ini"), 4u);
  EXPECT_STREQ(out, "dflt");  // the default loses its trailing blanks
  GetPrivateProfileStringA("3", "Key", "dflt \t", out, sizeof out, "/nonexistent/x.ini");
  EXPECT_STREQ(out, "dflt \t");  // only spaces: a tab stays, and the spaces before it
  GetPrivateProfileStringA("3", "Key", nullptr, out, sizeof out, "/nonexistent/x.ini");
  EXPECT_STREQ(out, "");
  EXPECT_EQ(GetPrivateProfileIntA("3", "Key", -85, "/nonexistent/x.ini"), static_cast<uint32_t>(-85));
  EXPECT_EQ(GetPrivateProfileIntA("3", "Key", 5, nullptr), 5u);
}

TEST_F(ProfileApiTest, IntOfEmptyOrQuotedValue) {
  writeParameters("[3]\nEmpty=\nQuoted=\"12\"\nBlank=   \nNoQuoted=\"\"\n");
  const char *path = parameterPath().c_str();
  EXPECT_EQ(GetPrivateProfileIntA("3", "NoQuoted", 9, path), 9u);
  EXPECT_EQ(GetPrivateProfileIntA("3", "Empty", 9, path), 9u);
  EXPECT_EQ(GetPrivateProfileIntA("3", "Blank", 9, path), 9u);
  EXPECT_EQ(GetPrivateProfileIntA("3", "Quoted", 9, path), 12u);
}

TEST_F(ProfileApiTest, IntOfHexadecimalValue) {
  writeParameters("[3]\nHex=0x1F\nUpper=0X1F\n");
  const char *path = parameterPath().c_str();
  EXPECT_EQ(GetPrivateProfileIntA("3", "Hex", 9, path), 31u);
  EXPECT_EQ(GetPrivateProfileIntA("3", "Upper", 9, path), 0u);
}

}  // namespace
