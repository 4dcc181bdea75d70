#include "station/tester.h"

namespace station {

void Tester::reset() { *this = Tester(); }

}  // namespace station
