// The response limit: a periodic timer event that raises ResponseTimedOut.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/timer_service.h"

// 0 at start; set to 1 by OnResponseTimer on the timer service's thread, read
// by the session loop on the main thread, never cleared.
extern std::atomic<std::int32_t> ResponseTimedOut;

// The response timer's callback: raises ResponseTimedOut, then wakes the
// platform::SocketWait that user points to (none when 0).
void OnResponseTimer(std::uint32_t eventId, std::uint32_t message, std::uintptr_t user,
                     std::uintptr_t reserved1, std::uintptr_t reserved2);

// One periodic event of the timer service, held from Start until destruction.
// Failures are printed ("...が失敗しました。") and leave the timer idle.
class EventTimer {
 public:
  // user is handed to callback at every firing.
  explicit EventTimer(platform::TimerCallback callback, std::uintptr_t user = 0);
  ~EventTimer();
  EventTimer(const EventTimer&) = delete;
  EventTimer& operator=(const EventTimer&) = delete;

  // Starts the event: callback after delayMs and every delayMs after that.
  // A delay of 0 means the service's minimum period. A delay longer than
  // kLongestEventMs is counted out in equal events no longer than that
  // (services refuse long ones: Wine's above 65535 ms), never ending early.
  void Start(std::uint32_t delayMs);
  static constexpr std::uint32_t kLongestEventMs = 60000;

 private:
  static void CountDown(std::uint32_t eventId, std::uint32_t message, std::uintptr_t user, std::uintptr_t reserved1,
                        std::uintptr_t reserved2);
  platform::TimerTarget target;  // the service keeps a pointer to it while the event runs
  platform::TimerTarget countdown;  // with a long delay: what the service calls instead
  std::uint32_t events = 1;         // with a long delay: events that make one delay
  std::atomic<std::uint32_t> left{1};  // of them, before target's callback; on the service's thread
  std::uint32_t eventId;       // 0 while no event runs
  std::uint32_t period;        // resolution in ms; 0 when the service could not say
  std::uint32_t defaultDelay;  // used for Start(0); equals period
};
