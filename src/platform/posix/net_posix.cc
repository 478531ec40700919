// Network, pause and console on POSIX. Sockets need no start-up here, so
// NetStart cannot fail and there is nothing to report.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/platform.h"

namespace platform {

int NetStart() { return 0; }

void NetStop() {}

SocketHandle ConnectNonBlocking(const PeerAddress& peer) {
  const auto* address = reinterpret_cast<const sockaddr*>(peer.bytes);
  int fd = socket(address->sa_family, SOCK_STREAM, 0);
  if (fd < 0) return kNoSocket;
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  // EINPROGRESS is the normal answer; a refused connection shows later as
  // receives that find nothing.
  connect(fd, address, static_cast<socklen_t>(peer.length));
  return fd;
}

int Receive(SocketHandle socket, char* buffer, int size) {
  ssize_t n = recv(static_cast<int>(socket), buffer, static_cast<size_t>(size), 0);
  return n < 0 ? -1 : static_cast<int>(n);
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
