// The parameter file readers, on real files through the Windows API stand-in.
#include <clocale>
#include <cmath>
#include <cstring>
#include <string>

#include "frame/param_file.h"
#include "support/station_test.h"

namespace {

using vorn::ParamFile;

class ParamFileTest : public vorn_test::StationTest {
 protected:
  ParamFile open(const std::string &contents) {
    writeParameters(contents);
    ParamFile file;
    file.Open(parameterPath().c_str());
    return file;
  }
};

struct StringCase {
  const char *line;  // the key line, or "" for no key
  const char *def;
  const char *expected;
};

TEST_F(ParamFileTest, ReadStringCutsCommentsAndTrims) {
  const StringCase cases[] = {
      {"ComPort=COM3 // the fixture's port", "", "COM3"},
      {"ComPort=COM3/* the fixture's port */", "", "COM3"},
      {"ComPort=/* nothing */", "x", ""},
      {"ComPort=\tCOM3\t ", "", "COM3"},
      {"ComPort=", "x", ""},
      {"", "", ""},
      {"", "ULC2", "ULC2"},
      {"ComPort=a/*b//c", "", "a"},  // "//" first, then "/*"
      {"ComPort=a//b/*c", "", "a"},
      {"ComPort=\"  two\"", "", " two"},  // the quotes go, then one leading blank
      {"ComPort=http://host", "", "http:"},
  };
  for (const StringCase &c : cases) {
    SCOPED_TRACE(c.line);
    const ParamFile file = open(std::string("[3]\n") + c.line + "\n");
    EXPECT_STREQ(file.ReadString("3", "ComPort", c.def).c_str(), c.expected);
  }
}

TEST_F(ParamFileTest, ReadStringOfLongValueStaysInsideItsBuffer) {
  const ParamFile file = open("[1]\nPrefix=" + std::string(600, 'p') + "\n");
  const vorn::ParamText text = file.ReadString("1", "Prefix", "");
  EXPECT_EQ(std::strlen(text.c_str()), vorn::kValueSize - 1);
}

struct NumberCase {
  const char *line;
  double expected;
};

TEST_F(ParamFileTest, ReadFloatConvertsLikeAtof) {
  const NumberCase cases[] = {
      {"", -100.0},         // missing key: the default
      {"CellPower=", 0.0},  // empty value: 0.0, not the default
      {"CellPower=1.5dB", 1.5},
      {"CellPower=dB", 0.0},
      {"CellPower=-85.5", -85.5},
      {"CellPower=  +2e1x", 20.0},
      {"CellPower=.25", 0.25},
      {"CellPower=1e999", HUGE_VAL},
      {"CellPower=1e-999", 0.0},
      {"CellPower=nan", 0.0},
  };
  for (const NumberCase &c : cases) {
    SCOPED_TRACE(c.line);
    const ParamFile file = open(std::string("[3]\n") + c.line + "\n");
    EXPECT_EQ(file.ReadFloat("3", "CellPower", -100.0f), c.expected);
  }
}

TEST_F(ParamFileTest, ReadFloatDefaultKeepsSixDecimals) {
  const ParamFile file = open("[3]\n");
  // "%f" of the widened 1.3f is "1.300000": six decimals, so 1.3 comes back.
  EXPECT_EQ(file.ReadFloat("3", "Missing", 1.3f), 1.3);
  EXPECT_EQ(file.ReadFloat("3", "Missing", 1e-7f), 0.0);
}

TEST_F(ParamFileTest, ReadFloatIgnoresTheProcessLocale) {
  const char *previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous == nullptr ? "C" : previous;
  const bool comma =
      std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr || std::setlocale(LC_ALL, "fr_FR.UTF-8") != nullptr;
  const ParamFile file = open("[3]\nCellPower=1.5\n");
  const double read = file.ReadFloat("3", "CellPower", 0.0f);
  const double fallback = file.ReadFloat("3", "Missing", -2.5f);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(read, 1.5);
  EXPECT_EQ(fallback, -2.5);
  if (!comma) GTEST_SKIP() << "no comma-decimal locale installed; read under C only";
}

TEST_F(ParamFileTest, ReadIntTakesTheLeadingInteger) {
  const NumberCase cases[] = {
      {"", 115200},
      {"BaudRate=12abc", 12},
      {"BaudRate=-85", -85},
      {"BaudRate=abc", 0},
      {"BaudRate=", 115200},        // an empty value gives the default
      {"BaudRate=4294967295", -1},  // 32-bit wrap-around, not undefined behaviour
  };
  for (const NumberCase &c : cases) {
    SCOPED_TRACE(c.line);
    const ParamFile file = open(std::string("[3]\n") + c.line + "\n");
    EXPECT_EQ(file.ReadInt("3", "BaudRate", 115200), c.expected);
  }
}

TEST_F(ParamFileTest, KeysAndSectionsMatchWithoutCase) {
  const ParamFile file = open("[attenuation]\ngsm850_low_ch=2.5\n");
  EXPECT_EQ(file.ReadFloat("Attenuation", "GSM850_Low_CH", 1.0f), 2.5);
}

TEST_F(ParamFileTest, UnterminatedPathIsNotHeldCut) {
  // A path that fills the whole 512-character buffer without a terminator
  // would name another file if cut; it is not held at all.
  writeParameters("[1]\nKey=7\n");
  std::string path(vorn::kPathSize, 'a');
  ParamFile file;
  file.Open(path.c_str());
  EXPECT_STREQ(file.path(), "");
  EXPECT_EQ(file.ReadInt("1", "Key", 3), 3);

  // A long path that fits is held in full.
  path = "/tmp/" + std::string(400, 'b');
  file.Open(path.c_str());
  EXPECT_EQ(std::string(file.path()), path);
}

TEST(FormatFixed6, MatchesPrintfUnderC) {
  const double values[] = {0.0, -100.0, 1.3f, 123456.789, -0.0000004};
  for (double v : values) {
    char ours[64];
    char theirs[64];
    vorn::FormatFixed6(v, ours, sizeof ours);
    std::snprintf(theirs, sizeof theirs, "%f", v);
    EXPECT_STREQ(ours, theirs);
  }
}

}  // namespace
