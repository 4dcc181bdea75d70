// What the host checks of its files before anything runs: every input (the
// plan, the parameter file, the library) is a regular file it can read, of a
// bounded size, and no output names an input or a file the host has mapped.
// The checks never block: a FIFO is refused without waiting for a writer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/plan.h"
#include "os/os.h"

namespace vorn_host {

// Text inputs are read whole into memory: past this they are refused.
inline constexpr uint64_t kLargestTextInput = 64ull << 20;
inline constexpr uint64_t kLargestLibrary = 512ull << 20;

struct InputFile {
  std::string path;
  std::string what;  // "plan", "parameter file", "library"
  FileIdentity identity;
  uint64_t size = 0;
  std::string where;  // an output not made yet: its path, made whole
};

// Checks path as an input: a regular file, readable, of at most largest
// bytes and, unless mayBeEmpty, not empty. False with the problem in error
// ("PATH: the parameter file is a directory").
bool CheckInput(const std::string &path, const std::string &what, uint64_t largest, bool mayBeEmpty, InputFile &file,
                std::string &error);
// CheckInput, then the whole file into text (at most kLargestTextInput bytes).
bool ReadTextInput(const std::string &path, const std::string &what, bool mayBeEmpty, InputFile &file,
                   std::string &text, std::string &error);

// The identity of the file path names (through symbolic links), or nothing
// when there is none yet.
std::optional<FileIdentity> IdentityOf(const std::string &path);
// The files the process has mapped: the host itself, the library and every
// library it loaded. Only the host where the system cannot list them.
std::vector<InputFile> MappedFiles();

// The problem with writing the output `what` to path when it is one of
// files (inputs or mapped files); empty when it is none of them. For the
// record, and for every later output (a database, a report).
std::string OutputClash(const std::string &path, const std::string &what, const std::vector<InputFile> &files);

// The section names of a parameter file's text, as the profile reader sees
// them: lines "[name]" (blanks around allowed), the name trimmed.
std::vector<std::string> SectionNames(std::string_view parameters);
// "PLAN:LINE: step 7 (OBTInit) has no section [7] in FILE", one for each
// plan line whose step number names no section of the parameter file.
std::vector<std::string> StepsWithoutSection(const Plan &plan, std::string_view parameters,
                                             const std::string &parameterFile);

// Opens the null device on descriptors 0, 1 and 2 where they are closed, so
// that no file opened later takes their place and gets the table or the
// progress written into it. First thing in main.
void MakeStandardDescriptorsValid();
// A closed pipe on an output shows as a failed write, not as death by SIGPIPE.
void IgnoreBrokenPipe();

}  // namespace vorn_host
