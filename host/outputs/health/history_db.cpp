#include <cmath>
#include <filesystem>

#include "outputs/health/history.h"
#include "outputs/results/sink.h"
#include "outputs/results/store.h"
#include "plots/plots.h"

namespace vorn_host {

bool ReadBaselines(const std::string &target, const std::string &station, const std::string &planSha256,
                   Baselines &baselines, std::string &error) {
  const std::string db = target.empty() ? vorn_results::kDefaultDatabase : target;
  std::error_code missing;
  if (!vorn_results::IsServerTarget(db) && !std::filesystem::exists(db, missing)) return true;  // no history yet
  std::unique_ptr<vorn_results::Store> store = vorn_results::Store::Open(db, false, error);
  if (!store) return false;
  std::map<MeasurementKey, vorn_plots::Moments> moments;
  const bool read = store->db().query(
      "SELECT r.step_index, r.entry, r.value FROM result r WHERE r.unit_uuid IN ("
      " SELECT u.uuid FROM unit u JOIN session s ON s.id = u.session_id JOIN station t ON t.id = s.station_id"
      " WHERE t.name = $1 AND s.plan_sha256 = $2 AND s.mode = 'production' AND s.fault_injected = 0"
      " AND u.verdict <> 'NOT RUN' ORDER BY u.started DESC LIMIT " +
          std::to_string(kHistoryAttempts) + ") AND (r.low IS NOT NULL OR r.high IS NOT NULL)",
      {station, planSha256},
      [&](const vorn_results::Row &r) {
        const std::optional<double> value = vorn_results::ParseNumber(r[2]);
        if (!r[0] || !r[1] || !value || !std::isfinite(*value)) return true;
        vorn_plots::Moments &m = moments[{std::stoi(*r[0]) - 1, std::stoi(*r[1])}];
        if (m.count == 0) m.shift = *value;
        m.add(*value);
        return true;
      },
      error);
  if (!read) return false;
  for (const auto &[key, m] : moments) {
    const vorn_plots::Capability c = vorn_plots::Capabilities(m, std::nullopt, std::nullopt);
    baselines[key] = Baseline{m.count, c.mean, c.sd};
  }
  return true;
}

}  // namespace vorn_host
