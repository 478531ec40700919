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
  // WSAEWOULDBLOCK is the normal answer; a refused connection shows later as
  // receives that find nothing.
  connect(s, address, peer.length);
  return static_cast<SocketHandle>(s);
}

int Receive(SocketHandle socket, char* buffer, int size) {
  const int n = recv(AsSocket(socket), buffer, size, 0);
  return n == SOCKET_ERROR ? -1 : n;
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
