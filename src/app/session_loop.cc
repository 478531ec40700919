#include <array>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "app/limits.h"
#include "app/connection.h"
#include "app/prompt_hold.h"
#include "app/sender.h"
#include "app/session.h"
#include "app/trace.h"
#include "keys/keys.h"
#include "messages/messages.h"
#include "road/road.h"
#include "settle/settle.h"
#include "sshwords/sshwords.h"
#include "textmatch/textmatch.h"

namespace {

constexpr int kChunkBytes = 10240;

static_assert(std::size(kTraceEndTexts) == static_cast<std::size_t>(SessionEnd::kConnectionLost) + 1,
              "one trace text for each way a session ends");

// Owned by the loop for the whole session; nothing is allocated per chunk.
struct Buffers {
  std::array<char, kChunkBytes + 1> receive;  // a chunk and its terminating zero
  std::array<char, kChunkBytes + 2> work;     // normalised copy: room for "#" and zero
  std::array<unsigned char, kMaxScriptBytes> negotiation;
  std::string line;  // one piece of a command line, at most CommandFile::kPieceBytes
  std::string keyed, keyNames;  // -K: the piece with its keys as bytes, and their names
};

// The road's shape, from the options.
RoadPlan PlanRoad(const Options& options, std::int32_t bellMode) {
  RoadPlan plan;
  plan.telnet = options.telnet;
  plan.windowColumns = options.windowColumns;
  plan.windowRows = options.windowRows;
  plan.terminalType = options.terminalType;
  plan.promptAtEnd = options.promptAtEnd;
  plan.clean = options.clean;
  plan.belShown = bellMode == 1;
  plan.prompts = options.prompts;
  plan.pagers = options.pagers;
  for (const Answer& answer : options.answers) plan.questions.push_back(answer.question);
  return plan;
}

// What a pass works with, built once from the options.
struct Loop {
  explicit Loop(Session& s)
      : session(s),
        trace(s.options.verbose),
        settle(s.options.settleMs),
        sender(s, settle),
        plan(PlanRoad(s.options, s.bellMode)),
        road(plan, s.secrets, s.records, sender),
        buffers(std::make_unique<Buffers>()),
        link(*s.link, kChunkBytes, trace) {
    if (s.options.promptAtEnd) hold.emplace(road, settle, sender, trace, s.options, s.secrets);
    if (hold) hold->TrustOwnPrompts(sshLogin);
  }
  Session& session;
  Trace trace;
  SettleTime settle;
  Sender sender;
  RoadPlan plan;
  Road road;
  std::optional<PromptHold> hold;  // -e
  std::unique_ptr<Buffers> buffers;
  Connection link;
  bool password = false;  // the prompt that takes the next line asks for a password
  // --ssh: until a line goes past ssh's own prompts to the remote side, the
  // text is ssh's too, and its refusals end the session.
  bool sshLogin = session.options.way == Way::kSsh;
  bool sshOwnPrompt = false;  // the prompt that takes the next line is ssh's (password, passphrase)
};

// The end record says what -s reports, also when without -s a lost
// connection ended the session only once a limit expired; and the connect
// limit by its own name.
void RecordEnd(Loop& loop, SessionEnd how, const char* keyword) {
  Session& session = loop.session;
  if (!session.records.IsOpen()) return;
  static constexpr const char* kKinds[] = {"file-done", "error-keyword", "no-response", "connection-lost"};
  const Connection& link = loop.link;
  const bool atPrompt = how == SessionEnd::kFileDone && !link.Lost();
  const bool connectLimit = how == SessionEnd::kConnectionLost && !link.Lost() && session.connectTimer &&
                            session.connectTimedOut.load();
  if (link.Lost() && !session.options.status) {
    how = link.Closed() && session.commandFile.AtEnd() ? SessionEnd::kFileDone : SessionEnd::kConnectionLost;
  }
  const bool timedOut = how == SessionEnd::kNoResponse && ResponseTimedOut.load() != 0;
  const bool deadline = how == SessionEnd::kNoResponse && !timedOut && session.deadlinePassed.load();
  const char* kind = connectLimit ? "connect-limit" : deadline ? "deadline" : kKinds[static_cast<int>(how)];
  // -T: the last line ran out of a limit of its own.
  const std::int32_t limit = timedOut ? session.lineLimitSeconds : 0;
  session.records.End({kind, keyword, EndStatus(how), atPrompt, link.Received(), loop.sender.Count(), limit});
}

// Shows the text held back, then the message, if any: the transcript keeps
// its order.
SessionEnd End(Loop& loop, SessionEnd how, const char* message = nullptr, const char* keyword = nullptr) {
  loop.road.Note(Mark::kEnd);
  if (message != nullptr) PrintMessage(message);
  loop.trace(kTraceEndTexts[static_cast<int>(how)]);
  RecordEnd(loop, how, keyword);
  return how;
}

// Sleeps until the host sends, the connection ends, the limit expires or a
// held prompt has settled; once woken, lets a reply that comes in several
// segments arrive as one chunk. After a full chunk it receives at once;
// should that find nothing, the next pass sleeps and settles as usual.
void AwaitHost(Loop& loop, bool sendFailed) {
  Session& session = loop.session;
  const int settleMs = loop.hold ? loop.hold->WaitMs() : platform::SocketWait::kForever;
  const bool wait = !loop.link.Filled() && !sendFailed && settleMs != 0;
  const platform::Watched watched = loop.link.Lost() ? platform::Watched{} : session.link->Watched();
  const bool woken = wait && session.wait.Wait(watched, settleMs);
  if (loop.hold) loop.hold->NoteWaitEnded();
  if (woken) platform::PauseOneMs();
  loop.sender.NewPass();
}

// The next chunk, or what Receive says instead; a failed send is a failed
// connection, whether or not the socket signals it. A program's terminal
// still holds what it printed before it ended: that is read first.
int ReceiveChunk(Loop& loop, bool sendFailed) {
  const bool telnet = loop.session.link->GetKind() == Link::Kind::kTelnet;
  const int n = sendFailed && telnet ? platform::kReceiveFailed
                           : loop.session.link->Receive(loop.buffers->receive.data(), kChunkBytes);
  loop.link.NoteReceived(n);
  // -e waits for the host to go quiet: the rest of its text must not wait
  // for our acknowledgement.
  if (n > 0 && loop.hold) loop.session.link->AcknowledgeAtOnce();
  return n;
}

// The window and the terminal type, when the chunk's answers told them.
void TraceTerminal(const Loop& loop) {
  const Options& options = loop.session.options;
  if ((loop.road.TelnetSent() & TelnetFilter::kSentWindow) != 0) {
    loop.trace(kTraceWindowFormat, loop.trace.chunks, options.windowColumns, options.windowRows);
  }
  if ((loop.road.TelnetSent() & TelnetFilter::kSentType) != 0) {
    loop.trace(kTraceTerminalTypeFormat, loop.trace.chunks, options.terminalType);
  }
}

// A chunk came: the limit restarts, the opening negotiation answers it (a
// fixed script, then the chunk is taken), and with -t its Telnet commands are
// taken out and answered. Returns the length of the text left to show.
int TakeChunk(Loop& loop, int n) {
  Session& session = loop.session;
  loop.sender.RestartLimit();
  ++loop.trace.chunks;
  // Telnet's own bytes go to a Telnet host only.
  const char* script = session.link->GetKind() == Link::Kind::kTelnet
                           ? NextNegotiationScript(session.targetType, session.negotiationStep)
                           : nullptr;
  if (script != nullptr) {
    const int count = HexString2Bin(loop.buffers->negotiation.data(), script);
    loop.sender.Send({reinterpret_cast<const char*>(loop.buffers->negotiation.data()), static_cast<std::size_t>(count)},
                     Sender::Sent::kReply);
    loop.road.NoteScript(loop.buffers->negotiation.data(), count);
  }
  const int text = loop.road.Telnet(loop.buffers->receive.data(), n);
  if (session.options.telnet) TraceTerminal(loop);
  if (script != nullptr || text == 0) {
    loop.trace(script != nullptr ? kTraceNegotiationFormat : kTraceTelnetOnlyFormat, loop.trace.chunks, n);
    return 0;
  }
  return text;
}

// The normalised chunk holding a prompt; prints the password mask. With -e
// the prompt is held instead, and taken once it has settled.
bool IsPrompt(Loop& loop, int n) {
  if (loop.hold) {
    loop.hold->NoteChunk(n);
    return false;
  }
  const char* work = loop.buffers->work.data();
  // The user's prompts (-P) are looked for first: CheckPrompt empties the text.
  loop.password = MatchText(work, kPasswordToken, MATCH_ANYWHERE) == 0;
  const char* ownPrompt = FindAtEnd(work, loop.session.options.prompts);
  loop.sshOwnPrompt = loop.password || ownPrompt == kSshPassphrasePrompt;
  if (loop.trace.On()) {
    const char* token = FindPromptToken(work);
    if (token == nullptr) token = ownPrompt;
    if (token != nullptr) loop.trace(kTracePromptFormat, loop.trace.chunks, n, token);
    if (token == nullptr) loop.trace(kTraceNoPromptFormat, loop.trace.chunks, n);
  }
  return CheckPrompt(loop.buffers->work.data()) == 0 || ownPrompt != nullptr;
}

// -e: a held prompt settled and taken. hostDone: the connection has ended,
// so nothing more can come.
bool PromptSettled(Loop& loop, bool hostDone) {
  if (!loop.hold) return false;
  const char* token = loop.hold->Take(hostDone);
  loop.password = token == kPasswordToken;
  loop.sshOwnPrompt = loop.password || token == kSshPassphrasePrompt;
  return token != nullptr;
}

// -K: the piece with its keys as bytes, traced by name.
const std::string& Keyed(Loop& loop, const std::string& piece, bool more) {
  std::string& names = loop.buffers->keyNames;
  names.clear();
  TranslateKeys(piece, more ? "" : loop.session.options.lineEnd, loop.buffers->keyed, names);
  if (!names.empty()) loop.trace(kTraceKeysFormat, loop.trace.lines + 1, names.c_str());
  return loop.buffers->keyed;
}

// Sends the next command line whole, piece after piece, each with its
// ${NAME}s expanded (-k). An endless line ends with the response limit, like a
// host that stops reading. False when the file has no line left. The trace
// gets the byte count, never the text; the records get the line as written.
// A ${NAME} cut by a piece's end is sent as written.
bool SendNextLine(Loop& loop) {
  Session& session = loop.session;
  std::string& piece = loop.buffers->line;
  bool more = false;
  if (!session.commandFile.ReadLine(piece, more)) return false;
  // A program's terminal or a serial line takes no Telnet command: a serial
  // line's <BREAK> is its own break; every other such line is passed over.
  while (session.options.keys && !more && session.link->GetKind() != Link::Kind::kTelnet) {
    const char* command = TelnetCommand(piece, session.options.lineEnd);
    if (command == nullptr) break;
    if (session.link->GetKind() == Link::Kind::kSerial && std::strcmp(command, "<BREAK>") == 0) {
      // The break is the line: the next waits for the prompt it brings (a boot monitor's).
      std::string why;
      if (session.link->Break(&why) == 0) loop.trace(kTraceBreakSentFormat, ++loop.trace.lines);
      if (!why.empty()) loop.trace(kTraceBreakRefusedFormat, ++loop.trace.lines, why.c_str());
      if (loop.hold) loop.hold->NewLine();
      return true;
    }
    loop.trace(kTraceLineSkippedFormat, ++loop.trace.lines, command);
    if (!session.commandFile.ReadLine(piece, more)) return false;
  }
  // -T: this line's own limit, from its first send until the next line.
  if (!session.options.lineLimits.empty()) {
    session.lineLimitSeconds = LineLimitOf(session.options, piece);
    loop.trace(kTraceLineLimitFormat, loop.trace.lines + 1,
               session.lineLimitSeconds != 0 ? session.lineLimitSeconds : session.responseSeconds);
    loop.sender.RestartLimit();
  }
  const std::uint64_t before = loop.sender.Count();
  int result = 0;
  do {
    const std::string& sent = session.secrets.Expand(session.options.keys ? Keyed(loop, piece, more) : piece);
    session.records.Line(piece, sent, more, loop.password);
    result = loop.sender.Send(sent, Sender::Sent::kLine);
  } while (result > 0 && more && !TimeIsUp(session) && session.commandFile.ReadLine(piece, more));
  session.secrets.Wipe();
  loop.sshLogin = loop.sshLogin && loop.sshOwnPrompt;
  if (loop.hold) loop.hold->TrustOwnPrompts(loop.sshLogin);
  loop.trace(kTraceLineSentFormat, ++loop.trace.lines,
             static_cast<unsigned long long>(loop.sender.Count() - before));
  if (loop.hold) {
    loop.hold->NewLine();
    loop.hold->NoteLineSent();
  }
  return true;
}

// The shell that ran --exec's command line could not find or run it (its
// statuses 127 and 126) before any line went: said on standard error, and
// the session ends (this is asked once: it then ends).
bool NotStarted(const Loop& loop) {
  const int status = loop.session.link->ExitStatus();
  if (loop.trace.lines > 0 || (status != 126 && status != 127)) return false;
  PrintError(kProgramNotStartedFormat, loop.session.host, status);
  return true;
}

// --ssh: ssh refused the login or could not reach the host. A refusal ends
// the session as an error keyword does; what it printed is shown.
SessionEnd EndBySsh(Loop& loop, int n, const SshWords& ssh) {
  loop.trace(kTraceSshFormat, loop.trace.chunks, n, ssh.words);
  if (ssh.says == SshSays::kRefused) return End(loop, SessionEnd::kErrorKeyword, kErrorKeywordText, ssh.words);
  return End(loop, SessionEnd::kConnectionLost, kNoResponseText);
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

SessionEnd SessionLoop(Session& session) {
  Loop loop(session);
  for (;;) {
    const bool sendFailed = loop.sender.TakeFailed();
    AwaitHost(loop, sendFailed);
    // Tested before the receive, so a chunk that has arrived is never dropped.
    if (ResponseTimedOut.load() != 0) return End(loop, SessionEnd::kNoResponse, kNoResponseText);
    if (session.deadlinePassed.load()) {
      loop.trace(kTraceDeadlineText);
      return End(loop, SessionEnd::kNoResponse, kNoResponseText);
    }
    if (ConnectLimitExpired(session)) {
      loop.trace(kTraceConnectLimitText);
      return End(loop, SessionEnd::kConnectionLost, kNoResponseText);
    }
    const int n = ReceiveChunk(loop, sendFailed);
    if (n < 1 && PromptSettled(loop, n != platform::kReceiveNothing)) {
      if (!SendNextLine(loop)) return End(loop, SessionEnd::kFileDone);
      continue;
    }
    if (n == platform::kReceiveNothing) continue;
    if (n < 1) {
      // Without -s the limit ends it, as for a silent host; but a program
      // that could not be started ends it at once.
      loop.link.NoteLost(n);
      const bool notStarted = NotStarted(loop);
      if (!session.options.status && !notStarted) continue;
      // The transcript stays the one without -s.
      const bool fileDone = n == platform::kReceiveClosed && session.commandFile.AtEnd();
      return End(loop, fileDone ? SessionEnd::kFileDone : SessionEnd::kConnectionLost, kNoResponseText);
    }
    const int text = TakeChunk(loop, n);
    if (text == 0) continue;
    loop.buffers->receive[text] = '\0';
    loop.road.Write(loop.buffers->receive.data(), text);

    std::memcpy(loop.buffers->work.data(), loop.buffers->receive.data(), static_cast<std::size_t>(text));
    NormalizeChunk(loop.buffers->work.data(), text);
    if (const char* keyword = FindErrorKeyword(loop.buffers->work.data(), session.options.keywords)) {
      loop.trace(kTraceKeywordFormat, loop.trace.chunks, n, keyword);
      return End(loop, SessionEnd::kErrorKeyword, kErrorKeywordText, keyword);
    }
    if (loop.sshLogin) {
      const SshWords ssh = FindSshWords(loop.buffers->receive.data(), loop.plan.questions);
      if (ssh.says != SshSays::kNothing) return EndBySsh(loop, n, ssh);
    }
    if (!IsPrompt(loop, n)) continue;
    std::fflush(stdout);  // the password mask belongs right after its prompt
    if (!SendNextLine(loop)) return End(loop, SessionEnd::kFileDone);
  }
}
