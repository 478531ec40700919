// The road of the host's text, built once from the options: from the chunk,
// its Telnet commands taken out, to the transcript, the records (-j) and the
// prompt test at the end of the text (-e). Nothing is allocated per chunk.
//
//   Telnet ─┬─ Escapes ─┬─ Tail                              -e
//           │           ├─ [PageJoiner] ─ Records            -j (joined with -e)
//           │           └─ [PageJoiner] ─ Mask ─ Transcript  -c (joined with -e)
//           └─ Mask ─ Transcript                             without -c
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "escapes/escapes.h"
#include "negotiation/negotiation.h"
#include "records/records.h"
#include "stage/stage.h"
#include "secrets/secrets.h"
#include "textmatch/textmatch.h"

// What the road is built from: the options that shape it. The texts must
// outlive the road.
struct RoadPlan {
  bool telnet = false;                                   // -t: Telnet commands taken out and answered
  std::uint16_t windowColumns = 0, windowRows = 0;       // what -t tells a host that asks
  const char* terminalType = nullptr;
  bool promptAtEnd = false;                              // -e: the tail, and pages joined
  bool clean = false;                                    // -c
  bool belShown = false;                                 // BEL bytes as "[0x07:BEL]"
  std::vector<const char*> prompts, pagers;              // -P, -M
  std::vector<std::string_view> questions;               // -A's questions
};

class Road {
 public:
  // secrets, records and reply must outlive the road.
  Road(const RoadPlan& plan, const Secrets& secrets, Records& records, Reply& reply);
  Road(const Road&) = delete;
  Road& operator=(const Road&) = delete;

  // With -t: takes the Telnet commands out of the chunk, in place (also one
  // split across chunks), and answers the host's requests through reply.
  // Returns the length of the text that remains.
  int Telnet(char* chunk, int n);
  // The option commands a fixed script sent: with -t never answered again.
  void NoteScript(const unsigned char* bytes, int n);
  // TelnetFilter::kSentWindow and kSentType: what the last chunk's answers told.
  int TelnetSent() const { return telnet_ ? telnet_->Sent() : 0; }

  // The chunk's text down every branch; then kPrompt when it ends in a prompt
  // (not a pager's), so that what the joining holds goes before the password
  // mask and the line; then kChunk.
  void Write(const char* text, int n);
  // kAnswered once a pager's prompt is answered; kEnd at the session's end.
  void Note(Mark mark) { entry_->Note(mark); }

  // -e: the end of what the host sent since the last line; else nullptr.
  PromptTail* Tail() { return tail_ ? &tail_->tail : nullptr; }

 private:
  // Every stage after it gets the same bytes and marks, in order.
  class Tee final : public Stage {
   public:
    void Add(Stage& stage) { to_.push_back(&stage); }
    bool Empty() const { return to_.empty(); }
    void Write(const char* bytes, int n) override;
    void Note(Mark mark) override;

   private:
    std::vector<Stage*> to_;
  };
  // The text without escape sequences.
  class Escapes final : public Stage {
   public:
    Escapes(bool markMovesBack, Stage& next) : filter_(markMovesBack), next_(next) {}
    void Write(const char* bytes, int n) override;
    void Note(Mark mark) override { next_.Note(mark); }

   private:
    EscapeFilter filter_;
    std::vector<char> out_;  // grown to the largest chunk, once
    Stage& next_;
  };
  // Every -k value shown as "********", also one split across chunks.
  class Mask final : public Stage {
   public:
    Mask(const Secrets& secrets, Stage& next) : secrets_(secrets), stream_(secrets.NewStream()), next_(next) {}
    void Write(const char* bytes, int n) override { secrets_.Mask(stream_, bytes, n, next_); }
    void Note(Mark mark) override;

   private:
    const Secrets& secrets_;
    Secrets::Stream stream_;
    Stage& next_;
  };
  // Standard output, BEL bytes as the BEL switch says; shown at each chunk's end.
  class Transcript final : public Stage {
   public:
    explicit Transcript(bool belShown) : belShown_(belShown) {}
    void Write(const char* bytes, int n) override;
    void Note(Mark mark) override;

   private:
    bool belShown_;
  };
  // The prompt tail, fed without the cursor marks a joiner needs.
  struct TailStage final : Stage {
    explicit TailStage(PromptTail promptTail) : tail(std::move(promptTail)) {}
    void Write(const char* bytes, int n) override;
    void Note(Mark) override {}
    PromptTail tail;
  };

  std::optional<TelnetFilter> telnet_;
  std::array<unsigned char, TelnetFilter::kMaxReplyBytes> reply_;
  Reply& replyTo_;
  Transcript transcript_;
  Mask shown_;
  std::optional<PageJoiner> shownPages_;
  std::optional<PageJoiner> recordPages_;
  std::optional<TailStage> tail_;
  Tee clean_;
  std::optional<Escapes> escapes_;
  Tee raw_;
  Stage* entry_ = nullptr;
};
