// The spool's way to the results server: a thread of the session's own, off
// the units' path. A unit is committed to the spool (a local SQLite commit)
// on the path; the forwarder then sends it on over a connection of its own
// to the spool (WAL lets the two connections share the file) and one to the
// server. A server that does not answer is tried again after a pause that
// doubles up to half a minute, not at every unit; each exchange has its
// deadline, so a stalled server holds the forwarder, never the station.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "outputs/results/store.h"

namespace vorn_results {

// The flag that gives a station's exchanges with the server up.
using Abandon = std::shared_ptr<std::atomic<bool>>;

// The limits of a station's exchanges with the server: 5 s to connect, 10 s
// to an exchange, 8 s to a statement on the server; given up once abandon
// (if any) is set.
ServerLimits StationLimits(const Abandon &abandon = nullptr);

// The server's store: connected within the limits and brought to the
// current schema. A server that answers but cannot be migrated (a schema
// newer than this host's, no right to create the tables) is refused.
std::unique_ptr<Store> ServerStore(const std::string &uri, const ServerLimits &limits, ServerProblem &problem,
                                   std::string &error);

// Sends the spool's entries for the server at address (its ServerAddress),
// oldest first, each removed from the spool once the server holds it; those
// of other servers stay. Safe to repeat: the server keeps one copy of each
// attempt. interrupted, asked between entries, gives the rest up. An entry
// the server answers it will not take (text it cannot store, a statement
// timeout) stays in the spool and holds up none of the others: refused
// counts them, error says why the first was refused.
bool Forward(Store &spool, Store &server, const std::string &address, const std::function<bool()> &interrupted,
             std::size_t &forwarded, std::size_t &refused, std::string &error);

// The units waiting in the spool, by the server they wait for ("": spooled
// by a host that did not say).
bool SpooledUnits(Store &spool, std::map<std::string, std::size_t> &units, std::string &error);

class Forwarder {
 public:
  // spool: a connection of its own to the spool; server: connected (within
  // StationLimits(abandon)), or null when it did not answer (outageTold:
  // and the operator has been told).
  Forwarder(std::string uri, std::string address, std::unique_ptr<Store> spool, std::unique_ptr<Store> server,
            bool outageTold, Abandon abandon);
  // Gives up what it is doing (within 100 ms, or one DNS look-up) and ends.
  ~Forwarder();
  Forwarder(const Forwarder &) = delete;
  Forwarder &operator=(const Forwarder &) = delete;

  // Something new in the spool.
  void wake();
  // One more try at once, waited for up to wait or until stopped() says so;
  // false when it was given up (the forwarder has ended).
  bool finish(std::chrono::milliseconds wait, const std::function<bool()> &stopped);
  // What the operator should know since the last call, or empty.
  std::string news();

 private:
  using Clock = std::chrono::steady_clock;
  void run();
  void pass();
  void stop();

  const std::string uri_;
  const std::string address_;
  const std::string spoolName_;
  std::unique_ptr<Store> spool_;
  std::unique_ptr<Store> server_;
  ServerLimits limits_;

  std::mutex mutex_;
  std::condition_variable changed_;
  bool due_ = true;
  Clock::time_point nextTry_{};
  Clock::duration pause_;
  bool outageTold_;
  bool refusalTold_ = false;
  uint64_t asked_ = 0;  // tries asked for at once, and made
  uint64_t made_ = 0;
  std::string news_;
  Abandon abandon_;
  std::thread thread_;
};

}  // namespace vorn_results
