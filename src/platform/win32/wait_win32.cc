// Waiting on Windows: the socket signals an event of its own (WSAEventSelect),
// Wake sets a second one, and WaitForMultipleObjects waits for either.
#include <winsock2.h>
#include <windows.h>

#include "platform/wait.h"

namespace platform {
namespace {

constexpr int kWakeEvent = 0;
constexpr int kSocketEvent = 1;
constexpr int kWatched = 2;

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::intptr_t NewEvent(BOOL manualReset) {
  HANDLE event = CreateEventW(nullptr, manualReset, FALSE, nullptr);
  return event == nullptr ? -1 : reinterpret_cast<std::intptr_t>(event);
}

}  // namespace

// Plain events, not WSACreateEvent: the session makes this before Winsock starts.
SocketWait::SocketWait() : handles_{NewEvent(FALSE), NewEvent(TRUE), kNoSocket} {}

SocketWait::~SocketWait() {
  for (int event : {kWakeEvent, kSocketEvent}) {
    if (handles_[event] != -1) CloseHandle(AsHandle(handles_[event]));
  }
}

bool SocketWait::Wait(Watched watched, int timeoutMs) {
  const SocketHandle socket = watched.event ? kNoSocket : watched.handle;
  const SOCKET s = static_cast<SOCKET>(socket);
  if (socket != kNoSocket && socket != handles_[kWatched] && handles_[kSocketEvent] != -1 &&
      WSAEventSelect(s, AsHandle(handles_[kSocketEvent]), FD_READ | FD_CLOSE | FD_CONNECT) == 0) {
    handles_[kWatched] = socket;
  }
  HANDLE events[2];
  DWORD count = 0;
  if (handles_[kWakeEvent] != -1) events[count++] = AsHandle(handles_[kWakeEvent]);
  const bool watching = socket != kNoSocket && socket == handles_[kWatched];
  if (watching) events[count++] = AsHandle(handles_[kSocketEvent]);
  // A program's reader sets its own event; it needs no resetting here.
  const bool event = watched.event && watched.handle != -1;
  if (event) events[count++] = AsHandle(watched.handle);
  // Without a wake event, or with a socket that cannot signal, look again soon.
  const bool complete = handles_[kWakeEvent] != -1 && (socket == kNoSocket || watching);
  const DWORD forever = timeoutMs == kForever ? INFINITE : static_cast<DWORD>(timeoutMs);
  const DWORD limit = complete || timeoutMs == 0 ? forever : 1;
  if (count == 0) {
    Sleep(limit == 0 ? 0 : 1);
    return limit != forever;
  }
  const DWORD which = WaitForMultipleObjects(count, events, FALSE, limit);
  if (which == WAIT_TIMEOUT) return limit != forever;  // looking again is no time-out
  if (watching && which == WAIT_OBJECT_0 + count - 1) {
    // Resets the socket's event; recv re-arms it while data is left.
    WSANETWORKEVENTS happened;
    WSAEnumNetworkEvents(s, AsHandle(handles_[kSocketEvent]), &happened);
  }
  return true;
}

void SocketWait::Wake() {
  if (handles_[kWakeEvent] != -1) SetEvent(AsHandle(handles_[kWakeEvent]));
}

}  // namespace platform
