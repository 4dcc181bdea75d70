#include "os/inputs.h"

#include <algorithm>

#include "os/ini.h"

namespace vorn_host {

namespace {

const char *KindText(ReadableFile::Kind kind) {
  switch (kind) {
    case ReadableFile::Kind::kDirectory: return "a directory";
    case ReadableFile::Kind::kFifo: return "a FIFO";
    case ReadableFile::Kind::kPipe: return "a pipe";
    case ReadableFile::Kind::kDevice: return "a device";
    case ReadableFile::Kind::kSocket: return "a socket";
    default: return "not a regular file";
  }
}

// The input opened and checked: a regular file of at most largest bytes, and
// not empty unless it may be. Closed again on every refusal.
bool OpenInput(const std::string &path, const std::string &what, uint64_t largest, bool mayBeEmpty,
               ReadableFile &opened, InputFile &file, std::string &error) {
  std::string reason;
  if (!OpenReadable(path, opened, reason)) {
    error = path + ": cannot read the " + what + ": " + reason;
    return false;
  }
  if (opened.kind != ReadableFile::Kind::kRegular) {
    error = path + ": the " + what + " is " + KindText(opened.kind) + ", not a regular file";
  } else if (opened.size > largest) {
    error = path + ": the " + what + " is " + std::to_string(opened.size) + " bytes, more than the " +
            std::to_string(largest >> 20) + " MB it may hold";
  } else if (opened.size == 0 && !mayBeEmpty) {
    error = path + ": the " + what + " is empty";
  } else {
    file.path = path;
    file.what = what;
    file.identity = opened.identity;
    file.size = opened.size;
    return true;
  }
  CloseReadable(opened);
  return false;
}

}  // namespace

bool CheckInput(const std::string &path, const std::string &what, uint64_t largest, bool mayBeEmpty, InputFile &file,
                std::string &error) {
  ReadableFile opened;
  if (!OpenInput(path, what, largest, mayBeEmpty, opened, file, error)) return false;
  CloseReadable(opened);
  return true;
}

bool ReadTextInput(const std::string &path, const std::string &what, bool mayBeEmpty, InputFile &file,
                   std::string &text, std::string &error) {
  ReadableFile opened;
  if (!OpenInput(path, what, kLargestTextInput, mayBeEmpty, opened, file, error)) return false;
  // The size seen may change while the file is read: the bound holds anyway.
  text.assign(static_cast<std::size_t>(file.size), '\0');
  std::size_t used = 0;
  std::string reason;
  for (;;) {
    if (used == text.size()) {
      if (text.size() > kLargestTextInput) break;
      text.resize(text.size() + 4096);
    }
    std::size_t got = 0;
    if (!ReadSome(opened, &text[used], text.size() - used, got, reason)) break;
    if (got == 0) break;
    used += got;
  }
  CloseReadable(opened);
  text.resize(used);
  if (!reason.empty()) {
    error = path + ": cannot read the " + what + ": " + reason;
  } else if (used > kLargestTextInput) {
    error = path + ": the " + what + " grew past the " + std::to_string(kLargestTextInput >> 20) +
            " MB it may hold while it was read";
  } else if (used == 0 && !mayBeEmpty) {
    error = path + ": the " + what + " is empty";
  }
  return error.empty();
}

std::string OutputClash(const std::string &path, const std::string &what, const std::vector<InputFile> &files) {
  const std::optional<FileIdentity> output = IdentityOf(path);
  if (!output) return {};
  for (const InputFile &file : files) {
    if (file.identity == *output) {
      return path + ": the " + what + " would overwrite the " + file.what + " " + file.path;
    }
  }
  return {};
}

std::vector<std::string> SectionNames(std::string_view text) { return IniText(text).sections(); }

std::vector<std::string> StepsWithoutSection(const Plan &plan, std::string_view parameters,
                                             const std::string &parameterFile) {
  std::vector<std::string> names = SectionNames(parameters);
  std::sort(names.begin(), names.end());
  std::vector<std::string> out;
  for (const PlanStep &step : plan.steps) {
    // The library names a step's section by its number in decimal.
    const std::string section = std::to_string(step.number);
    if (std::binary_search(names.begin(), names.end(), section)) continue;
    out.push_back(plan.file + ":" + std::to_string(step.line) + ": step " + section + " (" + step.shortName() +
                  ") has no section [" + section + "] in " + parameterFile);
  }
  return out;
}

}  // namespace vorn_host
