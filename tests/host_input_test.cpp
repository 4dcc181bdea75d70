// What vorn-host refuses before anything runs, and how it stands bad input,
// closed descriptors and failed writes: whole runs of the built vorn-host.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "os/inputs.h"
#include "station/faults.h"
#include "station/operations.h"
#include "support/host_run.h"
#include "support/station_test.h"
#include "support/steps.h"

namespace {

class HostInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = vorn_test::TempDir();
    params = dir + "/station.ini";
    plan = dir + "/t.plan";
    std::ofstream(params) << vorn_test::TypicalParameters();
    std::ofstream(plan) << "DcInit 1 1=1\n";
  }
  void TearDown() override { vorn_test::RemoveTempDir(dir); }
  std::string host(const std::string &args) const { return std::string(VORN_HOST_FILE) + " --fast --quiet " + args; }
  std::string dir;
  std::string params;
  std::string plan;
};

TEST_F(HostInputTest, InputsThatAreNoRegularFileAreRefusedAtOnce) {
  const std::string fifo = dir + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string empty = dir + "/empty.ini";
  std::ofstream(empty).flush();
  // Sparse: a size past the bound without the disk space.
  const std::string huge = dir + "/huge.plan";
  ASSERT_EQ(truncate((std::ofstream(huge), huge).c_str(), (65ll << 20)), 0);
  const struct {
    std::string args;
    std::string says;
  } cases[] = {
      {"--params /dev/zero " + plan, "/dev/zero: the parameter file is a device, not a regular file"},
      {"--params " + params + " /dev/zero", "/dev/zero: the plan file is a device, not a regular file"},
      {"--params " + fifo + " " + plan, fifo + ": the parameter file is a FIFO, not a regular file"},
      {"--params " + params + " " + fifo, fifo + ": the plan file is a FIFO, not a regular file"},
      {"--params " + params + " --library " + fifo + " " + plan, fifo + ": the library is a FIFO"},
      {"--params /dev/null " + plan, "/dev/null: the parameter file is a device, not a regular file"},
      {"--params " + dir + " " + plan, dir + ": the parameter file is a directory, not a regular file"},
      {"--params " + empty + " " + plan, empty + ": the parameter file is empty"},
      {"--params " + params + " " + huge, huge + ": the plan file is 68157440 bytes, more than the 64 MB"},
  };
  for (const auto &c : cases) {
    const vorn_test::HostRun r = vorn_test::RunHost("--fast " + c.args, 20);
    EXPECT_EQ(r.status, 2) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_EQ(r.out.find("No  Step"), std::string::npos) << "no step ran: " << c.args;
  }
}

TEST_F(HostInputTest, AnOutputNamingAnInputIsRefusedAndTheInputKept) {
  const std::string link = dir + "/link.json";
  ASSERT_EQ(symlink(plan.c_str(), link.c_str()), 0);
  const std::string library = vorn_test::BuiltFile("libVorn_CMU200.so");
  const struct {
    std::string json;
    std::string says;
  } cases[] = {
      {plan, "the JSON record would overwrite the plan file " + plan},
      {params, "the JSON record would overwrite the parameter file " + params},
      {link, "the JSON record would overwrite the plan file " + plan},  // the same inode
      {library, "the JSON record would overwrite the library"},
      {vorn_test::BuiltFile("libVISA32.so"), "the JSON record would overwrite the loaded file"},
      {VORN_HOST_FILE, "the JSON record would overwrite the host"},
  };
  const std::string planBefore = vorn_test::ReadText(plan);
  const std::string paramsBefore = vorn_test::ReadText(params);
  for (const auto &c : cases) {
    const vorn_test::HostRun r = vorn_test::RunHost("--fast --params " + params + " --json " + c.json + " " + plan);
    EXPECT_EQ(r.status, 2) << c.json << "\n" << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.json << "\n" << r.err;
    EXPECT_EQ(r.out.find("No  Step"), std::string::npos) << c.json;
  }
  EXPECT_EQ(vorn_test::ReadText(plan), planBefore);
  EXPECT_EQ(vorn_test::ReadText(params), paramsBefore);
}

TEST_F(HostInputTest, StepsWithoutTheirSectionAreNamedBeforeTheRun) {
  std::ofstream(params) << "\xEF\xBB\xBF[ 1 ]\rGPIB=5\r[7\r";  // BOM, CR-only; "[7" is no section
  std::vector<std::string> errors;
  const vorn_host::Plan steps = vorn_host::ParsePlan("DcInit 1\nOBTInit 7\n\nMobInit 2\n", "t.plan", errors);
  const std::vector<std::string> missing = vorn_host::StepsWithoutSection(steps, vorn_test::ReadText(params), "s.ini");
  EXPECT_EQ(missing, (std::vector<std::string>{"t.plan:2: step 7 (OBTInit) has no section [7] in s.ini",
                                               "t.plan:4: step 2 (MobInit) has no section [2] in s.ini"}));

  std::ofstream(plan) << "DcInit 1\nMobInit 2\n";
  const vorn_test::HostRun warned = vorn_test::RunHost("--fast --quiet --params " + params + " " + plan);
  EXPECT_NE(warned.err.find("warning: " + plan + ":2: step 2 (MobInit) has no section [2]"), std::string::npos)
      << warned.err;
  EXPECT_NE(warned.out.find("No  Step"), std::string::npos);  // a warning only: the run went on
  const vorn_test::HostRun strict = vorn_test::RunHost("--fast --strict --params " + params + " " + plan);
  EXPECT_EQ(strict.status, 2) << strict.err;
  EXPECT_EQ(strict.out.find("No  Step"), std::string::npos);
}

