// The operator's web server over real HTTP on the loopback address: only the
// page and its three actions exist, bodies and rates are bounded, an action
// the session cannot take now is refused, and the events carry the state.
// What a client does wrong (a name pointed here, a body without end, a slow
// or silent connection, a second server on the port) never keeps the page
// from the operator.
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <thread>

#include "core/session.h"
#include "outputs/web/screen.h"
#include "outputs/web/serve.h"
#include "outputs/web/server.h"
#include "support/host_run.h"

namespace {

using namespace vorn_host;
using namespace vorn_host::web;

struct Served {
  Screen screen;
  WebServer server;
  httplib::Client client;

  explicit Served(Bounds bounds = Bounds()) : server(screen, bounds), client("127.0.0.1", (start(), server.port())) {}
  void start() {
    std::string error;
    ASSERT_TRUE(server.start(ServeAddress{"127.0.0.1", 0}, error)) << error;
  }
  int post(const std::string &path, const std::string &body, const char *type = "application/json") {
    const auto res = client.Post(path.c_str(), body, type);
    return res ? res->status : -1;
  }
};

// The milliseconds left until a moment, none when it has passed.
int MsLeft(std::chrono::steady_clock::time_point until) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// A connection of the test's own, for what no well-behaved client sends.
class Raw {
 public:
  explicit Raw(int port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval limit{10, 0};  // a send the server never takes fails the test, not hangs it
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    connected_ = connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
  }
  ~Raw() { close(fd_); }
  Raw(const Raw &) = delete;
  Raw &operator=(const Raw &) = delete;

  bool connected() const { return connected_; }
  bool send(const std::string &text) {
    return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
  }
  // The next response, whole (its head and the body its Content-Length
  // gives), or what came of it within ms.
  std::string receive(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::string got;
    for (;;) {
      const std::size_t end = got.find("\r\n\r\n");
      if (end != std::string::npos) {
        const std::size_t length = got.find("Content-Length: ");
        const std::size_t body = length < end ? std::stoul(got.substr(length + 16)) : 0;
        if (got.size() >= end + 4 + body) return got;
      }
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, MsLeft(until)) <= 0) return got;
      char buffer[4096];
      const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) return got;
      got.append(buffer, static_cast<std::size_t>(n));
    }
  }
  // Whether the server ended the connection within ms (what it sent is read past).
  bool closedWithin(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    char buffer[4096];
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, MsLeft(until)) <= 0) return false;
      if (recv(fd_, buffer, sizeof buffer, 0) <= 0) return true;
    }
  }

 private:
  int fd_;
  bool connected_ = false;
};

std::size_t ResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stoul(line.substr(6));
  }
  return 0;
}

TEST(WebServer, OnlyThePageAndItsActionsExist) {
  Served s;
  struct Case {
    const char *path;
    int status;
  };
  for (const Case &c : {Case{"/", 200}, Case{"/operator.js", 200}, Case{"/operator.css", 200}, Case{"/state", 200},
                        Case{"/spectrum.svg", 404}, Case{"/../etc/passwd", 404}, Case{"/examples/station.ini", 404},
                        Case{"/start", 404}}) {
    const auto res = s.client.Get(c.path);
    ASSERT_TRUE(res) << c.path;
    EXPECT_EQ(res->status, c.status) << c.path;
  }
  EXPECT_NE(s.client.Get("/")->body.find("/operator.js"), std::string::npos);
  EXPECT_EQ(s.post("/options", "{}"), 404);
}

TEST(WebServer, ActionsAreRefusedWhenTheSessionCannotTakeThem) {
  Served s;
  Plan plan;
  s.screen.setPlan(plan);
  EXPECT_EQ(s.post("/start", "{\"serial\":\"A 1\"}"), 409);  // a blank in it
  EXPECT_EQ(s.post("/start", "{\"serial\":" + nlohmann::json(std::string(65, 'X')).dump() + "}"), 409);
  EXPECT_EQ(s.post("/start", "{\"serial\":12}"), 400);
  EXPECT_EQ(s.post("/start", "not json"), 400);
  EXPECT_EQ(s.post("/start", "serial=A1", "application/x-www-form-urlencoded"), 415);  // another site's form
  EXPECT_EQ(s.post("/start", "{\"serial\":\"A1\"}"), 409) << "nobody logged in";
  EXPECT_EQ(s.post("/login", "{\"operator\":\"\"}"), 409);
  EXPECT_EQ(s.post("/login", "{\"operator\":\"op-7\"}"), 202);
  EXPECT_EQ(s.post("/start", "{\"serial\":\"A1\",\"socket\":\"3\"}"), 409) << "no such socket";
  EXPECT_EQ(s.post("/start", "{\"serial\":\"A1\"}"), 202);
  EXPECT_EQ(s.post("/start", "{\"serial\":\"A2\"}"), 409) << "a second start while the first is pending";
  EXPECT_EQ(s.post("/acknowledge", "{\"prompt\":1}"), 409) << "no prompt is open";
  const std::optional<Action> taken = s.screen.nextAction(std::chrono::milliseconds(100));
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->serial, "A1");
  EXPECT_EQ(taken->operatorName, "op-7");
  EXPECT_FALSE(s.screen.nextAction(std::chrono::milliseconds(10))) << "refused actions are not queued";

  httplib::Headers foreign = {{"Origin", "http://evil.example"}};
  const auto res = s.client.Post("/stop", foreign, "{}", "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 403);
  EXPECT_FALSE(s.screen.stopRequested());
  EXPECT_EQ(s.post("/stop", "{}"), 202);
  EXPECT_TRUE(s.screen.stopRequested());
}

