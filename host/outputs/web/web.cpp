// --serve [HOST:]PORT: the operator's web page as one of vorn-host's outputs.
// It subscribes to the session's bus through its Screen, and it is the
// operator's desk: the units are the serials scanned on the page (a panel
// per socket), the equipment's prompts are answered in the socket's panel,
// and its Stop stops the session, every socket.
#include <optional>

#include "os/os.h"
#include "outputs/output.h"
#include "outputs/web/serve.h"
#include "outputs/web/server.h"

namespace vorn_host {

namespace {

class Page : public Output, public Desk {
 public:
  Page(const Plan &plan, const StationSettings &settings, int retest, StationHealth *health)
      : server_(screen_), units_(screen_) {
    screen_.setPlan(plan);
    screen_.setRules(settings, retest);
    screen_.setHealth(health);
    screen_.setInterrupted([] { return StopRequests() > 0; });
  }

  bool start(const web::ServeAddress &address, bool realStation, std::FILE *messages, std::string &error) {
    if (!server_.start(address, error)) return false;
    const std::string host = address.host.find(':') != std::string::npos ? "[" + address.host + "]" : address.host;
    std::fprintf(messages, "vorn-host: the operator's screen is at http://%s:%d/\n", host.c_str(), server_.port());
    if (!address.loopback()) {
      std::fprintf(messages,
                   "vorn-host: %s is not this machine's loopback address: the page is reachable from the "
                   "network, and anyone who reaches it can start and stop units\n",
                   address.host.c_str());
    }
    // A real station's prompts are its library's message boxes, on the
    // thread that runs the steps: the page says when one is open.
    MarkStepThread();
    if (realStation) stationPrompts_.emplace(screen_, OpenMessageBox);
    return true;
  }

  Subscriber &subscriber() override { return screen_; }
  Desk *desk() override { return this; }
  UnitSource &units() override { return units_; }
  std::optional<bool> answerPrompt(const std::string &socket, const std::string &text) override {
    switch (screen_.prompt(socket, text)) {
      case web::PromptAnswer::kAcknowledged: return true;
      case web::PromptAnswer::kStopped: return false;
      case web::PromptAnswer::kNoPage: break;
    }
    return std::nullopt;
  }
  bool stopRequested() override { return screen_.stopRequested(); }

 private:
  web::Screen screen_;
  web::WebServer server_;
  web::ScannedUnits units_;
  std::optional<web::StationPromptWatch> stationPrompts_;  // last: ends before the screen goes
};

void AddOptions(CommandLine &line) {
  line.value("--serve", "[HOST:]PORT",
             "each unit's serial scanned on the operator's web page at\n"
             "http://HOST:PORT/ (HOST 127.0.0.1 unless given; PORT 0:\n"
             "any free port, as printed); Stop or Ctrl-C ends it");
}

std::unique_ptr<Output> Open(OutputSetup &setup, std::string &error) {
  const std::string text = setup.options.text("--serve");
  if (text.empty()) return nullptr;
  web::ServeAddress address;
  if (!web::ParseServeAddress(text, address, error)) return nullptr;
  static const StationSettings kDefaults;
  const StationSettings &settings = setup.settings != nullptr ? *setup.settings : kDefaults;
  auto page =
      std::make_unique<Page>(setup.plan, settings, static_cast<int>(setup.options.number("--retest")), setup.health);
  if (!page->start(address, setup.realStation, setup.messages, error)) return nullptr;
  return page;
}

}  // namespace

OutputModule WebOutput() { return {"web", AddOptions, "--serve", Open}; }

}  // namespace vorn_host
