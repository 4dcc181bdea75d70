// The results database on real engines: SQLite files, and PostgreSQL servers
// of the tests' own (VORN_PG_URL, set by ctest's results_pg fixture).
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "core/health_json.h"
#include "core/options.h"
#include "core/record_json.h"
#include "helpers.h"
#include "os/sha256.h"
#include "outputs/registry.h"
#include "outputs/results/schema.h"
#include "outputs/results/sink.h"
#include "rollup_check.h"
#include "synthetic.h"
#include "tools/common/line_sums.h"
#include "tools/results/queries.h"

namespace {

using namespace vorn_results;
using namespace vorn_results_test;
using vorn_host::SessionRecord;
using vorn_host::Sha256File;
using vorn_host::Sha256Hex;
using vorn_host::UnitRecord;

TEST(Sha256, KnownDigestsOfBytesAndFiles) {
  const struct {
    std::string bytes;
    const char *digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  TempDir dir;
  for (const auto &c : cases) {
    EXPECT_EQ(Sha256Hex(c.bytes), c.digest) << c.bytes.size() << " bytes";
    std::ofstream(dir / "f", std::ios::binary | std::ios::trunc) << c.bytes;
    EXPECT_EQ(Sha256File(dir / "f"), c.digest) << c.bytes.size() << " bytes from a file";
  }
  std::string error;
  EXPECT_EQ(Sha256File(dir / "missing", &error), "");
  EXPECT_NE(error.find("cannot read"), std::string::npos);
}

// A unit with the awkward values a real run can leave.
UnitRecord AwkwardUnit() {
  std::mt19937 random(7);
  UnitRecord u = vorn_results_test::SyntheticUnit(vorn_results_test::TypicalPlan(), 4, 2, false, random);
  auto &steps = u.run.steps;
  steps[2].verdict = vorn_host::Verdict::kError;
  steps[2].returned = -1;
  steps[2].text = "RSCMU_Init: \"timeout\", 'quoted', ünïcode; commas, too";
  steps[5].entries[0].value = std::nan("");
  steps[5].entries[1].value.reset();  // a limited entry the step did not write
  steps[5].entries[1].passed = false;
  steps[6].entries[0].value = 1e-300;
  steps[6].entries[1].value = 0.1 + 0.2;
  steps[6].entries[2].name = "Band=DCS, \"1800\"";
  steps.back().verdict = vorn_host::Verdict::kNotRun;
  for (vorn_host::StepRecord &s : steps) {  // the misses as the host writes them
    s.misses.clear();
    for (const vorn_host::EntryResult &e : s.entries) {
      if (e.limit && !e.passed) s.misses.push_back(vorn_host::MissText(e));
    }
  }
  return u;
}

// Where two texts first differ, with some of either around it.
std::string FirstDifference(const std::string &a, const std::string &b) {
  std::size_t at = 0;
  while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
  if (at == a.size() && at == b.size()) return "";
  const std::size_t from = at < 60 ? 0 : at - 60;
  return "at " + std::to_string(at) + ": ..." + a.substr(from, 120) + "\n   vs ..." + b.substr(from, 120);
}

class StoreRoundTrip : public ::testing::TestWithParam<const char *> {
 protected:
  std::string target() { return std::string(GetParam()) == "postgres" ? ServerUrl() : dir / "results.sqlite"; }
  TempDir dir;
};

TEST_P(StoreRoundTrip, EveryFieldComesBackAndAnAttemptIsStoredOnce) {
  ASSERT_FALSE(target().empty()) << "VORN_PG_URL is not set: run the test through ctest";
  std::string error;
  std::unique_ptr<Store> store = Store::Open(target(), false, error);
  ASSERT_TRUE(store) << error;
  SessionRecord session = vorn_results_test::SyntheticSession("round-trip");
  session.operatorName = "Ann \"night\" Bäcker";
  const UnitRecord unit = AwkwardUnit();
  const UnitRow row = ToRow(session, unit);
  ASSERT_TRUE(store->putSession(session, error)) << error;
  bool stored = false;
  ASSERT_TRUE(store->putUnit(row, stored, error)) << error;
  EXPECT_TRUE(stored);
  ASSERT_TRUE(store->putUnit(row, stored, error)) << error;
  EXPECT_FALSE(stored) << "the second write of one UUID stored it again";
  EXPECT_EQ(Count(store->db(), "SELECT count(*) FROM step WHERE unit_uuid = $1", {row.uuid}),
            static_cast<long>(row.steps.size()));

  UnitRow back;
  bool found = false;
  ASSERT_TRUE(store->getUnit(row.uuid, back, found, error)) << error;
  ASSERT_TRUE(found);
  EXPECT_TRUE(back == row);
  EXPECT_EQ(back.steps[2].text, row.steps[2].text);
  EXPECT_TRUE(std::isnan(*back.steps[5].results[0].value));
  EXPECT_EQ(*back.steps[6].results[1].value, 0.1 + 0.2);
  EXPECT_FALSE(back.firstAttempt);
  // The whole record back from its rows, as its one JSON form says it.
  const auto shared = std::make_shared<const SessionRecord>(session);
  UnitRecord original = unit;
  original.session = shared;
  const std::string json = vorn_host::JsonText(vorn_host::RecordJson(original));
  EXPECT_EQ(FirstDifference(vorn_host::JsonText(vorn_host::RecordJson(ToRecord(back, shared))), json), "");
  EXPECT_EQ(FirstDifference(vorn_host::JsonText(vorn_host::RecordJson(ToRecord(row, shared))), json), "");

  session.ended = "2026-12-08T21:00:00Z";
  ASSERT_TRUE(store->putSession(session, error)) << error;
  SessionRecord without = session;
  without.ended.clear();  // a late copy of the session's start keeps its end
  ASSERT_TRUE(store->putSession(without, error)) << error;
  SessionRecord read;
  ASSERT_TRUE(store->getSession(session.id, read, found, error)) << error;
  ASSERT_TRUE(found);
  EXPECT_EQ(read.ended, session.ended);
  EXPECT_EQ(read.operatorName, session.operatorName);
  EXPECT_EQ(read.planSha256, session.planSha256);
  EXPECT_EQ(read.station, session.station);
  EXPECT_EQ(read.version, session.version);
}

// The station's health records: each kept once by its UUID, a verification
// with its lines; behind a server they go through the spool and leave it.
TEST_P(StoreRoundTrip, HealthRecordsAreKeptOnceThroughTheSpoolToo) {
  ASSERT_FALSE(target().empty()) << "VORN_PG_URL is not set: run the test through ctest";
  vorn_host::VerificationRecord v;
  v.uuid = vorn_host::NewUuid();
  v.station = "health-" + std::string(GetParam());
  v.at = "2026-12-09T08:00:00Z";
  v.golden = "G-0001";
  v.goldenFile = "golden-unit.ini";
  v.tolerance = 0.5;
  for (const char *key : {"DCS1800_Low_CH", "DCS1800_Mid_CH"}) {
    vorn_host::VerificationLine line;
    line.key = key;
    line.frequencyMhz = 1710.2;
    line.reference = 9.7;
    v.lines.push_back(line);  // not read: no reading, no deviation
  }
  vorn_host::LockRecord lock;
  lock.uuid = vorn_host::NewUuid();
  lock.station = v.station;
  lock.at = v.at;
  lock.reason = "3 failures in a row on burst power (DCS 1800)";
  lock.action = "Call the technician";
  std::string error;
  std::unique_ptr<DatabaseSink> sink = DatabaseSink::Open(target(), dir / "spool.sqlite", error);
  ASSERT_TRUE(sink) << error;
  for (int twice = 0; twice < 2; ++twice) {
    ASSERT_TRUE(sink->health(vorn_host::kVerificationKind, nlohmann::json(vorn_host::HealthJson(v)), error)) << error;
    ASSERT_TRUE(sink->health(vorn_host::kLockKind, nlohmann::json(vorn_host::HealthJson(lock)), error)) << error;
  }
  EXPECT_FALSE(sink->health("no-such-kind", nlohmann::json::object(), error));
  std::unique_ptr<Store> store = Store::Open(target(), false, error);
  ASSERT_TRUE(store) << error;
  // Behind a server the spool's forwarder sends them on in its own time.
  for (int tries = 0; tries < 100; ++tries) {
    if (Count(store->db(), "SELECT count(*) FROM station_lock WHERE uuid = $1", {lock.uuid}) > 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  sink.reset();  // the forwarder ends before the spool is read
  EXPECT_EQ(Count(store->db(), "SELECT count(*) FROM verification WHERE uuid = $1", {v.uuid}), 1);
  EXPECT_EQ(Count(store->db(),
                  "SELECT count(*) FROM verification_line WHERE verification_uuid = $1 AND"
                  " reading IS NULL AND passed = 0",
                  {v.uuid}),
            2);
  EXPECT_EQ(Count(store->db(), "SELECT count(*) FROM station_lock WHERE uuid = $1", {lock.uuid}), 1);
  if (std::string(GetParam()) == "postgres") {
    std::unique_ptr<Store> spool = Store::Open(dir / "spool.sqlite", true, error);
    ASSERT_TRUE(spool) << error;
    EXPECT_EQ(Count(spool->db(), "SELECT count(*) FROM health_outbox"), 0) << "the spool kept what the server took";
  }
}

INSTANTIATE_TEST_SUITE_P(BothEngines, StoreRoundTrip, ::testing::Values("sqlite", "postgres"));

// An attempt in the tables of schema version 4, as the hosts before version
// 6 wrote it.
void PutVersionFour(Database &db, const UnitRow &u, std::string &error) {
  const auto n = [](const std::optional<double> &v) { return v ? Value(NumberText(*v)) : std::nullopt; };
  ASSERT_TRUE(
      db.query("INSERT INTO unit (uuid, session_id, serial, unit_index, attempt, started, seconds, waited_ms,"
               " verdict, first_attempt, unit_id, prior, stopped, socket, operator) VALUES ($1, $2, $3, $4, $5,"
               " $6, $7, $8, $9, $10, $11, $12, $13, $14, $15)",
               {u.uuid, u.sessionId, u.serial, std::to_string(u.unit), std::to_string(u.attempt), u.started,
                NumberText(u.seconds), std::to_string(u.waitedMs), u.verdict, u.firstAttempt ? "1" : "0", u.unitId,
                u.prior, u.stopped ? "1" : "0", u.socket.empty() ? Value() : Value(u.socket),
                u.operatorName.empty() ? Value() : Value(u.operatorName)},
               {}, error))
      << error;
  for (const StepRow &s : u.steps) {
    ASSERT_TRUE(
        db.query("INSERT INTO step (unit_uuid, step_index, plan_line, export, number, verdict, returned, text,"
                 " seconds, waited_ms, cleanup, limits) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11,"
                 " $12)",
                 {u.uuid, std::to_string(s.index), std::to_string(s.planLine), s.exportName, std::to_string(s.number),
                  s.verdict, std::to_string(s.returned), s.text, NumberText(s.seconds), std::to_string(s.waitedMs),
                  s.cleanup ? "1" : "0", s.limits},
                 {}, error))
        << error;
    for (const ResultRow &r : s.results) {
      ASSERT_TRUE(
          db.query("INSERT INTO result (unit_uuid, step_index, entry, export, value, name, low, high, passed)"
                   " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9)",
                   {u.uuid, std::to_string(s.index), std::to_string(r.entry), s.exportName, n(r.value), r.name,
                    n(r.low), n(r.high), r.passed ? "1" : "0"},
                   {}, error))
          << error;
    }
  }
}

class OwnDatabase : public ::testing::TestWithParam<const char *> {
 protected:
  // A database of its own: a file, or a new database on the tests' server.
  std::string target(const std::string &prefix) {
    if (std::string(GetParam()) == "sqlite") return dir / (prefix + ".sqlite");
    const std::string url = ServerUrl();
    const std::string name = prefix + "_" + std::to_string(getpid());
    std::string error;
    std::unique_ptr<Database> db = OpenPostgres(url, error);
    EXPECT_TRUE(db && db->exec("DROP DATABASE IF EXISTS " + name, error) && db->exec("CREATE DATABASE " + name, error))
        << error;
    return std::regex_replace(url, std::regex("/postgres\\?"), "/" + name + "?");
  }
  TempDir dir;
};

// A file of version 4 migrates (by way of version 5) to the lean rows of version 6: every field of
// every attempt comes back, the views show the rows as they were, and
// opening it again changes nothing.
TEST_P(OwnDatabase, AVersionFourDatabaseComesBackWholeFromItsLeanRows) {
  if (std::string(GetParam()) == "postgres" && ServerUrl().empty()) GTEST_SKIP() << "VORN_PG_URL is not set";
  const std::string where = target("v4");
  std::string error;
  SessionRecord session = vorn_results_test::SyntheticSession("line4");
  std::mt19937 random(4);
  std::vector<UnitRow> rows = {ToRow(session, AwkwardUnit())};
  for (int n = 1; n <= 3; ++n) {
    rows.push_back(
        ToRow(session, vorn_results_test::SyntheticUnit(vorn_results_test::TypicalPlan(), n, 1, n != 2, random)));
  }
  rows.back().socket = "B";
  rows.back().operatorName = "Ann";
  {
    std::unique_ptr<Database> db = OpenDatabase(where, error);
    ASSERT_TRUE(db && MigrateUpTo(*db, 4, error)) << error;
    ASSERT_TRUE(
        db->exec("INSERT INTO station (name, host, library, version) VALUES ('line4', 'pc', 'lib', '1')", error) &&
        db->query("INSERT INTO session (id, station_id, plan, plan_sha256, parameters, parameters_sha256,"
                  " simulated, started) SELECT $1, id, 'p', 'x', 'q', 'y', 1, $2 FROM station",
                  {session.id, session.started}, {}, error))
        << error;
    for (const UnitRow &u : rows) PutVersionFour(*db, u, error);
  }
  for (int open = 0; open < 2; ++open) {
    std::unique_ptr<Store> store = Store::Open(where, false, error);
    ASSERT_TRUE(store) << error;
    int version = 0;
    ASSERT_TRUE(SchemaVersion(store->db(), version, error) && version == kSchemaVersion) << error << version;
    for (const UnitRow &u : rows) {
      UnitRow back;
      bool found = false;
      ASSERT_TRUE(store->getUnit(u.uuid, back, found, error)) << error;
      EXPECT_TRUE(found && back == u) << u.uuid;
    }
    std::size_t results = 0;
    for (const UnitRow &u : rows) {
      for (const StepRow &s : u.steps) results += s.results.size();
    }
    EXPECT_EQ(Count(store->db(), "SELECT count(*) FROM result"), static_cast<long>(results));
    EXPECT_EQ(Count(store->db(), "SELECT count(*) FROM result WHERE passed = 0"),
              Count(store->db(), "SELECT count(*) FROM run_result WHERE passed = 0"));
    EXPECT_EQ(Count(store->db(), "SELECT count(*) FROM step WHERE verdict = 'ERROR'"), 1);
    // Version 7 made the rollups from the rows.
    EXPECT_EQ(vorn_results_test::RollupsDiffer(store->db()), "");
    EXPECT_GT(Count(store->db(), "SELECT count(*) FROM day_measurement"), 0);
  }
}

// Attempts wait to be folded into the rollups; until then the reports sum
// them from their rows. A store folds them once kFoldEvery of its own wait;
// one that stops before it folds leaves them to the next store, which folds
// them from their rows. Each attempt counts once throughout.
TEST_P(OwnDatabase, WaitingAttemptsCountOnceWhicheverStoreFoldsThem) {
  if (std::string(GetParam()) == "postgres" && ServerUrl().empty()) GTEST_SKIP() << "VORN_PG_URL is not set";
  const std::string where = target("waiting");
  std::string error;
  std::mt19937 random(5);
  const auto put = [&](Store &store, const SessionRecord &s, int units) {
    for (int n = 1; n <= units; ++n) {
      bool stored = false;
      const UnitRecord unit = vorn_results_test::SyntheticUnit(vorn_results_test::TypicalPlan(), n, 1, n % 9 != 0, random);
      ASSERT_TRUE(store.putUnit(ToRow(s, unit), stored, error) && stored) << error;
    }
  };
  const auto sums = [&](Database &db) {
    vorn_reports::LineSums line;
    EXPECT_TRUE(vorn_reports::ReadLineSums(db, {}, false, 0, line, error)) << error;
    return line;
  };
  const auto whole = [](const vorn_reports::LineSums &line) {
    const auto all = line.tallies([](const std::string &, const std::string &) { return std::vector<std::string>(); });
    return all.empty() ? vorn_host::Tally() : all.begin()->second;
  };
  const std::string waiting = "SELECT count(*) FROM rollup_pending";
  const int units = static_cast<int>(vorn_results::kFoldEvery) + 3;

  std::unique_ptr<Store> first = Store::Open(where, false, error);
  const SessionRecord session = vorn_results_test::SyntheticSession("fold");
  ASSERT_TRUE(first && first->putSession(session, error)) << error;
  put(*first, session, units);
  EXPECT_EQ(Count(first->db(), waiting), 3);
  EXPECT_EQ(vorn_results_test::RollupsDiffer(first->db()), "");
  const vorn_reports::LineSums before = sums(first->db());
  EXPECT_EQ(whole(before).attempts, units);
  // A period that cuts the day sums it from the rows, the waiting attempts
  // among them, and adds no waiting attempt again; a whole day adds them to
  // the rollups.
  for (const std::string &since : {vorn_results::TimeText(*vorn_results::EpochSeconds(session.started) - 1),
                                   session.started.substr(0, 10) + "T00:00:00Z"}) {
    vorn_reports::LineFilter from;
    from.since = since;
    vorn_reports::LineSums counted;
    ASSERT_TRUE(vorn_reports::ReadLineSums(first->db(), from, true, 0, counted, error)) << error;
    EXPECT_EQ(whole(counted).attempts, units) << since;
  }
  first.reset();  // stopped before its session ended: its last three wait

  std::unique_ptr<Store> next = Store::Open(where, false, error);
  ASSERT_TRUE(next) << error;
  EXPECT_EQ(Count(next->db(), waiting), 3);
  ASSERT_TRUE(next->putSession(vorn_results_test::SyntheticSession("fold"), error)) << error;
  EXPECT_EQ(Count(next->db(), waiting), 0);
  EXPECT_EQ(vorn_results_test::RollupsDiffer(next->db()), "");
  const vorn_reports::LineSums after = sums(next->db());
  EXPECT_EQ(whole(after).line(), whole(before).line());
  ASSERT_EQ(after.measurements.size(), before.measurements.size());
  for (const auto &[id, m] : before.measurements) {
    const vorn_results::MeasureSums &a = after.measurements.at(id);
    EXPECT_TRUE(a.count == m.count && a.fails == m.fails && a.bins == m.bins && a.min == m.min && a.max == m.max)
        << "measurement " << id;
    EXPECT_NEAR(a.sum, m.sum, 1e-9 * std::max(1.0, std::abs(m.sum))) << "measurement " << id;
  }
}

INSTANTIATE_TEST_SUITE_P(BothEngines, OwnDatabase, ::testing::Values("sqlite", "postgres"));

// The schema as the first host version wrote it, with a session of one unit
// tested twice.
constexpr const char *kVersionOneFile = R"(
CREATE TABLE schema_version (version INTEGER NOT NULL);
INSERT INTO schema_version VALUES (1);
CREATE TABLE station (id INTEGER PRIMARY KEY, name TEXT NOT NULL, host TEXT NOT NULL, library TEXT NOT NULL,
  version TEXT NOT NULL, UNIQUE (name, host, library, version));
CREATE TABLE session (id TEXT PRIMARY KEY, station_id BIGINT NOT NULL REFERENCES station (id), plan TEXT NOT NULL,
  plan_sha256 TEXT NOT NULL, parameters TEXT NOT NULL, parameters_sha256 TEXT NOT NULL, operator TEXT,
  simulated INTEGER NOT NULL, started TEXT NOT NULL, ended TEXT);
CREATE TABLE unit (uuid TEXT PRIMARY KEY, session_id TEXT NOT NULL REFERENCES session (id), serial TEXT NOT NULL,
  unit_index INTEGER NOT NULL, attempt INTEGER NOT NULL, started TEXT NOT NULL, seconds DOUBLE PRECISION NOT NULL,
  waited_ms BIGINT NOT NULL, verdict TEXT NOT NULL);
CREATE INDEX unit_serial ON unit (serial);
CREATE INDEX unit_started ON unit (started);
CREATE TABLE step (unit_uuid TEXT NOT NULL REFERENCES unit (uuid), step_index INTEGER NOT NULL,
  plan_line INTEGER NOT NULL, export TEXT NOT NULL, number INTEGER NOT NULL, verdict TEXT NOT NULL,
  returned BIGINT NOT NULL, text TEXT NOT NULL, seconds DOUBLE PRECISION NOT NULL,
  PRIMARY KEY (unit_uuid, step_index));
CREATE TABLE result (unit_uuid TEXT NOT NULL, step_index INTEGER NOT NULL, entry INTEGER NOT NULL,
  value DOUBLE PRECISION, name TEXT, low DOUBLE PRECISION, high DOUBLE PRECISION, passed INTEGER NOT NULL,
  PRIMARY KEY (unit_uuid, step_index, entry),
  FOREIGN KEY (unit_uuid, step_index) REFERENCES step (unit_uuid, step_index));
INSERT INTO station VALUES (1, 'line1', 'pc1', 'libVorn_CMU200.so', '1.03');
INSERT INTO session VALUES ('s1', 1, 'typical.plan', 'aa', 'station.ini', 'bb', NULL, 1, '2025-03-01T08:00:00Z',
  '2025-03-01T09:00:00Z');
INSERT INTO unit VALUES ('u1', 's1', '351', 1, 1, '2025-03-01T08:00:00Z', 14.5, 9000, 'FAIL');
INSERT INTO unit VALUES ('u2', 's1', '351', 1, 2, '2025-03-01T08:01:00Z', 14.2, 9000, 'PASS');
INSERT INTO step VALUES ('u1', 1, 21, 'OBTPowervsTime', 5, 'FAIL', 0, '', 0.01);
INSERT INTO step VALUES ('u2', 1, 21, 'OBTPowervsTime', 5, 'PASS', 0, '', 0.01);
INSERT INTO result VALUES ('u1', 1, 1, 37.5, NULL, 30, 36, 0);
INSERT INTO result VALUES ('u2', 1, 1, 33.0, NULL, 30, 36, 1);
)";

TEST(Migration, AnOlderFileIsBroughtUpToDateWithItsUnits) {
  TempDir dir;
  const std::string file = dir / "old.sqlite";
  std::string error;
  {
    std::unique_ptr<Database> db = OpenSqlite(file, error);
    ASSERT_TRUE(db && db->exec(kVersionOneFile, error)) << error;
  }
  for (int open = 0; open < 2; ++open) {  // and opening it again changes nothing
    std::unique_ptr<Store> store = Store::Open(file, false, error);
    ASSERT_TRUE(store) << error;
    int version = 0;
    ASSERT_TRUE(SchemaVersion(store->db(), version, error)) << error;
    EXPECT_EQ(version, kSchemaVersion);
    Database &db = store->db();
    EXPECT_EQ(Count(db, "SELECT count(*) FROM unit WHERE first_attempt = (attempt = 1)"), 2);
    EXPECT_EQ(Count(db, "SELECT count(*) FROM result WHERE export = 'OBTPowervsTime'"), 2);
    // The lean rows (version 6): the two results name one measurement, and
    // the views show them as they were; the health tables (version 5) are there.
    EXPECT_EQ(Count(db, "SELECT count(*) FROM measurement WHERE export = 'OBTPowervsTime' AND plan_line = 21"), 1);
    EXPECT_EQ(Count(db, "SELECT count(*) FROM run_result"), 2);
    EXPECT_EQ(Count(db, "SELECT count(*) FROM sqlite_master WHERE type = 'view' AND name IN ('step', 'result')"), 2);
    EXPECT_EQ(Count(db, "SELECT count(*) FROM result WHERE passed = 0 AND value = 37.5 AND high = 36"), 1);
    EXPECT_EQ(Count(db,
                    "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN ('verification',"
                    " 'calibration', 'alarm', 'station_lock', 'acknowledgement')"),
              5);
    EXPECT_EQ(Count(db, "SELECT count(*) FROM pragma_integrity_check WHERE integrity_check = 'ok'"), 1);
  }
  std::unique_ptr<Store> store = Store::Open(file, false, error);
  std::ostringstream summary;
  ASSERT_TRUE(Summary(*store, summary, error)) << error;
  EXPECT_NE(Squeezed(summary.str())
                .find("\nline1 2025-03-01 1 unit: 1 PASS, 0 FAIL, 0 ERROR, 1 retest; first-pass yield 0.0 %;"
                      " final yield 100.0 %;"),
            std::string::npos)
      << summary.str();
  SessionRecord session = vorn_results_test::SyntheticSession("line1");
  std::mt19937 random(1);
  const UnitRecord unit = vorn_results_test::SyntheticUnit(vorn_results_test::TypicalPlan(), 1, 1, true, random);
  bool stored = false;
  ASSERT_TRUE(store->putSession(session, error) && store->putUnit(ToRow(session, unit), stored, error)) << error;
  EXPECT_EQ(Count(store->db(), "SELECT count(*) FROM unit"), 3);
}

// The day's summary counts a phone as the session's tally counts a unit: an
// attempt stopped before its verdict is none, and a phone only ever stopped
// is no unit.
TEST(Summary, AStoppedAttemptIsNoVerdict) {
  TempDir dir;
  std::string error;
  std::unique_ptr<Store> store = Store::Open(dir / "r.sqlite", false, error);
  ASSERT_TRUE(store) << error;
  const SessionRecord session = SyntheticSession("line9");
  ASSERT_TRUE(store->putSession(session, error)) << error;
  std::mt19937 random(3);
  const struct {
    int unit;
    int attempt;
    vorn_host::Verdict verdict;
  } attempts[] = {{1, 1, vorn_host::Verdict::kNotRun},
                  {1, 1, vorn_host::Verdict::kPass},
                  {2, 1, vorn_host::Verdict::kNotRun},
                  {3, 1, vorn_host::Verdict::kFail},
                  {3, 2, vorn_host::Verdict::kPass}};
  for (const auto &a : attempts) {
    UnitRecord u = SyntheticUnit(TypicalPlan(), a.unit, a.attempt, true, random);
    u.run.verdict = a.verdict;
    u.run.stopped = a.verdict == vorn_host::Verdict::kNotRun;
    bool stored = false;
    ASSERT_TRUE(store->putUnit(ToRow(session, u), stored, error)) << error;
  }
  std::ostringstream summary;
  ASSERT_TRUE(Summary(*store, summary, error)) << error;
  const std::string day = Squeezed(summary.str());
  EXPECT_NE(day.find("\nline9 " + session.started.substr(0, 10) + " 2 units: 2 PASS, 0 FAIL, 0 ERROR, 1 retest"),
            std::string::npos)
      << summary.str();
  EXPECT_NE(day.find("first-pass yield 50.0 %; final yield 100.0 %"), std::string::npos) << summary.str();
}

TEST(Migration, ANewerFileIsLeftUntouched) {
  TempDir dir;
  const std::string file = dir / "newer.sqlite";
  std::string error;
  {
    std::unique_ptr<Database> db = OpenSqlite(file, error);
    ASSERT_TRUE(db && db->exec("PRAGMA journal_mode=DELETE; CREATE TABLE schema_version (version INTEGER);"
                               " INSERT INTO schema_version VALUES (99); CREATE TABLE unit (x TEXT);",
                               error))
        << error;
  }
  std::ifstream before(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(before)), std::istreambuf_iterator<char>());
  EXPECT_FALSE(Store::Open(file, false, error));
  EXPECT_NE(error.find("newer than this host's"), std::string::npos) << error;
  std::ifstream after(file, std::ios::binary);
  EXPECT_TRUE(std::string((std::istreambuf_iterator<char>(after)), std::istreambuf_iterator<char>()) == bytes)
      << "the newer file was changed";
}

TEST(Crash, KillNineMidUnitLeavesTheFileIntactWithEveryFinishedUnit) {
  TempDir dir;
  const std::string file = dir / "results.sqlite";
  const std::string log = dir / "committed.log";
  std::mt19937 random(42);
  for (int round = 1; round <= 4; ++round) {
    const pid_t pid = Spawn({VORN_FEEDER_FILE, "--db", file, "--log", log, "--units", "1000000"}, dir / "err");
    ASSERT_TRUE(WaitForLines(log, Lines(log).size() + 20)) << "the writer records no units";
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
    kill(pid, SIGKILL);
    EXPECT_EQ(Wait(pid), 128 + SIGKILL);
  }
  std::string error;
  std::unique_ptr<Database> db = OpenSqlite(file, error);
  ASSERT_TRUE(db) << error;
  EXPECT_EQ(Count(*db, "SELECT count(*) FROM pragma_integrity_check WHERE integrity_check = 'ok'"), 1);
  std::set<std::string> stored;
  db->query(
      "SELECT uuid FROM unit", {},
      [&](const Row &r) {
        stored.insert(*r[0]);
        return true;
      },
      error);
  const std::vector<std::string> committed = Lines(log);
  for (const std::string &uuid : committed) EXPECT_EQ(stored.count(uuid), 1u) << uuid << " was lost";
  // Nothing half-written: every unit has all its steps and results.
  const vorn_host::Plan plan = vorn_results_test::TypicalPlan();
  const UnitRow shape = ToRow({}, vorn_results_test::SyntheticUnit(plan, 1, 1, true, random));
  std::size_t results = 0;
  for (const StepRow &s : shape.steps) results += s.results.size();
  EXPECT_EQ(
      Count(
          *db,
          "SELECT count(*) FROM unit u WHERE (SELECT count(*) FROM step s WHERE s.unit_uuid = u.uuid)"
          " <> CAST($1 AS INTEGER) OR (SELECT count(*) FROM result r WHERE r.unit_uuid = u.uuid) <> CAST($2 AS INTEGER)",
          {std::to_string(shape.steps.size()), std::to_string(results)}),
      0);
  EXPECT_GE(stored.size(), committed.size());
  EXPECT_LE(stored.size(), committed.size() + 4) << "more units than the writers could have committed";
}

TEST(Outage, ServerStoppedMidSessionStoresEveryUnitExactlyOnce) {
  OwnServer server;
  ASSERT_TRUE(server.started);
  TempDir dir;
  const std::string log = dir / "held.log";
  const int units = 60;
  const pid_t pid = Spawn({VORN_FEEDER_FILE, "--db", server.url(), "--spool", dir / "spool.sqlite", "--log", log,
                           "--units", std::to_string(units), "--pace-ms", "40", "--session-file", dir / "session"},
                          dir / "err");
  ASSERT_TRUE(WaitForLines(log, 15));
  ASSERT_EQ(Script("stop-immediate", server.folder), 0);
  EXPECT_TRUE(WaitForLines(log, 35)) << "the session stopped with the server";
  ASSERT_EQ(Script("restart", server.folder), 0);
  EXPECT_EQ(Wait(pid), 0) << "the spool was not emptied at the session's end";

  std::string error;
  std::unique_ptr<Database> db = OpenPostgres(server.url(), error);
  ASSERT_TRUE(db) << error;
  const std::string session = Lines(dir / "session").at(0);
  EXPECT_EQ(Count(*db, "SELECT count(*) FROM unit WHERE session_id = $1", {session}), units);
  EXPECT_EQ(Count(*db, "SELECT count(DISTINCT serial) FROM unit WHERE session_id = $1", {session}), units);
  EXPECT_EQ(Count(*db, "SELECT count(*) FROM session WHERE id = $1 AND ended IS NOT NULL", {session}), 1);
  const std::vector<std::string> said = Lines(dir / "err");
  std::size_t told = 0;
  for (const std::string &line : said) told += line.find("results server:") != std::string::npos ? 1 : 0;
  EXPECT_EQ(told, 1u) << "the outage is to be told once";
}

TEST(Stations, FourWritersIntoOneServerStoreThousandUnits) {
  const std::string url = ServerUrl();
  ASSERT_FALSE(url.empty()) << "VORN_PG_URL is not set: run the test through ctest";
  TempDir dir;
  std::vector<pid_t> writers;
  for (int w = 0; w < 4; ++w) {
    const std::string n = std::to_string(w);
    writers.push_back(Spawn({VORN_FEEDER_FILE, "--db", url, "--spool", dir / ("spool" + n), "--log", dir / ("log" + n),
                             "--units", "250", "--station", "line-" + n, "--session-file", dir / ("session" + n)},
                            dir / ("err" + n)));
  }
  for (pid_t pid : writers) EXPECT_EQ(Wait(pid), 0);
  std::string error;
  std::unique_ptr<Database> db = OpenPostgres(url, error);
  ASSERT_TRUE(db) << error;
  std::set<std::string> logged;
  std::vector<Value> sessions;
  for (int w = 0; w < 4; ++w) {
    for (const std::string &uuid : Lines(dir / ("log" + std::to_string(w)))) logged.insert(uuid);
    sessions.push_back(Lines(dir / ("session" + std::to_string(w))).at(0));
  }
  EXPECT_EQ(logged.size(), 1000u);
  const std::string in = " WHERE session_id IN ($1, $2, $3, $4)";
  EXPECT_EQ(Count(*db, "SELECT count(*) FROM unit" + in, sessions), 1000);
  EXPECT_EQ(Count(*db, "SELECT count(DISTINCT uuid) FROM unit" + in, sessions), 1000);
  EXPECT_EQ(Count(*db, "SELECT count(*) FROM step WHERE unit_uuid IN (SELECT uuid FROM unit" + in + ")", sessions),
            1000 * static_cast<long>(vorn_results_test::TypicalPlan().steps.size()));
}

TEST(Queries, ExportUnitsAndSummaryCountEveryAttempt) {
  TempDir dir;
  const std::string file = dir / "results.sqlite";
  std::string error;
  std::unique_ptr<DatabaseSink> sink = DatabaseSink::Open(file, "", error);
  ASSERT_TRUE(sink) << error;
  SessionRecord session = vorn_results_test::SyntheticSession("line7");
  ASSERT_TRUE(sink->sessionStarted(session, error)) << error;
  const vorn_host::Plan plan = vorn_results_test::TypicalPlan();
  std::mt19937 random(3);
  // Ten phones: 3 and 7 fail and pass their retest, 5 fails twice.
  std::vector<UnitRecord> attempts;
  const auto shared = std::make_shared<const SessionRecord>(session);
  for (int n = 1; n <= 10; ++n) {
    const int tries = n == 3 || n == 7 || n == 5 ? 2 : 1;
    for (int a = 1; a <= tries; ++a) {
      attempts.push_back(vorn_results_test::SyntheticUnit(plan, n, a, !(a == 1 && tries == 2) && n != 5, random));
      attempts.back().session = shared;
      ASSERT_TRUE(sink->attemptFinished(attempts.back(), error)) << error;
    }
  }
  std::unique_ptr<Store> store = Store::Open(file, false, error);
  ASSERT_TRUE(store) << error;
  std::ostringstream csv;
  ASSERT_TRUE(ExportCsv(*store, csv, error)) << error;
  std::vector<std::string> rows;
  std::istringstream in(csv.str());
  for (std::string line; std::getline(in, line);) rows.push_back(line);
  ASSERT_EQ(rows.size(), 1 + attempts.size());
  const std::string &header = rows[0];
  EXPECT_NE(header.find(",OBTPowervsTime[1],"), std::string::npos);
  EXPECT_NE(header.find(",OBTPowervsTime#4[1],"), std::string::npos);
  EXPECT_EQ(header.find("#5["), std::string::npos);
  const auto fields = [](const std::string &line) { return std::count(line.begin(), line.end(), ',') + 1; };
  long limited = 0;
  for (const auto &s : plan.steps) limited += static_cast<long>(s.limits.size());
  EXPECT_EQ(fields(header), 10 + limited);
  for (const std::string &row : rows) EXPECT_EQ(fields(row), fields(header)) << row.substr(0, 60);
  // The failing value, exact, under its column.
  const UnitRecord &failed = attempts[2];
  std::size_t column = 0;
  for (std::size_t at = 0; at < header.find(",OBTPowervsTime[1],") + 1; ++at) column += header[at] == ',' ? 1 : 0;
  std::string cell = rows[3];
  for (std::size_t c = 0; c < column; ++c) cell = cell.substr(cell.find(',') + 1);
  EXPECT_EQ(cell.substr(0, cell.find(',')), NumberText(*failed.run.steps[5].entries[0].value));

  std::ostringstream summary;
  ASSERT_TRUE(Summary(*store, summary, error)) << error;
  EXPECT_NE(Squeezed(summary.str())
                .find("\nline7 " + session.started.substr(0, 10) +
                      " 10 units: 9 PASS, 1 FAIL, 0 ERROR, 3 retests; first-pass yield 70.0 %; final yield 90.0 %;"),
            std::string::npos)
      << summary.str();
  std::ostringstream units;
  ASSERT_TRUE(ListUnits(*store, failed.serial, units, error)) << error;
  EXPECT_NE(units.str().find("attempt 1  FAIL"), std::string::npos) << units.str();
  EXPECT_NE(units.str().find("attempt 2  PASS"), std::string::npos) << units.str();
  EXPECT_NE(units.str().find("step 6 OBTPowervsTime FAIL: entry 1 = "), std::string::npos) << units.str();

  // The command gives what the functions give.
  const std::string out = dir / "tool.csv";
  ASSERT_EQ(std::system((std::string(VORN_RESULTS_TOOL) + " --db " + file + " export --csv >" + out).c_str()), 0);
  std::ifstream toolCsv(out);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(toolCsv)), std::istreambuf_iterator<char>()), csv.str());
}

