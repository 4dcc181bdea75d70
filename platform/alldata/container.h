// The host's side of the data container stand-in: what a host sets and clears.
#pragma once

#include <string>

namespace alldata {

// The parameter file path that dcGet_ParaFileName hands out.
void SetParameterFile(const std::string &path);
// Forgets the path and the mobile link handle.
void Clear();

}  // namespace alldata
