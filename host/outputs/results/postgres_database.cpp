// The PostgreSQL engine over libpq: text parameters and text rows, the
// server's notices kept off the terminal, and a connection that says when it
// is gone so the caller can spool and reconnect later.
//
// Nothing here waits on the server without a deadline: the connection is
// made with libpq's asynchronous calls, every statement is sent and its
// answer read the same way, and the socket is waited on in slices of 100 ms
// between which the caller may give the exchange up. A server that stalls
// (a half-open link, a machine that hangs) costs the caller at most the
// limit; the connection is then closed, and what was not committed stays
// where it was (the spool).
#if defined(_WIN32)
#include <winsock2.h>
#else
#include <poll.h>
#endif
#include <libpq-fe.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "outputs/results/database.h"

namespace vorn_results {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kSlice{100};

void IgnoreNotice(void *, const char *) {}

std::string Trimmed(const char *message) {
  std::string text = message != nullptr ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  const std::size_t newline = text.find('\n');
  if (newline != std::string::npos) text.resize(newline);
  return text;
}

// The SQLSTATE in a verbose message ("FATAL:  3D000: database ..."), or empty.
std::string SqlState(const std::string &message) {
  for (const char *severity : {"FATAL:  ", "ERROR:  "}) {
    const std::size_t at = message.find(severity);
    if (at == std::string::npos) continue;
    const std::size_t code = at + std::strlen(severity);
    if (message.size() < code + 7 || message.compare(code + 5, 2, ": ") != 0) continue;
    bool valid = true;
    for (std::size_t i = code; i < code + 5; ++i) valid = valid && std::isalnum(static_cast<unsigned char>(message[i]));
    if (valid) return message.substr(code, 5);
  }
  return {};
}

// The message without its SQLSTATE, as the operator reads it.
std::string WithoutState(std::string message, const std::string &state) {
  if (state.empty()) return message;
  const std::size_t at = message.find(state + ": ");
  if (at != std::string::npos) message.erase(at, state.size() + 2);
  return message;
}

// A wrong database, user, password or right: the server answered, and
// asking again will not change its answer.
bool RefusedState(const std::string &state) {
  return state.rfind("28", 0) == 0 || state == "3D000" || state == "42501";
}

// libpq's messages for a failure to reach the server (a host name that
// does not resolve, a connection refused), as against an option it refuses
// before trying any.
bool NetworkFailure(const std::string &message) {
  for (const char *text : {"connection to server", "could not translate host name", "could not connect",
                           "could not create socket", "Connection refused", "timeout expired"}) {
    if (message.find(text) != std::string::npos) return true;
  }
  return false;
}

// The URI with its password, if any, blanked, for a message about a URI that
// cannot be read.
std::string Redacted(const std::string &uri) {
  const std::size_t scheme = uri.find("://");
  const std::size_t at = uri.find('@');
  if (scheme == std::string::npos || at == std::string::npos || at < scheme) return uri;
  const std::size_t colon = uri.find(':', scheme + 3);
  if (colon == std::string::npos || colon > at) return uri;
  return uri.substr(0, colon) + ":***" + uri.substr(at);
}

std::string Encoded(const std::string &text) {
  static const char *hex = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += hex[u >> 4];
      out += hex[u & 15];
    }
  }
  return out;
}

// Waits until libpq's socket is ready (to read, or to write as well), in
// slices; false, with why, at the deadline or when the caller gives up.
bool WaitFor(PGconn *conn, bool write, Clock::time_point deadline, const ServerLimits &limits, std::string &why) {
  for (;;) {
    if (limits.interrupted && limits.interrupted()) {
      why = "given up while waiting for the server";
      return false;
    }
    const auto now = Clock::now();
    if (now >= deadline) {
      why = "the server did not answer in time";
      return false;
    }
    const auto slice = std::min<Clock::duration>(kSlice, deadline - now);
    const int ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(slice).count()) + 1;
    const int socket = PQsocket(conn);
    if (socket < 0) return true;  // libpq has closed it: its next call says why
#if defined(_WIN32)
    WSAPOLLFD p{static_cast<SOCKET>(socket), static_cast<SHORT>(POLLRDNORM | (write ? POLLWRNORM : 0)), 0};
    const int n = WSAPoll(&p, 1, ms);
    if (n < 0) {
      why = "waiting for the server failed";
      return false;
    }
#else
    pollfd p{socket, static_cast<short>(POLLIN | (write ? POLLOUT : 0)), 0};
    const int n = poll(&p, 1, ms);
    if (n < 0 && errno != EINTR) {
      why = std::string("waiting for the server failed: ") + std::strerror(errno);
      return false;
    }
#endif
    if (n > 0) return true;
  }
}

Clock::time_point Deadline(std::chrono::milliseconds limit) {
  return limit.count() > 0 ? Clock::now() + limit : Clock::time_point::max();
}

