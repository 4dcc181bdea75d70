#include "core/event_json.h"

#include "core/record_json.h"

namespace vorn_host {

namespace {

using nlohmann::json;
using ordered = nlohmann::ordered_json;

struct KindName {
  WorkerEvent::Kind kind;
  const char *name;
};
constexpr KindName kEvents[] = {
    {WorkerEvent::Kind::kReady, "ready"},
    {WorkerEvent::Kind::kFailed, "failed"},
    {WorkerEvent::Kind::kAttemptStarted, "attemptStarted"},
    {WorkerEvent::Kind::kStepStarted, "stepStarted"},
    {WorkerEvent::Kind::kWaiting, "waiting"},
    {WorkerEvent::Kind::kStepFinished, "stepFinished"},
    {WorkerEvent::Kind::kPromptOpened, "promptOpened"},
    {WorkerEvent::Kind::kPromptClosed, "promptClosed"},
    {WorkerEvent::Kind::kAttemptFinished, "attemptFinished"},
    {WorkerEvent::Kind::kNoticed, "noticed"},
    {WorkerEvent::Kind::kIdle, "idle"},
};

const char *EventName(WorkerEvent::Kind kind) {
  for (const KindName &k : kEvents) {
    if (k.kind == kind) return k.name;
  }
  return "idle";
}

ordered AttemptJson(const AttemptStart &a) {
  return {{"uuid", a.uuid},
          {"unitId", a.unitId},
          {"serial", JsonSafe(a.serial)},
          {"index", a.index},
          {"attempt", a.attempt},
          {"prior", PriorText(a.prior)},
          {"socket", JsonSafe(a.socket)},
          {"operator", JsonSafe(a.operatorName)},
          {"started", a.started}};
}

AttemptStart AttemptFrom(const json &j) {
  AttemptStart a;
  a.uuid = j.value("uuid", "");
  a.unitId = j.value("unitId", "");
  a.serial = j.at("serial").get<std::string>();
  a.index = j.at("index").get<int>();
  a.attempt = j.at("attempt").get<int>();
  const std::optional<Prior> prior = PriorOf(j.at("prior").get<std::string>());
  if (!prior) throw std::invalid_argument("unknown prior");
  a.prior = *prior;
  a.socket = j.value("socket", "");
  a.operatorName = j.value("operator", "");
  a.started = j.value("started", "");
  return a;
}

void EventFrom(const json &j, WorkerEvent &e, std::string &error) {
  const std::string name = j.at("event").get<std::string>();
  bool known = false;
  for (const KindName &k : kEvents) {
    if (name != k.name) continue;
    e.kind = k.kind;
    known = true;
  }
  if (!known) throw std::invalid_argument("unknown event " + name);
  switch (e.kind) {
    case WorkerEvent::Kind::kReady:
      if (!SessionFromJson(j.at("session"), e.session, error)) throw std::invalid_argument(error);
      break;
    case WorkerEvent::Kind::kAttemptStarted: e.start = AttemptFrom(j.at("attempt")); break;
    case WorkerEvent::Kind::kStepStarted:
      e.index = j.at("index").get<std::size_t>();
      e.count = j.at("count").get<std::size_t>();
      break;
    case WorkerEvent::Kind::kWaiting: e.milliseconds = j.at("milliseconds").get<uint32_t>(); break;
    case WorkerEvent::Kind::kStepFinished:
      e.index = j.at("index").get<std::size_t>();
      if (!StepFromJson(j.at("step"), e.step, error)) throw std::invalid_argument(error);
      break;
    case WorkerEvent::Kind::kAttemptFinished:
      if (!RecordFromJson(j.at("record"), e.record, error)) throw std::invalid_argument(error);
      break;
    case WorkerEvent::Kind::kFailed:
    case WorkerEvent::Kind::kPromptOpened:
    case WorkerEvent::Kind::kNoticed: e.text = j.at("text").get<std::string>(); break;
    case WorkerEvent::Kind::kPromptClosed:
    case WorkerEvent::Kind::kIdle: break;
  }
}

}  // namespace

std::string EventLine(const WorkerEvent &e) {
  ordered j = {{"event", EventName(e.kind)}};
  switch (e.kind) {
    case WorkerEvent::Kind::kReady: j["session"] = SessionJson(e.session); break;
    case WorkerEvent::Kind::kAttemptStarted: j["attempt"] = AttemptJson(e.start); break;
    case WorkerEvent::Kind::kStepStarted:
      j["index"] = e.index;
      j["count"] = e.count;
      break;
    case WorkerEvent::Kind::kWaiting: j["milliseconds"] = e.milliseconds; break;
    case WorkerEvent::Kind::kStepFinished:
      j["index"] = e.index;
      j["step"] = StepJson(e.step, e.index + 1);
      break;
    case WorkerEvent::Kind::kAttemptFinished: j["record"] = RecordJson(e.record); break;
    case WorkerEvent::Kind::kFailed:
    case WorkerEvent::Kind::kPromptOpened:
    case WorkerEvent::Kind::kNoticed: j["text"] = JsonSafe(e.text); break;
    case WorkerEvent::Kind::kPromptClosed:
    case WorkerEvent::Kind::kIdle: break;
  }
  return JsonText(j);
}

bool ParseEvent(const std::string &line, WorkerEvent &event, std::string &error) {
  const json j = json::parse(line, nullptr, false);
  if (!j.is_object()) {
    error = "not a line of JSON";
    return false;
  }
  try {
    event = WorkerEvent();
    EventFrom(j, event, error);
    return true;
  } catch (const std::exception &e) {
    error = std::string("not an event: ") + e.what();
    return false;
  }
}

std::string CommandLineText(const WorkerCommand &c) {
  ordered j;
  switch (c.kind) {
    case WorkerCommand::Kind::kTest: j = {{"command", "test"}, {"attempt", AttemptJson(c.attempt)}}; break;
    case WorkerCommand::Kind::kAnswer: j = {{"command", "answer"}, {"ok", c.ok}}; break;
    case WorkerCommand::Kind::kStop: j = {{"command", "stop"}}; break;
  }
  return JsonText(j);
}

bool ParseCommand(const std::string &line, WorkerCommand &command, std::string &error) {
  const json j = json::parse(line, nullptr, false);
  try {
    if (!j.is_object()) throw std::invalid_argument("not a line of JSON");
    const std::string name = j.at("command").get<std::string>();
    command = WorkerCommand();
    if (name == "test") {
      command.kind = WorkerCommand::Kind::kTest;
      command.attempt = AttemptFrom(j.at("attempt"));
    } else if (name == "answer") {
      command.kind = WorkerCommand::Kind::kAnswer;
      command.ok = j.at("ok").get<bool>();
    } else if (name == "stop") {
      command.kind = WorkerCommand::Kind::kStop;
    } else {
      throw std::invalid_argument("unknown command " + name);
    }
    return true;
  } catch (const std::exception &e) {
    error = std::string("not a command: ") + e.what();
    return false;
  }
}

}  // namespace vorn_host
