// TCPIP SOCKET resources: the VISA stand-in against a TCP server that the test
// starts on the loopback address. Every wait here is bounded.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "outside/visa.h"
#include "support/station_test.h"
#include "visa/status.h"

namespace {

constexpr int kTestTimeoutMs = 5000;

int ListeningSocket(bool listening, uint16_t &port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
      (listening && listen(fd, 1) != 0))
    return -1;
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

// A LAN instrument on 127.0.0.1: takes one connection and keeps what arrives
// until it holds `lines` line feeds, the peer closes, or the time is up.
// With lines = 0 it holds the connection until drop(), then closes it with a reset.
class LoopbackServer {
 public:
  explicit LoopbackServer(int lines) {
    listener_ = ListeningSocket(true, port_);
    if (listener_ >= 0) thread_ = std::thread([this, lines] { serve(lines); });
  }
  ~LoopbackServer() {
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
  }
  bool started() const { return listener_ >= 0; }
  std::string resource() const { return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET"; }
  // The instrument goes away: the held connection is reset.
  void drop() {
    dropped_ = true;
    if (thread_.joinable()) thread_.join();
  }
  // What arrived; waits for the server to finish.
  std::string received() {
    if (thread_.joinable()) thread_.join();
    return received_;
  }

 private:
  void serve(int lines) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTestTimeoutMs);
    pollfd waiting{listener_, POLLIN, 0};
    if (poll(&waiting, 1, kTestTimeoutMs) != 1) return;
    const int peer = accept(listener_, nullptr, nullptr);
    if (peer < 0) return;
    if (lines == 0) {
      // Held until the client has opened its session, so the open never races the reset.
      while (!dropped_ && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      const linger reset{1, 0};  // close with a reset, as a crashed instrument would
      setsockopt(peer, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    int seen = 0;
    while (seen < lines) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd readable{peer, POLLIN, 0};
      if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) != 1) break;
      char buffer[256];
      const ssize_t got = recv(peer, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      received_.append(buffer, static_cast<std::size_t>(got));
      for (ssize_t i = 0; i < got; ++i) seen += buffer[i] == '\n';
    }
    close(peer);
  }

  int listener_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
  std::string received_;
  std::atomic<bool> dropped_{false};
};

// A LAN instrument that serves one connection at a time, as many do: the next
// is accepted only once the peer closed the one before. Serves `connections`
// and counts the messages (line feeds) that reached it.
class OneAtATimeServer {
 public:
  explicit OneAtATimeServer(int connections) {
    listener_ = ListeningSocket(true, port_);
    if (listener_ >= 0) thread_ = std::thread([this, connections] { serve(connections); });
  }
  ~OneAtATimeServer() {
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
  }
  bool started() const { return listener_ >= 0; }
  std::string resource() const { return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET"; }
  // What arrived, and how many connections ended; waits for the server to finish.
  std::string received() {
    if (thread_.joinable()) thread_.join();
    return received_;
  }
  int served() {
    if (thread_.joinable()) thread_.join();
    return served_;
  }

 private:
  void serve(int connections) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTestTimeoutMs);
    for (int c = 0; c < connections; ++c) {
      pollfd waiting{listener_, POLLIN, 0};
      if (poll(&waiting, 1, kTestTimeoutMs) != 1) return;
      const int peer = accept(listener_, nullptr, nullptr);
      if (peer < 0) return;
      for (;;) {  // until the peer closes
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd readable{peer, POLLIN, 0};
        if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) != 1) {
          close(peer);
          return;  // a connection nobody closes holds the instrument for good
        }
        char buffer[256];
        const ssize_t got = recv(peer, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        received_.append(buffer, static_cast<std::size_t>(got));
      }
      close(peer);
      ++served_;
    }
  }

  int listener_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
  std::string received_;
  int served_ = 0;
};

class SupplySocketTest : public vorn_test::StationTest {
 protected:
  ViStatus open(const std::string &name, ViSession *instrument) {
    ViSession rm = VI_NULL;
    EXPECT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    return viOpen(rm, name.c_str(), VI_NO_LOCK, VI_TMO_IMMEDIATE, instrument);
  }
  ViStatus write(ViSession instrument, const std::string &text) {
    ViUInt32 written = 0;
    return viWrite(instrument, reinterpret_cast<const unsigned char *>(text.data()), static_cast<ViUInt32>(text.size()),
                   &written);
  }
};

