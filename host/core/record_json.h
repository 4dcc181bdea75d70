// The one JSON form of the records (described by docs/unit-record.schema.json):
// the single run's --json file, the JSON Lines, the operator's page and the
// sockets' pipes all carry it, written and read here with nlohmann-json.
//
// One rule for text that is not UTF-8: a byte that is not part of a valid
// UTF-8 sequence is read as the Latin-1 character of its value (0xE9 as "é"),
// so the record stays valid JSON and the byte's value can still be told.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

#include "core/record.h"

namespace vorn_host {

inline constexpr const char *kRecordFormat = "vorn-unit-record/1";

// Outside text (a serial, a result name, a failure text, a path) as valid UTF-8.
std::string JsonSafe(std::string_view text);
// The JSON's text: one line, or indented for a file a person reads.
std::string JsonText(const nlohmann::json &json, bool indented = false);
std::string JsonText(const nlohmann::ordered_json &json, bool indented = false);

// Written in the order of the schema, for a person reading the file.
nlohmann::ordered_json SessionJson(const SessionRecord &session);
nlohmann::ordered_json RecordJson(const UnitRecord &unit);

// One step of a record, as the record holds it, and back.
nlohmann::ordered_json StepJson(const StepRecord &step, std::size_t index);
bool StepFromJson(const nlohmann::json &json, StepRecord &step, std::string &error);

// The record back from its JSON; false, with what is wrong in error, when
// the JSON is not a record of this form.
bool SessionFromJson(const nlohmann::json &json, SessionRecord &session, std::string &error);
bool RecordFromJson(const nlohmann::json &json, UnitRecord &unit, std::string &error);

}  // namespace vorn_host
