// A record's times as JSON members: when it began (UTC, to the ms) and how
// long it took. Private to the records.
#pragma once

#include <chrono>
#include <cstddef>

namespace records {

// Writes "start":"YYYY-MM-DDThh:mm:ss.mmmZ","ms":N.N into text.
void FormatTimes(char* text, std::size_t size, std::chrono::system_clock::time_point start,
                 std::chrono::steady_clock::duration took);

}  // namespace records
