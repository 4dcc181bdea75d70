#include "outputs/registry.h"

#include <filesystem>

namespace vorn_host {

// Each output's module, in its own folder.
OutputModule PipeOutput();
OutputModule ConsoleOutput();
OutputModule JsonOutput();
OutputModule ResultsOutput();
OutputModule WebOutput();
OutputModule HealthOutput();

const std::vector<OutputModule> &OutputModules() {
  static const std::vector<OutputModule> modules = {
      PipeOutput(),  // first: a socket's worker has no other output
      ConsoleOutput(), ResultsOutput(), WebOutput(),
      HealthOutput(),  // after the page, which may acknowledge the station's stop
      JsonOutput(),    // last: a run that cannot start leaves an earlier record as it was
  };
  return modules;
}

CommandLine HostCommandLine() {
  CommandLine line;
  AddCoreOptions(line);
  line.note("").note("Outputs (a session's attempts, a single run's record):");
  for (const OutputModule &m : OutputModules()) m.addOptions(line);
  return line;
}

bool ReadHostCommandLine(int argc, const char *const *argv, CommandLine &line, Options &options, std::string &error) {
  if (!line.parse(argc, argv, error)) return false;
  std::vector<std::string> unitOptions;
  for (const OutputModule &m : OutputModules()) {
    if (m.unitOption != nullptr && line.has(m.unitOption)) unitOptions.push_back(m.unitOption);
  }
  return ReadOptions(line, unitOptions, options, error);
}

bool OpenOutputs(OutputSetup &setup, Bus &bus, std::vector<std::unique_ptr<Output>> &outputs, std::string &error) {
  setup.bus = &bus;
  for (const OutputModule &m : OutputModules()) {
    std::unique_ptr<Output> output = m.open(setup, error);
    if (!error.empty()) return false;
    if (!output) continue;
    bus.subscribe(output->subscriber());
    outputs.push_back(std::move(output));
    // A socket's worker speaks only to its supervisor, which owns every output.
    if (std::string(m.name) == "pipe") break;
  }
  return true;
}

Desk *DeskOf(const std::vector<std::unique_ptr<Output>> &outputs) {
  for (const std::unique_ptr<Output> &output : outputs) {
    if (output->desk() != nullptr) return output->desk();
  }
  return nullptr;
}

SerialHistory *HistoryOf(const std::vector<std::unique_ptr<Output>> &outputs) {
  for (const std::unique_ptr<Output> &output : outputs) {
    if (output->history() != nullptr) return output->history();
  }
  return nullptr;
}

std::function<std::optional<bool>(const std::string &, const std::string &)> AnswersAt(Desk *const &desk) {
  return [&desk](const std::string &socket, const std::string &text) {
    return desk != nullptr ? desk->answerPrompt(socket, text) : std::nullopt;
  };
}

std::string ClaimOutput(OutputSetup &setup, const std::string &path, const std::string &what) {
  // An output that exists is known by its identity; one that does not yet,
  // by where it would be, so that two outputs never name one new file.
  std::string clash = OutputClash(path, what, setup.files);
  if (!clash.empty()) return clash;
  // Made absolute first: weakly_canonical leaves a relative path relative
  // while no part of it exists, and absolute once the file is there.
  std::error_code error;
  const std::string where = std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error).string();
  for (const InputFile &f : setup.files) {
    if (!where.empty() && f.where == where)
      return path + ": the " + what + " would overwrite the " + f.what + " " + f.path;
  }
  InputFile claimed;
  claimed.path = path;
  claimed.what = what;
  claimed.where = where;
  if (const std::optional<FileIdentity> id = IdentityOf(path)) claimed.identity = *id;
  setup.files.push_back(claimed);
  return {};
}

}  // namespace vorn_host
