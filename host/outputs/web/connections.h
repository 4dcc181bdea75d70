// The web server's connections, held here rather than in cpp-httplib's own
// loop (a thread per connection for as long as the client likes), so that no
// client can hold the page away from the operator:
//
// - The gate, one thread, holds every connection until its whole request has
//   come (the head, and a body of at most bodyBytes whose length it gives),
//   for at most requestSeconds from its opening or its last answer; a slow or
//   silent connection costs a descriptor and nothing else, and is closed then.
// - Past `connections` open at once, the oldest still waiting is closed.
// - Workers answer whole requests, one at a time each: a request never waits
//   on a slow client for its bytes. An event stream keeps its worker.
// - A refused request whose rest is not read (a body too long, or without its
//   length) ends its connection: the rest is read and dropped for a moment
//   (so the refusal reaches the client), then it is closed.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "os/net.h"

namespace vorn_host::web {

using Clock = std::chrono::steady_clock;

// A token bucket: rate tokens a second, at most burst of them.
struct TokenBucket {
  double tokens = -1;  // -1: full, not used yet
  Clock::time_point last;

  bool take(double rate, double burst, Clock::time_point now);
};

struct ConnectionBounds {
  std::size_t connections = 256;  // open at once
  std::size_t workers = 64;       // requests answered at once, event streams among them
  int requestSeconds = 5;         // for a whole request to arrive, and for each write
  std::size_t headBytes = 16 * 1024;
  std::size_t bodyBytes = 1024;
  int requestsPerConnection = 100;
};

// One client connection, from request to request.
struct Connection {
  net::Socket socket;
  std::string buffer;     // read from the socket
  std::size_t taken = 0;  // of buffer, by the request being answered
  Clock::time_point opened;
  Clock::time_point deadline;  // for the next whole request (or the end of draining)
  int served = 0;
  bool draining = false;  // refused: what comes is dropped until it ends
  std::size_t drained = 0;
  bool closeAfter = false;  // set while answering: this connection ends with the answer
  TokenBucket requests;     // the connection's own rates
  TokenBucket actions;
};

// Whether buffer holds a whole request: its head, and the body its
// Content-Length gives when that is at most bodyBytes. A head that says
// nothing of a body, or of a body the server refuses (too long, chunked, an
// Expect), is whole as it stands.
enum class Arrival { kPartial, kWhole, kTooLarge };
Arrival RequestArrival(const std::string &buffer, std::size_t headBytes, std::size_t bodyBytes);

class Connections {
 public:
  // Answers the one request the stream reads; true to keep the connection
  // for another (last: this one is its last). Called on a worker's thread.
  using Answer = std::function<bool(httplib::Stream &stream, bool last)>;

  Connections(const ConnectionBounds &bounds, Answer answer);
  ~Connections();
  Connections(const Connections &) = delete;
  Connections &operator=(const Connections &) = delete;

  // A connection just accepted; never waits.
  void admit(net::Socket socket);
  // Closes every connection once the requests being answered end; waits.
  void stop();
  // The connection whose request this thread answers, or null.
  static Connection *current();

 private:
  using Held = std::unique_ptr<Connection>;

  void gate();
  void takeIncoming(std::vector<Held> &waiting);
  void evictOldest(std::vector<Held> &waiting);
  bool readMore(Connection &c);  // false: close it
  void toWorkers(Held c);
  void work();
  void close(Held c);

  ConnectionBounds bounds_;
  Answer answer_;
  std::atomic<bool> stopping_{false};
  std::atomic<std::size_t> open_{0};

  std::mutex incomingMutex_;
  std::condition_variable incomingCv_;
  std::vector<Held> incoming_;  // accepted, or back from a worker

  std::mutex readyMutex_;
  std::condition_variable readyCv_;
  std::deque<Held> ready_;  // whole requests for the workers

  std::thread gate_;
  std::vector<std::thread> workers_;
};

}  // namespace vorn_host::web
