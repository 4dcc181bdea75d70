// What the web server asks of an address, the same on every system: its
// numeric text and port, whether a text is an address, whether it is this
// machine's loopback.
#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
using AddressSize = int;
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
using AddressSize = socklen_t;
#endif

#include <cstdlib>
#include <cstring>

#include "os/net.h"

namespace vorn_host::net {

namespace {

void Numeric(const sockaddr_storage &address, AddressSize size, std::string &text, int &port) {
  char host[NI_MAXHOST] = {};
  char service[NI_MAXSERV] = {};
  if (getnameinfo(reinterpret_cast<const sockaddr *>(&address), size, host, sizeof host, service, sizeof service,
                  NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return;
  }
  text = host;
  port = std::atoi(service);
}

}  // namespace

void PeerAddress(Socket socket, std::string &address, int &port) {
  sockaddr_storage a{};
  AddressSize size = sizeof a;
  if (getpeername(socket, reinterpret_cast<sockaddr *>(&a), &size) == 0) Numeric(a, size, address, port);
}

void LocalAddress(Socket socket, std::string &address, int &port) {
  sockaddr_storage a{};
  AddressSize size = sizeof a;
  if (getsockname(socket, reinterpret_cast<sockaddr *>(&a), &size) == 0) Numeric(a, size, address, port);
}

bool IsAddressLiteral(const std::string &text) {
  unsigned char bytes[sizeof(in6_addr)];
  return inet_pton(AF_INET, text.c_str(), bytes) == 1 || inet_pton(AF_INET6, text.c_str(), bytes) == 1;
}

bool IsLoopbackAddress(const std::string &text) {
  in_addr v4{};
  in6_addr v6{};
  if (inet_pton(AF_INET, text.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  static const in6_addr kLoopback = IN6ADDR_LOOPBACK_INIT;
  return inet_pton(AF_INET6, text.c_str(), &v6) == 1 && std::memcmp(&v6, &kLoopback, sizeof v6) == 0;
}

}  // namespace vorn_host::net
