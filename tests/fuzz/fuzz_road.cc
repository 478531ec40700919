// The whole road of the host's text on any input, cut into two chunks at
// every position, its stages chosen by the first byte (-t, -c, -e, -j; -k
// always): the transcript, the records and the Telnet answers (the window and
// the type among them) must not depend on the cut, and no secret may ever
// reach the transcript or the records. With the first byte's bit 4 every
// pager prompt is answered as it comes, as the session does once it settles:
// then only the secrets are checked.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "records/records.h"
#include "road/road.h"
#include "secrets/secrets.h"

namespace {

const char* const kNames[] = {"RAVLO_FUZZ_A", "RAVLO_FUZZ_B"};
std::string recordsPath, shownPath;

void RemoveFiles() {
  std::remove(recordsPath.c_str());
  std::remove(shownPath.c_str());
}

struct Answers final : Reply {
  void Answer(const unsigned char* bytes, int n) override { sent.append(reinterpret_cast<const char*>(bytes), n); }
  std::string sent;
};

struct Run {
  std::string shown, records, answers;
};

std::string ReadAll(std::FILE* file) {
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  return text;
}

// The records without their times, which differ from run to run.
std::string Timeless(std::string text) {
  for (std::size_t at; (at = text.find(",\"start\":\"")) != std::string::npos;) text.erase(at, text.find('}', at) - at);
  return text;
}

// The records with each JSON escape as one '.', so that "\u001a" and "b" do
// not read as the secret "ab" when neither byte of it was written.
std::string Unescaped(const std::string& text) {
  std::string out;
  for (std::size_t at = 0; at < text.size(); ++at) {
    out += text[at] == '\\' ? '.' : text[at];
    if (text[at] == '\\') at += (at + 1 < text.size() && text[at + 1] == 'u') ? 5 : 1;
  }
  return out;
}

Run Road1(unsigned stages, const char* data, std::size_t size, std::size_t cut) {
  RoadPlan plan;
  plan.clean = (stages & 1) != 0;
  plan.promptAtEnd = (stages & 2) != 0;
  plan.telnet = (stages & 8) != 0;
  plan.windowColumns = 500;
  plan.windowRows = 1000;
  plan.terminalType = "vt100";
  plan.belShown = true;
  plan.prompts = {"Username: "};
  Secrets secrets;
  if (secrets.Load({kNames[0], kNames[1]}) != nullptr) __builtin_trap();
  Records records;
  if ((stages & 4) != 0 && records.Open(recordsPath.c_str(), "\n", secrets) != 0) __builtin_trap();
  records.Start();
  records.Line("x${RAVLO_FUZZ_A}\n", "xab\n", false, false);
  Answers answers;
  std::rewind(stdout);
  if (ftruncate(fileno(stdout), 0) != 0) __builtin_trap();
  {
    Road road(plan, secrets, records, answers);
    for (auto [from, to] : {std::pair<std::size_t, std::size_t>{0, cut}, {cut, size}}) {
      std::string chunk(data + from, to - from);
      road.Write(chunk.data(), road.Telnet(chunk.data(), static_cast<int>(chunk.size())));
      PagerKey key = PagerKey::kSpace;
      if ((stages & 16) != 0 && road.Tail() != nullptr && road.Tail()->CheckPager(&key) != nullptr) {
        road.Note(Mark::kAnswered);
      }
    }
    road.Note(Mark::kEnd);
  }
  records.End({"file-done", nullptr, 0, false, size, 0});
  if (records.Close() != 0) __builtin_trap();
  Run run{"", "", answers.sent};
  std::fflush(stdout);
  std::rewind(stdout);
  run.shown = ReadAll(stdout);
  if ((stages & 4) != 0) {
    std::FILE* file = std::fopen(recordsPath.c_str(), "rb");
    if (file == nullptr) __builtin_trap();
    run.records = Timeless(ReadAll(file));
    std::fclose(file);
  }
  const bool leaked = run.shown.find("ab") != std::string::npos || Unescaped(run.records).find("ab") != std::string::npos;
  if (leaked) __builtin_trap();
  return run;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Values that overlap themselves and each other.
  setenv(kNames[0], "ab", 1);
  setenv(kNames[1], "abaab", 1);
  const std::string base = "/tmp/ravlo-fuzz-road-" + std::to_string(getpid());
  recordsPath = base + ".jsonl";
  shownPath = base + ".out";
  std::atexit(RemoveFiles);
  // The transcript goes to a file of its own, read back after each run.
  return std::freopen(shownPath.c_str(), "w+b", stdout) == nullptr ? 1 : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0) return 0;
  const unsigned stages = bytes[0];
  const char* data = reinterpret_cast<const char*>(bytes) + 1;
  const Run whole = Road1(stages, data, size - 1, size - 1);
  for (std::size_t cut = 0; cut + 1 < size; ++cut) {
    const Run part = Road1(stages, data, size - 1, cut);
    if ((stages & 16) == 0 &&
        (part.shown != whole.shown || part.records != whole.records || part.answers != whole.answers)) {
      __builtin_trap();
    }
  }
  return 0;
}
