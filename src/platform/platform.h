// The few operating-system services ravlo needs: the network, a short pause and
// the console. One source file per backend implements them; CMake picks it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// A socket as an opaque integer, so this header needs no system header.
using SocketHandle = std::intptr_t;
constexpr SocketHandle kNoSocket = -1;

// Starts the network layer: 0 on success, -1 on failure (the caller reports it).
int NetStart();
// Releases the network layer. Sockets must be closed first.
void NetStop();

// Reads a dotted IPv4 text the way inet_addr does: the address in network
// byte order, or 0xFFFFFFFF (also for "255.255.255.255") when it is not one.
std::uint32_t ParseDottedIPv4(const char* text);
// Looks a host name up: 0 and its first IPv4 address (network byte order), or
// -1 when it does not resolve.
int LookupIPv4(const char* name, std::uint32_t* address);

// A TCP socket in non-blocking mode that has begun connecting to
// address:port (network byte order address, host byte order port). Failures
// are not reported: a socket that never connects just never receives.
SocketHandle ConnectNonBlocking(std::uint32_t address, std::uint16_t port);
// What Receive returns besides a byte count (> 0).
constexpr int kReceiveClosed = 0;    // the peer has closed the connection
constexpr int kReceiveNothing = -1;  // nothing pending yet (also while connecting)
constexpr int kReceiveFailed = -2;   // refused, reset, unreachable, any other error
// Receives without waiting: the byte count, or one of the three above.
int Receive(SocketHandle socket, char* buffer, int size);
// Sends what the connection takes now without waiting: the byte count, 0 when
// nothing fits at the moment, -1 on error. Never raises a signal.
int SendSome(SocketHandle socket, const char* data, int size);
void CloseSocket(SocketHandle socket);

// Pauses the calling thread for about one millisecond.
void PauseOneMs();

// Prepares standard output; call once before anything is printed.
void ConsoleInit();
// The program's own UTF-8 text in the console's encoding. ASCII passes as is.
std::string ConsoleText(const char* utf8);

}  // namespace platform
