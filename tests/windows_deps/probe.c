/* SQLite and libpq as built for Windows (scripts/windows-deps.sh), run under
 * Wine by scripts/test-windows.sh:
 *   deps_probe DATABASE-FILE CONNINFO
 * makes DATABASE-FILE in WAL mode, writes a row, reads it back (again after
 * reopening the file) and runs quick_check; meanwhile, in a thread of its
 * own, connects to the PostgreSQL server of CONNINFO, runs SELECT 1, and
 * tries TLS. One line a finding; exit status 0 when all held, 1 if not, 2 on
 * bad arguments. The winpthreads thread beside libpq's own locking proves the
 * two link into one program. */
#include <libpq-fe.h>
#include <pthread.h>
#include <sqlite3.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

typedef struct {
  char text[4][600];
  int lines;
  int failed;
} Report;

__attribute__((format(printf, 3, 4))) static void say(Report *report, int ok, const char *format, ...) {
  va_list args;
  if (report->lines == 4) return;
  va_start(args, format);
  vsnprintf(report->text[report->lines++], sizeof report->text[0], format, args);
  va_end(args);
  if (!ok) report->failed = 1;
}

/* The first row's first column of SQL as text, into out. */
static int sqlite_text(sqlite3 *db, const char *sql, char *out, size_t size) {
  sqlite3_stmt *stmt = NULL;
  int ok = sqlite3_prepare_v2(db, sql, -1, &stmt, NULL) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW &&
           sqlite3_column_text(stmt, 0) != NULL;
  if (ok) snprintf(out, size, "%s", (const char *)sqlite3_column_text(stmt, 0));
  sqlite3_finalize(stmt);
  return ok;
}

/* "unit Ä-0042" in UTF-8, as a serial may come. */
static const char *const kSerial = "unit \xc3\x84-0042";
static const double kValue = -61.25;

/* The row's serial and value, read back by its rowid. */
static int sqlite_row_equal(sqlite3 *db, sqlite3_int64 id) {
  sqlite3_stmt *stmt = NULL;
  int ok = sqlite3_prepare_v2(db, "SELECT serial, value FROM probe WHERE id = ?1", -1, &stmt, NULL) == SQLITE_OK &&
           sqlite3_bind_int64(stmt, 1, id) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW &&
           sqlite3_column_text(stmt, 0) != NULL && strcmp((const char *)sqlite3_column_text(stmt, 0), kSerial) == 0 &&
           sqlite3_column_double(stmt, 1) == kValue;
  sqlite3_finalize(stmt);
  return ok;
}

static void sqlite_check(const char *path, Report *report) {
  sqlite3 *db = NULL;
  sqlite3_stmt *insert = NULL;
  sqlite3_int64 id = 0;
  char mode[32] = "", check[200] = "", wal[1024];
  FILE *wal_file;
  int ok, row_ok, wal_there, check_ok;
  if (!sqlite3_threadsafe()) {
    say(report, 0, "sqlite %s: built without threads", sqlite3_libversion());
    return;
  }
  if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, NULL) != SQLITE_OK) {
    say(report, 0, "sqlite: cannot open %s: %s", path, db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    return;
  }
  if (!sqlite_text(db, "PRAGMA journal_mode=WAL", mode, sizeof mode) || strcmp(mode, "wal") != 0) {
    say(report, 0, "sqlite: journal mode is \"%s\", not wal: %s", mode, sqlite3_errmsg(db));
    sqlite3_close(db);
    return;
  }
  ok = sqlite3_exec(db, "CREATE TABLE probe(id INTEGER PRIMARY KEY, serial TEXT NOT NULL, value REAL NOT NULL)", NULL,
                    NULL, NULL) == SQLITE_OK &&
       sqlite3_prepare_v2(db, "INSERT INTO probe(serial, value) VALUES (?1, ?2)", -1, &insert, NULL) == SQLITE_OK &&
       sqlite3_bind_text(insert, 1, kSerial, -1, SQLITE_STATIC) == SQLITE_OK &&
       sqlite3_bind_double(insert, 2, kValue) == SQLITE_OK && sqlite3_step(insert) == SQLITE_DONE;
  sqlite3_finalize(insert);
  if (!ok) {
    say(report, 0, "sqlite: cannot write the row: %s", sqlite3_errmsg(db));
    sqlite3_close(db);
    return;
  }
  id = sqlite3_last_insert_rowid(db);
  /* The write went to the write-ahead log beside the file. */
  snprintf(wal, sizeof wal, "%s-wal", path);
  wal_file = fopen(wal, "rb");
  wal_there = wal_file != NULL;
  if (wal_file) fclose(wal_file);
  row_ok = sqlite_row_equal(db, id);
  check_ok = sqlite_text(db, "PRAGMA quick_check", check, sizeof check) && strcmp(check, "ok") == 0;
  sqlite3_close(db);
  if (!row_ok || !wal_there || !check_ok) {
    say(report, 0, "sqlite: the row read back %s, the write-ahead log %s, quick_check \"%s\"",
        row_ok ? "equal" : "wrong", wal_there ? "there" : "missing", check);
    return;
  }
  /* What the last connection's checkpoint left in the file itself. */
  db = NULL;
  ok = sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE, NULL) == SQLITE_OK && sqlite_row_equal(db, id);
  sqlite3_close(db);
  say(report, ok, "sqlite %s: WAL, the row written and read back, again after reopening: %s, quick_check %s",
      sqlite3_libversion(), ok ? "equal" : "wrong", check);
}