class PostgresDatabase : public Database {
 public:
  PostgresDatabase(std::string uri, ServerLimits limits) : uri_(std::move(uri)), limits_(std::move(limits)) {
    std::string ignored;
    address_ = ServerAddress(uri_, ignored);
  }
  ~PostgresDatabase() override { PQfinish(conn_); }

  ServerProblem connect(std::string &error) {
    if (address_.empty()) {
      std::string why;
      ServerAddress(uri_, why);
      error = Redacted(uri_) + ": " + why;
      return ServerProblem::kMalformed;
    }
    // Keepalives find a link that died quietly (TCP only); the URI's own
    // values come after these and win.
    const char *keys[] = {"keepalives",
                          "keepalives_idle",
                          "keepalives_interval",
                          "keepalives_count",
                          "tcp_user_timeout",
                          "application_name",
                          "dbname",
                          nullptr};
    const char *values[] = {"1", "10", "5", "3", "15000", "vorn", uri_.c_str(), nullptr};
    conn_ = PQconnectStartParams(keys, values, 1);
    if (conn_ == nullptr) {
      error = name() + ": out of memory";
      return ServerProblem::kUnreachable;
    }
    if (PQstatus(conn_) == CONNECTION_BAD) {
      const std::string why = Trimmed(PQerrorMessage(conn_));
      error = name() + ": " + why;
      close();
      return NetworkFailure(why) ? ServerProblem::kUnreachable : ServerProblem::kMalformed;
    }
    // With the SQLSTATE in the message, a refusal is told from an outage
    // whatever the server's language.
    PQsetErrorVerbosity(conn_, PQERRORS_VERBOSE);
    const ServerProblem problem = handshake(error);
    if (problem != ServerProblem::kNone) return problem;
    PQsetErrorVerbosity(conn_, PQERRORS_DEFAULT);
    PQsetNoticeProcessor(conn_, IgnoreNotice, nullptr);
    PQsetnonblocking(conn_, 1);
    std::string settings = "SET client_min_messages = warning";
    if (limits_.statement.count() > 0)
      settings += "; SET statement_timeout = " + std::to_string(limits_.statement.count());
    return exec(settings, error) ? ServerProblem::kNone : ServerProblem::kUnreachable;
  }

  Engine engine() const override { return Engine::kPostgres; }
  std::string name() const override { return address_.empty() ? Redacted(uri_) : address_; }
  const char *beginWrite() const override { return "BEGIN"; }
  bool connected() const override { return conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK; }

  bool exec(const std::string &sql, std::string &error) override { return exchange(sql, nullptr, {}, error); }

  // Row by row (libpq's single-row mode): a query of millions of rows holds
  // one of them at a time, not the whole answer.
  bool query(const std::string &sql, const std::vector<Value> &params, const RowHandler &onRow,
             std::string &error) override {
    return exchange(sql, &params, onRow, error);
  }

  std::unique_ptr<Database> another(std::string &error) const override {
    ServerProblem problem = ServerProblem::kNone;
    return ConnectPostgres(uri_, limits_, problem, error);
  }

 private:
  // The connection's steps, each waited for within the connection's limit.
  ServerProblem handshake(std::string &error) {
    const Clock::time_point deadline = Deadline(limits_.connect);
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (state == PGRES_POLLING_WRITING || state == PGRES_POLLING_READING) {
      std::string why;
      if (!WaitFor(conn_, state == PGRES_POLLING_WRITING, deadline, limits_, why)) {
        error = name() + ": " + why;
        close();
        return ServerProblem::kUnreachable;
      }
      state = PQconnectPoll(conn_);
    }
    if (state == PGRES_POLLING_OK) return ServerProblem::kNone;
    const std::string message = Trimmed(PQerrorMessage(conn_));
    const std::string code = SqlState(message);
    error = name() + ": " + WithoutState(message, code);
    const bool refused = RefusedState(code) || PQconnectionNeedsPassword(conn_) != 0;
    close();
    return refused ? ServerProblem::kRefused : ServerProblem::kUnreachable;
  }

