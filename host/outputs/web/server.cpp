#include "outputs/web/server.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <map>

#include "operator_page.h"  // generated from page/

namespace vorn_host::web {
namespace {

using Clock = std::chrono::steady_clock;

// A token bucket: rate tokens a second, at most burst of them.
struct Bucket {
  double tokens = -1;  // -1: full, not used yet
  Clock::time_point last;

  bool take(double rate, double burst, Clock::time_point now) {
    if (tokens < 0) tokens = burst;
    tokens = std::min(burst, tokens + rate * std::chrono::duration<double>(now - last).count());
    last = now;
    if (tokens < 1) return false;
    tokens -= 1;
    return true;
  }
};

struct Client {
  Bucket requests;
  Bucket actions;
};

constexpr std::size_t kClientsKept = 1024;

void Refuse(httplib::Response &res, int status, const std::string &why) {
  res.status = status;
  res.set_content(nlohmann::json{{"error", why}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                  "application/json");
}

bool IsLoopbackHost(const std::string &host) {
  return host == "localhost" || host == "::1" || host == "[::1]" || host.rfind("127.", 0) == 0;
}

// The Host header without its port.
std::string HostName(const std::string &header) {
  if (!header.empty() && header[0] == '[') return header.substr(0, header.find(']') + 1);
  return header.substr(0, header.find(':'));
}

void Static(httplib::Server &http, const char *path, const char *data, std::size_t size, const char *type) {
  http.Get(path,
           [data, size, type](const httplib::Request &, httplib::Response &res) { res.set_content(data, size, type); });
}

}  // namespace

bool ServeAddress::loopback() const { return IsLoopbackHost(host); }

bool ParseServeAddress(const std::string &text, ServeAddress &address, std::string &error) {
  std::string host = "127.0.0.1";
  std::string port = text;
  const std::size_t colon = text.rfind(':');
  if (colon != std::string::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host.empty() || host.find_first_of("[]") != std::string::npos) {
      error = "--serve " + text + ": the host before the port is missing or malformed";
      return false;
    }
  }
  int number = 0;
  const bool digits = !port.empty() && port.size() <= 5 &&
                      std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits) number = std::stoi(port);
  if (!digits || number > 65535) {
    error = "--serve " + text + ": the port must be a number from 0 (any free one) to 65535";
    return false;
  }
  address.host = host;
  address.port = number;
  return true;
}

struct WebServer::Impl {
  httplib::Server http;
  std::mutex clientsMutex;
  std::map<std::string, Client> clients;
  std::atomic<std::size_t> streams{0};
};

