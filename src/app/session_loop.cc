#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "app/session.h"
#include "app/show.h"
#include "messages/messages.h"
#include "settle/settle.h"
#include "textmatch/textmatch.h"

namespace {

constexpr int kChunkBytes = 10240;
constexpr const char* kErrorKeywords[] = {"command not found", "Login incorrect"};
// A pager that asks for ever is answered only so often for one command line.
constexpr int kMaxPagerAnswers = 10000;

// Owned by the loop for the whole session; nothing is allocated per chunk.
struct Buffers {
  std::array<char, kChunkBytes + 1> receive;  // a chunk and its terminating zero
  std::array<char, kChunkBytes + 2> work;     // normalised copy: room for "#" and zero
  std::array<char, kChunkBytes> clean;        // without escape sequences (-c, -e, -j)
  std::array<unsigned char, kMaxScriptBytes> negotiation;
  std::array<unsigned char, TelnetFilter::kMaxReplyBytes> telnetReply;
  std::string line;  // one piece of a command line, at most CommandFile::kPieceBytes
};

// What the loop remembers from pass to pass besides the session's own state.
struct LoopState {
  int chunks = 0;          // received so far, for the trace
  int lines = 0;           // command lines sent so far, for the trace
  bool connected = false;  // the trace has said so (kept with -v only)
  bool lost = false;       // the connection has been closed or has failed: only the limit is left
  bool filled = false;     // the last receive filled the buffer: more is waiting
  bool sendFailed = false;  // the last send found the connection failed: the next pass says so
  bool closed = false;      // the connection was lost by the host's close, not by a failure
  bool password = false;    // the prompt that takes the next line asks for a password
  std::uint64_t received = 0;  // bytes over the connection, for the records
  std::uint64_t sent = 0;
  PromptTail tail;          // -e: the end of what the host sent since the last line
  SettleTime settle;        // -e: how long the host must stay quiet at a prompt
  bool held = false;        // -e: the text ends in a prompt that has not settled yet
  int tracedSettleMs = 0;   // the settle time the trace gave last
  SettleTime::Clock::time_point arrived;  // when the last wait for the host ended
  int pagerAnswers = 0;     // -e: pager prompts answered since the last line
};

template <typename... Args>
void Trace(const Session& session, const char* format, Args... args) {
  if (session.options.verbose) PrintTrace(format, args...);
}

static_assert(std::size(kTraceEndTexts) == static_cast<std::size_t>(SessionEnd::kConnectionLost) + 1,
              "one trace text for each way a session ends");

// Traces the connection once it is made; a chunk or a close proves it.
void NoteConnected(const Session& session, LoopState& state, int received) {
  if (!session.options.verbose || state.connected || received == platform::kReceiveFailed) return;
  if (received == platform::kReceiveNothing && !platform::IsConnected(session.socket)) return;
  state.connected = true;
  PrintTrace(kTraceConnectedText);
}

// A closed or failed connection, traced once. True when it ends the session.
bool ConnectionLost(const Session& session, LoopState& state, int received) {
  if (!state.lost) {
    Trace(session, received == platform::kReceiveClosed ? kTraceClosedText
                   : state.connected                    ? kTraceFailedText
                                                        : kTraceNotConnectedText);
  }
  if (!state.lost) state.closed = received == platform::kReceiveClosed;
  state.lost = true;
  return session.options.status;
}

void TracePrompt(const Session& session, const LoopState& state, int n, const char* token) {
  if (token != nullptr) Trace(session, kTracePromptFormat, state.chunks, n, token);
  if (token == nullptr) Trace(session, kTraceNoPromptFormat, state.chunks, n);
}

// Sends without waiting, as the negotiation does, and counts what went out.
void SendCounted(const Session& session, LoopState& state, const unsigned char* bytes, int count) {
  const int n = platform::SendSome(session.socket, reinterpret_cast<const char*>(bytes), count);
  if (n > 0) state.sent += static_cast<std::uint64_t>(n);
}

// The window and the terminal type, when the last chunk's answers told them.
void TraceTerminal(const Session& session, int chunk) {
  const Options& options = session.options;
  if ((session.telnet.Sent() & TelnetFilter::kSentWindow) != 0) {
    Trace(session, kTraceWindowFormat, chunk, options.windowColumns, options.windowRows);
  }
  if ((session.telnet.Sent() & TelnetFilter::kSentType) != 0) {
    Trace(session, kTraceTerminalTypeFormat, chunk, options.terminalType);
  }
}

// Answers a chunk of the opening negotiation; true when the chunk was taken.
bool NegotiateChunk(Session& session, Buffers& buffers, LoopState& state) {
  const char* script = NextNegotiationScript(session.targetType, session.negotiationStep);
  if (script == nullptr) return false;
  const int count = HexString2Bin(buffers.negotiation.data(), script);
  SendCounted(session, state, buffers.negotiation.data(), count);
  if (session.options.telnet) session.telnet.NoteSent(buffers.negotiation.data(), count);
  return true;
}

// With -t: takes the Telnet commands out of the chunk, in place, and answers
// the requests among them (after the chunk's script, if any). Returns the
// length of the text that remains.
int FilterTelnet(Session& session, Buffers& buffers, LoopState& state, int n) {
  if (!session.options.telnet) return n;
  int count = 0;
  n = session.telnet.Filter(buffers.receive.data(), n, buffers.telnetReply.data(), &count);
  if (count > 0) SendCounted(session, state, buffers.telnetReply.data(), count);
  TraceTerminal(session, state.chunks);
  return n;
}

// The end record says what -s reports, also when without -s a lost
// connection ended the session only once a limit expired; and the connect
// limit by its own name.
void RecordEnd(Session& session, const LoopState& state, SessionEnd how, const char* keyword) {
  if (!session.records.IsOpen()) return;
  static constexpr const char* kKinds[] = {"file-done", "error-keyword", "no-response", "connection-lost"};
  const bool atPrompt = how == SessionEnd::kFileDone && !state.lost;
  const bool connectLimit = how == SessionEnd::kConnectionLost && !state.lost && session.connectTimer &&
                            session.connectTimedOut.load();
  if (state.lost && !session.options.status) {
    how = state.closed && session.commandFile.AtEnd() ? SessionEnd::kFileDone : SessionEnd::kConnectionLost;
  }
  const char* kind = connectLimit ? "connect-limit" : kKinds[static_cast<int>(how)];
  session.records.End({kind, keyword, EndStatus(how), atPrompt, state.received, state.sent});
}

// Shows the text held back, then the message, if any: the transcript keeps
// its order.
SessionEnd End(Session& session, const LoopState& state, SessionEnd how, const char* message = nullptr,
               const char* keyword = nullptr) {
  ShowHeld(session);
  if (message != nullptr) PrintMessage(message);
  Trace(session, kTraceEndTexts[static_cast<int>(how)]);
  RecordEnd(session, state, how, keyword);
  return how;
}

// The first of the texts that the text holds in this mode, or nullptr.
template <typename Texts>
const char* FindText(const char* text, const Texts& texts, int mode) {
  for (const char* candidate : texts) {
    if (MatchText(text, candidate, mode) == 0) return candidate;
  }
  return nullptr;
}

// The first error keyword the text holds, ours before the user's (-E), or nullptr.
const char* FindErrorKeyword(const char* text, const Options& options) {
  const char* keyword = FindText(text, kErrorKeywords, MATCH_ANYWHERE);
  return keyword != nullptr ? keyword : FindText(text, options.keywords, MATCH_ANYWHERE);
}

// Sends the whole piece, waiting while the connection's buffer is full, and
// adds what went out to sent. 1 when all went out; 0 when it gave up once the
// response limit expired, so a host that stops reading cannot hold the session
// past its limit; -1 when the connection failed.
int SendPiece(platform::SocketHandle socket, std::string_view piece, unsigned long long& sent) {
  const char* data = piece.data();
  std::size_t left = piece.size();
  while (left > 0) {
    const int n = platform::SendSome(socket, data, static_cast<int>(std::min<std::size_t>(left, INT_MAX)));
    if (n < 0) return -1;
    if (n == 0) {
      if (ResponseTimedOut.load() != 0) return 0;
      platform::PauseOneMs();
      continue;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
    sent += static_cast<unsigned long long>(n);
  }
  return 1;
}

// With -e a pager's prompt in the last, unfinished line gets its key, not a
// command line; the limit restarts as for any answer. True when one was found,
// also past kMaxPagerAnswers: then the limit decides.
bool AnswerPager(Session& session, LoopState& state) {
  PagerKey key = PagerKey::kSpace;
  const char* pager = state.tail.CheckPager(&key);
  if (pager == nullptr) return false;
  const bool answer = state.pagerAnswers < kMaxPagerAnswers;
  Trace(session, kTracePagerFormat, state.chunks, pager, answer ? "answered" : "not answered");
  if (!answer) return true;
  ++state.pagerAnswers;
  PagerAnswered(session);
  const std::string_view bytes = key == PagerKey::kLineEnd ? session.options.lineEnd
                                 : key == PagerKey::kQuit  ? std::string_view("q")
                                                           : std::string_view(" ");
  unsigned long long sent = 0;
  state.sendFailed = SendPiece(session.socket, bytes, sent) < 0;
  state.sent += sent;
  state.settle.NoteSent();
  RestartResponseTimer(session);
  return true;
}

void TraceSettle(const Session& session, LoopState& state) {
  if (state.settle.Ms() == state.tracedSettleMs) return;
  state.tracedSettleMs = state.settle.Ms();
  Trace(session, kTraceSettleFormat, state.tracedSettleMs);
}

// With -e, what the host sent since the last line ends in a prompt: it is
// held until the host has been quiet for the settle time (PromptSettled).
void HoldPrompt(const Session& session, LoopState& state, int n) {
  const char* token = state.tail.Find();
  TracePrompt(session, state, n, token);
  PagerKey key = PagerKey::kSpace;
  const bool held = token != nullptr || state.tail.FindPager(&key) != nullptr;
  if (state.held && !held) Trace(session, kTracePromptHeldText);
  state.held = held;
  state.settle.NoteChunk(state.arrived, SettleTime::Clock::now(), state.tail.MidLine());
  TraceSettle(session, state);
}

// True once a held prompt has settled: nothing came for the settle time, or
// the connection has ended, so nothing more can come. It is then taken (the
// password mask printed) and the prompt is answered; a pager's, by its key.
bool PromptSettled(Session& session, LoopState& state, int received) {
  if (!state.held) return false;
  if (received == platform::kReceiveNothing && state.settle.LeftMs(SettleTime::Clock::now()) > 0) return false;
  state.held = false;
  if (AnswerPager(session, state)) return false;
  state.password = state.tail.Check() == kPasswordToken;
  return true;
}

// The normalised chunk holding a prompt; prints the password mask. With -e
// the prompt is held instead, and taken once it has settled.
bool IsPrompt(const Session& session, Buffers& buffers, LoopState& state, int n) {
  if (session.options.promptAtEnd) {
    HoldPrompt(session, state, n);
    return false;
  }
  // The user's prompts (-P) are looked for first: CheckPrompt empties the text.
  state.password = MatchText(buffers.work.data(), kPasswordToken, MATCH_ANYWHERE) == 0;
  const char* ownPrompt = FindText(buffers.work.data(), session.options.prompts, MATCH_AT_END);
  if (session.options.verbose) {
    const char* token = FindPromptToken(buffers.work.data());
    TracePrompt(session, state, n, token != nullptr ? token : ownPrompt);
  }
  return CheckPrompt(buffers.work.data()) == 0 || ownPrompt != nullptr;
}

// Sends the next command line whole, piece after piece, each with its
// ${NAME}s expanded (-k). An endless line ends with the response limit, like a
// host that stops reading. False when the file has no line left. The trace
// gets the byte count, never the text; the records get the line as written.
// A ${NAME} cut by a piece's end is sent as written.
bool SendNextLine(Session& session, LoopState& state, std::string& piece) {
  bool more = false;
  if (!session.commandFile.ReadLine(piece, more)) return false;
  unsigned long long sent = 0;
  int result = 0;
  do {
    session.records.Line(piece, more, state.password);
  } while ((result = SendPiece(session.socket, session.secrets.Expand(piece), sent)) > 0 && more &&
           ResponseTimedOut.load() == 0 && session.commandFile.ReadLine(piece, more));
  session.secrets.Wipe();
  state.sent += sent;
  state.sendFailed = result < 0;
  state.pagerAnswers = 0;
  Trace(session, kTraceLineSentFormat, ++state.lines, sent);
  if (session.options.promptAtEnd) {
    state.settle.NoteLineSent();
    TraceSettle(session, state);
  }
  return true;
}

// Sleeps until the host sends, the connection ends, the limit expires or a
// held prompt has settled; once woken, lets a reply that comes in several
// segments arrive as one chunk. After a full chunk it receives at once;
// should that find nothing, the next pass sleeps and settles as usual.
void AwaitHost(Session& session, LoopState& state) {
  const int settleMs = state.held ? state.settle.LeftMs(SettleTime::Clock::now()) : platform::SocketWait::kForever;
  const bool wait = !state.filled && !state.sendFailed && settleMs != 0;
  const bool woken = wait && session.wait.Wait(state.lost ? platform::kNoSocket : session.socket, settleMs);
  state.arrived = SettleTime::Clock::now();
  if (woken) platform::PauseOneMs();
}

// True once the connect limit has expired with no connection made. A made
// connection drops the limit.
bool ConnectLimitExpired(Session& session) {
  if (!session.connectTimer || !session.connectTimedOut.load()) return false;
  if (!platform::IsConnected(session.socket)) return true;
  session.connectTimer.reset();
  return false;
}

void OnConnectTimer(std::uint32_t, std::uint32_t, std::uintptr_t user, std::uintptr_t, std::uintptr_t) {
  auto* session = reinterpret_cast<Session*>(user);
  session->connectTimedOut.store(true);
  session->wait.Wake();  // after the store, so the woken loop finds it raised
}

}  // namespace

int EndStatus(SessionEnd end) {
  switch (end) {
    case SessionEnd::kFileDone:
      return 0;
    case SessionEnd::kErrorKeyword:
      return 1;
    case SessionEnd::kNoResponse:
      return 2;
    case SessionEnd::kConnectionLost:
      break;
  }
  return 3;
}

void StartConnectTimer(Session& session) {
  if (session.options.connectSeconds == 0) return;
  session.connectTimer = std::make_unique<EventTimer>(OnConnectTimer, reinterpret_cast<std::uintptr_t>(&session));
  session.connectTimer->Start(static_cast<std::uint32_t>(session.options.connectSeconds) * 1000);
}

void RestartResponseTimer(Session& session) {
  session.responseTimer.reset();
  session.responseTimer =
      std::make_unique<EventTimer>(OnResponseTimer, reinterpret_cast<std::uintptr_t>(&session.wait));
  session.responseTimer->Start(static_cast<std::uint32_t>(session.responseMs));
}

SessionEnd SessionLoop(Session& session) {
  auto buffers = std::make_unique<Buffers>();
  LoopState state;
  if (session.options.promptAtEnd) state.tail = PromptTail(session.options.prompts, session.options.pagers);
  state.settle = SettleTime(session.options.settleMs);
  for (;;) {
    AwaitHost(session, state);
    // Tested before the receive, so a chunk that has arrived is never dropped.
    if (ResponseTimedOut.load() != 0) return End(session, state, SessionEnd::kNoResponse, kNoResponseText);
    if (ConnectLimitExpired(session)) {
      Trace(session, kTraceConnectLimitText);
      return End(session, state, SessionEnd::kConnectionLost, kNoResponseText);
    }
    // A failed send is a failed connection, whether or not the socket signals it.
    const int n = std::exchange(state.sendFailed, false)
                      ? platform::kReceiveFailed
                      : platform::Receive(session.socket, buffers->receive.data(), kChunkBytes);
    state.filled = n == kChunkBytes;
    if (n > 0) state.received += static_cast<std::uint64_t>(n);
    NoteConnected(session, state, n);
    if (n < 1 && PromptSettled(session, state, n)) {
      if (!SendNextLine(session, state, buffers->line)) return End(session, state, SessionEnd::kFileDone);
      continue;
    }
    if (n == platform::kReceiveNothing) continue;
    if (n < 1) {
      // Without -s the limit ends it, as for a silent host.
      if (!ConnectionLost(session, state, n)) continue;
      // The transcript stays the one without -s.
      const bool fileDone = n == platform::kReceiveClosed && session.commandFile.AtEnd();
      return End(session, state, fileDone ? SessionEnd::kFileDone : SessionEnd::kConnectionLost, kNoResponseText);
    }
    RestartResponseTimer(session);
    ++state.chunks;
    const bool taken = NegotiateChunk(session, *buffers, state);
    const int text = FilterTelnet(session, *buffers, state, n);
    if (taken || text == 0) {
      Trace(session, taken ? kTraceNegotiationFormat : kTraceTelnetOnlyFormat, state.chunks, n);
      continue;
    }

    buffers->receive[text] = '\0';
    ShowText(session, buffers->receive.data(), text, buffers->clean.data(), state.tail);

    std::memcpy(buffers->work.data(), buffers->receive.data(), static_cast<std::size_t>(text));
    NormalizeChunk(buffers->work.data(), text);
    if (const char* keyword = FindErrorKeyword(buffers->work.data(), session.options)) {
      Trace(session, kTraceKeywordFormat, state.chunks, n, keyword);
      return End(session, state, SessionEnd::kErrorKeyword, kErrorKeywordText, keyword);
    }
    if (!IsPrompt(session, *buffers, state, n)) continue;
    std::fflush(stdout);  // the password mask belongs right after its prompt
    if (!SendNextLine(session, state, buffers->line)) return End(session, state, SessionEnd::kFileDone);
  }
}