typedef struct {
  const char *conninfo;
  Report report;
} PostgresCheck;

/* A connection to conninfo with sslmode set, which must be refused. */
static void postgres_refused(PostgresCheck *check, const char *sslmode) {
  const char *const keys[] = {"dbname", "sslmode", NULL};
  const char *const values[] = {check->conninfo, sslmode, NULL};
  PGconn *conn = PQconnectdbParams(keys, values, 1);
  char message[400];
  size_t length;
  snprintf(message, sizeof message, "%s", conn ? PQerrorMessage(conn) : "out of memory");
  length = strlen(message);
  while (length > 0 && (message[length - 1] == '\n' || message[length - 1] == '\r')) message[--length] = '\0';
  say(&check->report, conn && PQstatus(conn) == CONNECTION_BAD, "tls: sslmode=%s %s: %s", sslmode,
      conn && PQstatus(conn) == CONNECTION_BAD ? "refused" : "connected", message);
  PQfinish(conn);
}

static void *postgres_check(void *arg) {
  PostgresCheck *check = arg;
  PGconn *conn = PQconnectdb(check->conninfo);
  PGresult *result;
  const char *tls = PQsslAttribute(NULL, "library");
  if (!conn || PQstatus(conn) != CONNECTION_OK) {
    say(&check->report, 0, "postgresql: cannot connect: %s", conn ? PQerrorMessage(conn) : "out of memory");
    PQfinish(conn);
    return NULL;
  }
  result = PQexec(conn, "SELECT 1");
  say(&check->report,
      PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1 && strcmp(PQgetvalue(result, 0, 0), "1") == 0,
      "postgresql: libpq %d, server %d, SELECT 1 gave %s", PQlibVersion(), PQserverVersion(conn),
      PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1 ? PQgetvalue(result, 0, 0)
                                                                          : PQresultErrorMessage(result));
  PQclear(result);
  PQfinish(conn);
  if (tls) {
    say(&check->report, 1, "tls: built with %s", tls);
  } else {
    postgres_refused(check, "require");
    postgres_refused(check, "verify-full");
  }
  return NULL;
}

int main(int argc, char **argv) {
  Report sqlite = {{{0}}, 0, 0};
  PostgresCheck postgres = {NULL, {{{0}}, 0, 0}};
  pthread_t thread;
  int i;
  if (argc != 3) {
    fprintf(stderr, "usage: deps_probe DATABASE-FILE CONNINFO\n");
    return 2;
  }
  postgres.conninfo = argv[2];
  if (pthread_create(&thread, NULL, postgres_check, &postgres) != 0) {
    fprintf(stderr, "deps_probe: cannot start a thread\n");
    return 1;
  }
  sqlite_check(argv[1], &sqlite);
  pthread_join(thread, NULL);
  for (i = 0; i < sqlite.lines; ++i) printf("%s\n", sqlite.text[i]);
  for (i = 0; i < postgres.report.lines; ++i) printf("%s\n", postgres.report.text[i]);
  return sqlite.failed || postgres.report.failed ? 1 : 0;
}
