// The response timer against a scripted stand-in for the timer service, linked
// in place of the real one, so every failure path can be reached.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/timer_service.h"
#include "timer/event_timer.h"

namespace {

struct FakeService {
  bool capsFail = false;
  std::uint32_t minPeriod = 1;
  bool setEventFails = false;
  std::vector<std::string> calls;  // e.g. "begin 1", "set 500 1", "kill 7", "end 1"
  const platform::TimerTarget* target = nullptr;  // what the last event would call
} fake;

void Record(const std::string& call, std::uint32_t value) { fake.calls.push_back(call + std::to_string(value)); }

}  // namespace

namespace platform {

int TimerGetMinPeriod(std::uint32_t* minPeriodMs) {
  fake.calls.push_back("caps");
  *minPeriodMs = fake.minPeriod;
  return fake.capsFail ? -1 : 0;
}
int TimerBeginPeriod(std::uint32_t periodMs) {
  Record("begin ", periodMs);
  return periodMs == 0 ? -1 : 0;
}
void TimerEndPeriod(std::uint32_t periodMs) { Record("end ", periodMs); }
std::uint32_t TimerSetEvent(std::uint32_t delayMs, std::uint32_t resolutionMs, const TimerTarget* target) {
  Record("set " + std::to_string(delayMs) + " ", resolutionMs);
  fake.target = target;
  return fake.setEventFails ? 0 : 7;
}
void TimerKillEvent(std::uint32_t eventId) { Record("kill ", eventId); }

}  // namespace platform

namespace {

TEST(EventTimer, HoldsAndReleasesWhatItStarted) {
  using Calls = std::vector<std::string>;
  struct Case {
    const char* name;
    FakeService service;
    std::uint32_t delayMs;
    Calls calls;
    std::string printed;
  } cases[] = {
      {"normal", {false, 15, false, {}}, 5000, {"caps", "begin 15", "set 5000 15", "kill 7", "end 15"}, ""},
      {"delay 0 takes the minimum period", {false, 1, false, {}}, 0,
       {"caps", "begin 1", "set 1 1", "kill 7", "end 1"}, ""},
      {"event refused", {false, 1, true, {}}, 5000,
       {"caps", "begin 1", "set 5000 1", "end 1"}, "timeSetEvent()が失敗しました。\n"},
      {"capabilities unknown: no limit at all", {true, 1, false, {}}, 5000, {"caps", "begin 0"},
       "timeGetDevCaps()が失敗しました。\ntimeBeginPeriod()が失敗しました。\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake = c.service;
    testing::internal::CaptureStdout();
    {
      EventTimer timer(OnResponseTimer);
      timer.Start(c.delayMs);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
    EXPECT_EQ(fake.calls, c.calls);
  }
}

// Longer than one event may wait: 11 equal events of 54546 ms (not one less
// than the delay), the callback at the last of each 11.
TEST(EventTimer, CountsOutALongDelay) {
  fake = {};
  int fired = 0;
  EventTimer timer([](std::uint32_t, std::uint32_t, std::uintptr_t user, std::uintptr_t,
                      std::uintptr_t) { ++*reinterpret_cast<int*>(user); },
                   reinterpret_cast<std::uintptr_t>(&fired));
  timer.Start(600001);
  EXPECT_EQ(fake.calls.back(), "set 54546 1");
  std::string seen;
  for (int event = 0; event < 22; ++event) {
    fake.target->callback(7, 0, fake.target->user, 0, 0);
    seen += std::to_string(fired);
  }
  EXPECT_EQ(seen, "0000000000111111111112");
}

}  // namespace
