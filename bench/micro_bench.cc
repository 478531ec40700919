// What one pass of the session loop costs besides its 1 ms pause: examining a
// chunk, and replacing the response timer on the real timer service.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <string>

#include "app/limits.h"
#include "app/session.h"
#include "platform/platform.h"
#include "textmatch/textmatch.h"

namespace {

constexpr int kChunkBytes = 10240;
constexpr const char* kErrorKeywords[] = {"command not found", "Login incorrect"};

// Directory listing lines: no prompt token, no error keyword.
std::string Listing(std::size_t size) {
  std::string text;
  for (int i = 0; text.size() < size; ++i) {
    text += "-rw-r--r-- 1 operator staff  " + std::to_string(40960 + i * 37) +
            " Dec  7 00:19 report-" + std::to_string(1000 + i) + ".log\r\n";
  }
  text.resize(size);
  if (text.back() == '\r') text.back() = 'x';  // a final CR would read as a prompt
  return text;
}

std::string Chunk(std::size_t size, bool withPrompt) {
  static const std::string kPrompt = "\r\n[operator@host ~]$ ";
  if (!withPrompt) return Listing(size);
  return Listing(size - kPrompt.size()) + kPrompt;
}

// The loop's steps 8 to 10 for one chunk: copy, normalise, keywords, prompt.
int ExamineChunk(const std::string& chunk, std::array<char, kChunkBytes + 2>& work) {
  const int n = static_cast<int>(chunk.size());
  std::memcpy(work.data(), chunk.data(), chunk.size());
  NormalizeChunk(work.data(), n);
  for (const char* keyword : kErrorKeywords) {
    if (MatchText(work.data(), keyword, MATCH_ANYWHERE) == 0) return 1;
  }
  return CheckPrompt(work.data()) == 0 ? 2 : 0;
}

void BM_ExamineChunk(benchmark::State& state) {
  const bool withPrompt = state.range(1) != 0;
  const std::string chunk = Chunk(static_cast<std::size_t>(state.range(0)), withPrompt);
  std::array<char, kChunkBytes + 2> work{};
  if (ExamineChunk(chunk, work) != (withPrompt ? 2 : 0)) {
    state.SkipWithError("the sample chunk is not read as intended");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(ExamineChunk(chunk, work));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ExamineChunk)
    ->ArgNames({"bytes", "prompt"})
    ->Args({100, 0})
    ->Args({100, 1})
    ->Args({kChunkBytes, 0})
    ->Args({kChunkBytes, 1});

// Every received chunk replaces the response timer: destroy, create, start.
// Back to back, and as in a session, where a pass lies between two restarts
// and the service's thread has gone back to sleep.
void BM_RestartResponseTimer(benchmark::State& state) {
  const bool pauseBetween = state.range(0) != 0;
  Session session;
  session.responseMs = 600 * 1000;  // never fires while measured
  for (auto _ : state) {
    if (pauseBetween) {
      state.PauseTiming();
      platform::PauseOneMs();
      state.ResumeTiming();
    }
    RestartResponseTimer(session);
  }
  session.responseTimer.reset();
}
BENCHMARK(BM_RestartResponseTimer)->ArgName("after_pass")->Arg(0)->UseRealTime();
// A fixed count: only the restart is timed, so a minimum time would take
// hundreds of thousands of passes.
BENCHMARK(BM_RestartResponseTimer)->ArgName("after_pass")->Arg(1)->Iterations(2000)->UseRealTime();

// The pause that starts every pass: the floor under per-command time and
// throughput.
void BM_PauseOneMs(benchmark::State& state) {
  for (auto _ : state) {
    platform::PauseOneMs();
  }
}
BENCHMARK(BM_PauseOneMs)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
