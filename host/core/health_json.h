// The station's health records (core/health.h) in JSON, written with
// nlohmann-json by the rule of core/record_json.h: the database keeps them
// by this form (and the spool holds them so until the server takes them),
// and the station's state files carry the stop and its acknowledgement.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "core/health.h"

namespace vorn_host {

// The kinds, as the database and the spool name them.
inline constexpr const char *kVerificationKind = "verification";
inline constexpr const char *kCalibrationKind = "calibration";
inline constexpr const char *kAlarmKind = "alarm";
inline constexpr const char *kLockKind = "lock";
inline constexpr const char *kAcknowledgementKind = "acknowledgement";

nlohmann::ordered_json HealthJson(const VerificationRecord &record);
nlohmann::ordered_json HealthJson(const CalibrationRecord &record);
nlohmann::ordered_json HealthJson(const AlarmRecord &record);
nlohmann::ordered_json HealthJson(const LockRecord &record);
nlohmann::ordered_json HealthJson(const AcknowledgementRecord &record);

// The stop and the acknowledgement back, for the state files; false with
// what is wrong.
bool LockFromJson(const nlohmann::json &json, LockRecord &record, std::string &error);
bool AcknowledgementFromJson(const nlohmann::json &json, AcknowledgementRecord &record, std::string &error);

}  // namespace vorn_host
