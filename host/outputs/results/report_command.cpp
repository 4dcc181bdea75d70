#include "outputs/results/report_command.h"

namespace vorn_reports {

#if defined(_WIN32)
// A word as cmd.exe passes it on and the C runtime's argument parser reads it
// back: in double quotes unless plain; inside them a quote is escaped with a
// backslash, and the backslashes before it or before the closing quote doubled.
std::string ShellWord(const std::string &s) {
  const bool plain = !s.empty() && s.find_first_not_of(
                                       "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                       "0123456789-_./:+=@,\\") == std::string::npos;
  if (plain) return s;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : s) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, '\\');
  return out + "\"";
}
#else
std::string ShellWord(const std::string &s) {
  const bool plain = !s.empty() && s.find_first_not_of(
                                       "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                       "0123456789-_./:+=@,") == std::string::npos;
  if (plain) return s;
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}
#endif

std::string CommandText(const std::vector<std::string> &words) {
  std::string text;
  for (const std::string &w : words) text += (text.empty() ? "" : " ") + ShellWord(w);
  return text;
}

namespace {

// A server address as it may be shown: without a password in its user part
// (libpq then takes it from the password file or PGPASSWORD).
std::string Shown(const std::string &db) {
  const std::size_t scheme = db.find("://");
  if (scheme == std::string::npos || db.rfind("postgres", 0) != 0) return db;
  const std::size_t begin = scheme + 3;
  const std::size_t at = db.find('@', begin);
  const std::size_t slash = db.find('/', begin);
  if (at == std::string::npos || (slash != std::string::npos && slash < at)) return db;
  const std::size_t colon = db.find(':', begin);
  if (colon == std::string::npos || colon > at) return db;
  return db.substr(0, colon) + db.substr(at);
}

}  // namespace

std::string ShownTarget(const std::string &db) { return Shown(db); }

std::string LineReportCommand(const std::string &tool, const std::string &db, const std::string &station,
                              const std::string &since, const std::string &until, const std::string &output) {
  std::string s = ShellWord(tool) + " line --db " + ShellWord(Shown(db));
  if (!station.empty()) s += " --station " + ShellWord(station);
  if (!since.empty()) s += " --since " + ShellWord(since);
  if (!until.empty()) s += " --until " + ShellWord(until);
  return s + " -o " + ShellWord(output);
}

}  // namespace vorn_reports
