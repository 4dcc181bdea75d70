#include "outputs/results/sink.h"

#include <filesystem>
#include <system_error>

namespace vorn_results {

using vorn_host::SessionRecord;
using vorn_host::UnitRecord;

namespace {

// How long the session's end waits for the server to take the spool: a
// connection and an exchange, and the units a short outage left. After a
// stop request the wait is short: the operator wants the station stopped.
constexpr std::chrono::seconds kEndWait{30};
constexpr std::chrono::seconds kEndWaitStopped{2};

std::string Joined(const std::vector<std::string> &notes) {
  std::string text;
  for (const std::string &note : notes) text += (text.empty() ? "" : "; ") + note;
  return text;
}

std::string AttemptName(const UnitRecord &unit) {
  return "unit " + std::to_string(unit.index) + " attempt " + std::to_string(unit.attempt);
}

std::string ForwardCommand(const std::string &address) { return "vorn-results --db '" + address + "' forward"; }

}  // namespace

bool WriteKept(Store &store, const Kept &kept, const std::string &server, std::string &error) {
  store.spoolFor(kept.server.empty() ? server : kept.server);
  bool stored = false;
  const bool ok =
      store.putSession(*kept.session, error) && (!kept.unit || store.putUnit(ToRow(*kept.unit), stored, error));
  store.spoolFor(server);
  return ok;
}

std::unique_ptr<DatabaseSink> DatabaseSink::Open(const std::string &target, const std::string &spool,
                                                 std::string &error) {
  std::unique_ptr<DatabaseSink> sink(new DatabaseSink(target));
  if (!sink->serverTarget()) return sink->openLocal(target, error) ? std::move(sink) : nullptr;
  std::unique_ptr<Store> server;
  if (!sink->openServer(server, error)) return nullptr;
  if (!sink->openLocal(spool, error)) {
    error = "the results spool: " + error;
    return nullptr;
  }
  // The forwarder's own connection to the spool.
  std::unique_ptr<Database> db = OpenSqlite(spool, error);
  std::unique_ptr<Store> own = db ? Store::Over(std::move(db), true, error) : nullptr;
  if (!own) {
    error = "the results spool: " + error;
    return nullptr;
  }
  const bool told = !server;
  if (told) {
    sink->notes_.insert(sink->notes_.begin(), "results server: it does not answer (" + sink->outage_ +
                                                  "); units are kept in " + spool + " and sent on when it does");
  }
  sink->forwarder_ =
      std::make_unique<Forwarder>(target, sink->address_, std::move(own), std::move(server), told, sink->abandon_);
  return sink;
}

DatabaseSink::DatabaseSink(std::string target) : target_(std::move(target)) {}

DatabaseSink::~DatabaseSink() {
  forwarder_.reset();
  if (made_.empty() || started_) return;
  local_.reset();
  std::error_code ignored;
  std::filesystem::remove(made_, ignored);
}

bool DatabaseSink::openServer(std::unique_ptr<Store> &server, std::string &error) {
  ServerProblem problem = ServerProblem::kNone;
  std::string why;
  abandon_ = std::make_shared<std::atomic<bool>>(false);
  server = ServerStore(target_, StationLimits(abandon_), problem, why);
  if (problem == ServerProblem::kMalformed) {
    error = why;
    return false;
  }
  if (problem == ServerProblem::kRefused) {
    error = "the results server refuses: " + why;
    return false;
  }
  outage_ = why;
  address_ = ServerAddress(target_, why);
  return true;
}

bool DatabaseSink::openLocal(const std::string &path, std::string &error) {
  if (!fallback_.open(path, error)) return false;
  std::error_code ignored;
  if (!std::filesystem::exists(path, ignored)) made_ = path;
  std::unique_ptr<Database> db = OpenSqliteForWriting(path, error);
  if (db) local_ = Store::Over(std::move(db), serverTarget(), error);
  if (!local_) return false;
  local_->spoolFor(address_);
  std::size_t taken = 0;
  std::string why;
  const auto write = [&](const std::vector<Kept> &kept, std::string &e) {
    for (const Kept &k : kept) {
      if (!WriteKept(*local_, k, address_, e)) return false;
    }
    return true;
  };
  if (!TakeLeftovers(path, write, taken, notes_, why)) {
    notes_.push_back("records an earlier session kept beside " + path + " still wait: " + why);
  } else if (taken > 0) {
    notes_.push_back(std::to_string(taken) + " records an earlier session kept beside " + path + " are now in it");
  }
  return true;
}

std::vector<std::string> DatabaseSink::files() const {
  return {local_->db().name(), fallback_.path(), fallback_.reservePath()};
}

bool DatabaseSink::ensureSession(const SessionRecord &session, std::string &error) {
  if (sessionWritten_ == session.id) return true;
  if (!local_->putSession(session, error)) return false;
  sessionWritten_ = session.id;
  return true;
}

bool DatabaseSink::write(const Kept &kept, std::string &error) {
  if (!kept.unit) {
    if (!local_->putSession(*kept.session, error)) return false;
    sessionWritten_ = kept.session->id;
    return true;
  }
  bool stored = false;
  return ensureSession(*kept.session, error) && local_->putUnit(ToRow(*kept.unit), stored, error);
}

bool DatabaseSink::retryKept(std::vector<std::string> &notes) {
  if (held_.empty()) return true;
  std::string why;
  std::size_t done = 0;
  std::size_t units = 0;
  for (; done < held_.size() && write(held_[done], why); ++done) units += held_[done].unit ? 1 : 0;
  held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(done));
  if (!held_.empty()) return false;
  // Were the file not emptied, its records would only be written again: the store keeps one of each.
  if (!fallback_.clear(why)) notes.push_back(why);
  notes.push_back(std::to_string(units) + " attempts kept in " + fallback_.path() + " are now in " +
                  local_->db().name());
  return true;
}

