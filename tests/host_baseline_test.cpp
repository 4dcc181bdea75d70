// The typical run as a reader sees it, held against files under
// tests/baselines/: its results table and its JSON record, with what changes
// from run to run (times, identifiers, this machine's paths) masked. A
// failure prints the diff; VORN_UPDATE_BASELINES=1 writes the files anew
// (HACKING.md, "Baselines").
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

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

}  // namespace
