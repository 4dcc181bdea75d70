#include "station/supply.h"

namespace station {

void Supply::reset() { *this = Supply(); }

}  // namespace station
