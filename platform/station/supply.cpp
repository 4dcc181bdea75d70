#include "station/supply.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <vector>

namespace station {

namespace {

// The SCPI errors the supply reports, with their standard texts.
const SupplyError kSyntaxError{-102, "Syntax error"};
const SupplyError kDataTypeError{-104, "Data type error"};
const SupplyError kParameterNotAllowed{-108, "Parameter not allowed"};
const SupplyError kMissingParameter{-109, "Missing parameter"};
const SupplyError kUndefinedHeader{-113, "Undefined header"};
const SupplyError kInvalidSuffix{-131, "Invalid suffix"};
const SupplyError kDataOutOfRange{-222, "Data out of range"};
const SupplyError kIllegalParameterValue{-224, "Illegal parameter value"};
const SupplyError kQueueOverflow{-350, "Queue overflow"};

enum class Action { Output, Voltage, Current, Reset, Clear };

struct CommandSyntax {
  std::string_view header;  // in SCPI notation: optional nodes in brackets
  Action action;
};

constexpr CommandSyntax kCommands[] = {
    {"OUTPut[:STATe]", Action::Output},
    {"[SOURce:]VOLTage[:LEVel][:IMMediate][:AMPLitude]", Action::Voltage},
    {"[SOURce:]CURRent[:LEVel][:IMMediate][:AMPLitude]", Action::Current},
    {"*RST", Action::Reset},
    {"*CLS", Action::Clear},
};

constexpr double kMilli = 1e-3;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A mnemonic such as "VOLTage" matches its short form (up to the first
// lower-case letter) or its long form, in any case.
bool Matches(std::string_view word, std::string_view mnemonic) {
  std::size_t shortLength = 0;
  while (shortLength < mnemonic.size() && !std::islower(static_cast<unsigned char>(mnemonic[shortLength])))
    ++shortLength;
  return EqualsNoCase(word, mnemonic.substr(0, shortLength)) || EqualsNoCase(word, mnemonic);
}

struct Node {
  std::string_view mnemonic;
  bool optional;
};

std::vector<Node> Nodes(std::string_view pattern) {
  std::vector<Node> nodes;
  bool optional = false;
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '[' || c == ']') {
      optional = c == '[';
      ++i;
    } else if (c == ':') {
      ++i;
    } else {
      std::size_t end = pattern.find_first_of("[]:", i);
      if (end == std::string_view::npos) end = pattern.size();
      nodes.push_back({pattern.substr(i, end - i), optional});
      i = end;
    }
  }
  return nodes;
}

bool MatchNodes(const std::vector<std::string_view> &words, std::size_t w, const std::vector<Node> &nodes,
                std::size_t n) {
  if (n == nodes.size()) return w == words.size();
  if (w < words.size() && Matches(words[w], nodes[n].mnemonic) && MatchNodes(words, w + 1, nodes, n + 1)) return true;
  return nodes[n].optional && MatchNodes(words, w, nodes, n + 1);
}

const CommandSyntax *FindCommand(std::string_view header) {
  if (!header.empty() && header.front() == ':') header.remove_prefix(1);
  std::vector<std::string_view> words;
  for (std::size_t start = 0;;) {
    const std::size_t colon = header.find(':', start);
    words.push_back(header.substr(start, colon - start));
    if (colon == std::string_view::npos) break;
    start = colon + 1;
  }
  for (const CommandSyntax &syntax : kCommands) {
    if (MatchNodes(words, 0, Nodes(syntax.header), 0)) return &syntax;
  }
  return nullptr;
}

// The length of the decimal numeric data at the start of text (sign, digits
// with an optional point, optional exponent); 0 when there is none.
std::size_t NumberLength(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) ++digits;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && IsDigit(text[i]); ++i) ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    const std::size_t exponentStart = j;
    while (j < text.size() && IsDigit(text[j])) ++j;
    if (j > exponentStart) i = j;
  }
  return i;
}

