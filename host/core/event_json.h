// A session's events as lines of JSON, so that they cross from one process to
// another: a socket's worker writes what its bus hears, its supervisor reads
// it back and publishes it on the bus every output hears. The supervisor
// answers in lines of its own: test this unit, the prompt's answer, stop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/bus.h"
#include "core/record.h"

namespace vorn_host {

struct WorkerEvent {
  enum class Kind {
    kReady,   // the worker loaded its station: session holds what it found
    kFailed,  // it could not: text says why (exit status 2 for the station)
    kAttemptStarted,
    kStepStarted,
    kWaiting,
    kStepFinished,
    kPromptOpened,
    kPromptClosed,
    kAttemptFinished,
    kNoticed,
    kIdle,  // ready for the next unit
  };
  WorkerEvent() = default;
  explicit WorkerEvent(Kind k) : kind(k) {}
  Kind kind = Kind::kIdle;
  SessionRecord session;      // kReady
  AttemptStart start;         // kAttemptStarted
  std::size_t index = 0;      // kStepStarted, kStepFinished: the step's place in the plan
  std::size_t count = 0;      // kStepStarted
  uint32_t milliseconds = 0;  // kWaiting
  StepRecord step;            // kStepFinished
  std::string text;           // kFailed, kPromptOpened, kNoticed
  UnitRecord record;          // kAttemptFinished
};

struct WorkerCommand {
  enum class Kind {
    kTest,    // run the plan once for this unit
    kAnswer,  // the operator answered the open prompt
    kStop,    // the operator asks to stop (a second time: the cleanup neither)
  };
  Kind kind = Kind::kTest;
  AttemptStart attempt;  // kTest: serial, index, unitId, attempt, prior, operator
  bool ok = false;       // kAnswer
};

std::string EventLine(const WorkerEvent &event);
std::string CommandLineText(const WorkerCommand &command);
// False, with what is wrong, on a line that is not one.
bool ParseEvent(const std::string &line, WorkerEvent &event, std::string &error);
bool ParseCommand(const std::string &line, WorkerCommand &command, std::string &error);

}  // namespace vorn_host
