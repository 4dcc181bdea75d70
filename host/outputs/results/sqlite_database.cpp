// The SQLite engine: a file in WAL mode, full synchronous commits (a committed
// attempt survives a crash of the process and of the machine), foreign keys
// on, and the prepared statements kept for reuse.
#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <unordered_map>

#include "outputs/results/database.h"

namespace vorn_results {

namespace {

constexpr int kBusyMs = 10000;  // another writer's transaction is short
// Up to this size a file gets the whole integrity_check (which also checks
// every index against its table); above it quick_check, which reads every
// page once.
constexpr std::uintmax_t kFullCheckBytes = 64u << 20;

class SqliteDatabase : public Database {
 public:
  explicit SqliteDatabase(std::string path) : path_(std::move(path)) {}
  ~SqliteDatabase() override {
    for (auto &entry : statements_) sqlite3_finalize(entry.second);
    sqlite3_close(db_);
  }

  // forWriting: refused when read-only or damaged (checkForWriting).
  bool open(bool forWriting, std::string &error) {
    // A connection is only ever used by one thread at a time: SQLite's own
    // locking of each call is left out (no mutex per column read).
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
      error = path_ + ": " + (db_ != nullptr ? sqlite3_errmsg(db_) : "cannot open");
      return false;
    }
    sqlite3_busy_timeout(db_, kBusyMs);
    if (forWriting && !checkForWriting(error)) return false;
    return exec("PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;", error);
  }

  // Before anything is read (the pragmas read the schema): a read-only
  // connection would leave -wal and -shm files behind that it cannot
  // remove. Then the file's pages and indexes, so that a damaged file is
  // never written to.
  bool checkForWriting(std::string &error) {
    if (sqlite3_db_readonly(db_, "main") == 1) {
      error = path_ + ": the results file is read-only";
      return false;
    }
    std::error_code ignored;
    const std::uintmax_t size = std::filesystem::file_size(path_, ignored);
    if (ignored || size == 0) return true;
    std::string first;
    std::size_t problems = 0;
    std::string why;
    const bool ran = query(
        size <= kFullCheckBytes ? "PRAGMA integrity_check" : "PRAGMA quick_check", {},
        [&](const Row &r) {
          if (r[0].value_or("") != "ok" && problems++ == 0) first = r[0].value_or("");
          return true;
        },
        why);
    if (!ran) {
      const int code = sqlite3_errcode(db_);
      const bool damaged = code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
      error = damaged ? path_ + ": the results file is damaged or no database (" + sqlite3_errmsg(db_) +
                            "); it is left as it is"
                      : why;
      return false;
    }
    if (problems == 0) return true;
    error = path_ + ": the results file is damaged (" + std::to_string(problems) + " problems, the first: " + first +
            "); it is left as it is";
    return false;
  }

  bool readyForWriting(std::string &error) override {
    std::string mode;
    if (!query(
            "PRAGMA journal_mode=WAL", {},
            [&](const Row &r) {
              mode = r[0].value_or("");
              return true;
            },
            error)) {
      return false;
    }
    if (mode != "wal") {
      error = path_ + ": cannot use WAL mode (journal mode " + mode + ")";
      return false;
    }
    return true;
  }

  Engine engine() const override { return Engine::kSqlite; }
  std::string name() const override { return path_; }
  const char *beginWrite() const override { return "BEGIN IMMEDIATE"; }
  std::unique_ptr<Database> another(std::string &error) const override { return OpenSqlite(path_, error); }

  bool exec(const std::string &sql, std::string &error) override {
    char *message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      error = path_ + ": " + (message != nullptr ? message : sqlite3_errmsg(db_));
      sqlite3_free(message);
      return false;
    }
    return true;
  }

  bool query(const std::string &sql, const std::vector<Value> &params, const RowHandler &onRow,
             std::string &error) override {
    sqlite3_stmt *statement = prepared(sql, error);
    if (statement == nullptr) return false;
    const int count = sqlite3_bind_parameter_count(statement);
    if (count != static_cast<int>(params.size())) {
      error = "statement takes " + std::to_string(count) + " parameters, given " + std::to_string(params.size());
      return false;
    }
    for (int i = 0; i < count; ++i) {
      const Value &p = params[static_cast<std::size_t>(i)];
      const int rc = p ? sqlite3_bind_text(statement, i + 1, p->data(), static_cast<int>(p->size()), SQLITE_STATIC)
                       : sqlite3_bind_null(statement, i + 1);
      if (rc != SQLITE_OK) return fail(statement, error);
    }
    Row row(static_cast<std::size_t>(sqlite3_column_count(statement)));
    bool reading = true;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      if (!reading || !onRow) continue;
      for (std::size_t c = 0; c < row.size(); ++c) column(statement, static_cast<int>(c), row[c]);
      reading = onRow(row);
    }
    if (rc != SQLITE_DONE) return fail(statement, error);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return true;
  }

 private:
  sqlite3_stmt *prepared(const std::string &sql, std::string &error) {
    auto found = statements_.find(sql);
    if (found != statements_.end()) return found->second;
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &statement,
                           nullptr) != SQLITE_OK) {
      error = path_ + ": " + sqlite3_errmsg(db_);
      return nullptr;
    }
    statements_.emplace(sql, statement);
    return statement;
  }

  bool fail(sqlite3_stmt *statement, std::string &error) {
    error = path_ + ": " + sqlite3_errmsg(db_);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return false;
  }

  // SQLite's own text for a real keeps 15 digits; ours keeps every bit.
  // Into the row's earlier value, whose room is reused: rows come by the million.
  static void column(sqlite3_stmt *statement, int c, Value &value) {
    switch (sqlite3_column_type(statement, c)) {
      case SQLITE_NULL: value.reset(); return;
      case SQLITE_FLOAT: value = NumberText(sqlite3_column_double(statement, c)); return;
      default: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, c));
        if (!value) value.emplace();
        value->assign(text != nullptr ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, c)));
      }
    }
  }

  std::string path_;
  sqlite3 *db_ = nullptr;
  std::unordered_map<std::string, sqlite3_stmt *> statements_;
};

}  // namespace

std::unique_ptr<Database> OpenSqlite(const std::string &path, std::string &error) {
  auto db = std::make_unique<SqliteDatabase>(path);
  if (!db->open(false, error)) return nullptr;
  return db;
}

std::unique_ptr<Database> OpenSqliteForWriting(const std::string &path, std::string &error) {
  auto db = std::make_unique<SqliteDatabase>(path);
  if (!db->open(true, error)) return nullptr;
  return db;
}

bool IsServerTarget(const std::string &target) {
  return target.rfind("postgresql://", 0) == 0 || target.rfind("postgres://", 0) == 0;
}

std::unique_ptr<Database> OpenDatabase(const std::string &target, std::string &error) {
  return IsServerTarget(target) ? OpenPostgres(target, error) : OpenSqlite(target, error);
}

std::string NumberText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::optional<double> ParseNumber(const std::optional<std::string> &text) {
  if (!text) return std::nullopt;
  const std::string &t = *text;
  if (t == "NaN") return std::nan("");
  if (t == "Infinity") return HUGE_VAL;
  if (t == "-Infinity") return -HUGE_VAL;
  double value = 0;
  const auto parsed = std::from_chars(t.data(), t.data() + t.size(), value);
  if (parsed.ec != std::errc() || parsed.ptr != t.data() + t.size()) return std::nullopt;
  return value;
}

}  // namespace vorn_results
