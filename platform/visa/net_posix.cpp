// The transport's socket calls on POSIX systems.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include "visa/net.h"

namespace visa::net {

namespace {

int Descriptor(Socket socket) { return static_cast<int>(socket); }

bool MeansNotFound(int error) {
  return error == ECONNREFUSED || error == ENETUNREACH || error == EHOSTUNREACH || error == EHOSTDOWN ||
         error == ENETDOWN || error == EADDRNOTAVAIL;
}

// Connects one address without blocking longer than timeoutMs.
Result ConnectTo(const addrinfo &address, int timeoutMs, int &fd) {
  fd = ::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC, address.ai_protocol);
  if (fd < 0) return Result::Failed;
  const int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int error = ::connect(fd, address.ai_addr, address.ai_addrlen) == 0 ? 0 : errno;
  if (error == EINPROGRESS) {
    pollfd ready{fd, POLLOUT, 0};
    const int rc = poll(&ready, 1, timeoutMs);
    if (rc == 0) {
      error = ETIMEDOUT;
    } else if (rc < 0) {
      error = errno;
    } else {
      socklen_t length = sizeof error;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    }
  }
  if (error == 0) {
    fcntl(fd, F_SETFL, flags);
    return Result::Ok;
  }
  ::close(fd);
  fd = -1;
  if (error == ETIMEDOUT) return Result::TimedOut;
  return MeansNotFound(error) ? Result::NotFound : Result::Failed;
}

}  // namespace

Result Connect(const std::string &host, uint16_t port, int timeoutMs, Socket &out) {
  out = kNoSocket;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo *addresses = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses) != 0) return Result::NotFound;
  Result result = Result::NotFound;
  for (const addrinfo *address = addresses; address != nullptr; address = address->ai_next) {
    int fd = -1;
    result = ConnectTo(*address, timeoutMs, fd);
    if (result != Result::Ok) continue;
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    out = fd;
    break;
  }
  freeaddrinfo(addresses);
  return result;
}

Result Send(Socket socket, const char *data, std::size_t size) {
  while (size > 0) {
    // MSG_NOSIGNAL: a closed peer is a status, not a SIGPIPE that ends the host.
    const ssize_t sent = ::send(Descriptor(socket), data, size, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return Result::TimedOut;
      if (errno == EPIPE || errno == ECONNRESET || errno == ENOTCONN) return Result::Lost;
      return Result::Failed;
    }
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return Result::Ok;
}

void DiscardInput(Socket socket) {
  char buffer[512];
  while (::recv(Descriptor(socket), buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
  }
}

void Close(Socket socket) {
  if (socket != kNoSocket) ::close(Descriptor(socket));
}

}  // namespace visa::net
