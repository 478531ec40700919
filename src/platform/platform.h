// The few operating-system services ravlo needs: the network, a short pause and
// the console. One source file per backend implements them; CMake picks it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

// A socket as an opaque integer, so this header needs no system header.
using SocketHandle = std::intptr_t;
constexpr SocketHandle kNoSocket = -1;

// Starts the network layer: 0 on success, -1 on failure (the caller reports it).
int NetStart();
// Releases the network layer. Sockets must be closed first.
void NetStop();

// A host's socket address, IPv4 or IPv6, with its port; opaque outside the backends.
struct PeerAddress {
  alignas(8) unsigned char bytes[128];  // room for any socket address
  int length = 0;
};

// Finds where to connect: a dotted IPv4 text read the way inet_addr reads it
// (never looked up; "255.255.255.255" is looked up as a name), else the first
// IPv4 address of the name, else its first IPv6 address (also for IPv6 texts
// such as "::1"). 0 with *peer set, or -1 when the host does not resolve.
int ResolveHost(const char* host, std::uint16_t port, PeerAddress* peer);

// A TCP socket in non-blocking mode that has begun connecting to peer.
// Failures are not reported: a socket that never connects just never receives.
SocketHandle ConnectNonBlocking(const PeerAddress& peer);
// What Receive returns besides a byte count (> 0).
constexpr int kReceiveClosed = 0;    // the peer has closed the connection
constexpr int kReceiveNothing = -1;  // nothing pending yet, or still connecting
constexpr int kReceiveFailed = -2;   // refused, reset, unreachable, any other error
// Receives without waiting: the byte count or one of the three above. A closed
// or failed connection keeps giving the same answer.
int Receive(SocketHandle socket, char* buffer, int size);
// Asks for what has been received to be acknowledged at once, not after the
// stack's delay (40 ms and more): a host that holds the rest of its text until
// then (Nagle's rule; a console server's burst, an echo and its output) sends
// it at once. Holds until the next receive; ignored where there is no such
// setting.
void AcknowledgeAtOnce(SocketHandle socket);
// True once the connection is made (and while it lasts); for the trace.
bool IsConnected(SocketHandle socket);
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
// A stream of bytes (no text-mode translation) to where standard output went,
// owned by the caller; standard output itself goes to the null device from
// then on, so nothing else reaches it. nullptr when it cannot be had.
std::FILE* DetachStdout();

}  // namespace platform
