#include "station/golden_run.h"

#include <filesystem>

#include "core/bus.h"
#include "core/gate.h"
#include "core/golden.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/station_state.h"
#include "os/os.h"
#include "os/sha256.h"
#include "os/text.h"
#include "outputs/registry.h"
#include "station/setup.h"

namespace vorn_host {

namespace {

constexpr int kDidNotPass = 1;
constexpr int kCannotStart = 2;

int CannotStart(const std::string &why) {
  std::fprintf(stderr, "vorn-host: %s\n", TerminalText(why).c_str());
  return kCannotStart;
}

// The golden unit, once.
class GoldenSerial : public UnitSource {
 public:
  explicit GoldenSerial(std::string serial) : serial_(std::move(serial)) {}
  bool next(std::string &serial) override {
    if (given_) return false;
    given_ = true;
    serial = serial_;
    return true;
  }

 private:
  std::string serial_;
  bool given_ = false;
};

// The record of the session's last attempt, as the bus tells it.
class LastRecordHeard : public Subscriber {
 public:
  Delivery attemptFinished(const UnitRecord &unit) override {
    last = unit;
    return Delivery::delivered();
  }
  UnitRecord last;
};

// "station.ini.20240501-083000.bak" beside the file, one not there yet.
std::string BackupName(const std::string &path) {
  const std::string now = UtcNow();  // 2024-05-01T08:30:00Z
  const std::string stamp = now.substr(0, 4) + now.substr(5, 2) + now.substr(8, 2) + "-" + now.substr(11, 2) +
                            now.substr(14, 2) + now.substr(17, 2);
  std::string name = path + "." + stamp + ".bak";
  std::error_code error;
  for (int n = 2; std::filesystem::exists(name, error); ++n)
    name = path + "." + stamp + "-" + std::to_string(n) + ".bak";
  return name;
}

bool WriteWhole(const std::string &path, const std::string &text, std::string &error) {
  ReplacingFile file;
  if (file.prepare(path, error) && file.commit(text, error)) return true;
  error = path + ": " + error;
  return false;
}

// The old file kept beside it, then the new one in its place: false, with
// why, when the file changed since the run began or cannot be written.
bool Rewrite(const SessionRecord &session, CalibrationRecord &c, std::string &error) {
  std::string old;
  InputFile input;
  if (!ReadTextInput(session.parameters, "parameter file", false, input, old, error)) return false;
  if (Sha256File(session.parameters) != session.parametersSha256) {
    error = session.parameters + " changed while the calibration ran";
    return false;
  }
  bool anyCorrected = false;
  for (const CalibrationLine &line : c.lines) anyCorrected = anyCorrected || line.corrected;
  if (!anyCorrected) return true;  // every line within the tolerance
  const std::string backup = BackupName(session.parameters);
  if (!WriteWhole(backup, old, error) || !WriteWhole(session.parameters, CorrectedText(old, c), error)) return false;
  c.backup = backup;
  c.written = true;
  return true;
}

struct GoldenSession {
  const Options &o;
  StationSetup &station;
  const GoldenUnit &golden;
  Bus &bus;
  LastRecordHeard &last;