// A number's value, read the same under every locale.
double NumberValue(std::string_view number) {
  if (!number.empty() && number.front() == '+') number.remove_prefix(1);
  double value = 0.0;
  const auto [last, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  (void)last;
  if (error != std::errc::result_out_of_range) return value;
  // Too large to hold, or so small it is nothing.
  const bool tiny = number.find("e-") != std::string_view::npos || number.find("E-") != std::string_view::npos;
  return tiny ? 0.0 : (number.front() == '-' ? -HUGE_VAL : HUGE_VAL);
}

// A numeric parameter with its suffix: the value in base units, or the error.
struct Reading {
  double value = 0.0;
  const SupplyError *error = nullptr;
};

Reading ReadNumber(std::string_view parameter, char unit) {
  const std::size_t length = NumberLength(parameter);
  if (length == 0) return {0.0, &kDataTypeError};
  const double value = NumberValue(parameter.substr(0, length));
  const std::string_view suffix = Trim(parameter.substr(length));
  if (suffix.empty()) return {value, nullptr};
  for (char c : suffix) {
    if (!IsLetter(c)) return {0.0, &kSyntaxError};
  }
  const char base[] = {unit, '\0'};
  const char milli[] = {'M', unit, '\0'};
  if (unit != '\0' && EqualsNoCase(suffix, base)) return {value, nullptr};
  if (unit != '\0' && EqualsNoCase(suffix, milli)) return {value * kMilli, nullptr};
  return {0.0, &kInvalidSuffix};
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

void Supply::reset() { *this = Supply(); }

bool Supply::listensAt(uint32_t board, uint32_t primary, std::optional<uint32_t> secondary) const {
  return board == kGpibBoard && primary == gpibAddress_ && !secondary.has_value();
}

void Supply::receive(std::string_view message) {
  for (std::size_t start = 0;;) {
    const std::size_t end = message.find(';', start);
    execute(message.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
}

std::optional<double> Supply::outputVoltage() const {
  if (!outputOn_) return std::nullopt;
  return voltage_;
}

void Supply::execute(std::string_view command) {
  command = Trim(command);
  if (command.empty()) return;
  std::size_t split = 0;
  while (split < command.size() && !IsBlank(command[split])) ++split;
  const std::string_view header = command.substr(0, split);
  const std::string_view parameter = Trim(command.substr(split));
  const CommandSyntax *syntax = FindCommand(header);
  if (syntax == nullptr) return addError(kUndefinedHeader);
  const bool takesParameter = syntax->action != Action::Reset && syntax->action != Action::Clear;
  if (parameter.find(',') != std::string_view::npos || (!takesParameter && !parameter.empty()))
    return addError(kParameterNotAllowed);
  if (takesParameter && parameter.empty()) return addError(kMissingParameter);
  switch (syntax->action) {
    case Action::Output: return setOutput(parameter);
    case Action::Voltage: return setLevel(parameter, voltage_, kMaxVoltage, 'V');
    case Action::Current: return setLevel(parameter, current_, kMaxCurrent, 'A');
    case Action::Reset: return settingsToDefaults();
    case Action::Clear: errors_.clear(); return;
  }
}

void Supply::setOutput(std::string_view parameter) {
  if (EqualsNoCase(parameter, "ON") || EqualsNoCase(parameter, "OFF")) {
    outputOn_ = EqualsNoCase(parameter, "ON");
    return;
  }
  if (IsLetter(parameter.front())) return addError(kIllegalParameterValue);
  // A number is a boolean as SCPI reads it: rounded, anything but 0 is ON.
  const Reading reading = ReadNumber(parameter, '\0');
  if (reading.error != nullptr) return addError(*reading.error);
  outputOn_ = std::lround(reading.value) != 0;
}

void Supply::setLevel(std::string_view parameter, double &setting, double max, char unit) {
  if (Matches(parameter, "MINimum")) {
    setting = 0.0;
    return;
  }
  if (Matches(parameter, "MAXimum")) {
    setting = max;
    return;
  }
  const Reading reading = ReadNumber(parameter, unit);
  if (reading.error != nullptr) return addError(*reading.error);
  if (!(reading.value >= 0.0 && reading.value <= max)) return addError(kDataOutOfRange);
  setting = reading.value;
}

void Supply::settingsToDefaults() {
  const Supply fresh;
  outputOn_ = fresh.outputOn_;
  voltage_ = fresh.voltage_;
  current_ = fresh.current_;
}

void Supply::addError(const SupplyError &error) {
  // A full queue keeps its oldest errors and says that it overflowed.
  if (errors_.size() < kErrorQueueSize) {
    errors_.push_back(error);
  } else {
    errors_.back() = kQueueOverflow;
  }
}

}  // namespace station
