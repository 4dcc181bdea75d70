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

bool RowIds::resolve(Database &db, const std::string &table, const std::string &key, const std::string &insert,
                     const std::vector<Value> &values, Ids &kept, Ids &added, int64_t &id, std::string &error) {
  for (const Ids *ids : {&kept, &added}) {
    const auto found = ids->find(key);
    if (found != ids->end()) {
      id = found->second;
      return true;
    }
  }
  id = -1;
  const auto take = [&](const Row &r) {
    id = std::stoll(r[0].value_or("-1"));
    return false;
  };
  if (!db.query("SELECT id FROM " + table + " WHERE key = $1", {key}, take, error)) return false;
  // Another writer may add the same row meanwhile: the conflict gives its id.
  if (id < 0 &&
      !db.query(insert + " ON CONFLICT (key) DO UPDATE SET key = excluded.key RETURNING id", values, take, error)) {
    return false;
  }
  if (id < 0) {
    error = table + ": no id for a new row";
    return false;
  }
  added.emplace(key, id);
  return true;
}

bool RowIds::planStep(Database &db, const PlanStepKey &k, int64_t &id, std::string &error) {
  const std::string key = k.text();
  return resolve(
      db, "plan_step", key,
      "INSERT INTO plan_step (key, export, plan_line, number, cleanup, limits)"
      " VALUES ($1, $2, $3, $4, $5, $6)",
      {key, k.exportName, std::to_string(k.planLine), std::to_string(k.number), k.cleanup ? "1" : "0", k.limits},
      steps_, newSteps_, id, error);
}

bool RowIds::measurement(Database &db, const MeasurementKey &k, int64_t &id, std::string &error) {
  const std::string key = k.text();
  const Words words = MeasurementWords(k.exportName, k.entry, k.name);
  const auto number = [](const std::optional<double> &v) { return v ? Value(NumberText(*v)) : std::nullopt; };
  return resolve(
      db, "measurement", key,
      "INSERT INTO measurement (key, export, plan_line, entry, name, low, high, unit)"
      " VALUES ($1, $2, $3, $4, $5, $6, $7, $8)",
      {key, k.exportName, std::to_string(k.planLine), std::to_string(k.entry), k.name ? Value(*k.name) : std::nullopt,
       number(k.low), number(k.high), words.unit.empty() ? std::nullopt : Value(words.unit)},
      measurements_, newMeasurements_, id, error);
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
