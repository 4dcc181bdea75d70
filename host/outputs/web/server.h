// The operator's web page over HTTP on cpp-httplib: the page, its state as
// JSON and as server-sent events, the spectrum plot, and the three actions
// (start with a serial, stop, acknowledge the prompt). It serves from its own
// threads, reading a Screen and handing actions to it; nothing else exists.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "outputs/web/screen.h"

namespace vorn_host::web {

struct ServeAddress {
  std::string host = "127.0.0.1";
  int port = 0;  // 0: any free port (the tests)

  // Only a loopback address keeps the page on this machine.
  bool loopback() const;
};

// "PORT", "HOST:PORT" or "[V6]:PORT"; false with the reason on bad text.
bool ParseServeAddress(const std::string &text, ServeAddress &address, std::string &error);

// How much the server takes; what goes past a bound is refused.
struct Bounds {
  std::size_t bodyBytes = 1024;    // an action's body
  std::size_t streams = 48;        // event streams open at once
  double requestsPerSecond = 100;  // all requests, per client address
  double requestBurst = 300;
  double actionsPerSecond = 10;  // POSTs, per client address
  double actionBurst = 20;
  int heartbeatMs = 2000;  // an idle stream's keep-alive comment
};

class WebServer {
 public:
  WebServer(Screen &screen, Bounds bounds = Bounds());
  ~WebServer();
  WebServer(const WebServer &) = delete;
  WebServer &operator=(const WebServer &) = delete;

  // Binds and starts serving on a thread of its own; false with the reason.
  bool start(const ServeAddress &address, std::string &error);
  int port() const { return port_; }
  // Closes the screen's streams and stops serving; waits for the threads.
  void stop();

 private:
  struct Impl;
  Screen &screen_;
  std::unique_ptr<Impl> impl_;
  std::thread thread_;
  int port_ = 0;
  bool localOnly_ = true;
};

}  // namespace vorn_host::web
