// The Telnet filter on any input, cut into two chunks at every position: the
// text that remains and the answers due must not depend on where the cut falls,
// and no option is ever answered twice in one direction.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "negotiation/negotiation.h"

namespace {

// Filters the chunks in order; returns the text, appends the answers to replies.
std::string Run(const std::uint8_t* data, std::size_t size, std::size_t cut, std::string& replies) {
  TelnetFilter filter;
  std::string text;
  unsigned char reply[TelnetFilter::kMaxReplyBytes];
  for (auto [from, to] : {std::pair<std::size_t, std::size_t>{0, cut}, {cut, size}}) {
    std::string chunk(reinterpret_cast<const char*>(data) + from, to - from);
    int count = -1;
    const int kept = filter.Filter(&chunk[0], static_cast<int>(chunk.size()), reply, &count);
    if (kept < 0 || static_cast<std::size_t>(kept) > chunk.size() || count < 0 || count % 3 != 0) __builtin_trap();
    text.append(chunk, 0, static_cast<std::size_t>(kept));
    replies.append(reinterpret_cast<const char*>(reply), static_cast<std::size_t>(count));
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string whole;
  const std::string text = Run(data, size, size, whole);
  bool answered[256][2] = {};
  for (std::size_t i = 0; i < whole.size(); i += 3) {
    const auto verb = static_cast<unsigned char>(whole[i + 1]);
    bool& seen = answered[static_cast<unsigned char>(whole[i + 2])][verb == 252 ? 0 : 1];
    if (static_cast<unsigned char>(whole[i]) != 255 || seen) __builtin_trap();
    seen = true;
  }
  for (std::size_t cut = 0; cut < size; ++cut) {
    std::string replies;
    if (Run(data, size, cut, replies) != text || replies != whole) __builtin_trap();
  }
  return 0;
}
