#include "visa/socket_transport.h"

namespace visa {

SocketTransport::~SocketTransport() { net::Close(socket_); }

ViStatus SocketTransport::connect(const std::string &host, uint16_t port) {
  switch (net::Connect(host, port, kTimeoutMs, socket_)) {
    case net::Result::Ok: return VI_SUCCESS;
    case net::Result::NotFound: return VI_ERROR_RSRC_NFOUND;
    case net::Result::TimedOut: return VI_ERROR_TMO;
    case net::Result::Lost:
    case net::Result::Failed: break;
  }
  return VI_ERROR_SYSTEM_ERROR;
}

ViStatus SocketTransport::write(const unsigned char *data, ViUInt32 count) {
  std::string message(reinterpret_cast<const char *>(data), count);
  if (message.empty()) return VI_SUCCESS;
  if (message.back() != '\n') message += '\n';
  switch (net::Send(socket_, message.data(), message.size())) {
    case net::Result::Ok: return VI_SUCCESS;
    case net::Result::TimedOut: return VI_ERROR_TMO;
    case net::Result::Lost: return VI_ERROR_CONN_LOST;
    case net::Result::NotFound:
    case net::Result::Failed: break;
  }
  return VI_ERROR_IO;
}

ViStatus SocketTransport::clear() {
  net::DiscardInput(socket_);
  return VI_SUCCESS;
}

}  // namespace visa