// Rates are each connection's own: a client that floods its connection is
// refused (and, its body unread, the connection ends), and another's action
// on its own connection still goes through, though both come from 127.0.0.1.
TEST(WebServer, RatesAreEachConnectionsOwn) {
  Bounds bounds;
  bounds.actionBurst = 3;
  bounds.actionsPerSecond = 0.001;
  Served s(bounds);
  Raw flood(s.server.port());
  const std::string action = "POST /acknowledge HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(s.server.port()) +
                             "\r\nContent-Type: application/json\r\nContent-Length: 12\r\n\r\n{\"prompt\":1}";
  for (const char *status : {"HTTP/1.1 409", "HTTP/1.1 409", "HTTP/1.1 409", "HTTP/1.1 429"}) {
    ASSERT_TRUE(flood.send(action));
    EXPECT_EQ(flood.receive(5000).rfind(status, 0), 0u) << status;
  }
  EXPECT_TRUE(flood.closedWithin(5000));
  httplib::Client operatorPage("127.0.0.1", s.server.port());
  const auto res = operatorPage.Post("/acknowledge", "{\"prompt\":1}", "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 409) << "judged by the session, not refused for the other client's rate";
}

// A request names this machine by one of its loopback names, or the host the
// page is served on, exactly; any other name is a page of another site whose
// name was pointed here.
TEST(WebServer, OnlyExactHostNamesAreServed) {
  struct Case {
    const char *served;
    const char *host;
    bool allowed;
  };
  for (const Case &c : {
           Case{"127.0.0.1", "127.0.0.1:8080", true},
           Case{"127.0.0.1", "127.0.0.1", true},
           Case{"127.0.0.1", "localhost:8080", true},
           Case{"127.0.0.1", "LocalHost:8080", true},
           Case{"127.0.0.1", "[::1]:8080", true},
           Case{"127.0.0.1", "127.attacker.example", false},
           Case{"127.0.0.1", "127.attacker.example:8080", false},
           Case{"127.0.0.1", "127.0.0.1.nip.io:8080", false},
           Case{"127.0.0.1", "localhost.attacker.example:8080", false},
           Case{"127.0.0.1", "localhost.:8080", false},
           Case{"127.0.0.1", "attacker.example", false},
           Case{"127.0.0.1", "127.1:8080", false},
           Case{"127.0.0.1", "127.0.0.2:8080", false},
           Case{"127.0.0.1", "127.0.0.1:8081", false},
           Case{"127.0.0.1", "127.0.0.1:", false},
           Case{"127.0.0.1", "127.0.0.1:8080@attacker.example", false},
           Case{"127.0.0.1", "::1", false},
           Case{"127.0.0.1", "[::1].attacker.example", false},
           Case{"127.0.0.1", "", false},
           Case{"192.168.7.20", "192.168.7.20:8080", true},
           Case{"192.168.7.20", "192.168.7.21:8080", false},
           Case{"station7.lan", "Station7.lan:8080", true},
           Case{"station7.lan", "station7.lan.attacker.example:8080", false},
           Case{"0.0.0.0", "10.1.2.3:8080", true},
           Case{"0.0.0.0", "[fe80::1]:8080", true},
           Case{"0.0.0.0", "station7.lan:8080", false},
           Case{"0.0.0.0", "10.1.2.3.nip.io:8080", false},
       }) {
    EXPECT_EQ(HostNames(ServeAddress{c.served, 8080}).allows(c.host), c.allowed) << c.served << " / " << c.host;
  }
  Served s;
  const std::string port = std::to_string(s.server.port());
  for (const std::string &host :
       {"127.attacker.example:" + port, "127.0.0.1.nip.io:" + port, std::string("attacker.example")}) {
    const auto state = s.client.Get("/state", {{"Host", host}});
    ASSERT_TRUE(state);
    EXPECT_EQ(state->status, 403) << host;
    const auto start = s.client.Post("/start", {{"Host", host}, {"Origin", "http://" + host}}, "{\"serial\":\"A1\"}",
                                     "application/json");
    ASSERT_TRUE(start);
    EXPECT_EQ(start->status, 403) << host;
  }
  Raw twoHosts(s.server.port());
  ASSERT_TRUE(
      twoHosts.send("GET /state HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\nHost: 127.attacker.example\r\n\r\n"));
  EXPECT_EQ(twoHosts.receive(5000).rfind("HTTP/1.1 403", 0), 0u) << "two Host headers";
  EXPECT_FALSE(s.screen.nextAction(std::chrono::milliseconds(10))) << "no refused start reached the session";
  const auto localhost = s.client.Get("/state", {{"Host", "localhost:" + port}});
  ASSERT_TRUE(localhost);
  EXPECT_EQ(localhost->status, 200);
}

// A body is refused as soon as its head shows it too long or without its
// length, before it is read: a 100 MB chunked body costs the server nothing,
// and the connection ends with the refusal.
TEST(WebServer, BodiesAreBoundedHoweverTheyAreSent) {
  Served s;
  EXPECT_EQ(s.post("/acknowledge", std::string(2000, ' ')), 413);
  const std::string host = "Host: 127.0.0.1:" + std::to_string(s.server.port()) + "\r\n";
  const std::string json = "Content-Type: application/json\r\n";
  struct Case {
    std::string request;
    const char *status;
  };
  for (const Case &c : {
           Case{"POST /start HTTP/1.1\r\n" + host + json + "Transfer-Encoding: chunked\r\n\r\n", "HTTP/1.1 411"},
           Case{"POST /start HTTP/1.1\r\n" + host + json + "Content-Length: 100000000\r\n\r\n", "HTTP/1.1 413"},
           Case{"POST /start HTTP/1.1\r\n" + host + json + "\r\n{\"serial\":\"A1\"}", "HTTP/1.1 411"},
           Case{"POST /start HTTP/1.1\r\n" + host + json + "Content-Length: 1x\r\n\r\n", "HTTP/1.1 400"},
           Case{"GET /state HTTP/1.1\r\n" + host + "Content-Length: 5\r\n\r\nGET /", "HTTP/1.1 400"},
           Case{"GET /state HTTP/1.1\r\n" + host + "X-Long: " + std::string(20000, 'x') + "\r\n\r\n", "HTTP/1.1 431"},
       }) {
    Raw r(s.server.port());
    ASSERT_TRUE(r.connected());
    ASSERT_TRUE(r.send(c.request));
    EXPECT_EQ(r.receive(5000).rfind(c.status, 0), 0u) << c.request.substr(0, 80);
    EXPECT_TRUE(r.closedWithin(5000)) << c.request.substr(0, 80);
  }
  EXPECT_FALSE(s.screen.nextAction(std::chrono::milliseconds(10))) << "no refused start reached the session";

  // 100 MB in 64 KiB chunks: refused at the head, the connection ends after
  // what the sockets' buffers held, and the server's memory stays where it was.
  const std::size_t before = ResidentKb();
  Raw r(s.server.port());
  ASSERT_TRUE(r.send("POST /start HTTP/1.1\r\n" + host + json + "Transfer-Encoding: chunked\r\n\r\n"));
  EXPECT_EQ(r.receive(5000).rfind("HTTP/1.1 411", 0), 0u);
  const std::string chunk = "10000\r\n" + std::string(0x10000, '{') + "\r\n";
  std::size_t sent = 0;
  while (sent < 100u * 1000 * 1000 && r.send(chunk)) sent += chunk.size();
  EXPECT_LT(sent, 32u * 1024 * 1024) << "the server read on";
  EXPECT_LT(ResidentKb(), before + 16 * 1024) << "kB resident, from " << before;
}

// 200 connections that send their request a byte a second: the page is
// served beside them at once, and each of them is closed within seconds of
// opening, its request never whole.
TEST(WebServer, SlowConnectionsNeitherHoldThePageNorStay) {
  Bounds bounds;
  bounds.requestSeconds = 2;
  Served s(bounds);
  std::vector<std::unique_ptr<Raw>> slow;
  for (int i = 0; i < 200; ++i) {
    slow.push_back(std::make_unique<Raw>(s.server.port()));
    ASSERT_TRUE(slow.back()->connected()) << i;
    ASSERT_TRUE(slow.back()->send("GET /state HTTP/1.1\r\nHost: 127"));
  }
  std::atomic<bool> trickling{true};
  std::thread trickle([&] {
    while (trickling) {
      for (auto &r : slow) r->send(".");
      for (int i = 0; i < 10 && trickling; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  for (int i = 0; i < 3; ++i) {
    httplib::Client page("127.0.0.1", s.server.port());
    const auto started = std::chrono::steady_clock::now();
    const auto res = page.Get("/");
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_LT(took, std::chrono::seconds(1)) << "page " << i;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  int closed = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (auto &r : slow) closed += r->closedWithin(MsLeft(until));
  trickling = false;
  trickle.join();
  EXPECT_EQ(closed, 200);
}

// Past the bound of open connections the oldest still waiting for its
// request is closed, so that a new one, the operator's, is taken.
TEST(WebServer, PastItsBoundTheOldestWaitingConnectionsGo) {
  Bounds bounds;
  bounds.connections = 80;
  Served s(bounds);
  std::vector<std::unique_ptr<Raw>> silent;
  for (int i = 0; i < 120; ++i) {
    silent.push_back(std::make_unique<Raw>(s.server.port()));
    ASSERT_TRUE(silent.back()->connected()) << i;
  }
  httplib::Client page("127.0.0.1", s.server.port());
  const auto res = page.Get("/state");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  int oldestClosed = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (int i = 0; i < 40; ++i) oldestClosed += silent[i]->closedWithin(MsLeft(until));
  EXPECT_EQ(oldestClosed, 40);
  int newestClosed = 0;
  for (int i = 100; i < 120; ++i) newestClosed += silent[i]->closedWithin(50);
  EXPECT_EQ(newestClosed, 0);
}

// The port is this server's alone: neither a second server nor a socket that
// asks to share it (SO_REUSEPORT, as cpp-httplib's own default does) binds
// it, and a second vorn-host on it stops before anything runs.
TEST(WebServer, ASecondServerOnThePortIsRefused) {
  Served s;
  const int port = s.server.port();
  for (const char *host : {"127.0.0.1", "0.0.0.0"}) {
    Screen screen;
    WebServer second(screen);
    std::string error;
    EXPECT_FALSE(second.start(ServeAddress{host, port}, error)) << host;
    EXPECT_NE(error.find("the port is in use"), std::string::npos) << error;
  }
  const int sharing = socket(AF_INET, SOCK_STREAM, 0);
  const int yes = 1;
  setsockopt(sharing, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  setsockopt(sharing, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_NE(bind(sharing, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
  close(sharing);

  const std::string examples = VORN_EXAMPLES_DIR;
  const vorn_test::HostRun r = vorn_test::RunHost("--serve " + std::to_string(port) + " --fast --no-db --params " +
                                                      examples + "/station.ini " + examples + "/typical.plan",
                                                  30);
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find("cannot serve on 127.0.0.1:" + std::to_string(port) + ": the port is in use"), std::string::npos)
      << r.err;
  const auto res = s.client.Get("/state");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200) << "the first still serves";
}

// The event streams are bounded for all pages together (each keeps one of
// the server's threads); the page and the actions are served beside them.
TEST(WebServer, EventStreamsAreBoundedAndActionsGoThroughBesideThem) {
  Bounds bounds;
  bounds.streams = 2;
  Served s(bounds);
  std::vector<std::thread> pages;
  for (int i = 0; i < 2; ++i) {
    pages.emplace_back([&s] {
      httplib::Client c("127.0.0.1", s.server.port());
      c.Get("/events", [](const char *, size_t) { return true; });
    });
  }
  for (int i = 0; i < 500 && s.screen.watchers() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(s.screen.watchers(), 2);
  httplib::Client third("127.0.0.1", s.server.port());
  const auto refused = third.Get("/events");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 503);
  EXPECT_EQ(s.client.Get("/")->status, 200);
  EXPECT_EQ(s.post("/stop", "{}"), 202);
  s.server.stop();
  for (std::thread &t : pages) t.join();
}

TEST(WebServer, ThePromptWaitsForItsOwnAcknowledgementFromAWatchingPage) {
  Served s;
  EXPECT_EQ(s.screen.prompt("", "Turn on phone!"), PromptAnswer::kNoPage) << "no page is watching";
  s.screen.watcherJoined();
  std::thread step([&] { EXPECT_EQ(s.screen.prompt("", "Turn on phone!"), PromptAnswer::kAcknowledged); });
  uint64_t id = 0;
  for (int i = 0; i < 200 && id == 0; ++i) {
    const nlohmann::json state = nlohmann::json::parse(s.client.Get("/state")->body);
    if (!state["panels"][0]["prompt"].is_null()) id = state["panels"][0]["prompt"]["id"].get<uint64_t>();
    if (id == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_NE(id, 0u);
  EXPECT_EQ(s.post("/acknowledge", "{\"prompt\":" + std::to_string(id + 1) + "}"), 409);
  EXPECT_EQ(s.post("/acknowledge", "{\"prompt\":" + std::to_string(id) + "}"), 202);
  step.join();
  EXPECT_TRUE(nlohmann::json::parse(s.client.Get("/state")->body)["panels"][0]["prompt"].is_null());
  s.screen.watcherLeft();
}

// Ctrl-C while the page's prompt is open ends the prompt as Stop on the page
// does, but is no stop request of the page's: the one stop is the
// terminal's, and the cleanup still runs. Stop on the page is its one stop.
TEST(WebServer, AStopAtThePromptIsOneStopRequest) {
  Screen screen;
  std::atomic<bool> interrupted{false};
  screen.setInterrupted([&interrupted] { return interrupted.load(); });
  screen.watcherJoined();
  const auto promptOpen = [&screen] {
    for (int i = 0; i < 400 && screen.snapshot().panels[0].prompt.id == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return screen.snapshot().panels[0].prompt.id != 0;
  };
  std::thread step([&] { EXPECT_EQ(screen.prompt("", "Turn on phone!"), PromptAnswer::kStopped); });
  EXPECT_TRUE(promptOpen());
  interrupted = true;
  step.join();
  EXPECT_FALSE(screen.stopRequested()) << "the terminal's stop is counted where it came in, once";

  interrupted = false;
  std::thread again([&] { EXPECT_EQ(screen.prompt("", "Turn on phone!"), PromptAnswer::kStopped); });
  EXPECT_TRUE(promptOpen());
  std::string why;
  EXPECT_TRUE(screen.act(Action::stop(), why)) << why;
  again.join();
  EXPECT_TRUE(screen.stopRequested());
}

// A screen of a station of the sockets named, its operator logged in.
struct Station {
  Screen screen;
  StationSettings settings;
  Plan plan;

  explicit Station(const std::vector<std::string> &sockets, const std::string &pattern = "") {
    settings.serialPattern = pattern;
    if (!pattern.empty()) settings.serialRegex.emplace(pattern);
    SessionRecord session;
    for (const std::string &name : sockets) session.sockets.push_back({name, "", ""});
    screen.setRules(settings, 1);
    screen.sessionStarted(session);
    std::string why;
    EXPECT_TRUE(screen.act(Action::login("op-7"), why)) << why;
  }
  // The refusal of a scan in the socket's panel, empty when it was taken.
  std::string scan(const std::string &serial, const std::string &socket) {
    std::string why;
    screen.act(Action::start(serial, socket), why);
    return why;
  }
};

// A scan goes to the panel it was made in; one that panel cannot take is
// refused there, naming its serial, and never waits to be glued to the next.
TEST(WebServer, EachPanelTakesItsOwnScansAndSaysWhyNot) {
  Station st({"1", "2", "3"}, "SIM-[0-9]{6}");
  AttemptStart running;
  running.serial = "SIM-000001";
  running.socket = "1";
  st.screen.attemptStarted(running);
  const struct {
    const char *serial;
    const char *socket;
    const char *refusal;  // empty: taken
  } cases[] = {
      {"SIM-000054", "1", "SIM-000054 not taken: a unit is running"},
      {"SIM-00005", "2", "SIM-00005 not taken: the station's serials match SIM-[0-9]{6}"},
      {"SIM-000002", "3", ""},
      {"SIM-000003", "3", "SIM-000003 not taken: a unit is starting"},
      {"SIM-000004", "9", "there is no socket \"9\""},
      {"SIM-000005", "2", ""},
  };
  for (const auto &c : cases) EXPECT_EQ(st.scan(c.serial, c.socket), c.refusal) << c.serial;
  std::string refused;
  EXPECT_FALSE(st.screen.act(Action::login("SIM-000009"), refused));
  EXPECT_EQ(refused, "SIM-000009 is a phone's serial: scan your badge or type your id");
  const Snapshot shown = st.screen.snapshot();
  EXPECT_EQ(shown.panels[0].notice, "SIM-000054 not taken: a unit is running") << "said where it was scanned";
  EXPECT_EQ(shown.panels[2].state, PanelState::kStarting);
  for (const char *socket : {"3", "2"}) {
    const std::optional<Action> taken = st.screen.nextAction(std::chrono::milliseconds(10));
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->socket, socket);
    EXPECT_EQ(taken->operatorName, "op-7");
  }
  EXPECT_FALSE(st.screen.nextAction(std::chrono::milliseconds(10)));

  // An open prompt holds its panel's scans; its OK answers only its panel's prompt.
  st.screen.watcherJoined();
  std::thread step([&] { EXPECT_EQ(st.screen.prompt("2", "Turn on phone!"), PromptAnswer::kAcknowledged); });
  uint64_t id = 0;
  for (int i = 0; i < 400 && id == 0; ++i) {
    id = st.screen.snapshot().panels[1].prompt.id;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_NE(id, 0u);
  EXPECT_EQ(st.scan("SIM-000006", "2"), "SIM-000006 not taken: the station asks \"Turn on phone!\": answer it first");
  std::string why;
  EXPECT_FALSE(st.screen.act(Action::acknowledge(id, "3"), why));
  EXPECT_TRUE(st.screen.act(Action::acknowledge(id, "2"), why)) << why;
  step.join();
  st.screen.watcherLeft();
}

// An attempt's record as the session hands it on: FAIL or PASS.
UnitRecord Finished(const std::string &serial, const std::string &unitId, int attempt, Verdict verdict) {
  UnitRecord u;
  u.serial = serial;
  u.unitId = unitId;
  u.attempt = attempt;
  u.prior = attempt == 1 ? Prior::kNone : Prior::kFail;
  u.run.verdict = verdict;
  return u;
}

// The page's scans through the station's rules: past its retests a serial is
// the repair tray's and not tested; one that passed today is tested once
// the operator says yes in its panel, as its unit's next attempt.
TEST(WebServer, ScansPastTheirRetestsOrPassedTodayAreNotTestedUnasked) {
  Station st({});
  Bus bus;
  Scans scans(st.settings, 1, nullptr, bus);
  bus.subscribe(st.screen);
  bus.attemptFinished(Finished("R-1", "unit-r", 2, Verdict::kFail));
  bus.attemptFinished(Finished("P-1", "unit-p", 1, Verdict::kPass));
  ScannedUnits units(st.screen);
  units.consult(scans);
  UnitOrder order;
  bool got = false;
  std::thread source([&] { got = units.nextOrder(order); });
  const auto panel = [&st] { return st.screen.snapshot().panels[0]; };
  const auto until = [](const std::function<bool()> &done) {
    for (int i = 0; i < 400 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
  };
  EXPECT_EQ(st.scan("R-1", ""), "");
  ASSERT_TRUE(until([&] { return panel().state == PanelState::kIdle; }));
  EXPECT_EQ(panel().notice, "R-1 not taken: it failed attempt 2 of 2 allowed; Repair tray");
  ASSERT_TRUE(panel().banner);
  EXPECT_EQ(panel().banner->action, "Repair tray");
  EXPECT_EQ(st.scan("P-1", ""), "");
  ASSERT_TRUE(until([&] { return panel().confirm.id != 0; }));
  EXPECT_EQ(panel().confirm.serial, "P-1");
  std::string why;
  EXPECT_FALSE(st.screen.act(Action::confirm(panel().confirm.id + 1), why)) << "only the question open";
  EXPECT_TRUE(st.screen.act(Action::confirm(panel().confirm.id), why)) << why;
  source.join();
  ASSERT_TRUE(got);
  EXPECT_EQ(order.serial, "P-1");
  EXPECT_EQ(order.unitId, "unit-p");
  EXPECT_EQ(order.attempt, 2);
  EXPECT_EQ(order.prior, Prior::kPass);
  EXPECT_EQ(order.operatorName, "op-7");
  EXPECT_FALSE(order.retest) << "a scanned unit is retested by scanning it again";
}

// The yield and the units per hour from the tenth unit with a verdict on, the
// recent yield over the last 50 units; and the banner's next action.
TEST(WebServer, FiguresWaitForTenUnitsAndTheRecentYieldForgetsTheOldest) {
  Station st({});
  Tally tally;
  const auto finish = [&](const UnitRecord &u) {
    st.screen.attemptFinished(u);
    tally.add(u);
    tally.hoursSinceFirst = 0.5;
    st.screen.tallied(tally);
    return nlohmann::json::parse(st.screen.snapshot().json());
  };
  nlohmann::json state;
  for (int i = 1; i <= 9; ++i)
    state = finish(Finished("F-" + std::to_string(i), "f" + std::to_string(i), 1, Verdict::kFail));
  EXPECT_EQ(st.screen.snapshot().panels[0].banner->action, "Retest once");
  for (const char *figure : {"firstPassYield", "finalYield", "unitsPerHour", "recentYield"}) {
    EXPECT_TRUE(state[figure].is_null()) << figure;
  }
  state = finish(Finished("F-1", "f1", 2, Verdict::kFail));
  EXPECT_EQ(st.screen.snapshot().panels[0].banner->action, "Repair tray");
  EXPECT_TRUE(state["firstPassYield"].is_null()) << "a retest is no tenth unit";
  state = finish(Finished("P-0", "p0", 1, Verdict::kPass));
  EXPECT_EQ(state["units"], 10);
  EXPECT_DOUBLE_EQ(state["firstPassYield"].get<double>(), 10.0);
  EXPECT_DOUBLE_EQ(state["unitsPerHour"].get<double>(), 20.0);
  for (int i = 1; i <= 50; ++i)
    state = finish(Finished("P-" + std::to_string(i), "p" + std::to_string(i), 1, Verdict::kPass));
  EXPECT_DOUBLE_EQ(state["recentYield"].get<double>(), 100.0);
  EXPECT_NEAR(state["firstPassYield"].get<double>(), 100.0 * 51 / 60, 1e-9);
}

// A spectrum step with its offsets; failing: one of them outside its limit.
StepRecord Spectrum(bool failing) {
  StepRecord s;
  s.step.exportName = "Vorn_CMU200_OBTOutputRFSpectrum";
  s.verdict = failing ? Verdict::kFail : Verdict::kPass;
  int entry = 1;
  for (const char *name :
       {"-0.40MHZ Modulation Spectrum", "+0.40MHZ Modulation Spectrum", "-0.40MHZ Switching Spectrum"}) {
    EntryResult e;
    e.entry = entry++;
    e.name = name;
    e.value = failing && entry == 2 ? -50.0 : -65.0;
    e.limit = Limit{e.entry, std::nullopt, -60.0};
    e.passed = *e.value <= -60.0;
    s.entries.push_back(e);
  }
  return s;
}

StepRecord Naming(const char *step, const char *setting) {
  StepRecord s;
  s.step.exportName = std::string("Vorn_CMU200_") + step;
  s.verdict = Verdict::kPass;
  EntryResult e;
  e.entry = 1;
  e.value = 1.0;
  e.name = setting;
  s.entries.push_back(e);
  return s;
}

// A plot per band measured, titled with its setting, the failing band first,
// with words the page shows at 12 px or more.
TEST(WebServer, TheSpectrumIsAPlotPerBandFailingFirst) {
  RunRecord run;
  run.steps = {Naming("OBTPowervsTime", "Band=EGSM;Chan=20;TXLevel=5"), Spectrum(false),
               Naming("OBTHandOver", "Band=PCS;Chan=661;TXLevel=10"),
               Naming("OBTPowervsTime", "Band=PCS;Chan=661;TXLevel=10"), Spectrum(true)};
  const std::vector<BandPlot> plots = SpectrumPlots(run);
  ASSERT_EQ(plots.size(), 2u);
  EXPECT_EQ(plots[0].title, "PCS 1900 ch 661");
  EXPECT_TRUE(plots[0].failed);
  EXPECT_EQ(plots[1].title, "E-GSM 900 ch 20");
  EXPECT_FALSE(plots[1].failed);
  for (const BandPlot &p : plots) {
    EXPECT_NE(p.svg.find("Spectrum due to modulation, " + p.title), std::string::npos);
    EXPECT_NE(p.svg.find("Spectrum due to switching, " + p.title), std::string::npos);
    EXPECT_EQ(p.svg.find("font-size=\"11\""), std::string::npos) << "the reports' size, too small on the page";
  }
  run.steps.erase(run.steps.begin() + 1);
  run.steps.pop_back();
  EXPECT_TRUE(SpectrumPlots(run).empty());
}

// vorn-host --serve in a process of its own, with its port once it says.
class ServedHost {
 public:
  ServedHost(const std::string &dir, const std::string &args) : dir_(dir) {
    pid_ = fork();
    if (pid_ == 0) {
      const std::string command =
          "exec " + std::string(VORN_HOST_FILE) + " " + args + " </dev/null >" + dir + "/out 2>" + dir + "/err";
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
      _exit(127);
    }
    const std::string said = "operator's screen is at http://127.0.0.1:";
    for (int i = 0; i < 1000 && port_ == 0; ++i) {
      const std::string err = vorn_test::ReadText(dir + "/err");
      const std::size_t at = err.find(said);
      if (at != std::string::npos) port_ = std::atoi(err.c_str() + at + said.size());
      if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~ServedHost() {
    if (pid_ > 0) stop(SIGKILL);
  }
  int port() const { return port_; }
  // Sends signal and waits for the end: the exit status, -1 if it did not exit.
  int stop(int signal) {
    kill(pid_, signal);
    int raw = 0;
    waitpid(pid_, &raw, 0);
    pid_ = 0;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  std::string err() const { return vorn_test::ReadText(dir_ + "/err"); }

 private:
  std::string dir_;
  pid_t pid_ = 0;
  int port_ = 0;
};

// Ctrl-C while the page's "Turn on phone!" is open, on the whole vorn-host:
// the stop is one stop, so the cleanup runs and its steps have verdicts.
TEST(WebServer, ASignalAtThePagesPromptRunsTheCleanup) {
  const std::string examples = VORN_EXAMPLES_DIR;
  const std::string dir = vorn_test::TempDir();
  struct Joined {
    std::thread thread;
    ~Joined() {
      if (thread.joinable()) thread.join();
    }
  } watcher;  // before the host: it ends once the host has gone
  ServedHost host(dir, "--serve 0 --fast --no-db --operator op-7 --scenario phone-off-until-prompt --json " + dir +
                           "/units.jsonl --params " + examples + "/station.ini " + examples + "/typical.plan");
  ASSERT_NE(host.port(), 0) << host.err();
  watcher.thread = std::thread([port = host.port()] {
    httplib::Client page("127.0.0.1", port);
    page.Get("/events", [](const char *, size_t) { return true; });
  });
  httplib::Client page("127.0.0.1", host.port());
  const auto state = [&page] {
    const auto res = page.Get("/state");
    return res ? nlohmann::json::parse(res->body) : nlohmann::json::object();
  };
  for (int i = 0; i < 500 && state().value("watchers", 0) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const auto started = page.Post("/start", "{\"serial\":\"OFF-1\"}", "application/json");
  ASSERT_TRUE(started);
  ASSERT_EQ(started->status, 202);
  bool prompted = false;
  for (int i = 0; i < 500 && !prompted; ++i) {
    prompted = state()["panels"][0]["prompt"].is_object();
    if (!prompted) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(prompted) << host.err();
  EXPECT_NE(host.stop(SIGINT), -1);

  std::ifstream lines(dir + "/units.jsonl");
  std::string line;
  ASSERT_TRUE(std::getline(lines, line)) << "the attempt's record";
  const nlohmann::json unit = nlohmann::json::parse(line);
  EXPECT_EQ(unit["stopped"], true);
  int cleanup = 0;
  for (const nlohmann::json &step : unit["steps"]) {
    if (!step.value("cleanup", false)) continue;
    ++cleanup;
    EXPECT_NE(step["verdict"], "NOT RUN") << step.dump();
  }
  EXPECT_EQ(cleanup, 3);
  vorn_test::RemoveTempDir(dir);
}

// The station's own prompt (a message box the page cannot answer) is shown
// while it is open, and gone once it closes or the watch ends.
TEST(WebServer, TheStationsOwnPromptIsShownWhileItIsOpen) {
  Served s;
  std::atomic<bool> open{true};
  const auto stationPrompt = [&s] { return nlohmann::json::parse(s.client.Get("/state")->body)["stationPrompt"]; };
  const auto waitFor = [&](const nlohmann::json &expected) {
    uint64_t seen = 0;
    for (int i = 0; i < 20 && stationPrompt() != expected; ++i) {
      seen = s.screen.waitForChange(seen, std::chrono::milliseconds(100));
    }
    return stationPrompt();
  };
  {
    StationPromptWatch watch(s.screen, [&open](std::string &text) {
      if (open) text = "Turn on phone!";
      return open.load();
    });
    EXPECT_EQ(waitFor("Turn on phone!"), "Turn on phone!");
    open = false;
    EXPECT_TRUE(waitFor(nullptr).is_null());
    open = true;
    EXPECT_EQ(waitFor("Turn on phone!"), "Turn on phone!");
  }
  EXPECT_TRUE(stationPrompt().is_null()) << "the watch ended";
}

TEST(WebServer, EventsCarryEachChangeAndEndWhenTheServerStops) {
  Served s;
  std::string received;
  std::thread reader([&] {
    httplib::Client c("127.0.0.1", s.server.port());
    c.Get("/events", [&](const char *data, size_t size) {
      received.append(data, size);
      return true;
    });
  });
  while (s.screen.watchers() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  s.screen.setNotice("first");
  s.screen.setState(SessionState::kStopped);
  s.server.stop();  // at once: the last state still reaches the page
  reader.join();
  EXPECT_NE(received.find("\"state\":\"stopped\""), std::string::npos) << received;
  EXPECT_EQ(received.rfind("data: {", 0), 0u);
  EXPECT_EQ(s.screen.watchers(), 0);
}

TEST(WebServer, ServeAddresses) {
  struct Case {
    const char *text;
    bool ok;
    const char *host;
    int port;
    bool loopback;
  };
  for (const Case &c :
       {Case{"8080", true, "127.0.0.1", 8080, true}, Case{"0.0.0.0:80", true, "0.0.0.0", 80, false},
        Case{"[::1]:9000", true, "::1", 9000, true}, Case{"localhost:1", true, "localhost", 1, true},
        Case{"127.0.0.5:80", true, "127.0.0.5", 80, true},
        Case{"127.attacker.example:80", true, "127.attacker.example", 80, false}, Case{"65536", false, "", 0, false},
        Case{":80", false, "", 0, false}, Case{"host:", false, "", 0, false}, Case{"80x", false, "", 0, false}}) {
    ServeAddress a;
    std::string error;
    EXPECT_EQ(ParseServeAddress(c.text, a, error), c.ok) << c.text;
    if (!c.ok) {
      EXPECT_FALSE(error.empty()) << c.text;
      continue;
    }
    EXPECT_EQ(a.host, c.host) << c.text;
    EXPECT_EQ(a.port, c.port) << c.text;
    EXPECT_EQ(a.loopback(), c.loopback) << c.text;
  }
}

}  // namespace

namespace {

// The station's stop on the page: no serial starts, and only the technician's
// code lifts it; the header says the last verification.
TEST(WebServer, TheStationsStopHoldsEveryStartUntilTheTechniciansCode) {
  Served s;
  StationHealth health;
  health.setCode("4711");
  s.screen.setHealth(&health);
  EXPECT_TRUE(health.attended()) << "the page is someone to acknowledge a stop";
  ASSERT_EQ(s.post("/login", "{\"operator\":\"op-7\"}"), 202);
  LockRecord lock;
  lock.uuid = "L1";
  lock.reason = "3 failures in a row on burst power (DCS 1800)";
  lock.action = "Call the technician";
  health.lock(lock);
  const nlohmann::json state = nlohmann::json::parse(s.client.Get("/state")->body);
  EXPECT_EQ(state["health"]["stop"]["text"],
            "Station stopped: 3 failures in a row on burst power (DCS 1800). Call the technician");
  EXPECT_EQ(state["health"]["stop"]["code"], true);
  const auto refused = s.client.Post("/start", "{\"serial\":\"A1\"}", "application/json");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 409);
  EXPECT_NE(refused->body.find("A1 not taken: Station stopped"), std::string::npos) << refused->body;
  EXPECT_EQ(s.post("/acknowledge-stop", "{\"code\":4711}"), 400);
  EXPECT_EQ(s.post("/acknowledge-stop", "{\"code\":\"1234\"}"), 409);
  EXPECT_TRUE(health.locked());
  EXPECT_EQ(s.post("/acknowledge-stop", "{\"code\":\"4711\"}"), 202);
  EXPECT_FALSE(health.locked());
  const std::optional<AcknowledgementRecord> ack = health.takeAcknowledgement();
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->lockUuid, "L1");
  EXPECT_EQ(ack->via, "page");
  EXPECT_EQ(s.post("/acknowledge-stop", "{\"code\":\"4711\"}"), 409) << "nothing is stopped now";
  EXPECT_EQ(s.post("/start", "{\"serial\":\"A1\"}"), 202);
}

TEST(WebServer, TheHeaderSaysTheStationsLastVerification) {
  const std::time_t now = *UtcSeconds("2024-05-01T10:05:00Z");
  HealthSummary good{"2024-05-01T08:00:00Z", "G-0001", true, -0.31, false};
  HealthSummary failed = good;
  failed.passed = false;
  failed.worst = -1.52;
  HealthSummary unchecked = failed;
  unchecked.unchecked = true;
  const struct {
    std::optional<HealthSummary> health;
    const char *text;
  } cases[] = {
      {std::nullopt, "No verification on record"},
      {good, "Verified 2 h ago, golden G-0001, worst 0.3 dB"},
      {failed, "Verification FAILED 2 h ago, golden G-0001, worst 1.5 dB"},
      {unchecked, "Started without its health check (--no-health-check)"},
  };
  for (const auto &c : cases) EXPECT_EQ(HealthText(c.health, now), c.text);
}

}  // namespace
