#include "support/journal_file.h"

#include <algorithm>
#include <fstream>

namespace vorn_test {

namespace {

std::vector<std::string> ReadJournal(const std::string &path, const std::map<std::string, std::string> &values) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    for (const auto &[name, value] : values) {
      const std::string mark = "{" + name + "}";
      for (std::size_t at = line.find(mark); at != std::string::npos; at = line.find(mark, at + value.size())) {
        line.replace(at, mark.size(), value);
      }
    }
    lines.push_back(line);
  }
  return lines;
}

// "-" for an expected line the run lacks, "+" for a call the file lacks, by
// the longest common subsequence of the two.
std::string Difference(const std::vector<std::string> &want, const std::vector<std::string> &got) {
  const std::size_t n = want.size(), m = got.size();
  std::vector<std::vector<std::size_t>> common(n + 1, std::vector<std::size_t>(m + 1, 0));
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = m; j-- > 0;) {
      common[i][j] = want[i] == got[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    }
  }
  std::string out;
  std::size_t i = 0, j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && want[i] == got[j]) {
      out += "  " + want[i++] + "\n";
      ++j;
    } else if (j < m && (i == n || common[i][j + 1] >= common[i + 1][j])) {
      out += "+ " + got[j++] + "\n";
    } else {
      out += "- " + want[i++] + "\n";
    }
  }
  return out;
}

}  // namespace

::testing::AssertionResult MatchesJournalFile(const std::vector<std::string> &calls, const std::string &file,
                                              const std::map<std::string, std::string> &values) {
  const std::string path = std::string(VORN_SOURCE_DIR) + "/tests/journals/" + file;
  const std::vector<std::string> expected = ReadJournal(path, values);
  if (expected.empty()) return ::testing::AssertionFailure() << path << " holds no call";
  if (calls == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the calls differ from " << file << " (-: file, +: run):\n"
                                       << Difference(expected, calls);
}

}  // namespace vorn_test
