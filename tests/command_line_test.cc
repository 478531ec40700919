#include "app/command_line.h"

#include <gtest/gtest.h>

namespace {

TEST(ReadNumber, ReadsLikeAtoiAndSaturates) {
  struct Case {
    const char* text;
    std::int32_t value;
  } cases[] = {
      {"  \t42", 42},  {"+7", 7},  {"-3", -3},  {"12abc", 12},  {"x", 0},  {"- 5", 0},
      {"2147483647", 2147483647},  {"2147483648", 2147483647},  {"-2147483648", -2147483647 - 1},
      {"-99999999999", -2147483647 - 1},  {"000000000000000000000000000005", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ReadNumber(c.text), c.value);
  }
}

}  // namespace
