// The few socket calls the operator's web server makes itself, beside
// cpp-httplib: the listening socket's options, waiting on the connections it
// holds, reading and writing them, and closing them. net_posix.cpp and
// net_windows.cpp are the twins, built into the web output's library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorn_host::net {

// A socket as the system gives it (cpp-httplib's socket_t).
#if defined(_WIN32)
using Socket = uintptr_t;
#else
using Socket = int;
#endif

// The listening socket's options: bound to its port alone. No second
// process may listen on the same port beside it (SO_REUSEPORT, or Windows'
// SO_REUSEADDR); on Linux SO_REUSEADDR only lets a restarted host bind while
// the last one's connections linger, and on Windows SO_EXCLUSIVEADDRUSE
// keeps every other socket off the port.
void ExclusivePort(Socket listening);
// Whether the last bind failed because the port is taken.
bool AddressInUse();
// Lets the listening socket queue as many new connections as the system
// allows: a burst of them does not make the operator's wait for a retry.
void LongBacklog(Socket listening);

// Waits up to timeoutMs for any of sockets to be readable (or closed or in
// error); ready[i] says which. False when the wait itself failed.
bool WaitReadable(const std::vector<Socket> &sockets, std::vector<char> &ready, int timeoutMs);
// Waits up to timeoutMs for one socket: 1 ready, 0 not yet, -1 failed.
int WaitOne(Socket socket, bool forWriting, int timeoutMs);
// What recv and send give: bytes moved, 0 when the peer closed, -1 on error.
long Receive(Socket socket, char *data, std::size_t size);
long Send(Socket socket, const char *data, std::size_t size);
// No more is sent; what comes is still read.
void ShutdownSending(Socket socket);
void Close(Socket socket);
// The numeric address and port of either end.
void PeerAddress(Socket socket, std::string &address, int &port);
void LocalAddress(Socket socket, std::string &address, int &port);

// Whether text is an IPv4 (dotted quad) or IPv6 (without brackets) address
// written as numbers, and whether that address is this machine's loopback.
bool IsAddressLiteral(const std::string &text);
bool IsLoopbackAddress(const std::string &text);

}  // namespace vorn_host::net