WebServer::WebServer(Screen &screen, Bounds bounds) : screen_(screen), impl_(std::make_unique<Impl>()) {
  httplib::Server &http = impl_->http;
  Impl &impl = *impl_;
  // A thread per open stream, and room for each page's other connections,
  // which a browser keeps open for a while after their requests.
  const std::size_t threads = 2 * bounds.streams + 16;
  http.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  http.set_payload_max_length(bounds.bodyBytes);
  http.set_read_timeout(5, 0);
  http.set_write_timeout(5, 0);
  http.set_keep_alive_timeout(1);

  // Every request: the client's rate, the host it asked for, then the route.
  http.set_pre_routing_handler([&impl, bounds, this](const httplib::Request &req, httplib::Response &res) {
    const bool action = req.method == "POST";
    {
      std::lock_guard<std::mutex> lock(impl.clientsMutex);
      if (impl.clients.size() >= kClientsKept && impl.clients.count(req.remote_addr) == 0) impl.clients.clear();
      Client &client = impl.clients[req.remote_addr];
      const Clock::time_point now = Clock::now();
      const bool allowed = client.requests.take(bounds.requestsPerSecond, bounds.requestBurst, now) &&
                           (!action || client.actions.take(bounds.actionsPerSecond, bounds.actionBurst, now));
      if (!allowed) {
        Refuse(res, 429, "too many requests: slow down");
        return httplib::Server::HandlerResponse::Handled;
      }
    }
    // Bound to this machine only: a page from elsewhere that renamed itself
    // to this address (DNS rebinding) is not served.
    if (localOnly_ && !IsLoopbackHost(HostName(req.get_header_value("Host")))) {
      Refuse(res, 403, "this page is served to this machine only");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (action) {
      // Only the page itself acts: another site's form or script cannot.
      const std::string origin = req.get_header_value("Origin");
      if (!origin.empty() && origin != "http://" + req.get_header_value("Host")) {
        Refuse(res, 403, "actions come from the operator's page only");
        return httplib::Server::HandlerResponse::Handled;
      }
      if (req.get_header_value("Content-Type").rfind("application/json", 0) != 0) {
        Refuse(res, 415, "an action is a JSON body");
        return httplib::Server::HandlerResponse::Handled;
      }
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  http.set_post_routing_handler([](const httplib::Request &, httplib::Response &res) {
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("X-Frame-Options", "DENY");
    res.set_header("Content-Security-Policy", "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'");
  });

  Static(http, "/", page::kIndexHtml, sizeof page::kIndexHtml - 1, "text/html; charset=utf-8");
  Static(http, "/operator.css", page::kOperatorCss, sizeof page::kOperatorCss - 1, "text/css; charset=utf-8");
  Static(http, "/operator.js", page::kOperatorJs, sizeof page::kOperatorJs - 1, "text/javascript; charset=utf-8");

  http.Get("/state", [this](const httplib::Request &, httplib::Response &res) {
    res.set_content(screen_.snapshot().json(), "application/json");
  });

  http.Get("/spectrum.svg", [this](const httplib::Request &, httplib::Response &res) {
    uint64_t version = 0;
    std::string svg = screen_.plot(version);
    if (svg.empty()) return Refuse(res, 404, "no plot yet");
    res.set_content(std::move(svg), "image/svg+xml");
  });

  http.Get("/events", [this, &impl, bounds](const httplib::Request &, httplib::Response &res) {
    if (impl.streams.fetch_add(1) >= bounds.streams) {
      impl.streams.fetch_sub(1);
      return Refuse(res, 503, "too many pages are open");
    }
    screen_.watcherJoined();
    auto seen = std::make_shared<uint64_t>(UINT64_MAX);
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, seen, bounds](std::size_t, httplib::DataSink &sink) {
          const uint64_t version = screen_.waitForChange(*seen, std::chrono::milliseconds(bounds.heartbeatMs));
          // Read before the snapshot: whatever came before the close is in it.
          const bool ending = screen_.closed();
          std::string message;
          if (version != *seen) {
            const Snapshot snapshot = screen_.snapshot();
            message = "data: " + snapshot.json() + "\n\n";
            *seen = snapshot.version;
          } else {
            message = ": still here\n\n";  // finds a page that went away
          }
          if (!sink.write(message.data(), message.size())) return false;
          if (ending) sink.done();
          return true;
        },
        [this, &impl](bool) {
          screen_.watcherLeft();
          impl.streams.fetch_sub(1);
        });
  });

  auto action = [this](Action (*read)(const nlohmann::json &, bool &)) {
    return [this, read](const httplib::Request &req, httplib::Response &res) {
      const nlohmann::json body = nlohmann::json::parse(req.body.empty() ? "{}" : req.body, nullptr, false);
      bool ok = body.is_object();
      const Action a = ok ? read(body, ok) : Action::stop();
      if (!ok) return Refuse(res, 400, "malformed action");
      std::string why;
      if (!screen_.act(a, why)) return Refuse(res, 409, why);
      res.status = 202;
      res.set_content("{\"ok\":true}", "application/json");
    };
  };
  http.Post("/start", action([](const nlohmann::json &body, bool &ok) {
              const auto serial = body.find("serial");
              ok = serial != body.end() && serial->is_string();
              return Action::start(ok ? serial->get<std::string>() : "");
            }));
  http.Post("/stop", action([](const nlohmann::json &, bool &) { return Action::stop(); }));
  // The technician's code, which lifts the station's stop.
  http.Post("/acknowledge-stop", [this](const httplib::Request &req, httplib::Response &res) {
    const nlohmann::json body = nlohmann::json::parse(req.body.empty() ? "{}" : req.body, nullptr, false);
    const auto code = body.is_object() ? body.find("code") : body.end();
    if (!body.is_object() || code == body.end() || !code->is_string()) return Refuse(res, 400, "malformed action");
    std::string why;
    if (!screen_.acknowledgeStop(code->get<std::string>(), why)) return Refuse(res, 409, why);
    res.status = 202;
    res.set_content("{\"ok\":true}", "application/json");
  });
  http.Post("/acknowledge", action([](const nlohmann::json &body, bool &ok) {
              const auto id = body.find("prompt");
              ok = id != body.end() && id->is_number_unsigned();
              return Action::acknowledge(ok ? id->get<uint64_t>() : 0);
            }));
}

WebServer::~WebServer() { stop(); }

bool WebServer::start(const ServeAddress &address, std::string &error) {
#if !defined(_WIN32)
  std::signal(SIGPIPE, SIG_IGN);  // a page that went away is a failed write, not the end of the host
#endif
  localOnly_ = address.loopback();
  httplib::Server &http = impl_->http;
  const std::string where = address.host + ":" + std::to_string(address.port);
  if (address.port == 0) {
    port_ = http.bind_to_any_port(address.host);
  } else {
    port_ = http.bind_to_port(address.host, address.port) ? address.port : -1;
  }
  if (port_ <= 0) {
    error = "cannot serve on " + where + ": the address is in use or not this machine's";
    port_ = 0;
    return false;
  }
  thread_ = std::thread([&http] { http.listen_after_bind(); });
  return true;
}

void WebServer::stop() {
  // The open pages get the last state (the station stopped) and their streams
  // end before the server goes: within a bound, whatever a page does.
  screen_.close();
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
  while (impl_->streams.load() > 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  impl_->http.stop();
  if (thread_.joinable()) thread_.join();
}

}  // namespace vorn_host::web
