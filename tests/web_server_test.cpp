// The operator's web server over real HTTP on the loopback address: only the
// page and its three actions exist, bodies and rates are bounded, an action
// the session cannot take now is refused, and the events carry the state.
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <atomic>

#include "outputs/web/screen.h"
#include "outputs/web/serve.h"
#include "outputs/web/server.h"

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
  EXPECT_EQ(s.post("/start", "{\"serial\":\"A1\"}"), 202);
  EXPECT_EQ(s.post("/start", "{\"serial\":\"A2\"}"), 409) << "a second start while the first is pending";
  EXPECT_EQ(s.post("/acknowledge", "{\"prompt\":1}"), 409) << "no prompt is open";
  const std::optional<Action> taken = s.screen.nextAction(std::chrono::milliseconds(100));
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->serial, "A1");
  EXPECT_FALSE(s.screen.nextAction(std::chrono::milliseconds(10))) << "refused actions are not queued";

  httplib::Headers foreign = {{"Origin", "http://evil.example"}};
  const auto res = s.client.Post("/stop", foreign, "{}", "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 403);
  EXPECT_FALSE(s.screen.stopRequested());
  EXPECT_EQ(s.post("/stop", "{}"), 202);
  EXPECT_TRUE(s.screen.stopRequested());
}

TEST(WebServer, BodiesRatesAndHostsAreBounded) {
  Bounds bounds;
  bounds.actionBurst = 3;
  bounds.actionsPerSecond = 0.001;
  Served s(bounds);
  EXPECT_EQ(s.post("/acknowledge", std::string(2000, ' ')), 413);
  int refused = 0;
  for (int i = 0; i < 6; ++i) refused += s.post("/acknowledge", "{\"prompt\":1}") == 429;
  EXPECT_EQ(refused, 4);  // the oversized one took a token too
  httplib::Headers rebound = {{"Host", "attacker.example"}};
  const auto res = s.client.Get("/state", rebound);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 403);
}

TEST(WebServer, ThePromptWaitsForItsOwnAcknowledgementFromAWatchingPage) {
  Served s;
  EXPECT_EQ(s.screen.prompt("Turn on phone!"), PromptAnswer::kNoPage) << "no page is watching";
  s.screen.watcherJoined();
  std::thread step([&] { EXPECT_EQ(s.screen.prompt("Turn on phone!"), PromptAnswer::kAcknowledged); });
  uint64_t id = 0;
  for (int i = 0; i < 200 && id == 0; ++i) {
    const nlohmann::json state = nlohmann::json::parse(s.client.Get("/state")->body);
    if (!state["prompt"].is_null()) id = state["prompt"]["id"].get<uint64_t>();
    if (id == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_NE(id, 0u);
  EXPECT_EQ(s.post("/acknowledge", "{\"prompt\":" + std::to_string(id + 1) + "}"), 409);
  EXPECT_EQ(s.post("/acknowledge", "{\"prompt\":" + std::to_string(id) + "}"), 202);
  step.join();
  EXPECT_TRUE(nlohmann::json::parse(s.client.Get("/state")->body)["prompt"].is_null());
  s.screen.watcherLeft();
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
  for (const Case &c : {Case{"8080", true, "127.0.0.1", 8080, true}, Case{"0.0.0.0:80", true, "0.0.0.0", 80, false},
                        Case{"[::1]:9000", true, "::1", 9000, true}, Case{"localhost:1", true, "localhost", 1, true},
                        Case{"65536", false, "", 0, false}, Case{":80", false, "", 0, false},
                        Case{"host:", false, "", 0, false}, Case{"80x", false, "", 0, false}}) {
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
  LockRecord lock;
  lock.uuid = "L1";
  lock.reason = "3 failures in a row on burst power (DCS 1800)";
  lock.action = "Call the technician";
  health.lock(lock);
  const nlohmann::json state = nlohmann::json::parse(s.client.Get("/state")->body);
  EXPECT_EQ(state["health"]["stop"]["text"],
            "Station stopped: 3 failures in a row on burst power (DCS 1800). Call the technician");
  EXPECT_EQ(state["health"]["stop"]["code"], true);
  EXPECT_EQ(s.post("/start", "{\"serial\":\"A1\"}"), 409);
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
