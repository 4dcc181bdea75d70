#include "report_command.h"

namespace vorn_reports {
namespace {

std::string ShellWord(const std::string &s) {
  const bool plain = !s.empty() && s.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                       "0123456789-_./:+=@,") == std::string::npos;
  if (plain) return s;
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

std::string LineReportCommand(const std::string &db, const std::string &station, const std::string &since,
                              const std::string &until, const std::string &output) {
  std::string s = "vorn-report line --db " + ShellWord(db);
  if (!station.empty()) s += " --station " + ShellWord(station);
  if (!since.empty()) s += " --since " + ShellWord(since);
  if (!until.empty()) s += " --until " + ShellWord(until);
  return s + " -o " + ShellWord(output);
}

}  // namespace vorn_reports
