// Every step on arbitrary parameter files with an arbitrary fault script on
// the simulated station.
//
// Input, as text (the seeds under fuzz/corpus/steps/ are readable):
//   line 1:          the steps to run, "Name:number" separated by blanks, e.g.
//                    "MobInit:2 OBTInit:3 MakeCall:4" (at most 16; unknown names skipped)
//   following lines: the station's fault script, "OP=STATUS", "OP=STATUS@N" or
//                    "OP=STATUS@N+" (malformed lines are skipped), up to a line "--"
//   the rest:        the parameter file
//
// What must hold for every step call, whatever the input: it returns 0 or -1;
// on -1 ResultValues and ResultNames are as the host left them; the error text
// is terminated within its 512 characters; every result name is terminated
// within its 200; nothing is written outside the host's buffers (each is a
// heap block of exactly its size) and the sanitizers report nothing.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "station/alldata/container.h"
#include "station/station.h"
#include "support/steps.h"
#include "tester/tester_state.h"

namespace {

constexpr std::size_t kMaxSteps = 16;
constexpr std::size_t kValueCount = VORN_CMU200_RESULT_COUNT;
constexpr double kMark = -12345.0;

std::string gPath;
int gReport = 2;  // where a broken rule is told (standard error as it was at start)

void Check(bool condition, const char *step, const char *what) {
  if (condition) return;
  char text[256];
  const int length = std::snprintf(text, sizeof text, "steps_fuzz: %s: %s\n", step, what);
  if (length > 0) (void)!write(gReport, text, static_cast<std::size_t>(length));
  std::abort();
}

// The host's buffers for one call, each exactly as large as the header says.
struct HostBuffers {
  std::unique_ptr<double[]> values{new double[kValueCount]};
  std::unique_ptr<Vorn_CMU200_ResultName[]> names{new Vorn_CMU200_ResultName[kValueCount]};
  std::unique_ptr<char[]> errorText{new char[VORN_CMU200_ERROR_TEXT_SIZE]};

  HostBuffers() {
    for (std::size_t i = 0; i < kValueCount; ++i) values[i] = kMark;
    std::memset(names.get(), '#', sizeof(Vorn_CMU200_ResultName) * kValueCount);
    for (std::size_t i = 0; i < kValueCount; ++i) names[i][VORN_CMU200_RESULT_NAME_SIZE - 1] = '\0';
    std::memset(errorText.get(), 0, VORN_CMU200_ERROR_TEXT_SIZE);
    std::strcpy(errorText.get(), "host text");
  }

  bool resultsUntouched() const {
    const HostBuffers fresh;
    return std::memcmp(values.get(), fresh.values.get(), sizeof(double) * kValueCount) == 0 &&
           std::memcmp(names.get(), fresh.names.get(), sizeof(Vorn_CMU200_ResultName) * kValueCount) == 0;
  }
};

void RunStep(const vorn_test::StepExport &step, int32_t number) {
  HostBuffers host;
  const int32_t result = step.run(number, host.values.get(), host.names.get(), host.errorText.get());
  Check(result == 0 || result == -1, step.name, "returned neither 0 nor -1");
  Check(std::memchr(host.errorText.get(), '\0', VORN_CMU200_ERROR_TEXT_SIZE) != nullptr, step.name,
        "error text not terminated within 512 characters");
  if (result == -1) {
    Check(host.resultsUntouched(), step.name, "failed, yet changed the results");
    return;
  }
  for (std::size_t i = 0; i < kValueCount; ++i) {
    Check(std::memchr(host.names[i], '\0', VORN_CMU200_RESULT_NAME_SIZE) != nullptr, step.name,
          "result name not terminated within 200 characters");
  }
}

// The next line of text from at, without its end; at moves behind it.
std::string_view NextLine(std::string_view text, std::size_t &at) {
  const std::size_t end = std::min(text.find('\n', at), text.size());
  const std::string_view line = text.substr(at, end - at);
  at = end + 1;
  return line;
}

std::vector<vorn_test::RunStep> ParseSteps(std::string_view line) {
  std::vector<vorn_test::RunStep> steps;
  std::size_t at = 0;
  while (at < line.size() && steps.size() < kMaxSteps) {
    const std::size_t end = std::min(line.find(' ', at), line.size());
    const std::string_view word = line.substr(at, end - at);
    at = end + 1;
    const std::size_t colon = word.find(':');
    const vorn_test::StepExport *step = vorn_test::FindStep(word.substr(0, colon));
    if (step == nullptr) continue;
    const std::string number = colon == std::string_view::npos ? "0" : std::string(word.substr(colon + 1));
    steps.push_back({step, static_cast<int32_t>(std::strtol(number.c_str(), nullptr, 10))});
  }
  return steps;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  gReport = dup(2);  // before libFuzzer closes standard error (-close_fd_mask=2)
  if (gReport < 0) gReport = 2;
  // The operator prompt waits for Enter on a terminal: here nobody answers.
  const int nobody = open("/dev/null", O_RDONLY);
  if (nobody >= 0) dup2(nobody, 0);
  gPath = "/tmp/vorn-steps-fuzz-" + std::to_string(getpid()) + ".ini";
  std::atexit([] { std::remove(gPath.c_str()); });
  station::station().clock.setVirtual(true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view input(reinterpret_cast<const char *>(data), size);
  std::size_t at = 0;
  const std::vector<vorn_test::RunStep> steps = ParseSteps(NextLine(input, at));

  station::Station &st = station::station();
  st.reset();
  vorn::testerState = vorn::TesterState{};  // each input on a freshly loaded module
  while (at < input.size()) {
    const std::string_view line = NextLine(input, at);
    if (line == "--") break;
    st.faults.addText(line);
  }
  const std::string_view parameters = at < input.size() ? input.substr(at) : std::string_view();
  std::FILE *file = std::fopen(gPath.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(parameters.data(), 1, parameters.size(), file);
  std::fclose(file);

  alldata::Clear();
  alldata::SetParameterFile(gPath);
  for (const vorn_test::RunStep &step : steps) RunStep(*step.step, step.number);
  return 0;
}
