// The real timer service, against the clock. Bounds are generous: machines
// here are shared and noisy.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/timer_service.h"

namespace {

std::atomic<int> fired{0};

void CountFiring(std::uint32_t, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) {
  fired.fetch_add(1);
}
const platform::TimerTarget kCount{CountFiring, 0};

using std::chrono::milliseconds;

TEST(TimerService, RefusesAZeroPeriodAndReportsOneOfAtLeast1ms) {
  std::uint32_t period = 0;
  ASSERT_EQ(platform::TimerGetMinPeriod(&period), 0);
  EXPECT_GE(period, 1u);
  EXPECT_EQ(platform::TimerBeginPeriod(0), -1);
  EXPECT_EQ(platform::TimerBeginPeriod(period), 0);
  platform::TimerEndPeriod(period);
}

TEST(TimerService, FiresPeriodicallyUntilKilled) {
  fired = 0;
  const std::uint32_t id = platform::TimerSetEvent(50, 1, &kCount);
  ASSERT_NE(id, 0u);
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_EQ(fired.load(), 0) << "fired before its delay";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (fired.load() < 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(5));
  }
  EXPECT_GE(fired.load(), 3) << "a periodic event fires again";
  platform::TimerKillEvent(id);
  const int atKill = fired.load();
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_EQ(fired.load(), atKill) << "fired after it was killed";
}

TEST(TimerService, KillingOneEventLeavesTheOthers) {
  fired = 0;
  const std::uint32_t doomed = platform::TimerSetEvent(100, 1, &kCount);
  const std::uint32_t kept = platform::TimerSetEvent(100, 1, &kCount);
  ASSERT_NE(doomed, kept);
  platform::TimerKillEvent(doomed);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (fired.load() < 1 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(5));
  }
  platform::TimerKillEvent(kept);
  EXPECT_GE(fired.load(), 1);
}

TEST(TimerService, AnEventAddedWhileTheServiceWaitsFiresFirst) {
  // The service sleeps towards its earliest event while later events arrive
  // and its list of events grows under it (sanitized builds see any stale read).
  fired = 0;
  std::vector<std::uint32_t> ids{platform::TimerSetEvent(60000, 1, &kCount)};
  for (int i = 0; i < 64; ++i) {
    std::this_thread::sleep_for(milliseconds(1));  // let the service settle into its wait
    ids.push_back(platform::TimerSetEvent(59000, 1, &kCount));
  }
  ids.push_back(platform::TimerSetEvent(20, 1, &kCount));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (fired.load() < 1 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(5));
  }
  for (std::uint32_t id : ids) platform::TimerKillEvent(id);
  EXPECT_GE(fired.load(), 1) << "the earliest event, added last, did not fire";
}

TEST(TimerService, RestartsQuicklyManyTimes) {
  // What a session does on every chunk: kill the old event, start a new one.
  fired = 0;
  std::uint32_t id = platform::TimerSetEvent(1000, 1, &kCount);
  for (int i = 0; i < 10000; ++i) {
    platform::TimerKillEvent(id);
    id = platform::TimerSetEvent(1000, 1, &kCount);
    ASSERT_NE(id, 0u);
  }
  platform::TimerKillEvent(id);
  EXPECT_EQ(fired.load(), 0);
}

}  // namespace
