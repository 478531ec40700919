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

TEST(TimerService, FiresPeriodicallyUntilKilled) {
  using std::chrono::milliseconds;
  const std::uint32_t doomed = platform::TimerSetEvent(20, 1, &kCount);
  const std::uint32_t id = platform::TimerSetEvent(50, 1, &kCount);
  ASSERT_NE(id, 0u);
  platform::TimerKillEvent(doomed);  // killing one event leaves the others
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_EQ(fired.load(), 0) << "fired before its delay, or after it was killed";
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

}  // namespace
