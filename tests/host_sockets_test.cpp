// Several sockets on one station: a worker process per socket, the units
// handed to whichever is free, a dead worker's unit ERROR and its socket
// started again, a stop that runs every socket's cleanup.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/host_run.h"

namespace {

using nlohmann::json;

const std::string kExamples = VORN_EXAMPLES_DIR;

std::vector<json> Records(const std::string &path) {
  std::vector<json> records;
  std::istringstream lines(vorn_test::ReadText(path));
  for (std::string line; std::getline(lines, line);) records.push_back(json::parse(line));
  return records;
}

// vorn-host in the background, in dir, its output there.
pid_t StartHost(const std::string &dir, const std::string &args) {
  const pid_t pid = fork();
  if (pid == 0) {
    const std::string command = "cd " + dir + " && exec " + std::string(VORN_HOST_FILE) + " " + args + " >out 2>err";
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  return pid;
}

int Wait(pid_t pid) {
  int raw = 0;
  waitpid(pid, &raw, 0);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// The pid of the worker of one socket of the supervisor, once it runs.
pid_t WorkerOf(pid_t supervisor, const std::string &socket) {
  for (int tries = 0; tries < 500; ++tries) {
    const std::string command = "pgrep -P " + std::to_string(supervisor) + " -f -- '--worker " + socket + " '";
    std::string found;
    if (std::FILE *p = popen(command.c_str(), "r")) {
      char buffer[64] = {};
      if (std::fgets(buffer, sizeof buffer, p) != nullptr) found = buffer;
      pclose(p);
    }
    if (!found.empty()) return static_cast<pid_t>(std::atol(found.c_str()));
    usleep(10000);
  }
  return -1;
}

TEST(HostSockets, EachSocketTestsTheUnitsItIsHanded) {
  const std::string dir = vorn_test::TempDir();
  const vorn_test::HostRun r =
      vorn_test::RunHost("--fast --quiet --no-db --sockets 4 --units 8 --json " + dir + "/r.jsonl --params " +
                         kExamples + "/station.ini " + kExamples + "/typical.plan");
  EXPECT_EQ(r.status, 0) << r.err;
  std::map<std::string, int> perSocket;
  std::set<std::string> serials;
  const std::vector<json> records = Records(dir + "/r.jsonl");
  for (const json &j : records) {
    EXPECT_EQ(j["verdict"], "PASS");
    ++perSocket[j["unit"]["socket"].get<std::string>()];
    serials.insert(j["unit"]["serial"].get<std::string>());
    EXPECT_EQ(j["session"]["sockets"].size(), 4u);
  }
  EXPECT_EQ(records.size(), 8u);
  EXPECT_EQ(serials.size(), 8u);
  EXPECT_EQ(perSocket, (std::map<std::string, int>{{"1", 2}, {"2", 2}, {"3", 2}, {"4", 2}}));
  EXPECT_NE(r.out.find("Session: 8 units: 8 PASS"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  socket 3: 2 units: 2 PASS"), std::string::npos) << r.out;
  vorn_test::RemoveTempDir(dir);
}

// A short plan in real time: each unit takes the supply's waits, long
// enough to end a worker in the middle.
std::string ShortPlan(const std::string &dir) {
  std::ofstream(dir + "/short.plan") << "DcInit 1 1=1\nDcInit 1 1=1\nDcInit 1 1=1\n";
  return dir + "/short.plan";
}

TEST(HostSockets, ADeadWorkersUnitIsAnErrorAndItsSocketStartsAgain) {
  const std::string dir = vorn_test::TempDir();
  const pid_t host = StartHost(dir, "--quiet --no-db --sockets 2 --units 3 --json r.jsonl --params " + kExamples +
                                        "/station.ini " + ShortPlan(dir));
  const pid_t worker = WorkerOf(host, "2");
  ASSERT_GT(worker, 0);
  usleep(700000);  // in its first unit's first step
  kill(worker, SIGKILL);
  EXPECT_EQ(Wait(host), 1);
  const std::vector<json> records = Records(dir + "/r.jsonl");
  ASSERT_EQ(records.size(), 3u) << vorn_test::ReadText(dir + "/err");
  int errors = 0;
  std::map<std::string, int> perSocket;
  for (const json &j : records) {
    ++perSocket[j["unit"]["socket"].get<std::string>()];
    if (j["verdict"] == "PASS") continue;
    ++errors;
    EXPECT_EQ(j["unit"]["socket"], "2");
    EXPECT_EQ(j["steps"][0]["text"], "socket 2: the test process ended (signal 9)");
    EXPECT_EQ(j["steps"][2]["verdict"], "NOT RUN");
  }
  EXPECT_EQ(errors, 1);
  EXPECT_GE(perSocket["2"], 2) << "socket 2 tested again after its worker died";
  EXPECT_NE(vorn_test::ReadText(dir + "/err").find("socket 2: its test process ended (signal 9); it starts again"),
            std::string::npos);
  vorn_test::RemoveTempDir(dir);
}

TEST(HostSockets, AStopRunsEverySocketsCleanup) {
  const std::string dir = vorn_test::TempDir();
  std::ofstream(dir + "/t.plan") << "DcInit 1 1=1\nDcInit 1 1=1\nDcInit 1 1=1\ncleanup:\nDcInit 1 1=1\n";
  const pid_t host = StartHost(dir, "--quiet --no-db --sockets 3 --units 9 --json r.jsonl --params " + kExamples +
                                        "/station.ini " + dir + "/t.plan");
  ASSERT_GT(WorkerOf(host, "3"), 0);
  usleep(800000);
  kill(host, SIGINT);
  EXPECT_EQ(Wait(host), 0);
  const std::vector<json> records = Records(dir + "/r.jsonl");
  ASSERT_EQ(records.size(), 3u) << vorn_test::ReadText(dir + "/err");
  for (const json &j : records) {
    EXPECT_EQ(j["stopped"], true);
    EXPECT_EQ(j["steps"][3]["verdict"], "PASS") << "socket " << j["unit"]["socket"] << ": its cleanup";
  }
  EXPECT_NE(vorn_test::ReadText(dir + "/out").find("stopped by the operator"), std::string::npos);
  vorn_test::RemoveTempDir(dir);
}

TEST(HostSockets, SocketsThatCannotBeTestedAreRefusedBeforeAnythingRuns) {
  const std::string dir = vorn_test::TempDir();
  std::ofstream(dir + "/sockets") << "# two fixtures\nleft " << kExamples << "/station.ini\nleft " << dir
                                  << "/none.ini\nright\n";
  const struct {
    std::string args;
    std::string said;
  } cases[] = {
      {"--sockets " + dir + "/sockets --units 2", dir + "/sockets:3: a second socket named \"left\""},
      {"--sockets " + dir + "/sockets --units 2", dir + "/sockets:4: \"right\" names no parameter file"},
      {"--sockets " + dir + "/sockets --units 2", "cannot read the parameter file of socket left"},
      {"--sockets 0 --units 2 --params " + kExamples + "/station.ini", "--sockets takes a sockets file or a number"},
      {"--sockets 2 --params " + kExamples + "/station.ini", "--sockets needs a session"},
  };
  for (const auto &c : cases) {
    const vorn_test::HostRun r = vorn_test::RunHost("--fast --no-db " + c.args + " " + kExamples + "/typical.plan");
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
  }
  vorn_test::RemoveTempDir(dir);
}

}  // namespace
