// A station of several test sockets on one PC, each with its own fixture and
// equipment: one worker process per socket (vorn-host --worker NAME, its own
// copy of the library), started and watched by this supervisor. The
// supervisor hands each unit to whichever socket is free, retests on any free
// socket, and publishes every worker's events on its own bus, the socket
// named, so that every output (the console, the JSON, the database, the
// page) hears one stream. Workers never write the results themselves.
//
// A worker that dies (a crash in a vendor library, a kill) ends its unit as
// ERROR with every step done so far; the supervisor starts the socket again,
// and takes it out of service after three deaths in a row. The others go on.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/bus.h"
#include "core/plan.h"
#include "core/record.h"
#include "core/session.h"

namespace vorn_host {

struct SocketSetting {
  std::string name;
  std::string parameters;  // the socket's own parameter file: its COM port, GPIB addresses, path loss
};

// A sockets file: one socket a line, "NAME PARAMETER-FILE"; '#' starts a
// comment. Every bad line adds a "file:line: problem" to problems.
std::vector<SocketSetting> ReadSockets(const std::string &path, std::vector<std::string> &problems);
// N sockets named 1 to N on one parameter file (the simulated station's shorthand).
std::vector<SocketSetting> NumberedSockets(int count, const std::string &parameters);

struct SupervisorOptions {
  std::vector<SocketSetting> sockets;
  // The worker's command line but for its --worker and --params: the
  // program, the options every socket shares, the plan last.
  std::vector<std::string> worker;
  int retest = 0;
  std::string operatorName;
  std::function<int()> stopRequests;
  // Answers a socket's prompt (the page's panel); none, or an answer of
  // nothing: asked at the terminal.
  std::function<std::optional<bool>(const std::string &socket, const std::string &text)> answerPrompt;
  // True while the station has stopped itself (core/gate.h): no retest is handed out.
  std::function<bool()> held;
};

struct SupervisorResult {
  Tally tally;
  std::vector<std::pair<std::string, Tally>> sockets;
  bool stopped = false;
  bool recordLost = false;
};

class Supervisor {
 public:
  explicit Supervisor(SupervisorOptions options);
  ~Supervisor();
  Supervisor(const Supervisor &) = delete;
  Supervisor &operator=(const Supervisor &) = delete;

  // Starts every socket's worker and waits until each has loaded its
  // station. False, with the reason, when one cannot (exit status 2).
  bool start(std::string &error);
  // What the first socket found: the library, its version, simulated or real.
  const SessionRecord &found() const;
  // Runs the session to the end of its units, a stop or a lost record.
  SupervisorResult run(const Plan &plan, const std::shared_ptr<SessionRecord> &session, UnitSource &units, Bus &bus);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vorn_host
