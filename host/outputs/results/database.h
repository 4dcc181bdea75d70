// The two engines behind one small interface: statements with $1..$N text
// parameters and rows of nullable texts. SQLite takes $N as a named parameter
// numbered in order of first use, so the same statement text runs on both.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vorn_results {

using Value = std::optional<std::string>;  // nullopt: SQL NULL
using Row = std::vector<Value>;
// Returns false to stop reading rows.
using RowHandler = std::function<bool(const Row &)>;

enum class Engine { kSqlite, kPostgres };

class Database {
 public:
  virtual ~Database() = default;
  virtual Engine engine() const = 0;
  // What this database is, for messages: the file or the server's address.
  virtual std::string name() const = 0;
  // One or more statements without parameters.
  virtual bool exec(const std::string &sql, std::string &error) = 0;
  // One statement; every row it yields goes to onRow (which may be empty).
  virtual bool query(const std::string &sql, const std::vector<Value> &params, const RowHandler &onRow,
                     std::string &error) = 0;
  // False once the connection to a server is lost or given up; a file is
  // always there.
  virtual bool connected() const { return true; }
  // "BEGIN IMMEDIATE" on SQLite, so that a writer never waits for a lock it
  // cannot get while holding a read lock; "BEGIN" on PostgreSQL.
  virtual const char *beginWrite() const = 0;
  // Made ready for the writes of a session, once its schema is current:
  // SQLite's WAL mode. (Not before: a file this host must not change stays as it is.)
  virtual bool readyForWriting(std::string & /*error*/) { return true; }
  // A second connection to the same database, for statements run while a
  // query of this one is still handing over its rows.
  virtual std::unique_ptr<Database> another(std::string &error) const = 0;
};

// postgresql://... or postgres://...
bool IsServerTarget(const std::string &target);

// A SQLite file, created when missing.
std::unique_ptr<Database> OpenSqlite(const std::string &path, std::string &error);

// A results file about to be written by a session: refused, with the reason,
// when it is read-only (found before anything is read, so that no -wal or
// -shm file is made beside it) or damaged (PRAGMA integrity_check on a small
// file, quick_check on a large one). A new file is created.
std::unique_ptr<Database> OpenSqliteForWriting(const std::string &path, std::string &error);

// How long a server may keep its caller waiting. Every wait is in slices of
// 100 ms, between which interrupted is asked: true gives the exchange up.
struct ServerLimits {
  std::chrono::milliseconds connect{10000};
  // Each exchange (a statement sent, its answer read); zero: no limit, for
  // a person's queries that may run long.
  std::chrono::milliseconds exchange{0};
  // The server's own statement_timeout, below the exchange's; zero: none.
  std::chrono::milliseconds statement{0};
  std::function<bool()> interrupted;
};

// Why a server could not be had.
enum class ServerProblem {
  kNone,
  kMalformed,    // the address or an option is wrong: no server could be asked
  kRefused,      // the server answered that the database, the user or the login is wrong
  kUnreachable,  // no answer, or an answer to try again later
};

// The server's address as a key and for messages: a connection URI with its
// user, host, port and database (libpq's defaults filled in), without the
// password or any other option. Empty, with the problem in error, when the
// text is no connection URI libpq can read.
std::string ServerAddress(const std::string &uri, std::string &error);

// A PostgreSQL server by its connection URI, with TCP keepalives, within the
// limits; problem says why not.
std::unique_ptr<Database> ConnectPostgres(const std::string &uri, const ServerLimits &limits, ServerProblem &problem,
                                          std::string &error);
// The same with the limits of a person's command: the connection's
// deadline, no limit on the queries.
std::unique_ptr<Database> OpenPostgres(const std::string &uri, std::string &error);
std::unique_ptr<Database> OpenDatabase(const std::string &target, std::string &error);

// "INSERT INTO t (a, b) VALUES ($1, $2), ($3, $4)": head for rows of
// `columns` values each, in one statement.
std::string MultiInsert(const std::string &head, std::size_t columns, std::size_t rows);
// Rows of values, `columns` a row, inserted by head ("INSERT INTO t (a, b)")
// in statements of up to 100 rows, each followed by tail ("ON CONFLICT ...").
bool InsertRows(Database &db, const std::string &head, std::size_t columns, const std::vector<Value> &values,
                std::string &error, const std::string &tail = "");

// A double as the shortest text that reads back as the same double, locale-free;
// "NaN", "Infinity" and "-Infinity" as both engines read them.
std::string NumberText(double value);
std::optional<double> ParseNumber(const std::optional<std::string> &text);

}  // namespace vorn_results
