// -v: the session's trace on standard error, and the counts it numbers by.
#pragma once

#include "messages/messages.h"

class Trace {
 public:
  explicit Trace(bool on) : on_(on) {}
  bool On() const { return on_; }

  template <typename... Args>
  void operator()(const char* format, Args... args) const {
    if (on_) PrintTrace(format, args...);
  }

  int chunks = 0;  // received so far
  int lines = 0;   // command lines sent so far

 private:
  bool on_;
};
