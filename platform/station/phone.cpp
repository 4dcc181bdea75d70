#include "station/phone.h"

namespace station {

void Phone::reset() { *this = Phone(); }

void Phone::operatorAcknowledged(std::string_view) { ++acknowledgements_; }

}  // namespace station
