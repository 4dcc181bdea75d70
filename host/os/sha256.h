// SHA-256 of a file's bytes, so a session's record names exactly which plan
// and parameter file it ran.
#pragma once

#include <string>
#include <string_view>

namespace vorn_host {

// Lower-case hex of the 32-byte digest.
std::string Sha256Hex(std::string_view bytes);
// Of the file's bytes; empty, with the reason in error, when it cannot be read.
std::string Sha256File(const std::string &path, std::string *error = nullptr);

}  // namespace vorn_host
