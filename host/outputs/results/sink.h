// The results database as a subscriber to a session's records.
//
// A SQLite target is written directly: one transaction per attempt. A server
// target (postgresql://...) is written through the spool: each attempt is
// committed to a local SQLite file first, marked with the server it belongs
// to, and sent on by the forwarder (forwarder.h), off the units' path; while
// the server cannot be reached the session goes on spooling. What the file
// or the spool cannot commit (a lock held past the busy timeout, a full
// disk) is kept in the session's fallback beside it (fallback.h) and
// written at the next attempt, at the session's end, or by `vorn-results
// forward`.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/record.h"
#include "outputs/results/fallback.h"
#include "outputs/results/forwarder.h"
#include "outputs/results/store.h"

namespace vorn_results {

inline constexpr const char *kDefaultDatabase = "results.sqlite";
inline constexpr const char *kSpoolFile = "results-spool.sqlite";

class DatabaseSink {
 public:
  // target: a SQLite file or postgresql://...; spool: the spool file a server
  // target uses (unused for a file). Null, with the reason in error, when a
  // session may not start on it: a malformed address or option, a server
  // that refuses the database or the login, a file or folder that is
  // read-only, a damaged file, a disk without room. A server that does not
  // answer is no reason: its units wait in the spool.
  static std::unique_ptr<DatabaseSink> Open(const std::string &target, const std::string &spool, std::string &error);
  // A file it made for a session that never started (another output
  // refused the run) is removed.
  ~DatabaseSink();

  // The stop requests the end's wait for the server heeds: one cuts it short.
  void heedStops(std::function<int()> stops) { stops_ = std::move(stops); }

  // Each returns true when all went where it belongs; else false with a text
  // for the operator in error, and lastKept() says whether it was kept all
  // the same (in the spool, in the fallback) or lost.
  bool sessionStarted(const vorn_host::SessionRecord &session, std::string &error);
  bool attemptFinished(const vorn_host::UnitRecord &unit, std::string &error);
  bool sessionEnded(const vorn_host::SessionRecord &session, std::string &error);
  bool lastKept() const { return kept_; }
  // A record of the station's health (core/health_json.h): committed to the
  // file, or to the spool for the server, like an attempt.
  bool health(const std::string &kind, const nlohmann::json &record, std::string &error);

  // This server's units waiting in the spool; 0 for a file target.
  std::size_t pending();
  const std::string &target() const { return target_; }
  bool serverTarget() const { return IsServerTarget(target_); }
  // The files it writes: the results file or the spool, its fallback and the reserve.
  std::vector<std::string> files() const;

 private:
  explicit DatabaseSink(std::string target);
  bool openServer(std::unique_ptr<Store> &server, std::string &error);
  bool openLocal(const std::string &path, std::string &error);
  bool ensureSession(const vorn_host::SessionRecord &session, std::string &error);
  bool write(const Kept &kept, std::string &error);
  // Writes what the fallback holds; true once it holds nothing.
  bool retryKept(std::vector<std::string> &notes);
  // Keeps it in the fallback, why it could not be written; false when even
  // that failed.
  bool keep(const Kept &kept, const std::string &what, const std::string &why, std::vector<std::string> &notes,
            std::string &error);
  void spooledElsewhere(std::vector<std::string> &notes);
  void collect(std::vector<std::string> &notes);

  std::string target_;
  std::string address_;           // a server's ServerAddress
  std::string outage_;            // why the server did not answer at the start
  std::unique_ptr<Store> local_;  // the file, or the spool
  std::string sessionWritten_;    // the session whose row is in local_
  std::string made_;              // the file, had it to be made
  bool started_ = false;
  Fallback fallback_;
  std::vector<Kept> held_;          // in the fallback, not yet in local_
  std::vector<std::string> notes_;  // said with the next event
  std::function<int()> stops_;
  bool kept_ = false;
  Abandon abandon_;                       // the forwarder's exchanges
  std::unique_ptr<Forwarder> forwarder_;  // last: ended first
};

// Writes a kept record into the store (a spool's under the server it was
// spooled for, else under server).
bool WriteKept(Store &store, const Kept &kept, const std::string &server, std::string &error);

// `vorn-results forward`: what sessions kept for target and could not
// deliver. The fallback files they left beside the file (or the spool) are
// written to it; for a server, the spool's units that belong to it are sent
// on, and those of other servers stay.
struct ForwardReport {
  std::size_t recovered = 0;  // records from fallback files
  std::size_t forwarded = 0;
  std::size_t left = 0;  // this server's units still in the spool
  std::map<std::string, std::size_t> elsewhere;
  std::vector<std::string> notes;
};
bool ForwardKept(const std::string &target, const std::string &spool, ForwardReport &report, std::string &error);

}  // namespace vorn_results
