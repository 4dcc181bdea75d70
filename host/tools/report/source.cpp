// One attempt as its page shows it.
#include "tools/report/source.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <tuple>

#include "tools/report/sql.h"

namespace vorn_reports {
namespace {

int64_t Int(const Value &v) { return v ? std::atoll(v->c_str()) : 0; }
std::string Text(const Value &v) { return v.value_or(""); }

}  // namespace

double StationSeconds(double seconds, int64_t waitedMs) {
  return std::max(seconds, static_cast<double>(waitedMs) / 1000.0);
}

bool ReadAttempt(const Source &src, const std::string &uuid, UnitView &unit, std::string &error) {
  vorn_results::UnitRow row;
  bool found = false;
  if (!src.store.getUnit(uuid, row, found, error)) return false;
  if (found && !src.sessions.count(row.sessionId) &&
      !src.store.getSession(row.sessionId, src.sessions[row.sessionId], found, error)) {
    return false;
  }
  const vorn_host::SessionRecord &session = src.sessions[row.sessionId];
  if (!found) {
    error = "no attempt with UUID \"" + uuid + "\"";
    return false;
  }
  Sql attempts;
  attempts << "SELECT count(*) FROM unit WHERE unit_id = " + attempts.param(row.unitId);
  if (!One(
          src, attempts, [&](const Row &r) { unit.attempts = static_cast<int>(Int(r[0])); }, error))
    return false;
  unit.uuid = row.uuid;
  unit.serial = row.serial;
  unit.attempt = row.attempt;
  unit.started = row.started;
  unit.seconds = row.seconds;
  unit.waitedSeconds = static_cast<double>(row.waitedMs) / 1000.0;
  unit.verdict = row.verdict;
  unit.stopped = row.stopped;
  unit.operatorName = row.operatorName.empty() ? session.operatorName : row.operatorName;
  unit.record = vorn_results::ToRecord(row, std::make_shared<const vorn_host::SessionRecord>(session));
  unit.steps = std::move(row.steps);
  unit.plan = session.plan;
  unit.station = session.station;
  unit.host = session.host;
  unit.library = session.library;
  unit.version = session.version;
  unit.simulated = session.simulated;
  return true;
}

bool ReadUnit(const Source &src, const std::string &serial, int attempt, UnitView &unit, std::string &error) {
  Sql sql;
  sql << "SELECT uuid FROM unit WHERE serial = " + sql.param(serial);
  if (attempt > 0) sql << " AND attempt = " + sql.integer(attempt);
  sql << " ORDER BY started DESC, attempt DESC LIMIT 1";
  std::string uuid;
  if (!One(
          src, sql, [&](const Row &r) { uuid = Text(r[0]); }, error))
    return false;
  if (uuid.empty()) {
    error = "no unit with serial \"" + serial + "\"" + (attempt > 0 ? " and attempt " + std::to_string(attempt) : "");
    return false;
  }
  return ReadAttempt(src, uuid, unit, error);
}

}  // namespace vorn_reports
