// A periodic timer service that calls back on a thread of its own, shaped
// after the Windows multimedia timer. One source file per backend.
#pragma once

#include <cstdint>

namespace platform {

// Called on the service's thread with the event id, a message (0), the
// event's user value and two reserved values (0).
using TimerCallback = void (*)(std::uint32_t eventId, std::uint32_t message, std::uintptr_t user,
                               std::uintptr_t reserved1, std::uintptr_t reserved2);

// What an event calls, and the user value it hands the callback.
struct TimerTarget {
  TimerCallback callback;
  std::uintptr_t user;
};

// 0 and the smallest period the service supports in ms, or -1 on failure.
int TimerGetMinPeriod(std::uint32_t* minPeriodMs);
// Requests a timer resolution: 0 when granted, -1 when refused. A period of 0
// is always refused.
int TimerBeginPeriod(std::uint32_t periodMs);
// Releases a resolution granted by TimerBeginPeriod.
void TimerEndPeriod(std::uint32_t periodMs);
// Starts a periodic event: target's callback after delayMs and every delayMs
// after that. target must stay valid until TimerKillEvent for the event has
// returned. Returns the event id, or 0 when no event could be started.
std::uint32_t TimerSetEvent(std::uint32_t delayMs, std::uint32_t resolutionMs,
                            const TimerTarget* target);
// Stops an event. When it returns (on any thread but the service's own) the
// callback is not running for that event and never will again.
void TimerKillEvent(std::uint32_t eventId);

}  // namespace platform
