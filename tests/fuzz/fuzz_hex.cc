// HexString2Bin on any text, into a destination of exactly kMaxScriptBytes
// allocated at that size, so ASan sees a write past it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "negotiation/negotiation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::unique_ptr<char[]> text(new char[size + 1]);
  std::memcpy(text.get(), data, size);
  text[size] = '\0';
  std::unique_ptr<unsigned char[]> destination(new unsigned char[kMaxScriptBytes]);

  const std::int32_t count = HexString2Bin(destination.get(), text.get());
  // Two characters a byte, an odd last one padded, at most 254 characters read.
  const std::size_t length = std::strlen(text.get());
  const std::size_t read = length < 254 ? length : 254;
  if (count < 0 || static_cast<std::size_t>(count) != (read + 1) / 2) __builtin_trap();
  return 0;
}