TEST_F(HostInputTest, ClosedStandardDescriptorsNeverReachTheRecord) {
  const std::string record = dir + "/r.json";
  for (const char *closed : {">&-", ">/dev/null 2>&-", ">&- 2>&-", "<&- >&- 2>&-"}) {
    std::remove(record.c_str());
    const int raw = std::system((host("--params " + params + " --json " + record + " " + plan) + " " + closed).c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << closed;
    const std::string text = vorn_test::ReadText(record);
    EXPECT_EQ(text.find("No  Step"), std::string::npos) << closed;
    EXPECT_TRUE(nlohmann::json::accept(text)) << closed << "\n" << text;
  }
}

// vorn-host with its standard output on a pipe whose reader is gone.
int RunIntoClosedPipe(const std::vector<std::string> &args) {
  int ends[2];
  if (pipe(ends) != 0) return -1;
  close(ends[0]);
  const pid_t child = fork();
  if (child == 0) {
    dup2(ends[1], 1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(ends[1]);
  int raw = 0;
  waitpid(child, &raw, 0);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
}

TEST_F(HostInputTest, AFailedWriteOfTheTableIsReported) {
  const std::string record = dir + "/r.json";
  // Killed by SIGPIPE it would give -13, and no record.
  EXPECT_EQ(RunIntoClosedPipe({VORN_HOST_FILE, "--fast", "--quiet", "--params", params, "--json", record, plan}), 1);
  EXPECT_TRUE(nlohmann::json::accept(vorn_test::ReadText(record)));

  const std::string err = dir + "/err";
  const int raw = std::system((host("--params " + params + " " + plan) + " >/dev/full 2>" + err).c_str());
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1) << raw;
  EXPECT_NE(vorn_test::ReadText(err).find("writing the results table to standard output failed"), std::string::npos);
}

TEST_F(HostInputTest, ControlBytesReachTheTerminalAsEscapes) {
  const vorn_test::HostRun r =
      vorn_test::RunHost("--fast --quiet --params " + params + " --station \"$(printf '\\033[2Jline\\007')\" " + plan);
  EXPECT_NE(r.out.find("station \\x1b[2Jline\\x07"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
  std::ofstream(plan) << "DcInit 1\nOBT\x1b]0;owned\x07Init 2\n";
  const vorn_test::HostRun bad = vorn_test::RunHost("--params " + params + " " + plan);
  EXPECT_NE(bad.err.find("unknown step \"OBT\\x1b]0\""), std::string::npos) << bad.err;
  EXPECT_EQ(bad.err.find('\x1b'), std::string::npos);
}

TEST(HostFaults, UnknownOperationsAndWideStatusesAreRefused) {
  const struct {
    const char *text;
    const char *problem;  // empty: sound
  } cases[] = {
      {"viOpen=-1073807343@2+", ""},
      {"DWD_set_com_port=4294967295", ""},
      {"RSCMU_Init_Base=-2147483648", ""},
      {"viOpenn=-1", "fault \"viOpenn=-1\": the station has no operation \"viOpenn\"; did you mean viOpen?"},
      {"rscmu_init_base=-1", "did you mean RSCMU_Init_Base?"},
      {"DWD_set_baudrate=0", "did you mean DWD_set_baud_rate?"},
      {"viOpen=4294967296", "the status 4294967296 is outside 32 bits"},
      {"viOpen=-2147483649", "the status -2147483649 is outside 32 bits"},
      {"viOpen", "malformed fault \"viOpen\""},
  };
  for (const auto &c : cases) {
    const std::string problem = vorn_host::FaultProblem(c.text);
    if (*c.problem == '\0') {
      EXPECT_EQ(problem, "") << c.text;
    } else {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << c.text << ": " << problem;
    }
  }
  const vorn_test::HostRun list = vorn_test::RunHost("--fault list");
  EXPECT_EQ(list.status, 0);
  EXPECT_NE(list.out.find("\nRSCMU_GSM_Sig_HandOver\n"), std::string::npos);
}

class HostOperationsTest : public vorn_test::StationTest {};

// Every call the typical run journals is an operation a fault may name.
TEST_F(HostOperationsTest, TheTypicalRunCallsOnlyListedOperations) {
  writeParameters(vorn_test::TypicalParameters());
  for (const vorn_test::RunStep &s : vorn_test::TypicalRun()) {
    vorn_test::HostBuffers buffers;
    ASSERT_EQ(s.step->run(s.number, buffers.values, buffers.names, buffers.errorText), 0) << s.step->name;
  }
  std::vector<std::string> ops = st().journal.ops();
  ASSERT_GT(ops.size(), 50u);
  for (const std::string &op : ops) EXPECT_TRUE(station::IsOperation(op)) << op;
}

}  // namespace
