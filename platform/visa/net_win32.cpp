// The transport's socket calls on Windows (Winsock), twin of net_posix.cpp.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "visa/net.h"

namespace visa::net {

namespace {

SOCKET Handle(Socket socket) { return static_cast<SOCKET>(socket); }

// Winsock needs WSAStartup once in the process before any other call.
bool Started() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

bool MeansNotFound(int error) {
  return error == WSAECONNREFUSED || error == WSAENETUNREACH || error == WSAEHOSTUNREACH || error == WSAEHOSTDOWN ||
         error == WSAENETDOWN || error == WSAEADDRNOTAVAIL;
}

// Connects one address without blocking longer than timeoutMs.
Result ConnectTo(const addrinfo &address, int timeoutMs, SOCKET &fd) {
  fd = ::socket(address.ai_family, address.ai_socktype, address.ai_protocol);
  if (fd == INVALID_SOCKET) return Result::Failed;
  u_long nonBlocking = 1;
  ioctlsocket(fd, FIONBIO, &nonBlocking);
  int error = ::connect(fd, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0 ? 0 : WSAGetLastError();
  if (error == WSAEWOULDBLOCK) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(fd, &writable);
    FD_SET(fd, &failed);
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int rc = select(0, nullptr, &writable, &failed, &timeout);
    if (rc == 0) {
      error = WSAETIMEDOUT;
    } else if (rc == SOCKET_ERROR) {
      error = WSAGetLastError();
    } else {
      int length = sizeof error;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &length) != 0)
        error = WSAGetLastError();
    }
  }
  if (error == 0) {
    nonBlocking = 0;
    ioctlsocket(fd, FIONBIO, &nonBlocking);
    return Result::Ok;
  }
  closesocket(fd);
  fd = INVALID_SOCKET;
  if (error == WSAETIMEDOUT) return Result::TimedOut;
  return MeansNotFound(error) ? Result::NotFound : Result::Failed;
}

}  // namespace

Result Connect(const std::string &host, uint16_t port, int timeoutMs, Socket &out) {
  out = kNoSocket;
  if (!Started()) return Result::Failed;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo *addresses = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses) != 0) return Result::NotFound;
  Result result = Result::NotFound;
  for (const addrinfo *address = addresses; address != nullptr; address = address->ai_next) {
    SOCKET fd = INVALID_SOCKET;
    result = ConnectTo(*address, timeoutMs, fd);
    if (result != Result::Ok) continue;
    const BOOL on = TRUE;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on), sizeof on);
    const DWORD timeout = static_cast<DWORD>(timeoutMs);  // SO_SNDTIMEO in ms on Winsock
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char *>(&timeout), sizeof timeout);
    out = static_cast<Socket>(fd);
    break;
  }
  freeaddrinfo(addresses);
  return result;
}

Result Send(Socket socket, const char *data, std::size_t size) {
  // Winsock raises no signal on a closed peer: it is a status.
  while (size > 0) {
    const int chunk = size > 65536 ? 65536 : static_cast<int>(size);
    const int sent = ::send(Handle(socket), data, chunk, 0);
    if (sent == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      if (error == WSAEINTR) continue;
      if (error == WSAETIMEDOUT || error == WSAEWOULDBLOCK) return Result::TimedOut;
      if (error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAENOTCONN || error == WSAESHUTDOWN)
        return Result::Lost;
      return Result::Failed;
    }
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return Result::Ok;
}

void DiscardInput(Socket socket) {
  char buffer[512];
  for (;;) {
    u_long pending = 0;
    if (ioctlsocket(Handle(socket), FIONREAD, &pending) != 0 || pending == 0) return;
    if (::recv(Handle(socket), buffer, sizeof buffer, 0) <= 0) return;
  }
}

void Close(Socket socket) {
  if (socket != kNoSocket) closesocket(Handle(socket));
}

}  // namespace visa::net