  // One statement (or, without parameters, several) sent and every result
  // read, within the exchange's limit.
  bool exchange(const std::string &sql, const std::vector<Value> *params, const RowHandler &onRow, std::string &error) {
    if (!connected()) {
      error = name() + ": not connected";
      return false;
    }
    const Clock::time_point deadline = Deadline(limits_.exchange);
    std::vector<const char *> texts;
    if (params != nullptr) {
      for (const Value &p : *params) texts.push_back(p ? p->c_str() : nullptr);
    }
    const int sent = params != nullptr ? PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(texts.size()), nullptr,
                                                           texts.data(), nullptr, nullptr, 0)
                                       : PQsendQuery(conn_, sql.c_str());
    if (sent == 0) {
      error = name() + ": " + Trimmed(PQerrorMessage(conn_));
      return false;
    }
    if (params != nullptr) PQsetSingleRowMode(conn_);
    if (!flush(deadline, error)) return false;
    return results(deadline, onRow, error);
  }

  bool flush(Clock::time_point deadline, std::string &error) {
    for (;;) {
      const int left = PQflush(conn_);
      if (left == 0) return true;
      std::string why;
      if (left < 0 || !WaitFor(conn_, true, deadline, limits_, why) || PQconsumeInput(conn_) == 0) {
        return giveUp(left < 0 || why.empty() ? Trimmed(PQerrorMessage(conn_)) : why, error);
      }
    }
  }

  // Every result is taken, also after a failure or once onRow has had
  // enough, so that the connection is ready for the next statement.
  bool results(Clock::time_point deadline, const RowHandler &onRow, std::string &error) {
    bool ok = true;
    bool reading = static_cast<bool>(onRow);
    Row row;
    for (;;) {
      while (PQisBusy(conn_) != 0) {
        std::string why;
        if (!WaitFor(conn_, false, deadline, limits_, why)) return giveUp(why, error);
        if (PQconsumeInput(conn_) == 0) return giveUp(Trimmed(PQerrorMessage(conn_)), error);
      }
      PGresult *result = PQgetResult(conn_);
      if (result == nullptr) break;
      const ExecStatusType status = PQresultStatus(result);
      if (status == PGRES_SINGLE_TUPLE && reading) {
        row.resize(static_cast<std::size_t>(PQnfields(result)));
        for (std::size_t c = 0; c < row.size(); ++c) {
          const int ci = static_cast<int>(c);
          if (PQgetisnull(result, 0, ci)) {
            row[c] = std::nullopt;
          } else {
            row[c] = std::string(PQgetvalue(result, 0, ci), static_cast<std::size_t>(PQgetlength(result, 0, ci)));
          }
        }
        reading = onRow(row);
      } else if (status != PGRES_SINGLE_TUPLE && status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && ok) {
        error = name() + ": " + Trimmed(PQresultErrorMessage(result));
        ok = false;
      }
      PQclear(result);
    }
    return ok;
  }

  // The exchange is abandoned: the connection goes with it, so that nothing
  // half-read is taken for the next statement's answer. What the server did
  // not commit is not committed; what it did is there once (every write is
  // keyed).
  bool giveUp(const std::string &why, std::string &error) {
    error = name() + ": " + why;
    close();
    return false;
  }

  void close() {
    PQfinish(conn_);
    conn_ = nullptr;
  }

  std::string uri_;
  ServerLimits limits_;
  std::string address_;
  PGconn *conn_ = nullptr;
};

// A connection option's value: the URI's, else libpq's default (its
// environment variables included).
std::string OptionValue(PQconninfoOption *given, PQconninfoOption *defaults, const char *key) {
  for (PQconninfoOption *o = given; o != nullptr && o->keyword != nullptr; ++o) {
    if (std::strcmp(o->keyword, key) == 0 && o->val != nullptr && o->val[0] != '\0') return o->val;
  }
  for (PQconninfoOption *o = defaults; o != nullptr && o->keyword != nullptr; ++o) {
    if (std::strcmp(o->keyword, key) == 0 && o->val != nullptr) return o->val;
  }
  return {};
}

}  // namespace

std::string ServerAddress(const std::string &uri, std::string &error) {
  char *message = nullptr;
  PQconninfoOption *given = PQconninfoParse(uri.c_str(), &message);
  if (given == nullptr) {
    error = message != nullptr ? Trimmed(message) : "out of memory";
    PQfreemem(message);
    return {};
  }
  PQconninfoOption *defaults = PQconndefaults();
  const std::string user = OptionValue(given, defaults, "user");
  std::string port = OptionValue(given, defaults, "port");
  std::string dbname = OptionValue(given, defaults, "dbname");
  if (port.empty()) port = "5432";
  if (dbname.empty()) dbname = user;
  std::string address = "postgresql://" + Encoded(user) + "@" + Encoded(OptionValue(given, defaults, "host")) + ":" +
                        Encoded(port) + "/" + Encoded(dbname);
  std::string query;
  for (const char *key : {"hostaddr", "service"}) {
    const std::string value = OptionValue(given, nullptr, key);
    if (!value.empty()) query += (query.empty() ? "?" : "&") + std::string(key) + "=" + Encoded(value);
  }
  PQconninfoFree(given);
  PQconninfoFree(defaults);
  return address + query;
}

std::unique_ptr<Database> ConnectPostgres(const std::string &uri, const ServerLimits &limits, ServerProblem &problem,
                                          std::string &error) {
  auto db = std::make_unique<PostgresDatabase>(uri, limits);
  problem = db->connect(error);
  if (problem != ServerProblem::kNone) return nullptr;
  return db;
}

std::unique_ptr<Database> OpenPostgres(const std::string &uri, std::string &error) {
  ServerProblem problem = ServerProblem::kNone;
  return ConnectPostgres(uri, ServerLimits{}, problem, error);
}

}  // namespace vorn_results