// More attempts than one read of results takes, and a column that only a late
// attempt has: every earlier row gets its empty cell, in the attempts' order.
TEST(Queries, ExportOfALateColumnOverSeveralBatches) {
  TempDir dir;
  const std::string file = dir / "results.sqlite";
  std::string error;
  std::unique_ptr<Store> store = Store::Open(file, false, error);
  ASSERT_TRUE(store) << error;
  ASSERT_TRUE(store->db().exec("PRAGMA synchronous=OFF", error)) << error;
  const SessionRecord session = vorn_results_test::SyntheticSession("line2");
  ASSERT_TRUE(store->putSession(session, error)) << error;
  vorn_host::Plan plan = vorn_results_test::TypicalPlan();
  const vorn_host::Plan typical = plan;
  for (const auto &step : typical.steps) {
    if (step.shortName() == "OBTPowervsTime") plan.steps.push_back(step);  // its 5th run, only late on
  }
  std::mt19937 random(5);
  const int attempts = 260, late = 240;
  for (int n = 1; n <= attempts; ++n) {
    bool stored = false;
    const UnitRecord unit = vorn_results_test::SyntheticUnit(n < late ? typical : plan, n, 1, true, random);
    ASSERT_TRUE(store->putUnit(ToRow(session, unit), stored, error)) << error;
  }
  std::ostringstream csv;
  ASSERT_TRUE(ExportCsv(*store, csv, error)) << error;
  std::vector<std::string> rows;
  std::istringstream in(csv.str());
  for (std::string line; std::getline(in, line);) rows.push_back(line);
  ASSERT_EQ(rows.size(), 1u + attempts);
  const auto fields = [](const std::string &line) { return std::count(line.begin(), line.end(), ',') + 1; };
  const std::string &header = rows[0];
  EXPECT_NE(header.find(",OBTPowervsTime#5["), std::string::npos);
  for (int n = 1; n <= attempts; ++n) {
    const std::string &row = rows[static_cast<std::size_t>(n)];
    ASSERT_EQ(fields(row), fields(header)) << "row " << n;
    EXPECT_EQ(row.back() != ',', n >= late) << "row " << n << ": the late column's cell";
    const std::size_t unitField = row.find(',', row.find(',', row.find(',', row.find(',') + 1) + 1) + 1) + 1;
    EXPECT_EQ(row.substr(unitField, row.find(',', unitField) - unitField), std::to_string(n)) << "out of order";
  }
}

