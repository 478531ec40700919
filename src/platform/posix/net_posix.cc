// Network, pause and console on POSIX. Sockets need no start-up here, so
// NetStart cannot fail and there is nothing to report.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/platform.h"

namespace platform {

int NetStart() { return 0; }

void NetStop() {}

std::uint32_t ParseDottedIPv4(const char* text) { return inet_addr(text); }

int LookupIPv4(const char* name, std::uint32_t* address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return -1;
  sockaddr_in first{};
  std::memcpy(&first, found->ai_addr, sizeof first);
  freeaddrinfo(found);
  *address = first.sin_addr.s_addr;
  return 0;
}

SocketHandle ConnectNonBlocking(std::uint32_t address, std::uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return kNoSocket;
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = address;
  // EINPROGRESS is the normal answer; a refused connection shows later as a
  // failed receive.
  connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
  return fd;
}

int Receive(SocketHandle socket, char* buffer, int size) {
  ssize_t n = recv(static_cast<int>(socket), buffer, static_cast<size_t>(size), 0);
  if (n > 0) return static_cast<int>(n);
  if (n == 0) return kReceiveClosed;
  const bool later = errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ENOTCONN;
  return later ? kReceiveNothing : kReceiveFailed;
}

int SendSome(SocketHandle socket, const char* data, int size) {
  // MSG_NOSIGNAL: a host that has closed the connection must not kill us.
  ssize_t n = send(static_cast<int>(socket), data, static_cast<size_t>(size), MSG_NOSIGNAL);
  if (n >= 0) return static_cast<int>(n);
  return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : -1;
}

void CloseSocket(SocketHandle socket) {
  if (socket != kNoSocket) close(static_cast<int>(socket));
}

void PauseOneMs() {
  timespec pause{0, 1000000};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

}  // namespace platform
