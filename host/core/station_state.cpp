#include "core/station_state.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/health_json.h"
#include "core/record_json.h"
#include "os/os.h"

namespace vorn_host {

namespace {

constexpr const char *kStateFormat = "vorn-station-state/1";

// The station's name as part of a file name: letters, digits, '-', '_' and '.'.
std::string FileSafe(const std::string &name) {
  std::string safe = name;
  for (char &c : safe) {
    const bool keep =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
    if (!keep) c = '_';
  }
  return safe;
}

bool ReadWhole(const std::string &path, std::string &text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  text = all.str();
  return true;
}

bool Replace(const std::string &path, const std::string &text, std::string &error) {
  ReplacingFile file;
  if (file.prepare(path, error) && file.commit(text, error)) return true;
  error = path + ": " + error;
  return false;
}

}  // namespace

StateFiles StateFilesOf(const std::string &db, bool noDb, const std::string &station) {
  const bool server = db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0;
  std::filesystem::path folder;
  if (!noDb && !server && !db.empty()) folder = std::filesystem::path(db).parent_path();
  const std::string name = FileSafe(station);
  return {(folder / ("vorn-station-" + name + ".json")).string(),
          (folder / ("vorn-acknowledge-" + name + ".json")).string()};
}

bool ReadStationState(const std::string &path, StationState &state, std::string &error) {
  state = StationState();
  std::error_code missing;
  if (!std::filesystem::exists(path, missing)) return true;
  std::string text;
  const nlohmann::json j = ReadWhole(path, text) ? nlohmann::json::parse(text, nullptr, false) : nlohmann::json();
  try {
    if (!j.is_object() || j.value("format", "") != kStateFormat)
      throw std::invalid_argument("no " + std::string(kStateFormat));
    if (const auto &v = j.at("verification"); !v.is_null()) {
      HealthSummary s;
      s.at = v.at("at").get<std::string>();
      s.golden = v.at("golden").get<std::string>();
      s.passed = v.at("passed").get<bool>();
      if (!v.at("worst").is_null()) s.worst = v.at("worst").get<double>();
      state.verification = s;
      state.verificationUuid = v.at("uuid").get<std::string>();
      state.goldenFile = v.at("goldenFile").get<std::string>();
    }
    if (const auto &l = j.at("lock"); !l.is_null()) {
      LockRecord lock;
      if (!LockFromJson(l, lock, error)) throw std::invalid_argument(error);
      state.lock = lock;
    }
    return true;
  } catch (const std::exception &e) {
    error = path + ": the station's state cannot be read (" + e.what() +
            "); remove the file to start over without its verification and stop";
    return false;
  }
}

bool WriteStationState(const std::string &path, const std::string &station, const StationState &state,
                       std::string &error) {
  nlohmann::ordered_json verification = nullptr;
  if (state.verification) {
    const HealthSummary &v = *state.verification;
    verification = {{"uuid", state.verificationUuid},
                    {"at", v.at},
                    {"golden", JsonSafe(v.golden)},
                    {"goldenFile", JsonSafe(state.goldenFile)},
                    {"passed", v.passed},
                    {"worst", v.worst ? nlohmann::ordered_json(*v.worst) : nlohmann::ordered_json(nullptr)}};
  }
  const nlohmann::ordered_json j = {{"format", kStateFormat},
                                    {"station", JsonSafe(station)},
                                    {"verification", verification},
                                    {"lock", state.lock ? HealthJson(*state.lock) : nlohmann::ordered_json(nullptr)}};
  return Replace(path, JsonText(j, true) + "\n", error);
}

std::optional<AcknowledgementRecord> ReadAcknowledgement(const std::string &path) {
  std::string text, error;
  if (!ReadWhole(path, text)) return std::nullopt;
  const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
  AcknowledgementRecord ack;
  if (j.is_discarded() || !AcknowledgementFromJson(j, ack, error)) return std::nullopt;
  return ack;
}

bool WriteAcknowledgement(const std::string &path, const AcknowledgementRecord &ack, std::string &error) {
  return Replace(path, JsonText(HealthJson(ack), true) + "\n", error);
}

}  // namespace vorn_host
