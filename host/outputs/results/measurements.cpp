#include "outputs/results/measurements.h"

#include "outputs/results/words.h"

namespace vorn_results {

namespace {

std::string Bound(const std::optional<double> &v) { return v ? NumberText(*v) : ""; }

}  // namespace

// Fields apart by tabs, which none but a name can hold; the name comes last.
std::string PlanStepKey::text() const {
  return exportName + "\t" + std::to_string(planLine) + "\t" + std::to_string(number) + "\t" + (cleanup ? "1" : "0") +
         "\t" + limits;
}

std::string MeasurementKey::text() const {
  return exportName + "\t" + std::to_string(planLine) + "\t" + std::to_string(entry) + "\t" + Bound(low) + "\t" +
         Bound(high) + "\t" + (name ? "=" + *name : "-");
}

bool RowIds::resolve(Database &db, const std::string &table, const std::string &key,
                     const std::function<bool(std::string &, std::vector<Value> &, std::string &)> &insert, Ids &kept,
                     Ids &added, Known &known, std::string &error) {
  for (const Ids *ids : {&kept, &added}) {
    const auto found = ids->find(key);
    if (found != ids->end()) {
      known = found->second;
      return true;
    }
  }
  known.id = -1;
  const bool frames = frames_ && table == "measurement";
  const auto take = [&](const Row &r) {
    known.id = std::stoll(r[0].value_or("-1"));
    if (frames) known.frame = {ParseNumber(r[1]).value_or(0.0), ParseNumber(r[2]).value_or(1.0)};
    return false;
  };
  const std::string columns = frames ? "id, bin_first, bin_width" : "id";
  if (!db.query("SELECT " + columns + " FROM " + table + " WHERE key = $1", {key}, take, error)) return false;
  // Another writer may add the same row meanwhile: the conflict gives its row.
  std::string sql;
  std::vector<Value> values;
  if (known.id < 0 && !(insert(sql, values, error) &&
                        db.query(sql + " ON CONFLICT (key) DO UPDATE SET key = excluded.key RETURNING " + columns,
                                 values, take, error))) {
    return false;
  }
  if (known.id < 0) {
    error = table + ": no id for a new row";
    return false;
  }
  added.emplace(key, known);
  return true;
}

bool RowIds::planStep(Database &db, const PlanStepKey &k, int64_t &id, std::string &error) {
  const std::string key = k.text();
  Known known;
  const auto insert = [&](std::string &sql, std::vector<Value> &values, std::string &) {
    sql = "INSERT INTO plan_step (key, export, plan_line, number, cleanup, limits) VALUES ($1, $2, $3, $4, $5, $6)";
    values = {key, k.exportName, std::to_string(k.planLine), std::to_string(k.number), k.cleanup ? "1" : "0", k.limits};
    return true;
  };
  if (!resolve(db, "plan_step", key, insert, steps_, newSteps_, known, error)) return false;
  id = known.id;
  return true;
}

bool RowIds::newFrame(Database &db, const MeasurementKey &k, const std::optional<double> &value, BinFrame &frame,
                      std::string &error) {
  frame = FrameFor(k.low, k.high, value);
  const std::string same = db.engine() == Engine::kSqlite ? " IS " : " IS NOT DISTINCT FROM ";
  const auto number = [](const std::optional<double> &v) { return v ? Value(NumberText(*v)) : std::nullopt; };
  return db.query(
      "SELECT bin_first, bin_width FROM measurement WHERE export = $1 AND plan_line = $2 AND entry = $3"
      " AND low" +
          same + "CAST($4 AS DOUBLE PRECISION) AND high" + same +
          "CAST($5 AS DOUBLE PRECISION) AND bin_width IS NOT NULL LIMIT 1",
      {k.exportName, std::to_string(k.planLine), std::to_string(k.entry), number(k.low), number(k.high)},
      [&](const Row &r) {
        frame = {ParseNumber(r[0]).value_or(frame.first), ParseNumber(r[1]).value_or(frame.width)};
        return false;
      },
      error);
}

bool RowIds::measurement(Database &db, const MeasurementKey &k, const std::optional<double> &value, int64_t &id,
                         BinFrame &frame, std::string &error) {
  const std::string key = k.text();
  const auto number = [](const std::optional<double> &v) { return v ? Value(NumberText(*v)) : std::nullopt; };
  const auto insert = [&](std::string &sql, std::vector<Value> &values, std::string &e) {
    BinFrame f;
    if (frames_ && !newFrame(db, k, value, f, e)) return false;
    const Words words = MeasurementWords(k.exportName, k.entry, k.name);
    sql = frames_ ? "INSERT INTO measurement (key, export, plan_line, entry, name, low, high, unit, bin_first,"
                    " bin_width) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10)"
                  : "INSERT INTO measurement (key, export, plan_line, entry, name, low, high, unit)"
                    " VALUES ($1, $2, $3, $4, $5, $6, $7, $8)";
    values = {key,
              k.exportName,
              std::to_string(k.planLine),
              std::to_string(k.entry),
              k.name ? Value(*k.name) : std::nullopt,
              number(k.low),
              number(k.high),
              words.unit.empty() ? std::nullopt : Value(words.unit),
              NumberText(f.first),
              NumberText(f.width)};
    if (!frames_) values.resize(8);
    return true;
  };
  Known known;
  if (!resolve(db, "measurement", key, insert, measurements_, newMeasurements_, known, error)) return false;
  id = known.id;
  frame = known.frame;
  return true;
}

void RowIds::commit() {
  steps_.insert(newSteps_.begin(), newSteps_.end());
  measurements_.insert(newMeasurements_.begin(), newMeasurements_.end());
  rollback();
}

void RowIds::rollback() {
  newSteps_.clear();
  newMeasurements_.clear();
}

}  // namespace vorn_results
