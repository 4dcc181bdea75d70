#include "core/health_json.h"

#include "core/record_json.h"

namespace vorn_host {

namespace {

using ordered = nlohmann::ordered_json;

ordered Number(const std::optional<double> &value) { return value ? ordered(*value) : ordered(nullptr); }
ordered Text(const std::string &text) { return ordered(JsonSafe(text)); }
ordered TextOrNull(const std::string &text) { return text.empty() ? ordered(nullptr) : Text(text); }

std::string Field(const nlohmann::json &j, const char *name) { return j.at(name).get<std::string>(); }

}  // namespace

ordered HealthJson(const VerificationRecord &v) {
  ordered lines = ordered::array();
  for (const VerificationLine &l : v.lines) {
    lines.push_back({{"key", l.key},
                     {"frequencyMhz", l.frequencyMhz},
                     {"reference", l.reference},
                     {"reading", Number(l.reading)},
                     {"deviation", Number(l.deviation)},
                     {"passed", l.passed}});
  }
  return {{"uuid", v.uuid},
          {"station", Text(v.station)},
          {"at", v.at},
          {"operator", TextOrNull(v.operatorName)},
          {"golden", Text(v.golden)},
          {"goldenFile", Text(v.goldenFile)},
          {"session", TextOrNull(v.sessionId)},
          {"unit", TextOrNull(v.unitUuid)},
          {"calibration", TextOrNull(v.calibration)},
          {"tolerance", v.tolerance},
          {"worst", Number(v.worst)},
          {"verdict", v.passed ? "PASS" : "FAIL"},
          {"lines", lines}};
}

ordered HealthJson(const CalibrationRecord &c) {
  ordered lines = ordered::array();
  for (const CalibrationLine &l : c.lines) {
    lines.push_back({{"key", l.key},
                     {"frequencyMhz", l.frequencyMhz},
                     {"reference", l.reference},
                     {"reading", Number(l.reading)},
                     {"oldValue", Number(l.oldValue)},
                     {"newValue", Number(l.newValue)},
                     {"corrected", l.corrected}});
  }
  return {{"uuid", c.uuid},
          {"station", Text(c.station)},
          {"at", c.at},
          {"operator", TextOrNull(c.operatorName)},
          {"golden", Text(c.golden)},
          {"goldenFile", Text(c.goldenFile)},
          {"session", TextOrNull(c.sessionId)},
          {"unit", TextOrNull(c.unitUuid)},
          {"parameters", Text(c.parameters)},
          {"backup", TextOrNull(c.backup)},
          {"written", c.written},
          {"refused", TextOrNull(c.refused)},
          {"lines", lines}};
}

ordered HealthJson(const AlarmRecord &a) {
  return {{"uuid", a.uuid},
          {"station", Text(a.station)},
          {"at", a.at},
          {"session", TextOrNull(a.sessionId)},
          {"unit", TextOrNull(a.unitUuid)},
          {"serial", Text(a.serial)},
          {"measurement", Text(a.measurement)},
          {"rule", a.rule},
          {"value", a.value},
          {"centre", a.centre},
          {"sigma", a.sigma},
          {"text", Text(a.text)}};
}

ordered HealthJson(const LockRecord &l) {
  return {{"uuid", l.uuid},           {"station", Text(l.station)}, {"at", l.at}, {"session", TextOrNull(l.sessionId)},
          {"reason", Text(l.reason)}, {"action", Text(l.action)}};
}

ordered HealthJson(const AcknowledgementRecord &a) {
  return {{"uuid", a.uuid}, {"lock", a.lockUuid}, {"station", Text(a.station)},
          {"at", a.at},     {"by", Text(a.by)},   {"via", a.via}};
}

bool LockFromJson(const nlohmann::json &j, LockRecord &l, std::string &error) {
  try {
    l.uuid = Field(j, "uuid");
    l.station = Field(j, "station");
    l.at = Field(j, "at");
    l.sessionId = j.at("session").is_null() ? "" : Field(j, "session");
    l.reason = Field(j, "reason");
    l.action = Field(j, "action");
    return true;
  } catch (const std::exception &e) {
    error = std::string("not a stop of the station: ") + e.what();
    return false;
  }
}

bool AcknowledgementFromJson(const nlohmann::json &j, AcknowledgementRecord &a, std::string &error) {
  try {
    a.uuid = Field(j, "uuid");
    a.lockUuid = Field(j, "lock");
    a.station = Field(j, "station");
    a.at = Field(j, "at");
    a.by = Field(j, "by");
    a.via = Field(j, "via");
    return true;
  } catch (const std::exception &e) {
    error = std::string("not an acknowledgement: ") + e.what();
    return false;
  }
}

}  // namespace vorn_host
