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

bool FiredAtLeast(int count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (fired.load() < count && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(5));
  }
  return fired.load() >= count;
}

TEST(TimerService, FiresPeriodicallyUntilKilled) {
  fired = 0;
  const std::uint32_t doomed = platform::TimerSetEvent(20, 1, &kCount);
  const std::uint32_t id = platform::TimerSetEvent(50, 1, &kCount);
  ASSERT_NE(id, 0u);
  platform::TimerKillEvent(doomed);  // killing one event leaves the others
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_EQ(fired.load(), 0) << "fired before its delay, or after it was killed";
  EXPECT_TRUE(FiredAtLeast(3)) << "a periodic event fires again";
  platform::TimerKillEvent(id);
  const int atKill = fired.load();
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_EQ(fired.load(), atKill) << "fired after it was killed";
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
  EXPECT_TRUE(FiredAtLeast(1)) << "the earliest event, added last, did not fire";
  for (std::uint32_t id : ids) platform::TimerKillEvent(id);
}

}  // namespace
