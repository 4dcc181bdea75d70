// The --fault texts checked against the station before they are scripted:
// the operation must be one the station journals, the status 32 bits wide.
#pragma once

#include <string>
#include <string_view>

namespace vorn_host {

// The problem with a fault text OP=STATUS[@N[+]], or empty when it is sound.
std::string FaultProblem(std::string_view text);
// The known operation closest to name (fewest edits, case aside).
std::string NearestOperation(std::string_view name);
// Every operation, one a line, for --fault list.
std::string OperationList();

}  // namespace vorn_host
