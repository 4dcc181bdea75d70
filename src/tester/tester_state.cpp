#include "tester/tester_state.h"

#include <cstdio>

namespace vorn {

TesterState testerState;

namespace {

constexpr BandInfo kBands[] = {
    // key, function group, band code, handover target, band indicator, label
    {850, 5, 4, 4, kNoBandIndicator, "GSM850"},
    {900, 7, 1, 3, kNoBandIndicator, "EGSM"},
    {1800, 11, 2, 1, 0, "DCS"},
    {1900, 15, 3, 2, 1, "PCS"},
};

}  // namespace

const BandInfo *FindBand(int32_t bandKey) {
  for (const BandInfo &band : kBands) {
    if (band.bandKey == bandKey) return &band;
  }
  return nullptr;
}

void SetBandLabel(TesterState &state, const BandInfo &band) {
  std::snprintf(state.bandLabel, sizeof state.bandLabel, "%s", band.label);
}

int32_t NextSecondaryAddress(int32_t address) {
  return address >= kLastSecondaryAddress ? kFirstHandoverAddress : address + 1;
}

int32_t RfPortIndex(int32_t rfPort) { return rfPort == INT32_MIN ? INT32_MIN : rfPort - 1; }

}  // namespace vorn
