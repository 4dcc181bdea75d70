#include "station/real_station.h"

#include "os/os.h"

namespace vorn_host {

namespace {

std::string Listed(const std::vector<std::string> &names) {
  std::string text;
  for (const std::string &name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

}  // namespace

const std::vector<std::string> &EquipmentLibraries() {
  static const std::vector<std::string> stems = {"rscmu200_32", "rscmuk2g_32", "DWDIO", "VISA32"};
  return stems;
}

std::string EquipmentFound::problem() const {
  if (!missing.empty()) return "the library was loaded without the equipment libraries " + Listed(missing);
  if (!standIns.empty() && !others.empty()) {
    return "the equipment libraries are a mix of the project's stand-ins (" + Listed(standIns) + ") and others (" +
           Listed(others) + "): a station runs one set";
  }
  return "";
}

EquipmentFound FindEquipment() {
  EquipmentFound found;
  for (const std::string &stem : EquipmentLibraries()) {
    bool loaded = false;
    const std::string query = "VornStandIn_" + stem;
    const auto standIn = reinterpret_cast<int32_t (*)()>(LoadedLibrarySymbol(stem, query.c_str(), loaded));
    if (!loaded) {
      found.missing.push_back(stem);
    } else if (standIn != nullptr && standIn() == 1) {
      found.standIns.push_back(stem);
    } else {
      found.others.push_back(stem);
    }
  }
  return found;
}

uint64_t RealStation::waitedMs() const {
  const auto elapsed = std::chrono::steady_clock::now() - start_;
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

}  // namespace vorn_host
