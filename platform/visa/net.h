// The few socket calls the TCPIP SOCKET transport needs, behind one small
// interface, so that only net_posix.cpp (or a Winsock twin beside it) knows
// the platform's sockets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace visa::net {

// A connected TCP stream; wide enough for a Winsock SOCKET.
using Socket = std::intptr_t;
inline constexpr Socket kNoSocket = -1;

enum class Result {
  Ok,
  NotFound,  // no such host, nobody listening, or no route to it
  TimedOut,
  Lost,    // the peer closed or reset the connection
  Failed,  // anything else the system refused
};

// Connects within timeoutMs; sends then give up after timeoutMs too. Small
// writes go out at once (no Nagle delay).
Result Connect(const std::string &host, uint16_t port, int timeoutMs, Socket &out);
// Sends all of data.
Result Send(Socket socket, const char *data, std::size_t size);
// Drops whatever the peer sent that nobody has read.
void DiscardInput(Socket socket);
void Close(Socket socket);

}  // namespace visa::net
