// The one list of the exports (include/Vorn_CMU200_steps.h) against the files
// that cannot include it: the DLL's .def and the step fuzz target's dictionary.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> kSteps = {
#define VORN_CMU200_STEP(name) #name,
#include "Vorn_CMU200_steps.h"
};

std::vector<std::string> Lines(const std::string &relative) {
  std::ifstream in(std::string(VORN_SOURCE_DIR) + "/" + relative);
  EXPECT_TRUE(in) << relative << " cannot be read";
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(StepsList, TheDefExportsExactlyTheListWithTheirArgumentBytes) {
  std::vector<std::string> expected;
#define VORN_CMU200_STEP(name) expected.push_back("Vorn_CMU200_" #name "@16");
#define VORN_CMU200_VERSION_QUERY(name) expected.push_back("Vorn_CMU200_" #name "@4");
#include "Vorn_CMU200_steps.h"
  std::vector<std::string> listed;
  bool inExports = false;
  static const std::regex line(R"(^\s+(\w+@\d+)\s*$)");
  for (const std::string &text : Lines("windows/Vorn_CMU200.def")) {
    std::smatch match;
    if (text.rfind("EXPORTS", 0) == 0)
      inExports = true;
    else if (inExports && std::regex_match(text, match, line))
      listed.push_back(match[1]);
  }
  std::sort(expected.begin(), expected.end());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, expected);
}

TEST(StepsList, TheFuzzDictionaryOpensWithTheSteps) {
  const std::vector<std::string> lines = Lines("fuzz/steps.dict");
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < lines.size() && lines[i].rfind("# The steps", 0) != 0) ++i;
  for (++i; i < lines.size() && lines[i].rfind('#', 0) != 0; ++i) {
    words.push_back(lines[i].size() >= 2 ? lines[i].substr(1, lines[i].size() - 2) : lines[i]);
  }
  EXPECT_EQ(words, kSteps);
}

}  // namespace
