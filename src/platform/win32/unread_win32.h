// What a Windows backend's reader thread has read and the session has not
// yet taken (a pseudo console's output, a serial line's bytes): added by the
// reader, taken by the session, both under the owner's lock. The owner's
// ready event is set while bytes wait, its room event when some were taken.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/wait.h"

namespace platform {

class Unread {
 public:
  std::size_t Waiting() const { return bytes_.size() - head_; }

  void Add(const char* data, std::size_t n) {
    if (head_ > 0 && head_ >= bytes_.size() / 2) {  // keeps the copying linear
      bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
      head_ = 0;
    }
    bytes_.insert(bytes_.end(), data, data + n);
  }

  // The session's take: Take, then room set when bytes went and ready reset
  // once none wait, unless over (the end came: ready stays set for good).
  int TakeSignalled(char* buffer, int size, HANDLE ready, HANDLE room, bool over) {
    const int taken = Take(buffer, size);
    if (taken > 0) SetEvent(room);
    if (Waiting() == 0 && !over) ResetEvent(ready);
    return taken;
  }

  // Up to size bytes into buffer: their count, 0 when none wait.
  int Take(char* buffer, int size) {
    const std::size_t count = std::min(Waiting(), static_cast<std::size_t>(std::max(size, 0)));
    if (count == 0) return 0;
    std::memcpy(buffer, bytes_.data() + head_, count);
    head_ += count;
    if (head_ == bytes_.size()) {
      bytes_.clear();
      head_ = 0;
    }
    return static_cast<int>(count);
  }

 private:
  std::vector<char> bytes_;
  std::size_t head_ = 0;  // bytes_[head_, size()) waits for the session
};

// What SocketWait watches: the event the reader sets while bytes wait.
inline Watched EventWatched(HANDLE ready) {
  Watched watched;
  if (ready != nullptr) {
    watched.handle = reinterpret_cast<std::intptr_t>(ready);
    watched.event = true;
  }
  return watched;
}

}  // namespace platform
