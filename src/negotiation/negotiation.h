// The fixed answers to a host's opening Telnet negotiation, one script per
// received chunk, chosen by the target type. No option state machine.
#pragma once

#include <cstdint>

enum class TargetType { kLinux, kUnix, kOther };

// The most bytes HexString2Bin writes: it reads at most 254 characters.
constexpr int kMaxScriptBytes = 127;

// Turns hexadecimal text into bytes, two characters a byte, and returns the
// count. An odd length is padded with "0"; a character that is not a hex digit
// counts as 0. No terminator is written; destination must hold
// kMaxScriptBytes bytes, and text past 254 characters is ignored.
std::int32_t HexString2Bin(unsigned char* destination, const char* hexText);

// The hexadecimal script that answers the next chunk of a session of this
// type, advancing negotiationStep; nullptr once the negotiation takes no more
// chunks (at once for TargetType::kOther).
const char* NextNegotiationScript(TargetType type, std::int32_t& negotiationStep);

// A Telnet-aware session's view of the host's stream: the Telnet commands are
// taken out of each chunk (also one split across two chunks), and each option
// request gets one answer: ECHO and SUPPRESS-GO-AHEAD are accepted, anything
// else refused. Answers already given (by a fixed script, or earlier) are
// never repeated, so a reply to what ravlo said is not taken as a request.
class TelnetFilter {
 public:
  // Each option is answered at most once per direction: 3 bytes each.
  static constexpr int kMaxReplyBytes = 2 * 256 * 3;

  // Notes the option commands ravlo sent on its own (a fixed script).
  void NoteSent(const unsigned char* bytes, int count);

  // Removes the Telnet commands from the n bytes at chunk, in place (IAC IAC
  // leaves one 255), and returns how many bytes of text remain. The answers
  // due are written to reply (kMaxReplyBytes), their count to *replyCount.
  int Filter(char* chunk, int n, unsigned char* reply, int* replyCount);

 private:
  enum class State : unsigned char { kText, kCommand, kOption, kSub, kSubCommand };
  State state_ = State::kText;
  unsigned char verb_ = 0;          // WILL, WONT, DO or DONT, while kOption waits for its option
  bool ours_[256] = {};             // options whose state on ravlo's side is settled
  bool theirs_[256] = {};           // options whose state on the host's side is settled
};
