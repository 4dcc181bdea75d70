// The results database as a subscriber to a session's records.
//
// A SQLite target is written directly: one transaction per attempt. A server
// target (postgresql://...) is written through the spool: each attempt is
// committed to a local SQLite file first, then forwarded; while the server
// cannot be reached the session goes on spooling, and the spool is forwarded
// after every attempt, at the session's end and by `vorn-results forward`.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "core/record.h"
#include "outputs/results/store.h"

namespace vorn_results {

inline constexpr const char *kDefaultDatabase = "results.sqlite";
inline constexpr const char *kSpoolFile = "results-spool.sqlite";

class DatabaseSink {
 public:
  // target: a SQLite file or postgresql://...; spool: the spool file a server
  // target uses (unused for a file). Null, with the reason in error, when the
  // file or the spool cannot be opened; a server that does not answer is no
  // reason: its units wait in the spool.
  static std::unique_ptr<DatabaseSink> Open(const std::string &target, const std::string &spool, std::string &error);

  bool sessionStarted(const vorn_host::SessionRecord &session, std::string &error);
  // True once the attempt is committed (to the file, or to the spool). False
  // when it could not be; and false once, with the notice in error, when the
  // server stops answering: the attempts after it are spooled without a word
  // until the server answers again.
  bool attemptFinished(const vorn_host::UnitRecord &unit, std::string &error);
  bool sessionEnded(const vorn_host::SessionRecord &session, std::string &error);
  // A record of the station's health (core/health_json.h): committed to the
  // file, or to the spool for the server, like an attempt.
  bool health(const std::string &kind, const nlohmann::json &record, std::string &error);

  // Sends the spool on now; forwarded counts the attempts the server took.
  bool forward(std::size_t &forwarded, std::string &error);
  // Attempts waiting in the spool; 0 for a file target.
  std::size_t pending();
  const std::string &target() const { return target_; }
  bool serverTarget() const { return IsServerTarget(target_); }
  // Whether the last attempt handed over is committed, whatever was said.
  bool lastKept() const { return kept_; }

 private:
  DatabaseSink(std::string target, std::unique_ptr<Store> local)
      : target_(std::move(target)), local_(std::move(local)) {}
  bool ensureSession(const vorn_host::SessionRecord &session, std::string &error);
  // Forwards what it can; says once per outage that the server is away.
  // Unless forced, a server that did not answer is tried again only after a
  // pause, so that a station cut off from the network does not wait for a
  // connection's timeout at every unit.
  bool tryForward(bool force, std::string &error);

  std::string target_;
  std::unique_ptr<Store> local_;   // the file, or the spool
  std::unique_ptr<Store> server_;  // connected while the server answers
  std::string sessionWritten_;     // the session whose row is in local_
  bool outageTold_ = false;
  bool kept_ = false;
  std::chrono::steady_clock::time_point nextTry_{};
};

// Sends every attempt in the spool to the server, oldest first, each removed
// from the spool once the server holds it. Safe to repeat: the server keeps
// one copy of each attempt.
bool Forward(Store &spool, Store &server, std::size_t &forwarded, std::string &error);

}  // namespace vorn_results
