// What the host's run loop needs from the equipment side of a station, and
// no more: the waits the equipment makes during a step (shown as progress and
// kept in the record), the operator prompt (asking the operator for a line,
// such as the next phone's serial), and the notice that one phone left the
// fixture and the next arrived. The simulated station is one such side
// (simulation.h), a station of vendor equipment the other (real_station.h);
// the loop knows nothing else of either.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace vorn_host {

class Equipment {
 public:
  virtual ~Equipment() = default;
  // The equipment's waits so far, in milliseconds; the loop takes differences.
  virtual uint64_t waitedMs() const = 0;
  // Told of each wait as it begins; an empty function tells no one.
  virtual void onWait(std::function<void(uint32_t milliseconds)> listener) = 0;
  // Shows question to the operator and reads one line of answer, without its
  // line end. False at the end of the input or when reading was interrupted.
  virtual bool askOperator(const std::string &question, std::string &answer) = 0;
  // The phone with this serial is now in the fixture, in place of the last.
  virtual void newUnit(const std::string &serial) = 0;
  // The equipment's own prompts during a step ("Turn on phone!") go to
  // answer while it is set: it returns when the operator answered, true for
  // OK, false when they stopped instead, or nothing when no one is there, and
  // then the equipment asks its own way. An empty function gives them back.
  virtual void onPrompt(std::function<std::optional<bool>(const std::string &text)> answer) = 0;
};

// The operator's answer read at a terminal: question shown on questions, one
// line read from answers without its line end. False at the end of the input
// with nothing read, or when a stop request interrupted the read.
inline bool AskAtTerminal(std::FILE *answers, std::FILE *questions, const std::string &question, std::string &answer) {
  std::fputs(question.c_str(), questions);
  std::fflush(questions);
  answer.clear();
  for (;;) {
    const int c = std::fgetc(answers);
    if (c == EOF) {
      const bool interrupted = std::ferror(answers) != 0;
      std::clearerr(answers);
      return !interrupted && !answer.empty();
    }
    if (c == '\n') break;
    // A line longer than any serial is cut here; the check refuses it anyway.
    if (answer.size() < 4096) answer += static_cast<char>(c);
  }
  if (!answer.empty() && answer.back() == '\r') answer.pop_back();
  return true;
}

}  // namespace vorn_host
