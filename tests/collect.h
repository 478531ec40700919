// A last stage for the tests: what reaches it, in order.
#pragma once

#include <string>

#include "stage/stage.h"

struct Collect final : Stage {
  void Write(const char* bytes, int n) override { text.append(bytes, static_cast<std::size_t>(n)); }
  void Note(Mark) override {}
  std::string text;
};
