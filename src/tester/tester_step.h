// What the tester steps share besides their failure helper (tester/fails.h):
// the driver message buffer, the completion query, and settings sent from
// tables.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/step.h"
#include "outside/rscmu.h"

namespace vorn {

// The driver message buffer every driver call takes last; never read.
struct DriverMessage {
  char text[kDriverMessageSize] = {};
  operator char *() { return text; }
};

// "*OPC?": waits until the tester has completed what it was told; only the
// status counts, the answer is not read.
int32_t QueryComplete(int32_t session, char *msg);

using IntOperation = int32_t(RSCMU_CALL *)(int32_t sig, int32_t value, char *msg);
using RealOperation = int32_t(RSCMU_CALL *)(int32_t sig, double value, char *msg);

// One signalling setting of a fixed value, sent on a session.
struct Setting {
  IntOperation intOperation;    // or nullptr when the value is a real
  RealOperation realOperation;  // or nullptr when the value is an integer
  double value;
  const char *label;
};

// The network part that every band's session gets: neighbour cells, traffic
// and bit modes, MCC and MNC.
extern const Setting kNetworkSettings[5];

// Sends each setting in turn on sig; true (with the failure written through
// report) at the first that fails.
using FailureReport = bool (*)(Step &step, int32_t status, const char *label);
bool AnyFails(Step &step, FailureReport report, int32_t sig, const Setting *settings, std::size_t count, char *msg);

template <std::size_t N>
bool AnyFails(Step &step, FailureReport report, int32_t sig, const Setting (&settings)[N], char *msg) {
  return AnyFails(step, report, sig, settings, N, msg);
}

}  // namespace vorn
