// Waiting on POSIX: poll on the socket and on a pipe to ourselves, which Wake
// writes a byte to (write is safe on any thread and never blocks here).
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "platform/wait.h"

namespace platform {
namespace {

constexpr int kRead = 0;
constexpr int kWrite = 1;

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

SocketWait::SocketWait() : handles_{-1, -1, -1} {
  int fds[2];
  if (pipe(fds) != 0) return;
  for (int fd : fds) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  handles_[kRead] = fds[kRead];
  handles_[kWrite] = fds[kWrite];
}

SocketWait::~SocketWait() {
  if (handles_[kRead] >= 0) close(Fd(handles_[kRead]));
  if (handles_[kWrite] >= 0) close(Fd(handles_[kWrite]));
}

bool SocketWait::Wait(Watched watched, int timeoutMs) {
  // poll leaves out a negative descriptor: a missing socket or pipe.
  pollfd fds[2] = {{Fd(handles_[kRead]), POLLIN, 0}, {Fd(watched.handle), POLLIN, 0}};
  // Without the pipe a Wake could be missed: look again within 1 ms.
  const int limit = handles_[kRead] >= 0 || timeoutMs == 0 ? timeoutMs : 1;
  const int ready = poll(fds, 2, limit);
  if (ready == 0) return limit != timeoutMs;  // looking again is no time-out
  if (ready < 0 || fds[0].revents == 0) return true;
  char sink[64];
  while (read(Fd(handles_[kRead]), sink, sizeof sink) > 0) {
  }
  return true;
}

void SocketWait::Wake() {
  const char byte = 1;
  // A full pipe already holds a wake-up: nothing is lost when this fails.
  if (write(Fd(handles_[kWrite]), &byte, 1) < 0) return;
}

}  // namespace platform
