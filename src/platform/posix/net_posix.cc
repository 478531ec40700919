// Network, pause and console on POSIX. Sockets need no start-up here, so
// NetStart cannot fail and there is nothing to report.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
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
  // EINPROGRESS is the normal answer; a refused connection shows later as a
  // receive that fails.
  connect(fd, address, static_cast<socklen_t>(peer.length));
  return fd;
}

void AcknowledgeAtOnce(SocketHandle socket) {
#ifdef TCP_QUICKACK
  const int on = 1;
  setsockopt(static_cast<int>(socket), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#else
  static_cast<void>(socket);
#endif
}

int Receive(SocketHandle socket, char* buffer, int size) {
  const int fd = static_cast<int>(socket);
  const ssize_t n = recv(fd, buffer, static_cast<size_t>(size), 0);
  if (n > 0) return static_cast<int>(n);
  // A failed connect can also read as closed (once its error was reported);
  // only a connection the peer closed still has a peer.
  if (n == 0) return IsConnected(socket) ? kReceiveClosed : kReceiveFailed;
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return kReceiveNothing;
  // Some systems say ENOTCONN while connecting; every one says it for ever
  // once the connect has failed, and then poll reports a hang-up or an error.
  if (errno == ENOTCONN) {
    pollfd slot{fd, POLLOUT, 0};
    if (poll(&slot, 1, 0) == 0) return kReceiveNothing;
  }
  return kReceiveFailed;
}

bool IsConnected(SocketHandle socket) {
  sockaddr_storage peer{};
  socklen_t size = sizeof peer;
  return getpeername(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&peer), &size) == 0;
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
