// The outputs vorn-host has, and what main does with them: their options in
// the one command line, opened in order before anything runs, subscribed to
// the session's bus.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/bus.h"
#include "core/command_line.h"
#include "core/options.h"
#include "outputs/output.h"

namespace vorn_host {

// vorn-host's whole command line: the core's options and every output's.
CommandLine HostCommandLine();
// Reads argv into line and options; false, with the reason in error, on a
// command line that cannot be run.
bool ReadHostCommandLine(int argc, const char *const *argv, CommandLine &line, Options &options, std::string &error);

// Every output the options ask for, opened, each subscribed to bus; false,
// with the reason in error, when one cannot open.
bool OpenOutputs(OutputSetup &setup, Bus &bus, std::vector<std::unique_ptr<Output>> &outputs, std::string &error);

}  // namespace vorn_host
