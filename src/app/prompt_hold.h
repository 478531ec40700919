// With -e, text that ends in a prompt, or in a pager's prompt, is held until
// the host has been quiet for the settle time: a console server or a long
// link cuts the host's text anywhere, so a piece that happens to end in "#"
// is no prompt yet. A prompt line that has settled once is known: when the
// last line is that line again, it waits only --settle. Once settled, a
// question (-A) gets its answer and a pager's prompt its key here; a prompt
// is taken, for the next command line. Before the first line, a host that
// shows no prompt and stays quiet for the wake time gets a line end, as a
// person would press Enter at a console whose prompt came long before.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/options.h"

#include "app/sender.h"
#include "app/trace.h"
#include "platform/wait.h"
#include "road/road.h"
#include "secrets/secrets.h"
#include "settle/settle.h"
#include "textmatch/textmatch.h"

class PromptHold {
 public:
  // The options' answers, line end (what a pager that wants RETURN, an
  // answer and a wake end with) and wake time. All must outlive the hold.
  PromptHold(Road& road, SettleTime& settle, Sender& sender, Trace& trace, const Options& options,
             Secrets& secrets)
      : tail_(*road.Tail()), road_(road), settle_(settle), sender_(sender), trace_(trace), secrets_(secrets),
        answers_(options.answers), lineEnd_(options.lineEnd), wakeMs_(options.wakeSeconds * 1000),
        quietSince_(SettleTime::Clock::now()) {}

  // The wait for the host has ended, with or without its text.
  void NoteWaitEnded() { arrived_ = SettleTime::Clock::now(); }
  // How long the loop may wait before what is held settles, or a wake is due.
  int WaitMs() const;

  // A chunk of n bytes has gone down the road into the tail.
  void NoteChunk(int n);
  // A line went out: its settle time may have changed.
  void NoteLineSent() { TraceSettle(); }
  // --ssh while ssh itself talks: its password and passphrase prompts come
  // whole from the local client, never cut by a link, so they count as
  // known at once.
  void TrustOwnPrompts(bool trust) { trustOwn_ = trust; }

  // Once a held prompt has settled (the host quiet for the settle time, or
  // done: nothing more can come), a pager's prompt is answered and nullptr
  // returned; a prompt is taken (the password mask printed) and returned.
  // With nothing held, a wake that is due is sent.
  const char* Take(bool hostDone);

  // A line went out for the prompt: pagers and questions are answered
  // afresh, and a command at work is never woken.
  void NewLine() {
    pagerAnswers_ = questionAnswers_ = 0;
    lineSent_ = true;
  }

 private:
  static constexpr int kMostWakes = 3;
  void TraceSettle();
  bool AnswerPager();
  bool AnswerQuestion();
  bool WakeArmed() const { return wakeMs_ > 0 && !held_ && !lineSent_ && wakes_ < kMostWakes; }
  int WakeLeftMs(SettleTime::Clock::time_point now) const;
  void Wake();

  PromptTail& tail_;
  Road& road_;
  SettleTime& settle_;
  Sender& sender_;
  Trace& trace_;
  Secrets& secrets_;
  const std::vector<Answer>& answers_;
  std::string_view lineEnd_;
  std::string reply_;  // the answer as written, its line end added
  bool held_ = false;       // the text ends in a prompt that has not settled yet
  SettleTime::Line line_ = SettleTime::Line::kWhole;  // ...in this kind of line
  bool trustOwn_ = false;   // see TrustOwnPrompts
  KnownLines knownLines_;
  int tracedSettleMs_ = 0;  // the settle time the trace gave last
  SettleTime::Clock::time_point arrived_;  // when the last wait for the host ended
  int pagerAnswers_ = 0;    // pager prompts answered since the last line
  int questionAnswers_ = 0;  // questions answered since the last line
  int wakeMs_;
  int wakes_ = 0;
  bool lineSent_ = false;
  SettleTime::Clock::time_point quietSince_;  // the last chunk, wake or start
};
