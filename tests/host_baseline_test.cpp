// The typical run as a reader sees it, held against files under
// tests/baselines/: its results table, its JSON record and a failing unit's
// report page, with what changes from run to run (times, identifiers, this
// machine's name and paths) masked. A
// failure prints the diff; VORN_UPDATE_BASELINES=1 writes the files anew
// (HACKING.md, "Baselines").
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>

#include "support/host_run.h"

namespace {

using nlohmann::ordered_json;

const std::string kExamples = VORN_EXAMPLES_DIR;
const std::string kBaselines = std::string(VORN_SOURCE_DIR) + "/tests/baselines/";

std::string Replaced(std::string text, const std::string &what, const std::string &by) {
  for (std::size_t at; (at = text.find(what)) != std::string::npos;) text.replace(at, what.size(), by);
  return text;
}

// What differs between two runs of the same plan on the same station.
std::string MaskedTable(std::string table) {
  table = Replaced(table, kExamples, "EXAMPLES");
  table = std::regex_replace(table, std::regex("started [0-9T:Z-]+"), "started TIME");
  table = std::regex_replace(table, std::regex("  [0-9]+\\.[0-9]{2} s\n"), "  WALL s\n");
  return std::regex_replace(table, std::regex(" in [0-9]+\\.[0-9]{2} s,"), " in WALL s,");
}

void Mask(ordered_json &j, const std::string &key) {
  if (j.contains(key) && !j[key].is_null()) j[key] = "MASKED";
}

std::string MaskedRecord(const std::string &text) {
  ordered_json j = ordered_json::parse(text);
  for (const char *key : {"uuid", "started", "durationMs"}) Mask(j, key);
  for (const char *key : {"id", "host", "library", "started", "ended"}) Mask(j["session"], key);
  j["session"]["plan"] = Replaced(j["session"]["plan"], kExamples, "EXAMPLES");
  j["session"]["parameters"] = Replaced(j["session"]["parameters"], kExamples, "EXAMPLES");
  Mask(j["unit"], "id");
  for (ordered_json &step : j["steps"]) Mask(step, "durationMs");
  return j.dump(2) + "\n";
}

// A unit's page as another run on another machine gives it: the session's
// folder, the build's and the examples' paths, the machine's name, times,
// UUIDs and the wall time masked.
std::string MaskedPage(std::string page, const std::string &dir, const std::string &bin) {
  page = Replaced(Replaced(Replaced(page, dir, "SESSION"), bin, "BIN"), kExamples, "EXAMPLES");
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) == 0 && host[0] != '\0') {
    page = Replaced(page, "line3 (" + std::string(host) + ")", "line3 (HOST)");
  }
  page = std::regex_replace(page, std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z"), "TIME");
  page = std::regex_replace(page, std::regex("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}"), "UUID");
  return std::regex_replace(page, std::regex("wall time [0-9.]+ s"), "wall time WALL s");
}

// The baseline's text against what the run gave: equal, or the diff and a
// failure. With VORN_UPDATE_BASELINES set, the baseline becomes the run's.
void ExpectBaseline(const std::string &name, const std::string &actual) {
  const std::string path = kBaselines + name;
  if (std::getenv("VORN_UPDATE_BASELINES") != nullptr) {
    std::ofstream(path, std::ios::binary) << actual;
    return;
  }
  const std::string expected = vorn_test::ReadText(path);
  if (expected == actual) return;
  const std::string dir = vorn_test::TempDir();
  std::ofstream(dir + "/actual", std::ios::binary) << actual;
  const std::string command = "diff -u " + path + " " + dir + "/actual 2>&1";
  std::string diff;
  if (std::FILE *p = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) diff.append(buffer, n);
    pclose(p);
  }
  vorn_test::RemoveTempDir(dir);
  ADD_FAILURE() << name << " differs from its baseline (VORN_UPDATE_BASELINES=1 renews it):\n" << diff;
}

TEST(Baseline, TheTypicalRunsTableAndRecord) {
  const std::string dir = vorn_test::TempDir();
  const vorn_test::HostRun r =
      vorn_test::RunHost("--fast --quiet --no-db --station line3 --json " + dir + "/record.json --params " + kExamples +
                         "/station.ini " + kExamples + "/typical.plan");
  ASSERT_EQ(r.status, 0) << r.err;
  ExpectBaseline("typical-run.txt", MaskedTable(r.out));
  ExpectBaseline("typical-record.json", MaskedRecord(vorn_test::ReadText(dir + "/record.json")));
  vorn_test::RemoveTempDir(dir);
}

// A failing unit's page, from a session of the typical plan whose marginal
// phones fail one now and then (the 25th misses a limit on every run).
TEST(Baseline, AFailingUnitsPage) {
  const std::string dir = vorn_test::TempDir();
  const vorn_test::HostRun r = vorn_test::RunHost(
      "--fast --quiet --units 25 --scenario marginal-phones --station line3 --operator 'Ann Smith' --db " + dir +
          "/results.sqlite --params " + kExamples + "/station.ini " + kExamples + "/typical.plan",
      120);
  ASSERT_EQ(r.status, 1) << "a marginal phone fails: " << r.out << r.err;
  const std::string report = vorn_test::BuiltFile("vorn-report");
  const std::string command =
      report + " unit SIM-000025 --db " + dir + "/results.sqlite -o " + dir + "/unit.html >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  ExpectBaseline("unit-page.html",
                 MaskedPage(vorn_test::ReadText(dir + "/unit.html"), dir, report.substr(0, report.rfind('/'))));
  vorn_test::RemoveTempDir(dir);
}

}  // namespace
