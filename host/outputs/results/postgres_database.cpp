// The PostgreSQL engine over libpq: text parameters and text rows, the
// server's notices kept off the terminal, and a connection that says when it
// is gone so the caller can spool and reconnect later.
#include <libpq-fe.h>

#include "outputs/results/database.h"

namespace vorn_results {

namespace {

void IgnoreNotice(void *, const char *) {}

std::string Trimmed(const char *message) {
  std::string text = message != nullptr ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  const std::size_t newline = text.find('\n');
  if (newline != std::string::npos) text.resize(newline);
  return text;
}

class PostgresDatabase : public Database {
 public:
  explicit PostgresDatabase(std::string uri) : uri_(std::move(uri)) {}
  ~PostgresDatabase() override { PQfinish(conn_); }

  bool open(std::string &error) {
    // A server that does not answer costs at most this long per attempt.
    const char *keys[] = {"dbname", "connect_timeout", "application_name", nullptr};
    const char *values[] = {uri_.c_str(), "3", "vorn", nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (PQstatus(conn_) != CONNECTION_OK) {
      error = name() + ": " + Trimmed(PQerrorMessage(conn_));
      return false;
    }
    PQsetNoticeProcessor(conn_, IgnoreNotice, nullptr);
    return exec("SET client_min_messages = warning", error);
  }

  Engine engine() const override { return Engine::kPostgres; }
  // The address without a password, should the URI carry one.
  std::string name() const override {
    const std::size_t at = uri_.find('@');
    const std::size_t scheme = uri_.find("://");
    if (at == std::string::npos || scheme == std::string::npos) return uri_;
    const std::size_t colon = uri_.find(':', scheme + 3);
    if (colon == std::string::npos || colon > at) return uri_;
    return uri_.substr(0, colon) + uri_.substr(at);
  }
  const char *beginWrite() const override { return "BEGIN"; }
  bool connected() const override { return PQstatus(conn_) == CONNECTION_OK; }

  bool exec(const std::string &sql, std::string &error) override {
    PGresult *result = PQexec(conn_, sql.c_str());
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK;
    if (!ok) error = name() + ": " + Trimmed(PQerrorMessage(conn_));
    PQclear(result);
    return ok;
  }

  // Row by row (libpq's single-row mode): a query of millions of rows holds
  // one of them at a time, not the whole answer.
  bool query(const std::string &sql, const std::vector<Value> &params, const RowHandler &onRow,
             std::string &error) override {
    std::vector<const char *> texts;
    texts.reserve(params.size());
    for (const Value &p : params) texts.push_back(p ? p->c_str() : nullptr);
    if (PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(params.size()), nullptr, texts.data(), nullptr, nullptr,
                          0) == 0) {
      error = name() + ": " + Trimmed(PQerrorMessage(conn_));
      return false;
    }
    PQsetSingleRowMode(conn_);
    bool ok = true;
    bool reading = static_cast<bool>(onRow);
    Row row;
    // Every result is taken, also after a failure or once onRow has had
    // enough, so that the connection is ready for the next statement.
    for (PGresult *result; (result = PQgetResult(conn_)) != nullptr; PQclear(result)) {
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
    }
    return ok;
  }

  std::unique_ptr<Database> another(std::string &error) const override { return OpenPostgres(uri_, error); }

 private:
  std::string uri_;
  PGconn *conn_ = nullptr;
};

}  // namespace

std::unique_ptr<Database> OpenPostgres(const std::string &uri, std::string &error) {
  auto db = std::make_unique<PostgresDatabase>(uri);
  if (!db->open(error)) return nullptr;
  return db;
}

}  // namespace vorn_results
