#include "outputs/results/words.h"

#include "core/catalogue.h"

namespace vorn_results {

Words MeasurementWords(const std::string &exportName, int entry, const std::optional<std::string> &resultName) {
  if (const std::optional<vorn_host::Measurement> m = vorn_host::MeasurementOf(exportName, entry, resultName)) {
    return {m->name, m->unit};
  }
  return {vorn_host::StepTitle(exportName) + " entry " + std::to_string(entry), ""};
}

std::string SettingWords(const std::string &name) {
  const std::optional<vorn_host::Setting> setting = vorn_host::SettingOf(name);
  return setting ? setting->text() : "";
}

}  // namespace vorn_results
