// Network and pause on Windows: Winsock 2.2, a non-blocking socket, Sleep.
#include <winsock2.h>
#include <windows.h>

#include <cstring>

#include "platform/platform.h"

namespace platform {
namespace {

SOCKET AsSocket(SocketHandle socket) { return static_cast<SOCKET>(socket); }

}  // namespace

int NetStart() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0 ? 0 : -1;
}

void NetStop() { WSACleanup(); }

std::uint32_t ParseDottedIPv4(const char* text) { return inet_addr(text); }

int LookupIPv4(const char* name, std::uint32_t* address) {
  const hostent* found = gethostbyname(name);
  if (found == nullptr || found->h_addrtype != AF_INET || found->h_length != 4 ||
      found->h_addr_list[0] == nullptr) {
    return -1;
  }
  std::memcpy(address, found->h_addr_list[0], sizeof *address);
  return 0;
}

SocketHandle ConnectNonBlocking(std::uint32_t address, std::uint16_t port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return kNoSocket;
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = address;
  // WSAEWOULDBLOCK is the normal answer; a refused connection shows later as a
  // receive that fails or finds nothing.
  connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
  return static_cast<SocketHandle>(s);
}

int Receive(SocketHandle socket, char* buffer, int size) {
  const int n = recv(AsSocket(socket), buffer, size, 0);
  if (n > 0) return n;
  if (n == 0) return kReceiveClosed;
  const int error = WSAGetLastError();
  return (error == WSAEWOULDBLOCK || error == WSAENOTCONN) ? kReceiveNothing : kReceiveFailed;
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
