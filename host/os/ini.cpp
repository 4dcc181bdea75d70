#include "os/ini.h"

namespace vorn_host {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view Unquoted(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

bool SameIniName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

IniText::IniText(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  sections_.push_back({"", {}});  // the lines before the first section line
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    const std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty()) continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      if (close != std::string_view::npos) sections_.push_back({std::string(Trim(line.substr(1, close - 1))), {}});
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      sections_.back().keys.push_back({std::string(line), std::nullopt});
    } else {
      sections_.back().keys.push_back(
          {std::string(Trim(line.substr(0, eq))), std::string(Unquoted(Trim(line.substr(eq + 1))))});
    }
  }
}

std::vector<std::string> IniText::sections() const {
  std::vector<std::string> names;
  for (std::size_t i = 1; i < sections_.size(); ++i) names.push_back(sections_[i].name);
  return names;
}

const IniText::Section *IniText::find(std::string_view section) const {
  section = Trim(section);
  // A name holding ']' or a line end can never be a section's.
  if (section.find_first_of("]\r\n") != std::string_view::npos) return nullptr;
  if (section.empty()) return &sections_.front();
  for (std::size_t i = 1; i < sections_.size(); ++i) {
    if (SameIniName(sections_[i].name, section)) return &sections_[i];
  }
  return nullptr;
}

std::optional<std::string> IniText::value(std::string_view section, std::string_view key) const {
  const Section *s = find(section);
  if (s == nullptr) return std::nullopt;
  key = Trim(key);
  for (const Key &k : s->keys) {
    if (SameIniName(k.name, key)) return k.value;  // the first line of the key, with '=' or without
  }
  return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> IniText::entries(std::string_view section) const {
  std::vector<std::pair<std::string, std::string>> out;
  const Section *s = find(section);
  if (s == nullptr) return out;
  std::vector<std::string> seen;  // a key's first line decides, with '=' or without
  for (const Key &k : s->keys) {
    bool again = false;
    for (const std::string &name : seen) again = again || SameIniName(name, k.name);
    if (again) continue;
    seen.push_back(k.name);
    if (k.value) out.emplace_back(k.name, *k.value);
  }
  return out;
}

}  // namespace vorn_host
