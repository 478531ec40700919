#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/messages.h"
#include "app/session.h"
#include "textmatch/textmatch.h"

namespace {

constexpr int kChunkBytes = 10240;
constexpr char kBel = 0x07;
constexpr char kBelShown[] = "[0x07:BEL]";
constexpr const char* kErrorKeywords[] = {"command not found", "Login incorrect"};

// Owned by the loop for the whole session; nothing is allocated per chunk.
struct Buffers {
  std::array<char, kChunkBytes + 1> receive;  // a chunk and its terminating zero
  std::array<char, kChunkBytes + 2> work;     // normalised copy: room for "#" and zero
  std::array<unsigned char, kMaxScriptBytes> negotiation;
  std::string line;  // one piece of a command line, at most CommandFile::kPieceBytes
};

// Answers a chunk of the opening negotiation; true when the chunk was taken.
bool NegotiateChunk(Session& session, Buffers& buffers) {
  const char* script = NextNegotiationScript(session.targetType, session.negotiationStep);
  if (script == nullptr) return false;
  const int count = HexString2Bin(buffers.negotiation.data(), script);
  platform::SendSome(session.socket, reinterpret_cast<const char*>(buffers.negotiation.data()),
                     count);
  return true;
}

void ShowChunk(const char* chunk, int n, std::int32_t bellMode) {
  const char* end = chunk + n;
  while (chunk < end) {
    const char* bel = bellMode == 1 ? std::find(chunk, end, kBel) : end;
    std::fwrite(chunk, 1, static_cast<std::size_t>(bel - chunk), stdout);
    if (bel == end) break;
    std::fputs(kBelShown, stdout);
    chunk = bel + 1;
  }
  std::fflush(stdout);
}

bool HasErrorKeyword(const char* text) {
  for (const char* keyword : kErrorKeywords) {
    if (MatchText(text, keyword, MATCH_ANYWHERE) == 0) return true;
  }
  return false;
}

// Sends the whole piece, waiting while the connection's buffer is full. Gives
// up (false) on an error or once the response limit has expired, so a host
// that stops reading cannot hold the session past its limit.
bool SendPiece(platform::SocketHandle socket, const std::string& piece) {
  const char* data = piece.data();
  std::size_t left = piece.size();
  while (left > 0) {
    const int n = platform::SendSome(socket, data, static_cast<int>(std::min<std::size_t>(left, INT_MAX)));
    if (n < 0) return false;
    if (n == 0) {
      if (ResponseTimedOut.load() != 0) return false;
      platform::PauseOneMs();
      continue;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// Sends the next command line whole, piece after piece. An endless line ends
// with the response limit, like a host that stops reading. False when the
// file has no line left.
bool SendNextLine(Session& session, std::string& piece) {
  bool more = false;
  if (!session.commandFile.ReadLine(piece, more)) return false;
  for (;;) {
    if (!SendPiece(session.socket, piece) || !more || ResponseTimedOut.load() != 0) return true;
    if (!session.commandFile.ReadLine(piece, more)) return true;
  }
}

}  // namespace

void RestartResponseTimer(Session& session) {
  session.responseTimer.reset();
  session.responseTimer =
      std::make_unique<EventTimer>(OnResponseTimer, reinterpret_cast<std::uintptr_t>(&session.wait));
  session.responseTimer->Start(static_cast<std::uint32_t>(session.responseMs));
}

void SessionLoop(Session& session) {
  auto buffers = std::make_unique<Buffers>();
  bool over = false;    // the connection closed or failed: only the limit is left to wait for
  bool filled = false;  // the last receive filled the buffer: more is waiting
  for (;;) {
    // Sleeps until the host sends, the connection ends or the limit expires,
    // then lets a reply that comes in several segments arrive as one chunk.
    // After a full chunk it receives at once; should that find nothing, the
    // next pass sleeps and settles as usual.
    if (!filled) {
      session.wait.Wait(over ? platform::kNoSocket : session.socket);
      platform::PauseOneMs();
    }
    // Tested before the receive, so a chunk that has arrived is never dropped.
    if (ResponseTimedOut.load() != 0) {
      PrintMessage(kNoResponseText);
      return;
    }
    const int n = platform::Receive(session.socket, buffers->receive.data(), kChunkBytes);
    filled = n == kChunkBytes;
    if (n == platform::kReceiveClosed || n == platform::kReceiveFailed) over = true;
    if (n < 1) continue;
    RestartResponseTimer(session);
    if (NegotiateChunk(session, *buffers)) continue;

    buffers->receive[n] = '\0';
    ShowChunk(buffers->receive.data(), n, session.bellMode);

    std::memcpy(buffers->work.data(), buffers->receive.data(), static_cast<std::size_t>(n));
    NormalizeChunk(buffers->work.data(), n);
    if (HasErrorKeyword(buffers->work.data())) {
      PrintMessage(kErrorKeywordText);
      return;
    }
    if (CheckPrompt(buffers->work.data()) != 0) continue;
    std::fflush(stdout);  // the password mask belongs right after its prompt
    if (!SendNextLine(session, buffers->line)) return;
  }
}
