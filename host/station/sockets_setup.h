// A station of several sockets as vorn-host starts it: the sockets its
// options name, each socket's worker's command line, and the station's
// session once every worker has loaded its station.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/options.h"
#include "core/record.h"
#include "core/sockets.h"
#include "os/inputs.h"

namespace vorn_host {

// The sockets of --sockets FILE or N, each socket's parameter file checked
// as an input; false, with the reason, when they cannot be tested.
bool SocketsOf(const Options &options, std::vector<SocketSetting> &sockets, std::vector<InputFile> &inputs,
               std::string &error);
// This program's command line for a socket's worker, but for --worker and
// --params: what every socket shares, the plan last.
std::vector<std::string> WorkerArguments(const Options &options);
// The station's session: the library and station the first worker found,
// the sockets and their parameter files.
std::shared_ptr<SessionRecord> StationSession(const Options &options, const SessionRecord &found,
                                              const std::vector<SocketSetting> &sockets);

}  // namespace vorn_host
