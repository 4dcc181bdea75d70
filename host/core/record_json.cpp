#include "core/record_json.h"

#include <cmath>

#include "core/catalogue.h"
#include "os/text.h"

namespace vorn_host {

namespace {

using nlohmann::json;
using ordered = nlohmann::ordered_json;

// A result value: a number, or "NaN", "Infinity" and "-Infinity" for what is
// not finite, so that it is told from null ("not written").
ordered ValueJson(const std::optional<double> &value) {
  if (!value) return nullptr;
  if (std::isnan(*value)) return "NaN";
  if (std::isinf(*value)) return *value > 0 ? "Infinity" : "-Infinity";
  return *value;
}

std::optional<double> ValueFrom(const json &j) {
  if (j.is_number()) return j.get<double>();
  if (j == "NaN") return std::nan("");
  if (j == "Infinity") return HUGE_VAL;
  if (j == "-Infinity") return -HUGE_VAL;
  return std::nullopt;
}

ordered BoundJson(const std::optional<double> &bound) { return bound ? ordered(*bound) : ordered(nullptr); }

double Milliseconds(double seconds) { return std::round(seconds * 1e4) / 10; }

ordered Texts(const std::vector<std::string> &texts) {
  ordered out = ordered::array();
  for (const std::string &t : texts) out.push_back(JsonSafe(t));
  return out;
}

ordered SocketsJson(const std::vector<SocketRecord> &sockets) {
  ordered out = ordered::array();
  for (const SocketRecord &s : sockets) {
    out.push_back(
        {{"name", JsonSafe(s.name)}, {"parameters", JsonSafe(s.parameters)}, {"parametersSha256", s.parametersSha256}});
  }
  return out;
}

// A result: with the measurement's label and unit when the catalogue knows it.
ordered ResultJson(const StepRecord &r, const EntryResult &e, const std::optional<Setting> &setting) {
  ordered result = {{"entry", e.entry},
                    {"value", ValueJson(e.value)},
                    {"name", e.name ? ordered(JsonSafe(*e.name)) : ordered(nullptr)}};
  if (const std::optional<Measurement> m = MeasurementOf(r.step.exportName, e.entry, e.name)) {
    result["measurement"] = JsonSafe(MeasurementLabel(*m, setting));
    result["unit"] = m->unit;
  }
  result["passed"] = e.passed;
  return result;
}

ordered StepJsonIn(const StepRecord &r, std::size_t index, const std::optional<Setting> &setting) {
  ordered step = {{"index", index},
                  {"line", r.step.line},
                  {"export", r.step.exportName},
                  {"step", r.step.number},
                  {"verdict", VerdictText(r.verdict)}};
  if (r.step.cleanup) step["cleanup"] = true;
  if (r.verdict != Verdict::kNotRun) {
    step["returned"] = r.returned;
    step["text"] = JsonSafe(r.text);
    step["durationMs"] = Milliseconds(r.seconds);
    step["waitedMs"] = r.waitedMs;
  }
  ordered limits = ordered::array();
  for (const Limit &l : r.step.limits)
    limits.push_back({{"entry", l.entry}, {"low", BoundJson(l.low)}, {"high", BoundJson(l.high)}});
  step["limits"] = std::move(limits);
  step["misses"] = Texts(r.misses);
  ordered results = ordered::array();
  for (const EntryResult &e : r.entries) results.push_back(ResultJson(r, e, setting));
  step["results"] = std::move(results);
  return step;
}

}  // namespace

ordered StepJson(const StepRecord &r, std::size_t index) { return StepJsonIn(r, index, std::nullopt); }

namespace {

// The readers below throw nlohmann's type errors on a field of the wrong
// kind; RecordFromJson turns them into a message.
std::string Text(const json &j, const char *key) { return j.at(key).get<std::string>(); }
std::string TextOr(const json &j, const char *key) {
  const auto it = j.find(key);
  return it == j.end() || it->is_null() ? std::string() : it->get<std::string>();
}

Verdict VerdictFrom(const json &j) {
  const std::optional<Verdict> v = VerdictOf(Text(j, "verdict"));
  if (!v) throw std::invalid_argument("unknown verdict " + Text(j, "verdict"));
  return *v;
}

StepRecord StepFrom(const json &j) {
  StepRecord r;
  r.step.line = j.at("line").get<int>();
  r.step.exportName = Text(j, "export");
  r.step.number = j.at("step").get<int32_t>();
  r.step.cleanup = j.value("cleanup", false);
  for (const json &l : j.at("limits")) {
    Limit limit;
    limit.entry = l.at("entry").get<int>();
    if (!l.at("low").is_null()) limit.low = l.at("low").get<double>();
    if (!l.at("high").is_null()) limit.high = l.at("high").get<double>();
    r.step.limits.push_back(limit);
  }
  r.verdict = VerdictFrom(j);
  r.returned = j.value("returned", 0);
  r.text = TextOr(j, "text");
  r.seconds = j.value("durationMs", 0.0) / 1000.0;
  r.waitedMs = j.value("waitedMs", uint64_t{0});
  r.misses = j.at("misses").get<std::vector<std::string>>();
  for (const json &e : j.at("results")) {
    EntryResult entry;
    entry.entry = e.at("entry").get<int>();
    entry.value = ValueFrom(e.at("value"));
    if (!e.at("name").is_null()) entry.name = e.at("name").get<std::string>();
    // "measurement" and "unit" follow from the rest by the catalogue: an
    // older record without them reads alike, and they are not read back.
    entry.limit = [&]() -> std::optional<Limit> {
      const Limit *l = r.step.limitFor(entry.entry);
      return l ? std::optional<Limit>(*l) : std::nullopt;
    }();
    entry.passed = e.at("passed").get<bool>();
    r.entries.push_back(std::move(entry));
  }
  return r;
}

}  // namespace

std::string JsonSafe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8Length(text, i);
    if (length > 0) {
      out.append(text, i, length);
      i += length;
      continue;
    }
    // Latin-1: U+0080 to U+00FF in two bytes.
    const auto byte = static_cast<unsigned char>(text[i++]);
    out += static_cast<char>(0xC0 | (byte >> 6));
    out += static_cast<char>(0x80 | (byte & 0x3F));
  }
  return out;
}

