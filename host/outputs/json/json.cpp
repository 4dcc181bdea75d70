// --json FILE: the records in their JSON form. A single run's record replaces
// FILE as a whole once it is written (the earlier record stays whole until
// then); a session appends one line per attempt, each in one write, to a file
// it holds under an exclusive lock for the whole session.
#include "core/record_json.h"
#include "os/os.h"
#include "outputs/output.h"

namespace vorn_host {

namespace {

class JsonRecords : public Output, public Subscriber {
 public:
  explicit JsonRecords(std::string path) : path_(std::move(path)) {}
  Subscriber &subscriber() override { return *this; }

  // Opened last of the checks, so that a run that cannot start leaves an
  // earlier record as it was.
  bool open(bool single, std::string &error) {
    single_ = single;
    const bool opened = single ? record_.prepare(path_, error) : lines_.open(path_, error);
    if (!opened) error = path_ + ": cannot write the JSON record: " + error;
    return opened;
  }

  Delivery attemptFinished(const UnitRecord &unit) override {
    std::string error;
    if (single_) {
      if (record_.commit(JsonText(RecordJson(unit), true) + "\n", error)) return Delivery::delivered();
      return Delivery::lost(path_ + ": writing the JSON record failed after the run: " + error);
    }
    if (lines_.append(JsonText(RecordJson(unit)) + "\n", error)) return Delivery::delivered();
    return Delivery::lost("writing the JSON line of unit " + std::to_string(unit.index) + " failed: " + error);
  }

 private:
  std::string path_;
  bool single_ = false;
  ReplacingFile record_;
  AppendLog lines_;
};

void AddOptions(CommandLine &line) {
  line.value("--json", "FILE", "also write the records in JSON: a single run's record, or\na JSON line per attempt");
}

std::unique_ptr<Output> Open(OutputSetup &setup, std::string &error) {
  const std::string path = setup.options.text("--json");
  if (path.empty()) return nullptr;
  error = ClaimOutput(setup, path, "JSON record");
  if (!error.empty()) return nullptr;
  auto output = std::make_unique<JsonRecords>(path);
  if (!output->open(setup.session.single, error)) return nullptr;
  return output;
}

}  // namespace

OutputModule JsonOutput() { return {"json", AddOptions, nullptr, Open}; }

}  // namespace vorn_host
