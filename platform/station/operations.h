// The outside operations the simulated station journals, by name: what a
// fault script may name. Every stand-in entry point journals its call under
// one of these names (an Entry of the same name).
#pragma once

#include <string_view>
#include <vector>

namespace station {

// Every operation name, sorted; the profile reads are not journalled and not
// among them.
const std::vector<std::string_view> &Operations();
bool IsOperation(std::string_view name);

}  // namespace station