std::string JsonText(const json &j, bool indented) {
  // Every text went through JsonSafe; replace only guards a slip.
  return j.dump(indented ? 2 : -1, ' ', false, json::error_handler_t::replace);
}

std::string JsonText(const ordered &j, bool indented) {
  return j.dump(indented ? 2 : -1, ' ', false, json::error_handler_t::replace);
}

ordered SessionJson(const SessionRecord &s) {
  ordered j = {{"id", s.id},
               {"station", JsonSafe(s.station)},
               {"host", JsonSafe(s.host)},
               {"library", JsonSafe(s.library)},
               {"version", JsonSafe(s.version)},
               {"plan", JsonSafe(s.plan)},
               {"planSha256", s.planSha256},
               {"parameters", JsonSafe(s.parameters)},
               {"parametersSha256", s.parametersSha256},
               {"operator", s.operatorName.empty() ? ordered(nullptr) : ordered(JsonSafe(s.operatorName))},
               {"simulated", s.simulated},
               {"clock", s.virtualClock ? "virtual" : "real"},
               {"scenarios", Texts(s.scenarios)},
               {"faults", Texts(s.faults)},
               {"faultInjected", s.faultInjected},
               {"mode", ModeText(s.mode)},
               {"healthCheckSkipped", s.healthCheckSkipped},
               {"single", s.single},
               {"sockets", SocketsJson(s.sockets)},
               {"started", s.started},
               {"ended", s.ended.empty() ? ordered(nullptr) : ordered(s.ended)}};
  return j;
}

