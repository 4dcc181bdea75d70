// The one command-line reader of vorn-host, vorn-results and vorn-report: a
// table of options, the same rules and messages for each tool.
//
//   --name VALUE or --name=VALUE; an empty value is refused
//   a flag takes no value ("--quiet=1" is refused)
//   an option of one value given twice is a mistake, not a choice
//   a whole number is checked against its range
//   anything else starting with '-' is an unknown option; the rest are the
//   tool's plain arguments, in order
#pragma once

#include <map>
#include <string>
#include <vector>

namespace vorn_host {

struct OptionRule {
  enum class Kind {
    kFlag,    // present or not
    kValue,   // one value, at most once
    kList,    // a value, repeatable, in order
    kNumber,  // one whole number from low to high, at most once
    kText,    // no option: a line of the usage text between the options
  };
  std::string name;  // "--params", "-o"
  Kind kind = Kind::kFlag;
  std::string value;  // the value's name in the usage: "FILE"
  std::string help;   // the usage's text; "\n" starts a further line
  long long low = 0, high = 0;
};

class CommandLine {
 public:
  CommandLine &add(OptionRule rule);
  CommandLine &flag(const std::string &name, const std::string &help);
  CommandLine &value(const std::string &name, const std::string &value, const std::string &help);
  CommandLine &list(const std::string &name, const std::string &value, const std::string &help);
  CommandLine &number(const std::string &name, const std::string &value, long long low, long long high,
                      const std::string &help);
  CommandLine &note(const std::string &line);  // a line of the usage text

  // False, with the reason in error, on a command line these options cannot read.
  bool parse(int argc, const char *const *argv, std::string &error);

  bool has(const std::string &name) const { return values_.count(name) > 0; }
  // The value given, or empty.
  std::string text(const std::string &name) const;
  long long number(const std::string &name, long long otherwise = 0) const;
  const std::vector<std::string> &texts(const std::string &name) const;
  const std::vector<std::string> &arguments() const { return arguments_; }

  // The options' lines of a usage text, in the order they were added.
  std::string describe() const;

 private:
  const OptionRule *find(const std::string &name) const;

  std::vector<OptionRule> rules_;
  std::map<std::string, std::vector<std::string>> values_;
  std::vector<std::string> arguments_;
};

// What a tool prints and returns for a command line it cannot run: "TOOL:
// ERROR", a blank line and the usage on standard error; exit status 2.
inline constexpr int kBadCommandLine = 2;
int RefuseCommandLine(const std::string &tool, const std::string &error, const std::string &usage);

// A tool's command line parsed: false when the tool ends there, with its exit
// status in status: refused (2, said as above) or --help (0, the usage on
// standard output).
bool ParseToolCommandLine(CommandLine &line, int argc, char **argv, const std::string &tool,
                          std::string (*usage)(const CommandLine &), int &status);

}  // namespace vorn_host
