// Parameter files of a chosen number of sections, for the benchmarks.
#pragma once

#include <string>

namespace vorn_bench {

// A station's parameter file of `sections` sections: "Attenuation" (unless
// left out), then step sections numbered from firstNumber, each with the keys
// of a few steps. A lookup in the last step section walks the whole file.
std::string SectionsFile(int sections, int firstNumber = 1, bool attenuation = true);

// Writes contents to a fresh file under /tmp and returns its path.
std::string WriteTempFile(const std::string &contents, const char *name);

// Every byte of the file at path read into memory (a buffer kept from call to
// call), the plainest way: the floor of a reader that goes to the file on
// every read. Returns the number of bytes read.
std::size_t PlainRead(const char *path);

}  // namespace vorn_bench
