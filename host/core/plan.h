// A plan file: the steps of a station run, one a line, each with the number
// that names its parameter section and optional limits on its result entries.
//
//   # supply, phone, tester
//   DcInit              1   1=1
//   Vorn_CMU200_MobInit 2   1=1
//   OBTPowervsTime      10  1=28..36  5=1
//
// A limit is ENTRY=VALUE, ENTRY=LOW..HIGH, ENTRY=LOW.. or ENTRY=..HIGH, the
// bounds included; FIRST-LAST in place of ENTRY gives each entry of the range
// the same limit. "#" or ";" starts a comment that runs to the end of the line.
//
// A line "cleanup:" ends the plan's test steps; the steps after it are its
// cleanup, run at the end of every run whatever happened before, so that the
// next unit finds the station in a known state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn_host {

inline constexpr const char *kExportPrefix = "Vorn_CMU200_";
// Result entries a step may write: 1 to 30 of the host's 31.
inline constexpr int kFirstEntry = 1;
inline constexpr int kLastEntry = 30;

struct Limit {
  int entry = 1;
  std::optional<double> low;
  std::optional<double> high;

  bool accepts(double value) const;
  // "1", "28..36", "-60..", "..-20"
  std::string text() const;
};

struct PlanStep {
  int line = 0;            // in the plan file, from 1
  std::string exportName;  // "Vorn_CMU200_OBTInit"
  int32_t number = 0;      // names the step's parameter section
  std::vector<Limit> limits;
  bool cleanup = false;  // in the plan's cleanup section

  // The export name without its prefix: "OBTInit".
  std::string shortName() const;
  const Limit *limitFor(int entry) const;
};

struct Plan {
  std::string file;
  std::vector<PlanStep> steps;
};

// A step's limits in the plan's own words, "1=30..36 4=-1..1 5=1", and back.
std::string LimitsText(const std::vector<Limit> &limits);
std::vector<Limit> LimitsFromText(std::string_view text);

// The thirteen steps of the library, by export name.
const std::vector<std::string> &StepExports();

// "PLAN:LINE: OBTPowervsTime names its results before the plan's first power
// level step ...", for each step whose result names carry the power control
// level (power versus time, receive level and quality, handover) before the
// plan's first OBTChangeTXLevel: the library names them with the level it
// last set, in a session the previous unit's.
std::vector<std::string> NamedBeforeALevel(const Plan &plan);

// Messages name the first bad lines of a plan; the rest are counted.
inline constexpr int kShownBadLines = 20;

// Parses a plan's text. Each of the first kShownBadLines bad lines adds one
// "file:line: problem" to errors (quoting at most an excerpt of the line),
// and one more tells how many bad lines follow; the plan is usable only when
// errors stays empty. A UTF-8 byte order mark, and CR LF, LF or CR line ends
// read alike.
Plan ParsePlan(std::string_view text, const std::string &file, std::vector<std::string> &errors);
// Reads and parses a plan file; a file that is no readable regular file of
// at most kLargestTextInput bytes is one error.
Plan ReadPlan(const std::string &path, std::vector<std::string> &errors);

}  // namespace vorn_host
