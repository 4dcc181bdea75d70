// What the console shows: the results table of a single run, and a session's
// summary table. Texts from outside never bring a control byte to the terminal.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "core/record.h"
#include "core/tally.h"

namespace vorn_host {

// The results table: the setting, a line per step (number, step, verdict,
// time), a line per entry it wrote (value, limit, name, the measurement in
// words and its unit), the run's verdict.
void WriteTable(std::ostream &out, const SessionRecord &session, const RunRecord &run);

// The session's table: its setting, the attempts that did not pass with
// their first finding in words (the first kListed), the tally and the attempts.
class SessionTable {
 public:
  static constexpr std::size_t kListed = 200;  // attempts listed; the records hold them all

  void add(const UnitRecord &attempt);
  void write(std::ostream &out, const SessionRecord &session, const Tally &tally, bool stopped) const;

 private:
  std::vector<std::string> notPassed_;
  std::size_t notListed_ = 0;
};

// The heading both tables open with: library, station, clock.
std::string Heading(const SessionRecord &session);

}  // namespace vorn_host
