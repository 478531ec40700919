// Network and pause on Windows: Winsock 2.2, a non-blocking socket, Sleep.
#include <winsock2.h>
#include <windows.h>

#include "platform/platform.h"

namespace platform {
namespace {

// SOCKET is pointer-wide (32 or 64 bits); the handle must carry every value,
// and INVALID_SOCKET must read as kNoSocket.
static_assert(sizeof(SOCKET) == sizeof(SocketHandle), "a SOCKET fits a SocketHandle");
static_assert(static_cast<SocketHandle>(INVALID_SOCKET) == kNoSocket, "INVALID_SOCKET is kNoSocket");

SOCKET AsSocket(SocketHandle socket) { return static_cast<SOCKET>(socket); }

// A failed connect is reported only here, as an exception, and stays so.
bool ConnectFailed(SOCKET s) {
  fd_set failed;
  FD_ZERO(&failed);
  FD_SET(s, &failed);
  timeval now{0, 0};
  return select(0, nullptr, nullptr, &failed, &now) > 0;
}

}  // namespace

int NetStart() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0 ? 0 : -1;
}

void NetStop() { WSACleanup(); }

SocketHandle ConnectNonBlocking(const PeerAddress& peer) {
  const auto* address = reinterpret_cast<const sockaddr*>(peer.bytes);
  SOCKET s = socket(address->sa_family, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return kNoSocket;
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  // WSAEWOULDBLOCK is the normal answer; a refused connection shows later as a
  // receive that fails.
  connect(s, address, peer.length);
  return static_cast<SocketHandle>(s);
}

// Windows 10 and later take an acknowledgement frequency of 1; older ones and
// Wine refuse it, and keep their delay.
#ifndef SIO_TCP_SET_ACK_FREQUENCY
#define SIO_TCP_SET_ACK_FREQUENCY _WSAIOW(IOC_VENDOR, 23)
#endif
void AcknowledgeAtOnce(SocketHandle socket) {
  DWORD frequency = 1;
  DWORD returned = 0;
  WSAIoctl(AsSocket(socket), SIO_TCP_SET_ACK_FREQUENCY, &frequency, sizeof frequency, nullptr, 0, &returned, nullptr,
           nullptr);
}

int Receive(SocketHandle socket, char* buffer, int size) {
  const int n = recv(AsSocket(socket), buffer, size, 0);
  if (n > 0) return n;
  // A failed connect can also read as closed (Wine's does); only a
  // connection the peer closed still has a peer.
  if (n == 0) return IsConnected(socket) ? kReceiveClosed : kReceiveFailed;
  const int error = WSAGetLastError();
  if (error == WSAEWOULDBLOCK) return kReceiveNothing;
  // Said while connecting, and also after the connect has failed.
  if (error == WSAENOTCONN && !ConnectFailed(AsSocket(socket))) return kReceiveNothing;
  return kReceiveFailed;
}

bool IsConnected(SocketHandle socket) {
  sockaddr_storage peer{};  // any family: a short buffer is an error here
  int size = sizeof peer;
  return getpeername(AsSocket(socket), reinterpret_cast<sockaddr*>(&peer), &size) == 0;
}

int SendSome(SocketHandle socket, const char* data, int size) {
  const int n = send(AsSocket(socket), data, size, 0);
  if (n != SOCKET_ERROR) return n;
  return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

void CloseSocket(SocketHandle socket) {
  if (socket != kNoSocket) closesocket(AsSocket(socket));
}

void PauseOneMs() { Sleep(1); }

}  // namespace platform
