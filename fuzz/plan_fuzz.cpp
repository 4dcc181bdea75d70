// The host's plan reader and command line on arbitrary bytes.
//
// Input: a command line, its arguments separated by NUL bytes, up to the
// first two NULs in a row; what follows is a plan's text.
//
// What must hold, whatever the input:
// - ParsePlan and the command line's reading never trap (the sanitizers watch);
// - at most 20 bad lines are named, and one more line counts the rest; no
//   message is longer than the file name and a few excerpts of 80 characters;
// - every step is a known export on a line of the text, in order, with its
//   limits on entries 1 to 30;
// - the plan reads the same with LF, CR LF or CR line ends and a byte order
//   mark;
// - a command line taken holds a plan and a parameter file (unless it only
//   asks for help or a list); the simulation's check of each of its faults
//   finds it sound only when the station's fault script takes it;
// - a text on its way to the terminal holds no control byte, and a JSON
//   string of it reads back as valid JSON.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/command_line.h"
#include "core/options.h"
#include "core/plan.h"
#include "core/record_json.h"
#include "os/text.h"
#include "station/faults.h"
#include "station/station.h"

namespace {

void Check(bool condition, const char *what) {
  if (condition) return;
  std::fprintf(stderr, "plan_fuzz: %s\n", what);
  std::abort();
}

std::string WithLineEnds(std::string_view text, const char *end) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') {
      out += end;
    } else {
      out += c;
    }
  }
  return out;
}

void CheckPlan(std::string_view text) {
  std::vector<std::string> errors;
  const vorn_host::Plan plan = vorn_host::ParsePlan(text, "f.plan", errors);
  Check(errors.size() <= static_cast<std::size_t>(vorn_host::kShownBadLines) + 1, "too many messages");
  // Two excerpts at most, each of 80 characters that may show as an escape.
  for (const std::string &e : errors) Check(e.size() < 1000, "a message longer than its excerpts");
  int lastLine = 0;
  for (const vorn_host::PlanStep &step : plan.steps) {
    Check(step.line > lastLine, "steps out of line order");
    lastLine = step.line;
    bool known = false;
    for (const std::string &name : vorn_host::StepExports()) known = known || name == step.exportName;
    Check(known, "a step that is not an export");
    for (const vorn_host::Limit &l : step.limits) {
      Check(l.entry >= vorn_host::kFirstEntry && l.entry <= vorn_host::kLastEntry, "a limit off the entries");
    }
  }
  // Only plans without CR of their own: a CR there is already a line end.
  if (text.find('\r') != std::string_view::npos || text.substr(0, 3) == "\xEF\xBB\xBF") return;
  for (const std::string &variant :
       {WithLineEnds(text, "\r\n"), WithLineEnds(text, "\r"), "\xEF\xBB\xBF" + std::string(text)}) {
    std::vector<std::string> variantErrors;
    const vorn_host::Plan other = vorn_host::ParsePlan(variant, "f.plan", variantErrors);
    Check(other.steps.size() == plan.steps.size() && variantErrors.size() == errors.size(),
          "line ends or a byte order mark changed the plan");
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
      Check(other.steps[i].line == plan.steps[i].line && other.steps[i].number == plan.steps[i].number &&
                other.steps[i].limits.size() == plan.steps[i].limits.size(),
            "line ends or a byte order mark changed a step");
    }
  }
}

void CheckCommandLine(const std::vector<std::string> &args) {
  std::vector<const char *> argv = {"vorn-host"};
  for (const std::string &a : args) argv.push_back(a.c_str());
  vorn_host::CommandLine line;
  vorn_host::AddCoreOptions(line);
  vorn_host::Options o;
  std::string error;
  if (!line.parse(static_cast<int>(argv.size()), argv.data(), error) || !vorn_host::ReadOptions(line, {}, o, error)) {
    Check(!error.empty(), "a refused command line without a reason");
    return;
  }
  if (o.help || o.listScenarios || o.listFaults || !o.acknowledge.empty()) return;  // no plan asked
  // A sockets file names each socket's parameter file instead.
  Check(!o.plan.empty() && (!o.parameters.empty() || (!o.sockets.empty() && vorn_host::SocketCount(o) == 0)),
        "a command line taken without plan or parameters");
  // The faults are checked by the simulation, as vorn-host does once it is loaded.
  for (const std::string &f : o.faults) {
    station::FaultScript script;
    Check(!vorn_host::FaultProblem(f).empty() || script.addText(f), "a fault found sound that the script refuses");
  }
}

void CheckText(const std::string &text) {
  for (const char c : vorn_host::TerminalText(text)) {
    const auto u = static_cast<unsigned char>(c);
    Check(u >= 0x20 && u != 0x7F, "a control byte on its way to the terminal");
  }
  Check(nlohmann::json::accept(nlohmann::json(vorn_host::JsonSafe(text)).dump()),
        "a JSON string that is not valid JSON");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char *>(data), size);
  const std::size_t split = input.find(std::string_view("\0\0", 2));
  const std::string_view line = input.substr(0, split);
  const std::string_view plan = split == std::string_view::npos ? std::string_view() : input.substr(split + 2);
  std::vector<std::string> args;
  for (std::size_t start = 0; start <= line.size() && !line.empty();) {
    const std::size_t end = std::min(line.find('\0', start), line.size());
    args.emplace_back(line.substr(start, end - start));
    start = end + 1;
  }
  CheckCommandLine(args);
  CheckPlan(plan);
  CheckText(std::string(line));
  return 0;
}
