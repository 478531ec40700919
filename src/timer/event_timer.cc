#include "timer/event_timer.h"

#include "messages/messages.h"
#include "platform/wait.h"

std::atomic<std::int32_t> ResponseTimedOut{0};

void OnResponseTimer(std::uint32_t, std::uint32_t, std::uintptr_t user, std::uintptr_t,
                     std::uintptr_t) {
  ResponseTimedOut.store(1);
  // After the store, so the woken loop finds the flag raised.
  if (user != 0) reinterpret_cast<platform::SocketWait*>(user)->Wake();
}

EventTimer::EventTimer(platform::TimerCallback callback, std::uintptr_t user)
    : target{callback, user}, countdown{CountDown, reinterpret_cast<std::uintptr_t>(this)}, eventId(0), period(0),
      defaultDelay(0) {
  std::uint32_t minPeriod = 0;
  if (platform::TimerGetMinPeriod(&minPeriod) != 0) {
    PrintMessage(kCallFailedFormat, "timeGetDevCaps()");
  } else {
    period = minPeriod;
  }
  defaultDelay = period;
}

EventTimer::~EventTimer() {
  if (eventId != 0) platform::TimerKillEvent(eventId);
  if (period != 0) platform::TimerEndPeriod(period);
}

void EventTimer::Start(std::uint32_t delayMs) {
  if (delayMs == 0) delayMs = defaultDelay;
  // A period of 0 is refused too: the session then runs without a limit.
  if (platform::TimerBeginPeriod(period) != 0) {
    PrintMessage(kCallFailedFormat, "timeBeginPeriod()");
    return;
  }
  // n equal events of at most kLongestEventMs, n of them at least delayMs.
  events = delayMs > kLongestEventMs ? (delayMs + kLongestEventMs - 1) / kLongestEventMs : 1;
  left.store(events);
  const std::uint32_t eventMs = static_cast<std::uint32_t>((std::uint64_t{delayMs} + events - 1) / events);
  eventId = platform::TimerSetEvent(eventMs, period, events == 1 ? &target : &countdown);
  if (eventId == 0) PrintMessage(kCallFailedFormat, "timeSetEvent()");
}

void EventTimer::CountDown(std::uint32_t eventId, std::uint32_t message, std::uintptr_t user,
                           std::uintptr_t reserved1, std::uintptr_t reserved2) {
  auto* timer = reinterpret_cast<EventTimer*>(user);
  if (timer->left.fetch_sub(1) != 1) return;
  timer->left.store(timer->events);  // periodic: the next delay begins
  timer->target.callback(eventId, message, timer->target.user, reserved1, reserved2);
}
