// The outputs vorn-host has, and what main does with them: their options in
// the one command line, opened in order before anything runs, subscribed to
// the session's bus.
#pragma once

#include <functional>
#include <memory>
#include <optional>
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

// What the open outputs offer main, from the first that offers it: the
// operator's desk (the page's) and the history of a scanned serial (the
// results').
Desk *DeskOf(const std::vector<std::unique_ptr<Output>> &outputs);
SerialHistory *HistoryOf(const std::vector<std::unique_ptr<Output>> &outputs);
// A socket's prompt answered at the desk, once the outputs have given one
// (desk is read at each prompt); none without a desk.
std::function<std::optional<bool>(const std::string &socket, const std::string &text)> AnswersAt(Desk *const &desk);

}  // namespace vorn_host
