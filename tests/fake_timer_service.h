// A scripted stand-in for the timer service: records every call and fails
// where a test asks it to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FakeTimerService {
  bool capsFail = false;
  std::uint32_t minPeriod = 1;
  bool setEventFails = false;
  std::uint32_t nextId = 7;
  std::vector<std::string> calls;  // e.g. "begin 1", "set 500 1", "kill 7", "end 1"
};

// The one the fake platform functions use; reset by each test.
FakeTimerService& Fake();
