// The web server's socket calls on Windows (Winsock), twin of net_posix.cpp.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <cstring>

#include "os/net.h"

namespace vorn_host::net {

namespace {

int Clamp(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

}  // namespace

void ExclusivePort(Socket listening) {
  // Without it Windows lets another socket bind the same port with
  // SO_REUSEADDR and take its share of the connections.
  BOOL yes = TRUE;
  setsockopt(listening, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&yes), sizeof yes);
}

bool AddressInUse() {
  const int code = WSAGetLastError();
  return code == WSAEADDRINUSE || code == WSAEACCES;  // WSAEACCES: held exclusively by another
}

void LongBacklog(Socket listening) { ::listen(listening, SOMAXCONN); }

bool WaitReadable(const std::vector<Socket> &sockets, std::vector<char> &ready, int timeoutMs) {
  std::vector<WSAPOLLFD> fds(sockets.size());
  for (std::size_t i = 0; i < sockets.size(); ++i) fds[i] = WSAPOLLFD{sockets[i], POLLRDNORM, 0};
  ready.assign(sockets.size(), 0);
  if (fds.empty()) {
    Sleep(static_cast<DWORD>(timeoutMs));
    return true;
  }
  const int n = WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs);
  if (n == SOCKET_ERROR) return false;
  for (std::size_t i = 0; i < fds.size(); ++i) ready[i] = fds[i].revents != 0;
  return true;
}

int WaitOne(Socket socket, bool forWriting, int timeoutMs) {
  WSAPOLLFD fd{socket, static_cast<SHORT>(forWriting ? POLLWRNORM : POLLRDNORM), 0};
  const int n = WSAPoll(&fd, 1, timeoutMs);
  if (n == SOCKET_ERROR) return -1;
  if (n == 0) return 0;
  if (forWriting && (fd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return -1;
  return 1;
}

long Receive(Socket socket, char *data, std::size_t size) {
  const int n = ::recv(socket, data, Clamp(size), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

long Send(Socket socket, const char *data, std::size_t size) {
  const int n = ::send(socket, data, Clamp(size), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

void ShutdownSending(Socket socket) { ::shutdown(socket, SD_SEND); }

void Close(Socket socket) {
  ::shutdown(socket, SD_BOTH);
  ::closesocket(socket);
}

}  // namespace vorn_host::net
