#include "app/prompt_hold.h"

#include <algorithm>
#include <chrono>

#include "sshwords/sshwords.h"

namespace {
// A pager that asks for ever is answered only so often for one command line;
// a host that asks a question for ever, less often still.
constexpr int kMaxPagerAnswers = 10000;
constexpr int kMaxQuestionAnswers = 100;
}  // namespace

void PromptHold::NoteChunk(int n) {
  const char* token = tail_.Find();
  if (token != nullptr) trace_(kTracePromptFormat, trace_.chunks, n, token);
  if (token == nullptr) trace_(kTraceNoPromptFormat, trace_.chunks, n);
  PagerKey key = PagerKey::kSpace;
  const bool answered = tail_.FindPager(&key) != nullptr || tail_.FindQuestion() >= 0;
  const bool held = token != nullptr || answered;
  if (held_ && !held) trace_(kTracePromptHeldText);
  held_ = held;
  const bool own = trustOwn_ && (token == kPasswordToken || token == kSshPassphrasePrompt);
  // A pager's prompt and a question are texts looked for, not a line's last
  // marks: they need no more than the settle time even when new.
  line_ = own || knownLines_.Knows(tail_.Line()) ? SettleTime::Line::kKnown
          : answered || tail_.LineCameWhole()    ? SettleTime::Line::kWhole
                                                 : SettleTime::Line::kMixed;
  if (held && line_ == SettleTime::Line::kKnown) trace_(kTracePromptKnownFormat, trace_.chunks);
  if (held && line_ == SettleTime::Line::kMixed) trace_(kTracePromptMixedFormat, trace_.chunks);
  quietSince_ = arrived_;
  settle_.NoteChunk(arrived_, SettleTime::Clock::now(), tail_.MidLine());
  TraceSettle();
}

int PromptHold::WaitMs() const {
  const auto now = SettleTime::Clock::now();
  if (held_) return settle_.LeftMs(now, line_);
  return WakeArmed() ? WakeLeftMs(now) : platform::SocketWait::kForever;
}

int PromptHold::WakeLeftMs(SettleTime::Clock::time_point now) const {
  const auto quietMs = std::chrono::duration_cast<std::chrono::milliseconds>(now - quietSince_).count();
  return static_cast<int>(std::max<std::int64_t>(0, wakeMs_ - quietMs));
}

// Counted from the connection: before it is made there is no one to wake.
void PromptHold::Wake() {
  quietSince_ = SettleTime::Clock::now();
  if (!sender_.Connected()) return;
  trace_(kTraceWakeFormat, ++wakes_);
  sender_.Send(lineEnd_, Sender::Sent::kKey);
}

const char* PromptHold::Take(bool hostDone) {
  if (!held_ && !hostDone && WakeArmed() && WakeLeftMs(SettleTime::Clock::now()) == 0) Wake();
  if (!held_) return nullptr;
  if (!hostDone && settle_.LeftMs(SettleTime::Clock::now(), line_) > 0) return nullptr;
  held_ = false;
  // The line that settled, learned before answering it empties the tail.
  if (!hostDone) knownLines_.Learn(tail_.Line());
  if (AnswerQuestion() || AnswerPager()) return nullptr;
  return tail_.Check();
}

// A pager's prompt in the last, unfinished line gets its key, not a command
// line. True when one was found, also past kMaxPagerAnswers: then the limit
// decides.
bool PromptHold::AnswerPager() {
  PagerKey key = PagerKey::kSpace;
  const char* pager = tail_.CheckPager(&key);
  if (pager == nullptr) return false;
  const bool answer = pagerAnswers_ < kMaxPagerAnswers;
  trace_(kTracePagerFormat, trace_.chunks, pager, answer ? "answered" : "not answered");
  if (!answer) return true;
  ++pagerAnswers_;
  // Its last page: what it padded that page with goes with the prompt.
  road_.Note(key == PagerKey::kQuit ? Mark::kAnsweredLast : Mark::kAnswered);
  sender_.Send(key == PagerKey::kLineEnd ? lineEnd_ : key == PagerKey::kQuit ? "q" : " ", Sender::Sent::kKey);
  return true;
}

// A question in the last, unfinished line gets its answer: the reply, its
// ${NAME}s expanded, and the line end. The trace names the question, never
// the reply. True when one was found, also past kMaxQuestionAnswers.
bool PromptHold::AnswerQuestion() {
  const int found = tail_.CheckQuestion();
  if (found < 0) return false;
  const Answer& answer = answers_[static_cast<std::size_t>(found)];
  const bool reply = questionAnswers_ < kMaxQuestionAnswers;
  trace_(kTraceQuestionFormat, trace_.chunks, static_cast<int>(answer.question.size()), answer.question.data(),
         reply ? "answered" : "not answered");
  if (!reply) return true;
  ++questionAnswers_;
  reply_.assign(answer.reply);
  reply_ += lineEnd_;
  sender_.Send(secrets_.Expand(reply_), Sender::Sent::kKey);
  secrets_.Wipe();
  return true;
}

void PromptHold::TraceSettle() {
  if (settle_.Ms() == tracedSettleMs_) return;
  tracedSettleMs_ = settle_.Ms();
  trace_(kTraceSettleFormat, tracedSettleMs_);
}
