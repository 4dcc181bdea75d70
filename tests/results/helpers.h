// What the results tests share: temporary folders, processes of their own
// (the feeder, vorn-host, vorn-results), PostgreSQL servers started by
// scripts/pg-test-server.sh, and whole vorn-host sessions in a folder.
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "outputs/results/database.h"
#include "synthetic.h"

namespace vorn_results_test {

namespace fs = std::filesystem;
using vorn_results::Database;
using vorn_results::Row;
using vorn_results::Value;

struct TempDir {
  fs::path path;
  TempDir() {
    char name[] = "/tmp/vorn-results-XXXXXX";
    path = mkdtemp(name);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string operator/(const std::string &file) const { return (path / file).string(); }
};

inline std::string ServerUrl() {
  const char *url = std::getenv("VORN_PG_URL");
  return url != nullptr ? url : "";
}

inline long Count(Database &db, const std::string &sql, const std::vector<Value> &params = {}) {
  long n = -1;
  std::string error;
  EXPECT_TRUE(db.query(
      sql, params,
      [&](const Row &r) {
        n = std::stol(r[0].value_or("-1"));
        return true;
      },
      error))
      << error;
  return n;
}

inline std::vector<std::string> Lines(const std::string &file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The user nobody, for a process that is to meet a read-only file as the
// station's user would (root writes it all the same).
inline constexpr uid_t kNobody = 65534;

// asUser: run as that user and its group, when the tests run as root.
inline pid_t Spawn(const std::vector<std::string> &args, const std::string &errFile, const std::string &folder = "",
                   uid_t asUser = 0) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(127);
    if (!errFile.empty()) freopen(errFile.c_str(), "a", stderr);
    if (!folder.empty()) freopen("/dev/null", "w", stdout);
    if (asUser != 0 && getuid() == 0 && (setgid(asUser) != 0 || setuid(asUser) != 0)) _exit(127);
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

inline int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline bool WaitForLines(const std::string &file, std::size_t count, int seconds = 60) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (Lines(file).size() < count) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// The text with every run of blanks made one space.
inline std::string Squeezed(const std::string &text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out += c;
  }
  return out;
}

inline int Script(const std::string &command, const std::string &folder) {
  return std::system(("bash " VORN_PG_SCRIPT " " + command + " " + folder + " >/dev/null").c_str());
}

// A server of the test's own, stopped at the end however the test ends
// (let go first, should the test have frozen it).
struct OwnServer {
  std::string folder = "/tmp/vorn-pg-outage-" + std::to_string(getpid());
  bool started = Script("start", folder) == 0;
  ~OwnServer() {
    Script("thaw", folder);
    Script("stop", folder);
    fs::remove_all(folder);
  }
  std::string url() const { return "postgresql:///postgres?host=" + folder + "&user=postgres"; }
};

// Whole sessions of vorn-host on the simulated station, in a working folder
// of their own, into each store.
class HostSession : public ::testing::Test {
 protected:
  // vorn-host ARGS... PARAMS PLAN in the folder, its JSON lines in
  // session.jsonl (written before the database's commit of each attempt).
  pid_t start(std::vector<std::string> args, uid_t asUser = 0) {
    args.insert(args.begin(), {"--json", "session.jsonl"});
    return startBare(std::move(args), asUser);
  }
  // The same without the JSON lines.
  pid_t startBare(std::vector<std::string> args, uid_t asUser = 0) {
    args.insert(args.begin(), {VORN_HOST_FILE, "--quiet"});
    args.insert(args.end(), {"--params", VORN_EXAMPLES_DIR "/station.ini", VORN_EXAMPLES_DIR "/typical.plan"});
    return Spawn(args, dir / "err", dir.path.string(), asUser);
  }
  // The UUIDs of the attempts in the JSON lines, in order.
  std::vector<std::string> logged() const {
    std::vector<std::string> uuids;
    for (const std::string &line : Lines(dir / "session.jsonl")) {
      const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
      if (j.is_object() && j.contains("uuid")) uuids.push_back(j["uuid"]);
    }
    return uuids;
  }
  std::set<std::string> stored(Database &db) {
    std::set<std::string> uuids;
    std::string error;
    EXPECT_TRUE(db.query(
        "SELECT uuid FROM unit", {},
        [&](const Row &r) {
          uuids.insert(*r[0]);
          return true;
        },
        error))
        << error;
    return uuids;
  }
  // Attempts without all the plan's steps, or without every result entry
  // their JSON line holds (one "passed" each).
  long halfWritten(Database &db) {
    const std::string steps = std::to_string(vorn_results_test::TypicalPlan().steps.size());
    long missing = 0;
    for (const std::string &line : Lines(dir / "session.jsonl")) {
      const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
      if (!j.is_object()) continue;  // a line a kill cut short
      std::size_t results = 0;
      for (const nlohmann::json &step : j["steps"]) results += step["results"].size();
      const std::string uuid = j["uuid"];
      missing += Count(db,
                       "SELECT count(*) FROM unit u WHERE u.uuid = $1 AND ((SELECT count(*) FROM step s"
                       " WHERE s.unit_uuid = u.uuid) <> CAST($2 AS INTEGER) OR (SELECT count(*) FROM result r"
                       " WHERE r.unit_uuid = u.uuid) <> CAST($3 AS INTEGER))",
                       {uuid, steps, std::to_string(results)});
    }
    return missing;
  }
  std::string said() const {
    std::ifstream in(dir / "err");
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  TempDir dir;
};

}  // namespace vorn_results_test
