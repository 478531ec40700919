#include "road/road.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {
constexpr char kBel = 0x07;
constexpr char kBelShown[] = "[0x07:BEL]";
constexpr char kMoveBackMark = 0x1B;  // EscapeFilter's mark: no other ESC passes it
}  // namespace

Road::Road(const RoadPlan& plan, const Secrets& secrets, Records& records, Reply& reply)
    : replyTo_(reply), transcript_(plan.belShown), shown_(secrets, transcript_) {
  if (plan.telnet) telnet_.emplace(plan.windowColumns, plan.windowRows, plan.terminalType);
  const bool joined = plan.promptAtEnd;
  // The prompt, keyword and pager tests look at the host's bytes as received,
  // whatever --charset says: their texts are ASCII, and no Shift_JIS or EUC-JP
  // trailing byte is '#', '$', '>' or ':'. Only the records convert.
  if (plan.promptAtEnd) {
    tail_.emplace(PromptTail(plan.prompts, plan.pagers, plan.questions));
    clean_.Add(*tail_);
  }
  if (records.IsOpen()) clean_.Add(joined ? recordPages_.emplace(records) : static_cast<Stage&>(records));
  Stage& shown = plan.clean && joined ? shownPages_.emplace(shown_) : static_cast<Stage&>(shown_);
  if (plan.clean) clean_.Add(shown);
  // Only a joiner erases with the marks, and the tail leaves them out.
  if (!clean_.Empty()) raw_.Add(escapes_.emplace(shownPages_ || recordPages_, clean_));
  if (!plan.clean) raw_.Add(shown);
  entry_ = &raw_;
}

int Road::Telnet(char* chunk, int n) {
  if (!telnet_) return n;
  int count = 0;
  n = telnet_->Filter(chunk, n, reply_.data(), &count);
  if (count > 0) replyTo_.Answer(reply_.data(), count);
  return n;
}

void Road::NoteScript(const unsigned char* bytes, int n) {
  if (telnet_) telnet_->NoteSent(bytes, n);
}

void Road::Write(const char* text, int n) {
  entry_->Write(text, n);
  PagerKey key = PagerKey::kSpace;
  if (tail_ && tail_->tail.Find() != nullptr && tail_->tail.FindPager(&key) == nullptr) entry_->Note(Mark::kPrompt);
  entry_->Note(Mark::kChunk);
}

void Road::Tee::Write(const char* bytes, int n) {
  for (Stage* stage : to_) stage->Write(bytes, n);
}

void Road::Tee::Note(Mark mark) {
  for (Stage* stage : to_) stage->Note(mark);
}

void Road::Escapes::Write(const char* bytes, int n) {
  if (out_.size() < static_cast<std::size_t>(n)) out_.resize(static_cast<std::size_t>(n));
  next_.Write(out_.data(), filter_.Filter(bytes, n, out_.data()));
}

void Road::Mask::Note(Mark mark) {
  if (mark == Mark::kEnd) secrets_.Flush(stream_, next_);
  next_.Note(mark);
}

void Road::Transcript::Write(const char* bytes, int n) {
  const char* end = bytes + n;
  while (bytes < end) {
    const char* bel = belShown_ ? std::find(bytes, end, kBel) : end;
    std::fwrite(bytes, 1, static_cast<std::size_t>(bel - bytes), stdout);
    if (bel == end) break;
    std::fputs(kBelShown, stdout);
    bytes = bel + 1;
  }
}

void Road::Transcript::Note(Mark mark) {
  if (mark == Mark::kChunk || mark == Mark::kEnd) std::fflush(stdout);
}

void Road::TailStage::Write(const char* bytes, int n) {
  if (n == 0) return;  // an empty piece may have no storage at all
  tail.BeginChunk();
  const char* const end = bytes + n;
  for (const char* at = bytes;; ++at) {
    const void* found = std::memchr(at, kMoveBackMark, static_cast<std::size_t>(end - at));
    const char* mark = found != nullptr ? static_cast<const char*>(found) : end;
    tail.Add(at, static_cast<int>(mark - at));
    if (mark == end) break;
    at = mark;
  }
}