bool DatabaseSink::keep(const Kept &kept, const std::string &what, const std::string &why,
                        std::vector<std::string> &notes, std::string &error) {
  const bool reserveBefore = fallback_.reserveUsed();
  std::string failed;
  if (!fallback_.keep(KeptLine(kept), failed)) {
    error = what + " was not recorded (" + why + "), nor kept (" + failed + ")";
    return false;
  }
  held_.push_back(kept);
  if (held_.size() == 1) {
    notes.push_back(what + " is kept in " + fallback_.path() + " until " + local_->db().name() + " takes it (" + why +
                    ")");
  } else {
    notes.push_back(what + " is kept in " + fallback_.path() + " too (" + std::to_string(held_.size()) + " wait)");
  }
  if (!reserveBefore && fallback_.reserveUsed()) {
    notes.push_back("the disk of " + local_->db().name() +
                    " is full: its reserve is used up; make room before the next phone is tested");
  }
  return true;
}

void DatabaseSink::collect(std::vector<std::string> &notes) {
  for (std::string &note : notes_) notes.push_back(std::move(note));
  notes_.clear();
  if (!forwarder_) return;
  std::string news = forwarder_->news();
  if (!news.empty()) notes.push_back(std::move(news));
}

void DatabaseSink::spooledElsewhere(std::vector<std::string> &notes) {
  std::map<std::string, std::size_t> units;
  std::string ignored;
  if (!serverTarget() || !SpooledUnits(*local_, units, ignored)) return;
  for (const auto &[server, count] : units) {
    if (server == address_) continue;
    const std::string n = std::to_string(count);
    notes.push_back(server.empty() ? "the spool also holds " + n +
                                         " units of an older vorn-host that did not say "
                                         "for which server; they stay"
                                   : "the spool also holds " + n + " units for " + server + "; they stay, and " +
                                         ForwardCommand(server) + " sends them there");
  }
}

bool DatabaseSink::sessionStarted(const SessionRecord &session, std::string &error) {
  kept_ = true;
  started_ = true;
  std::vector<std::string> notes;
  collect(notes);
  spooledElsewhere(notes);
  std::string why;
  if (!ensureSession(session, why))
    notes.push_back("the session's row waits (each attempt's record carries it): " + why);
  if (forwarder_) forwarder_->wake();
  error = Joined(notes);
  return notes.empty();
}

