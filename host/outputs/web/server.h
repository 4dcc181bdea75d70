// The operator's web page over HTTP on cpp-httplib: the page, its state as
// JSON and as server-sent events, the spectrum plots, and the actions (start
// with a serial in a socket's panel, stop, acknowledge a prompt, confirm or
// cancel a retest of a serial that passed today, log in and out). It serves from its own
// threads (connections.h), reading a Screen and handing actions to it;
// nothing else exists.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "outputs/web/screen.h"

namespace vorn_host::web {

struct ServeAddress {
  std::string host = "127.0.0.1";
  int port = 0;  // 0: any free port (the tests)

  // Only a loopback address keeps the page on this machine.
  bool loopback() const;
  // 0.0.0.0 or ::, every address of this machine.
  bool everyAddress() const;
};

// "PORT", "HOST:PORT" or "[V6]:PORT"; false with the reason on bad text.
bool ParseServeAddress(const std::string &text, ServeAddress &address, std::string &error);

// The names a request may give in its Host header (and its Origin): the
// loopback names localhost, 127.0.0.1 and [::1], and the host the page is
// served on; served on every address, any address written as numbers. With
// the port the page is served on, or without one. Any other name, one that
// merely begins like these (127.0.0.1.nip.io) included, is a page of
// another site that had its name point here (DNS rebinding).
class HostNames {
 public:
  explicit HostNames(const ServeAddress &address);
  bool allows(const std::string &host) const;

 private:
  std::vector<std::string> names_;
  bool anyAddress_ = false;
  int port_ = 0;
};

// How much the server takes; what goes past a bound is refused.
struct Bounds {
  std::size_t bodyBytes = 1024;    // an action's body, whose length it gives
  std::size_t streams = 48;        // event streams open at once, all pages together
  std::size_t connections = 256;   // open at once; past it the oldest still sending a request is closed
  int requestSeconds = 5;          // for a whole request to arrive, for each write, and for an idle connection
  double requestsPerSecond = 100;  // all requests, per connection
  double requestBurst = 300;
  double actionsPerSecond = 10;  // POSTs, per connection
  double actionBurst = 20;
  int heartbeatMs = 2000;  // an idle stream's keep-alive comment
};

class WebServer {
 public:
  WebServer(Screen &screen, Bounds bounds = Bounds());
  ~WebServer();
  WebServer(const WebServer &) = delete;
  WebServer &operator=(const WebServer &) = delete;

  // Binds its port, alone (a second server on it is refused), and starts
  // serving on threads of its own; false with the reason.
  bool start(const ServeAddress &address, std::string &error);
  int port() const { return port_; }
  // Closes the screen's streams and stops serving; waits for the threads.
  void stop();

 private:
  struct Impl;
  void routes();
  void actionRoutes();
  Screen &screen_;
  Bounds bounds_;
  std::unique_ptr<Impl> impl_;
  std::thread thread_;
  int port_ = 0;
};

}  // namespace vorn_host::web
