// A chunk down the loop's path: normalised in a work buffer of exactly the
// loop's size (ASan sees a write past it; a canary, one inside), then tested
// for the error keywords and a prompt.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "textmatch/textmatch.h"

namespace {

constexpr std::size_t kChunkBytes = 10240;
constexpr std::size_t kWorkBytes = kChunkBytes + 2;
constexpr unsigned char kCanary = 0xA5;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // CheckPrompt prints the password mask; keep it out of the fuzzer's log.
  return std::freopen("/dev/null", "w", stdout) == nullptr ? 1 : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t n = size < kChunkBytes ? size : kChunkBytes;
  std::unique_ptr<char[]> work(new char[kWorkBytes]);
  std::memcpy(work.get(), data, n);
  std::memset(work.get() + n, kCanary, kWorkBytes - n);

  NormalizeChunk(work.get(), static_cast<int>(n));
  // The examined text ends within the chunk, or at the "#" a final CR adds.
  const std::size_t length = std::strlen(work.get());
  if (length > n + 1) __builtin_trap();
  if (length == n + 1 && (data[n - 1] != '\r' || work[n] != '#')) __builtin_trap();
  static const std::vector<char> canaries(kWorkBytes, static_cast<char>(kCanary));
  if (std::memcmp(work.get() + n + 2, canaries.data(), kWorkBytes - n - 2) != 0) __builtin_trap();
  // No line end survives in the examined text.
  const std::string_view text(work.get(), length);
  if (text.find_first_of("\r\n") != std::string_view::npos) __builtin_trap();

  // Both error keywords, each checked against the standard library's search.
  for (const char* keyword : {"command not found", "Login incorrect"}) {
    const bool found = MatchText(work.get(), keyword, MATCH_ANYWHERE) == 0;
    if (found != (text.find(keyword) != std::string_view::npos)) __builtin_trap();
  }
  const std::int32_t prompt = CheckPrompt(work.get());
  if (prompt != 0 && prompt != -1) __builtin_trap();
  if (work[0] != '\0') __builtin_trap();
  return 0;
}
