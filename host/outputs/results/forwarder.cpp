#include "outputs/results/forwarder.h"

#if !defined(_WIN32)
#include <pthread.h>
#include <signal.h>
#endif

#include "outputs/results/schema.h"

namespace vorn_results {

using vorn_host::SessionRecord;

namespace {

constexpr std::chrono::seconds kFirstPause{1};
constexpr std::chrono::seconds kLongestPause{30};
constexpr std::chrono::milliseconds kSlice{100};

// A thread that takes none of the operator's stop requests (SIGINT, SIGTERM,
// SIGHUP): they go to the thread that runs the steps, where a read of the
// operator's answer is to be interrupted by them.
template <typename Body>
std::thread ThreadWithoutStopSignals(Body body) {
#if defined(_WIN32)
  return std::thread(body);
#else
  sigset_t stops, before;
  sigemptyset(&stops);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, signal);
  pthread_sigmask(SIG_BLOCK, &stops, &before);
  std::thread thread(body);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return thread;
#endif
}

}  // namespace

ServerLimits StationLimits(const Abandon &abandon) {
  ServerLimits limits;
  if (abandon) limits.interrupted = [abandon] { return abandon->load(); };
  limits.connect = std::chrono::seconds(5);
  limits.exchange = std::chrono::seconds(10);
  limits.statement = std::chrono::seconds(8);
  return limits;
}

std::unique_ptr<Store> ServerStore(const std::string &uri, const ServerLimits &limits, ServerProblem &problem,
                                   std::string &error) {
  std::unique_ptr<Database> db = ConnectPostgres(uri, limits, problem, error);
  if (!db) return nullptr;
  // Migrated here first, to tell a server that refuses it from one that went away.
  if (!Migrate(*db, error)) {
    problem = db->connected() ? ServerProblem::kRefused : ServerProblem::kUnreachable;
    return nullptr;
  }
  std::unique_ptr<Store> store = Store::Over(std::move(db), false, error);
  if (!store) problem = ServerProblem::kUnreachable;
  return store;
}

namespace {

// One outbox entry sent on and taken out of the spool. refused: the server
// answered that it will not take it (the connection stays).
bool SendOne(Store &spool, Store &server, const Store::Queued &q, bool &refused, std::size_t &forwarded,
             std::string &error) {
  refused = false;
  bool found = false;
  if (q.kind == "session") {
    SessionRecord session;
    if (!spool.getSession(q.key, session, found, error)) return false;
    if (found && !server.putSession(session, error)) {
      refused = server.db().connected();
      return false;
    }
    return spool.dequeue(q, error);
  }
  UnitRow unit;
  bool stored = false;
  if (!spool.getUnit(q.key, unit, found, error)) return false;
  if (found && !server.putUnit(unit, stored, error)) {
    refused = server.db().connected();
    return false;
  }
  // A crash after the server's commit re-sends it: the server keeps one.
  if (!spool.removeUnit(q.key, error)) return false;
  forwarded += found ? 1 : 0;
  return true;
}

// The station's health records, after the sessions and units they name.
bool ForwardHealth(Store &spool, Store &server, const std::string &address, std::string &error) {
  std::vector<Store::QueuedHealth> health;
  if (!spool.healthOutbox(health, error)) return false;
  for (const Store::QueuedHealth &h : health) {
    if (h.server != address) continue;
    bool stored = false;
    const nlohmann::json record = nlohmann::json::parse(h.record, nullptr, false);
    if (!record.is_discarded() && !server.putHealth(h.kind, record, stored, error)) return false;
    if (!spool.dequeueHealth(h.seq, error)) return false;
  }
  return true;
}

}  // namespace

bool Forward(Store &spool, Store &server, const std::string &address, const std::function<bool()> &interrupted,
             std::size_t &forwarded, std::size_t &refused, std::string &error) {
  forwarded = 0;
  refused = 0;
  std::vector<Store::Queued> queued;
  if (!spool.outbox(queued, error)) return false;
  // The sessions first: a unit needs its session's row on the server.
  for (int pass = 0; pass < 2; ++pass) {
    for (const Store::Queued &q : queued) {
      if (q.server != address || (q.kind == "session") != (pass == 0)) continue;
      if (interrupted && interrupted()) {
        error = "given up with units still to send";
        return false;
      }
      bool refusedOne = false;
      std::string why;
      if (SendOne(spool, server, q, refusedOne, forwarded, why)) continue;
      if (!refusedOne) {
        error = why;
        return false;
      }
      // One entry the server will not take holds up none of the others.
      if (refused++ == 0) error = why;
    }
  }
  return ForwardHealth(spool, server, address, error);
}

