#include "fake_timer_service.h"

#include "platform/timer_service.h"

FakeTimerService& Fake() {
  static FakeTimerService fake;
  return fake;
}

namespace platform {

int TimerGetMinPeriod(std::uint32_t* minPeriodMs) {
  Fake().calls.push_back("caps");
  if (Fake().capsFail) return -1;
  *minPeriodMs = Fake().minPeriod;
  return 0;
}

int TimerBeginPeriod(std::uint32_t periodMs) {
  Fake().calls.push_back("begin " + std::to_string(periodMs));
  return periodMs == 0 ? -1 : 0;
}

void TimerEndPeriod(std::uint32_t periodMs) {
  Fake().calls.push_back("end " + std::to_string(periodMs));
}

std::uint32_t TimerSetEvent(std::uint32_t delayMs, std::uint32_t resolutionMs, const TimerTarget*) {
  Fake().calls.push_back("set " + std::to_string(delayMs) + " " + std::to_string(resolutionMs));
  return Fake().setEventFails ? 0 : Fake().nextId;
}

void TimerKillEvent(std::uint32_t eventId) {
  Fake().calls.push_back("kill " + std::to_string(eventId));
}

}  // namespace platform
