// Periodic timer service on Windows: the multimedia timer, whose own thread
// calls back.
#include <windows.h>
#include <mmsystem.h>

#include "platform/timer_service.h"

namespace platform {
namespace {

// Our callback travels as a DWORD_PTR, which is pointer-wide on both widths.
static_assert(sizeof(DWORD_PTR) == sizeof(TimerCallback), "a callback fits a DWORD_PTR");

// The service calls with the platform's calling convention; ours is the
// language's. The caller's target travels in the user data, so nothing is global.
void CALLBACK Trampoline(UINT eventId, UINT message, DWORD_PTR user, DWORD_PTR reserved1,
                         DWORD_PTR reserved2) {
  const TimerTarget* target = reinterpret_cast<const TimerTarget*>(user);
  target->callback(eventId, message, target->user, reserved1, reserved2);
}

}  // namespace

int TimerGetMinPeriod(std::uint32_t* minPeriodMs) {
  TIMECAPS caps{};
  if (timeGetDevCaps(&caps, sizeof caps) != MMSYSERR_NOERROR) return -1;
  *minPeriodMs = caps.wPeriodMin;
  return 0;
}

int TimerBeginPeriod(std::uint32_t periodMs) {
  if (periodMs == 0) return -1;
  return timeBeginPeriod(periodMs) == TIMERR_NOERROR ? 0 : -1;
}

void TimerEndPeriod(std::uint32_t periodMs) { timeEndPeriod(periodMs); }

std::uint32_t TimerSetEvent(std::uint32_t delayMs, std::uint32_t resolutionMs,
                            const TimerTarget* target) {
  if (delayMs == 0 || target == nullptr || target->callback == nullptr) return 0;
  // Synchronous kill: once TimerKillEvent returns, a replaced timer cannot
  // fire late and end a session that has just heard from its host.
  return timeSetEvent(delayMs, resolutionMs, Trampoline, reinterpret_cast<DWORD_PTR>(target),
                      TIME_PERIODIC | TIME_KILL_SYNCHRONOUS);
}

void TimerKillEvent(std::uint32_t eventId) { timeKillEvent(eventId); }

}  // namespace platform
