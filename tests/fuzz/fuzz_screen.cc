// What -c, -e and -k do to the host's text, on any input cut into two chunks
// at every position: the text without escape sequences, the transcript with
// the secrets masked and the prompt found at the end must not depend on the
// cut, and no secret may ever reach the transcript.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "escapes/escapes.h"
#include "secrets/secrets.h"
#include "textmatch/textmatch.h"

namespace {

const char* const kNames[] = {"RAVLO_FUZZ_A", "RAVLO_FUZZ_B"};

void Append(const char* bytes, int count, void* shown) {
  static_cast<std::string*>(shown)->append(bytes, static_cast<std::size_t>(count));
}

struct Screen {
  std::string text, shown;
  const char* prompt;
};

Screen Run(const char* data, std::size_t size, std::size_t cut) {
  EscapeFilter escapes;
  Secrets secrets;
  if (secrets.Load({kNames[0], kNames[1]}) != nullptr) __builtin_trap();
  PromptTail tail({"Username: "});
  Screen screen{std::string(size, '\0'), "", nullptr};
  int count = escapes.Filter(data, static_cast<int>(cut), &screen.text[0]);
  count += escapes.Filter(data + cut, static_cast<int>(size - cut), &screen.text[static_cast<std::size_t>(count)]);
  screen.text.resize(static_cast<std::size_t>(count));
  const std::size_t split = std::min(cut, screen.text.size());
  for (auto [from, to] : {std::pair<std::size_t, std::size_t>{0, split}, {split, screen.text.size()}}) {
    secrets.Mask(screen.text.data() + from, static_cast<int>(to - from), Append, &screen.shown);
    tail.Add(screen.text.data() + from, static_cast<int>(to - from));
  }
  secrets.Flush(Append, &screen.shown);
  screen.prompt = tail.Check();
  return screen;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Values that overlap themselves and each other; PromptTail prints the password mask.
  setenv(kNames[0], "ab", 1);
  setenv(kNames[1], "abaab", 1);
  return std::freopen("/dev/null", "w", stdout) == nullptr ? 1 : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const char* data = reinterpret_cast<const char*>(bytes);
  const Screen whole = Run(data, size, size);
  if (whole.shown.find("ab") != std::string::npos) __builtin_trap();
  for (std::size_t cut = 0; cut < size; ++cut) {
    const Screen part = Run(data, size, cut);
    if (part.text != whole.text || part.shown != whole.shown || part.prompt != whole.prompt) __builtin_trap();
  }
  return 0;
}
