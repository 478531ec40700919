// Periodic timer service on POSIX. Like the Windows multimedia timer it is one
// service per process: a single thread runs every event, so starting and
// stopping an event costs a lock and a wake-up, not a thread.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/timer_service.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

struct Event {
  std::uint32_t id;
  Clock::time_point due;
  std::chrono::milliseconds period;
  TimerTarget target;  // a copy: this service does not need the caller's to live on
};

class TimerThread {
 public:
  TimerThread() : thread_([this] { Run(); }) {}

  ~TimerThread() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  std::uint32_t Add(std::uint32_t delayMs, const TimerTarget& target) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (++lastId_ == 0) ++lastId_;  // 0 means "no event"
    auto period = std::chrono::milliseconds(delayMs);
    const Clock::time_point due = Clock::now() + period;
    events_.push_back(Event{lastId_, due, period, target});
    // Only an event due before the thread's wake-up needs it woken. A restart's
    // event is due after the one it replaces, so a chunk costs no thread switch.
    if (due < wakeAt_) wake_.notify_all();
    return lastId_;
  }

  void Remove(std::uint32_t id) {
    std::unique_lock<std::mutex> lock(mutex_);
    events_.erase(std::remove_if(events_.begin(), events_.end(),
                                 [id](const Event& e) { return e.id == id; }),
                  events_.end());
    // A callback may be running for it right now; wait it out, unless we are
    // that callback.
    if (std::this_thread::get_id() == thread_.get_id()) return;
    finished_.wait(lock, [&] { return firing_ != id; });
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
      if (events_.empty()) {
        wakeAt_ = Clock::time_point::max();
        wake_.wait(lock);
        continue;
      }
      auto next = std::min_element(events_.begin(), events_.end(),
                                   [](const Event& a, const Event& b) { return a.due < b.due; });
      if (Clock::now() < next->due) {
        // A copy: while we wait, Add may grow events_ and free what next points to.
        const Clock::time_point due = next->due;
        wakeAt_ = due;
        wake_.wait_until(lock, due);
        continue;
      }
      next->due += next->period;
      Event fired = *next;
      firing_ = fired.id;
      lock.unlock();
      fired.target.callback(fired.id, 0, fired.target.user, 0, 0);
      lock.lock();
      firing_ = 0;
      finished_.notify_all();
    }
  }

  // Guards everything below; events_ holds the running events, firing_ the id
  // whose callback is being called (0 for none), wakeAt_ when the thread next
  // looks at events_ of its own accord (stale only while it is awake).
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  std::vector<Event> events_;
  std::uint32_t lastId_ = 0;
  std::uint32_t firing_ = 0;
  Clock::time_point wakeAt_ = Clock::time_point::max();
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the rest is ready
};

TimerThread& Service() {
  static TimerThread service;
  return service;
}

}  // namespace

int TimerGetMinPeriod(std::uint32_t* minPeriodMs) {
  timespec resolution{};
  if (clock_getres(CLOCK_MONOTONIC, &resolution) != 0) return -1;
  long ms = resolution.tv_sec * 1000 + (resolution.tv_nsec + 999999) / 1000000;
  *minPeriodMs = static_cast<std::uint32_t>(std::max(ms, 1L));
  return 0;
}

int TimerBeginPeriod(std::uint32_t periodMs) { return periodMs == 0 ? -1 : 0; }

void TimerEndPeriod(std::uint32_t) {}

std::uint32_t TimerSetEvent(std::uint32_t delayMs, std::uint32_t, const TimerTarget* target) {
  if (delayMs == 0 || target == nullptr || target->callback == nullptr) return 0;
  return Service().Add(delayMs, *target);
}

void TimerKillEvent(std::uint32_t eventId) { Service().Remove(eventId); }

}  // namespace platform
