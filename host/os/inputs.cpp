#include "os/inputs.h"

#include <algorithm>

namespace vorn_host {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

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

std::vector<std::string> SectionNames(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string> names;
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    const std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() != '[') continue;
    const std::size_t close = line.find(']');
    if (close != std::string_view::npos) names.emplace_back(Trim(line.substr(1, close - 1)));
  }
  return names;
}

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
