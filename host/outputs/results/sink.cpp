#include "outputs/results/sink.h"

#include <cstdio>
#include <random>

namespace vorn_results {

using vorn_host::SessionRecord;
using vorn_host::UnitRecord;

std::unique_ptr<DatabaseSink> DatabaseSink::Open(const std::string &target, const std::string &spool,
                                                 std::string &error) {
  const bool server = IsServerTarget(target);
  std::unique_ptr<Store> local = Store::Open(server ? spool : target, server, error);
  if (!local) {
    if (server) error = "the results spool: " + error;
    return nullptr;
  }
  return std::unique_ptr<DatabaseSink>(new DatabaseSink(target, std::move(local)));
}

bool DatabaseSink::ensureSession(const SessionRecord &session, std::string &error) {
  if (sessionWritten_ == session.id) return true;
  if (!local_->putSession(session, error)) return false;
  sessionWritten_ = session.id;
  return true;
}

bool DatabaseSink::sessionStarted(const SessionRecord &session, std::string &error) {
  if (!ensureSession(session, error)) return false;
  return !serverTarget() || tryForward(true, error);
}

bool DatabaseSink::attemptFinished(const UnitRecord &unit, std::string &error) {
  bool stored = false;
  kept_ = false;
  if (!ensureSession(*unit.session, error) || !local_->putUnit(ToRow(unit), stored, error)) {
    error = "unit " + std::to_string(unit.index) + " attempt " + std::to_string(unit.attempt) +
            " was not recorded: " + error;
    return false;
  }
  kept_ = true;
  return !serverTarget() || tryForward(false, error);
}

bool DatabaseSink::health(const std::string &kind, const nlohmann::json &record, std::string &error) {
  bool stored = false;
  kept_ = false;
  if (!local_->putHealth(kind, record, stored, error)) {
    error = "the " + kind + " was not recorded: " + error;
    return false;
  }
  kept_ = true;
  return !serverTarget() || tryForward(false, error);
}

bool DatabaseSink::sessionEnded(const SessionRecord &session, std::string &error) {
  if (!local_->putSession(session, error)) return false;
  sessionWritten_ = session.id;
  if (!serverTarget()) return true;
  if (!tryForward(true, error)) return false;
  const std::size_t left = pending();
  if (left > 0) {
    error = std::to_string(left) + " units wait in the spool " + local_->db().name() +
            "; vorn-results forward sends them on";
    return false;
  }
  return true;
}

// The pause before a server that did not answer is tried again.
constexpr std::chrono::seconds kRetryPause{10};

bool DatabaseSink::tryForward(bool force, std::string &error) {
  std::string why;
  if (server_ && !server_->db().connected()) server_.reset();
  const auto now = std::chrono::steady_clock::now();
  if (!server_ && !force && now < nextTry_) return true;
  if (!server_) server_ = Store::Open(target_, false, why);
  if (!server_) nextTry_ = now + kRetryPause;
  std::size_t forwarded = 0;
  if (server_ && Forward(*local_, *server_, forwarded, why)) {
    outageTold_ = false;
    return true;
  }
  if (server_ && !server_->db().connected()) server_.reset();
  if (outageTold_) return true;
  outageTold_ = true;
  error =
      "results server: " + why + "; units are spooled in " + local_->db().name() + " and sent on when it takes them";
  return false;
}

bool DatabaseSink::forward(std::size_t &forwarded, std::string &error) {
  forwarded = 0;
  if (!serverTarget()) return true;
  if (server_ && !server_->db().connected()) server_.reset();
  if (!server_) server_ = Store::Open(target_, false, error);
  return server_ && Forward(*local_, *server_, forwarded, error);
}

std::size_t DatabaseSink::pending() {
  if (!serverTarget()) return 0;
  std::vector<Store::Queued> queued;
  std::string ignored;
  local_->outbox(queued, ignored);
  std::size_t units = 0;
  for (const Store::Queued &q : queued) units += q.kind == "unit" ? 1 : 0;
  return units;
}

bool Forward(Store &spool, Store &server, std::size_t &forwarded, std::string &error) {
  forwarded = 0;
  std::vector<Store::Queued> queued;
  if (!spool.outbox(queued, error)) return false;
  // The sessions first: a unit needs its session's row on the server.
  for (int pass = 0; pass < 2; ++pass) {
    for (const Store::Queued &q : queued) {
      bool found = false;
      if (pass == 0 && q.kind == "session") {
        SessionRecord session;
        if (!spool.getSession(q.key, session, found, error)) return false;
        if (found && !server.putSession(session, error)) return false;
        if (!spool.dequeue(q, error)) return false;
      } else if (pass == 1 && q.kind == "unit") {
        UnitRow unit;
        bool stored = false;
        if (!spool.getUnit(q.key, unit, found, error)) return false;
        if (found && !server.putUnit(unit, stored, error)) return false;
        // A crash after the server's commit re-sends it: the server keeps one.
        if (!spool.removeUnit(q.key, error)) return false;
        forwarded += found ? 1 : 0;
      }
    }
  }
  // The station's health records, after the sessions and units they name.
  std::vector<Store::QueuedHealth> health;
  if (!spool.healthOutbox(health, error)) return false;
  for (const Store::QueuedHealth &h : health) {
    bool stored = false;
    const nlohmann::json record = nlohmann::json::parse(h.record, nullptr, false);
    if (!record.is_discarded() && !server.putHealth(h.kind, record, stored, error)) return false;
    if (!spool.dequeueHealth(h.seq, error)) return false;
  }
  return true;
}

}  // namespace vorn_results
