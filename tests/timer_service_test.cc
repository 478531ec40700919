// The real timer service, against the clock: decided by when the first firing
// came and by what fired at all, never by how soon a busy machine ran a wait.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/timer_service.h"

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> fired{0};
std::atomic<Clock::rep> firstAt{0};

void CountFiring(std::uint32_t, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) {
  Clock::rep none = 0;
  firstAt.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
  fired.fetch_add(1);
}
const platform::TimerTarget kCount{CountFiring, 0};

// The killed event is due long after the live one: had its kill failed, it
// fires within the last wait, which follows the live one's kill.
TEST(TimerService, FiresUntilKilled) {
  using std::chrono::milliseconds;
  const Clock::time_point set = Clock::now();
  const std::uint32_t doomed = platform::TimerSetEvent(200, 1, &kCount);
  const std::uint32_t id = platform::TimerSetEvent(50, 1, &kCount);
  ASSERT_NE(id, 0u);
  platform::TimerKillEvent(doomed);  // killing one event leaves the others
  for (int waited = 0; fired.load() == 0 && waited < 10000; waited += 5) {
    std::this_thread::sleep_for(milliseconds(5));
  }
  platform::TimerKillEvent(id);
  const int atKill = fired.load();
  ASSERT_GE(atKill, 1) << "the event left running never fired";
  EXPECT_GE(Clock::time_point(Clock::duration(firstAt.load())) - set, milliseconds(49)) << "fired before its delay";
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_EQ(fired.load(), atKill) << "fired after it was killed";
}

}  // namespace
