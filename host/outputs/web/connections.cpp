#include "outputs/web/connections.h"

#include <algorithm>
#include <cctype>

namespace vorn_host::web {

namespace {

constexpr int kTickMs = 20;                       // the gate's look at its connections
constexpr int kSliceMs = 100;                     // a worker's waits, between looks at stopping
constexpr std::size_t kDrainBytes = 1024 * 1024;  // dropped at most, after a refusal
constexpr auto kDrainTime = std::chrono::seconds(1);
constexpr const char kHeadTooLarge[] =
    "HTTP/1.1 431 Request Header Fields Too Large\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";

thread_local Connection *tCurrent = nullptr;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The value of a header in a head (lower case), or null when it has none.
bool HeaderValue(const std::string &head, const char *name, std::string &value) {
  const std::size_t at = head.find(std::string("\r\n") + name + ":");
  if (at == std::string::npos) return false;
  const std::size_t from = at + 3 + std::char_traits<char>::length(name);
  value = head.substr(from, head.find("\r\n", from) - from);
  value.erase(0, value.find_first_not_of(" \t"));
  value.erase(value.find_last_not_of(" \t") + 1);
  return true;
}

// Reads and writes one connection for the request a worker answers: first
// what the gate read, then the socket, never past the request's deadline or
// once the server stops.
class ConnectionStream : public httplib::Stream {
 public:
  ConnectionStream(Connection &c, int seconds, const std::atomic<bool> &stopping)
      : c_(c), seconds_(seconds), readBy_(Clock::now() + std::chrono::seconds(seconds)), stopping_(stopping) {}

  bool is_readable() const override { return c_.taken < c_.buffer.size() || wait(false, readBy_) > 0; }
  bool is_writable() const override { return wait(true, Clock::now() + std::chrono::seconds(seconds_)) > 0; }

  ssize_t read(char *ptr, size_t size) override {
    if (c_.taken < c_.buffer.size()) {
      const std::size_t n = std::min(size, c_.buffer.size() - c_.taken);
      std::copy_n(c_.buffer.data() + c_.taken, n, ptr);
      c_.taken += n;
      return static_cast<ssize_t>(n);
    }
    if (wait(false, readBy_) <= 0) return -1;
    return net::Receive(c_.socket, ptr, size);
  }
  ssize_t write(const char *ptr, size_t size) override {
    if (!is_writable()) return -1;
    return net::Send(c_.socket, ptr, size);
  }
  void get_remote_ip_and_port(std::string &ip, int &port) const override { net::PeerAddress(c_.socket, ip, port); }
  void get_local_ip_and_port(std::string &ip, int &port) const override { net::LocalAddress(c_.socket, ip, port); }
  socket_t socket() const override { return c_.socket; }

 private:
  // 1 ready, 0 the time is up or the server stops, -1 failed.
  int wait(bool forWriting, Clock::time_point by) const {
    while (!stopping_.load()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(by - Clock::now()).count();
      if (left <= 0) return 0;
      const int ready = net::WaitOne(c_.socket, forWriting, static_cast<int>(std::min<long long>(left, kSliceMs)));
      if (ready != 0) return ready;
    }
    return 0;
  }

  Connection &c_;
  int seconds_;
  Clock::time_point readBy_;
  const std::atomic<bool> &stopping_;
};

}  // namespace

bool TokenBucket::take(double rate, double burst, Clock::time_point now) {
  if (tokens < 0) tokens = burst;
  tokens = std::min(burst, tokens + rate * std::chrono::duration<double>(now - last).count());
  last = now;
  if (tokens < 1) return false;
  tokens -= 1;
  return true;
}

Arrival RequestArrival(const std::string &buffer, std::size_t headBytes, std::size_t bodyBytes) {
  const std::size_t end = buffer.find("\r\n\r\n");
  if (end == std::string::npos || end + 4 > headBytes) {
    return end == std::string::npos && buffer.size() < headBytes ? Arrival::kPartial : Arrival::kTooLarge;
  }
  const std::string head = Lower(buffer.substr(0, end + 2));
  std::string value;
  if (HeaderValue(head, "transfer-encoding", value) || HeaderValue(head, "expect", value)) return Arrival::kWhole;
  if (!HeaderValue(head, "content-length", value)) return Arrival::kWhole;
  const bool digits = !value.empty() && value.size() <= 9 &&
                      std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!digits || std::stoul(value) > bodyBytes) return Arrival::kWhole;  // refused at its head
  return buffer.size() >= end + 4 + std::stoul(value) ? Arrival::kWhole : Arrival::kPartial;
}

Connections::Connections(const ConnectionBounds &bounds, Answer answer) : bounds_(bounds), answer_(std::move(answer)) {
  gate_ = std::thread([this] { gate(); });
  for (std::size_t i = 0; i < bounds_.workers; ++i) workers_.emplace_back([this] { work(); });
}

Connections::~Connections() { stop(); }

Connection *Connections::current() { return tCurrent; }

void Connections::admit(net::Socket socket) {
  auto c = std::make_unique<Connection>();
  c->socket = socket;
  c->opened = Clock::now();
  c->deadline = c->opened + std::chrono::seconds(bounds_.requestSeconds);
  ++open_;
  if (stopping_.load()) return close(std::move(c));
  std::lock_guard<std::mutex> lock(incomingMutex_);
  incoming_.push_back(std::move(c));
  incomingCv_.notify_one();
}

