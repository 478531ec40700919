// Reading the numeric arguments.
#pragma once

#include <cstdint>

// The longest response or connect limit, in seconds; a longer one is cut to it.
constexpr std::int32_t kMaxLimitSeconds = 600;

// Reads a decimal number the way atoi does (leading white space, a sign,
// digits up to the first non-digit, 0 when there are none), saturating at
// the limits of the signed 32-bit range instead of overflowing.
std::int32_t ReadNumber(const char* text);
