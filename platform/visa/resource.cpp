#include "visa/resource.h"

#include <cctype>
#include <vector>

#include "station/supply.h"

namespace visa {

namespace {

using station::EqualsNoCase;

constexpr uint32_t kMaxGpibAddress = 30;
constexpr uint32_t kMaxBoard = 0xFFFF;  // VISA's interface numbers are 16-bit
constexpr uint32_t kMaxPort = 0xFFFF;

// Interface types of VISA that this station has nothing behind.
constexpr std::string_view kOtherInterfaces[] = {"ASRL", "USB", "VXI", "GPIB-VXI", "PXI"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The parts between "::", with a bracketed IPv6 address kept whole.
std::vector<std::string_view> Split(std::string_view name) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  bool inBrackets = false;
  for (std::size_t i = 0; i < name.size();) {
    if (name[i] == '[' || name[i] == ']') inBrackets = name[i] == '[';
    if (!inBrackets && name.compare(i, 2, "::") == 0) {
      parts.push_back(name.substr(start, i - start));
      i += 2;
      start = i;
    } else {
      ++i;
    }
  }
  parts.push_back(name.substr(start));
  return parts;
}

std::optional<uint32_t> Decimal(std::string_view text, uint32_t max) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > max) return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::optional<Resource> ParseGpib(const std::vector<std::string_view> &parts, uint32_t board) {
  Resource resource;
  resource.board = board;
  std::size_t count = parts.size();
  if (count == 2 && EqualsNoCase(parts[1], "INTFC")) return resource;  // the board itself
  if (count > 2 && EqualsNoCase(parts[count - 1], "INSTR")) --count;
  if (count < 2 || count > 3) return std::nullopt;
  const std::optional<uint32_t> primary = Decimal(parts[1], kMaxGpibAddress);
  if (!primary) return std::nullopt;
  resource.kind = Resource::Kind::Gpib;
  resource.primary = *primary;
  if (count == 3) {
    resource.secondary = Decimal(parts[2], kMaxGpibAddress);
    if (!resource.secondary) return std::nullopt;
  }
  return resource;
}

std::optional<Resource> ParseTcpip(const std::vector<std::string_view> &parts, uint32_t board) {
  if (parts.size() < 2) return std::nullopt;
  std::string_view host = parts[1];
  for (char c : host) {
    if (!std::isgraph(static_cast<unsigned char>(c))) return std::nullopt;
  }
  if (host.front() == '[') {
    if (host.size() < 3 || host.back() != ']') return std::nullopt;
    host = host.substr(1, host.size() - 2);
  }
  if (host.find_first_of("[]") != std::string_view::npos) return std::nullopt;
  Resource resource;
  resource.board = board;
  resource.host = std::string(host);
  if (EqualsNoCase(parts.back(), "SOCKET")) {
    if (parts.size() != 4) return std::nullopt;
    const std::optional<uint32_t> port = Decimal(parts[2], kMaxPort);
    if (!port || *port == 0) return std::nullopt;
    resource.kind = Resource::Kind::Socket;
    resource.port = static_cast<uint16_t>(*port);
    return resource;
  }
  // TCPIP::host[::device][::INSTR]: a VXI-11 or HiSLIP instrument.
  std::size_t count = parts.size();
  if (EqualsNoCase(parts[count - 1], "INSTR")) --count;
  if (count > 3) return std::nullopt;
  return resource;
}

}  // namespace

std::optional<Resource> ParseResource(std::string_view name) {
  const std::vector<std::string_view> parts = Split(name);
  for (std::string_view part : parts) {
    if (part.empty()) return std::nullopt;
  }
  // The interface keyword, then an optional board number.
  const std::string_view first = parts[0];
  std::size_t digits = first.size();
  while (digits > 0 && IsDigit(first[digits - 1])) --digits;
  const std::string_view keyword = first.substr(0, digits);
  uint32_t board = 0;
  if (digits < first.size()) {
    const std::optional<uint32_t> number = Decimal(first.substr(digits), kMaxBoard);
    if (!number) return std::nullopt;
    board = *number;
  }
  if (EqualsNoCase(keyword, "GPIB")) return ParseGpib(parts, board);
  if (EqualsNoCase(keyword, "TCPIP")) return ParseTcpip(parts, board);
  for (std::string_view other : kOtherInterfaces) {
    if (EqualsNoCase(keyword, other) && parts.size() >= 2) {
      Resource resource;
      resource.board = board;
      return resource;
    }
  }
  return std::nullopt;
}

}  // namespace visa
