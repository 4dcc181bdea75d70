// The web server's socket calls on POSIX, twin of net_windows.cpp.
#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "os/net.h"

namespace vorn_host::net {

namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;  // a page that went away is a failed write, not a SIGPIPE
#else
constexpr int kSendFlags = 0;
#endif

}  // namespace

void ExclusivePort(Socket listening) {
#ifdef __linux__
  int yes = 1;
  setsockopt(listening, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#else
  (void)listening;  // elsewhere SO_REUSEADDR may share a port: none
#endif
}

bool AddressInUse() { return errno == EADDRINUSE; }

void LongBacklog(Socket listening) { ::listen(listening, SOMAXCONN); }

bool WaitReadable(const std::vector<Socket> &sockets, std::vector<char> &ready, int timeoutMs) {
  std::vector<pollfd> fds(sockets.size());
  for (std::size_t i = 0; i < sockets.size(); ++i) fds[i] = pollfd{sockets[i], POLLIN, 0};
  ready.assign(sockets.size(), 0);
  const int n = ::poll(fds.data(), fds.size(), timeoutMs);
  if (n < 0) return errno == EINTR;
  for (std::size_t i = 0; i < fds.size(); ++i) ready[i] = fds[i].revents != 0;
  return true;
}

int WaitOne(Socket socket, bool forWriting, int timeoutMs) {
  pollfd fd{socket, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
  const int n = ::poll(&fd, 1, timeoutMs);
  if (n < 0) return errno == EINTR ? 0 : -1;
  if (n == 0) return 0;
  // Readable when closed: the read says so. Not writable then.
  if (forWriting && (fd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return -1;
  return 1;
}

long Receive(Socket socket, char *data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::recv(socket, data, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? -1 : static_cast<long>(n);
  }
}

long Send(Socket socket, const char *data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::send(socket, data, size, kSendFlags);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? -1 : static_cast<long>(n);
  }
}

void ShutdownSending(Socket socket) { ::shutdown(socket, SHUT_WR); }

void Close(Socket socket) {
  ::shutdown(socket, SHUT_RDWR);
  ::close(socket);
}

}  // namespace vorn_host::net
