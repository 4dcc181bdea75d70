#include "outputs/web/server.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <csignal>
#include <functional>

#include "operator_page.h"  // generated from page/
#include "os/net.h"
#include "outputs/web/connections.h"

namespace vorn_host::web {
namespace {

void Refuse(httplib::Response &res, int status, const std::string &why) {
  res.status = status;
  res.set_content(nlohmann::json{{"error", why}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                  "application/json");
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

bool Digits(const std::string &text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void Static(httplib::Server &http, const char *path, const char *data, std::size_t size, const char *type) {
  http.Get(path,
           [data, size, type](const httplib::Request &, httplib::Response &res) { res.set_content(data, size, type); });
}

// The server's own task queue runs each accepted connection's task at once,
// on the accepting thread: the task only hands the connection to the gate.
class HandOver : public httplib::TaskQueue {
 public:
  void enqueue(std::function<void()> task) override { task(); }
  void shutdown() override {}
};

// cpp-httplib's server, its connections held by Connections (connections.h)
// instead of a thread each for as long as the client likes.
class HttpServer : public httplib::Server {
 public:
  Connections *connections = nullptr;
  void longBacklog() { net::LongBacklog(svr_sock_); }
  bool answer(httplib::Stream &stream, bool last) {
    bool closed = false;
    return process_request(stream, last, closed, nullptr) && !closed;
  }

 private:
  bool process_and_close_socket(socket_t sock) override {
    connections->admit(sock);
    return true;
  }
};

// What is wrong with how a request carries its body, if anything. Only an
// action has one, at most bodyBytes, with its length given: a body without
// one (chunked, or read until the connection ends) could run on for ever.
std::string BodyProblem(const httplib::Request &req, std::size_t bodyBytes, int &status) {
  const bool action = req.method == "POST";
  status = 411;
  if (req.has_header("Transfer-Encoding")) return "a body is sent whole, with its Content-Length";
  if (!req.has_header("Content-Length")) return action ? "an action gives its body's Content-Length" : "";
  status = 400;
  const std::string length = req.get_header_value("Content-Length");
  if (!Digits(length) || req.get_header_value_count("Content-Length") > 1) return "malformed Content-Length";
  if (!action && length.find_first_not_of('0') != std::string::npos) return "only an action has a body";
  status = 413;
  if (length.size() > 9 || std::stoul(length) > bodyBytes) {
    return "an action's body is at most " + std::to_string(bodyBytes) + " bytes";
  }
  return "";
}

}  // namespace

bool ServeAddress::loopback() const { return Lower(host) == "localhost" || net::IsLoopbackAddress(host); }

bool ServeAddress::everyAddress() const { return host == "0.0.0.0" || host == "::"; }

HostNames::HostNames(const ServeAddress &address)
    : names_{"localhost", "127.0.0.1", "[::1]"}, anyAddress_(address.everyAddress()), port_(address.port) {
  const bool v6 = address.host.find(':') != std::string::npos;
  if (!anyAddress_) names_.push_back(Lower(v6 ? "[" + address.host + "]" : address.host));
}

bool HostNames::allows(const std::string &header) const {
  // NAME, NAME:PORT, [V6] or [V6]:PORT
  const std::size_t close = header.rfind(']');
  const std::size_t colon = header.find(':', close == std::string::npos ? 0 : close);
  const std::string name = Lower(header.substr(0, colon));
  if (colon != std::string::npos) {
    const std::string port = header.substr(colon + 1);
    if (!Digits(port) || port.size() > 5 || std::stoi(port) != port_) return false;
  }
  if (name.empty() || (name.find(':') != std::string::npos && name.front() != '[')) return false;
  if (std::find(names_.begin(), names_.end(), name) != names_.end()) return true;
  if (!anyAddress_) return false;
  // Served on every address: reached by any of them, written as numbers,
  // which no other site's name can stand for.
  const bool bracketed = name.size() > 2 && name.front() == '[' && name.back() == ']';
  return bracketed ? net::IsAddressLiteral(name.substr(1, name.size() - 2))
                   : name.find(':') == std::string::npos && net::IsAddressLiteral(name);
}

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
  const bool digits = Digits(port) && port.size() <= 5;
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
  HttpServer http;
  HostNames hosts{ServeAddress{}};
  std::atomic<std::size_t> streams{0};
  std::unique_ptr<Connections> connections;

  // Every request, before its body is read and before its route: false when
  // it is refused, with the answer in res.
  bool admits(const httplib::Request &req, httplib::Response &res, const Bounds &bounds);
  // Why a request whose body is as it should be is refused, or empty.
  std::string refusal(const httplib::Request &req, Connection *connection, const Bounds &bounds, int &status);
};

bool WebServer::Impl::admits(const httplib::Request &req, httplib::Response &res, const Bounds &bounds) {
  Connection *connection = Connections::current();
  int status = 0;
  std::string why = BodyProblem(req, bounds.bodyBytes, status);
  const bool unread =
      !why.empty() || req.get_header_value("Content-Length").find_first_not_of('0') != std::string::npos;
  if (why.empty()) why = refusal(req, connection, bounds, status);
  if (why.empty()) return true;
  // A refused body is not read: the connection ends with the refusal, or
  // its body would be taken for the next request.
  if (connection != nullptr && unread) connection->closeAfter = true;
  Refuse(res, status, why);
  return false;
}

std::string WebServer::Impl::refusal(const httplib::Request &req, Connection *connection, const Bounds &bounds,
                                     int &status) {
  // Only this machine's names and the served host's: a page of another site
  // whose name was pointed here (DNS rebinding) is not served.
  status = 403;
  if (req.get_header_value_count("Host") != 1 || !hosts.allows(req.get_header_value("Host"))) {
    return "this page is served only by the name it was served on";
  }
  const bool action = req.method == "POST";
  if (connection != nullptr) {
    // Each connection's own rate: another client's traffic never uses the
    // operator's, whoever shares its address.
    const Clock::time_point now = Clock::now();
    status = 429;
    if (!connection->requests.take(bounds.requestsPerSecond, bounds.requestBurst, now) ||
        (action && !connection->actions.take(bounds.actionsPerSecond, bounds.actionBurst, now))) {
      return "too many requests: slow down";
    }
  }
  if (!action) return "";
  // Only the page itself acts: another site's form or script cannot.
  status = 403;
  const std::string origin = req.get_header_value("Origin");
  if (!origin.empty() && origin != "http://" + req.get_header_value("Host")) {
    return "actions come from the operator's page only";
  }
  status = 415;
  if (req.get_header_value("Content-Type").rfind("application/json", 0) != 0) return "an action is a JSON body";
  return "";
}

WebServer::WebServer(Screen &screen, Bounds bounds)
    : screen_(screen), bounds_(bounds), impl_(std::make_unique<Impl>()) {
  httplib::Server &http = impl_->http;
  http.new_task_queue = [] { return new HandOver; };
  http.set_socket_options(net::ExclusivePort);
  http.set_payload_max_length(bounds.bodyBytes);
  http.set_read_timeout(bounds.requestSeconds, 0);
  http.set_write_timeout(bounds.requestSeconds, 0);
  http.set_keep_alive_timeout(bounds.requestSeconds);
  http.set_keep_alive_max_count(100);
  http.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
    return impl_->admits(req, res, bounds_) ? httplib::Server::HandlerResponse::Unhandled
                                            : httplib::Server::HandlerResponse::Handled;
  });
  http.set_post_routing_handler([](const httplib::Request &, httplib::Response &res) {
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("X-Frame-Options", "DENY");
    res.set_header("Content-Security-Policy", "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'");
  });
  routes();
}

void WebServer::routes() {
  httplib::Server &http = impl_->http;
  Impl &impl = *impl_;
  Static(http, "/", page::kIndexHtml, sizeof page::kIndexHtml - 1, "text/html; charset=utf-8");
  Static(http, "/operator.css", page::kOperatorCss, sizeof page::kOperatorCss - 1, "text/css; charset=utf-8");
  Static(http, "/operator.js", page::kOperatorJs, sizeof page::kOperatorJs - 1, "text/javascript; charset=utf-8");

  http.Get("/state", [this](const httplib::Request &, httplib::Response &res) {
    res.set_content(screen_.snapshot().json(), "application/json");
  });

  http.Get("/spectrum.svg", [this](const httplib::Request &req, httplib::Response &res) {
    // ?plot=N: the band's index in the state's plots; the first without one.
    const std::string index = req.get_param_value("plot");
    uint64_t version = 0;
    std::string svg = Digits(index) && index.size() < 4 ? screen_.plot(std::stoul(index), version)
                                                        : (index.empty() ? screen_.plot(0, version) : "");
    if (svg.empty()) return Refuse(res, 404, "no such plot");
    res.set_content(std::move(svg), "image/svg+xml");
  });

  http.Get("/events", [this, &impl](const httplib::Request &, httplib::Response &res) {
    // Each stream keeps a thread of the server: a bound for all pages together.
    if (impl.streams.fetch_add(1) >= bounds_.streams) {
      impl.streams.fetch_sub(1);
      return Refuse(res, 503, "too many pages are open");
    }
    screen_.watcherJoined();
    auto seen = std::make_shared<uint64_t>(UINT64_MAX);
    const int heartbeatMs = bounds_.heartbeatMs;
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, seen, heartbeatMs](std::size_t, httplib::DataSink &sink) {
          const uint64_t version = screen_.waitForChange(*seen, std::chrono::milliseconds(heartbeatMs));
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

  actionRoutes();
}

void WebServer::actionRoutes() {
  httplib::Server &http = impl_->http;
  auto action = [this](Action (*read)(const nlohmann::json &, bool &)) {
    return [this, read](const httplib::Request &req, httplib::Response &res) {
      const nlohmann::json body = nlohmann::json::parse(req.body.empty() ? "{}" : req.body, nullptr, false);
      bool ok = body.is_object();
      Action a = ok ? read(body, ok) : Action::stop();
      if (!ok) return Refuse(res, 400, "malformed action");
      std::string why;
      if (!screen_.act(std::move(a), why)) return Refuse(res, 409, why);
      res.status = 202;
      res.set_content("{\"ok\":true}", "application/json");
    };
  };
  // The panel an action is for: its socket's name, none on a station of one.
  static const auto socketOf = [](const nlohmann::json &body, bool &ok) {
    const auto socket = body.find("socket");
    if (socket == body.end()) return std::string();
    ok = ok && socket->is_string();
    return socket->is_string() ? socket->get<std::string>() : std::string();
  };
  static const auto idOf = [](const nlohmann::json &body, const char *key, bool &ok) {
    const auto id = body.find(key);
    ok = id != body.end() && id->is_number_unsigned();
    return ok ? id->get<uint64_t>() : 0;
  };
  http.Post("/start", action([](const nlohmann::json &body, bool &ok) {
              const auto serial = body.find("serial");
              ok = serial != body.end() && serial->is_string();
              return Action::start(ok ? serial->get<std::string>() : "", socketOf(body, ok));
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
              const uint64_t id = idOf(body, "prompt", ok);
              return Action::acknowledge(id, socketOf(body, ok));
            }));
  http.Post("/confirm", action([](const nlohmann::json &body, bool &ok) {
              const uint64_t id = idOf(body, "id", ok);
              return Action::confirm(id, socketOf(body, ok));
            }));
  http.Post("/cancel", action([](const nlohmann::json &body, bool &ok) {
              const uint64_t id = idOf(body, "id", ok);
              return Action::cancel(id, socketOf(body, ok));
            }));
  http.Post("/login", action([](const nlohmann::json &body, bool &ok) {
              const auto name = body.find("operator");
              ok = name != body.end() && name->is_string();
              return Action::login(ok ? name->get<std::string>() : "");
            }));
  http.Post("/logout", action([](const nlohmann::json &, bool &) { return Action::logout(); }));
}

WebServer::~WebServer() { stop(); }

bool WebServer::start(const ServeAddress &address, std::string &error) {
#if !defined(_WIN32)
  std::signal(SIGPIPE, SIG_IGN);  // a page that went away is a failed write, not the end of the host
#endif
  HttpServer &http = impl_->http;
  const std::string where = address.host + ":" + std::to_string(address.port);
  if (address.port == 0) {
    port_ = http.bind_to_any_port(address.host);
  } else {
    port_ = http.bind_to_port(address.host, address.port) ? address.port : -1;
  }
  if (port_ <= 0) {
    error = "cannot serve on " + where + ": " +
            (net::AddressInUse() ? "the port is in use: another station or program listens on it"
                                 : "the address is not this machine's, or the port is not open to this user");
    port_ = 0;
    return false;
  }
  http.longBacklog();
  impl_->hosts = HostNames(ServeAddress{address.host, port_});
  ConnectionBounds bounds;
  bounds.connections = bounds_.connections;
  bounds.workers = bounds_.streams + 16;  // every stream, and room for the requests beside them
  bounds.requestSeconds = bounds_.requestSeconds;
  bounds.bodyBytes = bounds_.bodyBytes;
  impl_->connections = std::make_unique<Connections>(
      bounds, [&http](httplib::Stream &stream, bool last) { return http.answer(stream, last); });
  http.connections = impl_->connections.get();
  thread_ = std::thread([&http] { http.listen_after_bind(); });
  // Serving once this returns, so that a stop at once finds it running.
  for (int i = 0; i < 1000 && !http.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
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
  if (impl_->connections) impl_->connections->stop();
}

}  // namespace vorn_host::web
