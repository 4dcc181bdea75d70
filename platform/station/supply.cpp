#include "station/supply.h"

namespace station {

void Supply::reset() { *this = Supply(); }

std::optional<double> Supply::outputVoltage() const { return std::nullopt; }

}  // namespace station
