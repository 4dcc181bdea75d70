// The transport of TCPIP SOCKET sessions: a real TCP connection to a LAN
// instrument.
//
// GPIB marks the end of a message with END on its last byte; a socket has no
// such signal, so each write goes out as one message terminated by a line feed,
// the terminator that SCPI instruments on the LAN read (a message that already
// ends in a line feed gets no second one).
#pragma once

#include <cstdint>
#include <string>

#include "visa.h"
#include "visa/net.h"
#include "visa/status.h"

namespace visa {

class SocketTransport {
 public:
  static constexpr int kTimeoutMs = 2000;  // VISA's default I/O time-out

  SocketTransport() = default;
  SocketTransport(const SocketTransport &) = delete;
  SocketTransport &operator=(const SocketTransport &) = delete;
  ~SocketTransport();

  ViStatus connect(const std::string &host, uint16_t port);
  // Sends count bytes as one terminated message.
  ViStatus write(const unsigned char *data, ViUInt32 count);
  // Drops what the instrument sent that nobody read.
  ViStatus clear();

 private:
  net::Socket socket_ = net::kNoSocket;
};

}  // namespace visa
