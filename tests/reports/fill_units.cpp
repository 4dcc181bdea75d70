// Fills a results database with a line's worth of units for the report
// checks and the benchmark: every attempt a copy of one real run of the
// station, its values spread by seeded noise and judged again against their
// limits, a unit every 40 s. Every FAIL_EVERY-th unit misses the upper side
// of its switching spectrum at +400 kHz and passes on its second attempt.
// The rows are written a thousand attempts a transaction without the
// rollups, which are made once at the end from the rows (as a migration
// makes them): a line of a million units in minutes.
//
//   vorn_fill_units TEMPLATE_DB UNITS FAIL_EVERY OUT_DB [STATION]
//   OUT_DB: a SQLite file or postgresql://...
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "outputs/results/schema.h"
#include "outputs/results/store.h"

using namespace vorn_results;

namespace {

std::string Uuid(uint64_t n) {
  char text[40];
  std::snprintf(text, sizeof text, "00000000-0000-4000-8000-%012llx", static_cast<unsigned long long>(n));
  return text;
}

std::string Time(std::time_t t) {
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&t));
  return text;
}

void Judge(UnitRow &u) {
  bool missed = false;
  for (StepRow &s : u.steps) {
    bool stepMissed = false;
    for (ResultRow &r : s.results) {
      if (!r.value || !r.limited()) continue;
      r.passed = (!r.low || *r.value >= *r.low) && (!r.high || *r.value <= *r.high);
      stepMissed |= !r.passed;
    }
    if (s.verdict != "ERROR") s.verdict = stepMissed ? "FAIL" : "PASS";
    missed |= stepMissed;
  }
  if (u.verdict != "ERROR") u.verdict = missed ? "FAIL" : "PASS";
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: vorn_fill_units TEMPLATE_DB UNITS FAIL_EVERY OUT_DB [STATION]\n");
    return 2;
  }
  const long units = std::atol(argv[2]), failEvery = std::atol(argv[3]);
  const std::string station = argc > 5 ? argv[5] : "line-1";
  std::string error;
  auto from = Store::Open(argv[1], false, error);
  std::string uuid;
  if (from)
    from->db().query(
        "SELECT uuid FROM unit ORDER BY started LIMIT 1", {},
        [&](const Row &r) {
          uuid = r[0].value_or("");
          return false;
        },
        error);
  UnitRow base;
  bool found = false;
  vorn_host::SessionRecord session;
  if (!from || uuid.empty() || !from->getUnit(uuid, base, found, error) || !found ||
      !from->getSession(base.sessionId, session, found, error)) {
    std::fprintf(stderr, "%s: no unit to copy %s\n", argv[1], error.c_str());
    return 2;
  }
  auto to = Store::Open(argv[4], false, error);
  // Speed over durability: a filled file is made again, not recovered.
  const bool server = IsServerTarget(argv[4]);
  if (!to || !to->db().exec(server ? "SET synchronous_commit = off" : "PRAGMA synchronous=OFF", error)) {
    std::fprintf(stderr, "%s: %s\n", argv[4], error.c_str());
    return 2;
  }
  session.id = "10000000-0000-4000-8000-" + std::string(12 - std::min<std::size_t>(12, station.size()), '0') +
               station.substr(0, 12);
  session.station = station;
  const std::time_t start = 1714550400;  // 2024-05-01T08:00:00Z
  session.started = Time(start);
  session.ended = Time(start + units * 40 + 40);
  if (!to->putSession(session, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::mt19937_64 random(static_cast<uint64_t>(units) * 7919u + station.size());
  std::normal_distribution<double> noise(0.0, 1.0);
  uint64_t made = std::hash<std::string>{}(station) % 1000000 * 1000000;
  // Written a thousand attempts a transaction: a 100 000-unit line in minutes.
  to->keepRollups(false);
  std::vector<UnitRow> batch;
  const auto flush = [&]() {
    int64_t stored = 0;
    const bool ok = batch.empty() || to->putUnits(batch, stored, error);
    batch.clear();
    return ok;
  };
  for (long i = 1; i <= units; ++i) {
    const bool marginal = failEvery > 0 && i % failEvery == 0;
    for (int attempt = 1; attempt <= (marginal ? 2 : 1); ++attempt) {
      UnitRow u = base;
      u.uuid = Uuid(++made);
      u.sessionId = session.id;
      char serial[32];
      std::snprintf(serial, sizeof serial, "VRN%07ld", i);
      u.serial = serial;
      u.unitId = session.id + "/" + serial;
      u.unit = static_cast<int>(i);
      u.attempt = attempt;
      u.firstAttempt = attempt == 1;
      u.prior = attempt == 1 ? "none" : "FAIL";
      u.started = Time(start + i * 40 + (attempt - 1) * 20);
      u.seconds = base.seconds * (1.0 + 0.05 * std::fabs(noise(random)));
      for (StepRow &s : u.steps) {
        for (ResultRow &r : s.results) {
          if (!r.value || !r.limited() || (r.low && r.high && *r.low == *r.high)) continue;
          // About four sigma to the nearer limit: a capable, not a perfect, process.
          double margin = 1e9;
          if (r.low) margin = std::min(margin, std::fabs(*r.value - *r.low));
          if (r.high) margin = std::min(margin, std::fabs(*r.high - *r.value));
          if (margin < 1e-9) continue;  // a value on its limit (RXQUAL 0) stays there
          r.value = *r.value + noise(random) * margin / 4.0;
          if (marginal && attempt == 1 && r.name && *r.name == "+0.40MHZ Switching Spectrum" && r.high) {
            r.value = *r.high + 1.5;
          }
        }
      }
      Judge(u);
      batch.push_back(std::move(u));
      if (batch.size() >= 1000 && !flush()) {
        std::fprintf(stderr, "units to %ld: %s\n", i, error.c_str());
        return 1;
      }
    }
  }
  if (!flush()) {
    std::fprintf(stderr, "the last units: %s\n", error.c_str());
    return 1;
  }
  Database &db = to->db();
  if (!db.exec(db.beginWrite(), error) || !RebuildRollups(db, error) || !db.exec("COMMIT", error)) {
    std::fprintf(stderr, "the rollups: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s: %ld units from %s\n", argv[4], units, argv[1]);
  return 0;
}
