// VISA resource names, read as VISA reads them: keywords in any case, the
// board number optional (0 when left out).
//
//   GPIB[board]::primary[::secondary][::INSTR]   primary and secondary 0 to 30
//   TCPIP[board]::host::port::SOCKET             host a name, an IPv4 address or
//                                                a bracketed IPv6 address
//
// Other well-formed names of VISA's interface types (serial, USB, VXI, PXI, a
// VXI-11 or HiSLIP TCPIP instrument, a GPIB interface) are names of
// resources this station does not have.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace visa {

struct Resource {
  enum class Kind {
    Gpib,         // an instrument on a GPIB board
    Socket,       // a raw TCP socket on the LAN
    Unsupported,  // a VISA resource of a kind the station does not offer
  };
  Kind kind = Kind::Unsupported;
  uint32_t board = 0;
  uint32_t primary = 0;
  std::optional<uint32_t> secondary;
  std::string host;  // without the brackets of an IPv6 address
  uint16_t port = 0;
};

// Nothing when the text is not a VISA resource name at all.
std::optional<Resource> ParseResource(std::string_view name);

}  // namespace visa