TEST_F(SupplySocketTest, StepSendsTheFourCommandsEachTerminated) {
  LoopbackServer server(4);
  ASSERT_TRUE(server.started());
  // Longer than 19 characters: the name reaches VISA in full.
  const std::string resource = server.resource();
  ASSERT_GT(resource.size(), 19u);
  writeParameters("[1]\nGPIB=" + resource + "\n");
  ASSERT_EQ(Vorn_CMU200_DcInit(1, host.values, host.names, host.errorText), 0) << host.error();
  EXPECT_EQ(server.received(), "OUTP OFF\nVOLT 4\nCURR 3\nOUTP ON\n");
  ASSERT_EQ(st().journal.count("viOpen"), 1u);
  EXPECT_EQ(st().journal.of("viOpen")[0].args[1], resource);
  const std::string counts[] = {"8", "6", "6", "7"};  // the counts are the commands' own
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(st().journal.of("viWrite")[i].args[2], counts[i]);
  EXPECT_EQ(host.values[1], 1.0);
  EXPECT_FALSE(st().supply.outputOn());  // the LAN supply took them, not the simulated one
}

TEST_F(SupplySocketTest, TenCallsInARowAllReachASupplyServingOneConnectionAtATime) {
  OneAtATimeServer server(10);
  ASSERT_TRUE(server.started());
  writeParameters("[1]\nGPIB=" + server.resource() + "\nReset=0\n");
  st().faults.add("viWrite", VI_ERROR_TMO, 14);  // the fifth call fails at its current command
  for (int call = 1; call <= 10; ++call) {
    host = vorn_test::HostBuffers();
    EXPECT_EQ(Vorn_CMU200_DcInit(1, host.values, host.names, host.errorText), call == 5 ? -1 : 0)
        << call << ": " << host.error();
  }
  std::string expected;
  for (int call = 1; call <= 10; ++call) expected += call == 5 ? "VOLT 4\n" : "VOLT 4\nCURR 3\nOUTP ON\n";
  EXPECT_EQ(server.received(), expected);
  EXPECT_EQ(server.served(), 10);
}

TEST_F(SupplySocketTest, MessageEndingInALineFeedGetsNoSecond) {
  LoopbackServer server(2);
  ASSERT_TRUE(server.started());
  ViSession instrument = VI_NULL;
  ASSERT_EQ(open(server.resource(), &instrument), VI_SUCCESS);
  EXPECT_EQ(viClear(instrument), VI_SUCCESS);
  EXPECT_EQ(write(instrument, "OUTP ON\n"), VI_SUCCESS);
  EXPECT_EQ(write(instrument, ""), VI_SUCCESS);  // nothing to send
  EXPECT_EQ(write(instrument, "VOLT 4;CURR 3"), VI_SUCCESS);
  EXPECT_EQ(server.received(), "OUTP ON\nVOLT 4;CURR 3\n");
}

TEST_F(SupplySocketTest, NobodyListeningIsNotFound) {
  uint16_t port = 0;
  const int bound = ListeningSocket(false, port);  // holds the port, accepts nothing
  ASSERT_GE(bound, 0);
  ViSession instrument = 12345;
  EXPECT_EQ(open("TCPIP0::127.0.0.1::" + std::to_string(port) + "::SOCKET", &instrument), VI_ERROR_RSRC_NFOUND);
  EXPECT_EQ(instrument, VI_NULL);
  close(bound);
}

TEST_F(SupplySocketTest, ClosedConnectionIsReportedNotSignalled) {
  LoopbackServer server(0);
  ASSERT_TRUE(server.started());
  ViSession instrument = VI_NULL;
  ASSERT_EQ(open(server.resource(), &instrument), VI_SUCCESS);
  server.drop();  // the instrument has gone
  // The first writes may still land in the socket's buffer; soon one must fail,
  // with a status and no SIGPIPE.
  ViStatus status = VI_SUCCESS;
  for (int i = 0; i < 100 && status == VI_SUCCESS; ++i) {
    status = write(instrument, "OUTP ON");
    if (status == VI_SUCCESS) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(status, VI_ERROR_CONN_LOST);
  EXPECT_EQ(write(instrument, "OUTP ON"), VI_ERROR_CONN_LOST);  // and stays lost
}

}  // namespace
