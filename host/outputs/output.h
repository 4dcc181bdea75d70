// What an output is to vorn-host: a module that adds its options to the
// command line, opens what it writes before anything runs, and subscribes to
// the session's bus. Adding an output is a folder of its own and one line in
// outputs/registry.cpp; neither the run loop nor main changes.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/bus.h"
#include "core/command_line.h"
#include "core/equipment.h"
#include "core/gate.h"
#include "core/plan.h"
#include "core/session.h"
#include "core/settings.h"
#include "os/inputs.h"

namespace vorn_host {

// Where the operator stands when it is not the terminal: the output names
// the units, answers the equipment's prompts and asks to stop (the page).
class Desk {
 public:
  virtual ~Desk() = default;
  virtual UnitSource &units() = 0;
  // The operator's answer to an equipment prompt of the socket named (empty
  // on a station of one); none: nobody there to answer.
  virtual std::optional<bool> answerPrompt(const std::string &socket, const std::string &text) = 0;
  virtual bool stopRequested() = 0;
};

// What an output is handed when it opens: its options, the session it
// records, the files no output may overwrite (the inputs, the files the host
// has loaded, and the outputs opened before it, to which it adds its own).
struct OutputSetup {
  const CommandLine &options;
  const SessionRecord &session;
  const Plan &plan;
  std::vector<InputFile> &files;
  bool realStation = false;
  std::FILE *messages = stderr;               // the operator's messages
  const StationSettings *settings = nullptr;  // the station's settings, their defaults applied
  // The station's health shared while the session runs (core/gate.h): the
  // page shows it and takes a technician's acknowledgement into it.
  StationHealth *health = nullptr;
  // The session's bus, for an output that has something of its own to tell
  // on it (the health output's alarms and stops), from the bus's own thread.
  Bus *bus = nullptr;
};

class Output {
 public:
  virtual ~Output() = default;
  virtual Subscriber &subscriber() = 0;
  virtual Desk *desk() { return nullptr; }
  // An output that keeps the records (the results) answers what earlier
  // sessions know of a scanned serial.
  virtual SerialHistory *history() { return nullptr; }
};

struct OutputModule {
  const char *name;
  void (*addOptions)(CommandLine &line);
  // The option by which this output names the units (the page's --serve), if any.
  const char *unitOption;
  // The output the options ask for, opened: null, with error empty, when
  // they ask for none; null with the reason in error when it cannot open.
  std::unique_ptr<Output> (*open)(OutputSetup &setup, std::string &error);
};

// Every output, in the order the bus hands them the events.
const std::vector<OutputModule> &OutputModules();

// Whether the file path names an output already claimed or an input; the
// problem for the message, or empty. what: "JSON record", "results database".
std::string ClaimOutput(OutputSetup &setup, const std::string &path, const std::string &what);

}  // namespace vorn_host
