// Waiting for the host: the main thread sleeps until its socket has something
// for Receive or another thread wakes it, so a silent session costs nothing.
// One source file per backend.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace platform {

// What a wait watches: a socket (POSIX: any descriptor poll takes), or, on
// Windows only, an event handle that its owner sets while bytes wait.
struct Watched {
  std::intptr_t handle = kNoSocket;
  bool event = false;
};

class SocketWait {
 public:
  SocketWait();
  ~SocketWait();
  SocketWait(const SocketWait&) = delete;
  SocketWait& operator=(const SocketWait&) = delete;

  // Returns once what is watched has something for its receive (data, the
  // end of the connection, a failure), once Wake has been called since the
  // last return, or once timeoutMs have passed (kForever: never); with
  // kNoSocket only Wake and the time end it. May return early (a signal). False when it returned
  // because the time had passed. If the system refused the objects this
  // needs, it waits about 1 ms instead.
  static constexpr int kForever = -1;
  bool Wait(Watched watched, int timeoutMs = kForever);
  // Ends the current Wait, or the next one. Any thread may call it, any time.
  void Wake();

 private:
  // The backend's own. POSIX: the read and write ends of a pipe to ourselves.
  // Windows: the wake event, the socket's event, the socket that signals it.
  // -1 when missing.
  std::intptr_t handles_[3];
};

}  // namespace platform