bool DatabaseSink::attemptFinished(const UnitRecord &unit, std::string &error) {
  kept_ = false;
  std::vector<std::string> notes;
  collect(notes);
  const Kept kept{unit.session, unit, address_};
  std::string why = "earlier attempts wait";
  if (retryKept(notes) && write(kept, why)) {
    kept_ = true;
    if (forwarder_) forwarder_->wake();
    error = Joined(notes);
    return notes.empty();
  }
  std::string lost;
  kept_ = keep(kept, AttemptName(unit), why, notes, lost);
  if (!kept_) notes.insert(notes.begin(), lost);
  error = Joined(notes);
  return false;
}

bool DatabaseSink::health(const std::string &kind, const nlohmann::json &record, std::string &error) {
  bool stored = false;
  kept_ = local_->putHealth(kind, record, stored, error);
  if (!kept_) {
    error = "the " + kind + " was not recorded: " + error;
    return false;
  }
  if (forwarder_) forwarder_->wake();
  return true;
}

bool DatabaseSink::sessionEnded(const SessionRecord &session, std::string &error) {
  std::vector<std::string> notes;
  collect(notes);
  const Kept end{std::make_shared<const SessionRecord>(session), std::nullopt, address_};
  std::string why = "earlier records wait";
  std::string lost;
  kept_ = (retryKept(notes) && write(end, why)) || keep(end, "the session's end", why, notes, lost);
  if (!kept_) notes.insert(notes.begin(), lost);
  if (!held_.empty()) {
    notes.push_back(std::to_string(held_.size()) + " records wait in " + fallback_.path() + "; " +
                    ForwardCommand(target_) + " records them once " + local_->db().name() + " takes them");
  }
  if (forwarder_) {
    const int stopsAtEnd = stops_ ? stops_() : 0;
    const bool made = forwarder_->finish(stopsAtEnd > 0 ? kEndWaitStopped : kEndWait,
                                         [&] { return stops_ && stops_() > stopsAtEnd; });
    collect(notes);
    const std::size_t left = pending();
    if (left > 0) {
      notes.push_back(std::to_string(left) + " units wait in the spool " + local_->db().name() +
                      (made ? "" : " (the wait for the server was given up)") + "; " + ForwardCommand(address_) +
                      " sends them on");
    }
  }
  error = Joined(notes);
  return notes.empty();
}

std::size_t DatabaseSink::pending() {
  std::map<std::string, std::size_t> units;
  std::string ignored;
  if (!serverTarget() || !SpooledUnits(*local_, units, ignored)) return 0;
  return units[address_];
}

bool ForwardKept(const std::string &target, const std::string &spool, ForwardReport &report, std::string &error) {
  const bool server = IsServerTarget(target);
  const std::string address = server ? ServerAddress(target, error) : "";
  if (server && address.empty()) return false;
  const std::string path = server ? spool : target;
  std::error_code missing;
  if (server && !std::filesystem::exists(path, missing)) return true;  // nothing was spooled here
  std::unique_ptr<Database> db = OpenSqliteForWriting(path, error);
  std::unique_ptr<Store> store = db ? Store::Over(std::move(db), server, error) : nullptr;
  if (!store) return false;
  store->spoolFor(address);
  const auto write = [&](const std::vector<Kept> &kept, std::string &e) {
    for (const Kept &k : kept) {
      if (!WriteKept(*store, k, address, e)) return false;
    }
    return true;
  };
  if (!TakeLeftovers(path, write, report.recovered, report.notes, error)) return false;
  if (!server) return true;
  std::map<std::string, std::size_t> units;
  if (!SpooledUnits(*store, units, error)) return false;
  for (const auto &[where, count] : units) {
    if (where != address) report.elsewhere[where] = count;
  }
  report.left = units[address];
  ServerProblem problem = ServerProblem::kNone;
  std::unique_ptr<Store> remote = ServerStore(target, StationLimits(), problem, error);
  std::size_t refused = 0;
  const bool sent = remote && Forward(*store, *remote, address, {}, report.forwarded, refused, error);
  std::string ignored;
  if (SpooledUnits(*store, units, ignored)) report.left = units[address];
  if (sent && refused > 0)
    error = "the server refuses " + std::to_string(refused) + " entries (the first: " + error + ")";
  return sent && refused == 0;
}

}  // namespace vorn_results