ordered RecordJson(const UnitRecord &u) {
  ordered steps = ordered::array();
  const std::vector<std::optional<Setting>> settings = Settings(u.run);
  for (std::size_t i = 0; i < u.run.steps.size(); ++i) steps.push_back(StepJsonIn(u.run.steps[i], i + 1, settings[i]));
  ordered j = {{"format", kRecordFormat},
               {"uuid", u.uuid},
               {"session", u.session ? SessionJson(*u.session) : ordered(nullptr)},
               {"unit",
                {{"id", u.unitId},
                 {"serial", JsonSafe(u.serial)},
                 {"index", u.index},
                 {"attempt", u.attempt},
                 {"firstAttempt", u.firstAttempt()},
                 {"prior", PriorText(u.prior)},
                 {"socket", u.socket.empty() ? ordered(nullptr) : ordered(JsonSafe(u.socket))}}},
               {"operator", u.operatorName.empty() ? ordered(nullptr) : ordered(JsonSafe(u.operatorName))},
               {"started", u.run.started},
               {"verdict", VerdictText(u.run.verdict)},
               {"stopped", u.run.stopped},
               {"durationMs", Milliseconds(u.run.seconds)},
               {"waitedMs", u.run.waitedMs},
               {"steps", std::move(steps)}};
  return j;
}

bool SessionFromJson(const json &j, SessionRecord &s, std::string &error) {
  try {
    s.id = Text(j, "id");
    s.station = Text(j, "station");
    s.host = Text(j, "host");
    s.library = Text(j, "library");
    s.version = Text(j, "version");
    s.plan = Text(j, "plan");
    s.planSha256 = Text(j, "planSha256");
    s.parameters = Text(j, "parameters");
    s.parametersSha256 = Text(j, "parametersSha256");
    s.operatorName = TextOr(j, "operator");
    s.simulated = j.at("simulated").get<bool>();
    s.virtualClock = Text(j, "clock") == "virtual";
    s.scenarios = j.at("scenarios").get<std::vector<std::string>>();
    s.faults = j.at("faults").get<std::vector<std::string>>();
    s.faultInjected = j.at("faultInjected").get<bool>();
    const std::optional<SessionMode> mode = ModeOf(Text(j, "mode"));
    if (!mode) throw std::invalid_argument("unknown mode " + Text(j, "mode"));
    s.mode = *mode;
    s.healthCheckSkipped = j.value("healthCheckSkipped", false);
    s.single = j.value("single", false);
    s.sockets.clear();
    for (const json &socket : j.value("sockets", json::array())) {
      s.sockets.push_back({Text(socket, "name"), Text(socket, "parameters"), Text(socket, "parametersSha256")});
    }
    s.started = Text(j, "started");
    s.ended = TextOr(j, "ended");
    return true;
  } catch (const std::exception &e) {
    error = std::string("not a session record: ") + e.what();
    return false;
  }
}

bool StepFromJson(const json &j, StepRecord &step, std::string &error) {
  try {
    step = StepFrom(j);
    return true;
  } catch (const std::exception &e) {
    error = std::string("not a step record: ") + e.what();
    return false;
  }
}

bool RecordFromJson(const json &j, UnitRecord &u, std::string &error) {
  try {
    if (j.value("format", "") != kRecordFormat) throw std::invalid_argument("no format " + std::string(kRecordFormat));
    if (!j.at("session").is_null()) {
      auto session = std::make_shared<SessionRecord>();
      if (!SessionFromJson(j.at("session"), *session, error)) return false;
      u.session = std::move(session);
    }
    u.uuid = Text(j, "uuid");
    const json &unit = j.at("unit");
    u.unitId = Text(unit, "id");
    u.serial = Text(unit, "serial");
    u.index = unit.at("index").get<int>();
    u.attempt = unit.at("attempt").get<int>();
    const std::optional<Prior> prior = PriorOf(Text(unit, "prior"));
    if (!prior) throw std::invalid_argument("unknown prior " + Text(unit, "prior"));
    u.prior = *prior;
    u.socket = TextOr(unit, "socket");
    u.operatorName = TextOr(j, "operator");
    u.run.started = Text(j, "started");
    u.run.verdict = VerdictFrom(j);
    u.run.stopped = j.at("stopped").get<bool>();
    u.run.seconds = j.at("durationMs").get<double>() / 1000.0;
    u.run.waitedMs = j.at("waitedMs").get<uint64_t>();
    u.run.steps.clear();
    for (const json &step : j.at("steps")) u.run.steps.push_back(StepFrom(step));
    return true;
  } catch (const std::exception &e) {
    error = std::string("not a unit record: ") + e.what();
    return false;
  }
}

}  // namespace vorn_host
