// The real timer service, against the clock. Bounds are generous: machines
// here are shared and noisy.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/timer_service.h"

namespace {

std::atomic<int> fired{0};

void CountFiring(std::uint32_t, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) {
  fired.fetch_add(1);
}
const platform::TimerTarget kCount{CountFiring, 0};

TEST(TimerService, FiresUntilKilled) {
  using std::chrono::milliseconds;
  const std::uint32_t doomed = platform::TimerSetEvent(20, 1, &kCount);
  const std::uint32_t id = platform::TimerSetEvent(50, 1, &kCount);
  ASSERT_NE(id, 0u);
  platform::TimerKillEvent(doomed);  // killing one event leaves the others
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_EQ(fired.load(), 0) << "fired before its delay, or after it was killed";
  for (int waited = 0; fired.load() == 0 && waited < 10000; waited += 5) {
    std::this_thread::sleep_for(milliseconds(5));
  }
  platform::TimerKillEvent(id);
  const int atKill = fired.load();
  EXPECT_GE(atKill, 1) << "the event left running never fired";
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_EQ(fired.load(), atKill) << "fired after it was killed";
}

}  // namespace
