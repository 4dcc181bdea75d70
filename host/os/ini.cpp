#include "os/ini.h"

#include <algorithm>

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

namespace {

// One line of an INI text as the rules read it, with where its value lies.
struct IniLine {
  enum class Kind { kSection, kKey };
  Kind kind = Kind::kKey;
  std::string_view name;                  // the section's or the key's, trimmed
  std::optional<std::string_view> value;  // after '=', trimmed and unquoted; none without '='
  std::size_t valueAt = 0;                // the value's offset in the whole text
};

// Calls line(IniLine) for every section and key line of text, in order.
template <typename OnLine>
void ForEachIniLine(std::string_view text, OnLine line) {
  const char *const start = text.data();
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    const std::string_view trimmed = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (trimmed.empty()) continue;
    IniLine l;
    if (trimmed.front() == '[') {
      const std::size_t close = trimmed.find(']');
      if (close == std::string_view::npos) continue;  // opens no section, and is no key
      l.kind = IniLine::Kind::kSection;
      l.name = Trim(trimmed.substr(1, close - 1));
      line(l);
      continue;
    }
    const std::size_t eq = trimmed.find('=');
    l.name = Trim(trimmed.substr(0, eq));
    if (eq != std::string_view::npos) {
      const std::string_view raw = Trim(trimmed.substr(eq + 1));
      l.value = Unquoted(raw);
      l.valueAt = static_cast<std::size_t>(raw.data() - start) + (l.value->size() != raw.size() ? 1 : 0);
    }
    line(l);
  }
}

}  // namespace

IniText::IniText(std::string_view text) {
  sections_.push_back({"", {}});  // the lines before the first section line
  ForEachIniLine(text, [this](const IniLine &l) {
    if (l.kind == IniLine::Kind::kSection) {
      sections_.push_back({std::string(l.name), {}});
    } else {
      sections_.back().keys.push_back(
          {std::string(l.name), l.value ? std::optional<std::string>(std::string(*l.value)) : std::nullopt});
    }
  });
}

std::string WithIniValues(std::string_view text, std::string_view section,
                          const std::vector<std::pair<std::string, std::string>> &values,
                          std::vector<std::string> &missing) {
  section = Trim(section);
  const bool nameable = section.find_first_of("]\r\n") == std::string_view::npos;
  // Where each key's value lies: the first section of the name, its first line of the key.
  std::vector<std::optional<std::pair<std::size_t, std::size_t>>> spans(values.size());
  std::vector<std::string_view> keysSeen;        // in the section read
  int sectionsOfName = section.empty() ? 1 : 0;  // the lines before any section line are the empty name's
  bool inside = section.empty();
  ForEachIniLine(text, [&](const IniLine &l) {
    if (l.kind == IniLine::Kind::kSection) {
      const bool ofName = nameable && !section.empty() && SameIniName(l.name, section);
      sectionsOfName += ofName ? 1 : 0;
      inside = ofName && sectionsOfName == 1;
      return;
    }
    if (!inside) return;
    for (const std::string_view earlier : keysSeen) {
      if (SameIniName(earlier, l.name)) return;  // a key's first line decides
    }
    keysSeen.push_back(l.name);
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (l.value && SameIniName(l.name, Trim(values[i].first))) spans[i] = std::make_pair(l.valueAt, l.value->size());
    }
  });
  // Put in from the end, so that each offset still holds.
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (spans[i]) order.push_back(i);
    if (!spans[i]) missing.push_back(values[i].first);
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return spans[a]->first > spans[b]->first; });
  std::string out(text);
  std::size_t last = std::string::npos;
  for (const std::size_t i : order) {
    if (spans[i]->first == last) continue;  // one key named twice: its first new value
    out.replace(spans[i]->first, spans[i]->second, values[i].second);
    last = spans[i]->first;
  }
  return out;
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
