#include "core/command_line.h"

#include <cstdio>

#include "os/text.h"

namespace vorn_host {

namespace {

// A whole number written plainly: digits only, no sign, no blanks.
bool WholeNumber(const std::string &text, long long &n) {
  if (text.empty() || text.size() > 18) return false;
  n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  return true;
}

}  // namespace

CommandLine &CommandLine::add(OptionRule rule) {
  rules_.push_back(std::move(rule));
  return *this;
}

CommandLine &CommandLine::flag(const std::string &name, const std::string &help) {
  return add({name, OptionRule::Kind::kFlag, "", help});
}

CommandLine &CommandLine::value(const std::string &name, const std::string &value, const std::string &help) {
  return add({name, OptionRule::Kind::kValue, value, help});
}

CommandLine &CommandLine::list(const std::string &name, const std::string &value, const std::string &help) {
  return add({name, OptionRule::Kind::kList, value, help});
}

CommandLine &CommandLine::number(const std::string &name, const std::string &value, long long low, long long high,
                                 const std::string &help) {
  return add({name, OptionRule::Kind::kNumber, value, help, low, high});
}

CommandLine &CommandLine::note(const std::string &line) { return add({"", OptionRule::Kind::kText, "", line}); }

const OptionRule *CommandLine::find(const std::string &name) const {
  for (const OptionRule &rule : rules_) {
    if (rule.kind != OptionRule::Kind::kText && rule.name == name) return &rule;
  }
  return nullptr;
}

bool CommandLine::parse(int argc, const char *const *argv, std::string &error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string given;
    bool inlineValue = false;
    const std::size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      given = arg.substr(eq + 1);
      arg.resize(eq);
      inlineValue = true;
    }
    const OptionRule *rule = arg.size() > 1 && arg[0] == '-' ? find(arg) : nullptr;
    if (rule == nullptr && arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + Excerpt(arg);
      return false;
    }
    if (rule == nullptr) {
      arguments_.push_back(arg);
      continue;
    }
    std::vector<std::string> &values = values_[arg];
    if (rule->kind == OptionRule::Kind::kFlag) {
      if (inlineValue) {
        error = arg + " takes no value";
        return false;
      }
      values.push_back("");
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      given = argv[++i];
    }
    if (given.empty()) {
      error = arg + " needs a value";
      return false;
    }
    if (rule->kind != OptionRule::Kind::kList && !values.empty()) {
      error = arg + " given twice";
      return false;
    }
    long long n = 0;
    if (rule->kind == OptionRule::Kind::kNumber && (!WholeNumber(given, n) || n < rule->low || n > rule->high)) {
      error = arg + " takes a whole number from " + std::to_string(rule->low) + " to " + std::to_string(rule->high) +
              ", not \"" + Excerpt(given) + "\"";
      return false;
    }
    values.push_back(given);
  }
  return true;
}

std::string CommandLine::text(const std::string &name) const {
  const auto it = values_.find(name);
  return it == values_.end() || it->second.empty() ? std::string() : it->second.front();
}

long long CommandLine::number(const std::string &name, long long otherwise) const {
  const std::string t = text(name);
  long long n = 0;
  return WholeNumber(t, n) ? n : otherwise;
}

const std::vector<std::string> &CommandLine::texts(const std::string &name) const {
  static const std::vector<std::string> kNone;
  const auto it = values_.find(name);
  return it == values_.end() ? kNone : it->second;
}

std::string CommandLine::describe() const {
  std::string out;
  for (const OptionRule &rule : rules_) {
    if (rule.kind == OptionRule::Kind::kText) {
      out += rule.help + "\n";
      continue;
    }
    if (rule.help.empty()) continue;  // an option between the host's own processes
    std::string head = "  " + rule.name + (rule.value.empty() ? "" : " " + rule.value);
    std::string help = rule.help;
    std::string first = help.substr(0, help.find('\n'));
    help = help.find('\n') == std::string::npos ? "" : help.substr(help.find('\n') + 1);
    if (head.size() >= 23) {
      out += head + "\n";
      head.clear();
    }
    head.resize(23, ' ');
    out += head + first + "\n";
    while (!help.empty()) {
      const std::size_t nl = help.find('\n');
      out += std::string(23, ' ') + help.substr(0, nl) + "\n";
      help = nl == std::string::npos ? "" : help.substr(nl + 1);
    }
  }
  return out;
}

int RefuseCommandLine(const std::string &tool, const std::string &error, const std::string &usage) {
  std::fprintf(stderr, "%s: %s\n\n%s", tool.c_str(), TerminalText(error).c_str(), usage.c_str());
  return kBadCommandLine;
}

bool ParseToolCommandLine(CommandLine &line, int argc, char **argv, const std::string &tool,
                          std::string (*usage)(const CommandLine &), int &status) {
  std::string error;
  if (!line.parse(argc, argv, error)) {
    status = RefuseCommandLine(tool, error, usage(line));
    return false;
  }
  if (line.has("--help")) {
    std::fputs(usage(line).c_str(), stdout);
    status = 0;
    return false;
  }
  return true;
}

}  // namespace vorn_host