// A single run's attempt is recorded like a session's: results.sqlite in the
// working folder unless --db names another or --no-db none.
TEST(Options, TheDatabaseTheCommandLineAsksFor) {
  TempDir dir;
  const fs::path before = fs::current_path();
  fs::current_path(dir.path);
  const struct {
    std::vector<const char *> args;
    bool single;
    const char *target;  // null: no database
    const char *refused;
  } cases[] = {
      {{"--units", "2"}, false, "results.sqlite", nullptr},
      {{}, true, "results.sqlite", nullptr},
      {{"--no-db"}, true, nullptr, nullptr},
      {{"--db", "line.sqlite"}, true, "line.sqlite", nullptr},
      {{"--db=line2.sqlite", "--operator", "ann", "--units", "1"}, false, "line2.sqlite", nullptr},
      {{"--db", "x.sqlite", "--no-db"}, true, nullptr, "--db and --no-db contradict each other"},
  };
  for (const auto &c : cases) {
    fs::remove("results.sqlite");
    std::vector<const char *> argv = {"vorn-host", "--params", "p.ini"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    argv.push_back("t.plan");
    vorn_host::CommandLine line = vorn_host::HostCommandLine();
    vorn_host::Options o;
    std::string error;
    ASSERT_TRUE(vorn_host::ReadHostCommandLine(static_cast<int>(argv.size()), argv.data(), line, o, error)) << error;
    EXPECT_EQ(o.session(), !c.single);
    SessionRecord session;
    session.single = c.single;
    const vorn_host::Plan plan;
    std::vector<vorn_host::InputFile> files;
    vorn_host::OutputSetup setup{line, session, plan, files};
    vorn_host::Bus bus;
    std::vector<std::unique_ptr<vorn_host::Output>> outputs;
    EXPECT_EQ(vorn_host::OpenOutputs(setup, bus, outputs, error), c.refused == nullptr) << error;
    if (c.refused != nullptr) {
      EXPECT_EQ(error, c.refused);
    }
    EXPECT_EQ(fs::exists(c.target != nullptr ? c.target : "results.sqlite"), c.target != nullptr) << c.args.size();
  }
  fs::current_path(before);
}

TEST_F(HostSession, TwoHundredUnitsIntoTheDefaultFileAndOutAsCsv) {
  ASSERT_EQ(Wait(start({"--fast", "--units", "200"})), 0) << said();
  std::string error;
  std::unique_ptr<Database> db = OpenSqlite(dir / "results.sqlite", error);
  ASSERT_TRUE(db) << error;
  const std::vector<std::string> uuids = logged();
  ASSERT_EQ(uuids.size(), 200u);
  EXPECT_EQ(stored(*db), std::set<std::string>(uuids.begin(), uuids.end()));
  EXPECT_EQ(halfWritten(*db), 0);
  EXPECT_EQ(Count(*db, "SELECT count(DISTINCT serial) FROM unit"), 200);

  const std::string csv = dir / "export.csv";
  ASSERT_EQ(std::system(("cd " + dir.path.string() + " && " VORN_RESULTS_TOOL " export --csv >" + csv).c_str()), 0);
  const std::vector<std::string> rows = Lines(csv);
  ASSERT_EQ(rows.size(), 201u);
  EXPECT_EQ(rows[0].rfind("uuid,session,station,serial,", 0), 0u) << rows[0].substr(0, 80);
  std::set<std::string> exported;
  for (std::size_t r = 1; r < rows.size(); ++r) exported.insert(rows[r].substr(0, 36));
  EXPECT_EQ(exported, std::set<std::string>(uuids.begin(), uuids.end()));

  // The long export, read by Python's csv module: a row per result, the
  // attempts, the missed limits and the limited results the database holds.
  const std::string counts = dir / "counts.txt";
  const std::string python =
      "cd " + dir.path.string() +
      " && " VORN_RESULTS_TOOL
      " export --csv --long >long.csv && python3 -c '"
      "import csv\n"
      "rows = list(csv.DictReader(open(\"long.csv\", newline=\"\")))\n"
      "print(len(rows), len({r[\"uuid\"] for r in rows}), sum(r[\"passed\"] == \"0\" for r in rows),"
      " sum(r[\"low\"] != \"\" or r[\"high\"] != \"\" for r in rows))' >" +
      counts;
  ASSERT_EQ(std::system(python.c_str()), 0);
  const std::string expected = std::to_string(Count(*db, "SELECT count(*) FROM result")) + " " +
                               std::to_string(Count(*db, "SELECT count(*) FROM unit")) + " " +
                               std::to_string(Count(*db, "SELECT count(*) FROM result WHERE passed = 0")) + " " +
                               std::to_string(Count(*db,
                                                    "SELECT count(*) FROM result WHERE low IS NOT NULL OR"
                                                    " high IS NOT NULL"));
  EXPECT_EQ(Lines(counts).at(0), expected);
}

TEST_F(HostSession, TwoHundredUnitsIntoAServerThatStopsMidSessionArriveOnce) {
  OwnServer server;
  ASSERT_TRUE(server.started);
  const pid_t host = start({"--fast", "--units", "200", "--db", server.url()});
  ASSERT_TRUE(WaitForLines(dir / "session.jsonl", 10)) << said();
  ASSERT_EQ(Script("stop-immediate", server.folder), 0);
  const std::size_t atStop = logged().size();
  // Whether the spool went on before the end (exit 0) or waits for the
  // command (exit 1, saying so), the server ends with every unit once.
  const int status = Wait(host);
  ASSERT_EQ(Script("restart", server.folder), 0);
  EXPECT_LT(atStop, 200u) << "the server stopped only after the session";
  EXPECT_TRUE(status == 0 || (status == 1 && said().find("forward sends them on") != std::string::npos)) << said();
  const std::string forward =
      "cd " + dir.path.string() + " && " VORN_RESULTS_TOOL " --db '" + server.url() + "' forward >forwarded.txt";
  ASSERT_EQ(std::system(forward.c_str()), 0) << said();
  EXPECT_NE(Lines(dir / "forwarded.txt").at(0).find("; 0 wait in"), std::string::npos);

  std::string error;
  std::unique_ptr<Database> db = OpenPostgres(server.url(), error);
  ASSERT_TRUE(db) << error;
  const std::vector<std::string> uuids = logged();
  ASSERT_EQ(uuids.size(), 200u);
  EXPECT_EQ(Count(*db, "SELECT count(*) FROM unit"), 200);
  EXPECT_EQ(stored(*db), std::set<std::string>(uuids.begin(), uuids.end()));
  EXPECT_EQ(halfWritten(*db), 0);
  EXPECT_NE(said().find("results server:"), std::string::npos) << "the outage was not told";
}

TEST_F(HostSession, KillNineMidRealTimeUnitKeepsEveryFinishedUnitWhole) {
  // A unit of the typical plan waits some 15 s on the station in real time.
  const pid_t host = start({"--units", "3"});
  ASSERT_TRUE(WaitForLines(dir / "session.jsonl", 1, 120)) << said();
  std::mt19937 random(static_cast<unsigned>(getpid()));
  std::this_thread::sleep_for(std::chrono::milliseconds(500 + random() % 3000));
  kill(host, SIGKILL);
  EXPECT_EQ(Wait(host), 128 + SIGKILL);
  std::string error;
  std::unique_ptr<Database> db = OpenSqlite(dir / "results.sqlite", error);
  ASSERT_TRUE(db) << error;
  EXPECT_EQ(Count(*db, "SELECT count(*) FROM pragma_integrity_check WHERE integrity_check = 'ok'"), 1);
  const std::vector<std::string> uuids = logged();
  ASSERT_GE(uuids.size(), 1u);
  ASSERT_LE(uuids.size(), 2u) << "the kill came after the second unit";
  // Each attempt's JSON line comes just before its commit.
  EXPECT_EQ(stored(*db), std::set<std::string>(uuids.begin(), uuids.end()));
  EXPECT_EQ(halfWritten(*db), 0);
}

}  // namespace
