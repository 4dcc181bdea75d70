#include "station/tester.h"

namespace station {

void Tester::reset() { *this = Tester(); }

std::optional<CellBroadcast> Tester::broadcast() const { return std::nullopt; }

void Tester::phoneCamped() {}

bool Tester::emergencyCallOriginated() { return false; }

}  // namespace station