bool SpooledUnits(Store &spool, std::map<std::string, std::size_t> &units, std::string &error) {
  units.clear();
  std::vector<Store::Queued> queued;
  if (!spool.outbox(queued, error)) return false;
  for (const Store::Queued &q : queued) {
    if (q.kind == "unit") ++units[q.server];
  }
  return true;
}

Forwarder::Forwarder(std::string uri, std::string address, std::unique_ptr<Store> spool, std::unique_ptr<Store> server,
                     bool outageTold, Abandon abandon)
    : uri_(std::move(uri)),
      address_(std::move(address)),
      spoolName_(spool->db().name()),
      spool_(std::move(spool)),
      server_(std::move(server)),
      limits_(StationLimits(abandon)),
      pause_(kFirstPause),
      outageTold_(outageTold),
      abandon_(std::move(abandon)) {
  if (!server_) nextTry_ = Clock::now() + pause_;
  thread_ = ThreadWithoutStopSignals([this] { run(); });
}

Forwarder::~Forwarder() { stop(); }

void Forwarder::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    *abandon_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Forwarder::wake() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    due_ = true;
  }
  changed_.notify_all();
}

std::string Forwarder::news() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string said;
  said.swap(news_);
  return said;
}

bool Forwarder::finish(std::chrono::milliseconds wait, const std::function<bool()> &stopped) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (*abandon_) return false;
  const uint64_t ask = ++asked_;
  changed_.notify_all();
  const Clock::time_point until = Clock::now() + wait;
  while (made_ < ask && Clock::now() < until && !(stopped && stopped())) changed_.wait_for(lock, kSlice);
  const bool made = made_ >= ask;
  lock.unlock();
  if (!made) stop();
  return made;
}

void Forwarder::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!*abandon_) {
    const bool asked = asked_ > made_;
    if (!asked && !(due_ && Clock::now() >= nextTry_)) {
      if (due_) {
        changed_.wait_until(lock, nextTry_);
      } else {
        changed_.wait(lock);
      }
      continue;
    }
    const uint64_t ask = asked_;
    due_ = false;
    lock.unlock();
    pass();
    lock.lock();
    if (asked) made_ = ask;
    changed_.notify_all();
  }
}

// One try: connect when not connected, then send everything of this
// server's. Runs without the lock, which it takes to say how it went.
void Forwarder::pass() {
  std::string why;
  bool sent = false;
  if (server_ && !server_->db().connected()) server_.reset();
  if (!server_) {
    ServerProblem problem = ServerProblem::kNone;
    server_ = ServerStore(uri_, limits_, problem, why);
  }
  std::size_t forwarded = 0;
  std::size_t refused = 0;
  if (server_) sent = Forward(*spool_, *server_, address_, limits_.interrupted, forwarded, refused, why);
  if (server_ && !server_->db().connected()) server_.reset();
  std::lock_guard<std::mutex> lock(mutex_);
  if (sent) {
    outageTold_ = false;
    pause_ = kFirstPause;
    nextTry_ = Clock::now();
    if (refused > 0 && !refusalTold_) {
      news_ = "results server: it refuses " + std::to_string(refused) + " entries of the spool (the first: " + why +
              "); they stay in " + spoolName_ + ", the others are sent on";
    }
    refusalTold_ = refused > 0;
    return;
  }
  due_ = true;  // tried again after the pause, whether or not a unit comes
  nextTry_ = Clock::now() + pause_;
  pause_ = std::min<Clock::duration>(pause_ * 2, kLongestPause);
  if (*abandon_ || outageTold_) return;
  outageTold_ = true;
  news_ = "results server: " + why + "; units are kept in " + spoolName_ + " and sent on when it takes them";
}

}  // namespace vorn_results