void Connections::stop() {
  if (stopping_.exchange(true)) return;
  incomingCv_.notify_all();
  readyCv_.notify_all();
  if (gate_.joinable()) gate_.join();
  for (std::thread &worker : workers_) worker.join();
  workers_.clear();
  std::lock_guard<std::mutex> lock(readyMutex_);
  while (!ready_.empty()) {
    close(std::move(ready_.front()));
    ready_.pop_front();
  }
  std::lock_guard<std::mutex> returned(incomingMutex_);  // handed back after the gate ended
  for (Held &c : incoming_) close(std::move(c));
  incoming_.clear();
}

void Connections::close(Held c) {
  net::Close(c->socket);
  --open_;
}

// Each new or returning connection: whole already (a client that sent two
// requests at once), or waiting with the rest.
void Connections::takeIncoming(std::vector<Held> &waiting) {
  std::vector<Held> taken;
  {
    std::unique_lock<std::mutex> lock(incomingMutex_);
    if (waiting.empty() && incoming_.empty()) {
      incomingCv_.wait_for(lock, std::chrono::milliseconds(200),
                           [this] { return !incoming_.empty() || stopping_.load(); });
    }
    taken.swap(incoming_);
  }
  for (Held &c : taken) {
    if (!c->draining && RequestArrival(c->buffer, bounds_.headBytes, bounds_.bodyBytes) == Arrival::kWhole) {
      toWorkers(std::move(c));
    } else {
      waiting.push_back(std::move(c));
    }
  }
}

void Connections::evictOldest(std::vector<Held> &waiting) {
  while (open_.load() > bounds_.connections && !waiting.empty()) {
    auto oldest = std::min_element(waiting.begin(), waiting.end(),
                                   [](const Held &a, const Held &b) { return a->opened < b->opened; });
    close(std::move(*oldest));
    waiting.erase(oldest);
  }
}

bool Connections::readMore(Connection &c) {
  char scratch[4096];
  if (c.draining) {
    const long n = net::Receive(c.socket, scratch, sizeof scratch);
    c.drained += n > 0 ? static_cast<std::size_t>(n) : 0;
    return n > 0 && c.drained < kDrainBytes;
  }
  const std::size_t room = bounds_.headBytes + bounds_.bodyBytes - c.buffer.size();
  const long n = net::Receive(c.socket, scratch, std::min(room, sizeof scratch));
  if (n <= 0) return false;
  c.buffer.append(scratch, static_cast<std::size_t>(n));
  return true;
}

void Connections::gate() {
  std::vector<Held> waiting;
  std::vector<net::Socket> sockets;
  std::vector<char> readable;
  while (!stopping_.load()) {
    takeIncoming(waiting);
    evictOldest(waiting);
    sockets.clear();
    for (const Held &c : waiting) sockets.push_back(c->socket);
    if (!sockets.empty()) net::WaitReadable(sockets, readable, kTickMs);
    const Clock::time_point now = Clock::now();
    std::vector<Held> still;
    for (std::size_t i = 0; i < waiting.size(); ++i) {
      Held &c = waiting[i];
      Arrival arrival = Arrival::kPartial;  // unchanged unless something came
      if (readable.size() > i && readable[i]) {
        if (!readMore(*c)) {
          close(std::move(c));
          continue;
        }
        if (!c->draining) arrival = RequestArrival(c->buffer, bounds_.headBytes, bounds_.bodyBytes);
      }
      if (arrival == Arrival::kWhole) {
        toWorkers(std::move(c));
      } else if (arrival == Arrival::kTooLarge) {
        net::Send(c->socket, kHeadTooLarge, sizeof kHeadTooLarge - 1);
        close(std::move(c));
      } else if (now > c->deadline) {
        close(std::move(c));  // too slow, or idle too long
      } else {
        still.push_back(std::move(c));
      }
    }
    waiting.swap(still);
    readable.clear();
  }
  for (Held &c : waiting) close(std::move(c));
  std::lock_guard<std::mutex> lock(incomingMutex_);
  for (Held &c : incoming_) close(std::move(c));
  incoming_.clear();
}

void Connections::toWorkers(Held c) {
  std::lock_guard<std::mutex> lock(readyMutex_);
  ready_.push_back(std::move(c));
  readyCv_.notify_one();
}

void Connections::work() {
  for (;;) {
    Held c;
    {
      std::unique_lock<std::mutex> lock(readyMutex_);
      readyCv_.wait(lock, [this] { return !ready_.empty() || stopping_.load(); });
      if (stopping_.load()) return;
      c = std::move(ready_.front());
      ready_.pop_front();
    }
    const bool last = c->served + 1 >= bounds_.requestsPerConnection;
    tCurrent = c.get();
    bool keep = false;
    {
      ConnectionStream stream(*c, bounds_.requestSeconds, stopping_);
      keep = answer_(stream, last) && !last;
    }
    tCurrent = nullptr;
    ++c->served;
    c->buffer.erase(0, c->taken);
    c->taken = 0;
    c->deadline = Clock::now() + std::chrono::seconds(bounds_.requestSeconds);
    if (c->closeAfter && !stopping_.load()) {
      // What the client still sends is dropped, so that the refusal reaches
      // it rather than a reset; then the connection is closed.
      net::ShutdownSending(c->socket);
      c->draining = true;
      c->deadline = Clock::now() + kDrainTime;
    } else if (!keep || stopping_.load()) {
      close(std::move(c));
      continue;
    }
    std::lock_guard<std::mutex> lock(incomingMutex_);
    incoming_.push_back(std::move(c));
    incomingCv_.notify_one();
  }
}

}  // namespace vorn_host::web
