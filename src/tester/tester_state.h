// The tester state that outlives a step: the sessions that initialisation and
// handover open, the RF connector, and the band, channel and power control
// level of the call, for every tester and measurement step that follows.
// Also the band table that turns the "Band" key into the drivers' codes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorn {

inline constexpr int kBandSlots = 25;      // bandSessions, indexed by band code
inline constexpr int32_t kNoSession = -1;  // a band that has no signalling session yet
inline constexpr std::size_t kBandLabelSize = 8;
// The tester's secondary addresses: 0 is its base system, 1 initialisation's
// band, 2 to 29 the band sessions that handovers open.
inline constexpr int32_t kFirstHandoverAddress = 2;
inline constexpr int32_t kLastSecondaryAddress = 29;

struct TesterState {
  int32_t baseSession = 0;                // the tester's base system
  int32_t sigSession = 0;                 // the signalling session the call runs on
  int32_t bandSessions[kBandSlots] = {};  // one signalling session per band code
  int32_t rfPortIndex = 0;                // "RF port" - 1: the connector of every signalling session
  int32_t nextSecondaryAddress = 2;       // for the next band session a handover opens
  char bandLabel[kBandLabelSize] = {};
  int32_t channel = 0;  // the traffic channel last set
  int32_t txLevel = 0;  // the power control level last set
};

// The one tester state of the loaded module, with its load-time values.
// A test that wants a freshly loaded module assigns TesterState{} to it.
extern TesterState testerState;

struct BandInfo {
  int32_t bandKey;         // the "Band" value
  int32_t functionGroup;   // bound to a secondary address
  int32_t bandCode;        // of RSCMU_Init_GSM_Sig, and the index into bandSessions
  int32_t handoverTarget;  // of RSCMU_GSM_Sig_ConfHandTarg
  int32_t bandIndicator;   // of RSCMU_GSM_Sig_ConfNetwSystBandInd, or kNoBandIndicator
  const char *label;
};

inline constexpr int32_t kNoBandIndicator = -1;  // 850 and 900 send none

// The row of bandKey (850, 900, 1800, 1900), or nullptr for any other value.
const BandInfo *FindBand(int32_t bandKey);

// Writes the row's label into bandLabel, in full.
void SetBandLabel(TesterState &state, const BandInfo &band);

// The address after address for the next band session: 2, 3 ... 29, then 2
// again. Binding an address again replaces its earlier binding, so a station
// that keeps the library loaded for phone after phone never runs out.
int32_t NextSecondaryAddress(int32_t address);

// "RF port", counted from 1, as the connector index the drivers take, held at
// the 32-bit range (the smallest value has no index below it).
int32_t RfPortIndex(int32_t rfPort);

}  // namespace vorn
