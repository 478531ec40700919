#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_timer_service.h"
#include "timer/event_timer.h"

namespace {

using Calls = std::vector<std::string>;

// One timer's whole life against the fake: constructed, started, destroyed.
struct Life {
  Calls calls;
  std::string printed;
};

Life LiveOnce(std::uint32_t delayMs) {
  Fake().calls.clear();
  testing::internal::CaptureStdout();
  {
    EventTimer timer(OnResponseTimer);
    timer.Start(delayMs);
  }
  return Life{Fake().calls, testing::internal::GetCapturedStdout()};
}

TEST(EventTimer, HoldsAndReleasesWhatItStarted) {
  struct Case {
    const char* name;
    bool capsFail;
    bool setEventFails;
    std::uint32_t delayMs;
    Calls calls;
    std::string printed;
  } cases[] = {
      {"normal", false, false, 5000,
       {"caps", "begin 1", "set 5000 1", "kill 7", "end 1"}, ""},
      {"delay 0 takes the minimum period", false, false, 0,
       {"caps", "begin 1", "set 1 1", "kill 7", "end 1"}, ""},
      {"event refused", false, true, 5000,
       {"caps", "begin 1", "set 5000 1", "end 1"}, "timeSetEvent()が失敗しました。\n"},
      {"capabilities unknown: no limit at all", true, false, 5000,
       {"caps", "begin 0"},
       "timeGetDevCaps()が失敗しました。\ntimeBeginPeriod()が失敗しました。\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fake() = FakeTimerService{};
    Fake().capsFail = c.capsFail;
    Fake().setEventFails = c.setEventFails;
    const Life life = LiveOnce(c.delayMs);
    EXPECT_EQ(life.calls, c.calls);
    EXPECT_EQ(life.printed, c.printed);
  }
}

TEST(EventTimer, UsesTheServicesMinimumPeriodAsResolution) {
  Fake() = FakeTimerService{};
  Fake().minPeriod = 15;
  EXPECT_EQ(LiveOnce(1000).calls, (Calls{"caps", "begin 15", "set 1000 15", "kill 7", "end 15"}));
}

TEST(OnResponseTimer, RaisesTheFlagForGood) {
  ResponseTimedOut.store(0);
  OnResponseTimer(1, 0, 0, 0, 0);
  OnResponseTimer(1, 0, 0, 0, 0);
  EXPECT_EQ(ResponseTimedOut.load(), 1);
  ResponseTimedOut.store(0);
}

}  // namespace
