#include "app/show.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr char kBel = 0x07;
constexpr char kBelShown[] = "[0x07:BEL]";

// Writes one piece of the transcript, BEL bytes as bellMode (the context) says.
void WriteShown(const char* chunk, int n, void* bellMode) {
  const char* end = chunk + n;
  while (chunk < end) {
    const char* bel = *static_cast<std::int32_t*>(bellMode) == 1 ? std::find(chunk, end, kBel) : end;
    std::fwrite(chunk, 1, static_cast<std::size_t>(bel - chunk), stdout);
    if (bel == end) break;
    std::fputs(kBelShown, stdout);
    chunk = bel + 1;
  }
}

// With -k every value is masked, also one split across chunks.
void ShowPiece(const char* text, int n, void* session) {
  auto* shown = static_cast<Session*>(session);
  shown->secrets.Mask(text, n, WriteShown, &shown->bellMode);
}

void RecordText(const char* text, int n, void* records) { static_cast<Records*>(records)->Text(text, n); }

// With -e the unfinished line waits, so that a pager's prompt in it can be
// left out; a prompt (release) lets it go before the password mask and the
// line follow.
void Join(PageJoiner& pages, bool release, const char* text, int n, PageJoiner::Sink sink, void* context) {
  pages.Show(text, n, sink, context);
  if (release) pages.Release(sink, context);
}

}  // namespace

void ShowText(Session& session, const char* text, int n, char* clean, PromptTail& tail) {
  const Options& options = session.options;
  const bool joined = options.clean && options.promptAtEnd;
  if (options.clean || options.promptAtEnd || session.records.IsOpen()) {
    const int cleanBytes = session.escapes.Filter(text, n, clean);
    if (options.promptAtEnd) tail.Add(clean, cleanBytes);
    PagerKey key = PagerKey::kSpace;
    const bool release = options.promptAtEnd && tail.Find() != nullptr && tail.FindPager(&key) == nullptr;
    if (options.promptAtEnd && session.records.IsOpen()) {
      Join(session.recordPages, release, clean, cleanBytes, RecordText, &session.records);
    } else {
      session.records.Text(clean, cleanBytes);
    }
    if (joined) Join(session.pages, release, clean, cleanBytes, ShowPiece, &session);
    if (options.clean) {
      text = clean;
      n = cleanBytes;
    }
  }
  if (!joined) ShowPiece(text, n, &session);
  std::fflush(stdout);
}

void PagerAnswered(Session& session) {
  session.pages.Answered();
  session.recordPages.Answered();
}

void ShowHeld(Session& session) {
  session.pages.Release(ShowPiece, &session);
  session.recordPages.Release(RecordText, &session.records);
  session.secrets.Flush(WriteShown, &session.bellMode);
}