  // One run of the plan on the golden unit, compared with its references.
  VerificationRecord run(const std::shared_ptr<SessionRecord> &session, bool &lost) {
    SessionOptions options;
    options.run.keepGoing = o.keepGoing;
    options.run.equipment = &station.equipment();
    options.run.stopRequests = [] { return StopRequests(); };
    options.operatorName = o.operatorName;
    GoldenSerial unit(golden.serial);
    lost = RunSession(station.plan(), station.functions(), session, unit, bus, options).recordLost || lost;
    VerificationRecord v = Compare(golden, last.last.run);
    v.uuid = NewUuid();
    v.station = session->station;
    v.at = UtcNow();
    v.operatorName = o.operatorName;
    v.sessionId = session->id;
    v.unitUuid = last.last.uuid;
    return v;
  }
  bool tell(Delivery delivery) {
    bus.tellNotes();
    return delivery.kept();
  }
};

}  // namespace

int RunGoldenUnit(const CommandLine &line, const Options &o) {
  StationSetup station;
  StationSettings settings;
  GoldenUnit golden;
  InputFile goldenFile;
  std::string error, parameters;
  InputFile parameterFile;
  const bool calibrate = !o.calibrate.empty();
  if (!ReadStationSettings(o.settings, settings, error) ||
      !ReadGoldenUnit(calibrate ? o.calibrate : o.verify, golden, goldenFile, error) || !station.load(o, error) ||
      !ReadTextInput(o.parameters, "parameter file", false, parameterFile, parameters, error)) {
    return CannotStart(error);
  }
  if (calibrate && !PathLossProblem(parameters).empty())
    return CannotStart(o.parameters + ": " + PathLossProblem(parameters));
  DefaultsFor(station.simulated(), settings);
  station.files().push_back(goldenFile);
  std::shared_ptr<SessionRecord> session = station.session(o);
  StationHealth health;
  Bus bus;
  LastRecordHeard last;
  bus.subscribe(last);
  std::vector<std::unique_ptr<Output>> outputs;
  OutputSetup setup{line, *session, station.plan(), station.files(), !station.simulated(), stderr, &settings, &health};
  if (!OpenOutputs(setup, bus, outputs, error)) return CannotStart(error);
  CatchStopRequests();
  GoldenSession run{o, station, golden, bus, last};
  bool lost = false;
  VerificationRecord v = run.run(session, lost);
  if (!calibrate) return run.tell(bus.verified(v)) && !lost && v.passed ? 0 : kDidNotPass;
  CalibrationRecord c = Corrections(v, parameters);
  c.uuid = NewUuid();
  c.station = v.station;
  c.at = UtcNow();
  c.operatorName = o.operatorName;
  c.sessionId = v.sessionId;
  c.unitUuid = v.unitUuid;
  c.parameters = o.parameters;
  if (c.refused.empty() && !Rewrite(*session, c, error)) c.refused = error;
  if (!run.tell(bus.calibrated(c)) || !c.refused.empty() || StopRequests() > 0) return kDidNotPass;
  const std::shared_ptr<SessionRecord> again = station.session(o);  // the file as it is now
  again->mode = SessionMode::kVerification;
  VerificationRecord after = run.run(again, lost);
  after.calibration = c.uuid;
  return run.tell(bus.verified(after)) && !lost && after.passed ? 0 : kDidNotPass;
}

int Acknowledge(const CommandLine &line, const Options &o) {
  StationSettings settings;
  StationState state;
  std::string error;
  const std::string station = o.station.empty() ? MachineName() : o.station;
  const StateFiles files = StateFilesOf(line.text("--db"), line.has("--no-db"), station);
  if (!ReadStationSettings(o.settings, settings, error) || !ReadStationState(files.state, state, error)) {
    return CannotStart(error);
  }
  if (!state.lock) return CannotStart("station " + station + " has not stopped itself: nothing to acknowledge");
  if (!settings.acknowledgeCode.empty() && o.acknowledge != settings.acknowledgeCode) {
    return CannotStart("that is not the technician's code of station " + station + " ([Health] AcknowledgeCode)");
  }
  AcknowledgementRecord ack;
  ack.uuid = NewUuid();
  ack.lockUuid = state.lock->uuid;
  ack.station = station;
  ack.at = UtcNow();
  ack.by = o.operatorName.empty() ? "technician at a second terminal" : o.operatorName;
  ack.via = "second terminal";
  if (!WriteAcknowledgement(files.acknowledgement, ack, error)) return CannotStart(error);
  std::printf("%s\n", TerminalText("Station " + station + ": the stop of " + state.lock->at + " (" +
                                   state.lock->reason + ") is acknowledged; its session goes on with the next unit.")
                          .c_str());
  return 0;
}

}  // namespace vorn_host
