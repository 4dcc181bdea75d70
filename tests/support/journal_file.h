// Expected call journals kept as text files under tests/journals/: one call a
// line as the journal writes it, "# " lines as comments, and {name} standing
// for a value only the run knows (a session handle).
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace vorn_test {

// Success when calls are the file's lines; else the difference, line by line.
::testing::AssertionResult MatchesJournalFile(const std::vector<std::string> &calls, const std::string &file,
                                              const std::map<std::string, std::string> &values);

}  // namespace vorn_test
